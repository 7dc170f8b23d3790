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
sub period {
    my ($when) = @_;
    my ($y, $mo, $d, $h, $mi) = $when =~ /^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d)$/
        or croak "period '$when' is not YYYY-MM-DD hh:mm";
    return "0000$mi$h$d$mo$y";
}

sub _block_bytes {
    my ($b, $release) = @_;
    my $len = exists $b->{len} ? $b->{len} : length $b->{data};
    my $head = $release == 0 ? pack('CC', $b->{type}, $len) : pack('vs<', $b->{type}, $len);
    return $head . $b->{data};
}

sub alcatel_file {
    my (%d) = @_;
    my $layout = $d{layout} // 76;
    my $release = $layout == 66 ? 0 : ($d{release} // 5);
    my $rtype = $d{record_type} // 12;
    my @records;
    my $seq = $d{sequence_start} // 0;
    for my $r (@{ $d{records} // [] }) {
        my $rec = ref $r eq 'HASH' ? $r : { blocks => $r };
        my $s = exists $rec->{seq} ? $rec->{seq} : $seq;
        $seq = $s + 1;
        my $body = $rec->{raw} // join '', map { _block_bytes($_, $release) } @{ $rec->{blocks} // [] };
        $body .= "\xFF" if $rec->{terminate} // 1;
        push @records, pack('vs<CC', 6 + length $body, $s, 12, 1) . $body;
    }
    my $start = $d{start_text} // period($d{start} // '2026-12-05 10:00');
    my $end = $d{end_text} // period($d{end} // '2026-12-05 11:00');
    my $pgrh_len = { 66 => 60, 72 => 66, 74 => 68, 76 => 70 }->{$layout} // croak "layout $layout";
    my $header_len = 6 + $pgrh_len;
    my $size = $d{record_size};
    unless (defined $size) {
        $size = $header_len;
        for (@records) { $size = length $_ if length $_ > $size }
    }
    my $n = $d{num_records} // (1 + @records);
    my $file_size = $d{file_size} // $size * (1 + @records);
    my $fields = pack('s<s<', $d{mob_class} // 1, $d{mob_inst} // 2)
        . pack('a16', $d{bsc_name} // 'BSC-TEST')
        . pack('s<', $d{meas_type} // 11)
        . pack('vv', ($file_size >> 16) & 0xFFFF, $file_size & 0xFFFF)
        . pack('v', $n & 0xFFFF)
        . pack('a16a16', $start, $end);
    my $pgrh = $layout == 66 ? $fields
             : $layout == 72 ? pack('Cx', $release) . $fields . "\0\0\0\0"
             : $layout == 74 ? pack('Cx', $release) . $fields . "\0\0\0\0\0\0"
             :                 pack('s<x2', $release) . $fields . "\0" x 6;
    my $code = $d{header_code} // $header_len;
    my $header = pack('CCs<CC', $code, 0, 0, $rtype, 1) . $pgrh;
    my $bytes = '';
    for my $rec ($header, @records) {
        $bytes .= length $rec >= $size ? substr($rec, 0, $size) : $rec . "\xFF" x ($size - length $rec);
    }
    $bytes = substr($bytes, 0, $d{truncate}) if defined $d{truncate};
    $bytes .= $d{append} if defined $d{append};
    return $bytes;
}

sub write_file {
    my ($path, $bytes) = @_;
    open my $fh, '>:raw', $path or croak "$path: $!";
    print {$fh} $bytes;
    close $fh or croak "$path: $!";
    return $path;
}

1;
