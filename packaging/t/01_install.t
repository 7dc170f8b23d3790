# cmake --install from the build tree into scratch roots: with DESTDIR under the configured
# prefix, and under another prefix given at install time, whose module directory pm2pif
# must find by itself. Everything then runs from the installed files.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(build_dir slurp scratch run_command check_installed_tree);

my ($prefix) = slurp(build_dir() . '/CMakeCache.txt') =~ /^CMAKE_INSTALL_PREFIX:\w+=(.*)$/m;
my ($root, $other) = (scratch(), scratch() . '/opt/pmconv');
# cmake is no sanitized program: a sanitizer run-time preloaded into it can hang its
# children, so the installs run without the preload the tests inherit.
for my $install ([$root, $prefix, { DESTDIR => $root }], ['', $other, { DESTDIR => undef }, '--prefix', $other]) {
    my ($top, $at, $env, @prefix) = @$install;
    my $r = run_command({ env => { %$env, LD_PRELOAD => undef } }, 'cmake', '--install', build_dir(), @prefix);
    is($r->{status}, 0, "cmake --install into $top$at") or diag $r->{err};
    check_installed_tree(root => $top, prefix => $at, $top ? () : (inc => 'none'));
}
done_testing;
