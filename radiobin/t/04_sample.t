# The bundled sample: its generator reproduces it, and it converts with the bundled block
# layout into the PIF file checked in beside the tests.
use strict;
use warnings;
use Test::More;
BEGIN { $ENV{TZ} = 'UTC' }
use PmBuild ();
use PmTest qw(scratch sample source_dir slurp fresh_log log_messages);
use radiobin;

my $regen = scratch();
system($^X, sample('alcatel/make-samples.pl'), $regen) == 0 or die 'generator failed';
is(slurp("$regen/PMRES011.01a.3."), slurp(sample('alcatel/PMRES011.01a.3.')), 'make-samples.pl reproduces the sample');

my $log = fresh_log(2);
is(radiobin::config_initialise(sample('alcatel/blocks.cfg'), 0, 9), 0, 'the bundled block layout loads');
my ($out, $pif) = (scratch(), slurp(source_dir() . '/radiobin/t/data/PMRES011.01a.3.pif'));
my ($rc, $path) = radiobin::process_file(sample('alcatel/PMRES011.01a.3.'), $out, 'OMC1', 'NET1', 'REG1');
is_deeply([$rc, $path, -e $path && slurp($path)], [0, "$out/TYPE_11-#-3-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt", $pif],
          'the sample converts into the checked file, byte for byte');
is_deeply(log_messages($log), ["2:File is from a bss version '5'"], '... with only the release line at level 2');

done_testing;
