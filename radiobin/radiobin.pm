package radiobin;

=head1 NAME

radiobin - convert Alcatel BSS binary performance files into PIF files

=head1 SYNOPSIS

    use radiobin;

    radiobin::logopen('/var/log/pm/radiobin.log', 2);
    radiobin::config_initialise('/etc/pm/alcatel-blocks.cfg', 3, 7) == 0
        or die "block layout not loaded, see the log\n";

    my ($rc, $pif) = radiobin::process_file($in_file, $out_dir, 'OMC1', 'NET1', 'REGION1');
    warn "conversion of $in_file failed ($rc), see the log\n" if $rc != 0;

=head1 DESCRIPTION

An Alcatel BSS performance file is a sequence of fixed-length records: a header record
that gives the BSS release, the measurement type, the period and the file's size, then
data records made of typed blocks of counters. The module knows nothing about the counters
until it has read a block-layout file, which gives for every block type the name, offset,
size and byte order of each counter. Each input file becomes one PIF file.

All state (log settings, block layout, output buffer) is process-wide. Call C<logopen>
once, C<config_initialise> once, then C<process_file> per input file, from one thread.

=head1 FUNCTIONS

=head2 logopen($log_file_name, $log_level)

Sets the log file (an empty name means no log file, in which case messages go to standard
error when it is a terminal) and the highest level written. The name is taken whole: one
of PATH_MAX characters or more, or holding a NUL character, leaves the module without log
file and C<logopen> warns. Each
line reads C<[pid] time configured-level:message-level message>. Levels: 1 errors, 2
problems with the input file, 3 configuration and decoding warnings, 4 release mismatch, 5
progress, 6 and 7 tracing, 8 the block-layout file line by line, 20 internal notes.

=head2 config_initialise($config_filename, $config_min_version, $config_max_version)

Reads and checks the block-layout file and sets the range of BSS releases it is valid for.
Blocks of an earlier call are dropped first. Returns 0 when loaded, 2 when not (the reason
is in the log); do not convert files after a failed load.

=head2 process_file($in_file, $out_dir, $omc_name, $network_id, $region_id)

Converts one file and returns two values: the result code, then the path of the PIF file
it wrote (or the result code again when no output file was named).

    0   converted
   -1   failed: unreadable or malformed file, unconfigured block type, sequence error,
        output not written whole, an argument holding a NUL character, an output path
        longer than the system takes or an OMC name or file header that would put the
        file outside $out_dir (the log says which)
   -2   the file's release lies outside the configured range
    3   out of memory

After a failure the PIF file, if one was named, holds what was converted before the
failure: its header section and every section begun, each with its end line. Only the
result code tells such a file from a whole conversion; a caller should remove or set aside
the file of a failed conversion.

=head2 constant($name, $arg)

Kept for old callers: returns 0 and sets C<$!> to EINVAL.

=head1 THE BLOCK-LAYOUT FILE

One counter per line; a block with several counters takes one line per counter, each
repeating C<BLOCK> and the number:

    # block 1011: two counters, little-endian
    BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 0 AND SIZE := 2 END
    BLOCK 1011 COUNTER := "tch_fail" AND OFFSET := 2 AND SIZE := 4 END
    # block 0x3F5 (1013): a group of two counters repeated up to 4 times
    BLOCK 0x3F5 NAME := "Cells" ENDIAN_ORDER := "BIG_ENDIAN" COUNTER := "cell" OFFSET := 0 SIZE := 2 REPEAT_START END
    BLOCK #3F5 COUNTER := "load" OFFSET := 3 SIZE := 1 REPEAT_END := 4 END

Grammar:

    line    := blank | "#" comment | "BLOCK" number clause* "END" anything
    clause  := "NAME" ":=" quoted            block name (first line of the block wins)
             | "COUNTER" ":=" quoted         counter name, its ASCII letters stored in
                                             upper case whatever the locale
             | "OFFSET" ":=" number          byte offset from the start of the block's data
             | "SIZE" ":=" number            1, 2, 4, 6 or 16 bytes (3, 9 and 10 are accepted
                                             and give empty fields)
             | "ENDIAN_ORDER" ":=" quoted    "BIG_ENDIAN..." for big-endian, else little-endian
                                             (first line of the block wins)
             | "REPEAT_START"                first counter of the repeated group
             | "REPEAT_END" ":=" number      last counter of the group, with the repeat count
             | "AND"                         ignored
    number  := decimal | "0x" hex | "0X" hex | "#" hex
    quoted  := '"' any text without '"' '"'

Keywords are case-sensitive and must stand free, with blanks around them (C<OFFSET := 4>,
not C<OFFSET :=4>). Lines longer than 511 characters are read in pieces. A line that
does not begin with BLOCK, has no usable block number, an offset of 65535, a size or repeat
count of 255 or more, or a clause without its C<:=> or quoted text is ignored with a
warning. A word that cannot start a clause, or a line that ends before C<END>, makes the
whole load fail. The check afterwards fails on a counter with an empty name or an unknown
size, and when no block is defined; a block without counters only gets a warning.

The output columns of a block are its counters in the reverse of their order in the file
(newest line first). A repeated group is written REPEAT_START on its first counter and
REPEAT_END on its last; the last counter's offset is also the length of one repetition.
Repetition I<i> (counted from 1) reads the group's counters at (I<i>-1) x length + offset
and the last counter at I<i> x length. Each repetition becomes one output line; counters
outside the group are repeated on every line, or lead the first line only when they come
after the group in the file. A block shorter than the repeat count gives fewer lines.

=head1 THE PIF FILE

Named C<out_dir/TYPE_mt-#-bss-#-omc-#-startdate-#-starttime-#-enddate-#-endtime-#-I.pt>,
for example C<out/TYPE_11-#-3-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-11:00-#-I.pt>; an
existing file of that name is replaced. The BSS number comes from file names of the forms
C<rrp_bssN_...>, C<PMOBSxxx.nnx_N.> and C<PMRESxxx.nnx.N.> (0 otherwise).

    ##%zel Alcatel Binary Performance Data, Parser Intermediate File
    ##START|HEADER
    STARTDATE|STARTTIME|ENDDATE|ENDTIME|MEASURE_TYPE|MOBCLASS|MOBINST|BSS_VERSION|BSSNUM|OMCNAME|NETWORK_ID|REGION_ID|GMTDIFF|granularity
    05Dec2026|10:00|05Dec2026|11:00|TYPE_11|1|2|5|3|OMC1|NET1|REGION1|0|3600
    ##END|HEADER
    ##START|TYPE_110
    TCH_FAIL|TCH_REQ
    7|12
    ##END|TYPE_110

GMTDIFF is UTC minus local time in seconds at the period start; granularity the period's
length in seconds. Each run of consecutive blocks of one type is one section named after
the block type, with one line per block; a type that comes back later opens a new section
of the same name. Blocks with exactly 4 bytes of data give no line. When a measurement
type consists of two block types, each line joins a block of the first type (the one whose
names lead the names line) with the following block of the second, in one section named
after the measurement type. The first block of the first type also stands alone, as does
every one before a block of the second type has appeared, and one that finds no partner
before the next of its type or the end of the file; a block of the second type without a
first-type block before it gets empty fields for the first type. A counter
whose bytes are all 0xFF is absent and gives an empty field.

=cut

use strict;
use warnings;

our $VERSION = '0.01';

require XSLoader;
XSLoader::load('radiobin', $VERSION);

1;
