# Whole conversions of files of both layouts, compared with results checked by hand against
# the XML, with 0, 1, 4 and 8 workers (the build without workers takes the same numbers and
# converts on the calling thread). The large radio-node file is checked against counters
# read from it here with plain patterns.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my @worker_counts = (0, 1, 4, 8);

# A clean conversion: start-up, run and stop succeed without any message.
sub convert {
    my ($file, @items) = @_;
    my $result = cycle($file, @items);
    is($result->{init}, 0, 'start-up');
    is($result->{run}, 0, 'run') or diag($result->{error});
    is($result->{error}, undef, 'no error');
    is_deeply($result->{warnings}, [], 'no warning');
    is($result->{deinit}, 0, 'stop');
    return $result->{data};
}

# commonHeaderData of a block: the file's header fields with the block's own.
sub header_with { my ($file, %block) = @_; return { %$file, %block } }

subtest 'the older layout' => sub {
    my %file_header = (
        ffv => '"32.401 V5.0"', sn_DC => 'example.com', sn_SubNetwork => '1', sn_SubNetwork_1 => 'North',
        st => 'RNC', vn => '"Vendor A"', cbt => '20261205143000.0+0100', ts => '20261205144500.0+0100',
    );
    my %north = (nedn_SubNetwork => '1', nedn_SubNetwork_1 => 'North', nedn_ManagedElement => 'RNC-1');
    my %south = (nedn_SubNetwork => '1', nedn_SubNetwork_1 => 'South', nedn_ManagedElement => 'RNC-2');
    my %period = (mts => '20261205144500.0+0100', gp => '900');
    my %cell = map { my $c = $_; $c => { moid_RncFunction => ($c =~ /^S/ ? '2' : '1'), moid_UtranCell => $c } }
        qw(C1 C2 C3 S1);
    my %relation = (moid_RncFunction => '1', moid_UtranCell => 'C1', moid_UtranRelation => 'C1',
        moid_UtranRelation_1 => 'C2');
    my $expected = {
        commonHeaderData => {
            0 => header_with(\%file_header, %north),
            1 => header_with(\%file_header, %north),
            2 => header_with(\%file_header, %south),
        },
        dataTypeDict => {
            (map { $_ => '0' } qw(ffv st vn cbt ts mts gp)),
            (map { $_ => '1' } qw(sn_DC sn_SubNetwork sn_SubNetwork_1 nedn_SubNetwork nedn_SubNetwork_1
                nedn_ManagedElement moid_RncFunction moid_UtranCell moid_UtranRelation moid_UtranRelation_1)),
        },
        0 => {
            internalHeaderData => { %{ $cell{C3} }, %period },
            blockName => 'RncFunction_UtranCell',
            0 => { pifData => { pmRrcAtt => '10', pmRrcSucc => '9', pmRrcFail => '-1', %{ $cell{C1} }, sf => 'FALSE' } },
            1 => { pifData => { pmRrcAtt => '20', pmRrcSucc => '-1', pmRrcFail => '1', %{ $cell{C2} }, sf => 'TRUE' } },
            2 => { pifData => { pmRrcAtt => '30', pmRrcSucc => '30', pmRrcFail => '', %{ $cell{C3} } } },
        },
        1 => {
            internalHeaderData => { %relation, %period },
            blockName => 'RncFunction_UtranCell_UtranRelation_UtranRelation',
            0 => { pifData => { pmHoAtt => '5', pmHoSucc => '4', %relation } },
        },
        2 => {
            internalHeaderData => { %{ $cell{S1} }, %period },
            blockName => 'RncFunction_UtranCell',
            0 => { pifData => { pmRrcAtt => '7', pmRrcSucc => '7', pmRrcFail => '0', %{ $cell{S1} }, sf => 'TRUE' } },
        },
    };
    for my $workers (@worker_counts) {
        subtest "$workers workers" => sub {
            is_deeply(convert(sample('measdoc_features_mdc.xml'), altCounterNullValue => ['-1'],
                threadNumber => [$workers]), $expected, 'the whole result');
        };
    }
    my $kept = convert(sample('measdoc_features_mdc.xml'));
    is_deeply([map { $kept->{0}{$_}{pifData}{$_ ? 'pmRrcSucc' : 'pmRrcFail'} } 0, 1], ['NULL', 'null'],
        'without altCounterNullValue NULL stays as written');
};

