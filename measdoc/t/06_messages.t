# Errors and warnings of conversions as the host sees them: sections skipped with a warning,
# faults that fail the run, draining; with any number of workers.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my @worker_counts = (0, 1, 4, 8);

# Sections without block, without row and without counter names around one good one.
my $skipping = write_file('skipping.xml', <<'XML');
<mdc>
<mfh><vn>X</vn><cbt>1</cbt></mfh>
<md><neid><nedn>A=1</nedn></neid></md>
<md><neid><nedn>A=2</nedn></neid><mi><gp>900</gp><mt>a</mt></mi></md>
<md><neid><nedn>A=3</nedn></neid><mi><gp>900</gp><mv><moid>B=1</moid><r>1</r></mv></mi></md>
<md><neid><nedn>A=4</nedn></neid><mi><mts>1</mts><gp>900</gp><mt>a</mt><mv><moid>B=1</moid><r>1</r></mv></mi></md>
<mff><ts>2</ts></mff>
</mdc>
XML

subtest 'skipped sections leave warnings and the rest converted' => sub {
    for my $workers (@worker_counts) {
        my $result = cycle($skipping, threadNumber => [$workers]);
        is($result->{run}, 0, "$workers workers: the run succeeds");
        my @warnings = map { s/\.cpp:\d+\]/.cpp:N]/gr } @{ $result->{warnings} };
        is_deeply(\@warnings, [
            'WARN : parse - measurement value not found [tag - md:4] [parse_create_measvalue - parse.cpp:N] ',
            'WARN : parse - measurement type not found [tag - md:5] [parse_index_header - parse.cpp:N] ',
            'WARN : parse - measurement information not found [tag - md:3] [parse_create_measinfo - parse.cpp:N] ',
        ], "$workers workers: one warning per skipped section, greatest text first");
        is_deeply($result->{data}, {
            commonHeaderData => { 0 => { vn => 'X', cbt => '1', ts => '2', nedn_A => '4' } },
            dataTypeDict => { vn => '0', cbt => '0', ts => '0', gp => '0', mts => '0', nedn_A => '1', moid_B => '1' },
            0 => {
                internalHeaderData => { mts => '1', gp => '900', moid_B => '1' },
                blockName => 'B',
                0 => { pifData => { a => '1', moid_B => '1' } },
            },
        }, "$workers workers: the good section");
    }
};

subtest 'warnings are drained one by one and end with the cycle' => sub {
    set_items(xmlFileName => [$skipping]);
    is(measdoc::measdoc_init(), 0, 'start-up');
    is(measdoc::measdoc_run(), 0, 'run');
    is(measdoc::measdoc_error(), undef, 'no error');
    like(measdoc::measdoc_warning(), qr/^WARN : parse - measurement value not found /, 'first');
    like(measdoc::measdoc_warning(), qr/^WARN : parse - measurement type not found /, 'second');
    is(measdoc::measdoc_deinit(), 0, 'stop with one warning not fetched');
    is(measdoc::measdoc_warning(), undef, 'it went with the cycle');

    my $result = cycle(worked_example());
    is_deeply($result->{warnings}, [], 'the next cycle starts without warnings');
};

subtest 'faults that fail the run' => sub {
    my %cases = (
        'names and values differ in number' => [
            '<mdc><mfh><vn>X</vn></mfh><md><neid><nedn>A=4</nedn></neid><mi><mts>1</mts><gp>900</gp>'
            . '<mt>a</mt><mt>b</mt><mv><moid>B=1</moid><r>1</r></mv></mi></md></mdc>',
            qr/^ERROR: parse - type and result counters do not match \[measurement pair - b:::\] \[tag - mt:1\] \[tag - mv:1\] /],
        'a section of unknown kind' => [
            "<mdc>\n<mfh><vn>X</vn></mfh>\n<other/>\n</mdc>\n",
            qr/^ERROR: parse - section data contains invalid tag name \[tag - other:3\] /],
        'not a measurement file' => ['this is not xml at all', qr/^ERROR: xml - invalid data file /],
        'a file cut short' => ['<mdc><mfh><vn>X</vn></mfh><md><neid><nedn>A=4</nedn></neid><mi><gp>900',
            qr/^ERROR: xml - invalid data file /],
        'a distinguished name without value' => [
            '<mdc><mfh><sn>SubNetwork</sn></mfh></mdc>',
            qr/^ERROR: parse - inconsistent name and value pair \[SubNetwork\] /],
    );
    for my $case (sort keys %cases) {
        my ($content, $message) = @{ $cases{$case} };
        my $file = write_file('fault.xml', $content);
        for my $workers (@worker_counts) {
            my $result = cycle($file, threadNumber => [$workers]);
            is($result->{run}, -1, "$case, $workers workers: the run fails");
            like($result->{error}, $message, "$case, $workers workers: the message");
            is_deeply($result->{warnings}, [], "$case, $workers workers: no warnings");
            is($result->{deinit}, 0, "$case, $workers workers: the module stops cleanly");
        }
    }
};

subtest 'a header in two chains is joined with a warning' => sub {
    my $file = write_file('two-headers.xml', <<'XML');
<mdc>
<mfh><vn>X</vn><st>RNC</st><vn>Y</vn></mfh>
<md><neid><nedn>A=4</nedn></neid><mi><mts>1</mts><gp>900</gp><mt>a</mt><mv><moid>B=1</moid><r>1</r></mv></mi></md>
</mdc>
XML
    my $result = cycle($file);
    is($result->{run}, 0, 'the run succeeds');
    is(scalar @{ $result->{warnings} }, 1, 'one warning');
    like($result->{warnings}[0], qr/^WARN : parse - found multiple header data \[2\] /, 'naming the number of chains');
    is($result->{data}{commonHeaderData}{0}{vn}, 'Y', 'the chains joined in document order: the later value wins');
    is($result->{data}{commonHeaderData}{0}{st}, 'RNC', 'the other header field is kept');
};

subtest 'an empty attribute delimiter fails the start-up' => sub {
    my $seen = isolated(sub {
        set_items(xmlFileName => [worked_example()], xmlNameAttrDelimiter => ['']);
        return [measdoc::measdoc_init(), measdoc::measdoc_error(), measdoc::measdoc_run()];
    });
    is($seen->[0], 1, 'start-up fails');
    like($seen->[1], qr/^ERROR: condition error \[delim == EOS - .*\[parse_init - host\.cpp:\d+\] $/, 'for the delimiter');
    is($seen->[2], -1, 'and no run follows');
};

done_testing();
