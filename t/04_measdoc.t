# measdoc over broken input: XML samples of both layouts cut at every tenth octet and
# with bits flipped, nesting far deeper than any measurement file, megabyte-long names,
# texts and values, junk, paths that hold nothing readable, and configuration values that
# make no sense, with 0 to 8 workers. Every cycle starts, runs and stops without crashing
# or hanging; a run fails (-1) exactly when it has an error to tell, and a cut file never
# converts unless all of its root element is there, then giving what the whole file
# gives. Nothing stays open, and a broken file never leaves the module unusable.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use BrokenInput qw(cuts flips junk read_file write_file scratch odd_paths guarded source_dir check_leaks_at_exit
    open_descriptors);
BEGIN { check_leaks_at_exit() }

use lib source_dir() . '/measdoc/t/lib';
use MeasdocTest qw(variant set_item drain_warnings isolated);
use Test::More;

use measdoc;

my $dir = scratch();
my @workers = variant() eq 'threads' ? (0, 1, 2, 4, 8) : (0);
my $cycles = 0;

# Settings of the current layout's samples: their vendor and local names are no
# distinguished names, their counters come as lists or one by one.
my @current_layout = (
    xmlDocumentType => ['1'],
    distinguishedNameElementNames => ['fileHeader.dnPrefix', 'managedElement.localDn', 'measValue.measObjLdn'],
    measureTypeElementSeq => ['measTypes', 'measType'],
    measurementResultsElementSeq => ['measResults', 'r'],
    suspectFlagElementName => ['suspect'],
);

