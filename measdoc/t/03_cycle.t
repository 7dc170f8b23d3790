# The cycle and its messages: start, run, errors and warnings, stop, the next cycle; calls outside
# a cycle; failed start-ups and runs, after which the next cycle starts clean; skipped sections.
use strict;
use warnings;
use PmBuild ();
use PmTest qw(source_dir :measdoc);
use Test::More;

use measdoc;

my $file = worked_example();
my $empty_data = { commonHeaderData => {}, dataTypeDict => {} };

subtest 'outside a cycle' => sub {
    is_deeply([measdoc::measdoc_data(), measdoc::measdoc_block_count(), measdoc::measdoc_block(0),
               measdoc::measdoc_data_types(), measdoc::measdoc_error(), measdoc::measdoc_warning()],
              [$empty_data, 0, undef, {}, undef, undef], 'no results, blocks, types or messages');
    is(measdoc::measdoc_run(), -1, 'a run without start-up fails');
    like(measdoc::measdoc_error(), qr/^ERROR: condition error \[!measdoc_started\(\) - host\.cpp:\d+\] $/, 'saying why');
    is(measdoc::measdoc_deinit(), 0, 'stopping a module never started is harmless');
};

subtest 'results end with the cycle, which runs once' => sub {
    set_items(xmlFileName => [$file]);
    is_deeply([measdoc::measdoc_init(), measdoc::measdoc_run()], [0, 0], 'start-up and run');
    my $first = measdoc::measdoc_data();
    is($first->{0}{0}{pifData}{attA}, '1', 'results of the run');
    $first->{commonHeaderData}{changed} = 1;
    ok(!exists measdoc::measdoc_data()->{commonHeaderData}{changed}, 'each fetch is a new hash');
    is(measdoc::measdoc_run(), -1, 'the file is read once per cycle: a second run fails');
    ok(defined measdoc::measdoc_error() && measdoc::measdoc_deinit() == 0, 'with a message; stop');
    is_deeply([measdoc::measdoc_data(), measdoc::measdoc_block_count()], [$empty_data, 0], 'nothing is left');
    is(measdoc::measdoc_run(), -1, 'no run after the stop');
    like(measdoc::measdoc_error(), qr/!measdoc_started\(\)/, 'for the same reason');
    is_deeply([map { cycle($file, threadNumber => [$_])->{configuration}{i_threadnum} } 1 .. 3], [[1], [2], [3]],
              'cycles repeat, each with its own settings');
};

subtest 'a value holding a NUL is refused whole' => sub {
    is_deeply([measdoc::measdoc_add_config('kept until the refusal'), measdoc::measdoc_add_config("$file\0.bak")], [0, 1],
              'a value queued, then one refused');
    like(measdoc::measdoc_error(), qr/^ERROR: condition error /, 'with a message');
    is(measdoc::measdoc_set_xmlFileName(), 0, 'the queue was emptied: nothing committed');
    is(cycle($file)->{run}, 0, 'so the item can still be set');
};

# A failed start-up undoes itself: the next cycle converts, whether or not the host read
# the message or stopped the module.
subtest 'a failed start-up fails its cycle only' => sub {
    for my $case (
        ['a file that cannot be opened', [xmlFileName => ['/nonexistent/input.xml']],
         qr/^ERROR: system error \[error desc - No such file or directory\] .*\[io_init - /],
        ['no file named', [], qr/global - requested configuration is invalid .*\[io_init - /],
        ['an empty attribute delimiter', [xmlFileName => [$file], xmlNameAttrDelimiter => ['']],
         qr/^ERROR: condition error \[delim == EOS - .*\[parse_init - host\.cpp:\d+\] $/],
        ['a stack size that is no number', [xmlFileName => [$file], threadStackSize => ['none']],
         qr/^ERROR: system error .*pthr_attr_setstacksize/],
    ) {
        my ($label, $items, $message) = @$case;
        for my $read (1, 0) {
            set_items(@$items);
            is(measdoc::measdoc_init(), 1, "$label: start-up fails");
            like(measdoc::measdoc_error(), $message, '... saying why') if $read;
            is_deeply([measdoc::measdoc_run(), measdoc::measdoc_data()], [-1, $empty_data], '... no run, no results');
            my $next = cycle($file);
            is_deeply([@$next{qw(init run)}, $next->{data}{0}{0}{pifData}{attA}], [0, 0, '1'],
                      '... the next cycle converts' . ($read ? '' : ' (message unread)')) or diag($next->{error});
        }
    }
};

subtest 'an unread run error ends with its cycle' => sub {
    set_items(xmlFileName => [write_file('mismatched.xml', '<mdc><md><mi></x></mi></md></mdc>')]);
    is_deeply([measdoc::measdoc_init(), measdoc::measdoc_run(), measdoc::measdoc_deinit()], [0, -1, 0], 'the run fails');
    is(measdoc::measdoc_error(), undef, 'stopped without reading the message, which is gone');
    is(cycle($file)->{run}, 0, 'the next cycle converts');
};

# Sections without block, row or counter names around one good one; a header in two chains.
my $skipping = source_dir() . '/measdoc/t/data/skipping.xml';

subtest 'skipped sections leave warnings and the rest converted' => sub {
    my $r = converted($skipping);
    is_deeply($r->{differs}, [], 'the same under every worker count');
    is($r->{run}, 0, 'the run succeeds');
    # One warning per skipped section, greatest text first, then the two header chains; the good
    # section under the header chains joined in document order.
    my %got = (warnings => [map { s/\.cpp:\d+\]/.cpp:N]/gr } @{ $r->{warnings} }], data => $r->{data});
    my $want = expected('skipping', \%got);
    is_deeply($got{$_}, $want->{$_}, "the $_ of skipped sections") for qw(warnings data);

    set_items(xmlFileName => [$skipping]);
    is_deeply([measdoc::measdoc_init(), measdoc::measdoc_run(), measdoc::measdoc_warning() =~ /measurement value not found/,
               measdoc::measdoc_deinit(), measdoc::measdoc_warning()], [0, 0, 1, 0, undef],
              'warnings come one by one, and those not fetched go with the cycle');
    is_deeply(cycle($file)->{warnings}, [], 'the next cycle starts without warnings');
};

done_testing();
