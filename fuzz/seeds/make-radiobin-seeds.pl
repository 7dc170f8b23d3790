#!/usr/bin/perl
# Writes the seed inputs of the radiobin fuzz targets (run from anywhere):
#   perl fuzz/seeds/make-radiobin-seeds.pl
# File seeds follow the block layout built into fuzz/radiobin_file_fuzz.cpp.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../../radiobin/t/lib";
use AlcatelFile qw(alcatel_file write_file block block_len byte le16 le32 be16 be32 le48 ff text16);

my $files = "$FindBin::Bin/radiobin_file";
my $b110 = block(110, byte(0x2A), le16(7), le32(9), le48(11), text16('CELL'), byte(1, 2, 3));
my $b111 = block(111, be16(5), be32(6));
my $b112 = block(112, byte(1), map { le16($_), byte($_) } 1 .. 12);
my %seed = (
    'layout66' => { layout => 66, meas_type => 11, records => [ [ $b110, $b111 ] ] },
    'layout72' => { layout => 72, release => 3, meas_type => 11, records => [ [ $b110 ], [ $b112 ] ] },
    'layout74' => { layout => 74, release => 4, meas_type => 11, records => [ [ $b111, block(113, byte(1 .. 9)) ] ] },
    'layout76' => { layout => 76, release => 5, meas_type => 11, records => [ [ $b112, block(1125, byte(1)), $b110 ] ] },
    'pairs' => { meas_type => 12, records => [ [ block(121, le16(1)), block(122, byte(2)) ], [ block(121, le16(3)) ] ] },
    'type100' => { meas_type => 100, records => [ [ block(1000, le32(1)), block_len(91, 300, byte(1)) ] ] },
    'empty4' => { meas_type => 11, records => [ [ block(111, le16(1), le16(2)), $b111 ] ] },
);
write_file("$files/$_.bin", alcatel_file(%{ $seed{$_} })) for sort keys %seed;

my $configs = "$FindBin::Bin/radiobin_config";
my %cfg = (
    'repeat.cfg' => qq{BLOCK 112 COUNTER := "ga" OFFSET := 1 SIZE := 2 REPEAT_START END\n}
                  . qq{BLOCK 112 COUNTER := "gb" OFFSET := 3 SIZE := 1 REPEAT_END := 8 END\n},
    'forms.cfg' => qq{# numbers\nBLOCK 0x1F NAME := "n" ENDIAN_ORDER := "BIG_ENDIAN" COUNTER := "a" OFFSET := #2 SIZE := 04 END\n}
                 . qq{BLOCK 7 NAME := "empty" END\nFOO\nBLOCK 8 COUNTER AND COUNTER := "x" OFFSET := 65535 SIZE := 1 END\n},
    'fatal.cfg' => qq{BLOCK 9 COUNTER := "x" OFFSET := 0 SIZE := 1\n},
);
for my $name (sort keys %cfg) {
    open my $fh, '>:raw', "$configs/$name" or die "$configs/$name: $!";
    print {$fh} $cfg{$name};
    close $fh;
}
