# Whole conversions, each alike under every worker count (the build without workers takes the
# counts and converts on the calling thread): files whose results were checked by hand against
# the XML (in expected/), texts as written or as XML means them, what real files do within the
# schema, how blocks find their headers, faults that fail a run; then every XML sample.
use strict;
use warnings;
use PmBuild ();
use PmTest qw(sample source_dir scratch :measdoc);
use IO::Uncompress::Gunzip qw(gunzip $GunzipError);
use Test::More;

use measdoc;

my @measType_form = (xmlDocumentType => ['1'], measureTypeElementSeq => ['measType'],
    measurementResultsElementSeq => ['r'], suspectFlagElementName => ['suspect'],
    distinguishedNameElementNames => ['measValue.measObjLdn']);
# Real files of the current layout: lists wrapped over lines and padded, results numbered
# and left out or reordered, measured objects that are no list of Name=value.
my @real_world = (xmlDocumentType => ['1'], measureTypeElementSeq => ['measTypes', 'measType'],
    measurementResultsElementSeq => ['measResults', 'r'], distinguishedNameElementNames => ['measValue.measObjLdn']);
my @real_world_items = (counterListWhiteSpace => ['1'], counterPositionAttribute => ['p'], plainObjectNames => ['1']);

my $files = 0;
sub older_text {
    my (%part) = (vn => 'X', r => '1', mt => '', @_);
    return qq{<mdc><mfh><vn>$part{vn}</vn></mfh><md><neid><nedn>A=1</nedn></neid><mi><mts>M</mts><gp>900</gp>}
        . qq{<mt>attA</mt>$part{mt}<mv><moid>C=1</moid><r>$part{r}</r></mv></mi></md></mdc>};
}
sub older_layout { write_file('older' . ++$files . '.xml', older_text(@_)) }
sub measCollec_file {
    return write_file('real-world' . ++$files . '.xml', qq{<?xml version="1.0"?>\n<measCollecFile>}
        . q{<fileHeader fileFormatVersion="1"><fileSender localDn="S"/><measCollec beginTime="B"/></fileHeader>}
        . join('', map { qq{<measData><managedElement localDn="ME"/>$_</measData>} } @_)
        . q{<fileFooter><measCollec endTime="F"/></fileFooter></measCollecFile>});
}
sub measInfo { qq{<measInfo measInfoId="M1"><granPeriod duration="PT900S" endTime="E"/>$_[0]</measInfo>} }

sub data_file { source_dir() . "/measdoc/t/data/$_[0]" }
my $prefixed = data_file('prefixed.xml');
my $lists = measInfo(qq{<measTypes>\n  a  b\tc\r\n</measTypes>}
    . qq{<measValue measObjLdn="Cell=1"><measResults> 1  2\n3 </measResults></measValue>}
    . qq{<measValue measObjLdn="Cell=2"><measResults>\n</measResults></measValue>});
my $numbered = measInfo(q{<measType p="1">x</measType><measType p="2">y</measType><measType p="3">z</measType>}
    . q{<measValue measObjLdn="10896"><r p="3">30</r><r p="1">10</r></measValue>}
    . q{<measValue measObjLdn=""><r p="2">20</r></measValue>}
    . q{<measValue measObjLdn="A=1,B-2,C"><r p="1">1</r><r p="2">2</r><r p="3">3</r></measValue>});
my @header_names = (headerElementNames => [qw(fileSender.localDn measCollec.beginTime measCollec.endTime
    managedElement.localDn measInfo.measInfoId job.jobId granPeriod.duration granPeriod.endTime)]);
# Six network elements and their blocks side by side: every nedn is as near to every block as any other.
my $side_by_side = data_file('side-by-side.xml');

sub rows { my ($data, $block) = @_; [map { $data->{$block}{$_}{pifData} } sort grep { /^\d+$/ } keys %{ $data->{$block} }] }
sub value { my ($data, @path) = @_; $data = ref $data eq 'HASH' ? $data->{$_} : undef for @path; $data }

