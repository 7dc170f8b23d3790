package BertreeRun;
# Runs the built bertree as a user would and captures what it says.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use File::Temp qw(tempfile);
use IPC::Open3 qw(open3);
use Symbol qw(gensym);

our @EXPORT_OK = qw(bertree_path run_bertree ber_file);

sub bertree_path {
    my $build = $ENV{PM_BUILD_DIR} or die "PM_BUILD_DIR is not set (run through ctest)\n";
    return "$build/bertree/bertree";
}

# A temporary file holding the given octets; removed when the test ends.
sub ber_file {
    my ($octets) = @_;
    my ($fh, $path) = tempfile('bertree_XXXXXX', TMPDIR => 1, UNLINK => 1);
    binmode $fh;
    print {$fh} $octets;
    close $fh or die "close: $!";
    return $path;
}

# Returns (exit status, stdout, stderr).
sub run_bertree {
    my (@args) = @_;
    my $err = gensym;
    my $pid = open3(my $in, my $out, $err, bertree_path(), @args);
    close $in;
    binmode $out;
    binmode $err;
    my $stdout = do { local $/; <$out> } // '';
    my $stderr = do { local $/; <$err> } // '';
    waitpid $pid, 0;
    return ($? >> 8, $stdout, $stderr);
}

1;
