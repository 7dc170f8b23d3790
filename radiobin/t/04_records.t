# The record walk: sections per run of block types, empty (4-byte) blocks, pair mode,
# special block types, sequence and block errors, and what is left in the output file.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use radiobin;
use AlcatelFile qw(alcatel_file write_file block block_len byte le16 ff);
use RadiobinTest qw(load_config convert convert_file header_lines scratch slurp);

is(load_config(join '', map { "BLOCK $_ END\n" }
    q{111 COUNTER := "a" OFFSET := 0 SIZE := 2},
    q{111 COUNTER := "b" OFFSET := 2 SIZE := 1},
    q{112 COUNTER := "c" OFFSET := 0 SIZE := 1},
    q{113 COUNTER := "d" OFFSET := 0 SIZE := 2},
    q{114 COUNTER := "e" OFFSET := 5 SIZE := 1},
    q{1125 COUNTER := "s1" OFFSET := 9 SIZE := 1},
    q{1125 COUNTER := "s2" OFFSET := 0 SIZE := 1},
    q{121 COUNTER := "p" OFFSET := 0 SIZE := 2},
    q{122 COUNTER := "q" OFFSET := 0 SIZE := 1},
    q{122 COUNTER := "r" OFFSET := 1 SIZE := 1},
    q{1000 COUNTER := "x" OFFSET := 0 SIZE := 1},
    q{1001 COUNTER := "y" OFFSET := 0 SIZE := 1},
), 0, 'configuration loaded');

sub b111 { my ($a, $b) = @_; return block(111, le16($a), byte($b)) }
sub b112 { return block(112, byte($_[0])) }
# Pair mode, measurement type 12: A gives the field P, B the fields R and Q.
sub pa { return block(121, le16($_[0])) }
sub pb { my ($r, $q) = @_; return block(122, byte($q, $r)) }

# Converts records of measurement type 11 (or as given); returns (code, body after the
# header section, log).
sub walk {
    my ($records, %d) = @_;
    my $level = delete $d{log_level} // 3;
    my ($rc, undef, $pif, $log) = convert({ meas_type => 11, record_size => 80, records => $records, %d },
                                          log_level => $level);
    $pif //= '';
    $pif =~ s/\A(?:.*\n){5}//;
    return ($rc, $pif, [ grep { !/^2:File is from a bss version/ } @$log ]);
}

