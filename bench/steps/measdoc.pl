#!/usr/bin/perl
# One measdoc cycle on one file, configured as MeasXml.pm describes for its layout:
#   perl -I BUILD/perl/lib measdoc.pl FILE WORKERS run|data|dump
# run: times measdoc_run alone; data: times measdoc_run plus measdoc_data; dump: prints
# the canonical text of measdoc_data's result (for the comparison with the Perl
# converters). Peak memory is the whole process's, so run and data are separate runs.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../lib";
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use MeasXml qw(measdoc_config canonical layout_of);
use measdoc;

my ($file, $workers, $mode) = @ARGV;
die "usage: $0 FILE WORKERS run|data|dump\n" unless defined $mode && $mode =~ /^(?:run|data|dump)\z/;

# ---- measdoc runs -------------------------------------------------------------------
# Written against the host interface before the module existed (queue the values of an
# item with measdoc_add_config, commit them with the item's setter; measdoc_init,
# measdoc_run, measdoc_data, measdoc_deinit). The first run against the module is where
# to check this block; nothing else in the benchmark depends on how measdoc is called.
sub set_item {
    my ($name, @values) = @_;
    for my $value (@values) {
        measdoc::measdoc_add_config("$value") == 0 or die "measdoc_add_config($name): " . failure() . "\n";
    }
    my $setter = measdoc->can("measdoc_set_$name") or die "measdoc has no setter for $name\n";
    $setter->() == 0 or die "measdoc_set_$name: " . failure() . "\n";
}

sub failure { return measdoc::measdoc_error() // 'no message' }

set_item(@$_) for @{ measdoc_config(layout_of($file)) };
set_item(threadNumber => $workers);
set_item(xmlFileName  => $file);
measdoc::measdoc_init() == 0 or die 'measdoc_init: ' . failure() . "\n";

my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my $rc = measdoc::measdoc_run();
my $data = $mode eq 'run' ? undef : measdoc::measdoc_data();
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
die 'measdoc_run: ' . failure() . "\n" if $rc != 0;
die "measdoc_data gave no hash\n" if $mode ne 'run' && ref $data ne 'HASH';
# ---- end of measdoc runs -------------------------------------------------------------

print $mode eq 'dump' ? canonical($data) . "\n" : "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\n";
undef $data;
measdoc::measdoc_deinit() == 0 or die 'measdoc_deinit: ' . failure() . "\n";
