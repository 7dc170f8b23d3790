#!/usr/bin/perl
# A 3GPP XML converter as a Perl user would write it with XML::LibXML: the whole file
# as a DOM, XPath for every element, the same result hash as measdoc_data gives for the
# benchmark's configuration (see MeasXml.pm). Timed from parsing to the finished hash:
#   perl xml-libxml.pl FILE [--dump]
# --dump prints the canonical text of the result instead of the time.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/../lib";
use Time::HiRes qw(time clock_gettime CLOCK_PROCESS_CPUTIME_ID);
use XML::LibXML;
use MeasXml qw(quote dn_pairs dist_block suspect_value canonical layout_of);

my ($file, $dump) = @ARGV;
my $layout = layout_of($file);
my $t0 = time;
my $cpu0 = clock_gettime(CLOCK_PROCESS_CPUTIME_ID);
my $doc = XML::LibXML->load_xml(location => $file, huge => 1);
my $xpc = XML::LibXML::XPathContext->new($doc);
my $result = $layout eq 'mdc' ? convert_mdc($xpc) : convert_meas_collec($xpc);
my $seconds = time - $t0;
my $cpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID) - $cpu0;
print $dump ? canonical($result) . "\n" : "BENCH-SECONDS $seconds\nBENCH-CPU $cpu\n";

# Fills the result from the header pairs of the file and a list of blocks; each pair
# list alternates name and value, and every name's data type goes into the dictionary.
sub new_result { return { commonHeaderData => {}, dataTypeDict => {} } }

# name => value of each of the named attributes that the element has.
sub attributes {
    my ($element, @names) = @_;
    return map { $element->hasAttribute($_) ? ($_ => $element->getAttribute($_)) : () } @names;
}

sub add_types {
    my ($dict, $type, @pairs) = @_;
    for (my $i = 0; $i < @pairs; $i += 2) { $dict->{ $pairs[$i] } = $type }
}

