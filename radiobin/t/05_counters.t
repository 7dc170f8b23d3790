# Counter decoding: every size in both byte orders, absent values, MCC_MNC bytes, texts,
# bytes past the record, and repeated groups with short and oversized repetitions.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use radiobin;
use AlcatelFile qw(block block_len byte ff text16);
use RadiobinTest qw(load_config convert);

my @sizes = (q{COUNTER := "mcc_mnc_x" OFFSET := 0 SIZE := 1}, q{COUNTER := "one" OFFSET := 1 SIZE := 1},
             q{COUNTER := "sh" OFFSET := 2 SIZE := 2}, q{COUNTER := "lg" OFFSET := 4 SIZE := 4},
             q{COUNTER := "six" OFFSET := 8 SIZE := 6}, q{COUNTER := "txt" OFFSET := 14 SIZE := 16},
             q{COUNTER := "three" OFFSET := 30 SIZE := 3}, q{COUNTER := "nine" OFFSET := 33 SIZE := 9},
             q{COUNTER := "ten" OFFSET := 42 SIZE := 10});
my $config = join('', map { "BLOCK 2001 $_ END\n" } @sizes)
           . join('', map { qq{BLOCK 2002 ENDIAN_ORDER := "BIG_ENDIAN" $_ END\n} } @sizes)
           . qq{BLOCK 2003 COUNTER := "f" OFFSET := 0 SIZE := 2 END\n}
           . qq{BLOCK 2003 COUNTER := "g" OFFSET := 108 SIZE := 4 END\n};
# A group of three one-byte counters (length 3) between a leading and a trailing counter.
my @group = (q{COUNTER := "hdr" OFFSET := 0 SIZE := 1}, q{COUNTER := "ga" OFFSET := 1 SIZE := 1 REPEAT_START},
             q{COUNTER := "gb" OFFSET := 2 SIZE := 1}, q{COUNTER := "gend" OFFSET := 3 SIZE := 1 REPEAT_END := 3});
$config .= join '', map { "BLOCK 2010 $_ END\n" } @group, q{COUNTER := "tail" OFFSET := 20 SIZE := 1};
$config .= join '', map { "BLOCK 2011 $_ END\n" } @group;
$config .= join '', map { "BLOCK 2012 $_ END\n" } q{COUNTER := "ga" OFFSET := 0 SIZE := 1 REPEAT_START},
                                                   q{COUNTER := "gend" OFFSET := 1 SIZE := 1 REPEAT_END := 31};
$config .= join '', map { "BLOCK 2013 $_ END\n" } q{COUNTER := "ga" OFFSET := 0 SIZE := 1 REPEAT_START},
                                                   q{COUNTER := "gend" OFFSET := 10 SIZE := 1 REPEAT_END := 2};
$config .= join '', map { "BLOCK 2014 $_ END\n" } q{COUNTER := "ga" OFFSET := 0 SIZE := 1 REPEAT_START},
                                                   q{COUNTER := "gend" OFFSET := 1 SIZE := 1 REPEAT_END := 0};
# A trailing counter ahead of a group of length 10 in the chain.
$config .= join '', map { "BLOCK 2017 $_ END\n" } q{COUNTER := "lead" OFFSET := 0 SIZE := 1},
    q{COUNTER := "ga" OFFSET := 1 SIZE := 1 REPEAT_START}, q{COUNTER := "gend" OFFSET := 10 SIZE := 1 REPEAT_END := 2},
    q{COUNTER := "tail" OFFSET := 1 SIZE := 1};
# 31 group columns, and 20 group columns with 11 more on every row.
$config .= join '', map { qq{BLOCK 2015 COUNTER := "w$_" OFFSET := $_ SIZE := 1}
                          . ($_ == 0 ? ' REPEAT_START' : '') . ($_ == 30 ? ' REPEAT_END := 1' : '') . " END\n" } 0 .. 30;
