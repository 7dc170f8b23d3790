# The block-layout reader and checker: clauses, number forms, warnings, failures and the
# log lines they write; what a load leaves in the block table is seen through conversions.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use POSIX qw(setlocale LC_ALL);
use radiobin;
use AlcatelFile qw(block le16 be16 byte);
use RadiobinTest qw(config_file fresh_log log_messages convert);

# Loads a configuration at the given log level; returns (result, log messages).
sub load {
    my ($text, $level) = @_;
    my $log = fresh_log($level // 8);
    my $rc = radiobin::config_initialise(config_file($text), 0, 99);
    return ($rc, log_messages($log));
}

# Messages of a load without the per-line trace.
sub warnings_of {
    my ($text) = @_;
    my ($rc, $msgs) = load($text, 7);
    return ($rc, [ grep { !/^[5-8]:(config|record repeat)/ } @$msgs ]);
}

# The PIF section that one block of the given type and data produces.
sub section_for {
    my ($type, @data) = @_;
    my ($rc, undef, $pif) = convert({ meas_type => int($type / 10), records => [[ block($type, @data) ]] });
    return 'conversion failed' if $rc != 0;
    $pif =~ s/\A(?:.*\n){5}//;
    return $pif;
}

my $ok_block = qq{BLOCK 1 COUNTER := "one" OFFSET := 0 SIZE := 1 END\n};

subtest 'a good file, traced line by line' => sub {
    my $text = "# traffic counters\n   \n\n"
        . qq{BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END\n};
    my ($rc, $msgs) = load($text);
    is($rc, 0, 'loaded');
    is_deeply($msgs, [
        '8:config: ENTERED',
        "8:config file line : # traffic counters\n",
        "8:config file line :    \n",
        "8:config file line : \n",
        qq{8:config file line : BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END\n},
        '8:config: EXIT success',
    ], 'comments and blank lines are read and skipped');
    is(section_for(1011, le16(0), le16(0), le16(0x1234)), "##START|TYPE_1011\nTCH_REQ\n4660\n##END|TYPE_1011\n",
       'counter at offset 4, two bytes, name in upper case');
};

subtest 'number forms name the same block' => sub {
    my ($rc) = load(qq{BLOCK 0x1F COUNTER := "a" OFFSET := 0 SIZE := 1 END\n}
                  . qq{BLOCK #1F COUNTER := "b" OFFSET := 0X1 SIZE := 1 END\n}
                  . qq{BLOCK 31 COUNTER := "c" OFFSET := #2 SIZE := 1 END\n}
                  . qq{BLOCK 031 COUNTER := "d" OFFSET := 03 SIZE := 0x1 END\n});
    is($rc, 0, 'loaded');
    is(section_for(31, byte(1, 2, 3, 4, 0)), "##START|TYPE_31\nD|C|B|A\n4|3|2|1\n##END|TYPE_31\n",
       '0x1F, #1F, 31 and 031 are one block; its counters newest first');
};

subtest 'first line of a block sets its name and byte order' => sub {
    my ($rc, $msgs) = load(qq{BLOCK 41 NAME := "Cells" ENDIAN_ORDER := "BIG_ENDIAN_16" COUNTER := "a" OFFSET := 0 SIZE := 2 END\n}
                         . qq{BLOCK 41 ENDIAN_ORDER := "LITTLE" COUNTER := "b" OFFSET := 2 SIZE := 2 END\n}
                         . qq{BLOCK 52 ENDIAN_ORDER := "BIG" COUNTER := "c" OFFSET := 0 SIZE := 2 END\n}, 7);
    is($rc, 0, 'loaded');
    ok((grep { $_ eq '7:Big endian configuration for block Cells.' } @$msgs), 'big-endian block traced with its name');
    is(section_for(41, be16(0x0102), be16(0x0304), byte(0)), "##START|TYPE_41\nB|A\n772|258\n##END|TYPE_41\n",
       'a later line does not change the byte order');
    is(section_for(52, byte(1, 2)), "##START|TYPE_52\nC\n513\n##END|TYPE_52\n",
       'a text that does not begin with BIG_ENDIAN means little-endian');
};

subtest 'lines that are ignored' => sub {
    my @cases = (
        [ "FOO 1 2\n", ['2:WARNING : Unknown line in config file:FOO 1 2' . "\n"] ],
        [ qq{block 2 COUNTER := "x" OFFSET := 0 SIZE := 1 END\n},
          [qq{2:WARNING : Unknown line in config file:block 2 COUNTER := "x" OFFSET := 0 SIZE := 1 END\n}] ],
        [ qq{BLOCKS 2 END\n}, ["2:WARNING : Unknown line in config file:BLOCKS 2 END\n"] ],
        [ qq{BLOCK NAME := "x" END\n}, [qq{3:WARNING : Ignoring unknown block number: BLOCK NAME := "x" END\n}] ],
        [ qq{BLOCK 2 NAME "x" END\n}, [qq{3:WARNING : Ignoring unknown clause:"x" END\n}] ],
        [ qq{BLOCK 2 NAME := x END\n}, ["3:WARNING : Ignoring unknown clause:x END\n"] ],
        [ qq{BLOCK 2 COUNTER := x END\n}, ["3:WARNING : Ignoring unknown clause:x END\n"] ],
        [ qq{BLOCK 2 COUNTER := "x OFFSET := 0 END\n}, [qq{3:WARNING : Ignoring unknown clause:"x OFFSET := 0 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET :=4 SIZE := 1 END\n}, ["3:WARNING : Ignoring unknown clause::=4 SIZE := 1 END\n"] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET := 65535 SIZE := 1 END\n},
          [qq{2:WARNING : Offset too big in line:BLOCK 2 COUNTER := "x" OFFSET := 65535 SIZE := 1 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET := 70000 SIZE := 1 END\n},
          [qq{2:WARNING : Offset too big in line:BLOCK 2 COUNTER := "x" OFFSET := 70000 SIZE := 1 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET := SIZE := 1 END\n},
          [qq{2:WARNING : Offset too big in line:BLOCK 2 COUNTER := "x" OFFSET := SIZE := 1 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET := 0 SIZE := 255 END\n},
          [qq{2:WARNING : Size too big in line:BLOCK 2 COUNTER := "x" OFFSET := 0 SIZE := 255 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" OFFSET := 0 SIZE 1 END\n}, ["3:WARNING : Ignoring unknown clause:1 END\n"] ],
        [ qq{BLOCK 2 ENDIAN_ORDER := BIG END\n}, ["3:WARNING : Ignoring unknown clause:BIG END\n"] ],
        [ qq{BLOCK 2 ENDIAN_ORDER "BIG" END\n}, [qq{3:WARNING : Ignoring unknown clause:"BIG" END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" SIZE := 1 REPEAT_END := 300 END\n},
          [qq{2:WARNING : Size too big in line:BLOCK 2 COUNTER := "x" SIZE := 1 REPEAT_END := 300 END\n}] ],
        [ qq{BLOCK 2 COUNTER := "x" SIZE := 1 REPEAT_END 3 END\n}, ["3:WARNING : Ignoring unknown clause:3 END\n"] ],
    );
    for my $case (@cases) {
        my ($line, $expect) = @$case;
        my ($rc, $msgs) = warnings_of($line . $ok_block);
        is($rc, 0, "load goes on after: $line");
        is_deeply($msgs, $expect, '... with its warning');
        (my $sec = section_for(2, byte(5))) =~ s/\n.*//s;
        is($sec, 'conversion failed', '... and block 2 stays unknown');
    }
};

subtest 'a COUNTER clause without := is dropped and the line goes on' => sub {
    my ($rc, $msgs) = warnings_of(qq{BLOCK 3 COUNTER AND COUNTER := "x" OFFSET := 0 SIZE := 1 END\n});
    is($rc, 0, 'loaded');
    is_deeply($msgs, [qq{3:WARNING : Ignoring unknown clause: COUNTER := "x" OFFSET := 0 SIZE := 1 END\n}],
              'warned with the rest after the word that was read instead of :=');
    is(section_for(3, byte(9)), "##START|TYPE_3\nX\n9\n##END|TYPE_3\n", 'the later COUNTER clause counts');
};

subtest 'repeat clauses are traced' => sub {
    my ($rc, $msgs) = load(qq{BLOCK 4 COUNTER := "a" OFFSET := 0 SIZE := 1 REPEAT_START END\n}
                         . qq{BLOCK 4 COUNTER := "b" OFFSET := 1 SIZE := 1 REPEAT_END := 2 END\n}, 5);
    is($rc, 0, 'loaded');
    is_deeply($msgs, ['5:record repeat START', '5:record repeat END'], 'START and END at level 5');
};

subtest 'words after END are ignored, AND may stand anywhere' => sub {
    my ($rc, $msgs) = warnings_of(qq{BLOCK 5 AND AND COUNTER := "x" AND OFFSET := 0 SIZE := 1 END and more\n});
    is($rc, 0, 'loaded');
    is_deeply($msgs, [], 'no warning');
};

subtest 'lines that fail the load' => sub {
    my @cases = (
        [ qq{BLOCK 6 COUNTER := "x" OFFSET := 0 SIZE := 1\n}, '' ],
        [ qq{BLOCK 6 := "x" END\n}, qq{ "x" END\n} ],
        [ qq{BLOCK 6 COUNTER := "x" BLOCK 7 END\n}, " 7 END\n" ],
        [ qq{BLOCK 6 NAME:= "x" END\n}, qq{NAME:= "x" END\n} ],
        [ qq{BLOCK 6 COUNTER := "x" OFFSET := 0 SIZE := 1 end\n}, "end\n" ],
    );
    for my $case (@cases) {
        my ($line, $rest) = @$case;
        my ($rc, $msgs) = load($ok_block . $line . $ok_block, 8);
        is($rc, 2, "load fails on: $line");
        is_deeply([ @$msgs[-4 .. -1] ], [ "8:config file line : $line", "3:WARNING : Ignoring unknown clause:$rest",
                    '8:config: EXIT error', "1:ERROR: Configuration file read error.\n" ], '... reading stops there');
    }
};

subtest 'checks after reading' => sub {
    my ($rc, $msgs) = warnings_of(qq{BLOCK 7 NAME := "empty" END\n} . $ok_block);
    is($rc, 0, 'a block without counters only warns');
    is_deeply($msgs, ['3:WARNING : Block 7 has no counters'], '... with its number');

    ($rc, $msgs) = warnings_of(qq{BLOCK 8 COUNTER := "" OFFSET := 0 SIZE := 1 END\n});
    is($rc, 2, 'a counter with an empty name fails');
    is_deeply($msgs, ['3:WARNING : Block 8 has a counter with no name', '1:ERROR : Failed to validate configuration'],
              '... logged');

    for my $size (0, 5, 7, 8, 11, 12, 32) {
        ($rc, $msgs) = warnings_of(qq{BLOCK 9 COUNTER := "odd" OFFSET := 0 SIZE := $size END\n});
        is($rc, 2, "size $size fails the check");
        is_deeply($msgs, ["3:WARNING : Counter ODD in block 9 has a weird size $size",
                          '1:ERROR : Failed to validate configuration'], '... logged');
    }
    for my $size (1, 2, 3, 4, 6, 9, 10, 16) {
        ($rc) = warnings_of(qq{BLOCK 9 COUNTER := "ok" OFFSET := 0 SIZE := $size END\n});
        is($rc, 0, "size $size is accepted");
    }

    ($rc, $msgs) = warnings_of("# nothing here\n\n");
    is($rc, 2, 'a file without blocks fails');
    is_deeply($msgs, ['1:WARNING : There are no blocks defined by the configuration file',
                      '1:ERROR : Failed to validate configuration'], '... logged');
};

subtest 'lines longer than the line buffer arrive in pieces' => sub {
    my $name = 'x' x 600;
    my ($rc, $msgs) = warnings_of(qq{BLOCK 10 COUNTER := "$name" OFFSET := 0 SIZE := 1 END\n} . $ok_block);
    is($rc, 0, 'loaded');
    is(scalar @$msgs, 2, 'two warnings');
    like($msgs->[0], qr/^3:WARNING : Ignoring unknown clause:"x{490}\z/, 'first piece: no closing quote');
    like($msgs->[1], qr/^2:WARNING : Unknown line in config file:x{110}" OFFSET/, 'second piece: not a BLOCK line');
};

subtest 'a new load replaces the old blocks' => sub {
    is((load(qq{BLOCK 11 COUNTER := "old" OFFSET := 0 SIZE := 1 END\n}))[0], 0, 'first load');
    is(section_for(11, byte(1)), "##START|TYPE_11\nOLD\n1\n##END|TYPE_11\n", 'block 11 known');
    is((load($ok_block))[0], 0, 'second load');
    is(section_for(11, byte(1)), 'conversion failed', 'block 11 gone');
};

subtest 'the host\'s locale changes nothing' => sub {
    # Names upper-case by ASCII rules (Turkish would keep "i"); non-ASCII bytes stay as they are.
    my $text = qq{BLOCK 61 COUNTER := "cell_id" OFFSET := 0 SIZE := 2 END\n}
             . qq{BLOCK\t61\tCOUNTER := "mcc_mnc_\xC3\xA4i" OFFSET := 2 SIZE := 1 END\n};
    my $run = sub { load($text); return section_for(61, le16(0x0102), byte(0x2A)) };
    my $before = setlocale(LC_ALL);
    setlocale(LC_ALL, 'C');
    my $c = $run->();
    is($c, "##START|TYPE_61\nMCC_MNC_\xC3\xA4I|CELL_ID\n2A|258\n##END|TYPE_61\n", 'C locale');
    for my $locale (qw(tr_TR.UTF-8 de_DE.UTF-8)) {
        SKIP: {
            skip "locale $locale is not installed (scripts/install-deps generates it)", 1
                unless defined setlocale(LC_ALL, $locale);
            my $out = $run->();
            setlocale(LC_ALL, 'C');
            is($out, $c, "$locale: the same output");
        }
    }
    setlocale(LC_ALL, $before);
};

done_testing;
