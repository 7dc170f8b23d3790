# bertree over broken input: every sample cut at every tenth octet and with bits flipped,
# nesting far deeper than any measurement file, lengths that claim more than the file
# holds, a megabyte of text, junk, and paths that hold nothing readable. The tool prints
# what it could decode and exits 0, or says why it cannot read the file and exits 1;
# it never crashes or hangs.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use BrokenInput qw(cuts flips junk read_file write_file scratch odd_paths source_dir time_limit);

my $build = $ENV{PM_BUILD_DIR} or die "PM_BUILD_DIR is not set (run through ctest)\n";
my $bertree = "$build/bertree/bertree";

my $dir = scratch();

# (exit status, signal, stdout, stderr) of one run, under a time limit (a run that is
# killed by it exits 137). Both outputs go to files: either may be large. A leak found
# in a sanitizer build is a non-zero exit with the report on standard error.
sub run_bertree {
    my (@args) = @_;
    my ($out, $err) = ("$dir/stdout", "$dir/stderr");
    my $pid = fork // die "fork: $!\n";
    if ($pid == 0) {
        open STDOUT, '>', $out or die "$out: $!\n";
        open STDERR, '>', $err or die "$err: $!\n";
        # In a sanitizer build the tool carries its own run-time: leaks are its own to
        # report, unlike the interpreter's.
        delete $ENV{LD_PRELOAD};
        $ENV{ASAN_OPTIONS} =~ s/detect_leaks=0/detect_leaks=1/ if defined $ENV{ASAN_OPTIONS};
        exec 'timeout', '-s', 'KILL', time_limit(), $bertree, @args or die "exec: $!\n";
    }
    waitpid $pid, 0;
    return ($? >> 8, $? & 127, read_file($out), read_file($err));
}

my $n = 0;

# One decodable input: printed, exit 0, nothing on standard error.
sub prints_ok {
    my ($label, $octets) = @_;
    my $path = write_file("$dir/input-" . ++$n, $octets);
    my ($status, $signal, $stdout, $stderr) = run_bertree($n % 2 ? ('-i', $path) : ($path));
    return 1 if $status == 0 && $signal == 0 && length $stdout && $stderr eq '';
    diag "$label: exit $status, signal $signal, stderr: $stderr";
    return 0;
}

my @samples = map { source_dir() . "/samples/ber/$_" } qw(meas-rnc.ber meas-rnc-indefinite.ber meas-utran.ber);

subtest 'cut at every tenth octet' => sub {
    for my $sample (@samples) {
        my @bad = grep { !prints_ok(@$_) } cuts(read_file($sample));
        is(scalar @bad, 0, "$sample: every cut prints what it decoded");
    }
};

subtest 'bits flipped' => sub {
    my $seed = 1;
    for my $sample (@samples) {
        my @bad = grep { !prints_ok(@$_) } flips(read_file($sample), 40, $seed++);
        is(scalar @bad, 0, "$sample: every copy prints");
    }
};

subtest 'nesting, lengths, sizes and junk' => sub {
    my %input = (
        'definite nesting 100000 deep' => "\x30\x84\x7f\xff\xff\xff" x 100000,
        'indefinite nesting 100000 deep' => "\x30\x80" x 100000,
        'a length of four octets all set' => "\x04\x84\xff\xff\xff\xff" . 'abc',
        'a length of five significant octets' => "\x04\x85\x01\x00\x00\x00\x00" . 'abc',
        'a length of 127 octets' => "\x04\xff" . "\xff" x 127,
        'a constructed element longer than the file' => "\x30\x84\x7f\xff\xff\xff\x02\x01\x01",
        'a megabyte of printable text' => "\x13\x83\x10\x00\x00" . 'x' x 0x100000,
        'a megabyte of octets' => "\x04\x83\x10\x00\x00" . "\x01" x 0x100000,
        'a tag number of five octets' => "\x1f\x81\x81\x81\x81\x01\x01\x00",
        'junk' => junk(65536, 7),
    );
    for my $label (sort keys %input) {
        ok(prints_ok($label, $input{$label}), $label);
    }
    my ($status, $signal, $stdout) = run_bertree('-i', write_file("$dir/deep", "\x30\x80" x 100000));
    my @lines = split /\n/, $stdout;
    cmp_ok(scalar @lines, '<', 1000, 'the deep file stops at the decoder\'s depth limit');
};

subtest 'paths that hold nothing readable' => sub {
    for my $case (odd_paths()) {
        my ($label, $path) = @$case;
        my ($status, $signal, $stdout, $stderr) = run_bertree($path);
        if ($label eq 'an empty file') {
            is_deeply([$status, $signal, $stdout, $stderr], [0, 0, "RESERVEDBER\n\n", ''], "$label: a fresh record");
        } else {
            is_deeply([$status, $signal, $stdout, $stderr], [1, 0, '', "Cannot open input file: $path\n"],
                      "$label: cannot open, exit 1");
        }
    }
    my $long = "$dir/" . ('n' x 100_000);
    my ($status, $signal, $stdout, $stderr) = run_bertree($long);
    is_deeply([$status, $signal, $stderr], [1, 0, "Cannot open input file: $long\n"], 'a name of 100000 characters');
};

done_testing;