$config .= join '', map { qq{BLOCK 2016 COUNTER := "v$_" OFFSET := $_ SIZE := 1}
                          . ($_ == 11 ? ' REPEAT_START' : '') . ($_ == 30 ? ' REPEAT_END := 1' : '') . " END\n" } 0 .. 30;
is(load_config($config), 0, 'configuration loaded');

# Converts one record holding the given blocks (measurement type 100: one section per
# run); returns (code, the sections, warnings and traces of the decoder).
sub decode {
    my ($blocks, $level) = @_;
    my ($rc, undef, $pif, $log) = convert({ meas_type => 100, record_size => 120, records => [ $blocks ] },
                                          log_level => $level // 3);
    $pif //= '';
    $pif =~ s/\A(?:.*\n){5}//;
    return ($rc, $pif, [ grep { !/^2:File is from/ && !/^[5-7]:(?!Counter '|Smaller|RECORD_REPEAT_END)/ } @$log ]);
}

my $names = 'TEN|NINE|THREE|TXT|SIX|LG|SH|ONE|MCC_MNC_X';

subtest 'every size, little- and big-endian' => sub {
    my $tail = text16("CELL-7\0junk") . byte(1 .. 3) . byte(1 .. 9) . byte(1 .. 10);
    my ($rc, $pif, $log) = decode([ block(2001, byte(0x2A, 0x2A, 0x34, 0x12, 1, 2, 3, 4, 0x12, 0x34, 0, 0x80, 0, 0), $tail),
                                    block(2002, byte(0x2A, 0x2A, 0x34, 0x12, 1, 2, 3, 4, 0x12, 0x34, 0x80, 0, 0, 0), $tail) ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2001\n$names\n|||CELL-7|-2147483648|33620995|4660|42|2A\n##END|TYPE_2001\n"
           . "##START|TYPE_2002\n$names\n|||CELL-7|-2147483648|16909060|13330|42|2A\n##END|TYPE_2002\n",
       '1 byte decimal (hexadecimal for MCC_MNC), 2, 4 and 6 bytes by byte order, 16 bytes as text');
    is_deeply([ grep { /cannot print/ } @$log ], [
        '3:WARNING : Counter TEN size 10 in block type 2001 cannot print',
        '3:WARNING : Counter NINE size 9 in block type 2001 cannot print',
        '3:WARNING : Counter THREE size 3 in block type 2001 cannot print',
        '3:WARNING : Counter TEN size 10 in block type 2002 cannot print',
        '3:WARNING : Counter NINE size 9 in block type 2002 cannot print',
        '3:WARNING : Counter THREE size 3 in block type 2002 cannot print',
    ], 'sizes 3, 9 and 10 give empty fields and a warning with the whole block type');

    ($rc, $pif) = decode([ block(2001, byte(0, 0, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0x7F, 0xFF, 0xFF),
                                 'ABCDEFGHIJKLMNOP', ff(22)) ]);
    like($pif, qr/\n\|\|\|ABCDEFGHIJKLMNOP\|2147483647\|\|65279\|0\|00\n/,
         'largest values, a 16-character text without terminator, an all-0xFF 4-byte value is empty');
};

subtest 'absent values are empty fields' => sub {
    my ($rc, $pif, $log) = decode([ block(2001, ff(52)) ], 7);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2001\n$names\n||||||||\n##END|TYPE_2001\n", 'every field empty');
    is_deeply([ grep { /0xFF/ } @$log ], [
        "7:Counter 'TEN' contains 10 bytes of 0xFF", "7:Counter 'NINE' contains 9 bytes of 0xFF",
        "7:Counter 'THREE' contains 3 bytes of 0xFF", "7:Counter 'TXT' contains 16 bytes of 0xFF",
        "7:Counter 'SIX' contains 6 bytes of 0xFF", "7:Counter 'LG' contains 4 bytes of 0xFF",
        "7:Counter 'SH' contains 2 bytes of 0xFF", "7:Counter 'ONE' contains 1 byte of 0xFF",
        "7:Counter 'MCC_MNC_X' contains 1 byte of 0xFF" ], 'traced per counter');
};

subtest 'a value running past the record is never read' => sub {
    my ($rc, $pif, $log) = decode([ block_len(2003, 115, byte(7, 0), ff(100)) ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2003\nG|F\n|7\n##END|TYPE_2003\n", 'empty field for the value cut by the record end');
    is_deeply($log, ['3:WARNING : Counter G in block type 2003 runs past the end of the record'], '... warned');
};

subtest 'repeated groups' => sub {
    my @bytes = map { 100 + $_ } 0 .. 20;
    my ($rc, $pif) = decode([ block(2010, byte(@bytes)) ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2010\nTAIL|GEND|GB|GA|HDR\n120|109|108|107|100\n106|105|104|100\n103|102|101|100\n"
           . "##END|TYPE_2010\n",
       'one line per repetition, last first; the leading counter on every line, the trailing one leads the first');

    my $log;
    ($rc, $pif, $log) = decode([ block(2011, byte(@bytes[0 .. 7])) ], 7);
    is($pif, "##START|TYPE_2011\nGEND|GB|GA|HDR\n106|105|104|100\n103|102|101|100\n##END|TYPE_2011\n",
       'a short block gives fewer repetitions');
    is_deeply([ grep { /REPEAT_END|Smaller/ } @$log ], ['7:RECORD_REPEAT_END repeat size : 3',
              '7:Smaller last block - recalculated repeat size : 2'], '... recounted');

    ($rc, $pif) = decode([ block(2011, byte(@bytes[0 .. 7])), block(2011, byte(1 .. 5)), block(2011, byte(@bytes[0 .. 9])) ]);
    is($pif, "##START|TYPE_2011\nGEND|GB|GA|HDR\n106|105|104|100\n103|102|101|100\n4|3|2|1\n"
           . "109|108|107|100\n106|105|104|100\n103|102|101|100\n##END|TYPE_2011\n",
       'each block starts its matrix afresh');
};

subtest 'groups without a repetition give no rows, and the record goes on' => sub {
    # The bytes before each block's data must never show up as values.
    my ($rc, $pif, $log) = decode([ block(2013, byte(1 .. 5)), block(2014, byte(6 .. 10)),
                                    block(2017, byte(11 .. 15)), block(2001, ff(52)) ], 7);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2013\nGEND|GA\n##END|TYPE_2013\n##START|TYPE_2014\nGEND|GA\n##END|TYPE_2014\n"
           . "##START|TYPE_2017\nTAIL|GEND|GA|LEAD\n12\n##END|TYPE_2017\n"
           . "##START|TYPE_2001\n$names\n||||||||\n##END|TYPE_2001\n",
       'shorter than one repetition, repeat count 0: no row; a value ahead of the group keeps its line');
    is_deeply([ grep { !/0xFF/ } @$log ], [
        '7:RECORD_REPEAT_END repeat size : 2', '7:Smaller last block - recalculated repeat size : 0',
        '7:RECORD_REPEAT_END repeat size : 0',
        '7:RECORD_REPEAT_END repeat size : 2', '7:Smaller last block - recalculated repeat size : 0',
    ], '... traced, no warning');
};

subtest 'groups the decoder cannot hold' => sub {
    my ($rc, $pif, $log) = decode([ block(2012, byte(1 .. 40)), block(2001, ff(52)) ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_2012\nGEND|GA\n##END|TYPE_2012\n", 'repeat count 31 fails the block, the record ends');
    is_deeply($log, ['3:Warning - repeat size 31 too large for internal buffers'], '... warned');

    ($rc, $pif, $log) = decode([ block(2015, byte(1 .. 40)) ]);
    is_deeply($log, ['3:WARNING: counter count : 31 exceeds max allowed for internal buffers'], '31 group columns fail');
    unlike($pif, qr/\n\d/, '... no value line');

    ($rc, $pif, $log) = decode([ block(2016, byte(1 .. 40)) ]);
    is_deeply($log, ['3:WARNING: counter count : 31 exceeds max allowed for internal buffers'],
              '20 group columns and 11 more fail');
};

done_testing;
