# The bundled sample: its generator reproduces it, and it converts with the bundled block
# layout into the PIF file checked in beside the tests.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Temp qw(tempdir);
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use radiobin;
use RadiobinTest qw(fresh_log log_messages slurp scratch);

my $src = $ENV{PM_SOURCE_DIR} // "$FindBin::Bin/../..";
my $sample = "$src/samples/alcatel/PMRES011.01a.3.";

my $regen = tempdir(CLEANUP => 1);
system($^X, "$src/samples/alcatel/make-samples.pl", $regen) == 0 or die 'generator failed';
is(slurp("$regen/PMRES011.01a.3."), slurp($sample), 'make-samples.pl reproduces the bundled sample');

my $log = fresh_log(2);
is(radiobin::config_initialise("$src/samples/alcatel/blocks.cfg", 0, 9), 0, 'bundled block layout loads');
my $out = scratch();
my ($rc, $pif) = radiobin::process_file($sample, $out, 'OMC1', 'NET1', 'REG1');
is($rc, 0, 'sample converts');
is($pif, "$out/TYPE_11-#-3-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt", 'output name');
is(slurp($pif), slurp("$FindBin::Bin/data/PMRES011.01a.3.pif"), 'output matches the checked file byte for byte');
is_deeply(log_messages($log), ["2:File is from a bss version '5'"], 'only the release line at level 2');

done_testing;
