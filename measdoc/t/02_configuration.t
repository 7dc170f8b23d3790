# Configuration items through the host: both default sets, every setter's item as exported,
# set-once, and preparation failures that surface in the next run.
use strict;
use warnings;
use PmBuild ();
use PmTest qw(cases :measdoc);
use Test::More;

use measdoc;

my $file = worked_example();

# Sets the items, starts, and returns the exported configuration without the file's name
# and, unless set, the variant's thread count, both checked here (the module stopped again).
sub configuration_of {
    set_items(xmlFileName => [$file], @_);
    my ($init, $configuration, @rest) = (measdoc::measdoc_init(), measdoc::measdoc_configuration(), measdoc::measdoc_error(),
                                         measdoc::measdoc_deinit());
    is_deeply([$init, @rest], [0, undef, 0], 'start-up, the configuration read without a message, stop');
    is_deeply(delete $configuration->{i_xmlfilename}, [$file], 'the file');
    is_deeply(delete $configuration->{i_threadnum}, [default_threads()], 'the default thread count')
        unless grep { $_ eq 'threadNumber' } @_;
    return $configuration;
}

subtest 'defaults and every setter' => sub {
    my %got = (
        'set 0' => configuration_of(),
        'set 1' => configuration_of(xmlDocumentType => ['1']),
        'document type 2: set 0' => configuration_of(xmlDocumentType => ['2']),
        'every item set' => configuration_of(map { ($_->[0] => [@$_[1 .. $#$_]]) } cases('measdoc/t/expected/every-item.txt')),
    );
    my $want = expected('configuration', \%got);
    is_deeply($got{$_}, $want->{$_}, $_) for sort keys %got;
};

subtest 'an item is set once per cycle, and an error blocks the setters until fetched' => sub {
    set_items(xmlFileName => [$file], threadNumber => ['1']);
    is(set_item('threadNumber', '2'), 1, 'second setting refused');
    is(set_item('threadStackSize', '1048576'), 1, 'the next setter is refused too while the error waits');
    like(measdoc::measdoc_error(), qr/^ERROR: global - attempt to set an assigned config item /, 'its message');
    is(measdoc::measdoc_error(), undef, 'returned once');
    is(set_item('threadStackSize', '1048576'), 0, 'another item can be set once the error is fetched');
    is(set_item('threadNumber'), 0, 'the setter with nothing queued changes nothing');
    is(measdoc::measdoc_init(), 0, 'start-up');
    is(set_item('altCounterNullValue', '0'), 1, 'no setting after start-up');
    like(measdoc::measdoc_error(), qr/attempt to set an assigned config item/, 'same message');
    my $configuration = measdoc::measdoc_configuration();
    is_deeply([@$configuration{qw(i_threadnum i_threadStackSize i_altcntrval)}], [['1'], ['1048576'], undef],
              'the first values stayed; the refused item has none');
    is(measdoc::measdoc_deinit(), 0, 'stop');
    is_deeply(measdoc::measdoc_configuration(), {}, 'nothing left after the stop');
    is_deeply(configuration_of(threadNumber => ['8'])->{i_threadnum}, ['8'], 'the next cycle sets it again');
};

subtest 'preparation failures fail the run' => sub {
    for my $case (
        [[altOutputBlockNames => ['A', 'B', 'C']], qr/^ERROR: global - hash argument keys-values do not match /],
        [[altCounterNames => ['^ok$', '(unclosed']], qr/^ERROR: pregex - pattern compilation failed .*\(unclosed/],
    ) {
        my ($items, $message) = @$case;
        my $r = cycle($file, @$items);
        is_deeply([@$r{qw(init run deinit warnings)}], [0, -1, 0, []], "$items->[0]: starts, the run fails");
        like($r->{error}, $message, '... with the cause');
    }
    is_deeply(cycle($file, altOutputBlockNames => ['A', 'B', 'C'])->{configuration}{i_altoutblknames},
              ['A', 'B', 'C', '', '', ''], 'an odd key/value list is exported as pairs, the missing texts empty');
};

done_testing();
