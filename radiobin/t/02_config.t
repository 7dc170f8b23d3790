# The block-layout reader and checker: clauses, number forms, warnings, failures and the
# log lines they write; what a load leaves in the block table is seen through conversions.
use strict;
use warnings;
use Test::More;
BEGIN { $ENV{TZ} = 'UTC' }
use PmBuild ();
use PmTest qw(config_file fresh_log log_messages radiobin_convert);
use AlcatelFile qw(block le16 be16 byte);
use radiobin;

# Loads a layout with the log at a level; returns (result, log messages).
sub load {
    my ($text, $level) = @_;
    my $log = fresh_log($level);
    return (radiobin::config_initialise(config_file($text), 0, 99), log_messages($log));
}

# The PIF sections one block of the given type and data gives, or 'conversion failed'.
sub section_for {
    my ($type, @data) = @_;
    my ($rc, undef, $pif) = radiobin_convert({ meas_type => int($type / 10), records => [[ block($type, @data) ]] });
    return $rc ? 'conversion failed' : $pif =~ s/\A(?:.*\n){5}//r;
}

my ($rc, $msgs) = load("# traffic counters\n   \n\n"
    . qq{BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END\n}, 8);
is_deeply([$rc, $msgs], [0, ['8:config: ENTERED', "8:config file line : # traffic counters\n", "8:config file line :    \n",
    "8:config file line : \n",
    qq{8:config file line : BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END\n},
    '8:config: EXIT success']], 'a good file, traced line by line; comments and blank lines skipped');
is(section_for(1011, le16(0), le16(0), le16(0x1234)), "##START|TYPE_1011\nTCH_REQ\n4660\n##END|TYPE_1011\n",
   'counter at offset 4, two bytes, name in upper case');

