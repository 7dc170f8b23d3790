# Whole runs: a broken file among good ones, the same output whatever -j says, and an
# interrupted run that leaves nothing half-made.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use JSON::PP qw(encode_json);
use Test::More;
use Time::HiRes qw(sleep);
use Pm2pifTest qw(pm2pif scratch sample spew slurp output_files output_names fake_dir summary_of build_dir source_dir);

BEGIN { $ENV{TZ} = 'UTC' }

sub leftovers {
    my ($dir) = @_;
    opendir my $dh, $dir or die "$dir: $!";
    return [ grep { /^\.pm2pif/ } readdir $dh ];
}

subtest 'a broken file among good ones' => sub {
    my $dir = scratch();
    mkdir "$dir/in" or die;
    copy(sample('ber/meas-rnc.ber'), "$dir/in/1.ber") or die;
    # Cut inside the third block: BerMeas has written two files and half a third.
    my $utran = slurp(sample('ber/meas-utran.ber'));
    spew("$dir/in/2.ber", substr($utran, 0, int(length($utran) * 0.6)));
    copy(sample('ber/meas-rnc-indefinite.ber'), "$dir/in/3.ber") or die;
    my $run = pm2pif({ cwd => $dir }, '-j', 2, 'in');
    is($run->{status}, 1, 'status 1');
    like($run->{err}, qr/^pm2pif: in\/2\.ber: asn1_process\(\) failed \(bermeas\.log\)$/m, 'the message names the broken file');
    is(scalar keys %{ output_files("$dir/out") }, 4, 'the good files are converted');
    is_deeply(leftovers("$dir/out"), [], 'nothing of the broken file is left');
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed)} ], [ 2, 1 ], 'the summary counts both');

    # Mended, the broken file converts into the same directory: the output is what one
    # complete run gives, names and all, with nothing twice.
    spew("$dir/in/2.ber", $utran);
    $run = pm2pif({ cwd => $dir }, 'in');
    is($run->{status}, 0, 'a rerun converts') or diag $run->{err};
    pm2pif({ cwd => $dir }, '-o', 'complete', 'in');
    is_deeply(output_names("$dir/out"), output_names("$dir/complete"), '  into the names of a complete run');
    is(scalar @{ output_names("$dir/out") }, 10, '  ten files, as the three inputs give');
};

subtest 'the output does not depend on -j' => sub {
    my $dir = scratch();
    mkdir "$dir/in" or die;
    for my $n (1 .. 5) {
        copy(sample('ber/meas-utran.ber'), "$dir/in/u$n.ber") or die;
        copy(sample('ber/meas-rnc.ber'), "$dir/in/r$n.ber") or die;
    }
    copy(sample('alcatel/PMRES011.01a.3.'), "$dir/in/PMRES011.01a.3.") or die;
    spew("$dir/c.json", encode_json({ alcatel => { blockLayout => sample('alcatel/blocks.cfg') } }));
    my %out;
    for my $jobs (1, 3, 20) {
        my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '-j', $jobs, '-o', "out$jobs", 'in');
        is($run->{status}, 0, "-j $jobs converts") or diag $run->{err};
        $out{$jobs} = output_files("$dir/out$jobs");
    }
    is(scalar keys %{ $out{1} }, 5 * 6 + 5 * 2 + 1, 'every block of every file');
    is_deeply($out{3}, $out{1}, 'three processes give the same files');
    is_deeply($out{20}, $out{1}, 'and more processes than files too');
};

subtest 'progress only on a terminal' => sub {
    my $script = (grep { -x } map {"$_/script"} split /:/, $ENV{PATH})[0];
    plan skip_all => 'no script(1) to give pm2pif a terminal' unless $script;
    my $dir = scratch();
    my @files = map { sample("ber/$_") } qw(meas-rnc.ber meas-utran.ber);
    # script(1) and its shell run without a sanitizer's preloaded run-time; only perl gets it.
    local $ENV{LD_PRELOAD} = $ENV{LD_PRELOAD};
    my $preload = delete $ENV{LD_PRELOAD};
    # A wide terminal: a long sample path must not be cut from the progress line.
    my $command = join ' ', map { "'$_'" } 'env', 'COLUMNS=1000', (defined $preload ? "LD_PRELOAD=$preload" : ()), $^X,
        '-I' . build_dir() . '/perl/lib', source_dir() . '/bin/pm2pif', '-o', "$dir/tty", @files;
    my $seen = `'$script' -qec "$command" /dev/null`;
    like($seen, qr/\r\e\[Kpm2pif: \[1\/2\] 1 converted, 0 failed  \S*meas-rnc\.ber\r\e\[Kpm2pif: \[2\/2\]/,
        'a terminal sees one line rewritten per file');
    like($seen, qr/\r\e\[Kpm2pif: 2 files converted/, 'cleared before the summary');
    $ENV{LD_PRELOAD} = $preload if defined $preload;
    unlike(pm2pif({ cwd => $dir }, @files)->{err}, qr/\r/, 'a file or pipe does not');
};

subtest 'an interrupted run' => sub {
    my $dir = scratch();
    spew("$dir/slow.xml", qq{<measCollecFile><!--FAKE {"sleep": 30} --></measCollecFile>\n});
    my $pid = fork // die;
    if ($pid == 0) {
        open STDERR, '>', "$dir/err";
        exec $^X, '-I' . fake_dir(), '-I' . ($ENV{PM_BUILD_DIR} // 'build') . '/perl/lib',
            ($ENV{PM_SOURCE_DIR} // "$FindBin::Bin/../..") . '/bin/pm2pif', '-o', "$dir/out", sample('ber/meas-rnc.ber'),
            "$dir/slow.xml";
    }
    # Wait until the BER file is in place and the XML file is being converted.
    for (1 .. 100) {
        last if -d "$dir/out" && keys %{ output_files("$dir/out") } && @{ leftovers("$dir/out") };
        sleep 0.1;
    }
    kill 'INT', $pid;
    waitpid $pid, 0;
    is($? >> 8, 130, 'pm2pif ends with 128 + SIGINT');
    is_deeply(leftovers("$dir/out"), [], 'its work directory is gone')
        or diag `ls -laR $dir/out; cat $dir/err`;
    is(scalar keys %{ output_files("$dir/out") }, 2, 'what was finished before stays');
};

done_testing;
