#!/usr/bin/perl
# One BerMeas conversion, timed from the process_file call to its return:
#   perl -I BUILD/perl/lib bermeas.pl FILE OUTDIR
# The configuration is the example configuration of bermeas-convert (as its tests pass
# it); the file arrives under a 3GPP file name.
use strict;
use warnings;
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use PmBuild ();  # finds the tests' helper module
use PmTest qw(example_config);
use BerMeas;

my ($file, $out) = @ARGV;
chdir $out or die "$out: $!\n";    # the module logs into the working directory
BerMeas::set_config(example_config());
my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my $ok = BerMeas::process_file($file, '/data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC01.ber', $out);
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
die "conversion failed: see $out/bermeas.log\n" unless $ok;
BerMeas::delete_config();
print "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\n";
