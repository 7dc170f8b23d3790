package BrokenInput;
# Broken inputs for the corpus tests, made at test time from the bundled samples: prefixes
# cut at every tenth octet, copies with bits flipped at places drawn from a fixed seed,
# junk, and the paths that are no readable file (empty, missing, a directory, a file whose
# reads fail). Also the guard every conversion runs under: a hang ends the test process.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use Cwd qw(getcwd);
use File::Basename qw(basename);
use File::Temp qw(tempdir);

our @EXPORT_OK = qw(cuts flips junk read_file write_file scratch odd_paths guarded time_limit source_dir sanitized
    check_leaks_at_exit open_descriptors);

# Seconds one call may take before the test process is killed as hung. Sanitizer builds
# run several times slower.
sub time_limit { $ENV{PM_SANITIZED} ? 120 : 30 }

sub source_dir { $ENV{PM_SOURCE_DIR} // die "PM_SOURCE_DIR is not set (run through ctest)\n" }
sub sanitized  { $ENV{PM_SANITIZED} // '' }

my $scratch;
sub scratch { $scratch //= tempdir('broken_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

sub read_file {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!\n";
    local $/;
    return scalar <$fh>;
}

sub write_file {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!\n";
    print {$fh} $octets;
    close $fh or die "$path: $!\n";
    return $path;
}

# [label, prefix] for every prefix whose length is a multiple of $step, the empty one first.
sub cuts {
    my ($octets, $step) = @_;
    $step //= 10;
    my @out;
    for (my $n = 0; $n < length $octets; $n += $step) {
        push @out, ["cut at $n", substr($octets, 0, $n)];
    }
    return @out;
}

# A small generator of its own, so that the same seed gives the same variants whatever
# the interpreter's rand does.
sub _generator {
    my ($seed) = @_;
    my $state = ($seed * 2654435761 + 1) % 4294967296;
    return sub {
        $state = (1103515245 * $state + 12345) % 2147483648;
        return $state;
    };
}

# $count copies, each with one to three bits flipped, as [label, octets].
sub flips {
    my ($octets, $count, $seed) = @_;
    my $next = _generator($seed);
    my $bits = 8 * length $octets;
    my @out;
    for my $i (1 .. $count) {
        my $copy = $octets;
        my @at = map { $next->() % $bits } 1 .. 1 + $next->() % 3;
        vec($copy, $_, 1) ^= 1 for @at;
        push @out, ["bits flipped at " . join(',', @at), $copy];
    }
    return @out;
}

# $length octets of junk.
sub junk {
    my ($length, $seed) = @_;
    my $next = _generator($seed);
    return join '', map { chr(($next->() >> 7) & 0xFF) } 1 .. $length;
}

# [label, path] of paths that hold nothing to convert: an empty file, a missing file, a
# directory, a file that opens but whose reads fail, and (where permissions bind, that is
# not for root) a file that cannot be opened.
sub odd_paths {
    my $dir = scratch();
    my @out = (
        ['an empty file', write_file("$dir/empty", '')],
        ['a missing file', "$dir/no-such-file"],
        ['a directory', $dir],
    );
    # Reading the start of a process's own memory fails (nothing is mapped there).
    push @out, ['a file whose reads fail', '/proc/self/mem'] if -e '/proc/self/mem';
    if ($> != 0) {
        my $locked = write_file("$dir/locked", "locked");
        chmod 0, $locked;
        push @out, ['a file without read permission', $locked];
    }
    return @out;
}

# Runs the code with a watchdog: a call that does not return in time kills the process
# (the default action of SIGALRM), which the harness reports as a failure.
sub guarded {
    my ($code) = @_;
    local $SIG{ALRM} = 'DEFAULT';
    alarm time_limit();
    my @result = $code->();
    alarm 0;
    return wantarray ? @result : $result[0];
}

# Number of file descriptors the process holds.
sub open_descriptors {
    opendir my $dh, '/proc/self/fd' or return -1;
    my $count = () = grep { /^\d+\z/ } readdir $dh;
    return $count - 1;  # the one reading the directory
}

# Call from BEGIN, before the modules load. In an address-sanitizer build the test runs
# again in a fresh interpreter with leak detection on: the harness turns it off, because
# the interpreter leaves its own memory unreleased at exit. Those blocks are suppressed by
# where they were allocated: with three frames kept per allocation, the interpreter's show
# its own code just above the allocator, while the modules' show theirs. A leak found
# makes the test exit non-zero with the report on standard error.
sub check_leaks_at_exit {
    return unless sanitized() eq 'address' && !$ENV{PM_LEAKS_CHECKED};
    my $interpreter = readlink('/proc/self/exe') // $^X;
    # One file per test entry: two entries that run at once must not rewrite each other's.
    my $suppressions = getcwd() . '/lsan-' . join('-', grep { length } basename($0), $ENV{MEASDOC_VARIANT} // '') . '.supp';
    write_file($suppressions, "leak:^$interpreter\$\n");
    $ENV{PM_LEAKS_CHECKED} = 1;
    $ENV{ASAN_OPTIONS} =~ s/detect_leaks=0/detect_leaks=1/;
    $ENV{ASAN_OPTIONS} .= ':malloc_context_size=3';
    $ENV{LSAN_OPTIONS} = "suppressions=$suppressions:print_suppressions=0";
    $ENV{PERL5LIB} = join ':', grep { !ref } @INC;
    exec $^X, $0, @ARGV or die "exec $^X: $!\n";
}

1;
