#!/usr/bin/perl
# What a Perl user would write instead of BerMeas: read the file, decode it with
# Convert::ASN1 into Perl data. Timed from reading to the decoded structure:
#   perl convert-asn1.pl FILE
# The layout is the one samples/ber/MeasFile.pm encodes with.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../../samples/ber";
use Convert::ASN1;
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use MeasFile qw(meas_layout);

my ($file) = @ARGV;
my $asn = Convert::ASN1->new;
$asn->prepare(meas_layout()) or die 'layout: ' . $asn->error . "\n";
my $collection = $asn->find('MeasDataCollection') or die "no MeasDataCollection\n";

my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my $octets = do { local $/; open my $fh, '<:raw', $file or die "$file: $!\n"; <$fh> };
my $data = $collection->decode($octets) or die 'decode: ' . $collection->error . "\n";
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
my $values = 0;
$values += @{ $_->{measValues} } for map { @{ $_->{measInfo} } } @{ $data->{measData} };
print "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\nBENCH-VALUES $values\n";