subtest 'the measCollecFile layout' => sub {
    my %file_header = (
        fileFormatVersion => '"32.435 V10.0"', vendorName => '"Vendor A"', dnPrefix_DC => 'example.com',
        dnPrefix_SubNetwork => '1', localDn => '"OSS North"', elementType => 'RNC',
        beginTime => '2026-12-05T14:30:00+01:00', endTime => '2026-12-05T15:00:00+01:00',
    );
    my %north = (localDn_SubNetwork => 'North', localDn_SubNetwork_1 => 'Core', localDn_ManagedElement => 'RNC-1');
    my %south = (localDn_SubNetwork => 'South', localDn_ManagedElement => 'RNC-2');
    my %cell = map { my $c = $_; $c => { measObjLdn_RncFunction => ($c =~ /^S/ ? '2' : '1'), measObjLdn_UtranCell => $c } }
        qw(C1 C2 S1);
    my %relation = (measObjLdn_RncFunction => '1', measObjLdn_UtranCell => 'C1', measObjLdn_UtranRelation => 'C1',
        measObjLdn_UtranRelation_1 => 'C2');
    my %first_period = (duration => 'PT900S', endTime => '2026-12-05T14:45:00+01:00');
    my $expected = {
        commonHeaderData => {
            0 => header_with(\%file_header, %north),
            1 => header_with(\%file_header, %north),
            2 => header_with(\%file_header, %south),
        },
        dataTypeDict => {
            (map { $_ => '0' } qw(fileFormatVersion vendorName localDn elementType beginTime endTime duration)),
            (map { $_ => '1' } qw(dnPrefix_DC dnPrefix_SubNetwork localDn_SubNetwork localDn_SubNetwork_1
                localDn_ManagedElement measObjLdn_RncFunction measObjLdn_UtranCell measObjLdn_UtranRelation
                measObjLdn_UtranRelation_1)),
        },
        0 => {
            internalHeaderData => { %{ $cell{C2} }, %first_period },
            blockName => 'RncFunction_UtranCell',
            0 => { pifData => { pmRrcAtt => '10', pmRrcSucc => '9', pmRrcFail => 'NULL', %{ $cell{C1} }, suspect => 'FALSE' } },
            1 => { pifData => { pmRrcAtt => '20', pmRrcSucc => 'null', pmRrcFail => '1', %{ $cell{C2} }, suspect => 'TRUE' } },
        },
        1 => {
            internalHeaderData => { %relation, %first_period },
            blockName => 'RncFunction_UtranCell_UtranRelation_UtranRelation',
            0 => { pifData => { pmHoAtt => '5', pmHoSucc => '4', %relation } },
        },
        2 => {
            internalHeaderData => { %{ $cell{S1} }, duration => 'PT900S', endTime => '2026-12-05T15:00:00+01:00' },
            blockName => 'RncFunction_UtranCell',
            0 => { pifData => { pmRrcAtt => '7', pmRrcSucc => '7', pmRrcFail => '0', %{ $cell{S1} }, suspect => 'TRUE' } },
        },
    };
    for my $workers (@worker_counts) {
        subtest "$workers workers" => sub {
            is_deeply(convert(sample('measdoc_features_measCollec.xml'),
                xmlDocumentType => ['1'],
                suspectFlagElementName => ['suspect'],
                distinguishedNameElementNames => [qw(fileHeader.dnPrefix managedElement.localDn measValue.measObjLdn)],
                threadNumber => [$workers]), $expected, 'the whole result');
        };
    }
};

