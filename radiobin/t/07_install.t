# After installation the module still finds libzelpaal.so beside its own .so: install the
# build into a scratch root and load the module from there in a fresh interpreter.
use strict;
use warnings;
use Config;
use File::Temp qw(tempdir);
use Test::More;

my $build = $ENV{PM_BUILD_DIR};
plan skip_all => 'needs PM_BUILD_DIR (run through ctest)' unless $build && -e "$build/cmake_install.cmake";
my $cmake = `sh -c 'command -v cmake'`;
chomp $cmake;
plan skip_all => 'cmake not found' unless $cmake;

my $root = tempdir(CLEANUP => 1);
local $ENV{DESTDIR} = $root;
my $log = `"$cmake" --install "$build" --component Unspecified 2>&1`;
is($?, 0, 'cmake --install into a scratch root') or diag $log;

my $arch = "$root$Config{installsitearch}";
ok(-e "$arch/auto/radiobin/radiobin.so", 'module installed');
ok(-e "$arch/auto/radiobin/libzelpaal.so", 'zelpaal installed beside it');
my $out = `"$^X" -I"$arch" -Mradiobin -e 'print \$INC{"radiobin.pm"}, " ", radiobin::constant("x", 0)' 2>&1`;
is($out, "$arch/radiobin.pm 0", 'the installed module loads and runs without the build tree');

done_testing;
