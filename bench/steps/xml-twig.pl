#!/usr/bin/perl
# The XML::Twig version of the converter in xml-libxml.pl: one handler per section of
# the file (header, each measurement-data section, footer), each section purged when it
# has been converted, the same result hash. Timed from parsing to the finished hash:
#   perl xml-twig.pl FILE [--dump]
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../lib";
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use XML::Twig;
use MeasXml qw(quote dn_pairs dist_block suspect_value canonical layout_of);

my ($file, $dump) = @ARGV;
my $layout = layout_of($file);
my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my $result = { commonHeaderData => {}, dataTypeDict => {} };
my $dict = $result->{dataTypeDict};
my (@file_header, @blocks);    # blocks wait for the footer, whose values they share

sub add_types {
    my ($type, @pairs) = @_;
    for (my $i = 0; $i < @pairs; $i += 2) { $dict->{ $pairs[$i] } = $type }
}

# One block: its own header pairs, the counter names, the rows' elements.
sub add_block {
    my ($common, $names, $period, $rows, $row_parts) = @_;
    my %entry;
    my $row = 0;
    for my $value (@$rows) {
        my ($object, $values, $suspect_name, $suspect) = $row_parts->($value);
        die "row $row: " . @$values . ' values for ' . @$names . " counters\n" if @$values != @$names;
        my @instance = dn_pairs($layout eq 'mdc' ? 'moid' : 'measObjLdn', $object);
        my %pif;
        @pif{@$names} = map { quote($_) } @$values;
        %pif = (%pif, @instance);
        $pif{$suspect_name} = suspect_value($suspect) if defined $suspect;
        $entry{internalHeaderData} = { @instance, @$period };
        add_types(1, @instance);
        add_types(0, @$period);
        $entry{blockName} = dist_block($object);
        $entry{ $row++ } = { pifData => \%pif };
    }
    push @blocks, [ $common, \%entry ];
}

my %handlers = $layout eq 'mdc' ? (
    'mfh' => \&mdc_header, 'mff' => \&mdc_header,
    'md'  => sub {
        my ($twig, $data) = @_;
        my @common = map { dn_pairs('nedn', $_->text) } map { $_->children('nedn') } $data->children('neid');
        add_types(1, @common);
        for my $info ($data->children('mi')) {
            my @names = map { quote(substr $_->text, 0, 60) } $info->children('mt');
            my @period = map { ($_->tag, quote($_->text)) } $info->children(qr/^(?:mts|gp)\z/);
            add_block(\@common, \@names, \@period, [ $info->children('mv') ], sub {
                my ($mv) = @_;
                my $sf = $mv->first_child('sf');
                return ($mv->first_child_text('moid'), [ map { $_->text } $mv->children('r') ], 'sf',
                        $sf ? $sf->text : undef);
            });
        }
        $twig->purge;
    },
) : (
    'fileHeader' => sub {
        my ($twig, $h) = @_;
        my @plain = attributes($h, qw(vendorName fileFormatVersion));
        if (my $sender = $h->first_child('fileSender')) {
            push @plain, attributes($sender, qw(elementType localDn));
        }
        if (my $collec = $h->first_child('measCollec')) {
            push @plain, attributes($collec, qw(endTime beginTime));
        }
        header_pairs(@plain);
        my @dn = dn_pairs('dnPrefix', $h->att('dnPrefix'));
        add_types(1, @dn);
        push @file_header, @dn;
        $twig->purge;
    },
    'fileFooter' => sub {
        my ($twig, $f) = @_;
        header_pairs(map { attributes($_, qw(endTime beginTime)) } $f->children('measCollec'));
        $twig->purge;
    },
    'measData' => sub {
        my ($twig, $data) = @_;
        my @common = dn_pairs('localDn', $data->first_child('managedElement')->att('localDn'));
        add_types(1, @common);
        for my $info ($data->children('measInfo')) {
            my @names = map { split / /, $_->text, -1 } $info->children('measTypes');
            push @names, map { $_->text } $info->children('measType');
            $_ = quote(substr $_, 0, 60) for @names;
            my $gp = $info->first_child('granPeriod');
            my @period = attributes($gp, qw(endTime duration));
            $_ = quote($_) for @period[ grep { $_ % 2 } 0 .. $#period ];
            add_block(\@common, \@names, \@period, [ $info->children('measValue') ], sub {
                my ($mv) = @_;
                my @values = map { split / /, $_->text, -1 } $mv->children('measResults');
                push @values, map { $_->text } $mv->children('r');
                my $suspect = $mv->first_child('suspect');
                return ($mv->att('measObjLdn'), \@values, 'suspect', $suspect ? $suspect->text : undef);
            });
        }
        $twig->purge;
    },
);

XML::Twig->new(twig_handlers => \%handlers)->parsefile($file);

# Every block shares the file's header and footer values.
my $block = 0;
for (@blocks) {
    my ($common, $entry) = @$_;
    $result->{commonHeaderData}{$block} = { @file_header, @$common };
    $result->{ $block++ } = $entry;
}
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
print $dump ? canonical($result) . "\n" : "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\n";

# name => value of each of the named attributes that the element has: an element without
# one gives no such pair (the footer's measCollec has no beginTime: the header's stays).
sub attributes {
    my ($element, @names) = @_;
    return map { defined $element->att($_) ? ($_ => $element->att($_)) : () } @names;
}

sub header_pairs {
    my (@plain) = @_;
    for (my $i = 0; $i < @plain; $i += 2) {
        push @file_header, $plain[$i], quote($plain[$i + 1]);
        add_types(0, $plain[$i], 0);
    }
}

sub mdc_header {
    my ($twig, $h) = @_;
    for my $item ($h->children) {
        if ($item->tag eq 'sn') {
            my @dn = dn_pairs('sn', $item->text);
            add_types(1, @dn);
            push @file_header, @dn;
        } elsif ($item->tag =~ /^(?:ffv|st|vn|cbt|ts)\z/) {
            header_pairs($item->tag, $item->text);
        }
    }
    $twig->purge;
}
