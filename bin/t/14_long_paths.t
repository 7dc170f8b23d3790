# Long paths: an output directory whose path is long but leaves room for the work
# directory converts every kind (the modules get short paths), a longer one is refused
# with a message, and so is a working directory the system cannot name.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use JSON::PP qw(encode_json);
use Test::More;
use POSIX ();
use Pm2pifTest qw(pm2pif scratch sample spew output_names);

BEGIN { $ENV{TZ} = 'UTC' }

# A directory $levels levels of 200 octets below $dir, made step by step; its path.
sub deep {
    my ($dir, $levels) = @_;
    my $cwd = POSIX::getcwd();
    chdir $dir or die;
    for (1 .. $levels) {
        mkdir 'p' x 200;
        chdir 'p' x 200 or die "chdir: $!";
    }
    chdir $cwd or die;
    return join '/', $dir, ('p' x 200) x $levels;
}

subtest 'output directories with long paths' => sub {
    my $dir = scratch();
    my $out = deep($dir, int((3700 - length $dir) / 201));
    spew("$dir/c.json", encode_json({ alcatel => { blockLayout => sample('alcatel/blocks.cfg') } }));
    my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '-o', "$out/o", sample('ber/meas-utran.ber.gz'),
        sample('alcatel/PMRES011.01a.3.'));
    is($run->{status}, 0, 'a path of ' . length("$out/o") . ' octets takes BER and Alcatel files') or diag $run->{err};
    is(scalar @{ output_names("$out/o") }, 7, '  with all their files');

    my $longer = deep($dir, int((POSIX::PATH_MAX - 150 - length $dir) / 201));
    $run = pm2pif({ cwd => $dir }, '-o', $longer, sample('ber/meas-rnc.ber'));
    is($run->{status}, 2, 'one of ' . length($longer) . ' octets is refused');
    like($run->{err}, qr/^pm2pif: the output directory's path is \d+ octets long: .* at most 3809 are left for it$/m,
        '  saying how long it may be');
};

subtest 'a working directory the system cannot name' => sub {
    my $dir = scratch();
    my $deep = deep($dir, int(POSIX::PATH_MAX / 201) + 1);
    my $cwd = POSIX::getcwd();
    chdir $dir or die;
    chdir $_ or die "chdir: $!" for ('p' x 200) x (int(POSIX::PATH_MAX / 201) + 1);
    my $run = pm2pif(sample('ber/meas-rnc.ber'));
    chdir $cwd or die;
    is($run->{status}, 2, 'refused');
    like($run->{err}, qr/^pm2pif: the working directory has no path the system can give/m, '  with the reason');
};

done_testing;
