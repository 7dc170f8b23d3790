# The cycle and its messages: start, run, errors and warnings, stop, the next cycle; calls outside
# a cycle; failed start-ups and runs, after which the next cycle starts clean; skipped sections.
use strict;
use warnings;
use PmBuild ();
use PmTest qw(:measdoc);
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
my $skipping = write_file('skipping.xml', <<'XML');
<mdc>
<mfh><vn>X</vn><cbt>1</cbt><vn>Y</vn></mfh>
<md><neid><nedn>A=1</nedn></neid></md>
<md><neid><nedn>A=2</nedn></neid><mi><gp>900</gp><mt>a</mt></mi></md>
<md><neid><nedn>A=3</nedn></neid><mi><gp>900</gp><mv><moid>B=1</moid><r>1</r></mv></mi></md>
<md><neid><nedn>A=4</nedn></neid><mi><mts>1</mts><gp>900</gp><mt>a</mt><mv><moid>B=1</moid><r>1</r></mv></mi></md>
<mff><ts>2</ts></mff>
</mdc>
XML

subtest 'skipped sections leave warnings and the rest converted' => sub {
    my $r = converted($skipping);
    is_deeply($r->{differs}, [], 'the same under every worker count');
    is($r->{run}, 0, 'the run succeeds');
    is_deeply([map { s/\.cpp:\d+\]/.cpp:N]/gr } @{ $r->{warnings} }], [
        'WARN : parse - measurement value not found [tag - md:4] [parse_create_measvalue - parse.cpp:N] ',
        'WARN : parse - measurement type not found [tag - md:5] [parse_index_header - parse.cpp:N] ',
        'WARN : parse - measurement information not found [tag - md:3] [parse_create_measinfo - parse.cpp:N] ',
        'WARN : parse - found multiple header data [2] [parse_get_commonheader - parse.cpp:N] ',
    ], 'one warning per skipped section, greatest text first, then the two header chains');
    is_deeply($r->{data}, {
        commonHeaderData => { 0 => { vn => 'Y', cbt => '1', ts => '2', nedn_A => '4' } },
        dataTypeDict => { vn => '0', cbt => '0', ts => '0', gp => '0', mts => '0', nedn_A => '1', moid_B => '1' },
        0 => { internalHeaderData => { mts => '1', gp => '900', moid_B => '1' }, blockName => 'B',
               0 => { pifData => { a => '1', moid_B => '1' } } },
    }, 'the good section, under the header chains joined in document order');

    set_items(xmlFileName => [$skipping]);
    is_deeply([measdoc::measdoc_init(), measdoc::measdoc_run(), measdoc::measdoc_warning() =~ /measurement value not found/,
               measdoc::measdoc_deinit(), measdoc::measdoc_warning()], [0, 0, 1, 0, undef],
              'warnings come one by one, and those not fetched go with the cycle');
    is_deeply(cycle($file)->{warnings}, [], 'the next cycle starts without warnings');
};

done_testing();
