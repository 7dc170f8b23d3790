#!/usr/bin/perl
# One radiobin conversion, timed from the process_file call to its return:
#   perl -I BUILD/perl/lib radiobin.pl BLOCKS_CFG FILE OUTDIR
use strict;
use warnings;
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use radiobin;

my ($cfg, $file, $out) = @ARGV;
radiobin::logopen("$out/radiobin.log", 1);
radiobin::config_initialise($cfg, 0, 9) == 0 or die "block layout not loaded: see $out/radiobin.log\n";
my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my ($rc, $pif) = radiobin::process_file($file, $out, 'OMC1', 'NET1', 'REGION1');
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
die "conversion failed ($rc): see $out/radiobin.log\n" if $rc;
print "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\nBENCH-OUTPUT $pif\n";
