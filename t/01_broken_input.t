# Every deliverable over broken input (cuts, flipped bits, deep nesting, lengths past the end,
# megabyte-long values, junk, unreadable paths, senseless configurations): every call converts or
# is refused with a reason, without crash or hang; nothing looks whole unless it is; no file stays
# open; no Perl value outlives a host call; the locale changes no output. PM_BROKEN_INPUT_MODULES=a,b.
use strict;
use warnings;
use PmBuild ();
use PmTest qw(source_dir build_dir sample scratch slurp spew capture_output cases cuts flips junk run_command one_block_file
    rnc_file_name example_config fresh_log log_messages log_lines :measdoc);
use Cwd ();
use File::Basename qw(basename);
use POSIX qw(setlocale LC_ALL);
use Test::More;

# Under the address sanitizer, again with leak detection (the harness turns it off); three frames
# a block show the interpreter's own leaks above the allocator, which are suppressed.
BEGIN {
    if (($ENV{PM_SANITIZED} // '') eq 'address' && !$ENV{PM_LEAKS_CHECKED}) {
        my $interpreter = readlink('/proc/self/exe') // $^X;
        my $suppressions = join('-', Cwd::getcwd() . "/lsan", basename($0), $ENV{MEASDOC_VARIANT} // ()) . '.supp';
        spew($suppressions, "leak:^$interpreter\$\n");
        $ENV{ASAN_OPTIONS} =~ s/detect_leaks=0/detect_leaks=1/; $ENV{ASAN_OPTIONS} .= ':malloc_context_size=3';
        @ENV{qw(PM_LEAKS_CHECKED LSAN_OPTIONS)} = (1, "suppressions=$suppressions:print_suppressions=0");
        $ENV{PERL5LIB} = join ':', grep { !ref } @INC;
        exec $^X, $0, @ARGV or die "exec $^X: $!\n";
    }
}

use AlcatelFile qw(alcatel_file block block_len byte le16);
use BerMeas;
use measdoc;
use radiobin;

my ($src, $dir, $n, $long, $time_limit) = (source_dir(), scratch(), 0, 'x' x 0x100000, $ENV{PM_SANITIZED} ? 300 : 120);
chdir $dir or die "$dir: $!\n";    # BerMeas logs into the working directory

# Runs the code with its output caught and a watchdog: a call that does not return in time ends
# the process (SIGALRM's default).
sub guarded {
    my ($code, @result) = @_;
    local $SIG{ALRM} = 'DEFAULT';
    my $died = eval { capture_output(sub { alarm $time_limit; @result = $code->() }); '' } // "died: $@";
    alarm 0;
    return $died ? (undef, undef, $died) : @result;
}

# What is wrong with a radiobin PIF file, or '': even a failed one closes its sections in order.
sub pif_fault {
    my ($pif, $sections) = ($_[0], join '', $_[0] =~ /^##([SE])(?:TART|ND)\|/mg);
    return $pif =~ /\A[^\n]*\n##START\|HEADER\n[^\n]*\n[^\n]*\n##END\|HEADER\n/ && $pif =~ /\n\z/
        && $sections =~ /\A(?:SE)+\z/ ? '' : "is not closed in order: $sections";
}

my ($junk, $ber, $alcatel) = (spew("$dir/junk", "\x30\x84\x7f\xff\xff\xff" . 'x' x 100), "$src/samples/ber/meas-rnc.ber",
                              "$src/samples/alcatel/PMRES011.01a.3.");
my ($rnc_name, $bermeas_config, @ber_row) = (rnc_file_name(), example_config(), values => [['cell=1', [1, 2], 0]], types => ['a.b', 'c']);
# The deep and oversized inputs of each group, [label, octets], written out as the file says.
my %shapes;
for (cases('t/expected/broken-inputs.txt')) {
    my ($group, $label, $text) = @$_;
    $text =~ s{\{([^{}]*)\*(\d+)\}}{ my ($repeated, $count) = ($1, $2); join '', map { $repeated =~ s/#/$_/gr } 1 .. $count }ge;
    push @{ $shapes{$group} }, [$label, $text =~ s/LONG/$long/gr =~ s/\\x([0-9a-f]{2})/chr hex $1/ger];
}
my @ber_shapes = (@{ $shapes{ber} }, ['junk', junk(65536, 7)]);
my $layout = "$src/samples/alcatel/blocks.cfg";
my @measdoc_workers = variant() eq 'threads' ? (0, 1, 2, 4, 8) : (0);
my (%measdoc_settings, @measdoc_configs);    # label => [item => [values]]; the labels in order
for (cases('t/expected/measdoc-configs.txt')) {
    my ($label, $item, @values) = map { s/LONG/$long/gr =~ s/\A'( ?)'\z/$1/r } @$_;
    push @measdoc_configs, $label unless $measdoc_settings{$label};
    push @{ $measdoc_settings{$label} }, $item => \@values;
}
my @current_layout = @{ $measdoc_settings{'the current layout'} };
my @bad_output = (['an output directory that does not exist', { out => "$dir/no/such" }],
    ['an output directory that is a file', { out => spew("$dir/plain", '') }], ['a megabyte-long output directory', { out => "$dir/$long" }]);
my @odd_paths = (['an empty file', spew("$dir/empty", '')], ['a missing file', "$dir/no-such-file"], ['a directory', $dir],
    ['a name of 100000 characters', "$dir/" . ('n' x 100_000)], ['a file whose reads fail', '/proc/self/mem'],  # nothing mapped at 0
    $> == 0 ? () : ['a file without read permission', do { chmod 0, spew("$dir/locked", 'locked'); "$dir/locked" }]);

# run(path, options) returns (converted, output, complaints); `samples` are cut and flipped;
# `inputs` [label, octets, must fail]; `arguments` [label, path, options, converts]; `configs`
# [label, value, must be refused] go through configure (undef and run options when taken, else
# '' or a complaint) before the first sample converts; reset restores the default.
my %modules;
%modules = (
    bertree => {
        run => sub {
            my ($path) = @_;
            my %env = (LD_PRELOAD => undef, map { $_ => $ENV{$_} =~ s/detect_leaks=0/detect_leaks=1/r } grep { $ENV{$_} } 'ASAN_OPTIONS');
            my $r = run_command({ env => \%env }, 'timeout', '-s', 'KILL', $time_limit, build_dir() . '/bertree/bertree',
                                ++$n % 2 ? '-i' : (), $path);
            my @c = $r->{signal} ? "signal $r->{signal}" : ();
            if ($r->{status} == 0) { push @c, grep { $_ } !length $r->{out} && 'printed nothing', $r->{err} }
            else { push @c, "exit $r->{status}: $r->{err}" if $r->{status} != 1 || $r->{err} ne "Cannot open input file: $path\n" }
            return ($r->{status} == 0, $r->{out}, @c);
        },
        # Its cut and flipped samples are compared with its tree printer by bertree's own tests.
        inputs => [map { [@$_, 0] } @ber_shapes],
        empty_converts => 1,
        checks => [['nesting stops at the decoder\'s depth limit', sub {
            (split /\n/, ($modules{bertree}{run}->(spew("$dir/deep", "\x30\x80" x 100000)))[1]) < 1000 }]],
    },
    BerMeas => {
        run => sub {
            my ($path, %opt) = @_;
            my $out = $opt{out} // scratch();
            my $logged = () = log_lines();
            my ($ok, undef, $died) = guarded(sub { BerMeas::process_file($path, $opt{name} // $rnc_name, $out) });
            my %files = map { basename($_) => slurp($_) } grep { -f } glob("$out/*.pif");
            my %reference = map { $_ => 1 } @{ $opt{reference} // [] };
            my @c = grep { $_ } $died, !defined $ok || ($ok ne '1' && $ok ne '') && "result '$ok' is no boolean",
                !$ok && !$opt{unlogged} && !grep({ /^[12] / } log_lines($logged)) && 'refused without a logged reason';
            for my $name (sort keys %files) {
                my $whole = $files{$name} =~ /\n##END\|[^\n|]*\n\z/;
                push @c, "$name: no PIF banner" unless $files{$name} =~ /\A## Parser Intermediate File\n##START\|HEADER\n/;
                push @c, "$name: not whole after a conversion" if $ok && !$whole;
                push @c, "$name: looks whole but is not what the intact file gives" if $whole && %reference && !$reference{$files{$name}};
            }
            # The files' names carry a counter that runs on from one conversion to the next.
            return ($ok, [sort values %files], @c);
        },
        samples => [map { ["$src/samples/ber/$_"] } qw(meas-rnc.ber meas-rnc-indefinite.ber meas-utran.ber)],
        inputs => [(map { [@$_, 1] } @ber_shapes,
                ['a content length beyond the file', substr(one_block_file(@ber_row), 0, 40) . "\x04\x84\x7f\xff\xff\xf0abc"]),
            ['a megabyte-long object instance', one_block_file(@ber_row, values => [["cell=$long", [1, 2]]]), 0],
            ['a megabyte-long counter name', one_block_file(@ber_row, types => [$long, 'c']), 0],
            ['a megabyte-long time stamp', one_block_file(@ber_row, time_stamp => $long), 0],
            # The sender name is a field of the PIF file name, which no file system takes.
            ['a megabyte-long sender name', one_block_file(@ber_row, sender => "managedElementId=$long"), 1]],
        arguments => [(map { [$_->[0], $ber, $_->[1]] } @bad_output,
                ['a megabyte-long arrival name', { name => "/$long" }],
                # These two are refused before the log opens.
                ['an empty arrival name', { name => '', unlogged => 1 }]),
            ['a file name holding a NUL', "$src/samples/ber/meas-rnc.ber\0.other", { unlogged => 1 }]],
        configs => [
            ['no reference', 'text'], ['a reference to an array', [1, 2]],
            ['values of every wrong kind', { DIRECTORY_HEADER_FIELDS => [1], FILENAME_HEADER_FIELDS => \'x',
                ASN1_3GPP_FILENAME_VALIDATION => { a => undef, b => [undef, {}], c => \*STDOUT },
                ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => [1], ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 5 },
                ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => { x => 1 } }, ASN1_HEADER_INFO_FOR_PIF_FILENAME => 'x' }],
            ['patterns that do not compile', { FILENAME_HEADER_FIELDS => { F => '(' }, ASN1_3GPP_FILENAME_VALIDATION => { T => '(' },
                ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => '[' }, ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => 'OBJ_ID' } }],
            ['megabyte-long keys, patterns and names', { FILENAME_HEADER_FIELDS => { ('k' x 0x100000) => '^(.+)$' },
                ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => $long,
                ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' . ('x?' x 1000) },
                ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => [$long] }, ASN1_HEADER_INFO_FOR_PIF_FILENAME => [$long] }],
            ['no configuration', undef, 1]],
        configure => sub { BerMeas::delete_config(); BerMeas::set_config($_[0]) if defined $_[0]; (undef, unlogged => !defined $_[0]) },
        # Host calls on good and failing input and with wrong argument counts.
        leaks => [['set_config and delete_config', sub { BerMeas::set_config($bermeas_config); BerMeas::delete_config() }],
            ['a configuration of the wrong kinds', sub { BerMeas::set_config({ DIRECTORY_HEADER_FIELDS => [1],
                FILENAME_HEADER_FIELDS => { F => [undef, \1] } }); BerMeas::delete_config(); BerMeas::set_config($bermeas_config) }],
            (map { my @args = @$_; ["process_file(@args)", sub { guarded(sub { BerMeas::process_file(@args) }) }] }
                [$ber, $rnc_name, $dir], [$junk, $rnc_name, $dir], [$ber, 'refused', $dir], [$ber, $rnc_name, '']),
            ['wrong argument counts', sub { eval { BerMeas::process_file($ber) }; eval { BerMeas::set_config() } }]],
        reset => sub { BerMeas::delete_config(); BerMeas::set_config($bermeas_config) },
    },
    radiobin => {
        file_name => 'PMRES011.01a.3.',    # the BSS number comes from the name
        run => sub {
            my ($path, %opt) = @_;
            my $out = $opt{out} // scratch();
            my $log = fresh_log(5);
            my ($rc, $second, $died) = guarded(sub { radiobin::process_file($path, $out, $opt{omc} // 'OMC1',
                                                     $opt{network} // 'NET1', $opt{region} // 'REG1') });
            my @c = grep { $_ } $died, !grep({ $rc eq $_ } 0, -1, -2, 3) && "code $rc",
                $rc != 0 && !grep({ /^[124]:/ } @{ log_messages($log) }) && 'refused without a logged reason',
                !defined $second && 'no second value',
                defined $second && $second ne $rc && index($second, "$out/") != 0 && "second value $second is no path in $out";
            my $pif = defined $second && -f $second ? slurp($second) : '';
            push @c, "the PIF file left behind " . pif_fault($pif) if length $pif && pif_fault($pif);
            return ($rc == 0, $pif, @c);
        },
        samples => [[$alcatel]],
        inputs => [map { my ($label, %file) = @$_; [$label, alcatel_file(layout => 76, release => 5, meas_type => 11, %file), 0] }
            ['a block longer than its record', records => [[block_len(110, 32767, byte(1))]]],
            ['a negative block length', records => [[block_len(110, -1, byte(1))]]],
            (map { [$_->[0], records => [[block(110, byte(1), le16(2), pack 'a16', 'X')]], @$_[1, 2]] }
                ['a record count of 65535', num_records => 65535], ['a file size of 4 GiB', file_size => 0xFFFFFFFF],
                ['a file size of 0', file_size => 0], ['a record count of 0', num_records => 0],
                ['records shorter than their header', record_size => 80, num_records => 40, file_size => 160])],
        arguments => [(map { [$_->[0], $alcatel, $_->[1]] } @bad_output, ['a megabyte-long OMC name: no such file name', { omc => $long }]),
            ['megabyte-long network and region: header values', $alcatel, { network => $long, region => $long }, 1]],
        configs => [cuts(slurp($layout)), flips(slurp($layout), 80, 21), ['junk', junk(65536, 5)],
            ['a megabyte-long counter name', "BLOCK 110 COUNTER := \"$long\" OFFSET := 0 SIZE := 1 END\n"],
            ['a megabyte-long comment', "#$long"], ['a megabyte-long line of clauses', 'BLOCK 110 ' . ('AND ' x 0x40000) . "END\n"],
            map { ["a layout at $_->[0]", \$_->[1], 1] } @odd_paths, ['no name', ''], ['a megabyte-long name', "$dir/$long"]],
        # A layout loads (0) or is refused (2) with a reason; whatever loaded must serve a conversion.
        configure => sub {
            my $path = ref $_[0] ? ${ $_[0] } : spew("$dir/layout" . ++$n, $_[0]);
            my ($log, $rc) = (fresh_log(5), radiobin::config_initialise($path, 0, 9));
            return $rc == 0 ? ($_[1] ? 'loaded' : undef) : $rc != 2 ? "code $rc" : grep({ /^1:ERROR/ } @{ log_messages($log) }) ? '' : 'refused without a logged reason';
        },
        reset => sub { radiobin::config_initialise($layout, 0, 9) == 0 or die "$layout does not load\n" },
        leaks => [['logopen', sub { radiobin::logopen("$dir/radiobin.log", 5) }], ['constant', sub { my $v = radiobin::constant('x', 1) }],
            (map { my $file = $_; ["config_initialise($file)", sub { radiobin::config_initialise($file, 0, 9) }] } $junk, $layout),
            (map { my @args = @$_; ["process_file(@args)", sub { my @r = &radiobin::process_file(@args, 'OMC', 'N', 'R') }] }
                [$alcatel, $dir], [$junk, $dir], [$alcatel, "$dir/no/such"]),
            ['a wrong argument count', sub { eval { &radiobin::process_file($alcatel) } }]],
        checks => [['a directory as the log: lines are lost, the conversion is not', sub { radiobin::logopen($dir, 5);
                        (radiobin::process_file($alcatel, $dir, 'O', 'N', 'R'))[0] == 0 }]],
    },
    measdoc => {
        run => sub {
            my ($path, %opt) = @_;
            my ($r, undef, $died) = guarded(sub { cycle($path, @{ $opt{items} // [] },
                                                        threadNumber => [$measdoc_workers[$n++ % @measdoc_workers]]) });
            return (0, undef, $died) if $died;
            my ($run, $error) = @$r{qw(run error)};
            my @c = grep { $_ } $run != 0 && $run != -1 && "run gave $run", $run == -1 && !defined $error && 'failed without an error',
                defined $error && ($error !~ /\AERROR: / || $run == 0) && "run $run with the error $error",
                $r->{deinit} != 0 && 'stop failed', ref $r->{configuration} ne 'HASH' && 'no configuration hash',
                (map { "a warning that is no warning: $_" } grep { !/\AWARN : / } @{ $r->{warnings} }),
                $run == 0 && $opt{reference} && PmTest::canonical($r->{data}) ne PmTest::canonical($opt{reference})
                    && 'converted, but not as the whole file';
            return ($r->{run} == 0, $r->{data}, @c);
        },
        samples => [(map { ["$src/samples/xml/$_"] } qw(gen_mdc.xml measdoc_features_mdc.xml)),
                    map { ["$src/samples/xml/$_", items => \@current_layout] } qw(gen_meascollec.xml measdoc_features_measCollec.xml)],
        # A cut converts only when all of its root element is there.
        complete => sub { $_[0] =~ m{</(mdc|measCollecFile)>\s*\z} },
        inputs => [map { [@$_, 0] } @{ $shapes{xml} }, ['junk', junk(65536, 17)]],
        configs => [map { [$_, $measdoc_settings{$_}] } grep { $_ ne 'the current layout' } @measdoc_configs],
        configure => sub { (undef, items => $_[0]) },
        leaks => [(map { my $file = $_; ["a whole cycle on $file", sub { set_item(altCounterNames => '^pm(.*)$[]$1', '(');
                my @kept = (cycle($file), map { measdoc::measdoc_block($_) } -1 .. 1) }] } "$src/samples/xml/gen_mdc.xml", $junk),
            ['a value refused', sub { measdoc::measdoc_add_config("a\0b"); my $e = measdoc::measdoc_error() }],
            ['a setting refused', sub { set_item(threadNumber => 'x'); set_item(threadNumber => 'y');
                my $e = measdoc::measdoc_error(); measdoc::measdoc_init(); measdoc::measdoc_deinit() }],
            ['wrong argument counts', sub { eval { measdoc::measdoc_add_config() }; eval { measdoc::measdoc_run(1) } }]],
    },
);
my @chosen = grep { $modules{$_} } split /,/, $ENV{PM_BROKEN_INPUT_MODULES} // join ',', sort keys %modules;

# Runs [label, octets, must fail] variants; how many had complaints. A cut fails unless complete.
sub run_variants {
    my ($m, $variants, %opt) = @_;
    my $bad = 0;
    for my $v (@$variants) {
        my ($label, $octets, $fails) = @$v;
        my $path = spew(scratch() . '/' . ($m->{file_name} // 'input'), $octets);
        my ($converted, undef, @c) = $m->{run}->($path, %opt);
        push @c, 'converted' if $converted && ($fails // ($opt{cut} && !($m->{complete} && $m->{complete}->($octets))));
        diag "$label: @c" if @c && ++$bad <= 3;
    }
    return $bad;
}

my $descriptors = () = glob('/proc/self/fd/*');
$_->{reset}->() for grep { $_->{reset} } values %modules;

for my $name (@chosen) {
    my $m = $modules{$name};
    subtest $name => sub {
        for my $sample (@{ $m->{samples} // [] }) {
            my ($path, %opt) = @$sample;
            my ($converted, $reference, @c) = $m->{run}->($path, %opt);
            ok($converted && !@c, "$path: the intact file converts") or diag "@c";
            my $octets = slurp($path);
            is(run_variants($m, [cuts($octets)], %opt, cut => 1, reference => $reference), 0,
               "$path: every cut fails with a reason, or is complete and converts as the intact file");
            is(run_variants($m, [flips($octets, 40, length $octets)], %opt), 0, "$path: every flipped copy converts or fails with a reason");
        }
        is(run_variants($m, $m->{inputs}), 0, 'deep, oversized and junk input converts or fails with a reason');
        for my $case (@odd_paths, @{ $m->{arguments} // [] }) {
            my ($label, $path, $opt, $converts) = @$case;
            my ($converted, undef, @c) = $m->{run}->($path, %{ $opt // {} });
            $converts //= $m->{empty_converts} && $label eq 'an empty file';
            ok(!@c && !$converted == !$converts, "$label: " . ($converts ? 'converts' : 'fails with a reason')) or diag "@c";
        }
        my ($loaded, $bad) = (0, 0);
        for my $config (@{ $m->{configs} // [] }) {
            my ($label, $value, $must_refuse) = @$config;
            my ($status, %opt) = $m->{configure}->($value, $must_refuse);
            my ($converted, undef, @c) = defined $status ? (0, undef, grep { $_ } $status) : $m->{run}->($m->{samples}[0][0], %opt);
            $loaded++ unless defined $status;
            push @c, 'accepted' if $must_refuse && $converted;
            diag "$label: @c" if @c && ++$bad <= 3;
        }
        is($bad, 0, 'each configuration serves a conversion that converts or fails with a reason, or is refused with one');
        cmp_ok($loaded, '>', 0, 'some configurations are taken') if $m->{configs};
        $m->{reset}->() if $m->{reset};
        ok($_->[1]->(), $_->[0]) for @{ $m->{checks} // [] };
    };
}

my @leak_calls = map { @{ $modules{$_}{leaks} // [] } } @chosen;
subtest 'no Perl value outlives a host call' => sub {
    require Test::LeakTrace;
    &Test::LeakTrace::no_leaks_ok($_->[1], $_->[0]) for @leak_calls;
} if @leak_calls;

# The host's locale changes no output: case and number rules that differ from ASCII's.
my $outputs = sub { +{ map { my $m = $modules{$_}; ($_ => PmTest::canonical([map { ($m->{run}->(@$_))[1] } @{ $m->{samples} // [] }])) } @chosen } };
my $c_locale = $outputs->();
for my $locale (qw(tr_TR.UTF-8 de_DE.UTF-8)) {
    SKIP: {
        skip "locale $locale is not installed (scripts/install-deps generates it)", 1 unless defined setlocale(LC_ALL, $locale);
        is_deeply($outputs->(), $c_locale, "$locale: every module's output as under the C locale");
        setlocale(LC_ALL, 'C');
    }
}

is(scalar(() = glob('/proc/self/fd/*')), $descriptors, 'no file left open');
chdir '/';
done_testing;
