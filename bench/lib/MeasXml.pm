package MeasXml;
# What the XML benchmark's Perl converters share: the measdoc configuration the
# benchmark uses for each layout, the value rules that decide the result's texts
# (distinguished names, quoting, block names, suspect flags), and a canonical text of a
# result, so that the hash of any converter can be compared with measdoc_data's.
#
# The result has the shape of measdoc_data: "commonHeaderData" and "dataTypeDict", then
# one entry per measurement-info block ("0", "1", ...) holding "internalHeaderData",
# "blockName" and one { pifData => {...} } per row.
use strict;
use warnings;
use Data::Dumper ();
use Exporter 'import';

our @EXPORT_OK = qw(measdoc_config quote dn_pairs dist_block suspect_value canonical layout_of);

# The configuration the benchmark gives measdoc, item by item in setter order. Type 1
# (measCollecFile) takes the layout's defaults except where they do not fit 3GPP files
# as equipment writes them: vendor names are no distinguished names, the suspect element
# is "suspect", and both counter styles (measTypes/measResults lists and measType/r
# elements) are read. Type 0 (mdc) takes the defaults as they are.
sub measdoc_config {
    my ($layout) = @_;
    return [ [ xmlDocumentType => 0 ] ] if $layout eq 'mdc';
    return [
        [ measureTypeElementSeq         => 'measTypes', 'measType' ],
        [ measurementResultsElementSeq  => 'measResults', 'r' ],
        [ suspectFlagElementName        => 'suspect' ],
        [ distinguishedNameElementNames => 'fileHeader.dnPrefix', 'managedElement.localDn', 'measValue.measObjLdn' ],
        [ xmlDocumentType               => 1 ],
    ];
}

# Which layout a file has, from its root element.
sub layout_of {
    my ($file) = @_;
    open my $fh, '<', $file or die "$file: $!\n";
    while (my $line = <$fh>) {
        return 'mdc' if $line =~ /<mdc[\s>]/;
        return 'measCollec' if $line =~ /<measCollecFile[\s>]/;
    }
    die "$file: neither a measCollecFile nor an mdc file\n";
}

# A text with a space is enclosed in double quotes.
sub quote { return index($_[0], ' ') >= 0 ? qq{"$_[0]"} : $_[0] }

# The pairs of a distinguished name such as "SubNetwork=1,ManagedElement=RNC01" under
# `prefix`: prefix_SubNetwork => 1, prefix_ManagedElement => RNC01, values quoted; a
# name repeated within the text gets _1, _2, ... Dies like measdoc's run fails on a text
# whose pieces do not pair up.
sub dn_pairs {
    my ($prefix, $text) = @_;
    my @pieces = split /[,=]/, $text, -1;
    die "inconsistent name and value pair: '$text'\n" if @pieces % 2;
    my (%seen, @pairs);
    for my $component (split /,/, $text, -1) {
        my ($name, @value) = split /=/, $component, -1;
        my $key = "${prefix}_$name";
        my $n = $seen{$key}++;
        $key .= "_$n" if $n;
        push @pairs, $key, quote(join '', @value);
    }
    return @pairs;
}

# Block name of a distinguished name: its attribute names joined with "_".
sub dist_block {
    my ($text) = @_;
    (my $name = join '_', map { (split /=/, $_, 2)[0] } split /,/, $text, -1) =~ tr/ \t\n\f\r/_/;
    return $name;
}

sub suspect_value { return uc($_[0] // '') eq 'TRUE' ? 'TRUE' : 'FALSE' }

# The same data with every value as text: a converter may hold 1 as a number where
# another holds the text "1".
sub as_text {
    my ($v) = @_;
    return { map { $_ => as_text($v->{$_}) } keys %$v } if ref $v eq 'HASH';
    return [ map { as_text($_) } @$v ] if ref $v eq 'ARRAY';
    return defined $v ? "$v" : undef;
}

# A text that is equal for two results exactly when they hold the same blocks with the
# same header data, in any order (measdoc's workers may finish sections in any order).
sub canonical {
    my ($result) = @_;
    $result = as_text($result);
    local $Data::Dumper::Sortkeys = 1;
    local $Data::Dumper::Indent = 0;
    local $Data::Dumper::Terse = 1;
    my @blocks;
    for my $key (grep { /^\d+\z/ } keys %$result) {
        push @blocks, Data::Dumper::Dumper([ $result->{commonHeaderData}{$key}, $result->{$key} ]);
    }
    my %rest = %$result;
    delete @rest{ grep { /^\d+\z/ } keys %rest };
    delete $rest{commonHeaderData};
    my @extra = grep { !/^\d+\z/ } keys %{ $result->{commonHeaderData} // {} };
    return join "\n", Data::Dumper::Dumper(\%rest), Data::Dumper::Dumper(\@extra), sort @blocks;
}

1;