sub convert_meas_collec {
    my ($xpc) = @_;
    $xpc->registerNs(m => 'http://www.3gpp.org/ftp/specs/archive/32_series/32.435#measCollec');
    my $result = new_result();
    my $dict = $result->{dataTypeDict};

    # File header, then footer: for a name in both, the footer's value counts. An
    # element without one of the attributes named for it gives no such pair (the
    # footer's measCollec has no beginTime: the header's stays).
    my (@plain, @dn);
    for my $h ($xpc->findnodes('/m:measCollecFile/m:fileHeader')) {
        my ($sender) = $xpc->findnodes('m:fileSender', $h);
        my ($collec) = $xpc->findnodes('m:measCollec', $h);
        push @plain, attributes($h, qw(vendorName fileFormatVersion));
        push @plain, attributes($sender, qw(elementType localDn)) if $sender;
        push @plain, attributes($collec, qw(endTime beginTime)) if $collec;
        push @dn, dn_pairs('dnPrefix', $h->getAttribute('dnPrefix'));
    }
    for my $collec ($xpc->findnodes('/m:measCollecFile/m:fileFooter/m:measCollec')) {
        push @plain, attributes($collec, qw(endTime beginTime));
    }
    my @file_header;
    for (my $i = 0; $i < @plain; $i += 2) { push @file_header, $plain[$i], quote($plain[$i + 1]) }
    add_types($dict, 0, @file_header);
    add_types($dict, 1, @dn);
    @file_header = (@file_header, @dn);

    my $block = 0;
    for my $data ($xpc->findnodes('/m:measCollecFile/m:measData')) {
        my ($element) = $xpc->findnodes('m:managedElement', $data);
        my @common = dn_pairs('localDn', $element->getAttribute('localDn'));
        add_types($dict, 1, @common);
        for my $info ($xpc->findnodes('m:measInfo', $data)) {
            my @names = map { split / /, $_->textContent, -1 } $xpc->findnodes('m:measTypes', $info);
            push @names, map { $_->textContent } $xpc->findnodes('m:measType', $info);
            $_ = quote(substr $_, 0, 60) for @names;
            my ($period) = $xpc->findnodes('m:granPeriod', $info);
            my @period = attributes($period, qw(endTime duration));
            $_ = quote($_) for @period[ grep { $_ % 2 } 0 .. $#period ];
            $result->{commonHeaderData}{$block} = { @file_header, @common };
            my %entry;
            my $row = 0;
            for my $value ($xpc->findnodes('m:measValue', $info)) {
                my @values = map { split / /, $_->textContent, -1 } $xpc->findnodes('m:measResults', $value);
                push @values, map { $_->textContent } $xpc->findnodes('m:r', $value);
                die "row $row of block $block: " . @values . ' values for ' . @names . " counters\n" if @values != @names;
                my $object = $value->getAttribute('measObjLdn');
                my @instance = dn_pairs('measObjLdn', $object);
                my %pif;
                @pif{@names} = map { quote($_) } @values;
                %pif = (%pif, @instance);
                my ($suspect) = $xpc->findnodes('m:suspect', $value);
                $pif{suspect} = suspect_value($suspect->textContent) if $suspect;
                $entry{internalHeaderData} = { @instance, @period };
                add_types($dict, 1, @instance);
                add_types($dict, 0, @period);
                $entry{blockName} = dist_block($object);
                $entry{ $row++ } = { pifData => \%pif };
            }
            $result->{ $block++ } = \%entry;
        }
    }
    return $result;
}

sub convert_mdc {
    my ($xpc) = @_;
    $xpc->registerNs(m => 'http://www.3gpp.org/ftp/specs/archive/32_series/32.401#measData');
    my $result = new_result();
    my $dict = $result->{dataTypeDict};

    my @file_header;
    for my $h ($xpc->findnodes('/m:mdc/m:mfh | /m:mdc/m:mff')) {
        for my $item ($xpc->findnodes('m:ffv | m:st | m:vn | m:cbt | m:ts', $h)) {
            push @file_header, $item->localname, quote($item->textContent);
            add_types($dict, 0, $item->localname, 0);
        }
        for my $sn ($xpc->findnodes('m:sn', $h)) {
            my @dn = dn_pairs('sn', $sn->textContent);
            add_types($dict, 1, @dn);
            push @file_header, @dn;
        }
    }

    my $block = 0;
    for my $data ($xpc->findnodes('/m:mdc/m:md')) {
        my @common = map { dn_pairs('nedn', $_->textContent) } $xpc->findnodes('m:neid/m:nedn', $data);
        add_types($dict, 1, @common);
        for my $info ($xpc->findnodes('m:mi', $data)) {
            my @names = map { quote(substr $_->textContent, 0, 60) } $xpc->findnodes('m:mt', $info);
            my @period;
            push @period, $_->localname, quote($_->textContent) for $xpc->findnodes('m:mts | m:gp', $info);
            $result->{commonHeaderData}{$block} = { @file_header, @common };
            my %entry;
            my $row = 0;
            for my $value ($xpc->findnodes('m:mv', $info)) {
                my @values = map { $_->textContent } $xpc->findnodes('m:r', $value);
                die "row $row of block $block: " . @values . ' values for ' . @names . " counters\n" if @values != @names;
                my ($object) = map { $_->textContent } $xpc->findnodes('m:moid', $value);
                my @instance = dn_pairs('moid', $object);
                my %pif;
                @pif{@names} = map { quote($_) } @values;
                %pif = (%pif, @instance);
                my ($suspect) = $xpc->findnodes('m:sf', $value);
                $pif{sf} = suspect_value($suspect->textContent) if $suspect;
                $entry{internalHeaderData} = { @instance, @period };
                add_types($dict, 1, @instance);
                add_types($dict, 0, @period);
                $entry{blockName} = dist_block($object);
                $entry{ $row++ } = { pifData => \%pif };
            }
            $result->{ $block++ } = \%entry;
        }
    }
    return $result;
}