# [what, file, items, what to take from the data, what it must be (or code reading that from expected/)]
my @conversions = (
    (map { my ($name, $file, @items) = @$_; ["$name, checked by hand", sample("xml/$file"), \@items,
                                              sub { $_[0] }, sub { expected($name, $_[0]) }] }
        ['features_mdc', 'measdoc_features_mdc.xml', altCounterNullValue => ['-1']],
        ['features_measCollec', 'measdoc_features_measCollec.xml', xmlDocumentType => ['1'],
         suspectFlagElementName => ['suspect'],
         distinguishedNameElementNames => [qw(fileHeader.dnPrefix managedElement.localDn measValue.measObjLdn)]],
        ['published_example', 'onapPM_A20181002.0000-1000-0015-1000_5G.xml', @measType_form]),
    ['without altCounterNullValue NULL stays as written', sample('xml/measdoc_features_mdc.xml'), [],
     sub { [value($_[0], 0, 0, 'pifData', 'pmRrcFail'), value($_[0], 0, 1, 'pifData', 'pmRrcSucc')] }, ['NULL', 'null']],
    # Texts as written, and as XML means them; a value split by a comment is one value either way.
    (map { my ($what, $file, $items, $path, @want) = @$_;
           map { defined $want[$_] ? ["$what, xmlStandardText $_", $file, [@$items, xmlStandardText => [$_]],
                                      sub { value($_[0], @$path) }, $want[$_]] : () } 0, 1 }
        ['comment inside a value', older_layout(r => '4<!-- x -->12<?p?>3'), [], [0, 0, 'pifData', 'attA'], '4123', '4123'],
        ['CDATA value', older_layout(r => '<![CDATA[890]]>'), [], [0, 0, 'pifData', 'attA'], '', '890'],
        ['character references', older_layout(r => '&#55;&#x37;'), [], [0, 0, 'pifData', 'attA'], '&#55;&#x37;', '77'],
        ['entity in a header', older_layout(vn => 'Gbg&amp;997'), [], ['commonHeaderData', 0, 'vn'], 'Gbg&amp;997', 'Gbg&997'],
        ['namespace prefixes', $prefixed, [@real_world], [0, 0, 'pifData', 'pmB'], undef, '2'],
        ['attribute of a prefixed name', $prefixed, [@real_world], ['commonHeaderData', 0, 'vendorName'], undef, 'Gbg&997']),
    (map { ["maxCounterNameSize $_->[0]", older_layout(mt => '<mt>abcdefgh</mt>', r => '1</r><r>2'), [maxCounterNameSize => [$_->[0]]],
            sub { [sort keys %{ $_[0]{0}{0}{pifData} }] }, $_->[1]] } ['3', [qw(abc att moid_C)]], ['0', [qw(abcdefgh attA moid_C)]]),
    ['lists split at white space, an empty one gives no counter', measCollec_file($lists), [@real_world, @real_world_items],
     sub { rows($_[0], 0) }, [{ a => '1', b => '2', c => '3', measObjLdn_Cell => '1' }, { measObjLdn_Cell => '2' }]],
    ['results by position, plain names by the attribute\'s name', measCollec_file($lists, $numbered),
     [@real_world, @real_world_items], sub { [rows($_[0], 1), $_[0]{1}{blockName}] }, sub { expected('by_position', $_[0]) }],
    ['both counter forms in one data section, every block keeps its counters', data_file('both-forms.xml'), [@real_world],
     sub { [map { rows($_[0], $_) } 0 .. 2] }, sub { expected('both_forms', $_[0]) }],
    ['of equally near headers a block takes the one before it', $side_by_side, [],
     sub { [map { $_[0]{commonHeaderData}{$_}{nedn_ManagedElement} } 0 .. 5] }, [1 .. 6]],
    # A block without an optional element does not take its neighbour's.
    ['header names qualified by their element', data_file('qualified.xml'), [@real_world, @header_names, qualifiedHeaderNames => ['1']],
     sub { [map { $_[0]{commonHeaderData}{$_} } 0, 1] }, sub { expected('qualified', $_[0]) }],
    ['without qualifiedHeaderNames: attribute names', measCollec_file($lists), [@real_world, @header_names,
     @real_world_items], sub { [sort keys %{ $_[0]{commonHeaderData}{0} }] }, [qw(beginTime duration endTime localDn measInfoId)]],
);

for my $case (@conversions) {
    my ($what, $file, $items, $take, $want) = @$case;
    my $r = converted($file, @$items);
    is_deeply([@$r{qw(run error warnings differs)}], [0, undef, [], []], "$what: converts alike under every worker count")
        or diag($r->{error});
    my $got = $take->($r->{data});
    is_deeply($got, ref $want eq 'CODE' ? $want->($got) : $want, $what);
}

