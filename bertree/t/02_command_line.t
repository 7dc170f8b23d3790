# Usage text, messages and exit statuses; input that is no regular file. The paths that
# hold nothing readable are t/01_bertree.t's.
use strict;
use warnings;
use PmBuild ();
use POSIX qw(mkfifo);
use Test::More;
use PmTest qw(cases source_dir build_dir slurp scratch octet_file bertree run_command);

my $prog = build_dir() . '/bertree/bertree';
my $usage = slurp(source_dir() . '/bertree/t/expected/usage.txt') =~ s/PROGRAM/$prog/r;
my $version = $ENV{PM_PROJECT_VERSION} or die "PM_PROJECT_VERSION is not set (run through ctest)\n";
my ($file, $second) = map { octet_file(pack 'H*', $_) } qw(020105 020106);

my %word = (FILE => $file, SECOND => $second, USAGE => $usage, VERSION => $version);
for (cases('bertree/t/expected/command-lines.txt')) {
    my ($args, @want) = map { s/\b(FILE|SECOND|USAGE|VERSION)\b/$word{$1}/gr } @$_;
    my $r = bertree(split ' ', $args);
    is_deeply([@$r{qw(status out err)}], [@want, ('') x (3 - @want)], "bertree $args");
}

# A FIFO is read as it comes, like a pipe: every octet counts.
my $fifo = scratch() . '/fifo';
mkfifo($fifo, 0600) or die "mkfifo: $!";
my $writer = fork // die "fork: $!";
if ($writer == 0) { open my $fh, '>:raw', $fifo or POSIX::_exit(1); print {$fh} "\x13\x03ABC"; close $fh; POSIX::_exit(0) }
is_deeply([@{ run_command('timeout', '-s', 'KILL', '20', $prog, $fifo) }{qw(status out)}], [0, "PrintableString 'ABC'\n"],
          'a FIFO');
waitpid $writer, 0;
done_testing;
