# A signal never leaves part of an input's output: the files being moved into place are
# all moved before the run ends. A work directory that a killed run left is removed by the
# next run into the output directory, while that of a run still going is left alone.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use Test::More;
use Time::HiRes qw(sleep);
use Pm2pifTest qw(pm2pif scratch sample spew output_names fake_dir build_dir source_dir);

BEGIN { $ENV{TZ} = 'UTC' }

# Starts pm2pif in the background; returns its process id.
sub start {
    my ($dir, @args) = @_;
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        open STDERR, '>>', "$dir/err";
        { exec $^X, '-I' . fake_dir(), '-I' . build_dir() . '/perl/lib', '-MSlowMoves', source_dir() . '/bin/pm2pif', @args }
        POSIX::_exit(127);
    }
    return $pid;
}

sub work_dirs {
    my ($dir) = @_;
    opendir my $dh, $dir or return [];
    return [ sort grep { /^\.pm2pif-/ } readdir $dh ];
}

sub wait_for {
    my ($what) = @_;
    for (1 .. 200) { return 1 if $what->(); sleep 0.05 }
    return 0;
}

subtest 'a signal while files are moved into place' => sub {
    my $dir = scratch();
    mkdir "$dir/in" or die;
    copy(sample('ber/meas-utran.ber'), "$dir/in/u$_.ber") or die for 1 .. 6;
    local $ENV{SLOW_MOVES} = 0.1;
    my $pid = start($dir, '-o', "$dir/out", "$dir/in");
    wait_for(sub { -d "$dir/out" && @{ output_names("$dir/out") } >= 2 }) or diag 'no file moved in time';
    kill 'TERM', $pid;
    waitpid $pid, 0;
    is($? >> 8, 128 + 15, 'pm2pif ends with 128 + SIGTERM');
    my $files = @{ output_names("$dir/out") };
    ok($files >= 6 && $files % 6 == 0, "each input's six files or none ($files)");
    is_deeply(work_dirs("$dir/out"), [], 'the work directory is gone');
};

subtest 'work directories of killed runs' => sub {
    my $dir = scratch();
    spew("$dir/slow.xml", qq{<measCollecFile><!--FAKE {"sleep": 20} --></measCollecFile>\n});
    my $live = start($dir, '-o', "$dir/out", "$dir/slow.xml");
    wait_for(sub { @{ work_dirs("$dir/out") } == 1 }) or diag 'no work directory in time';
    # Its worker outlives it for a while.
    spew("$dir/slower.xml", qq{<measCollecFile><!--FAKE {"sleep": 3} --></measCollecFile>\n});
    my $killed = start($dir, '-o', "$dir/out", "$dir/slower.xml");
    wait_for(sub { @{ work_dirs("$dir/out") } == 2 }) or diag 'no second work directory in time';
    my ($live_dir) = @{ work_dirs("$dir/out") };
    sleep 0.3;
    kill 'KILL', $killed;
    waitpid $killed, 0;
    is(scalar @{ work_dirs("$dir/out") }, 2, 'a killed run leaves its work directory');

    my $run = pm2pif({ cwd => $dir }, '-o', 'out', sample('ber/meas-rnc.ber'));
    is($run->{status}, 0, 'the next run converts') or diag $run->{err};
    my @left = @{ work_dirs("$dir/out") };
    is(scalar @left, 1, 'and removes that of the killed run');
    kill 'INT', $live;
    waitpid $live, 0;
    is($? >> 8, 130, 'while the run still going keeps its own to the end');
    is_deeply(work_dirs("$dir/out"), [], 'which removes it');
};

done_testing;
