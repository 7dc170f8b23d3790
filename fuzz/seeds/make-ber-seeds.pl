#!/usr/bin/perl
# Writes the small hand-made seed inputs of the BER fuzz targets (ber_walk_fuzz,
# bertree_print_fuzz) into fuzz/seeds/ber (run from anywhere):
#   perl fuzz/seeds/make-ber-seeds.pl
# Each one holds a form the decoder or the printer treats apart; the measurement files
# under samples/ber are the other seeds.
use strict;
use warnings;
use FindBin;

my %seed = (
    # Indefinite lengths three deep, an end-of-contents marker with content (streaming
    # form: a marker; tree form: an element), and the closing markers.
    'indefinite.ber' => "\x30\x80\xa1\x80\x31\x80\x02\x01\x05\x00\x01\x00\x00\x00\x00\x00\x00\x00",
    # High tag numbers of one and four continuation octets, a fifth taken as length.
    'high-tags.ber' => "\x30\x0c\x1f\x81\x00\x01\x07\x9f\x81\x81\x81\x01\x01\x08",
    # Long length forms with padding zeros, and a length of five significant octets.
    'long-lengths.ber' => "\x30\x84\x00\x00\x00\x06\x04\x81\x03abc\x04\x85\x01\x00\x00\x00\x00",
    # String tags of several classes, printable and not; a level-7 tag 0 with a line feed.
    'strings.ber' => "\x30\x80\x13\x03abc\x93\x05hello\x1b\x02\x0a\x0d\x04\x05ab\x00de"
        . "\xa0\x80" x 6 . "\x80\x03a\x0ab" . "\x00\x00" x 6 . "\x00\x00",
    # A BOOLEAN of two octets: two in the tree form, one and an identifier when streaming.
    'boolean.ber' => "\x30\x06\x01\x02\xff\x00\x05\x00",
    # A definite element that claims more than the file holds.
    'short.ber' => "\x30\x84\x7f\xff\xff\xff\x04\x84\x7f\xff\xff\xf0ab",
);
for my $name (sort keys %seed) {
    open my $out, '>:raw', "$FindBin::Bin/ber/$name" or die "$name: $!\n";
    print {$out} $seed{$name};
    close $out or die "$name: $!\n";
}
