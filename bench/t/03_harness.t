# The measuring harness: medians, a step's own time against the wall time, output into a
# file, peak memory, fewer runs for slow steps, failing steps, and targets that are not met.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(source_dir scratch slurp);
use lib source_dir() . '/bench/lib';
use BenchRun qw(measure median ratio_line targets_missed);

plan skip_all => '/usr/bin/time is installed by bench/install-bench-deps' unless -x '/usr/bin/time';
is_deeply([ median(3, 1, 2), median(4, 1, 3, 2) ], [ 2, 2.5 ], 'medians of odd and even counts');
my $own = measure(label => 'own', capture => 1, runs => 3,
                  cmd => [ $^X, '-e', 'my $x = "x" x 20_000_000; print "BENCH-SECONDS 0.25\nBENCH-CPU 0.125\n"' ]);
is_deeply([ @$own{qw(seconds cpu runs)} ], [ 0.25, 0.125, 3 ], 'a step that reports its times is taken at its word');
cmp_ok($own->{kb}, '>', 20_000, 'peak memory is the step process\'s own');
my $wall = measure(label => 'wall', runs => 2, cmd => [ $^X, '-e', 'select undef, undef, undef, 0.2' ]);
ok($wall->{seconds} >= 0.2 && $wall->{cpu} < 0.15, 'otherwise the wall and processor time of the process');
my $out = scratch() . '/out.txt';
measure(label => 'into a file', runs => 2, stdout => $out, cmd => [ $^X, '-e', 'print "converted\n"' ]);
is(slurp($out), "converted\n", 'standard output into a file, one run\'s worth');
is(measure(label => 'slow', capture => 1, runs => 5, cmd => [ $^X, '-e', 'print "BENCH-SECONDS 30\n"' ])->{runs}, 1,
   'a step that takes long runs once');
for my $bad ([ failing => 0, 'exit 3' ], [ silent => 1, '1' ]) {
    ok(!eval { measure(label => $bad->[0], capture => $bad->[1], cmd => [ $^X, '-e', $bad->[2] ]); 1 }
       && $@ =~ /step '$bad->[0]'/, "a $bad->[0] step stops the benchmark, naming the step");
}
open my $lines, '>', \my $printed or die;
my $stdout = select $lines;
my @met = (ratio_line('fast enough', 0.1, '<=', 0.2), ratio_line('too slow', 0.3, '<=', 0.2),
           ratio_line('too little', 90, '>=', 100, 101));
select $stdout;
is_deeply([ map { !!$_ } @met ], [ 1, '', '' ], 'a met target; an "at least" target missed whatever processor time says');
like($printed, qr/^fast enough .* PASS\ntoo slow .* MISS\ntoo little .* MISS   \(processor time 101\.000\)\n\z/,
     'each says PASS or MISS, and the ratio on processor time when given');
is_deeply([ targets_missed() ], [ 'too slow', 'too little' ], 'targets not met are remembered');
done_testing;
