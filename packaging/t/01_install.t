# cmake --install from the build tree into scratch roots: with DESTDIR under the
# configured prefix, and under another prefix given at install time, whose module
# directory pm2pif must find by itself. Everything then runs from the installed files.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use InstalledTree qw(build_dir scratch run check_installed_tree);

my $build = build_dir() or plan skip_all => 'no configured build tree (set PM_BUILD_DIR)';
open my $cache, '<', "$build/CMakeCache.txt" or die "$build/CMakeCache.txt: $!";
my ($prefix) = map { /^CMAKE_INSTALL_PREFIX:\w+=(.*)$/ ? $1 : () } <$cache>;

# cmake is no sanitized program: a sanitizer runtime preloaded into it (make tsan) can hang
# its child processes, so the installs run without the preload the tests inherit.
my $root = scratch();
subtest "DESTDIR under the prefix $prefix" => sub {
    my $r = run({ env => { DESTDIR => $root, LD_PRELOAD => undef } }, 'cmake', '--install', $build);
    is($r->{status}, 0, 'cmake --install') or return diag $r->{err};
    check_installed_tree(root => $root, prefix => $prefix);
};

my $other = scratch() . '/opt/pmconv';
subtest 'another prefix, no PERL5LIB' => sub {
    my $r = run({ env => { DESTDIR => undef, LD_PRELOAD => undef } }, 'cmake', '--install', $build, '--prefix', $other);
    is($r->{status}, 0, 'cmake --install --prefix') or return diag $r->{err};
    check_installed_tree(root => '', prefix => $other, inc => 'none');
};

done_testing;
