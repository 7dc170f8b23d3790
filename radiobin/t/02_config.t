# The block-layout reader and checker: clauses, number forms, warnings, failures and the
# log lines they write; what a load leaves in the block table is seen through conversions.
use strict;
use warnings;
use Test::More;
BEGIN { $ENV{TZ} = 'UTC' }
use PmBuild ();
use PmTest qw(cases config_file fresh_log log_messages radiobin_convert);
use AlcatelFile qw(block byte);
use radiobin;

# Loads a layout with the log at a level; returns (result, log messages).
sub load { my $log = fresh_log($_[1]); return (radiobin::config_initialise(config_file($_[0]), 0, 99), log_messages($log)) }

# The PIF sections one block of the given type and data gives, or 'conversion failed'.
sub section_for { my ($rc, undef, $pif) = radiobin_convert({ meas_type => int($_[0] / 10), records => [[ block(@_) ]] });
                  return $rc ? 'conversion failed' : $pif =~ s/\A(?:.*\n){5}//r }

my @lines = ("# traffic counters\n", "   \n", "\n",
    qq{BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END\n});
my ($rc, $msgs) = load(join('', @lines), 8);
is_deeply([$rc, $msgs], [0, ['8:config: ENTERED', (map { "8:config file line : $_" } @lines), '8:config: EXIT success']],
          'a good file, traced line by line; comments and blank lines skipped');

my $ok_block = qq{BLOCK 1 COUNTER := "one" OFFSET := 0 SIZE := 1 END\n};
for my $case (cases('radiobin/t/expected/layouts.txt')) {
    my ($result, $text, $type, $data, $sections, @warnings) = @$case;
    my ($rc, $msgs) = load($text, 7);
    is_deeply([$rc, [grep { !/^[5-8]:(config|record repeat)/ } @$msgs]], [$result, \@warnings], "load: $text");
    is(section_for($type, pack 'H*', $data), $sections, '... and the block it gives') if length $type;
}

($rc, $msgs) = load(qq{BLOCK 4 COUNTER := "a" OFFSET := 0 SIZE := 1 REPEAT_START END\n}
                  . qq{BLOCK 4 COUNTER := "b" OFFSET := 1 SIZE := 1 REPEAT_END := 2 END\n}, 5);
is_deeply([$rc, $msgs], [0, ['5:record repeat START', '5:record repeat END']], 'repeat clauses are traced at level 5');

for my $case (cases('radiobin/t/expected/stopping-lines.txt')) {
    my ($line, $rest) = @$case;
    my ($rc, $msgs) = load($ok_block . $line . $ok_block, 8);
    is_deeply([$rc, @$msgs[-4 .. -1]], [2, "8:config file line : $line", "3:WARNING : Ignoring unknown clause:$rest",
              '8:config: EXIT error', "1:ERROR: Configuration file read error.\n"], "load fails and stops at: $line");
}

is_deeply([(load(qq{BLOCK 11 COUNTER := "old" OFFSET := 0 SIZE := 1 END\n}, 1))[0], section_for(11, byte(1)),
           (load($ok_block, 1))[0], section_for(11, byte(1))], [0, "##START|TYPE_11\nOLD\n1\n##END|TYPE_11\n", 0, 'conversion failed'],
          'a load makes block 11 known; the next load replaces the old blocks');

done_testing;
