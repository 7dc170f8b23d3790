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

1;
