#!/usr/bin/perl
# Writes the bundled Alcatel BSS binary sample from the description below, beside this
# script or into the directory given:
#   perl samples/alcatel/make-samples.pl [DIR]
# Content is invented. The block layout it follows is samples/alcatel/blocks.cfg.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../../radiobin/t/lib";
use AlcatelFile qw(alcatel_file write_file block byte le16 be16 be32 be48 ff text16);

my @cells = ([ 0x21, 1001, 'NORTH-GATE' ], [ 0x21, 1002, 'HARBOUR' ], [ 0xFF, 1003, 'DEPOT' ]);
my @traffic = ([ 412, 398, 3, 1_250_000 ], [ 87, 87, 0, 402_500 ], [ 0xFFFF, 0xFFFFFFFF, 2, 2**48 - 1 ]);
my @timeslots = ([ 1, [ 3600, 100 ], [ 1800, 50 ], [ 900, 25 ] ], [ 2, map { [ 60 * $_, $_ ] } 1 .. 8 ],
                 [ 3, [ 0, 0 ] ]);

my $file = alcatel_file(
    layout => 76, release => 5, meas_type => 11, mob_class => 4, mob_inst => 17, bsc_name => 'BSC-HARBOUR',
    start => '2026-12-05 10:00', end => '2026-12-05 10:15',
    records => [
        [ map { block(110, byte($_->[0]), le16($_->[1]), text16($_->[2])) } @cells ],
        [ map { block(111, be16($_->[0]), be32($_->[1]), be32($_->[2]), be48($_->[3])) } @traffic ],
        [ map { my ($trx, @ts) = @$_; block(112, byte($trx), map { le16($_->[0]), byte($_->[1]) } @ts) } @timeslots ],
    ],
);
my $dir = shift // $FindBin::Bin;
write_file("$dir/PMRES011.01a.3.", $file);
