# Whole runs: a broken file among good ones, -j, runs into one output directory, signals and
# the work directories of killed runs, long paths, and output that does not arrive.
use strict;
use warnings;
use JSON::PP qw(encode_json);
use POSIX ();
use Test::More;
use Time::HiRes qw(sleep);
use PmBuild ();
use PmTest qw(pm2pif sample spew slurp work_dir layout_config output_files output_names fake_dir summary_of deep_dir);

BEGIN { $ENV{TZ} = 'UTC' }

sub work_dirs { opendir my $dh, $_[0] or return []; [ sort grep { /^\.pm2pif-/ } readdir $dh ] }

# Starts pm2pif in the background, the test doubles first in @INC and moves slowed; its process id.
sub start { pm2pif({ inc => [ fake_dir() ], env => { PERL5OPT => '-MSlowMoves' }, background => 1 }, @_) }

sub wait_for { my ($what) = @_; for (1 .. 200) { return 1 if $what->(); sleep 0.05 } return 0 }

subtest 'a broken file among good ones, then mended' => sub {
    # Cut inside the third block: BerMeas has written two files and half a third.
    my $utran = slurp(sample('ber/meas-utran.ber'));
    my $dir = work_dir('in/1.ber' => \'ber/meas-rnc.ber', 'in/2.ber' => substr($utran, 0, int(length($utran) * 0.6)),
        'in/3.ber' => \'ber/meas-rnc-indefinite.ber');
    my $run = pm2pif({ cwd => $dir }, '-j', 2, 'in');
    is($run->{status}, 1, 'status 1');
    like($run->{err}, qr/^pm2pif: in\/2\.ber: asn1_process\(\) failed \(bermeas\.log\)$/m, 'the message names the broken file');
    unlike($run->{err}, qr/\r/, 'no progress line when standard error is no terminal');
    is(scalar @{ output_names("$dir/out") }, 4, 'the good files are converted, nothing of the broken one');
    is_deeply(work_dirs("$dir/out"), [], 'no work directory is left');
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed)} ], [ 2, 1 ], 'the summary counts both');
    spew("$dir/in/2.ber", $utran);
    is(pm2pif({ cwd => $dir }, 'in')->{status}, 0, 'a rerun converts');
    pm2pif({ cwd => $dir }, '-o', 'complete', 'in');
    is_deeply(output_names("$dir/out"), output_names("$dir/complete"), '  into the names of one complete run');
};

subtest 'the output does not depend on -j' => sub {
    my $dir = work_dir((map { my $n = $_; map { ("in/$_$n.ber" => \"ber/meas-$_.ber") } qw(utran rnc) } 1 .. 5),
        'in/PMRES011.01a.3.' => \'alcatel/PMRES011.01a.3.', 'c.json' => layout_config());
    my %out = map { pm2pif({ cwd => $dir }, '-c', 'c.json', '-j', $_, '-o', "out$_", 'in');
                    ($_ => output_files("$dir/out$_")) } 1, 20;
    is(scalar keys %{ $out{1} }, 5 * 6 + 5 * 2 + 1, 'every block of every file');
    is_deeply($out{20}, $out{1}, 'more processes than files give the same files');
};