subtest 'single-type mode: one section per run of a block type' => sub {
    my ($rc, $pif, $log) = walk([ [ b111(1, 2), b111(3, 4) ], [ b112(5), b111(6, 7) ] ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_111\nB|A\n2|1\n4|3\n##END|TYPE_111\n"
           . "##START|TYPE_112\nC\n5\n##END|TYPE_112\n"
           . "##START|TYPE_111\nB|A\n7|6\n##END|TYPE_111\n", 'a type that comes back opens a new section');
    is_deeply($log, [], 'nothing to warn about');
};

subtest 'blocks with 4 bytes of data give no line' => sub {
    my ($rc, $pif) = walk([ [ block(113, le16(1), le16(2)), block(113, le16(3), le16(4)) ], [ b112(9) ] ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_112\nC\n9\n##END|TYPE_112\n", 'a run of empty blocks opens no section');

    ($rc, $pif) = walk([ [ block(113, le16(1), le16(2)), block(113, le16(3), byte(0)), b112(9) ] ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_113\nD\n3\n##END|TYPE_113\n##START|TYPE_112\nC\n9\n##END|TYPE_112\n",
       'the first block with data in a run that began empty opens the section');

    ($rc, $pif) = walk([ [ block(113, le16(3), byte(0)), block(113, le16(1), le16(2)) ] ]);
    is($pif, "##START|TYPE_113\nD\n3\n##END|TYPE_113\n", 'an empty block inside a run adds no line');
};

subtest 'measurement type 100 is always single-type' => sub {
    my ($rc, $pif) = walk([ [ block(1000, byte(1)), block(1001, byte(2)) ] ], meas_type => 100);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_1000\nX\n1\n##END|TYPE_1000\n##START|TYPE_1001\nY\n2\n##END|TYPE_1001\n",
       'two block types, two sections');
};

subtest 'pair mode: a block of the first type joins the following block' => sub {
    my ($rc, $pif, $log) = walk([ [ block(121, le16(10)), block(122, byte(1, 2)) ],
                                  [ block(121, le16(20)), block(122, byte(3, 4)) ] ], meas_type => 12);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_12\nP|R|Q\n10\n10|2|1\n20|4|3\n##END|TYPE_12\n",
       'one section for the measurement type; the first block of the file also stands alone');
    is_deeply($log, ["3:No counters found for block '120'"], 'candidates without configuration are logged');

    ($rc, $pif) = walk([ [ block(121, le16(10)) ], [ block(121, le16(20)) ] ], meas_type => 12);
    is($pif, "##START|TYPE_12\nP|R|Q\n10\n20\n##END|TYPE_12\n", 'without a second type each block is a line');

};

subtest 'pair mode: every value under its own name, none lost' => sub {
    # A (121) is the type whose names lead; B (122) the other one.
    for my $case (
        [ 'B without an A before it: empty A field',   [ pa(1), pa(2), pb(3, 4) ],          "1\n2\n|3|4\n" ],
        [ 'B after a written pair: empty A field',     [ pa(1), pb(2, 3), pb(4, 5) ],       "1\n1|2|3\n|4|5\n" ],
        [ 'A waiting when another A comes: own line', [ pa(1), pb(2, 3), pa(4), pa(5), pb(6, 7) ],
          "1\n1|2|3\n4\n5|6|7\n" ],
        [ 'A waiting when the walk ends: own line',   [ pa(1), pb(2, 3), pa(4) ],           "1\n1|2|3\n4\n" ],
        [ 'a file that begins with B',                 [ pb(1, 2), pa(3), pb(4, 5) ],       "|1|2\n3|4|5\n" ],
    ) {
        my ($label, $blocks, $lines) = @$case;
        my ($rc, $pif) = walk([ $blocks ], meas_type => 12);
        is("$rc $pif", "0 ##START|TYPE_12\nP|R|Q\n$lines##END|TYPE_12\n", $label);
    }
    my ($rc, $pif) = walk([ [ pa(1), pb(2, 3), pa(4) ], [ block(119, byte(1)) ] ], meas_type => 12, log_level => 0);
    is("$rc $pif", "-1 ##START|TYPE_12\nP|R|Q\n1\n1|2|3\n4\n##END|TYPE_12\n", 'A waiting when the walk fails: own line');
};

subtest 'blocks that cannot be decoded' => sub {
    my ($rc, $pif, $log) = walk([ [ block(114, byte(1, 2)), b111(1, 2) ], [ b111(3, 4) ] ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_114\nE\n##END|TYPE_114\n##START|TYPE_111\nB|A\n4|3\n##END|TYPE_111\n",
       'the rest of the record is skipped, the next record is read');
    is_deeply($log, ['3:WARNING : Block 114 counter E offset beyond end of record'], '... logged');

    ($rc, $pif, $log) = walk([ [ block(1125, byte(7, 8)), b111(1, 2) ] ]);
    is($rc, 0, 'converted');
    is($pif, "##START|TYPE_1125\nS2|S1\n7\n##END|TYPE_1125\n##START|TYPE_111\nB|A\n2|1\n##END|TYPE_111\n",
       'after a special block type the record goes on; its line keeps the values read before the failure');
    is_deeply($log, ['3:WARNING : Block 1125 counter S1 offset beyond end of record'], '... logged');
};

subtest 'errors that end the walk' => sub {
    my ($rc, $pif, $log) = walk([ [ b111(1, 2) ], [ b111(3, 4), block(119, byte(1)) ], [ b111(5, 6) ] ],
                                log_level => 1);
    is($rc, -1, 'unconfigured block type: -1');
    is($pif, "##START|TYPE_111\nB|A\n2|1\n4|3\n##END|TYPE_111\n", 'the lines before stay with their end line, no section for 119');
    is_deeply($log, ['1:ERROR : Block error detected, discarding (2) 240'], '... logged with the stream position');

    ($rc, $pif, $log) = walk([ [ b111(1, 2), block_len(112, 0) ] ], log_level => 1);
    is($rc, -1, 'block with no data: -1');
    is($pif, "##START|TYPE_111\nB|A\n2|1\n##END|TYPE_111\n##START|TYPE_112\nC\n##END|TYPE_112\n",
       '... sections before it are kept, its own is opened and closed empty');

    ($rc, $pif, $log) = walk([ [ block(122, byte(1, 2)) ], [ block(119, byte(1)) ] ], meas_type => 12, log_level => 1);
    is($rc, -1, 'pair mode, unconfigured block type: -1');
    is($pif, "##START|TYPE_12\nP|R|Q\n|2|1\n##END|TYPE_12\n", '... the paired section is closed');
    is_deeply($log, ['1:ERROR : Block error detected, discarding (1) 240'], '... logged');

    ($rc, $pif, $log) = walk([ { seq => 5, blocks => [ b111(1, 2) ] }, { seq => 6, blocks => [ b111(3, 4) ] },
                               { seq => 8, blocks => [ b111(5, 6) ] } ], log_level => 1);
    is($rc, -1, 'sequence gap: -1');
    is($pif, "##START|TYPE_111\nB|A\n2|1\n4|3\n##END|TYPE_111\n", 'the record out of sequence is not looked at');
    is_deeply($log, ['1:ERROR : rec sequence error detected, discarding 320'], '... logged');

    ($rc, $pif) = walk([ { seq => 32767, blocks => [ b111(1, 2) ] }, { seq => -32768, blocks => [ b111(3, 4) ] } ]);
    is($rc, 0, 'the sequence number wraps at 16 bits');
};

subtest 'block lengths that disagree with the record' => sub {
    my ($rc, $pif, $log) = walk([ [ block_len(111, 200, le16(1), byte(2)), b112(3) ], [ b112(4) ] ]);
    is($rc, 0, 'a block running past the record end converts');
    is($pif, "##START|TYPE_111\nB|A\n2|1\n##END|TYPE_111\n##START|TYPE_112\nC\n4\n##END|TYPE_112\n",
       '... and uses up its record');

    ($rc, $pif) = walk([ [ block_len(111, -3, le16(1), byte(2)) ] ]);
    is($rc, -1, 'a negative data length is an error');

    # The last block header would not fit: the record ends there.
    ($rc, $pif) = walk([ { raw => pack('vs<', 112, 68) . byte(1) . "\0" x 67 . "\x70\x00", terminate => 0 } ]);
    is($rc, 0, 'record ends inside a block header');
    is($pif, "##START|TYPE_112\nC\n1\n##END|TYPE_112\n", '... the blocks before it are converted');
};

subtest 'the output file replaces an older, longer one' => sub {
    my $path = scratch() . '/PMRES001.01a.7.';
    my $out = scratch() . '/same';
    mkdir $out;
    write_file($path, alcatel_file(meas_type => 11, records => [ map { [ b111($_, $_) ] } 1 .. 50 ]));
    my ($rc, $pif_path) = radiobin::process_file($path, $out, 'OMC1', 'NET1', 'REG1');
    is($rc, 0, 'long file converted');
    my $long = -s $pif_path;
    write_file($path, alcatel_file(meas_type => 11, records => [ [ b111(1, 1) ] ]));
    ($rc, my $again) = radiobin::process_file($path, $out, 'OMC1', 'NET1', 'REG1');
    is($again, $pif_path, 'same output name');
    is(slurp($again), header_lines() . "##START|TYPE_111\nB|A\n1|1\n##END|TYPE_111\n", 'no tail of the older file');
    cmp_ok(-s $again, '<', $long, 'shorter than before');
};

subtest 'an output directory that does not exist' => sub {
    my $path = write_file(scratch() . '/PMRES001.01a.7.', alcatel_file(meas_type => 11, records => [ [ b111(1, 1) ] ]));
    my ($rc, $second) = radiobin::process_file($path, scratch() . '/no/such', 'OMC1', 'NET1', 'REG1');
    is($rc, -1, '-1');
    like($second, qr{/no/such/TYPE_11-#-7-#-OMC1-#-}, 'the name is still handed back');
};

done_testing;
