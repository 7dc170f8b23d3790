# Every rendering rule of the tree print, byte for byte, with and without indentation.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BertreeRun qw(run_bertree ber_file);

sub hexbytes { my $h = shift; $h =~ s/\s+//g; return pack 'H*', $h }

# Seven nested indefinite SEQUENCEs around one element, which then stands at level 7.
sub at_level7 { my $inner = shift; return ('3080' x 7) . $inner . ('0000' x 7) }
my $seq7_open  = "SEQUENCE {\n" x 7;
my $seq7_close = "}\n" x 7;
my $seq7_open_i  = join '', map { ('  ' x $_) . "SEQUENCE {\n" } 0 .. 6;
my $seq7_close_i = join '', map { ('  ' x $_) . "}\n" } reverse 1 .. 7;

my @cases = (
    # name, octets in hex, expected without -i, expected with -i
    ['measurement header, as in the manual',
     '300c a00a 800105 8105 524e432d31',
     "SEQUENCE {\n[0] {\n[0]\n05\n[1] 'RNC-1'\n}\n}\n",
     "SEQUENCE {\n  [0] {\n    [0]\n      05\n    [1] 'RNC-1'\n    }\n  }\n"],
    ['PrintableString of three characters',
     '1303 616263', "PrintableString 'abc'\n", "PrintableString 'abc'\n"],
    ['OCTET STRING of three printable bytes is hex',
     '0403 616263', "OctetString\n61 62 63\n", "OctetString\n  61 62 63\n"],
    ['OCTET STRING of five printable bytes is quoted',
     '0405 68656c6c6f', "OctetString 'hello'\n", "OctetString 'hello'\n"],
    ['context [19] with printable content takes the string name',
     '9302 6869', "PrintableString 'hi'\n", "PrintableString 'hi'\n"],
    ['string tag with non-printable content falls through',
     '1302 0a41', "PrintableString\n0A 41\n", "PrintableString\n  0A 41\n"],
    ['long non-printable content is hex',
     '0405 0001020304', "OctetString\n00 01 02 03 04\n", "OctetString\n  00 01 02 03 04\n"],
    ['UNIVERSAL tag 27 not printable is numbered',
     '1b01 00', "[27]\n00\n", "[27]\n  00\n"],
    ['tag above 27 is numbered',
     '1c01 41', "[28]\n41\n", "[28]\n  41\n"],
    ['multi-octet context tag',
     '9f8100 01 07', "[128]\n07\n", "[128]\n  07\n"],
    ['APPLICATION element takes the UNIVERSAL name',
     '4501 07', "Null\n07\n", "Null\n  07\n"],
    ['empty content prints an empty line',
     '0500', "Null\n\n", "Null\n\n"],
    ['primitive length 0x80 is empty',
     '0480', "OctetString\n\n", "OctetString\n\n"],
    ['UNIVERSAL SET prints its number',
     '3103 020101', "[17] {\nInteger\n01\n}\n", "[17] {\n  Integer\n    01\n  }\n"],
    ['context constructed',
     'a503 020101', "[5] {\nInteger\n01\n}\n", "[5] {\n  Integer\n    01\n  }\n"],
    ['indefinite lengths',
     '3080 a080 020105 0000 0000',
     "SEQUENCE {\n[0] {\nInteger\n05\n}\n}\n",
     "SEQUENCE {\n  [0] {\n    Integer\n      05\n    }\n  }\n"],
    ['level-7 tag 0 is quoted with escapes',
     at_level7('8005 410a42c37f'),
     $seq7_open . "[0] 'A%0AB%C3%7F'\n" . $seq7_close,
     $seq7_open_i . ('  ' x 7) . "[0] 'A%0AB%C3%7F'\n" . $seq7_close_i],
    ['level-7 tag 0 of one octet is still quoted',
     at_level7('8001 00'),
     $seq7_open . "[0] '%00'\n" . $seq7_close,
     $seq7_open_i . ('  ' x 7) . "[0] '%00'\n" . $seq7_close_i],
    ['level-6 tag 0 is hex',
     ('3080' x 6) . '8003 410a42' . ('0000' x 6),
     ("SEQUENCE {\n" x 6) . "[0]\n41 0A 42\n" . ("}\n" x 6),
     (join '', map { ('  ' x $_) . "SEQUENCE {\n" } 0 .. 5) . ('  ' x 6) . "[0]\n" . ('  ' x 7)
       . "41 0A 42\n" . (join '', map { ('  ' x $_) . "}\n" } reverse 1 .. 6)],
    ['empty file', '', "RESERVEDBER\n\n", "RESERVEDBER\n\n"],
    ['truncated file prints what was decoded',
     '3005 020105 04', "SEQUENCE {\nInteger\n05\n}\n", "SEQUENCE {\n  Integer\n    05\n  }\n"],
    ['a break inside an element keeps what was decoded of it and closes its braces',
     '3080 3080 020105 04', "SEQUENCE {\nSEQUENCE {\nInteger\n05\n}\n}\n",
     "SEQUENCE {\n  SEQUENCE {\n    Integer\n      05\n    }\n  }\n"],
    ['a cut element deep in the file',
     '3007 020105 3004 040341', "SEQUENCE {\nInteger\n05\nSEQUENCE {\nOctetString\n41\n[cut: 1 of 3 octets]\n}\n}\n",
     "SEQUENCE {\n  Integer\n    05\n  SEQUENCE {\n    OctetString\n      41\n      [cut: 1 of 3 octets]\n    }\n  }\n"],
    ['content cut by the end of the file: the octets read, then the cut',
     '0405 4142', "OctetString\n41 42\n[cut: 2 of 5 octets]\n", "OctetString\n  41 42\n  [cut: 2 of 5 octets]\n"],
    ['a cut string shows its printable octets',
     '1305 4142', "PrintableString 'AB'\n[cut: 2 of 5 octets]\n", "PrintableString 'AB'\n  [cut: 2 of 5 octets]\n"],
    ['a cut with no octet left',
     '0405', "OctetString\n\n[cut: 0 of 5 octets]\n", "OctetString\n\n  [cut: 0 of 5 octets]\n"],
    ['a cut length far beyond the file',
     '0484fffffff0 4142', "OctetString\n41 42\n[cut: 2 of 4294967280 octets]\n",
     "OctetString\n  41 42\n  [cut: 2 of 4294967280 octets]\n"],
    ['only the first element of the file',
     '020107 020108', "Integer\n07\n", "Integer\n  07\n"],
    ['long hex content stays one line',
     '048201f4' . ('00ff' x 250), "OctetString\n" . join(' ', ('00', 'FF') x 250) . "\n",
     "OctetString\n  " . join(' ', ('00', 'FF') x 250) . "\n"],
    ['level-7 quoted content with an escape every other octet',
     at_level7('80820190' . ('410a' x 200)),
     $seq7_open . "[0] '" . ('A%0A' x 200) . "'\n" . $seq7_close,
     $seq7_open_i . ('  ' x 7) . "[0] '" . ('A%0A' x 200) . "'\n" . $seq7_close_i],
    ['deep nesting indents by level',
     ('3080' x 200) . '020105' . ('0000' x 200),
     ("SEQUENCE {\n" x 200) . "Integer\n05\n" . ("}\n" x 200),
     (join '', map { ('  ' x $_) . "SEQUENCE {\n" } 0 .. 199) . ('  ' x 200) . "Integer\n" . ('  ' x 201) . "05\n"
       . (join '', map { ('  ' x $_) . "}\n" } reverse 1 .. 200)],
);

for my $case (@cases) {
    my ($name, $hex, $plain, $indented) = @$case;
    my $file = ber_file(hexbytes($hex));
    my ($status, $out, $err) = run_bertree($file);
    is($out, $plain, "$name");
    is($status, 0, "$name: exit 0");
    is($err, '', "$name: nothing on stderr");
    ($status, $out) = run_bertree('-i', $file);
    is($out, $indented, "$name (-i)");
}

done_testing;