subtest 'runs into one output directory' => sub {
    my $dir = work_dir('a/x.ber' => \'ber/meas-rnc.ber', 'b/x.ber' => \'ber/meas-rnc-indefinite.ber', 'c.json' => layout_config(),
        'c2.json' => layout_config(networkId => 'other'), map { ("$_/mdc-bsc.xml" => '<mdc><!--FAKE '
            . encode_json({ data => { 0 => { blockName => 'A', 0 => { pifData => { c => $_ } } } } }) . " --></mdc>\n") } qw(a b));
    is(pm2pif({ inc => [ fake_dir() ], cwd => $dir }, "$_/mdc-bsc.xml", "$_/x.ber")->{status}, 0, "$_ converts")
        for qw(a b a);
    my @names = @{ output_names("$dir/out") };
    is(scalar(grep { /\AA-#-mdc-bsc-#-[0-9a-f]{8}\.0-#-I\.pif\z/ } @names), 2, 'inputs of one name are both kept');
    is(scalar @names, 6, '  BER files of one header too, and a rerun adds nothing');
    my @pids = map { start('-o', "$dir/both", '-j', 2, "$dir/$_/mdc-bsc.xml", "$dir/$_/x.ber") } qw(a b);
    is_deeply([ map { waitpid($_, 0); $? } @pids ], [ 0, 0 ], 'two runs at once convert');
    is_deeply(output_names("$dir/both"), \@names, '  into the same files');

    my $sample = sample('alcatel/PMRES011.01a.3.');
    is(pm2pif({ cwd => $dir }, '-c', 'c.json', '-o', 'alc', $sample)->{status}, 0, 'an Alcatel file converts') for 1, 2;
    my ($name) = @{ output_names("$dir/alc") };
    my $first = slurp("$dir/alc/$name");
    my $run = pm2pif({ cwd => $dir }, '-c', 'c2.json', '-o', 'alc', $sample);
    like($run->{err}, qr/: its output \Q$name\E is in \S+ already, with other content/, 'other content: a duplicate');
    is(slurp("$dir/alc/$name"), $first, '  the first file stays as it was');
};

subtest 'signals' => sub {
    my $dir = work_dir((map { ("in/u$_.ber" => \'ber/meas-utran.ber') } 1 .. 6),
        map { ("$_->[0].xml" => qq{<measCollecFile><!--FAKE {"sleep": $_->[1]} --></measCollecFile>\n}) } [ slow => 20 ], [ slower => 3 ]);
    local $ENV{SLOW_MOVES} = 0.1;
    my $pid = start('-o', "$dir/out", "$dir/in");
    wait_for(sub { -d "$dir/out" && @{ output_names("$dir/out") } >= 2 }) or diag 'no file moved in time';
    kill 'TERM', $pid;
    waitpid $pid, 0;
    is($? >> 8, 128 + 15, 'pm2pif ends with 128 + SIGTERM');
    my $files = @{ output_names("$dir/out") };
    ok($files >= 6 && $files % 6 == 0, "each input's six files or none ($files)");
    is_deeply(work_dirs("$dir/out"), [], 'the work directory is gone');

    local $ENV{SLOW_MOVES} = 0;
    my $live = start('-o', "$dir/w", sample('ber/meas-rnc.ber'), "$dir/slow.xml");
    wait_for(sub { @{ work_dirs("$dir/w") } == 1 && @{ output_names("$dir/w") } }) or diag 'no work directory in time';
    # Its worker outlives it for a while.
    my $killed = start('-o', "$dir/w", "$dir/slower.xml");
    wait_for(sub { @{ work_dirs("$dir/w") } == 2 }) or diag 'no second work directory in time';
    sleep 0.3;
    kill 'KILL', $killed;
    waitpid $killed, 0;
    is(scalar @{ work_dirs("$dir/w") }, 2, 'a killed run leaves its work directory');
    is(pm2pif({ cwd => $dir }, '-o', 'w', sample('ber/meas-utran.ber'))->{status}, 0, 'the next run converts');
    is(scalar @{ work_dirs("$dir/w") }, 1, '  and removes it, not that of the run still going');
    kill 'INT', $live;
    waitpid $live, 0;
    is($? >> 8, 130, 'an interrupted run ends with 128 + SIGINT');
    is_deeply(work_dirs("$dir/w"), [], '  removing its work directory');
    is(scalar @{ output_names("$dir/w") }, 2 + 6, '  what was finished before stays');
};

subtest 'long paths' => sub {
    my $dir = work_dir('c.json' => layout_config());
    my $out = deep_dir(3698) . '/o';
    my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '-o', $out, sample('ber/meas-utran.ber.gz'),
        sample('alcatel/PMRES011.01a.3.'));
    is(scalar @{ output_names($out) }, 7, 'an output path of ' . length($out) . ' octets takes BER and Alcatel files')
        or diag $run->{err};
    my $longer = deep_dir(POSIX::PATH_MAX - 150);
    $run = pm2pif({ cwd => $dir }, '-o', $longer, sample('ber/meas-rnc.ber'));
    is($run->{status}, 2, 'one of ' . length($longer) . ' octets is refused');
    like($run->{err}, qr/^pm2pif: the output directory's path is \d+ octets long: .* at most 3809 are left for it$/m,
        '  saying how long it may be');
    # A working directory deeper than a path can name.
    chdir $dir or die;
    for (0 .. POSIX::PATH_MAX / 200) { mkdir 'p' x 200; chdir 'p' x 200 or die "chdir: $!" }
    $run = pm2pif(sample('ber/meas-rnc.ber'));
    chdir '/' or die;
    like($run->{err}, qr/^pm2pif: the working directory has no path the system can give/m,
        'a working directory the system cannot name is refused');
};

subtest 'output that does not arrive' => sub {
    plan skip_all => 'no /dev/full' unless -c '/dev/full';
    my $dir = work_dir('a.xml' => qq{<measCollecFile><!--FAKE {"data": {"0": {"blockName": "B"}}} --></measCollecFile>\n},
        'logs/' => undef, v => { ber => { ASN1_3GPP_FILENAME_VALIDATION => { A => '^A\d{8}' } }, %{ layout_config(maxRelease => 2) } });
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir, stdout => '/dev/full' }, '--raw-json', 'a.xml');
    is($run->{status}, 1, '--raw-json on a full disk fails');
    like($run->{err}, qr/^pm2pif: a\.xml: cannot print the JSON text: No space left on device$/m, '  naming the file');
    like($run->{err}, qr/: 0 files converted, 1 failed/, '  and counting it');
    for my $option ('--version', '--help') {
        $run = pm2pif({ stdout => '/dev/full' }, $option);
        like($run->{err}, qr/\Apm2pif: cannot write standard output: No space left on device$/m, "$option fails");
        is($run->{status}, 2, '  with status 2');
    }
    symlink '/dev/full', "$dir/logs/$_" or die for qw(bermeas.log radiobin.log);
    $run = pm2pif({ cwd => $dir }, '-c', 'v', '--log-dir', 'logs', sample('ber/meas-rnc.ber'),
        sample('alcatel/PMRES011.01a.3.'));
    like($run->{err}, qr/meas-rnc\.ber: Filename validation failed\. Not compliant with 3GPP specifications$/m,
        'a log that cannot be written: BerMeas\'s reason reaches the message');
    like($run->{err}, qr/PMRES011\.01a\.3\.: radiobin result -2 \(release outside the configured range\): \S.*release/mi,
        '  and radiobin\'s');
    like($run->{err}, qr/meas-rnc\.ber: warning: cannot write \S+bermeas\.log: No space left on device/m,
        '  with a warning that the log lost it');
};

done_testing;
