package Pm2pif::Util;
# Texts every part of pm2pif shapes the same way: file-name parts, one-line messages,
# error texts without Perl's place, kind names, counts.
use strict;
use warnings;
use Exporter 'import';

our $VERSION = '1.00';
our @EXPORT_OK = qw(file_name_part one_line kind_name plural short_error count_lines);

# A part of a file name: no "/", NUL or line break, no "-#-" (which separates the parts),
# at most 100 octets.
sub file_name_part {
    my ($text) = @_;
    $text =~ tr{/\0\n\r}{____};
    $text =~ s/-#-/-_-/g;
    return length $text > 100 ? substr($text, 0, 100) : $text;
}

# A message on one line: line breaks become "; ", trailing separators go.
sub one_line {
    my ($text) = @_;
    $text =~ s/\s*\n\s*/; /g;
    $text =~ s/[;\s]+\z//;
    return $text;
}

sub kind_name { { xml => 'XML', ber => 'BER', alcatel => 'Alcatel' }->{ $_[0] // '' } // 'unknown' }

sub plural { my ($n, $what) = @_; return "$n $what" . ($n == 1 ? '' : 's') }

# An error text without the place Perl appends to it.
sub short_error {
    my ($error) = @_;
    $error =~ s/ at \S+ line \d+\.?\n?\z//;
    chomp $error;
    return $error;
}

# The lines of a file; 0 when it cannot be read.
sub count_lines {
    my ($path) = @_;
    open my $fh, '<:raw', $path or return 0;
    my ($lines, $buf) = (0, '');
    $lines += ($buf =~ tr/\n//) while read $fh, $buf, 1 << 20;
    return $lines;
}

1;
