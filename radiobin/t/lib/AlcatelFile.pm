package AlcatelFile;
# Writes Alcatel BSS binary performance files from a description, for tests, fuzz seeds,
# bench data and samples/alcatel/make-samples.pl. A description gives the header layout
# (66, 72, 74 or 76), release (66 is always 0), meas_type, mob_class, mob_inst,
# bsc_name, start and end ('YYYY-MM-DD hh:mm'), and records: each a list of blocks or
# { blocks, seq, terminate => 0, raw => bytes }. Block headers are (type, length) in 2
# bytes at release 0, else 4 (16-bit little-endian type, signed 16-bit length). Records
# end with a 0xFF block type and are padded with 0xFF to the record size, by default the
# smallest that holds every record. Broken files: record_size, file_size, num_records,
# header_code, record_type, sequence_start, truncate (to that many bytes), append.
use strict;
use warnings;
use Exporter 'import';
use Carp qw(croak);
use List::Util qw(max);

our @EXPORT_OK = qw(alcatel_file write_file block block_len le16 le32 be16 be32 le48 be48 ff text16 byte
                    period);

sub byte { return pack 'C*', @_ }
sub le16 { return pack 'v', $_[0] }
sub be16 { return pack 'n', $_[0] }
# 32-bit little-endian as the format has it: 16-bit little-endian words, high word first.
sub le32 { my $v = shift; return pack 'vv', ($v >> 16) & 0xFFFF, $v & 0xFFFF }
sub be32 { return pack 'N', $_[0] }
sub le48 { my $v = shift; return pack 'vvv', ($v >> 32) & 0xFFFF, ($v >> 16) & 0xFFFF, $v & 0xFFFF }
sub be48 { my $v = shift; return pack 'nN', ($v >> 32) & 0xFFFF, $v & 0xFFFFFFFF }
sub ff { return "\xFF" x $_[0] }
sub text16 { return pack 'a16', $_[0] }

# A block of the given type holding the concatenated data.
sub block { my ($type, @data) = @_; return { type => $type, data => join '', @data } }
# The same with a stated data length that need not match the data.
sub block_len { my ($type, $len, @data) = @_; return { type => $type, len => $len, data => join '', @data } }

# 16 characters of a period: 4 unused, minutes, hours, day, month, year.
sub period { my ($y, $mo, $d, $h, $mi) = $_[0] =~ /^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d)$/
                 or croak "period '$_[0]' is not YYYY-MM-DD hh:mm"; return "0000$mi$h$d$mo$y" }

sub _block_bytes { my ($b, $release) = @_; my $len = exists $b->{len} ? $b->{len} : length $b->{data};
                   return ($release == 0 ? pack('CC', $b->{type}, $len) : pack('vs<', $b->{type}, $len)) . $b->{data} }

# Per header layout: the header's length after its first 6 bytes, how the release is packed
# ahead of the fields (not at all in layout 66) and the zero bytes after them.
my %HEADER = (66 => [60, '', 0], 72 => [66, 'Cx', 4], 74 => [68, 'Cx', 6], 76 => [70, 's<x2', 6]);

sub alcatel_file {
    my (%d) = @_;
    my $layout = $d{layout} // 76;
    my $release = $layout == 66 ? 0 : ($d{release} // 5);
    my $seq = $d{sequence_start} // 0;
    my @records = map {
        my $rec = ref $_ eq 'HASH' ? $_ : { blocks => $_ };
        my $s = exists $rec->{seq} ? $rec->{seq} : $seq;
        $seq = $s + 1;
        my $body = ($rec->{raw} // join '', map { _block_bytes($_, $release) } @{ $rec->{blocks} // [] })
                 . (($rec->{terminate} // 1) ? "\xFF" : '');
        pack('vs<CC', 6 + length $body, $s, 12, 1) . $body;
    } @{ $d{records} // [] };
    my $start = $d{start_text} // period($d{start} // '2026-12-05 10:00');
    my $end = $d{end_text} // period($d{end} // '2026-12-05 11:00');
    my ($pgrh_len, $lead, $pad) = @{ $HEADER{$layout} // croak "layout $layout" };
    my $size = $d{record_size} // max(6 + $pgrh_len, map { length } @records);
    my $file_size = $d{file_size} // $size * (1 + @records);
    my $fields = pack('s<s<a16s<vvva16a16', $d{mob_class} // 1, $d{mob_inst} // 2, $d{bsc_name} // 'BSC-TEST',
                      $d{meas_type} // 11, ($file_size >> 16) & 0xFFFF, $file_size & 0xFFFF,
                      ($d{num_records} // (1 + @records)) & 0xFFFF, $start, $end);
    my $header = pack('CCs<CC', $d{header_code} // 6 + $pgrh_len, 0, 0, $d{record_type} // 12, 1)
               . ($lead ? pack($lead, $release) : '') . $fields . "\0" x $pad;
    my $bytes = join '', map { length $_ >= $size ? substr($_, 0, $size) : $_ . "\xFF" x ($size - length $_) } $header, @records;
    $bytes = substr($bytes, 0, $d{truncate}) if defined $d{truncate};
    return $bytes . ($d{append} // '');
}

sub write_file { open my $fh, '>:raw', $_[0] or croak "$_[0]: $!"; print {$fh} $_[1]; close $fh or croak "$_[0]: $!"; $_[0] }

1;
