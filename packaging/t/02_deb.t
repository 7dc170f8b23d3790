# The Debian package (PM_DEB; `make deb-test` builds one and runs this): its control
# fields, lintian's verdict when lintian is installed, and the unpacked files run as an
# installed tree.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use InstalledTree qw(project_version scratch run check_installed_tree);

my $deb = $ENV{PM_DEB} or plan skip_all => 'no package given (make deb-test builds one and sets PM_DEB)';
ok(-f $deb, "package $deb") or BAIL_OUT('no package');

subtest 'control fields' => sub {
    my $r = run({}, 'dpkg-deb', '--field', $deb, 'Package', 'Version', 'Depends');
    is($r->{status}, 0, 'dpkg-deb --field') or return diag $r->{err};
    my %field = $r->{out} =~ /^(\w+): (.*)$/mg;
    is($field{Package}, 'pmconv', 'Package');
    is($field{Version}, project_version(), 'Version is the project version');
    my %depends = map { /^([\w.+-]+)/ ? ($1 => 1) : () } split /,\s*/, $field{Depends} // '';
    ok($depends{$_}, "depends on $_") for qw(perl libtie-ixhash-perl libpcre2-8-0 libstdc++6 libc6);
    ok(scalar(grep { /^perlapi-/ } keys %depends), 'depends on the Perl ABI');
};

SKIP: {
    my $lintian = run({}, 'sh', '-c', 'command -v lintian');
    skip 'lintian is not installed', 1 unless $lintian->{status} == 0;
    my $r = run({}, 'lintian', '--tag-display-limit', '0', $deb);
    my @errors = $r->{out} =~ /^(E: .*)$/mg;
    is_deeply(\@errors, [], 'lintian reports no errors') or diag $r->{out};
}

my $root = scratch();
my $r = run({}, 'dpkg-deb', '-x', $deb, $root);
is($r->{status}, 0, 'dpkg-deb -x') or diag $r->{err};
check_installed_tree(root => $root, prefix => '/usr');

done_testing;
