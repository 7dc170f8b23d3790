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

done_testing();
