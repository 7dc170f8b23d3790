package PmTest;
# The one helper module of every Perl test: where the source, build and samples are,
# scratch directories, files read and written as octets, and a command run as a user
# runs it with what it printed and how it ended. Helpers of one module's tests live
# here too, each group under its module's heading, so that none is written twice.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use File::Spec;
use File::Temp qw(tempdir);
use POSIX ();

our @EXPORT_OK = qw(source_dir build_dir sample shared_sample scratch slurp spew run_command);

my $source = File::Spec->rel2abs($ENV{PM_SOURCE_DIR} // die "PM_SOURCE_DIR is not set\n");
my $build  = File::Spec->rel2abs($ENV{PM_BUILD_DIR} // "$source/build");

sub source_dir { $source }
sub build_dir  { $build }

# A bundled sample: samples/PATH.
sub sample { "$source/samples/$_[0]" }

# A sample outside the checkout (../shared/samples), or undef when there is none, so
# that the caller skips.
sub shared_sample {
    my ($path) = @_;
    my $dir = PmBuild::shared_samples() // return undef;
    return -e "$dir/$path" ? "$dir/$path" : undef;
}

# A fresh directory, removed at exit.
sub scratch { tempdir('pmtest_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

# The octets of a file; dies when it cannot be read.
sub slurp {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!";
    local $/;
    return scalar <$fh>;
}

# Writes octets into a file and returns its path; dies when it cannot.
sub spew {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $octets;
    close $fh or die "$path: $!";
    return $path;
}

# Runs a command without a shell (a sanitizer's preloaded run-time does not suit one).
# A leading hash reference may give cwd, stdin (a file), stdout (a file that takes the
# output instead of the capture) and env (variables to set; undef removes one).
# Returns { status, signal, out, err }.
sub run_command {
    my %opt = ref $_[0] eq 'HASH' ? %{ shift @_ } : ();
    my @command = @_;
    my $capture = scratch();
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        chdir $opt{cwd} or POSIX::_exit(126) if defined $opt{cwd};
        while (my ($name, $value) = each %{ $opt{env} // {} }) {
            if (defined $value) { $ENV{$name} = $value } else { delete $ENV{$name} }
        }
        open STDIN, '<', $opt{stdin} // '/dev/null' or POSIX::_exit(126);
        open STDOUT, '>', $opt{stdout} // "$capture/out" or POSIX::_exit(126);
        open STDERR, '>', "$capture/err" or POSIX::_exit(126);
        { exec { $command[0] } @command }
        POSIX::_exit(127);
    }
    waitpid $pid, 0;
    return { status => $? >> 8, signal => $? & 127, out => -e "$capture/out" ? slurp("$capture/out") : '',
             err => slurp("$capture/err") };
}

# --- broken input
# Broken copies of a file, the same on every run, for the broken-input harness (t/) and
# bertree's comparison of its two printers.
push @EXPORT_OK, qw(cuts flips junk);

# [label, prefix] for every prefix whose length is a multiple of $step (10 unless given),
# the empty one first.
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
sub junk {
    my ($length, $seed) = @_;
    my $next = _generator($seed);
    return join '', map { chr(($next->() >> 7) & 0xFF) } 1 .. $length;
}

# --- measdoc
# Items, cycles and messages through measdoc's host functions (the test loads the module), the
# check that every worker count converts alike, and the results kept under measdoc/t/expected.
push @EXPORT_OK, my @measdoc = qw(variant default_threads set_item set_items drain_warnings cycle converted
    write_file worked_example expected);
$PmTest::EXPORT_TAGS{measdoc} = \@measdoc;

# 'threads' or 'nothreads': the library variant the loaded module was built with.
sub variant { $ENV{MEASDOC_VARIANT} // 'threads' }

sub default_threads { variant() eq 'threads' ? '4' : '0' }

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

sub drain_warnings { my @warnings; while (defined(my $w = measdoc::measdoc_warning())) { push @warnings, $w } \@warnings }

# One whole cycle on a file: {init, run, error, warnings, data, blocks (measdoc_data put
# together from the blocks fetched one at a time), configuration, deinit}.
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

# The cycle on the file with no workers, and with `differs`: each worker count (0, 1, 4,
# 8) whose blocks fetched one at a time are not its data, or whose start, result code,
# data and warnings (or, when the run fails, its error kind: of several failing sections
# any may fail first) are not those of the cycle without workers.
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
sub write_file {
    my ($name, $content) = @_;
    return spew(($measdoc_scratch //= scratch()) . "/$name", $content);
}

# The small file of the older layout converted where a clean run is all a test needs: a
# header, one data section with one block of one row, and a footer.
sub worked_example {
    return write_file('worked-example.xml', '<?xml version="1.0" encoding="UTF-8"?><mdc><mfh><ffv>1</ffv>'
        . '<sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh><md><neid>'
        . '<nedn>SubNetwork=1,ManagedElement=1</nedn></neid><mi><mts>20050301141500.0+0100</mts><gp>900</gp>'
        . '<mt>attA</mt><mt>attB</mt><mv><moid>ManagedElement=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf>'
        . '</mv></mi></md><mff><ts>20050301141500.0+0100</ts></mff></mdc>');
}

# The value kept in measdoc/t/expected/NAME.json; with MEASDOC_WRITE_EXPECTED set, $got
# is written there first (to renew a file after a change meant to alter results).
sub expected {
    my ($name, $got) = @_;
    require JSON::PP;
    my $json = JSON::PP->new->canonical->pretty;
    my $path = "$source/measdoc/t/expected/$name.json";
    spew($path, $json->encode($got)) if $ENV{MEASDOC_WRITE_EXPECTED} && defined $got;
    return $json->decode(slurp($path));
}

1;