my $ok_block = qq{BLOCK 1 COUNTER := "one" OFFSET := 0 SIZE := 1 END\n};
my $weird = '1:ERROR : Failed to validate configuration';
my $unknown = 'conversion failed';
my @cases = (
    # layout, result, warnings (level 4 and below, and 7), [block type, data, sections] or undef
    [qq{BLOCK 0x1F COUNTER := "a" OFFSET := 0 SIZE := 1 END\nBLOCK #1F COUNTER := "b" OFFSET := 0X1 SIZE := 1 END\n}
     . qq{BLOCK 31 COUNTER := "c" OFFSET := #2 SIZE := 1 END\nBLOCK 031 COUNTER := "d" OFFSET := 03 SIZE := 0x1 END\n},
     0, [], [31, byte(1, 2, 3, 4, 0), "##START|TYPE_31\nD|C|B|A\n4|3|2|1\n##END|TYPE_31\n"]],
    [qq{BLOCK 41 NAME := "Cells" ENDIAN_ORDER := "BIG_ENDIAN_16" COUNTER := "a" OFFSET := 0 SIZE := 2 END\n}
     . qq{BLOCK 41 ENDIAN_ORDER := "LITTLE" COUNTER := "b" OFFSET := 2 SIZE := 2 END\n}, 0,
     ['7:Big endian configuration for block Cells.'], [41, be16(0x0102), be16(0x0304), byte(0),
     "##START|TYPE_41\nB|A\n772|258\n##END|TYPE_41\n"]],
    [qq{BLOCK 52 ENDIAN_ORDER := "BIG" COUNTER := "c" OFFSET := 0 SIZE := 2 END\n}, 0, [],
     [52, byte(1, 2), "##START|TYPE_52\nC\n513\n##END|TYPE_52\n"]],
    (map { [$_->[0] . $ok_block, 0, [$_->[1] . $_->[0]], [2, byte(5), $unknown]] }
     ["FOO 1 2\n", '2:WARNING : Unknown line in config file:'],
     [qq{block 2 COUNTER := "x" OFFSET := 0 SIZE := 1 END\n}, '2:WARNING : Unknown line in config file:'],
     ["BLOCKS 2 END\n", '2:WARNING : Unknown line in config file:'],
     [qq{BLOCK NAME := "x" END\n}, '3:WARNING : Ignoring unknown block number: '],
     (map { [qq{BLOCK 2 COUNTER := "x" $_ END\n}, '2:WARNING : Offset too big in line:'] }
        'OFFSET := 65535 SIZE := 1', 'OFFSET := 70000 SIZE := 1', 'OFFSET := SIZE := 1'),
     (map { [qq{BLOCK 2 COUNTER := "x" $_ END\n}, '2:WARNING : Size too big in line:'] }
        'OFFSET := 0 SIZE := 255', 'SIZE := 1 REPEAT_END := 300')),
    (map { [qq{BLOCK 2 $_->[0] END\n} . $ok_block, 0, ["3:WARNING : Ignoring unknown clause:$_->[1] END\n"],
            [2, byte(5), $unknown]] }
     ['NAME "x"', '"x"'], ['NAME := x', 'x'], ['COUNTER := x', 'x'], ['COUNTER := "x OFFSET := 0', '"x OFFSET := 0'],
     ['COUNTER := "x" OFFSET :=4 SIZE := 1', ':=4 SIZE := 1'], ['COUNTER := "x" OFFSET := 0 SIZE 1', '1'],
     ['ENDIAN_ORDER := BIG', 'BIG'], ['ENDIAN_ORDER "BIG"', '"BIG"'], ['COUNTER := "x" SIZE := 1 REPEAT_END 3', '3']),
    [qq{BLOCK 3 COUNTER AND COUNTER := "x" OFFSET := 0 SIZE := 1 END\n}, 0,
     [qq{3:WARNING : Ignoring unknown clause: COUNTER := "x" OFFSET := 0 SIZE := 1 END\n}],
     [3, byte(9), "##START|TYPE_3\nX\n9\n##END|TYPE_3\n"]],
    [qq{BLOCK 5 AND AND COUNTER := "x" AND OFFSET := 0 SIZE := 1 END and more\n}, 0, [],
     [5, byte(7), "##START|TYPE_5\nX\n7\n##END|TYPE_5\n"]],
    [qq{BLOCK 7 NAME := "empty" END\n} . $ok_block, 0, ['3:WARNING : Block 7 has no counters']],
    [qq{BLOCK 8 COUNTER := "" OFFSET := 0 SIZE := 1 END\n}, 2, ['3:WARNING : Block 8 has a counter with no name', $weird]],
    (map { [qq{BLOCK 9 COUNTER := "odd" OFFSET := 0 SIZE := $_ END\n}, 2,
            ["3:WARNING : Counter ODD in block 9 has a weird size $_", $weird]] } 0, 5, 7, 8, 11, 12, 32),
    (map { [qq{BLOCK 9 COUNTER := "ok" OFFSET := 0 SIZE := $_ END\n}, 0, []] } 1, 2, 3, 4, 6, 9, 10, 16),
    ["# nothing here\n\n", 2, ['1:WARNING : There are no blocks defined by the configuration file', $weird]],
    # Longer than the line buffer: it arrives in pieces.
    [qq{BLOCK 10 COUNTER := "} . ('x' x 600) . qq{" OFFSET := 0 SIZE := 1 END\n} . $ok_block, 0,
     ['3:WARNING : Ignoring unknown clause:"' . ('x' x 490),
      '2:WARNING : Unknown line in config file:' . ('x' x 110) . qq{" OFFSET := 0 SIZE := 1 END\n}]],
);
for my $case (@cases) {
    my ($text, $result, $warnings, $block) = @$case;
    my ($rc, $msgs) = load($text, 7);
    is_deeply([$rc, [grep { !/^[5-8]:(config|record repeat)/ } @$msgs]], [$result, $warnings], "load: $text");
    is(section_for(@$block[0 .. $#$block - 1]), $block->[-1], '... and the block it gives') if $block;
}

($rc, $msgs) = load(qq{BLOCK 4 COUNTER := "a" OFFSET := 0 SIZE := 1 REPEAT_START END\n}
                  . qq{BLOCK 4 COUNTER := "b" OFFSET := 1 SIZE := 1 REPEAT_END := 2 END\n}, 5);
is_deeply([$rc, $msgs], [0, ['5:record repeat START', '5:record repeat END']], 'repeat clauses are traced at level 5');

for my $case ([qq{BLOCK 6 COUNTER := "x" OFFSET := 0 SIZE := 1\n}, ''], [qq{BLOCK 6 := "x" END\n}, qq{ "x" END\n}],
              [qq{BLOCK 6 COUNTER := "x" BLOCK 7 END\n}, " 7 END\n"], [qq{BLOCK 6 NAME:= "x" END\n}, qq{NAME:= "x" END\n}],
              [qq{BLOCK 6 COUNTER := "x" OFFSET := 0 SIZE := 1 end\n}, "end\n"]) {
    my ($line, $rest) = @$case;
    my ($rc, $msgs) = load($ok_block . $line . $ok_block, 8);
    is_deeply([$rc, @$msgs[-4 .. -1]], [2, "8:config file line : $line", "3:WARNING : Ignoring unknown clause:$rest",
              '8:config: EXIT error', "1:ERROR: Configuration file read error.\n"], "load fails and stops at: $line");
}

is((load(qq{BLOCK 11 COUNTER := "old" OFFSET := 0 SIZE := 1 END\n}, 1))[0], 0, 'a load');
is(section_for(11, byte(1)), "##START|TYPE_11\nOLD\n1\n##END|TYPE_11\n", '... makes block 11 known');
is((load($ok_block, 1))[0], 0, 'the next load');
is(section_for(11, byte(1)), $unknown, '... replaces the old blocks');

done_testing;
