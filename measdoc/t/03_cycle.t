# The cycle: start, run, messages, stop, and the next cycle; runs outside a started module;
# failed start-ups and runs, after which the next cycle starts clean.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my $file = worked_example();
my $empty_data = { commonHeaderData => {}, dataTypeDict => {} };

subtest 'before any start-up' => sub {
    is_deeply(measdoc::measdoc_data(), $empty_data, 'no results');
    is(measdoc::measdoc_block_count(), 0, 'no block');
    is(measdoc::measdoc_block(0), undef, 'not even block 0');
    is_deeply(measdoc::measdoc_data_types(), {}, 'no types');
    is(measdoc::measdoc_error(), undef, 'no error');
    is(measdoc::measdoc_warning(), undef, 'no warning');
    is(measdoc::measdoc_run(), -1, 'a run without start-up fails');
    like(measdoc::measdoc_error(), qr/^ERROR: condition error \[!measdoc_started\(\) - host\.cpp:\d+\] $/,
        'and says why');
    is(measdoc::measdoc_deinit(), 0, 'stopping a module never started is harmless');
};

subtest 'cycles repeat' => sub {
    for my $cycle (1 .. 3) {
        my $result = cycle($file, threadNumber => [$cycle]);
        is($result->{init}, 0, "cycle $cycle: start-up");
        is($result->{run}, 0, "cycle $cycle: run");
        is($result->{error}, undef, "cycle $cycle: no error");
        is($result->{deinit}, 0, "cycle $cycle: stop");
        is_deeply($result->{configuration}{i_threadnum}, [$cycle], "cycle $cycle: its own settings");
    }
};

subtest 'results end with the cycle' => sub {
    set_items(xmlFileName => [$file]);
    is(measdoc::measdoc_init(), 0, 'start-up');
    is(measdoc::measdoc_run(), 0, 'run');
    my $first = measdoc::measdoc_data();
    is($first->{0}{0}{pifData}{attA}, '1', 'results of the run');
    my $second = measdoc::measdoc_data();
    is_deeply($second, $first, 'the same results fetched twice');
    $first->{commonHeaderData}{changed} = 1;
    ok(!exists measdoc::measdoc_data()->{commonHeaderData}{changed}, 'each fetch is a new hash');
    is(measdoc::measdoc_run(), -1, 'the file is read once per cycle: a second run fails');
    ok(defined measdoc::measdoc_error(), 'with a message');
    is(measdoc::measdoc_deinit(), 0, 'stop');
    is_deeply(measdoc::measdoc_data(), $empty_data, 'nothing is left after the stop');
    is(measdoc::measdoc_block_count(), 0, 'no block after the stop');
    is(measdoc::measdoc_run(), -1, 'no run after the stop');
    like(measdoc::measdoc_error(), qr/!measdoc_started\(\)/, 'for the same reason');
};

subtest 'a value holding a NUL is refused whole' => sub {
    is(measdoc::measdoc_add_config('kept until the refusal'), 0, 'a value queued');
    is(measdoc::measdoc_add_config("$file\0.bak"), 1, 'refused');
    like(measdoc::measdoc_error(), qr/^ERROR: condition error /, 'with a message');
    is(measdoc::measdoc_set_xmlFileName(), 0, 'the queue was emptied: nothing committed');
    is(set_item('xmlFileName', $file), 0, 'so the item can still be set');
    is(measdoc::measdoc_deinit(), 0, 'stop');
};

subtest 'the error is returned once' => sub {
    set_items(threadNumber => ['1']);
    is(set_item('threadNumber', '2'), 1, 'an error made');
    my $message = measdoc::measdoc_error();
    like($message, qr/^ERROR: /, 'returned');
    is(measdoc::measdoc_error(), undef, 'then undef');
    is(measdoc::measdoc_deinit(), 0, 'stop');
};

# A failed start-up undoes itself: the next cycle converts, whether or not the host read
# the message or stopped the module.
sub after_failed_startup {
    my ($read, @items) = @_;
    set_items(@items);
    my %seen;
    $seen{init} = measdoc::measdoc_init();
    $seen{error} = measdoc::measdoc_error() if $read;
    $seen{run} = measdoc::measdoc_run();
    $seen{data} = measdoc::measdoc_data();
    $seen{next} = cycle($file);
    return \%seen;
}

for my $read (1, 0) {
    subtest 'a file that cannot be opened fails its cycle only' . ($read ? '' : ' (message unread)') => sub {
        my $seen = after_failed_startup($read, xmlFileName => ['/nonexistent/measdoc/input.xml']);
        is($seen->{init}, 1, 'start-up fails');
        like($seen->{error}, qr/^ERROR: system error \[error desc - No such file or directory\] .*\[io_init - /,
            'with the system\'s reason') if $read;
        is($seen->{run}, -1, 'the run reports failure rather than an empty success');
        is_deeply($seen->{data}, $empty_data, 'no results');
        is($seen->{next}{init}, 0, 'the next cycle starts');
        is($seen->{next}{run}, 0, 'and converts') or diag($seen->{next}{error});
        is($seen->{next}{data}{0}{0}{pifData}{attA}, '1', 'its file');
    };
}

subtest 'no file named' => sub {
    my $seen = after_failed_startup(1);
    is($seen->{init}, 1, 'start-up fails');
    like($seen->{error}, qr/global - requested configuration is invalid .*\[io_init - /, 'naming the item');
    is($seen->{run}, -1, 'no run');
    is($seen->{next}{run}, 0, 'the next cycle converts');
};

subtest 'an unread run error ends with its cycle' => sub {
    my $bad = write_file('mismatched.xml', '<mdc><md><mi></x></mi></md></mdc>');
    set_items(xmlFileName => [$bad]);
    is(measdoc::measdoc_init(), 0, 'start-up');
    is(measdoc::measdoc_run(), -1, 'the run fails');
    is(measdoc::measdoc_deinit(), 0, 'stopped without reading the message');
    is(measdoc::measdoc_error(), undef, 'which is gone');
    my $next = cycle($file);
    is($next->{run}, 0, 'the next cycle converts') or diag($next->{error});
};

done_testing();
