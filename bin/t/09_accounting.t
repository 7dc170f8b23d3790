# Every input is accounted for: entries of a walked directory that cannot be looked at
# fail and count, other entries that are no plain files are skipped with a reason;
# nothing goes missing from the summary.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use File::Path qw(make_path);
use Test::More;
use POSIX ();
use Pm2pifTest qw(pm2pif scratch sample spew summary_of);

subtest 'entries that cannot be looked at' => sub {
    my $dir = scratch();
    make_path("$dir/in/deep");
    copy(sample('ber/meas-rnc.ber'), "$dir/in/good.ber") or die;
    symlink 'loop', "$dir/in/loop" or die;
    symlink 'nothing', "$dir/in/dangling" or die;
    POSIX::mkfifo("$dir/in/fifo", 0600) or die "mkfifo: $!";
    # A tree deeper than a path can name.
    my $cwd = POSIX::getcwd();
    chdir "$dir/in/deep" or die;
    for (1 .. 5000 / 200) {
        mkdir 'd' x 200 or die "mkdir: $!";
        chdir 'd' x 200 or die "chdir: $!";
    }
    chdir $cwd or die;
    my $run = pm2pif({ cwd => $dir }, '-v', 'in', 'in/loop');
    is($run->{status}, 1, 'status 1');
    my %line = map { m{^pm2pif: in/(\w+)\S*: (.*)$} ? ($1 => $2) : () } split /\n/, $run->{err};
    is_deeply([ @line{qw(dangling loop fifo)} ], [ 'a symbolic link to nothing', 'a loop of symbolic links',
        'skipped: not a plain file' ], 'links to nothing and loops fail, a FIFO is skipped, each with the reason');
    like($line{deep}, qr/^(?:cannot read its status|cannot read the directory): File name too long$/,
        'so does a path too long for the system');
    is_deeply(summary_of($run->{err}), { converted => 1, failed => 3, skipped => 1, files => 2, lines => 19 },
        'the summary counts every one (the loop named twice once)');
};

subtest 'a directory without search permission' => sub {
    my $dir = scratch();
    my $user = $> == 0 ? 'nobody' : undef;
    plan skip_all => 'no user nobody to leave root for' if $> == 0 && !getpwnam 'nobody';
    chmod 0755, $dir;
    make_path("$dir/in/locked");
    mkdir "$dir/out", 0777 or die;
    chmod 0777, "$dir/out";
    copy(sample('ber/meas-rnc.ber'), "$dir/in/locked/x.ber") or die;
    chmod 0644, "$dir/in/locked/x.ber";
    chmod 0644, "$dir/in/locked";
    my $run = pm2pif({ cwd => $dir, user => $user }, 'in');
    is($run->{status}, 1, 'status 1') or diag $run->{err};
    like($run->{err}, qr{^pm2pif: in/locked/x\.ber: cannot read its status: Permission denied$}m, 'the file it holds fails');
    is(summary_of($run->{err})->{failed}, 1, '  and counts');
};

done_testing;
