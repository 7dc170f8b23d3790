package Pm2pifTest;
# Shared helpers of the pm2pif tests: run the command as a user does (its own perl process
# against the build tree's modules), scratch directories, samples, and the output read back.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use File::Basename qw(dirname);
use File::Spec;
use File::Temp qw(tempdir);
use IO::Compress::Gzip qw(gzip $GzipError);
use POSIX ();

our @EXPORT_OK = qw(pm2pif scratch sample slurp spew gzip_file output_files output_names have_measdoc
    source_dir build_dir fake_dir summary_of);

my $source = File::Spec->rel2abs($ENV{PM_SOURCE_DIR} // dirname(__FILE__) . '/../../..');
my $build  = File::Spec->rel2abs($ENV{PM_BUILD_DIR} // "$source/build");

sub source_dir { $source }
sub build_dir  { $build }
sub sample     { "$source/samples/$_[0]" }
sub fake_dir   { File::Spec->rel2abs(dirname(__FILE__) . '/../fake') }

# A fresh directory, removed at exit.
sub scratch { tempdir('pm2pif_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

# Runs pm2pif with @args; a leading hash reference may give cwd (the working directory),
# inc (module directories searched before the build tree's), lib (the build tree's module
# directory as given to perl), stdin (a file to read standard input from), stdout (a file
# to take standard output instead of the capture) and user (a user to run as, when run as
# root). Returns { status, out, err }.
sub pm2pif {
    my %opt = ref $_[0] eq 'HASH' ? %{ shift @_ } : ();
    my @args = @_;
    my $capture = scratch();
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        chdir $opt{cwd} or POSIX::_exit(126) if $opt{cwd};
        open STDIN, '<', $opt{stdin} // '/dev/null';
        open STDOUT, '>', $opt{stdout} // "$capture/out";
        open STDERR, '>', "$capture/err";
        if (defined $opt{user} && $> == 0) {
            my (undef, undef, $uid, $gid) = getpwnam $opt{user} or POSIX::_exit(125);
            POSIX::setgid($gid) && POSIX::setuid($uid) or POSIX::_exit(125);
        }
        my $lib = $opt{lib} // "$build/perl/lib";
        { exec $^X, (map {"-I$_"} @{ $opt{inc} // [] }, $lib), "$source/bin/pm2pif", @args }
        POSIX::_exit(127);
    }
    waitpid $pid, 0;
    return { status => $? >> 8, signal => $? & 127, out => -e "$capture/out" ? slurp("$capture/out") : '',
             err => slurp("$capture/err") };
}

sub slurp {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!";
    local $/;
    return scalar <$fh>;
}

sub spew {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $octets;
    close $fh or die "$path: $!";
    return $path;
}

sub gzip_file {
    my ($from, $to) = @_;
    gzip($from => $to, Minimal => 1) or die "gzip $from: $GzipError";
    return $to;
}

# The PIF files of a directory: name => content. The mark of the input in the names of
# XML and BER files (8 hex digits and a dot before the file's number) is left out while
# the names stay apart: most tests convert one input per directory.
sub output_files {
    my ($dir) = @_;
    opendir my $dh, $dir or die "$dir: $!";
    my %files = map { $_ => slurp("$dir/$_") } grep { /\.(?:pif|pt)\z/ } readdir $dh;
    my %short = map { (s/-#-[0-9a-f]{8}\.(\d+)-#-I\.pif\z/-#-$1-#-I.pif/r) => $files{$_} } keys %files;
    return keys %short == keys %files ? \%short : \%files;
}

# The names of the PIF files of a directory, as written, sorted.
sub output_names {
    my ($dir) = @_;
    opendir my $dh, $dir or die "$dir: $!";
    return [ sort grep { /\.(?:pif|pt)\z/ } readdir $dh ];
}

# The counts of pm2pif's summary line: converted, failed, skipped, files, lines.
sub summary_of {
    my ($err) = @_;
    my ($converted, $failed, $skipped, $files, $lines) =
        $err =~ /(\d+) files? converted.*?, (\d+) failed, (\d+) skipped; (\d+) PIF files?, (\d+) lines?/
        or return undef;
    return { converted => $converted, failed => $failed, skipped => $skipped, files => $files, lines => $lines };
}

my $measdoc;
sub have_measdoc {
    # Without a shell: under a sanitizer the preloaded run-time does not suit /bin/sh.
    $measdoc //= do {
        my $pid = fork // die "fork: $!";
        if ($pid == 0) {
            open STDERR, '>', '/dev/null';
            { exec $^X, "-I$build/perl/lib", '-e', 'require measdoc' }
            POSIX::_exit(127);
        }
        waitpid $pid, 0;
        $? == 0 ? 1 : 0;
    };
    return $measdoc;
}

1;
