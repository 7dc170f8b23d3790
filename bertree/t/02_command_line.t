# Usage text, messages and exit statuses.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Temp qw(tempdir);
use IPC::Open3 qw(open3);
use POSIX qw(mkfifo);
use Test::More;
use BertreeRun qw(run_bertree ber_file bertree_path);

my $prog = bertree_path();
my $usage = "Usage: $prog [OPTION]... FILENAME\n"
  . "Dump contents of ASN.1 input file.\n\n"
  . "  -i  Indent based on the level within the hierarchy\n"
  . "      --help     display this help and exit\n"
  . "      --version  output version information and exit\n"
  . "\nAn element whose content the end of the file cuts short shows the octets\n"
  . "read, then the line \"[cut: READ of LENGTH octets]\".\n";

my $version = $ENV{PM_PROJECT_VERSION} or die "PM_PROJECT_VERSION is not set (run through ctest)\n";
my ($status, $out, $err);
for my $case (['--help', $usage], ['--version', "bertree $version\n"], ['-i --version', "bertree $version\n"]) {
    my ($args, $text) = @$case;
    is_deeply([run_bertree(split / /, $args)], [0, $text, ''], "$args: exit 0, text on stdout");
}

($status, $out, $err) = run_bertree();
is($status, 1, 'no file name: exit 1');
is($out, $usage, 'no file name: usage on stdout');
is($err, '', 'no file name: nothing on stderr');

($status, $out, $err) = run_bertree('-i');
is($status, 1, '-i alone: exit 1');
is($out, $usage, '-i alone: usage');

my $file = ber_file(pack 'H*', '020105');
($status, $out, $err) = run_bertree('-x', $file);
is($status, 1, 'unknown option: exit 1');
is($out, $usage, 'unknown option: usage');
is($err, '', 'unknown option: no other complaint');

($status, $out, $err) = run_bertree('/nonexistent/input.ber');
is($status, 1, 'missing file: exit 1');
is($out, '', 'missing file: nothing on stdout');
is($err, "Cannot open input file: /nonexistent/input.ber\n", 'missing file: message');

my $dir = tempdir(CLEANUP => 1);
($status, $out, $err) = run_bertree($dir);
is($status, 1, 'directory: exit 1');
is($err, "Cannot open input file: $dir\n", 'directory: cannot be read as an input file');

SKIP: {
    # Opens, but reading the start of a process's memory fails.
    skip 'no /proc/self/mem', 3 unless -e '/proc/self/mem';
    ($status, $out, $err) = run_bertree('/proc/self/mem');
    is($status, 1, 'file whose reads fail: exit 1');
    is($out, '', 'file whose reads fail: no tree');
    is($err, "Cannot open input file: /proc/self/mem\n", 'file whose reads fail: message');
}

SKIP: {
    skip 'root reads any file', 3 if $> == 0;
    my $locked = ber_file(pack 'H*', '020105');
    chmod 0, $locked;
    ($status, $out, $err) = run_bertree($locked);
    is($status, 1, 'unreadable file: exit 1');
    is($out, '', 'unreadable file: nothing on stdout');
    is($err, "Cannot open input file: $locked\n", 'unreadable file: message');
}

subtest 'a pipe and a FIFO keep every octet' => sub {
    my $octets = "\x13\x03ABC";
    # A second open of a FIFO whose writer is gone waits for ever: hence the time limit.
    my $run = sub {
        my ($path, $input) = @_;
        my $pid = open3(my $in, my $out, undef, 'timeout', '-s', 'KILL', '20', $prog, $path);
        binmode $in;
        print {$in} $input if defined $input;
        close $in;
        my $printed = do { local $/; <$out> };
        waitpid $pid, 0;
        return [$? >> 8, $printed];
    };
    is_deeply($run->('/dev/stdin', $octets), [0, "PrintableString 'ABC'\n"], 'standard input from a pipe');

    my $fifo = "$dir/fifo";
    mkfifo($fifo, 0600) or die "mkfifo: $!";
    my $writer = fork // die "fork: $!";
    if ($writer == 0) {
        open my $fh, '>:raw', $fifo or POSIX::_exit(1);
        print {$fh} $octets;
        close $fh;
        POSIX::_exit(0);
    }
    my $read = $run->($fifo);
    waitpid $writer, 0;
    is_deeply($read, [0, "PrintableString 'ABC'\n"], 'a FIFO');
};

my $second = ber_file(pack 'H*', '020106');
($status, $out) = run_bertree($file, $second);
is($status, 0, 'two files: exit 0');
is($out, "Integer\n05\n", 'two files: only the first is read');

($status, $out) = run_bertree($file, '-i');
is($out, "Integer\n  05\n", 'options after the file name are still options');

done_testing;
