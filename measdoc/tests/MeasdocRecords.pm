package MeasdocRecords;

=head1 NAME

MeasdocRecords - test-only: the measdoc data hash of hand-made records

=head1 SYNOPSIS

    my $data = MeasdocRecords::export_data({
        header => [ [ 'vn', 'X', 0 ] ],
        footer => [ [ 'ts', '2005', 0 ] ],
        blocks => [ {
            common => [ [ 'nedn_SubNetwork', '1', 1 ] ],
            rows   => [ { unique => [...], results => [...], instances => [...],
                          suspect => [...], blockname => [ [ 'NAME', undef ] ] } ],
        } ],
    });

Each pair is C<[name, value, type]>; an undefined name or value stands for none. Returns
what C<measdoc::measdoc_data> returns for the same records. Not installed.

=cut

use strict;
use warnings;

our $VERSION = '1.00';

require XSLoader;
XSLoader::load('MeasdocRecords', $VERSION);

1;
