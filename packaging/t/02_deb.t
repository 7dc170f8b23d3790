# The Debian package (PM_DEB; `make deb-test` builds one and runs this): its control
# fields, lintian's verdict when lintian is installed, and the unpacked files run as an
# installed tree.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(project_version scratch run_command check_installed_tree);

my $deb = $ENV{PM_DEB} or plan skip_all => 'no package given (make deb-test builds one and sets PM_DEB)';
my %field = run_command('dpkg-deb', '--field', $deb, 'Package', 'Version', 'Depends')->{out} =~ /^(\w+): (.*)$/mg;
is_deeply([@field{qw(Package Version)}], ['pmconv', project_version()], 'the package and the project version');
my %depends = map { /^([\w.+-]+)/ ? ($1 => 1) : () } split /,\s*/, $field{Depends} // '';
is_deeply([grep { !$depends{$_} } qw(perl libtie-ixhash-perl libpcre2-8-0 libstdc++6 libc6)], [], 'its dependencies');
ok(scalar(grep { /^perlapi-/ } keys %depends), 'depends on the Perl ABI');
SKIP: {
    skip 'lintian is not installed', 1 unless run_command('sh', '-c', 'command -v lintian')->{status} == 0;
    my $out = run_command('lintian', '--tag-display-limit', '0', $deb)->{out};
    is_deeply([$out =~ /^(E: .*)$/mg], [], 'lintian reports no errors');
}
my $root = scratch();
is(run_command('dpkg-deb', '-x', $deb, $root)->{status}, 0, 'dpkg-deb -x');
check_installed_tree(root => $root, prefix => '/usr');
done_testing;