# The measType/r form of the layout, as radio nodes write it; the vendor name and the
# sender are no distinguished names there.
my @measType_form = (
    xmlDocumentType => ['1'],
    measureTypeElementSeq => ['measType'],
    measurementResultsElementSeq => ['r'],
    suspectFlagElementName => ['suspect'],
    distinguishedNameElementNames => ['measValue.measObjLdn'],
);

# Texts as XML means them (xmlStandardText 1) against the default, which takes them as
# written; a value split by a comment is one value either way.
sub older_layout {
    my (%part) = @_;
    my $vn = $part{vn} // 'X';
    my $r = $part{r} // '1';
    return qq{<mdc><mfh><vn>$vn</vn></mfh><md><neid><nedn>A=1</nedn></neid><mi><mts>M</mts><gp>900</gp>}
        . qq{<mt>attA</mt><mv><moid>C=1</moid><r>$r</r></mv></mi></md></mdc>};
}
my $prefixed = <<'XML';
<?xml version="1.0" encoding="UTF-8"?>
<mc:measCollecFile xmlns:mc="http://example.com/measCollec"
  xmlns="http://example.com/default"><mc:fileHeader mc:fileFormatVersion="32.435 V10.0" mc:vendorName="Gbg&amp;997"/>
<mc:measData><mc:managedElement localDn="RNC-1"/><mc:measInfo>
<mc:granPeriod duration="PT900S" endTime="2026-12-05T14:45:00+01:00"/><mc:measTypes>pmA pmB</mc:measTypes>
<mc:measValue measObjLdn="UtranCell=C1"><mc:measResults>1 <![CDATA[2]]></mc:measResults></mc:measValue>
</mc:measInfo></mc:measData></mc:measCollecFile>
XML

my @plain_names = (xmlDocumentType => ['1'], distinguishedNameElementNames => ['measValue.measObjLdn']);

