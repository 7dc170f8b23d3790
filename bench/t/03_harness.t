# The measuring harness: medians, a step's own time against the wall time, output into a
# file, peak memory, fewer runs for slow steps, failing steps, and targets that are not
# met.
use strict;
use warnings;
use FindBin;
use File::Temp qw(tempdir);
use Test::More;

my $src;
BEGIN { $src = $ENV{PM_SOURCE_DIR} // "$FindBin::Bin/../.." }
use lib "$src/bench/lib";
use BenchRun qw(measure median ratio_line targets_missed);

plan skip_all => '/usr/bin/time is installed by bench/install-bench-deps' unless -x '/usr/bin/time';

my $dir = tempdir(CLEANUP => 1);
is(median(3, 1, 2), 2, 'median of an odd count');
is(median(4, 1, 3, 2), 2.5, 'median of an even count');

my $own = measure(label => 'own time', capture => 1, runs => 3,
                  cmd => [ $^X, '-e', 'my $x = "x" x 20_000_000; print "BENCH-SECONDS 0.25\nBENCH-CPU 0.125\n"' ]);
is($own->{seconds}, 0.25, 'a step that reports its time is taken at its word');
is($own->{cpu}, 0.125, 'its processor time too');
is($own->{runs}, 3, 'three runs');
cmp_ok($own->{kb}, '>', 20_000, 'peak memory is the step process\'s own');

my $wall = measure(label => 'wall time', runs => 2, cmd => [ $^X, '-e', 'select undef, undef, undef, 0.2' ]);
cmp_ok($wall->{seconds}, '>=', 0.2, 'otherwise the wall time of the process');
cmp_ok($wall->{cpu}, '<', 0.15, 'and its processor time, which sleeping does not use');

my $out = "$dir/out.txt";
measure(label => 'into a file', runs => 2, stdout => $out, cmd => [ $^X, '-e', 'print "converted\n"' ]);
is(do { open my $fh, '<', $out or die; local $/; <$fh> }, "converted\n", 'standard output into a file, one run\'s worth');

my $slow = measure(label => 'slow', capture => 1, runs => 5, cmd => [ $^X, '-e', 'print "BENCH-SECONDS 30\n"' ]);
is($slow->{runs}, 1, 'a step that takes long runs once');

ok(!eval { measure(label => 'failing', cmd => [ $^X, '-e', 'exit 3' ]); 1 }, 'a failing step stops the benchmark');
like($@, qr/step 'failing' failed/, 'naming the step');
ok(!eval { measure(label => 'silent', capture => 1, cmd => [ $^X, '-e', '1' ]); 1 },
   'a step that should report its time and does not');

{
    open my $lines, '>', \my $printed or die;
    my $stdout = select $lines;
    ok(ratio_line('fast enough', 0.1, '<=', 0.2), 'a met target');
    ok(!ratio_line('too slow', 0.3, '<=', 0.2), 'a target not met');
    ok(!ratio_line('too little', 90, '>=', 100, 101), 'an "at least" target not met, whatever processor time says');
    select $stdout;
    like($printed, qr/^fast enough .* PASS\ntoo slow .* MISS\ntoo little .* MISS   \(processor time 101\.000\)\n\z/,
         'each says PASS or MISS, and the ratio on processor time when given');
}
is_deeply([ targets_missed() ], [ 'too slow', 'too little' ], 'targets not met are remembered');

done_testing;
