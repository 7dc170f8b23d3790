# The baselines the XML and BER benchmarks compare against: the value rules of the
# result hash, the XML::LibXML and XML::Twig converters (and, on the measCollecFile, the
# Go and Python ones) on small files whose result is written out here by hand, the
# converters agreeing on generated files of both layouts, and the Convert::ASN1 decode
# seeing every value.
use strict;
use warnings;
use FindBin;
use File::Temp qw(tempdir);
use Test::More;

my $src;
BEGIN { $src = $ENV{PM_SOURCE_DIR} // "$FindBin::Bin/../.." }
use lib "$src/bench/lib", "$src/samples/ber";
use BenchData qw(meas_content ber_octets xml_meas_collec xml_mdc write_bytes);
use MeasXml qw(quote dn_pairs dist_block suspect_value canonical go_converter result_rows rows_text go_rows
    csv_rows);

my $build = $ENV{PM_BUILD_DIR};
my $dir = tempdir(CLEANUP => 1);
my $steps = "$src/bench/steps";

subtest 'value rules of the result' => sub {
    is_deeply([ dn_pairs('nedn', 'SubNetwork=1,ManagedElement=RNC01') ],
              [ nedn_SubNetwork => '1', nedn_ManagedElement => 'RNC01' ], 'distinguished name');
    is_deeply([ dn_pairs('localDn', 'A=1,A=2,A=3') ], [ localDn_A => '1', localDn_A_1 => '2', localDn_A_2 => '3' ],
              'a repeated name is numbered');
    is_deeply([ dn_pairs('x', 'a=b c') ], [ x_a => '"b c"' ], 'values with a blank are quoted');
    ok(!eval { dn_pairs('x', 'a=1,b'); 1 }, 'pieces that do not pair up fail');
    is(quote('a b'), '"a b"', 'quoted');
    is(quote('ab'), 'ab', 'not quoted');
    is(dist_block('SubNetwork=1,ManagedElement=RNC01,UtranCell=C1'), 'SubNetwork_ManagedElement_UtranCell', 'block name');
    is(suspect_value('true'), 'TRUE', 'suspect, any case');
    is(suspect_value('yes'), 'FALSE', 'anything else is not suspect');
    is_deeply([ MeasXml::csv_fields(qq{"a=1,b=2",7,"86,87,2","say ""x""",\r\n}) ],
              [ 'a=1,b=2', '7', '86,87,2', 'say "x"', '' ], 'CSV fields: quoted, plain, doubled quotes, empty last');
};

subtest 'results compare equal whatever the block order and number form' => sub {
    my %a = (commonHeaderData => { 0 => { h => 'x' }, 1 => { h => 'y' } }, dataTypeDict => { h => 0 },
             0 => { blockName => 'A', 0 => { pifData => { c => 1 } } }, 1 => { blockName => 'B' });
    my %b = (commonHeaderData => { 0 => { h => 'y' }, 1 => { h => 'x' } }, dataTypeDict => { h => '0' },
             0 => { blockName => 'B' }, 1 => { blockName => 'A', 0 => { pifData => { c => '1' } } });
    is(canonical(\%a), canonical(\%b), 'blocks in another order, numbers as texts');
    $b{1}{0}{pifData}{c} = '2';
    isnt(canonical(\%a), canonical(\%b), 'a value that differs');
    $b{1}{0}{pifData}{c} = '1';
    $b{commonHeaderData}{0}{h} = 'x';
    isnt(canonical(\%a), canonical(\%b), 'a block with another block\'s header');
    my @rows = ({ c => 1, d => 2 }, { c => 3 });
    is(rows_text(reverse @rows), rows_text(@rows), 'rows in another order');
    isnt(rows_text({ c => 1 }, { c => 3 }), rows_text(@rows), 'a row without one of its values');
};

# The Go and Python converters write rows of their own forms, which must hold the rows
# of the expected result; a row whose results do not pair up with the counters fails them.
sub row_baselines {
    my ($file, $expected) = @_;
    my $rows = rows_text(result_rows($expected));
    (my $broken = $file) =~ s/\.xml\z/-broken.xml/;
    write_bytes($broken, do { open my $fh, '<', $file or die; local $/; <$fh> } =~ s{<measResults>1 2<}{<measResults>1<}r);
    SKIP: {
        my ($go, $why) = $build ? go_converter($build) : (undef, 'PM_BUILD_DIR is not set');
        skip $why, 2 unless $go;
        system("$go $file > $dir/go.json") == 0 or die "the Go converter failed on $file\n";
        is(rows_text(go_rows("$dir/go.json")), $rows, 'Go converter');
        ok(system("$go $broken > /dev/null 2>&1") != 0, 'Go converter: results that do not pair up fail');
    }
    SKIP: {
        skip 'python3-lxml is installed by bench/install-bench-deps', 2
            unless system('/usr/bin/python3 -c "import lxml.etree" 2>/dev/null') == 0;
        my $csv = tempdir(DIR => $dir);
        system('/usr/bin/python3', "$steps/lxml-csv.py", $file, $csv) == 0 or die "lxml-csv.py failed on $file\n";
        is(rows_text(csv_rows($csv)), $rows, 'Python lxml converter');
        ok(system("/usr/bin/python3 $steps/lxml-csv.py $broken $csv 2>/dev/null") != 0,
           'Python lxml converter: results that do not pair up fail');
    }
}

SKIP: {
    skip 'XML::LibXML and XML::Twig are installed by bench/install-bench-deps', 3
        unless eval { require XML::LibXML; require XML::Twig; 1 };

    sub dump_of {
        my ($converter, $file) = @_;
        my $out = `$^X $steps/$converter $file --dump`;
        die "$converter failed on $file\n" if $?;
        return $out;
    }

    subtest 'measCollecFile written out by hand' => sub {
        my $file = write_bytes("$dir/collec.xml", <<'XML');
<?xml version="1.0" encoding="UTF-8"?>
<measCollecFile xmlns="http://www.3gpp.org/ftp/specs/archive/32_series/32.435#measCollec">
<fileHeader fileFormatVersion="32.435 V10.0" vendorName="Vendor A" dnPrefix="DC=a.b,SubNetwork=1">
<fileSender localDn="SubNetwork=1,ManagedElement=OSS" elementType="RNC"/>
<measCollec beginTime="2026-12-05T10:00:00+01:00"/>
</fileHeader>
<measData>
<managedElement localDn="SubNetwork=1,ManagedElement=RNC01"/>
<measInfo>
<granPeriod duration="PT900S" endTime="2026-12-05T10:15:00+01:00"/>
<measTypes>attA attB</measTypes>
<measValue measObjLdn="RncFunction=1,UtranCell=C1"><measResults>1 2</measResults><suspect>false</suspect></measValue>
<measValue measObjLdn="RncFunction=1,UtranCell=C2"><measResults>3 86,87,2</measResults><suspect>TRUE</suspect></measValue>
</measInfo>
</measData>
<measData>
<managedElement localDn="SubNetwork=1,ManagedElement=RNC02"/>
<measInfo>
<granPeriod duration="PT900S" endTime="2026-12-05T10:15:00+01:00"/>
<measType p="1">x</measType><measType p="2">y z</measType>
<measValue measObjLdn="Equipment=1,Slot=2"><r p="1">5</r><r p="2">6</r></measValue>
</measInfo>
</measData>
<fileFooter><measCollec endTime="2026-12-05T10:15:00+01:00"/></fileFooter>
</measCollecFile>
XML
        # The footer's measCollec has no begin time: the header's stays. Its end time,
        # which the header lacks, comes from the footer.
        my %file = (vendorName => '"Vendor A"', fileFormatVersion => '"32.435 V10.0"', elementType => 'RNC',
                    localDn => 'SubNetwork=1,ManagedElement=OSS', endTime => '2026-12-05T10:15:00+01:00',
                    beginTime => '2026-12-05T10:00:00+01:00', dnPrefix_DC => 'a.b', dnPrefix_SubNetwork => '1',
                    localDn_SubNetwork => '1');
        my %period = (endTime => '2026-12-05T10:15:00+01:00', duration => 'PT900S');
        my $expected = {
            commonHeaderData => { 0 => { %file, localDn_ManagedElement => 'RNC01' },
                                  1 => { %file, localDn_ManagedElement => 'RNC02' } },
            dataTypeDict => { (map { $_ => 0 } qw(vendorName fileFormatVersion elementType localDn endTime beginTime
                                                  duration)),
                              (map { $_ => 1 } qw(dnPrefix_DC dnPrefix_SubNetwork localDn_SubNetwork
                                                  localDn_ManagedElement measObjLdn_RncFunction measObjLdn_UtranCell
                                                  measObjLdn_Equipment measObjLdn_Slot)) },
            0 => { internalHeaderData => { measObjLdn_RncFunction => '1', measObjLdn_UtranCell => 'C2', %period },
                   blockName => 'RncFunction_UtranCell',
                   0 => { pifData => { attA => '1', attB => '2', measObjLdn_RncFunction => '1',
                                       measObjLdn_UtranCell => 'C1', suspect => 'FALSE' } },
                   1 => { pifData => { attA => '3', attB => '86,87,2', measObjLdn_RncFunction => '1',
                                       measObjLdn_UtranCell => 'C2', suspect => 'TRUE' } } },
            1 => { internalHeaderData => { measObjLdn_Equipment => '1', measObjLdn_Slot => '2', %period },
                   blockName => 'Equipment_Slot',
                   0 => { pifData => { x => '5', '"y z"' => '6', measObjLdn_Equipment => '1',
                                       measObjLdn_Slot => '2' } } },
        };
        is(dump_of('xml-libxml.pl', $file), canonical($expected) . "\n", 'XML::LibXML converter');
        is(dump_of('xml-twig.pl', $file), canonical($expected) . "\n", 'XML::Twig converter');
        row_baselines($file, $expected);
    };

    subtest 'mdc file written out by hand' => sub {
        my $file = write_bytes("$dir/mdc.xml", <<'XML');
<?xml version="1.0"?>
<mdc xmlns="http://www.3gpp.org/ftp/specs/archive/32_series/32.401#measData">
<mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>Vendor A</vn><cbt>20261205100000</cbt></mfh>
<md><neid><neun>RNC01</neun><nedn>SubNetwork=1,ManagedElement=RNC01</nedn></neid>
<mi><mts>20261205101500</mts><gp>900</gp><mt>attA</mt><mt>attB</mt>
<mv><moid>RncFunction=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf></mv>
<mv><moid>RncFunction=1,UtranCell=C2</moid><r>3</r><r>4</r><sf>true</sf></mv>
</mi></md>
<mff><ts>20261205101500</ts></mff>
</mdc>
XML
        my $expected = {
            commonHeaderData => { 0 => { ffv => '1', sn_SubNetwork => '1', st => 'RNC', vn => '"Vendor A"',
                                         cbt => '20261205100000', ts => '20261205101500', nedn_SubNetwork => '1',
                                         nedn_ManagedElement => 'RNC01' } },
            dataTypeDict => { (map { $_ => 0 } qw(ffv st vn cbt ts mts gp)),
                              (map { $_ => 1 } qw(sn_SubNetwork nedn_SubNetwork nedn_ManagedElement moid_RncFunction
                                                  moid_UtranCell)) },
            0 => { internalHeaderData => { moid_RncFunction => '1', moid_UtranCell => 'C2', mts => '20261205101500',
                                           gp => '900' },
                   blockName => 'RncFunction_UtranCell',
                   0 => { pifData => { attA => '1', attB => '2', moid_RncFunction => '1', moid_UtranCell => 'C1',
                                       sf => 'FALSE' } },
                   1 => { pifData => { attA => '3', attB => '4', moid_RncFunction => '1', moid_UtranCell => 'C2',
                                       sf => 'TRUE' } } },
        };
        is(dump_of('xml-libxml.pl', $file), canonical($expected) . "\n", 'XML::LibXML converter');
        is(dump_of('xml-twig.pl', $file), canonical($expected) . "\n", 'XML::Twig converter');
    };

    subtest 'the two converters agree on generated files' => sub {
        my $content = meas_content(ne => 6, infos => 4, rows => 5, counters => 8);
        for my $layout ([ collec => \&xml_meas_collec ], [ mdc => \&xml_mdc ]) {
            my ($name, $writer) = @$layout;
            my $text = '';
            $writer->($content, sub { $text .= $_[0] });
            my $file = write_bytes("$dir/generated-$name.xml", $text);
            my $libxml = dump_of('xml-libxml.pl', $file);
            like($libxml, qr/pmRrcCounter08Of00/, "$name: counters are in the result");
            is(dump_of('xml-twig.pl', $file), $libxml, "$name: same result");
        }
    };
}

subtest 'Convert::ASN1 decodes every value of a generated file' => sub {
    my $file = write_bytes("$dir/meas.ber", ber_octets(meas_content(ne => 2, infos => 3, rows => 7, counters => 5,
                                                                   missing => 1)));
    my $out = `$^X $steps/convert-asn1.pl $file`;
    is($?, 0, 'decodes');
    like($out, qr/^BENCH-VALUES 42$/m, 'all 42 measurement values');
};

done_testing;
