package MeasFile;
# Encodes 3GPP measurement collection files in BER from Perl data, for the samples of
# this directory and for tests. The layout follows the 3GPP ASN.1 module with every
# context tag written out (Convert::ASN1 has no automatic tags). Time stamps are OCTET
# STRING: under implicit tags the octets are the same as a GeneralizedTime's, and the
# text passes through unchanged. Needs Convert::ASN1 (Debian libconvert-asn1-perl).
use strict;
use warnings;
use Convert::ASN1;
use Exporter 'import';

our @EXPORT_OK = qw(encode_meas_file indefinite meas_layout);

my $layout = <<'ASN';
MeasDataCollection ::= SEQUENCE { measFileHeader [0] MeasFileHeader, measData [1] SEQUENCE OF MeasData, measFileFooter [2] OCTET STRING }
MeasFileHeader ::= SEQUENCE { fileFormatVersion [0] INTEGER, senderName [1] PrintableString, senderType [2] PrintableString, vendorName [3] PrintableString, collectionBeginTime [4] OCTET STRING }
MeasData ::= SEQUENCE { nEId [0] NEId, measInfo [1] SEQUENCE OF MeasInfo }
NEId ::= SEQUENCE { nEUserName [0] PrintableString, nEDistinguishedName [1] PrintableString }
MeasInfo ::= SEQUENCE { measTimeStamp [0] OCTET STRING, granularityPeriod [1] INTEGER, measTypes [2] SEQUENCE OF PrintableString, measValues [3] SEQUENCE OF MeasValue }
MeasValue ::= SEQUENCE { measObjInstId [0] PrintableString, measResults [1] SEQUENCE OF MeasResult, suspectFlag [2] BOOLEAN OPTIONAL }
MeasResult ::= CHOICE { iValue [0] INTEGER, rValue [1] REAL, noValue [2] NULL }
ASN

my $file;

# The layout in Convert::ASN1's notation, for decoders.
sub meas_layout { return $layout }

# The BER octets of one measurement collection file described by a hash of the layout's
# element names (see make-samples.pl for examples).
sub encode_meas_file {
    my ($value) = @_;
    unless ($file) {
        my $asn = Convert::ASN1->new;
        $asn->prepare($layout) or die 'ASN.1 layout: ' . $asn->error . "\n";
        $file = $asn->find('MeasDataCollection') or die "no MeasDataCollection\n";
    }
    my $octets = $file->encode($value);
    defined $octets or die 'encode: ' . $file->error . "\n";
    return $octets;
}

# The same octets with every constructed element in the indefinite-length form (length
# octet 80, content, end-of-contents 00 00); primitive elements stay as they are.
sub indefinite {
    my ($octets) = @_;
    my $pos = 0;
    my $out = '';
    $out .= _indefinite_element($octets, \$pos) while $pos < length $octets;
    return $out;
}

sub _indefinite_element {
    my ($octets, $pos) = @_;
    my $start = $$pos;
    my $first = ord substr $octets, $$pos++, 1;
    if (($first & 0x1F) == 0x1F) {
        $$pos++ while ord(substr $octets, $$pos, 1) & 0x80;
        $$pos++;
    }
    my $identifier = substr $octets, $start, $$pos - $start;
    my $length = ord substr $octets, $$pos++, 1;
    if ($length & 0x80) {
        my $count = $length & 0x7F;
        $length = 0;
        $length = $length * 256 + ord substr $octets, $$pos++, 1 for 1 .. $count;
    }
    my $content = substr $octets, $$pos, $length;
    $$pos += $length;
    return $identifier . _length_octets($length) . $content unless $first & 0x20;
    my ($inner, $at) = ('', 0);
    $inner .= _indefinite_element($content, \$at) while $at < length $content;
    return $identifier . "\x80" . $inner . "\x00\x00";
}

sub _length_octets {
    my ($length) = @_;
    return chr $length if $length < 0x80;
    my $octets = '';
    while ($length) { $octets = chr($length & 0xFF) . $octets; $length >>= 8 }
    return chr(0x80 | length $octets) . $octets;
}

1;