subtest 'texts as XML means them' => sub {
    my @cases = (
        # name, file, [items], path into the data, value by default, value with xmlStandardText 1
        ['comment inside a value', older_layout(r => '4<!-- x -->12<?p?>3'), [], [0, 0, 'pifData', 'attA'], '4123', '4123'],
        ['CDATA value', older_layout(r => '<![CDATA[890]]>'), [], [0, 0, 'pifData', 'attA'], '', '890'],
        ['character references', older_layout(r => '&#55;&#x37;'), [], [0, 0, 'pifData', 'attA'], '&#55;&#x37;', '77'],
        ['entity in a header', older_layout(vn => 'Gbg&amp;997'), [], ['commonHeaderData', 0, 'vn'], 'Gbg&amp;997',
            'Gbg&997'],
        ['namespace prefixes', $prefixed, \@plain_names, [0, 0, 'pifData', 'pmB'], undef, '2'],
        ['attribute of a prefixed name', $prefixed, \@plain_names, ['commonHeaderData', 0, 'vendorName'],
            undef, 'Gbg&997'],
    );
    for my $case (@cases) {
        my ($name, $content, $items, $path, @want) = @$case;
        my $file = write_file('text-as-xml.xml', $content);
        for my $standard (0, 1) {
            for my $workers (0, default_threads()) {
                my $result = cycle($file, @$items, xmlStandardText => [$standard], threadNumber => [$workers]);
                my $got = $result->{data};
                $got = ref $got eq 'HASH' ? $got->{$_} : undef for @$path;
                next if !defined $want[$standard];
                is($result->{run}, 0, "$name, xmlStandardText $standard, $workers workers: run")
                    or diag($result->{error});
                is($got, $want[$standard], "$name, xmlStandardText $standard, $workers workers: value");
            }
        }
    }

    my $utf16 = write_file('utf16.xml', "\xFF\xFE" . join("\0", split //, older_layout()) . "\0");
    for my $standard (0, 1) {
        my $result = cycle($utf16, xmlStandardText => [$standard]);
        is($result->{run}, -1, "UTF-16, xmlStandardText $standard: fails");
        like($result->{error}, qr/^ERROR: xml - invalid data file \[UTF-16 encoded, not UTF-8\] /, 'saying why');
    }
};

subtest 'a published example file' => sub {
    my %header = (
        fileFormatVersion => '"32.435 V7.0"', vendorName => '"Company NN"',
        dnPrefix => 'DC=a1.companyNN.com,SubNetwork=1,IRPAgent=1',
        localDn => 'SubNetwork=CountryNN,MeContext=MEC-Gbg-1,ManagedElement=RNC-Gbg-1', elementType => 'RNC',
        beginTime => '2000-03-01T14:00:00+02:00', endTime => '2000-03-01T14:15:00+02:00',
    );
    my %period = (duration => 'PT900S', endTime => '2000-03-01T14:14:30+02:00');
    my %cell = map { $_ => { measObjLdn_RncFunction => 'RF-1', measObjLdn_UtranCell => "Gbg-$_" } } 997 .. 999;
    my %enodeb = (measObjLdn_ManagedElement => 'RNC-Gbg-1', measObjLdn_ENodeBFunction => '1');
    my @names = qw(attTCHSeizures succTCHSeizures attImmediateAssignProcs succImmediateAssignProcs);
    my $row = sub {
        my ($suffixes, $values, $object, @suspect) = @_;
        my %counters;
        @counters{ map { $names[$_] . $suffixes->[$_] } 0 .. 3 } = @$values;
        return { pifData => { %counters, %$object, @suspect } };
    };
    my $expected = {
        commonHeaderData => { map { $_ => \%header } 0 .. 2 },
        dataTypeDict => {
            (map { $_ => '0' } qw(fileFormatVersion vendorName dnPrefix localDn elementType beginTime endTime duration)),
            (map { $_ => '1' } qw(measObjLdn_RncFunction measObjLdn_UtranCell measObjLdn_ManagedElement
                measObjLdn_ENodeBFunction)),
        },
        0 => {
            internalHeaderData => { %{ $cell{999} }, %period },
            blockName => 'RncFunction_UtranCell',
            0 => $row->(['', '', '', ''], [234, 345, 567, 789], $cell{997}),
            1 => $row->(['', '', '', ''], [890, 901, 123, 234], $cell{998}),
            2 => $row->(['', '', '', ''], [456, 567, 678, 789], $cell{999}, suspect => 'TRUE'),
        },
        1 => {
            internalHeaderData => { %enodeb, %period },
            blockName => 'ManagedElement_ENodeBFunction',
            0 => $row->([1 .. 4], [4, '86,87,2,6,77,96,75,33,24', 40, 90], \%enodeb, suspect => 'FALSE'),
        },
        2 => {
            internalHeaderData => { %{ $cell{999} }, %period },
            blockName => 'RncFunction_UtranCell',
            0 => $row->([5 .. 8], [238, 344, 563, 787], $cell{997}),
            1 => $row->([5 .. 8], [898, 905, 127, 238], $cell{998}),
            2 => $row->([5 .. 8], [454, 569, 672, 785], $cell{999}, suspect => 'TRUE'),
        },
    };
    is_deeply(convert(sample('onapPM_A20181002.0000-1000-0015-1000_5G.xml'), @measType_form), $expected,
        'the whole result');
};

# Counters of a measType/r file read with plain patterns: per block, per row, the counter
# names with the row's values by position, the measured object's components and the flag.
sub counters_of {
    my ($file) = @_;
    open(my $in, '<:raw', $file) or die "$file: $!";
    my $xml = do { local $/; <$in> };
    my $trimmed = sub { my $t = shift // ''; $t =~ s/^\s+|\s+$//g; $t =~ /\s/ ? qq{"$t"} : $t };
    my @blocks;
    while ($xml =~ m{<measInfo\b.*?</measInfo>}gs) {
        my $block = $&;
        my @names = $block =~ m{<measType\b[^>]*>\s*([^<]*?)\s*</measType>}g;
        my @rows;
        while ($block =~ m{<measValue measObjLdn="([^"]*)">(.*?)</measValue>}gs) {
            my ($object, $body) = ($1, $2);
            my @values = map { $trimmed->($_) } $body =~ m{<r\b[^>/]*(?:/>|>([^<]*)</r>)}g;
            my %row;
            @row{@names} = @values;
            my %seen;
            for (split /,/, $object) {
                my ($key, $value) = split /=/, $_, 2;
                my $name = "measObjLdn_$key";
                $name .= '_' . $seen{$key} if $seen{$key};
                $seen{$key}++;
                $row{$name} = $trimmed->($value);
            }
            $row{suspect} = lc($1) eq 'true' ? 'TRUE' : 'FALSE' if $body =~ m{<suspect>\s*(\w+)\s*</suspect>};
            push @rows, \%row;
        }
        push @blocks, \@rows;
    }
    return \@blocks;
}

subtest 'a large radio-node file' => sub {
    my $file = sample('oranRANPM_A20220418.1900-1915_seliitdus00487.xml');
    my $expected = counters_of($file);
    is(scalar @$expected, 34, 'the file has 34 blocks');
    my $first;
    for my $workers (@worker_counts) {
        subtest "$workers workers" => sub {
            my $data = convert($file, @measType_form, threadNumber => [$workers]);
            my @got;
            for my $b (0 .. $#$expected) {
                push @got, [map { $data->{$b}{$_}{pifData} } 0 .. $#{ $expected->[$b] }];
            }
            is_deeply(\@got, $expected, 'every counter of every row');
            is(scalar(grep { /^\d+$/ } keys %$data), 34, 'no other block');
            if ($first) { is_deeply($data, $first, 'the same result as with 0 workers') } else { $first = $data }
        };
    }
};

# What real files of the current layout do within the schema: lists wrapped over lines
# and padded, results numbered and left out or reordered, measured objects that are no
# list of Name=value. Each needs its item; without them such a file fails.
my %real_world = (
    xmlDocumentType => ['1'],
    measureTypeElementSeq => ['measTypes', 'measType'],
    measurementResultsElementSeq => ['measResults', 'r'],
    distinguishedNameElementNames => ['measValue.measObjLdn'],
);
my %real_world_items = (counterListWhiteSpace => ['1'], counterPositionAttribute => ['p'], plainObjectNames => ['1']);

sub measCollec_file {
    my (@measData) = @_;
    return write_file('real-world.xml', qq{<?xml version="1.0"?>\n<measCollecFile>}
        . q{<fileHeader fileFormatVersion="1"><fileSender localDn="S"/><measCollec beginTime="B"/></fileHeader>}
        . join('', map { qq{<measData><managedElement localDn="ME"/>$_</measData>} } @measData)
        . q{<fileFooter><measCollec endTime="F"/></fileFooter></measCollecFile>});
}

sub measInfo {
    my ($body) = @_;
    return qq{<measInfo><granPeriod duration="PT900S" endTime="E"/>$body</measInfo>};
}

my $lists = measInfo(qq{<measTypes>\n  a  b\tc\r\n</measTypes>}
    . qq{<measValue measObjLdn="Cell=1"><measResults> 1  2\n3 </measResults></measValue>}
    . qq{<measValue measObjLdn="Cell=2"><measResults>\n</measResults></measValue>});
my $numbered = measInfo(q{<measType p="1">x</measType><measType p="2">y</measType><measType p="3">z</measType>}
    . q{<measValue measObjLdn="10896"><r p="3">30</r><r p="1">10</r></measValue>}
    . q{<measValue measObjLdn=""><r p="2">20</r></measValue>}
    . q{<measValue measObjLdn="A=1,B-2,C"><r p="1">1</r><r p="2">2</r><r p="3">3</r></measValue>});

subtest 'lists, numbered results and plain object names' => sub {
    my $file = measCollec_file($lists, $numbered);
    my $first;
    for my $workers (@worker_counts) {
        my $data = convert($file, %real_world, %real_world_items, threadNumber => [$workers]);
        my @rows = map { my $b = $_; [map { $data->{$b}{$_} } sort grep { /^\d+$/ } keys %{ $data->{$b} }] } 0, 1;
        is_deeply([map { $_->{pifData} } @{ $rows[0] }],
            [{ a => '1', b => '2', c => '3', measObjLdn_Cell => '1' }, { measObjLdn_Cell => '2' }],
            "$workers workers: lists split at white space, an empty one gives no counter");
        is_deeply([map { $_->{pifData} } @{ $rows[1] }],
            [{ x => '10', z => '30', measObjLdn => '10896' }, { y => '20' },
             { x => '1', y => '2', z => '3', measObjLdn_A => '1', measObjLdn => 'B-2', measObjLdn_1 => 'C' }],
            "$workers workers: results by position, plain names by the attribute's name");
        is_deeply([map { $data->{$_}{blockName} } 0, 1], ['Cell', 'A_measObjLdn_measObjLdn'], 'block names');
        if ($first) { is_deeply($data, $first, 'the same result as with 0 workers') } else { $first = $data }
    }
    my $block = isolated(sub { convert(measCollec_file($numbered), %real_world, plainObjectNames => ['1'],
        counterPositionAttribute => ['p'], threadNumber => ['0'])->{0}{blockName} });
    is($block, 'A_measObjLdn_measObjLdn', 'the block takes the name of its last row');
};

subtest 'without the items such files fail, and unnumbered results still fail' => sub {
    my @cases = (
        [$lists, [counterPositionAttribute => ['p'], plainObjectNames => ['1']], qr/counter value is empty/],
        [$numbered, [counterListWhiteSpace => ['1'], plainObjectNames => ['1']], qr/type and result counters do not match/],
        [$numbered, [counterListWhiteSpace => ['1'], counterPositionAttribute => ['p']], qr/inconsistent name and value pair|counter value is empty/],
        [measInfo(q{<measType p="1">x</measType><measValue measObjLdn="A=1"><r p="2">1</r></measValue>}),
            [%real_world_items], qr/type and result counters do not match.*no counter name has the position of the result/],
        [measInfo(q{<measType p="1">x</measType><measValue measObjLdn="A=1"><r p="1">1</r><r>2</r></measValue>}),
            [%real_world_items], qr/result without position/],
        [measInfo(q{<measType p="1">x</measType><measValue measObjLdn="A=1"><r p="1">1</r><r p="1">2</r></measValue>}),
            [%real_world_items], qr/results share a position/],
    );
    for my $workers (0, 4) {
        for my $case (@cases) {
            my ($body, $items, $message) = @$case;
            my $r = cycle(measCollec_file($body), %real_world, @$items, threadNumber => [$workers]);
            isnt($r->{run}, 0, "$workers workers: the run fails");
            like($r->{error} // '', $message, 'with its message');
        }
    }
};

subtest 'of equally near headers a block takes the one before it' => sub {
    # Six network elements and their blocks side by side in one data section: every
    # nedn is as near to every block as any other.
    my $pairs = join '', map { qq{<neid><nedn>ManagedElement=$_</nedn></neid>}
        . qq{<mi><mts>M</mts><gp>900</gp><mt>a</mt><mv><moid>Cell=$_</moid><r>$_</r></mv></mi>} } 1 .. 6;
    my $file = write_file('side-by-side.xml',
        qq{<mdc><mfh><cbt>C</cbt></mfh><md>$pairs</md><mff><ts>T</ts></mff></mdc>});
    for my $workers (@worker_counts) {
        my $data = convert($file, threadNumber => [$workers]);
        is_deeply([map { $data->{commonHeaderData}{$_}{nedn_ManagedElement} } 0 .. 5], [1 .. 6],
            "$workers workers: each block under the element written before it");
    }
};

subtest 'both counter forms in one data section' => sub {
    my $file = measCollec_file(
        measInfo(q{<measTypes>a b</measTypes><measValue measObjLdn="Cell=1"><measResults>1 2</measResults></measValue>})
        . measInfo(q{<measType p="1">x</measType><measType p="2">y</measType>}
            . q{<measValue measObjLdn="Cell=2"><r p="1">3</r><r p="2">4</r></measValue>})
        . measInfo(q{<measTypes>c</measTypes><measValue measObjLdn="Cell=3"><measResults>5</measResults></measValue>}));
    for my $workers (@worker_counts) {
        my $data = convert($file, %real_world, threadNumber => [$workers]);
        is_deeply([map { $data->{$_}{0}{pifData} } 0 .. 2],
            [{ a => '1', b => '2', measObjLdn_Cell => '1' }, { x => '3', y => '4', measObjLdn_Cell => '2' },
             { c => '5', measObjLdn_Cell => '3' }], "$workers workers: every block keeps its counters");
    }
    my $r = cycle(measCollec_file(measInfo(q{<measType>x</measType><measType>y</measType>}
        . q{<measValue measObjLdn="Cell=1"><measResults>1</measResults></measValue>})), %real_world);
    like($r->{error} // '', qr/type and result counters do not match/, 'names and values of different forms must agree');
};

subtest 'header names qualified by their element' => sub {
    my $file = write_file('qualified.xml', q{<measCollecFile>}
        . q{<fileHeader fileFormatVersion="1"><fileSender localDn="S"/><measCollec beginTime="B"/></fileHeader>}
        . q{<measData><managedElement localDn=""/><measInfo measInfoId="M1"><granPeriod duration="PT900S" endTime="E"/>}
        . q{<measTypes>a</measTypes><measValue measObjLdn="Cell=1"><measResults>1</measResults></measValue>}
        . q{</measInfo></measData><fileFooter><measCollec endTime="F"/></fileFooter></measCollecFile>});
    my @items = (%real_world,
        headerElementNames => [qw(fileSender.localDn measCollec.beginTime measCollec.endTime managedElement.localDn
            measInfo.measInfoId granPeriod.duration granPeriod.endTime)],
        uniquePifHeaderElementNames => ['measValue.measObjLdn']);
    my %qualified = ('fileSender.localDn' => 'S', 'measCollec.beginTime' => 'B', 'measCollec.endTime' => 'F',
        'managedElement.localDn' => '', 'measInfo.measInfoId' => 'M1', 'granPeriod.duration' => 'PT900S',
        'granPeriod.endTime' => 'E');
    for my $workers (@worker_counts) {
        my $data = convert($file, @items, qualifiedHeaderNames => ['1'], threadNumber => [$workers]);
        is_deeply($data->{commonHeaderData}{0}, \%qualified, "$workers workers: no header replaces another");
    }
    my $plain = convert($file, @items, threadNumber => ['0'])->{commonHeaderData}{0};
    is_deeply([sort keys %$plain], [qw(beginTime duration endTime localDn measInfoId)], 'without the item: attribute names');
};

subtest 'a block without an optional element does not take its neighbour\'s' => sub {
    my $file = measCollec_file(measInfo(q{<job jobId="J1"/><measTypes>a</measTypes>}
            . q{<measValue measObjLdn="Cell=1"><measResults>1</measResults></measValue>})
        . measInfo(q{<measTypes>b</measTypes><measValue measObjLdn="Cell=2"><measResults>2</measResults></measValue>}));
    for my $workers (@worker_counts) {
        my $data = convert($file, %real_world, qualifiedHeaderNames => ['1'], threadNumber => [$workers],
            headerElementNames => [qw(fileSender.localDn measCollec.beginTime measCollec.endTime
                managedElement.localDn job.jobId granPeriod.endTime)]);
        my %file = ('fileSender.localDn' => 'S', 'measCollec.beginTime' => 'B', 'measCollec.endTime' => 'F',
            'managedElement.localDn' => 'ME', 'granPeriod.endTime' => 'E');
        is_deeply([map { $data->{commonHeaderData}{$_} } 0, 1], [{ %file, 'job.jobId' => 'J1' }, \%file],
            "$workers workers");
    }
};

done_testing();
