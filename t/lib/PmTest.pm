package PmTest;
# The one helper module of every Perl test: source, build and samples, scratch directories,
# octet files, commands run as a user runs them; each module's helpers under its heading.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use File::Path ();
use File::Spec;
use File::Temp qw(tempdir);
use IO::Compress::Gzip ();
use JSON::PP ();
use POSIX ();
use Test::More ();

our @EXPORT_OK = qw(source_dir build_dir sample shared_sample scratch slurp spew run_command cases
    pm2pif fake_dir work_dir layout_config gzipped output_files output_names summary_of have_measdoc);

my $source = File::Spec->rel2abs($ENV{PM_SOURCE_DIR} // die "PM_SOURCE_DIR is not set\n");
my $build  = File::Spec->rel2abs($ENV{PM_BUILD_DIR} // "$source/build");

sub source_dir { $source }
sub build_dir  { $build }

# A bundled sample: samples/PATH.
sub sample { "$source/samples/$_[0]" }

# A sample outside the checkout (../shared/samples), or undef (the caller skips).
sub shared_sample { my $dir = PmBuild::shared_samples() // return undef; -e "$dir/$_[0]" ? "$dir/$_[0]" : undef }

# A fresh directory, removed at exit.
sub scratch { tempdir('pmtest_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

# The octets of a file; dies when it cannot be read.
sub slurp { open my $fh, '<:raw', $_[0] or die "$_[0]: $!"; local $/; scalar <$fh> }

# Writes octets into a file and returns its path; dies when it cannot.
sub spew {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $octets and close $fh or die "$path: $!";
    return $path;
}

# The rows of a case table under the checkout: fields split at " | ", "#" and blank lines
# skipped, \n a newline and \\ a backslash. Dies when unreadable: a lost table passes nothing.
sub cases {
    open my $fh, '<', "$source/$_[0]" or die "$_[0]: $!";
    local $/ = "\n";
    return map { chomp; [ map { s/\\([n\\])/$1 eq 'n' ? "\n" : '\\'/ger } split / \| /, $_, -1 ] } grep { !/^\s*(?:#|$)/ } <$fh>;
}

# Runs a command without a shell (a sanitizer's preloaded run-time does not suit one); returns
# { status, signal, out, err }. Options first: cwd, stdin (a file), stdout (a file instead of the
# capture), env (undef removes a variable), user (to run as, when root), background (the
# process id at once, the caller reaps it).
sub run_command {
    my %opt = ref $_[0] eq 'HASH' ? %{ shift @_ } : ();
    my @command = @_;
    my $capture = scratch();
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        chdir $opt{cwd} or POSIX::_exit(126) if defined $opt{cwd};
        my %env = %{ $opt{env} // {} };
        @ENV{ keys %env } = values %env; delete @ENV{ grep { !defined $env{$_} } keys %env };
        open STDIN, '<', $opt{stdin} // '/dev/null' or POSIX::_exit(126);
        open STDOUT, '>', $opt{stdout} // "$capture/out" or POSIX::_exit(126);
        open STDERR, '>', "$capture/err" or POSIX::_exit(126);
        if (defined $opt{user} && $> == 0) {
            my (undef, undef, $uid, $gid) = getpwnam $opt{user} or POSIX::_exit(125);
            POSIX::setgid($gid) && POSIX::setuid($uid) or POSIX::_exit(125);
        }
        { exec { $command[0] } @command }
        POSIX::_exit(127);
    }
    return $pid if $opt{background};
    waitpid $pid, 0;
    return { status => $? >> 8, signal => $? & 127, out => -e "$capture/out" ? slurp("$capture/out") : '',
             err => slurp("$capture/err") };
}

# --- pm2pif

# The directory of the stand-ins pm2pif's tests load before the build tree's modules.
sub fake_dir { "$source/bin/t/fake" }

# Runs bin/pm2pif as a user does: its own perl against the build tree's modules. Options: those
# of run_command, inc (module directories searched first), lib (the build tree's, as given).
sub pm2pif {
    my %opt = ref $_[0] eq 'HASH' ? %{ shift @_ } : ();
    my @inc = (@{ delete $opt{inc} // [] }, delete $opt{lib} // "$build/perl/lib");
    return run_command(\%opt, $^X, (map {"-I$_"} @inc), "$source/bin/pm2pif", @_);
}

# A fresh directory of the files name => content: a reference to a sample's name copies it,
# a hash reference is written as JSON, a text as it stands; "NAME/" is a directory.
sub work_dir {
    my (%files) = @_;
    my $dir = scratch();
    for my $name (sort keys %files) {
        my $content = $files{$name};
        File::Path::make_path("$dir/$name" =~ s{/[^/]*\z}{}r);
        spew("$dir/$name", ref $content eq 'SCALAR' ? slurp(sample($$content)) : ref $content
            ? JSON::PP::encode_json($content) : $content) if $name !~ m{/\z};
    }
    return $dir;
}

# A configuration that gives the bundled block layout, and the other Alcatel settings given.
sub layout_config { { alcatel => { blockLayout => sample('alcatel/blocks.cfg'), @_ } } }

# The octets compressed by gzip.
sub gzipped { my ($octets) = @_; IO::Compress::Gzip::gzip(\$octets => \my $gz, Minimal => 1) or die $IO::Compress::Gzip::GzipError; $gz }

# The output files of a directory, name => content; the input's mark (8 hex digits and a dot
# before the number) left out of the names while they stay apart.
sub output_files {
    my ($dir) = @_;
    my %files = map { $_ => slurp("$dir/$_") } @{ output_names($dir) };
    my %short = map { (s/-#-[0-9a-f]{8}\.(\d+)-#-I\.pif\z/-#-$1-#-I.pif/r) => $files{$_} } keys %files;
    return keys %short == keys %files ? \%short : \%files;
}

# The names of the PIF files of a directory, sorted.
sub output_names { opendir my $dh, $_[0] or die "$_[0]: $!"; [ sort grep { /\.(?:pif|pt)\z/ } readdir $dh ] }

# The counts of pm2pif's summary line {converted, failed, skipped, files, lines}; undef without one.
sub summary_of {
    my @counts = $_[0] =~ /(\d+) files? converted.*?, (\d+) failed, (\d+) skipped; (\d+) PIF files?, (\d+) lines?/ or return undef;
    return { map { (qw(converted failed skipped files lines))[$_] => $counts[$_] } 0 .. 4 };
}

# Whether the XML module loads from the build tree (in a process of its own).
my $measdoc;
sub have_measdoc { $measdoc //= run_command($^X, "-I$build/perl/lib", '-e', 'require measdoc')->{status} == 0 ? 1 : 0 }

# --- bertree
push @EXPORT_OK, qw(bertree octet_file);

# The built tool run as a user runs it: { status, signal, out, err }.
sub bertree { run_command("$build/bertree/bertree", @_) }

# A file holding the octets, one new file a call.
my ($octet_dir, $octet_files) = (undef, 0);
sub octet_file { spew(($octet_dir //= scratch()) . '/input-' . ++$octet_files, $_[0]) }

# --- packaging
push @EXPORT_OK, qw(project_version check_installed_tree);

# The version of the whole, from the top-level project() call.
sub project_version { slurp("$source/CMakeLists.txt") =~ /^project\(\w+ VERSION (\S+)/m ? $1 : die "no project version\n" }

# check_installed_tree(root => DIR, prefix => DIR, [inc => 'none']): runs the commands and
# modules of an installed tree with none of the build tree in sight; inc 'none': no PERL5LIB.
sub check_installed_tree {
    my %arg = @_;
    my $top = "$arg{root}$arg{prefix}";
    my ($perl_dir) = run_command('find', $top, '-name', 'BerMeas.pm')->{out} =~ m{^(.*)/BerMeas\.pm$}m;
    Test::More::ok(defined $perl_dir, "modules installed under $top") or return;
    my %lib = (PERL5LIB => $perl_dir, PERLLIB => undef);
    my @files = map { $_->[0] =~ m{\APERL/(.*)} ? "$perl_dir/$1" : "$top/$_->[0]" } cases('t/expected/installed-files.txt');
    Test::More::is_deeply([grep { !-e $_ && !-e "$_.gz" } @files], [], 'commands, manual pages and modules in place');
    my $r = run_command({ env => \%lib }, $^X, '-e', 'use measdoc; use BerMeas; use radiobin;'
        . ' print "$INC{$_}\n" for qw(measdoc.pm BerMeas.pm radiobin.pm); print "$_\n" for @DynaLoader::dl_shared_objects');
    my @loaded = split /\n/, $r->{out};
    Test::More::ok(@loaded == 6 && !grep({ index($_, "$perl_dir/") != 0 } @loaded), 'each module loads from the tree')
        or Test::More::diag($r->{out}, $r->{err});
    my $work = scratch();
    my %env = (%lib, ($arg{inc} // '') eq 'none' ? (PERL5LIB => undef) : ());
    Test::More::is(run_command({ env => \%env }, "$top/bin/pm2pif", '--version')->{out}, 'pm2pif ' . project_version() . "\n",
                   'pm2pif --version is the project version');
    $r = run_command({ env => \%env, cwd => "$source/samples" }, "$top/bin/pm2pif", '-q', '-c', 'pm2pif.json', '-o',
                     "$work/out", 'xml/boda_A2.xml', 'ber/meas-rnc.ber', 'alcatel/PMRES011.01a.3.');
    Test::More::ok($r->{status} == 0 && (() = glob "$work/out/*.p[it]*") >= 3, 'pm2pif converts an XML, a BER and an Alcatel sample')
        or Test::More::diag($r->{err});
    Test::More::like(run_command("$top/bin/bertree", '-i', "$source/samples/ber/meas-rnc.ber")->{out},
                     qr/\ASEQUENCE \{\n  \[0\] \{\n/, 'bertree prints an indented tree');
    spew("$work/A20261205.1430+0100-1445+0100_RNC01.ber", slurp("$source/samples/ber/meas-rnc.ber"));
    $r = run_command({ cwd => $work }, "$top/bin/bermeas-convert", 'A20261205.1430+0100-1445+0100_RNC01.ber');
    Test::More::ok($r->{status} == 0 && (() = glob "$work/inter_d/*.pif") > 0, 'bermeas-convert converts with the example configuration')
        or Test::More::diag($r->{err});
}

# --- broken input: copies of a file, the same on every run
push @EXPORT_OK, qw(cuts flips junk);

# [label, prefix] for every prefix whose length is a multiple of $step (10 unless given).
sub cuts {
    my ($octets, $step) = @_;
    $step //= 10;
    return map { ["cut at $_", substr($octets, 0, $_)] } grep { $_ % $step == 0 } 0 .. length($octets) - 1;
}

# A generator of its own, so that a seed gives the same copies whatever the interpreter's rand does.
sub _generator {
    my ($seed) = @_;
    my $state = ($seed * 2654435761 + 1) % 4294967296;
    return sub { $state = (1103515245 * $state + 12345) % 2147483648 };
}

# $count copies, each with one to three bits flipped, as [label, octets].
sub flips {
    my ($octets, $count, $seed) = @_;
    my $next = _generator($seed);
    my $bits = 8 * length $octets;
    return map {
        my $copy = $octets;
        my @at = map { $next->() % $bits } 1 .. 1 + $next->() % 3;
        vec($copy, $_, 1) ^= 1 for @at;
        ['bits flipped at ' . join(',', @at), $copy];
    } 1 .. $count;
}

# $length octets of junk.
sub junk { my $next = _generator($_[1]); join '', map { chr(($next->() >> 7) & 0xFF) } 1 .. $_[0] }

# --- measdoc: items and cycles through its host functions (the test loads the module)
push @EXPORT_OK, my @measdoc = qw(variant default_threads set_item set_items cycle converted write_file
    worked_example expected);
$PmTest::EXPORT_TAGS{measdoc} = \@measdoc;

# 'threads' or 'nothreads': the library variant the loaded module was built with.
sub variant { $ENV{MEASDOC_VARIANT} // 'threads' }

sub default_threads { variant() eq 'threads' ? '4' : '0' }

sub drain_warnings { my @warnings; while (defined(my $w = measdoc::measdoc_warning())) { push @warnings, $w } \@warnings }

# Queues the values and calls the item's setter; returns the setter's result.
sub set_item {
    my ($item, @values) = @_;
    measdoc::measdoc_add_config($_) == 0 or die "measdoc_add_config($_) failed\n" for @values;
    return (\&{"measdoc::measdoc_set_$item"})->();
}

# set_items(item => [values], ...); dies unless every setter succeeds.
sub set_items {
    for (my @list = @_; my ($item, $values) = splice @list, 0, 2;) {
        set_item($item, @$values) == 0 or die "measdoc_set_$item failed: " . (measdoc::measdoc_error() // '') . "\n";
    }
}

# One whole cycle on a file: {init, run, error, warnings, data, blocks (the data as fetched
# one block at a time), configuration, deinit}.
sub cycle {
    my ($file, @items) = @_;
    set_items(xmlFileName => [$file], @items);
    my %r = (init => measdoc::measdoc_init(), run => measdoc::measdoc_run(), error => measdoc::measdoc_error(),
             warnings => drain_warnings(), data => measdoc::measdoc_data());
    my %blocks = (commonHeaderData => {}, dataTypeDict => measdoc::measdoc_data_types());
    for my $n (0 .. measdoc::measdoc_block_count() - 1) {
        my $block = measdoc::measdoc_block($n);
        die "block $n: not one block\n" if join(',', sort keys %$block) ne "$n,commonHeaderData";
        $blocks{$n} = $block->{$n};
        $blocks{commonHeaderData}{$n} = $block->{commonHeaderData}{$n};
    }
    @r{qw(blocks configuration deinit)} = (\%blocks, measdoc::measdoc_configuration(), measdoc::measdoc_deinit());
    return \%r;
}

# A value as one text, hash keys sorted, for comparing results whole.
sub canonical { require Data::Dumper; Data::Dumper->new([$_[0]])->Sortkeys(1)->Indent(0)->Useqq(1)->Terse(1)->Dump }

# The cycle without workers, with `differs`: the worker counts (0, 1, 4, 8) whose blocks are
# not their data, or whose outcome (on failure the error's kind: any failing section may come
# first) is not that without workers.
sub converted {
    my ($file, @items) = @_;
    my $outcome = sub {
        my ($r) = @_;
        my ($kind) = ($r->{error} // '') =~ /\A(ERROR: \w+)/;
        return canonical([@$r{qw(init run)}, $r->{run} == 0 ? @$r{qw(data warnings)} : $kind]);
    };
    my $first = cycle($file, @items, threadNumber => ['0']);
    $first->{differs} = [];
    for my $workers (0, 1, 4, 8) {
        my $r = $workers ? cycle($file, @items, threadNumber => [$workers]) : $first;
        push @{ $first->{differs} }, $workers
            if $outcome->($r) ne $outcome->($first) || canonical($r->{blocks}) ne canonical($r->{data});
    }
    return $first;
}

# A file of the given content in a directory removed at exit; returns its path.
my $measdoc_scratch;
sub write_file { spew(($measdoc_scratch //= scratch()) . "/$_[0]", $_[1]) }

# A small file of the older layout (one block of one row) where a clean run is all a test needs.
sub worked_example { write_file('worked-example.xml', slurp("$source/t/expected/worked-example.xml")) }

# The value kept in measdoc/t/expected/NAME.json; MEASDOC_WRITE_EXPECTED writes $got there first.
sub expected {
    my ($name, $got) = @_;
    my $json = JSON::PP->new->canonical->pretty;
    my $path = "$source/measdoc/t/expected/$name.json";
    spew($path, $json->encode($got)) if $ENV{MEASDOC_WRITE_EXPECTED} && defined $got;
    return $json->decode(slurp($path));
}

# --- BerMeas
# The module logs into the working directory, so its tests run inside a scratch one.
use Cwd ();
use Tie::IxHash;
use lib File::Spec->rel2abs("$ENV{PM_SOURCE_DIR}/samples/ber");
use MeasFile qw(encode_meas_file indefinite);

push @EXPORT_OK, qw(ordered example_config rnc_file_name encode_meas_file indefinite pif_files
    compare_with_expected log_lines capture_output one_block_file tlv bermeas_convert);

# A reference to a hash that keeps the given order, as a host's configuration does.
sub ordered { tie my %h, 'Tie::IxHash', @_; \%h }

# The converter's example configuration in its order, from t/expected/example-config.txt.
sub example_config {
    my $config = ordered();
    for my $row (cases('t/expected/example-config.txt')) {
        my ($section, @rest) = @$row;
        my ($key, $first, @more) = @rest == 1 || $rest[0] eq '[]' ? (undef, @rest) : @rest;
        my $value = $first eq '[]' ? \@more : $first;
        if (defined $key) { ($config->{$section} //= ordered())->{$key} = $value } else { $config->{$section} = $value }
    }
    return $config;
}

# The name samples/ber/meas-rnc.ber arrives under: 3GPP-style, in a network/region tree.
sub rnc_file_name { '/data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC-North-1.ber' }

# Names of the PIF files in a directory, sorted by their counter.
sub pif_files {
    opendir my $dh, $_[0] or die "$_[0]: $!";
    return map { $_->[1] } sort { $a->[0] <=> $b->[0] || $a->[1] cmp $b->[1] } map { [/(\d+)-#-I\.pif\z/ ? $1 : -1, $_] } grep { /\.pif\z/ } readdir $dh;
}

# Tests that a directory's PIF files are those of bermeas/t/expected/NAME; `any_counter`: whatever counter.
sub compare_with_expected {
    my ($dir, $name, $what, $any_counter) = @_;
    my $expected = "$source/bermeas/t/expected/$name";
    my @want = pif_files($expected);
    my @got = pif_files($dir);
    my $plain = sub { $any_counter ? map { s/-#-\d+-#-I\.pif\z/-#-N-#-I.pif/r } @_ : @_ };
    Test::More::is_deeply([$plain->(@got)], [$plain->(@want)], "$what: file names");
    Test::More::is(@got > $_ ? slurp("$dir/$got[$_]") : undef, slurp("$expected/$want[$_]"), "$what: $want[$_]")
        for 0 .. $#want;
}

# Lines of bermeas.log in the working directory from line `from` on, as "N message".
sub log_lines {
    my ($from) = @_;
    my @lines = -f 'bermeas.log' ? split /\n/, slurp('bermeas.log') : ();
    return map { /^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} 5:(\d) (.*)\z/ ? "$1 $2" : "BAD: $_" }
        @lines[($from // 0) .. $#lines];
}

# Runs the code with file descriptors 1 and 2 going to files; returns (result, stdout, stderr).
# One directory serves every call: a new one a call would look like a leak to Test::LeakTrace.
my $capture_dir;
sub capture_output {
    my ($code) = @_;
    my $dir = $capture_dir //= scratch();
    open my $saved_out, '>&', \*STDOUT and open my $saved_err, '>&', \*STDERR or die "dup: $!";
    open STDOUT, '>', "$dir/out" and open STDERR, '>', "$dir/err" or die "$dir: $!";
    my $result = eval { $code->() };
    my $error = $@;
    open STDOUT, '>&', $saved_out and open STDERR, '>&', $saved_err or die "restore: $!";
    die $error if $error;
    return ($result, slurp("$dir/out"), slurp("$dir/err"));
}

# A measurement file of one block; `values`: [instance id, [integer, 'null' or ['real', number]], suspect flag].
sub one_block_file {
    my (%arg) = @_;
    my @values = map {
        my ($id, $results, $flag) = @$_;
        my @results = map { ref $_ ? { rValue => $_->[1] } : $_ eq 'null' ? { noValue => 1 } : { iValue => $_ } } @$results;
        +{ measObjInstId => $id, measResults => \@results, defined $flag ? (suspectFlag => $flag) : () }
    } @{ $arg{values} };
    return encode_meas_file({
        measFileHeader => { fileFormatVersion => 1, senderName => $arg{sender} // 'managedElementId=RNC01',
                            senderType => 'RNC', vendorName => 'Example Networks', collectionBeginTime => '20261205170000Z' },
        measData => [{
            nEId => { nEUserName => 'RNC01', nEDistinguishedName => 'managedElementId=RNC01' },
            measInfo => [{ measTimeStamp => $arg{time_stamp} // '20261205174500Z', granularityPeriod => 900,
                           measTypes => $arg{types} // ['c1'], measValues => \@values }],
        }],
        measFileFooter => '20261205180000Z',
    });
}

# One BER element: identifier octet, definite length, content.
sub tlv {
    my ($identifier, @content) = @_;
    my $length = length(my $content = join '', @content);
    return chr($identifier) . ($length < 0x80 ? chr $length : $length < 0x100 ? "\x81" . chr $length : "\x82" . pack 'n', $length) . $content;
}

# Converts `octets` or the file `input`, arriving as `name`, into a fresh directory (or `out`);
# returns (result, output directory, {PIF file name => content}).
my $conversions = 0;
sub bermeas_convert {
    my (%arg) = @_;
    my $n = ++$conversions;
    my $input = $arg{input} // spew(Cwd::getcwd() . "/input$n.ber", $arg{octets});
    my $out = $arg{out} // Cwd::getcwd() . "/out$n";
    mkdir $out unless $arg{out};
    my $ok = BerMeas::process_file($input, $arg{name} // 'A20261205.1700+0100-1800+0100_RNC01.ber', $out);
    utf8::encode($out) if utf8::is_utf8($out);  # the module works on a text's UTF-8 octets
    my %files = -d $out ? map { $_ => slurp("$out/$_") } pif_files($out) : ();
    return ($ok, $out, \%files);
}

# --- radiobin: layouts and logs in one scratch directory, files from AlcatelFile
use lib File::Spec->rel2abs("$ENV{PM_SOURCE_DIR}/radiobin/t/lib");
use AlcatelFile ();

push @EXPORT_OK, qw(deep_dir config_file load_config fresh_log log_messages convert_file radiobin_convert header_lines);

my ($radiobin_dir, $serial);
sub radiobin_dir { $radiobin_dir //= scratch() }

# A directory whose absolute path is exactly `length` characters, names of at most 200.
sub deep_dir {
    my ($length) = @_;
    my $path = radiobin_dir() . '/deep' . ++$serial;
    while (length $path < $length) {
        my $room = $length - length($path) - 1;
        die "no directory path of $length characters\n" if $room < 1;
        $path .= '/' . ('d' x ($room <= 200 ? $room : $room == 201 ? 199 : 200));  # never room for a "/" alone
    }
    File::Path::make_path($path);
    return $path;
}

sub config_file { spew(radiobin_dir() . '/cfg' . ++$serial . '.cfg', $_[0]) }

# Loads a block layout from its text; returns what config_initialise returns.
sub load_config { radiobin::config_initialise(config_file($_[0]), $_[1] // 0, $_[2] // 99) }

# Starts a new log at the given level; returns its path.
sub fresh_log { my $path = radiobin_dir() . '/log' . ++$serial . '.log'; radiobin::logopen($path, $_[0]); $path }

# The messages of a log as "level:text" (without the line feed the logger adds).
sub log_messages {
    my (undef, @parts) = -e $_[0] ? split /^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} \d+:(\d+) /m, slurp($_[0]) : ();
    return [ map { "$parts[2 * $_]:" . ($parts[2 * $_ + 1] =~ s/\n\z//r) } 0 .. @parts / 2 - 1 ];
}

# Converts a file into a fresh directory (or `out`): (code, second value, PIF text or undef, log messages).
sub convert_file {
    my ($path, %opt) = @_;
    my $log = fresh_log($opt{log_level} // 3);
    my $out = $opt{out} // radiobin_dir() . '/out' . ++$serial;
    File::Path::make_path($out);
    my ($rc, $second) = radiobin::process_file($path, $out, $opt{omc} // 'OMC1', 'NET1', 'REG1');
    my $pif = defined $second && $second ne $rc && -e $second ? slurp($second) : undef;
    return ($rc, $second, $pif, log_messages($log));
}

# Writes the file AlcatelFile describes under `name` (default PMRES001.01a.7.) and converts it.
sub radiobin_convert {
    my ($desc, %opt) = @_;
    return convert_file(spew(radiobin_dir() . '/' . ($opt{name} // 'PMRES001.01a.7.'), AlcatelFile::alcatel_file(%$desc)), %opt);
}

# The five header lines (t/expected/header-lines.txt) of the default description (05Dec2026
# 10:00-11:00, TZ UTC), fields given replacing its own.
sub header_lines {
    my %h = (start => '05Dec2026|10:00', end => '05Dec2026|11:00', class => 1, inst => 2, release => 5, gmt => 0, gran => 3600, @_);
    return slurp("$source/t/expected/header-lines.txt") =~ s/\{(\w+)\}/$h{$1}/gr;
}

1;