# One whole cycle on the file; returns what the host sees and a list of complaints about
# what no cycle may do.
sub cycle {
    my ($path, @items) = @_;
    my $threads = $workers[$cycles++ % @workers];
    my %r = (complaints => []);
    my $complain = sub { push @{ $r{complaints} }, @_ };
    guarded(sub {
        my @list = (xmlFileName => [$path], threadNumber => [$threads], @items);
        while (my ($item, $values) = splice @list, 0, 2) {
            $complain->("setting $item failed") if set_item($item, @$values) != 0;
        }
        $complain->('start-up failed: ' . (measdoc::measdoc_error() // '')) if measdoc::measdoc_init() != 0;
        $r{run} = measdoc::measdoc_run();
        $r{error} = measdoc::measdoc_error();
        $complain->('the error came twice') if defined measdoc::measdoc_error();
        $r{warnings} = drain_warnings();
        $r{data} = measdoc::measdoc_data();
        $r{configuration} = measdoc::measdoc_configuration();
        $complain->('stop failed: ' . (measdoc::measdoc_error() // '')) if measdoc::measdoc_deinit() != 0;
    });
    $complain->("run gave $r{run}") unless $r{run} == 0 || $r{run} == -1;
    $complain->('failed without an error') if $r{run} == -1 && !defined $r{error};
    $complain->("an error that is no error: $r{error}") if defined $r{error} && $r{error} !~ /\AERROR: /;
    $complain->('an error after a run that succeeded') if $r{run} == 0 && defined $r{error};
    $complain->('no data hash') unless ref $r{data} eq 'HASH' && exists $r{data}{commonHeaderData};
    $complain->('no configuration hash') unless ref $r{configuration} eq 'HASH' && $r{configuration}{i_xmlfilename};
    $complain->("a warning that is no warning: $_") for grep { !/\AWARN : / } @{ $r{warnings} };
    return \%r;
}

# Runs the variants; returns how many had complaints (the first few are shown). With a
# reference, a cut converts only when it holds the root's end tag, and then gives the
# reference's data.
sub run_variants {
    my ($variants, $items, %expect) = @_;
    my $bad = 0;
    for my $v (@$variants) {
        my ($label, $octets) = @$v;
        my $r = cycle(write_file("$dir/variant.xml", $octets), @$items);
        my @c = @{ $r->{complaints} };
        if ($expect{reference}) {
            my $whole = $octets =~ m{</\Q$expect{root}\E>\s*\z};
            push @c, 'converted without its root end tag' if $r->{run} == 0 && !$whole;
            push @c, 'converted, but not as the whole file' if $r->{run} == 0 && !eq_deeply_data($r->{data}, $expect{reference});
        }
        next unless @c;
        diag "$label: @c" if ++$bad <= 3;
    }
    return $bad;
}

sub eq_deeply_data { Test::More::eq_array([$_[0]], [$_[1]]) }

my @samples = (
    ['gen_mdc.xml', 'mdc', []],
    ['measdoc_features_mdc.xml', 'mdc', []],
    ['gen_meascollec.xml', 'measCollecFile', \@current_layout],
    ['measdoc_features_measCollec.xml', 'measCollecFile', \@current_layout],
);
my $descriptors = open_descriptors();

subtest 'cut at every tenth octet' => sub {
    for my $s (@samples) {
        my ($name, $root, $items) = @$s;
        my $octets = read_file(source_dir() . "/samples/xml/$name");
        my $whole = cycle(write_file("$dir/whole.xml", $octets), @$items);
        is($whole->{run}, 0, "$name: the whole file converts") or diag $whole->{error};
        is(run_variants([cuts($octets)], $items, reference => $whole->{data}, root => $root), 0,
           "$name: every cut fails with an error, unless only blanks after the root were cut");
    }
};

subtest 'bits flipped' => sub {
    my $seed = 41;
    for my $s (@samples) {
        my ($name, undef, $items) = @$s;
        my $octets = read_file(source_dir() . "/samples/xml/$name");
        is(run_variants([flips($octets, 40, $seed++)], $items), 0, "$name: every copy converts or fails with an error");
    }
};

subtest 'nesting, sizes and junk' => sub {
    my $long = 'x' x 0x100000;
    my $row = '<mv><moid>A=1</moid><r>1</r></mv>';
    my $doc = sub { "<mdc><mfh><ffv>1</ffv></mfh><md><neid><nedn>A=1</nedn></neid><mi><mts>20050301141500.0+0100</mts>"
                    . "<gp>900</gp><mt>a</mt>$_[0]</mi></md><mff><ts>1</ts></mff></mdc>" };
    my @variants = (
        ['elements nested 100000 deep', '<mdc><md>' . ('<a>' x 100000) . ('</a>' x 100000) . '</md></mdc>'],
        ['rows nested 100000 deep', $doc->(('<mv>' x 100000) . '<moid>A=1</moid><r>1</r>' . ('</mv>' x 100000))],
        ['an unclosed element 100000 deep', '<mdc><md>' . ('<a>' x 100000)],
        ['a megabyte-long element name', $doc->("<$long>1</$long>$row")],
        ['a megabyte-long text', $doc->("<mv><moid>A=1</moid><r>$long</r></mv>")],
        ['a megabyte-long counter name', $doc->("<mt>$long</mt>$row")],
        ['a megabyte-long distinguished name', $doc->("<mv><moid>A=$long</moid><r>1</r></mv>")],
        ['a megabyte of components', $doc->('<mv><moid>' . join(',', map { "A$_=1" } 1 .. 100000) . '</moid><r>1</r></mv>')],
        ['a megabyte-long attribute value', $doc->("<mv x=\"$long\"><moid>A=1</moid><r>1</r></mv>")],
        ['a quote never closed', '<mdc><md a="' . $long],
        ['a comment never closed', '<mdc><!--' . $long],
        ['a hundred thousand sections', '<mdc>' . ('<md/>' x 100000) . '</mdc>'],
        ['a hundred thousand rows', $doc->($row x 100000)],
        ['junk', junk(65536, 17)],
        ['NUL bytes', "\0" x 65536],
    );
    is(run_variants(\@variants, []), 0, 'each converts or fails with an error');
};

subtest 'paths that hold nothing readable' => sub {
    # The start opens the file: when that fails, the module refuses everything for the
    # rest of the process, so each case runs in a process of its own.
    for my $case (odd_paths(), ['a megabyte-long name', "$dir/" . ('n' x 0x100000)]) {
        my ($label, $path) = @$case;
        my $seen = isolated(sub {
            set_item('xmlFileName', $path);
            my $init = guarded(sub { measdoc::measdoc_init() });
            my $run = guarded(sub { measdoc::measdoc_run() });
            return [$init, $run, measdoc::measdoc_error()];
        });
        my ($init, $run, $error) = @$seen;
        ok($run == -1 && ($init == 1 || defined $error) && (!defined $error || $error =~ /\AERROR: /),
           "$label: the start or the run fails, with an error") or diag explain $seen;
    }
};

subtest 'configuration values that make no sense' => sub {
    my $file = source_dir() . '/samples/xml/gen_mdc.xml';
    my $long = 'x' x 0x100000;
    my @settings = (
        ['patterns that do not compile', altCounterNames => ['(', '[[]x'], outputBlockDescription => ['*']],
        ['an odd number of block-name texts', altOutputBlockNames => ['A', 'B', 'C']],
        ['megabyte-long element names', headerElementNames => [$long], measurementValueElementName => [$long]],
        ['a megabyte-long pattern', altCounterNames => ["^$long(.*)\$[]\$1"]],
        ['a megabyte-long replacement', altCounterNames => ["^pm(.*)\$[]$long\$1"]],
        ['numbers that are none', xmlDocumentType => ['many'], maxCounterNameSize => ['-1']],
        ['delimiters of several characters', xmlNameAttrDelimiter => ['..'], counterListDelimiter => ['', ' ']],
        ['six timestamp patterns that match nothing', timestampDesc => [('^never$') x 6]],
        ['three timestamp patterns', timestampDesc => ['(x)', '(y)', '(z)']],
    );
    for my $setting (@settings) {
        my ($label, @items) = @$setting;
        my $r = cycle($file, @items);
        ok(!@{ $r->{complaints} }, "$label: the cycle converts or fails with an error") or diag "@{ $r->{complaints} }";
    }
    is(measdoc::measdoc_add_config("a\0b"), 1, 'a value holding a NUL is refused');
    ok(defined measdoc::measdoc_error(), '... with an error');
    is(measdoc::measdoc_add_config($long), 0, 'a megabyte-long value is queued');
    is(measdoc::measdoc_set_altCounterNullValue(), 0, '... and set');
    set_item('xmlFileName', $file);
    is(measdoc::measdoc_init(), 0, '... and the module starts');
    is(measdoc::measdoc_configuration()->{i_altcntrval}[0], $long, '... and gives it back whole');
    is(measdoc::measdoc_deinit(), 0, '... and stops');
};

subtest 'a start that fails is final, for that process only' => sub {
    my $result = isolated(sub {
        set_item('xmlFileName', "$dir/no-such-file");
        return [measdoc::measdoc_init(), measdoc::measdoc_run(), measdoc::measdoc_init()];
    });
    is_deeply($result, [1, -1, 1], 'a file that cannot be opened fails the start, and the module stays failed');
    $result = isolated(sub {
        set_item('xmlFileName', source_dir() . '/samples/xml/gen_mdc.xml');
        set_item('threadStackSize', 'none');
        return [measdoc::measdoc_init(), measdoc::measdoc_error()];
    });
    ok($result->[0] == 1 && $result->[1] =~ /\AERROR: system error .*pthr_attr_setstacksize/,
       'a thread stack size that is no number fails the start with an error') or diag explain $result;
    my $r = cycle(source_dir() . '/samples/xml/gen_mdc.xml');
    is($r->{run}, 0, 'this process still converts');
};

my $r = cycle(source_dir() . '/samples/xml/gen_mdc.xml');
ok($r->{run} == 0 && !@{ $r->{complaints} }, 'after all that, a sample still converts');
is(open_descriptors(), $descriptors, 'no file left open');

done_testing;