# [what, file, items, message]
my @failures = (
    (map { ["UTF-16, xmlStandardText $_", write_file('utf16.xml', "\xFF\xFE" . join("\0", split //, older_text()) . "\0"),
            [xmlStandardText => [$_]], qr/^ERROR: xml - invalid data file \[UTF-16 encoded, not UTF-8\] /] } 0, 1),
    ['names and values differ in number', older_layout(mt => '<mt>b</mt>'), [],
     qr/^ERROR: parse - type and result counters do not match \[measurement pair - b:::\] \[tag - mt:1\] \[tag - mv:1\] /],
    ['a section of unknown kind', write_file('unknown.xml', "<mdc>\n<mfh><vn>X</vn></mfh>\n<other/>\n</mdc>\n"), [],
     qr/^ERROR: parse - section data contains invalid tag name \[tag - other:3\] /],
    ['not a measurement file', write_file('text.xml', 'this is not xml at all'), [], qr/^ERROR: xml - invalid data file /],
    ['a file cut short', write_file('cut.xml', '<mdc><mfh><vn>X</vn></mfh><md><neid><nedn>A=4</nedn></neid><mi><gp>900'),
     [], qr/^ERROR: xml - invalid data file /],
    ['a distinguished name without value', write_file('dn.xml', '<mdc><mfh><sn>SubNetwork</sn></mfh></mdc>'), [],
     qr/^ERROR: parse - inconsistent name and value pair \[SubNetwork\] /],
    ['names and values of different forms must agree', measCollec_file(measInfo(q{<measType>x</measType><measType>y</measType>}
        . q{<measValue measObjLdn="Cell=1"><measResults>1</measResults></measValue>})), [@real_world],
     qr/type and result counters do not match/],
    # Without their items real files fail, and numbered results still must pair.
    ['lists without counterListWhiteSpace', measCollec_file($lists),
     [@real_world, counterPositionAttribute => ['p'], plainObjectNames => ['1']], qr/counter value is empty/],
    ['numbered results without counterPositionAttribute', measCollec_file($numbered),
     [@real_world, counterListWhiteSpace => ['1'], plainObjectNames => ['1']], qr/type and result counters do not match/],
    ['plain names without plainObjectNames', measCollec_file($numbered),
     [@real_world, counterListWhiteSpace => ['1'], counterPositionAttribute => ['p']],
     qr/inconsistent name and value pair|counter value is empty/],
    (map { [$_->[0], measCollec_file(measInfo(qq{<measType p="1">x</measType><measValue measObjLdn="A=1">$_->[1]</measValue>})),
            [@real_world, @real_world_items], $_->[2]] }
        ['a result whose position has no name', '<r p="2">1</r>',
         qr/type and result counters do not match.*no counter name has the position of the result/],
        ['a result without position', '<r p="1">1</r><r>2</r>', qr/result without position/],
        ['results sharing a position', '<r p="1">1</r><r p="1">2</r>', qr/results share a position/]),
);

for my $case (@failures) {
    my ($what, $file, $items, $message) = @$case;
    my $r = converted($file, @$items);
    is_deeply([@$r{qw(init run deinit warnings differs)}], [0, -1, 0, [], []], "$what: the run fails alike under every worker count");
    like($r->{error}, $message, "$what: the message");
}

# The items files of the current layout need: vendor and local names are no distinguished
# names, counters come as lists or one by one, numbered.
my %current_layout = (@real_world, @real_world_items, qualifiedHeaderNames => ['1'], suspectFlagElementName => ['suspect'],
    distinguishedNameElementNames => ['fileHeader.dnPrefix', 'managedElement.localDn', 'measValue.measObjLdn']);
my $unpacked = scratch();
my @samples = map { /\A(.*\/)?(.*)\.gz\z/ ? do { gunzip($_ => "$unpacked/$2") or die "$_: $GunzipError"; "$unpacked/$2" } : $_ }
    glob(source_dir() . '/samples/xml/*.xml ' . source_dir() . '/samples/xml/*.gz');
push @samples, glob("$_/32435-xml/teed_*.xml $_/32401-mdc-xml/teed_*.xml") for grep { defined } PmBuild::shared_samples();
my %outcome;
for my $path (@samples) {
    my $r = converted($path, $path =~ m{mdc[^/]*\z} ? (plainObjectNames => ['1']) : %current_layout);
    is_deeply($r->{differs}, [], "$path: alike under every worker count") or diag($r->{error});
    $outcome{ $r->{run} == 0 ? 'converted' : 'refused' }++;
}
cmp_ok($outcome{converted}, '>=', 20, 'most samples convert') or diag explain \%outcome;

done_testing();
