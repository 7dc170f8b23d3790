# Configuration items through the host: both default sets, every setter's item and how its
# values come back from measdoc_configuration, set-once, and preparation failures that
# surface in the next run.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my $file = worked_example();

my @timestamp_patterns = (
    '^20\d{2}\d{2}(\d{2})\d{2}\d{2}\d{2}\.\d+?\+\d{4}?$',
    '^20\d{2}(\d{2})\d{2}\d{2}\d{2}\d{2}\.\d+?\+\d{4}?$',
    '^(20\d{2})\d{2}\d{2}\d{2}\d{2}\d{2}\.\d+?\+\d{4}?$',
    '^20\d{2}\d{2}\d{2}(\d{2})\d{2}\d{2}\.\d+?\+\d{4}?$',
    '^20\d{2}\d{2}\d{2}\d{2}(\d{2})\d{2}\.\d+?\+\d{4}?$',
    '^20\d{2}\d{2}\d{2}\d{2}\d{2}(\d{2})\.\d+?\+\d{4}?$',
);

# Element-name values as exported: name and attribute, '' for none.
sub names { [map { /^([^.]*)(?:\.(.*))?$/; ($1, $2 // '') } @_] }

my %common_defaults = (
    i_xmlnameattrdelimiter => ['.'],
    i_counterlistdelimiter => [' '],
    i_maxcntrnamesz => ['60'],
    i_threadnum => [default_threads()],
    i_threadStackSize => ['3145728'],
    i_xmlfilename => [$file],
    i_timestampdaydesc => \@timestamp_patterns,
    i_counterlistwhitespace => ['0'],
    i_plainobjectnames => ['0'],
    i_qualifiedheadernames => ['0'],
    i_xmlstandardtext => ['0'],
);

my %set0 = (
    %common_defaults,
    i_hdrelemnames => names(qw(vn st ts nedn cbt sn ffv)),
    i_uniquepifhdrelemnames => names(qw(mts gp moid)),
    i_uniquepifblkelemname => names('mi'),
    i_measvalelemname => names('mv'),
    i_meastypelemseq => names('mt'),
    i_measrsltelemseq => names('r'),
    i_suspectflagelemname => names('sf'),
    i_distnameelemnames => names(qw(sn nedn moid)),
    i_normcntrelemnames => names(qw(mt r)),
    i_measdatelemname => names('md'),
    i_meashdrelemname => names('mfh'),
    i_measftrelemname => names('mff'),
    i_outblkelemname => names('moid'),
    i_instanceobject => names('moid'),
    i_xmlDocumentType => ['0'],
);

my %set1 = (
    %common_defaults,
    i_hdrelemnames => names(qw(fileHeader.vendorName fileSender.elementType measCollec.endTime
        fileHeader.dnPrefix managedElement.localDn measCollec.beginTime fileHeader.dnPrefix
        fileSender.localDn fileHeader.fileFormatVersion)),
    i_uniquepifhdrelemnames => names(qw(granPeriod.endTime granPeriod.duration measValue.measObjLdn)),
    i_uniquepifblkelemname => names('measInfo'),
    i_measvalelemname => names('measValue'),
    i_meastypelemseq => names('measTypes'),
    i_measrsltelemseq => names('measResults'),
    i_suspectflagelemname => names('Suspect'),
    i_distnameelemnames => names(qw(fileHeader.vendorName fileHeader.dnPrefix managedElement.localDn
        measValue.measObjLdn)),
    i_delimcntrelemnames => names(qw(measResults measTypes)),
    i_normcntrelemnames => names(qw(measType r)),
    i_measdatelemname => names('measData'),
    i_meashdrelemname => names('fileHeader'),
    i_measftrelemname => names('fileFooter'),
    i_outblkelemname => names('measValue.measObjLdn'),
    i_instanceobject => names('measValue.measObjLdn'),
    i_xmlDocumentType => ['1'],
);

# Sets the items, starts, and returns the exported configuration (the module stopped again).
sub configuration_of {
    my @items = @_;
    set_items(xmlFileName => [$file], @items);
    is(measdoc::measdoc_init(), 0, 'start-up') or diag(measdoc::measdoc_error());
    my $configuration = measdoc::measdoc_configuration();
    is(measdoc::measdoc_error(), undef, 'reading the configuration records nothing');
    is(measdoc::measdoc_deinit(), 0, 'stop');
    return $configuration;
}

subtest 'default sets' => sub {
    is_deeply(configuration_of(), \%set0, 'nothing set: set 0');
    is_deeply(configuration_of(xmlDocumentType => ['1']), \%set1, 'document type 1: set 1');
    is_deeply(configuration_of(xmlDocumentType => ['2']), {%set0, i_xmlDocumentType => ['2']},
        'document type 2: set 0');
};

subtest 'every setter reaches its item' => sub {
    my $configuration = configuration_of(
        xmlNameAttrDelimiter => ['#'],
        counterListDelimiter => [';'],
        headerElementNames => ['a#b', 'c'],
        uniquePifHeaderElementNames => ['abc#'],
        uniquePIFBlockElementName => ['#x'],
        measurementValueElementName => ['a.b#c'],
        measureTypeElementSeq => ['t1', 't2'],
        measurementResultsElementSeq => ['r1'],
        suspectFlagElementName => ['s'],
        distinguishedNameElementNames => ['d#n'],
        delimitedCounterElementNames => ['dl'],
        normalCounterElementNames => ['n'],
        timestampCounterElementNames => ['ts1', 'ts2'],
        measurementDataElementName => ['D'],
        measurementHeaderElementName => ['H'],
        measurementFooterElementName => ['F'],
        outputBlockElementName => ['o#name'],
        instanceObject => ['i'],
        maxCounterNameSize => ['12a'],
        xmlDocumentType => ['1'],
        threadNumber => ['1'],
        threadStackSize => ['1048576'],
        altCounterNullValue => ['-', 'unused'],
        outputBlockDescription => ['^(\w+)=(\w+)$'],
        altCounterNames => ['^pm(.*)$[]x$1', 'a\[]b'],
        timestampDesc => ['(\d\d)'],
        altOutputBlockNames => ['A', 'B', 'C', 'D'],
        counterListWhiteSpace => ['1'],
        counterPositionAttribute => ['p'],
        plainObjectNames => ['1'],
        qualifiedHeaderNames => ['1'],
        xmlStandardText => ['1x'],
    );
    is_deeply($configuration, {
        i_xmlnameattrdelimiter => ['#'],
        i_counterlistdelimiter => [';'],
        i_hdrelemnames => ['a', 'b', 'c', ''],
        i_uniquepifhdrelemnames => ['abc', ''],
        i_uniquepifblkelemname => ['', 'x'],
        i_measvalelemname => ['a.b', 'c'],
        i_meastypelemseq => ['t1', '', 't2', ''],
        i_measrsltelemseq => ['r1', ''],
        i_suspectflagelemname => ['s', ''],
        i_distnameelemnames => ['d', 'n'],
        i_delimcntrelemnames => ['dl', ''],
        i_normcntrelemnames => ['n', ''],
        i_timestampctrelemnames => ['ts1', '', 'ts2', ''],
        i_measdatelemname => ['D', ''],
        i_meashdrelemname => ['H', ''],
        i_measftrelemname => ['F', ''],
        i_outblkelemname => ['o', 'name'],
        i_instanceobject => ['i', ''],
        i_maxcntrnamesz => ['0'],
        i_xmlDocumentType => ['1'],
        i_threadnum => ['1'],
        i_threadStackSize => ['1048576'],
        i_altcntrval => ['-', 'unused'],
        i_xmlfilename => [$file],
        i_outblkdesc => ['^(\w+)=(\w+)$'],
        i_altcntrnames => ['^pm(.*)$', 'a\[]b'],
        i_timestampdaydesc => ['(\d\d)'],
        i_altoutblknames => ['A', 'B', 'C', 'D'],
        i_counterlistwhitespace => ['1'],
        i_counterpositionattr => ['p'],
        i_plainobjectnames => ['1'],
        i_qualifiedheadernames => ['1'],
        i_xmlstandardtext => ['0'],
    }, 'values split, converted and cut as prepared; set-1 defaults replaced by the set values');
};

subtest 'values in queued order, texts as given' => sub {
    my $configuration = configuration_of(
        altCounterNullValue => ['a', 'b', 'c'],
        counterListDelimiter => [';', ','],
        threadStackSize => ['99999999999'],
    );
    is_deeply($configuration->{i_altcntrval}, ['a', 'b', 'c'], 'queued order');
    is_deeply($configuration->{i_counterlistdelimiter}, [';', ','], 'one character per value');
    is_deeply($configuration->{i_threadStackSize}, ['2147483647'], 'a number too large is held at the largest');
};

subtest 'an item is set once per cycle' => sub {
    set_items(xmlFileName => [$file], threadNumber => ['1']);
    is(set_item('threadNumber', '2'), 1, 'second setting refused');
    like(measdoc::measdoc_error(), qr/^ERROR: global - attempt to set an assigned config item /, 'with its message');
    is(measdoc::measdoc_error(), undef, 'the message is returned once');

    is(set_item('threadStackSize', '1048576'), 0, 'another item can still be set');
    is(set_item('threadNumber'), 0, 'the setter with nothing queued changes nothing');
    is(measdoc::measdoc_init(), 0, 'start-up');
    is(set_item('altCounterNullValue', '0'), 1, 'no setting after start-up');
    like(measdoc::measdoc_error(), qr/attempt to set an assigned config item/, 'same message');
    is_deeply(measdoc::measdoc_configuration()->{i_threadnum}, ['1'], 'the first value stayed');
    is_deeply(measdoc::measdoc_configuration()->{i_altcntrval}, undef, 'the refused item has no values');
    is(measdoc::measdoc_deinit(), 0, 'stop');
    is_deeply(measdoc::measdoc_configuration(), {}, 'nothing left after the stop');

    is_deeply(configuration_of(threadNumber => ['8'])->{i_threadnum}, ['8'], 'the next cycle sets it again');
};

subtest 'a pending error blocks the setters until it is fetched' => sub {
    set_items(threadNumber => ['1']);
    is(set_item('threadNumber', '2'), 1, 'refused');
    is(set_item('threadStackSize', '1048576'), 1, 'the next setter is refused too');
    like(measdoc::measdoc_error(), qr/attempt to set an assigned config item/, 'the first error');
    is(set_item('threadStackSize', '1048576'), 0, 'accepted once the error is fetched');
    is(configuration_of()->{i_threadStackSize}[0], '1048576', 'and used');
};

subtest 'preparation failures fail the run' => sub {
    set_items(xmlFileName => [$file], altOutputBlockNames => ['A', 'B', 'C']);
    is(measdoc::measdoc_init(), 0, 'start-up succeeds with an odd key/value list');
    is_deeply(measdoc::measdoc_configuration()->{i_altoutblknames}, ['A', 'B', 'C', '', '', ''],
        'exported as three pairs, the missing texts empty');
    is(measdoc::measdoc_run(), -1, 'the run fails');
    like(measdoc::measdoc_error(), qr/^ERROR: global - hash argument keys-values do not match /, 'with the cause');
    is_deeply(drain_warnings(), [], 'no warning');
    is(measdoc::measdoc_deinit(), 0, 'stop');

    set_items(xmlFileName => [$file], altCounterNames => ['^ok$', '(unclosed']);
    is(measdoc::measdoc_init(), 0, 'start-up succeeds with a pattern that does not compile');
    is(measdoc::measdoc_run(), -1, 'the run fails');
    like(measdoc::measdoc_error(), qr/^ERROR: pregex - pattern compilation failed .*\(unclosed/, 'with the cause');
    is(measdoc::measdoc_deinit(), 0, 'stop');
};

done_testing();
