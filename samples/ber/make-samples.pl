#!/usr/bin/perl
# Writes the bundled BER measurement samples of this directory:
#   perl samples/ber/make-samples.pl [OUTDIR]
# The files follow the 3GPP measurement collection layout (automatic tags, encoded by
# MeasFile.pm); the content is invented. Needs Convert::ASN1 (Debian
# libconvert-asn1-perl).
use strict;
use warnings;
use File::Basename qw(dirname);
use lib dirname(__FILE__);
use MeasFile qw(encode_meas_file indefinite);
use IO::Compress::Gzip qw(gzip $GzipError);

my $outdir = shift // dirname(__FILE__);

sub write_sample {
    my ($name, $octets) = @_;
    open my $fh, '>:raw', "$outdir/$name" or die "$outdir/$name: $!\n";
    print {$fh} $octets;
    close $fh or die "$outdir/$name: $!\n";
    printf "%s: %d octets\n", $name, length $octets;
}

# A small file of one network element with two measurement-info blocks: suspect flags
# set, cleared and absent, an integer above 2^31, a real and a missing value.
my $rnc = encode_meas_file({
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
write_sample('meas-rnc.ber', $rnc);

# The same file with every constructed element in the indefinite-length form.
write_sample('meas-rnc-indefinite.ber', indefinite($rnc));

# Two network elements, six measurement-info blocks, no suspect flags at all. Object
# instances for the object-map classes of the built-in example configuration: with
# alternative names (cell=, nodeb=, cs/ps, stm-1line=), without (NodeBFddE=), and
# none (Unit=7, which falls back to OBJ). Measurement types with ".", "-" and ",", a
# sender type with "/", a user name with blanks; integers at 2^31 and 2^32 - 1; reals in
# the binary encoding, zero and negative; missing values.
my $utran = encode_meas_file({
    measFileHeader => {
        fileFormatVersion   => 3,
        senderName          => 'managedElementId=RNC01',
        senderType          => 'RNC/UTRAN',
        vendorName          => 'Example Networks',
        collectionBeginTime => '20261205170000Z',
    },
    measData => [
        {
            nEId => { nEUserName => 'RNC 01 north', nEDistinguishedName => 'nodeb=9' },
            measInfo => [
                {
                    measTimeStamp     => '20261205174500Z',
                    granularityPeriod => 900,
                    measTypes         => ['pmRrc.ConnEstab-Att', 'pmRrc,ConnEstabSucc'],
                    measValues        => [
                        { measObjInstId => 'cell=12',
                          measResults   => [{ iValue => 10 }, { iValue => 4294967295 }] },
                        { measObjInstId => 'cell=13',
                          measResults   => [{ iValue => 0 }, { noValue => 1 }] },
                        { measObjInstId => 'cell=5-cgi=262.=1.=77',
                          measResults   => [{ iValue => 2147483648 }, { iValue => 2147483647 }] },
                    ],
                },
                {
                    measTimeStamp     => '20261205180000Z',
                    granularityPeriod => 3600,
                    measTypes         => ['nodebAtt', 'nodebLoad'],
                    measValues        => [
                        { measObjInstId => 'nodeb=17', measResults => [{ iValue => 7 }, { rValue => 0.25 }] },
                        { measObjInstId => 'nodeb=18', measResults => [{ iValue => 8 }, { rValue => -1.5 }] },
                        { measObjInstId => 'nodeb=19', measResults => [{ iValue => 9 }, { rValue => 0 }] },
                    ],
                },
                {
                    measTimeStamp     => '20261205174500Z',
                    granularityPeriod => 59,
                    measTypes         => ['fddUp'],
                    measValues        => [
                        { measObjInstId => 'NodeBFddE=4', measResults => [{ iValue => 1 }] },
                    ],
                },
                {
                    measTimeStamp     => '20261205174500Z',
                    granularityPeriod => 900,
                    measTypes         => ['domainAtt'],
                    measValues        => [
                        { measObjInstId => 'cs', measResults => [{ iValue => 3 }] },
                        { measObjInstId => 'ps', measResults => [{ noValue => 1 }] },
                    ],
                },
            ],
        },
        {
            nEId => { nEUserName => 'RNC02', nEDistinguishedName => 'managedElementId=RNC02' },
            measInfo => [
                {
                    measTimeStamp     => '20261205174500Z',
                    granularityPeriod => 900,
                    measTypes         => ['lineErr', 'lineUp'],
                    measValues        => [
                        { measObjInstId => 'stm-1line=1.2.3.4', measResults => [{ iValue => 65536 }, { iValue => 1 }] },
                        { measObjInstId => 'stm-1line=1.2.3.5', measResults => [{ iValue => 255 }, { iValue => 0 }] },
                    ],
                },
                {
                    measTimeStamp     => '20261205174500Z',
                    granularityPeriod => 900,
                    measTypes         => ['unitRestarts'],
                    measValues        => [
                        { measObjInstId => 'Unit=7', measResults => [{ iValue => 256 }] },
                        { measObjInstId => 'Unit=8', measResults => [{ iValue => 16777216 }] },
                    ],
                },
            ],
        },
    ],
    measFileFooter => '20261205180000Z',
});
write_sample('meas-utran.ber', $utran);

# The same file as collected files usually arrive, gzip-compressed. Without name and time
# stamp in the gzip header, so that every run writes the same octets.
gzip(\$utran => \my $compressed, Minimal => 1) or die "gzip: $GzipError\n";
write_sample('meas-utran.ber.gz', $compressed);
