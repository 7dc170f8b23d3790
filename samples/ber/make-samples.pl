#!/usr/bin/perl
# Writes the bundled BER measurement samples of this directory:
#   perl samples/ber/make-samples.pl [OUTDIR]
# The files follow the 3GPP measurement collection layout (automatic tags); the
# content is invented. Needs Convert::ASN1 (Debian libconvert-asn1-perl).
use strict;
use warnings;
use Convert::ASN1;
use File::Basename qw(dirname);

my $outdir = shift // dirname(__FILE__);

# The 3GPP layout with every context tag written out (Convert::ASN1 has no automatic
# tags). Time stamps are OCTET STRING: under implicit tags the octets are the same as a
# GeneralizedTime's, and the text passes through unchanged.
my $layout = <<'ASN';
MeasDataCollection ::= SEQUENCE { measFileHeader [0] MeasFileHeader, measData [1] SEQUENCE OF MeasData, measFileFooter [2] OCTET STRING }
MeasFileHeader ::= SEQUENCE { fileFormatVersion [0] INTEGER, senderName [1] PrintableString, senderType [2] PrintableString, vendorName [3] PrintableString, collectionBeginTime [4] OCTET STRING }
MeasData ::= SEQUENCE { nEId [0] NEId, measInfo [1] SEQUENCE OF MeasInfo }
NEId ::= SEQUENCE { nEUserName [0] PrintableString, nEDistinguishedName [1] PrintableString }
MeasInfo ::= SEQUENCE { measTimeStamp [0] OCTET STRING, granularityPeriod [1] INTEGER, measTypes [2] SEQUENCE OF PrintableString, measValues [3] SEQUENCE OF MeasValue }
MeasValue ::= SEQUENCE { measObjInstId [0] PrintableString, measResults [1] SEQUENCE OF MeasResult, suspectFlag [2] BOOLEAN OPTIONAL }
MeasResult ::= CHOICE { iValue [0] INTEGER, rValue [1] REAL, noValue [2] NULL }
ASN

my $asn = Convert::ASN1->new;
$asn->prepare($layout) or die 'ASN.1 layout: ' . $asn->error . "\n";
my $file = $asn->find('MeasDataCollection') or die "no MeasDataCollection\n";

sub write_sample {
    my ($name, $value) = @_;
    my $octets = $file->encode($value) or die "$name: " . $file->error . "\n";
    open my $fh, '>:raw', "$outdir/$name" or die "$outdir/$name: $!\n";
    print {$fh} $octets;
    close $fh or die "$outdir/$name: $!\n";
    printf "%s: %d octets\n", $name, length $octets;
}

# A small file of one network element with two measurement-info blocks: suspect flags
# set, cleared and absent, an integer above 2^31, a real and a missing value.
write_sample('meas-rnc.ber', {
    measFileHeader => {
        fileFormatVersion   => 2,
        senderName          => 'DC=example.net,SubNetwork=1,MeContext=RNC-North-1',
        senderType          => 'RNC',
        vendorName          => 'Example Networks',
        collectionBeginTime => '20261205143000Z',
    },
    measData => [{
        nEId => {
            nEUserName          => 'RNC-North-1',
            nEDistinguishedName => 'DC=example.net,SubNetwork=1,MeContext=RNC-North-1,ManagedElement=1',
        },
        measInfo => [
            {
                measTimeStamp     => '20261205144500Z',
                granularityPeriod => 900,
                measTypes         => ['attTCHSeizures', 'succTCHSeizures', 'failTCHSeizures'],
                measValues        => [
                    { measObjInstId => 'RncFunction=1,UtranCell=Gbg-997',
                      measResults   => [{ iValue => 234 }, { iValue => 345 }, { iValue => 0 }] },
                    { measObjInstId => 'RncFunction=1,UtranCell=Gbg-998',
                      measResults   => [{ iValue => 4294967295 }, { iValue => 2147483648 }, { noValue => 1 }],
                      suspectFlag   => 1 },
                    { measObjInstId => 'RncFunction=1,UtranCell=Gbg-999',
                      measResults   => [{ iValue => 890 }, { iValue => 901 }, { iValue => 12 }],
                      suspectFlag   => 0 },
                ],
            },
            {
                measTimeStamp     => '20261205144500Z',
                granularityPeriod => 900,
                measTypes         => ['rabEstabAtt', 'rabEstabSuccRate'],
                measValues        => [
                    { measObjInstId => 'RncFunction=1',
                      measResults   => [{ iValue => 5000 }, { rValue => 99.5 }] },
                ],
            },
        ],
    }],
    measFileFooter => '20261205144500Z',
});
