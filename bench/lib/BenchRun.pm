package BenchRun;
# Runs benchmark steps and prints their figures. Every step is a separate process, run
# under /usr/bin/time so that its peak resident memory is its own. A step that hosts a
# converter in Perl times its own work (after start-up and loading) and prints
# "BENCH-SECONDS <seconds>" and "BENCH-CPU <seconds>" on standard output; for any other
# command the wall time and the processor time of the process count. Times are medians
# of several runs; memory is the largest peak seen. Processor time beside wall time shows
# how much a busy machine stretched a run: the targets are on wall time.
use strict;
use warnings;
use Exporter 'import';
use File::Temp qw(tempfile);
use POSIX qw(WIFEXITED WEXITSTATUS);
use Time::HiRes qw(time);

our @EXPORT_OK = qw(measure median section step_line ratio_line skip_line summary targets_missed);

my @missed;    # targets not met in this process, for the summary

sub median {
    my @v = sort { $a <=> $b } @_;
    return undef unless @v;
    return @v % 2 ? $v[$#v / 2] : ($v[@v / 2 - 1] + $v[@v / 2]) / 2;
}

# Runs `cmd` (an array reference) `runs` times, or fewer when one run already takes
# longer than `long` seconds (default 10): slow baselines would otherwise eat the time
# the whole benchmark may take. With `capture` standard output is kept for the
# BENCH-SECONDS line and handed to `after`; with `stdout` it is written to that file (a
# converter that writes its result there pays for writing a file, as it would in use);
# otherwise it goes to /dev/null. Dies when
# the command fails (exit status other than 0, or than `status` when given).
# Returns { seconds, cpu, kb, runs, times => [...] }.
sub measure {
    my (%a) = @_;
    my $runs = $a{runs} // 3;
    my $long = $a{long} // 10;
    my (@times, @cpu, $kb);
    for my $n (1 .. $runs) {
        $a{before}->() if $a{before};
        my ($tfh, $tfile) = tempfile('bench-time-XXXXXX', TMPDIR => 1, UNLINK => 1);
        my ($ofh, $ofile) = tempfile('bench-out-XXXXXX', TMPDIR => 1, UNLINK => 1);
        my $t0 = time;
        my $pid = fork // die "fork: $!\n";
        if (!$pid) {
            if ($a{capture}) {
                open STDOUT, '>&', $ofh or die "stdout: $!\n";
            } elsif (defined $a{stdout}) {
                open STDOUT, '>', $a{stdout} or die "$a{stdout}: $!\n";
            } else {
                open STDOUT, '>', '/dev/null' or die "stdout: $!\n";
            }
            exec '/usr/bin/time', '-f', '%M %U %S', '-o', $tfile, '--', @{ $a{cmd} };
            die "exec: $!\n";
        }
        waitpid $pid, 0;
        my $status = $?;
        my $wall = time - $t0;
        my $out = do { local $/; open my $fh, '<', $ofile or die "$ofile: $!\n"; <$fh> } // '';
        my $peak = do { local $/; open my $fh, '<', $tfile or die "$tfile: $!\n"; <$fh> } // '';
        if (!WIFEXITED($status) || WEXITSTATUS($status) != ($a{status} // 0)) {
            die "step '$a{label}' failed (status $status): @{ $a{cmd} }\n$out";
        }
        my ($own) = $out =~ /^BENCH-SECONDS (\S+)$/m;
        my ($own_cpu) = $out =~ /^BENCH-CPU (\S+)$/m;
        die "step '$a{label}' did not report its time\n$out" if $a{capture} && !defined $own;
        push @times, $own // $wall;
        my ($k, $user, $system) = $peak =~ /(\d+) (\S+) (\S+)\s*\z/;
        push @cpu, $own_cpu // (defined $user ? $user + $system : 0);
        $kb = $k if defined $k && (!defined $kb || $k > $kb);
        $a{after}->($out) if $a{after};
        last if $times[-1] > $long;
    }
    return { seconds => median(@times), cpu => median(@cpu), kb => $kb, runs => scalar @times, times => \@times };
}

sub section {
    my ($title) = @_;
    print "\n== $title\n";
    printf "%-50s %9s %9s %9s %9s %5s\n", 'step', 'time s', 'cpu s', 'MB/s', 'peak MB', 'runs';
}

# One step's figures; `mb` is the input size in MB for the throughput.
sub step_line {
    my ($label, $m, $mb) = @_;
    printf "%-50s %9.3f %9.3f %9.1f %9.0f %5d\n", $label, $m->{seconds}, $m->{cpu}, $mb / $m->{seconds},
        ($m->{kb} // 0) / 1024, $m->{runs};
}

sub skip_line {
    my ($label, $why) = @_;
    printf "%-50s %s\n", $label, "skipped: $why";
}

# A ratio with its target: `op` is '<=' (at most) or '>=' (at least). `cpu`, when given,
# is the same ratio on processor time, printed beside it: on a busy machine it tells
# what the wall time cannot (the target stays on wall time).
sub ratio_line {
    my ($label, $value, $op, $target, $cpu) = @_;
    my $met = $op eq '<=' ? $value <= $target : $value >= $target;
    push @missed, $label unless $met;
    printf "%-50s %9.3f   target %s %-7.3g %s%s\n", $label, $value, $op, $target, $met ? 'PASS' : 'MISS',
        defined $cpu ? sprintf('   (processor time %.3f)', $cpu) : '';
    return $met;
}

sub targets_missed { return @missed }

sub summary {
    print "\n", (@missed ? 'targets not met: ' . join('; ', @missed) : 'all targets met'), "\n";
}

1;
