package Pm2pif::Config;
# The configuration file: reading and checking it, the XML layouts pm2pif knows, and
# the values each module is given. Dies with the reason a configuration cannot be used.
use strict;
use warnings;
use Exporter 'import';
use Tie::IxHash ();
use File::Basename qw(dirname);
use File::Spec;
use JSON::PP ();
use Pm2pif::Util qw(short_error);

our $VERSION = '1.00';
our @EXPORT_OK = qw(load_config xml_items known_root layout_names xml_checks ber_config_hash);

# The measdoc items pm2pif passes on, by their setter names. xmlFileName is left out: it
# is the file being converted.
my @XML_ITEMS = qw(
    xmlNameAttrDelimiter counterListDelimiter headerElementNames uniquePifHeaderElementNames
    uniquePIFBlockElementName measurementValueElementName measureTypeElementSeq
    measurementResultsElementSeq suspectFlagElementName distinguishedNameElementNames
    delimitedCounterElementNames normalCounterElementNames timestampCounterElementNames
    measurementDataElementName measurementHeaderElementName measurementFooterElementName
    outputBlockElementName instanceObject maxCounterNameSize xmlDocumentType threadNumber
    threadStackSize altCounterNullValue outputBlockDescription altCounterNames timestampDesc
    altOutputBlockNames counterListWhiteSpace counterPositionAttribute plainObjectNames
    qualifiedHeaderNames xmlStandardText);
my %IS_XML_ITEM = map { $_ => 1 } @XML_ITEMS;

# Items per root element: the layouts real files arrive in convert without configuration.
# measdoc's own defaults for the current layout know counters only as measTypes/measResults
# lists, while most files give one measType and one r element per counter; they name the
# suspect flag "Suspect", where files write <suspect>; and they read the vendor name, the
# DN prefix and the local DNs as distinguished names, where real files carry plain names
# ("Company NN", "Dublin") that fail the whole file. Only the measured object must be a
# distinguished name: the instance columns and the block name are made from it.
#
# Files write their text as XML means it (entities, CDATA, namespace prefixes), their
# counter lists as XML lists (any white space between items), pair r with measType by the
# p attribute (rows may leave results out), and name some measured objects without "=" or
# not at all: measdoc reads all of that only when told, its defaults keeping its older
# behaviour.
#
# Header names are what a block's PIF header carries: the file header and footer, the
# measured entity, and each block's own identifiers. They are named after their element
# (fileSender.localDn, measCollec.endTime), because several elements carry attributes of
# one name and a pair named by its attribute alone would hide the others.
my @COUNTER_STYLES = (
    measureTypeElementSeq        => [qw(measTypes measType)],
    measurementResultsElementSeq => [qw(measResults r)],
);
my @STANDARD_XML = (
    xmlStandardText          => ['1'],
    counterListWhiteSpace    => ['1'],
    counterPositionAttribute => ['p'],
    plainObjectNames         => ['1'],
);
my @BLOCK_HEADER = qw(measInfo.measInfoId job.jobId granPeriod.duration granPeriod.endTime repPeriod.duration);
# What the two current layouts share: their counter styles, text read as XML, header names
# qualified by their element, and the row's object name.
my @CURRENT_LAYOUT = (
    xmlDocumentType               => ['1'],
    @COUNTER_STYLES,
    @STANDARD_XML,
    qualifiedHeaderNames          => ['1'],
    suspectFlagElementName        => ['suspect'],
    distinguishedNameElementNames => ['measValue.measObjLdn'],
    uniquePifHeaderElementNames   => ['measValue.measObjLdn'],
);
my %XML_LAYOUTS = (
    measCollecFile => {
        @CURRENT_LAYOUT,
        headerElementNames            => [qw(
            fileHeader.fileFormatVersion fileHeader.vendorName fileHeader.dnPrefix
            fileSender.localDn fileSender.elementType measCollec.beginTime measCollec.endTime
            managedElement.localDn managedElement.swVersion managedElement.userLabel), @BLOCK_HEADER],
    },
    # The 5G variant: the entity measured is a measEntity, the sender has a senderName,
    # and the file's begin and end times are measData attributes of the header and footer.
    measDataFile => {
        @CURRENT_LAYOUT,
        headerElementNames            => [qw(
            fileHeader.fileFormatVersion fileHeader.vendorName fileHeader.dnPrefix
            fileSender.senderName fileSender.senderType
            measData.beginTime measData.endTime
            measEntity.localDn measEntity.swVersion measEntity.userLabel), @BLOCK_HEADER],
    },
    mdc => {
        xmlDocumentType    => ['0'],
        @STANDARD_XML,
        headerElementNames => [qw(ffv sn st vn cbt ts nedn neun)],
    },
);

# What pm2pif checks in the files of a layout beyond measdoc. entity: the element each
# data section must hold, the one whose values are measured; measdoc takes any header it
# finds for a block, so a section lacking it would convert with the sender's names in its
# place.
my %XML_CHECKS = (
    measCollecFile => { entity => 'managedElement' },
    measDataFile   => { entity => 'measEntity' },
    mdc            => { entity => 'neid' },
);

my @BER_MAP_KEYS = qw(DIRECTORY_HEADER_FIELDS FILENAME_HEADER_FIELDS ASN1_3GPP_FILENAME_VALIDATION
    ASN1_OBJECT_INSTANCE_ID_DESCRIPTION ASN1_ALT_OBJECT_INSTANCE_ID_NAMES);
my %IS_BER_MAP_KEY = map { $_ => 1 } @BER_MAP_KEYS;

# Without a configuration every file name is accepted and every measured object is of
# class OBJ with its whole identifier as OBJ_ID: nothing is refused or lost.
my %BER_DEFAULTS = (
    FILENAME_HEADER_FIELDS            => [ [ FILENAME => '^(.+)$' ] ],
    ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(senderType measTimeStamp_Date measTimeStamp_Time granularityPeriod)],
);

my %ALCATEL_DEFAULTS = (
    minRelease => 0, maxRelease => 65535, omcName => 'OMC', networkId => '', regionId => '', logLevel => 4,
);

# Reads and checks the configuration file; dies with the reason. Returns
# { xml => { items => {...}, roots => { root => {...} } }, ber => { key => value },
#   alcatel => {...} } with every value in the form the modules take.
sub load_config {
    my ($path) = @_;
    my %config = (xml => { items => {}, roots => {} }, ber => {%BER_DEFAULTS}, alcatel => {%ALCATEL_DEFAULTS});
    return \%config unless defined $path;

    open my $fh, '<:raw', $path or die "cannot read: $!\n";
    my $text = do { local $/; <$fh> };
    close $fh;
    my $doc = eval { JSON::PP->new->relaxed->decode($text) };
    die "not valid JSON: $@" unless defined $doc;
    die "the top level must be an object\n" unless ref $doc eq 'HASH';
    my $base = dirname(File::Spec->rel2abs($path));

    for my $section (sort keys %$doc) {
        my $value = $doc->{$section};
        die "\"$section\" must be an object\n" unless ref $value eq 'HASH';
        if    ($section eq 'xml')     { read_xml_section($config{xml}, $value) }
        elsif ($section eq 'ber')     { read_ber_section($config{ber}, $value) }
        elsif ($section eq 'alcatel') { read_alcatel_section($config{alcatel}, $value, $base) }
        else { die "unknown section \"$section\" (the sections are xml, ber, alcatel)\n" }
    }
    return \%config;
}

sub read_xml_section {
    my ($xml, $section) = @_;
    for my $key (sort keys %$section) {
        if ($IS_XML_ITEM{$key}) {
            $xml->{items}{$key} = xml_values("xml.$key", $key, $section->{$key});
        } elsif ($key eq 'xmlFileName') {
            die "xml.xmlFileName cannot be set: it is the file being converted\n";
        } elsif (ref $section->{$key} eq 'HASH') {
            my $root = $section->{$key};
            for my $item (sort keys %$root) {
                die "xml.$key.$item is no XML item\n" unless $IS_XML_ITEM{$item};
                $xml->{roots}{$key}{$item} = xml_values("xml.$key.$item", $item, $root->{$item});
            }
        } else {
            die "xml.$key is neither an XML item nor a section for a root element (an object)\n";
        }
    }
}

# The values of one item as measdoc queues them: texts in order.
sub xml_values {
    my ($where, $item, $value) = @_;
    my @values;
    if ($item eq 'altOutputBlockNames' && ref $value eq 'HASH') {
        @values = map { ($_, $value->{$_}) } sort keys %$value;
    } elsif (ref $value eq 'ARRAY') {
        @values = @$value;
    } else {
        @values = ($value);
    }
    for (@values) {
        die "$where: values must be texts or numbers\n" unless defined $_ && !ref $_;
        $_ = "$_";
    }
    die "$where: key and replacement texts must pair up\n" if $item eq 'altOutputBlockNames' && @values % 2;
    check_xml_numbers($where, $item, \@values);
    return \@values;
}

# measdoc reads a number item as an unsigned decimal over the whole text and takes
# anything else as 0, and runs 2 threads for any count above 8: a typing error would
# change the run without a word.
my %XML_NUMBER_ITEMS = (
    (map { $_ => [ 0, 1 ] } qw(counterListWhiteSpace plainObjectNames qualifiedHeaderNames xmlStandardText)),
    threadNumber       => [ 0, 8 ],
    threadStackSize    => [ 0, undef ],
    maxCounterNameSize => [ 0, undef ],
    xmlDocumentType    => [ 0, 1 ],
);

# Dies naming the item when a value of a number item is no whole number in its range.
sub check_xml_numbers {
    my ($where, $item, $values) = @_;
    my $range = $XML_NUMBER_ITEMS{$item} or return;
    my ($min, $max) = @$range;
    for my $value (@$values) {
        die "$where: \"$value\" is no whole number (measdoc would read it as 0)\n" unless $value =~ /\A\d+\z/;
        die "$where: $value is outside $min to $max\n" if defined $max && ($value > $max || $value < $min);
    }
}

# Why BerMeas could not compile a configured pattern, in the C library's words, or undef.
# The module drops such a pattern without a word, which would silently change every
# file's output, so the configuration is refused instead.
sub ber_pattern_error {
    my ($pattern) = @_;
    eval { require BerMeas; 1 }
        or die 'the BER module BerMeas, which checks the patterns, cannot be loaded: ' . short_error($@ =~ s/ \(\@INC contains:.*//sr) . "\n";
    return BerMeas::pattern_error($pattern);
}

sub read_ber_section {
    my ($ber, $section) = @_;
    for my $key (sort keys %$section) {
        my $value = $section->{$key};
        if ($IS_BER_MAP_KEY{$key}) {
            $ber->{$key} = ber_pairs("ber.$key", $value);
            next if $key eq 'ASN1_ALT_OBJECT_INSTANCE_ID_NAMES';
            # BerMeas compiles the first pattern of each entry and ignores the others.
            for my $pair (@{ $ber->{$key} }) {
                my ($pattern) = ref $pair->[1] ? @{ $pair->[1] } : $pair->[1];
                next unless defined $pattern;
                my $error = ber_pattern_error($pattern);
                die "ber.$key.$pair->[0]: the pattern \"$pattern\" does not compile: $error\n" if defined $error;
            }
        } elsif ($key eq 'ASN1_HEADER_INFO_FOR_PIF_FILENAME') {
            die "ber.$key must be a list of field names\n"
                unless ref $value eq 'ARRAY' && !grep { !defined $_ || ref $_ } @$value;
            $ber->{$key} = [ map {"$_"} @$value ];
        } elsif ($key eq 'ASN1_ALTERNATIVE_COUNTER_NULL_VALUE') {
            die "ber.$key must be a text\n" unless defined $value && !ref $value;
            $ber->{$key} = "$value";
        } else {
            die "unknown key ber.$key\n";
        }
    }
}

# A map of the BerMeas configuration, as [name, text or [texts]] pairs in the order to use.
# An object gives its entries in sorted order; a list of pairs keeps the order written.
sub ber_pairs {
    my ($where, $value) = @_;
    my @pairs;
    if (ref $value eq 'HASH') {
        @pairs = map { [ $_, $value->{$_} ] } sort keys %$value;
    } elsif (ref $value eq 'ARRAY') {
        for (@$value) {
            die "$where: a list must hold [name, value] pairs\n"
                unless ref $_ eq 'ARRAY' && @$_ == 2 && defined $_->[0] && !ref $_->[0];
            push @pairs, [@$_];
        }
    } else {
        die "$where must be an object or a list of [name, value] pairs\n";
    }
    for my $pair (@pairs) {
        my $v = $pair->[1];
        if (ref $v eq 'ARRAY') {
            die "$where.$pair->[0]: values must be texts\n" if grep { !defined $_ || ref $_ } @$v;
            $pair->[1] = [ map {"$_"} @$v ];
        } else {
            die "$where.$pair->[0]: the value must be a text or a list of texts\n" unless defined $v && !ref $v;
            $pair->[1] = "$v";
        }
        $pair->[0] = "$pair->[0]";
    }
    return \@pairs;
}

sub read_alcatel_section {
    my ($alcatel, $section, $base) = @_;
    for my $key (sort keys %$section) {
        my $value = $section->{$key};
        die "alcatel.$key must be a text or a number\n" unless defined $value && !ref $value;
        if ($key eq 'blockLayout') {
            $alcatel->{$key} = File::Spec->rel2abs("$value", $base);
        } elsif ($key =~ /\A(?:minRelease|maxRelease|logLevel)\z/) {
            die "alcatel.$key must be a whole number\n" unless $value =~ /\A-?\d+\z/;
            $alcatel->{$key} = 0 + $value;
        } elsif ($key =~ /\A(?:omcName|networkId|regionId)\z/) {
            $alcatel->{$key} = "$value";
        } else {
            die "unknown key alcatel.$key\n";
        }
    }
    die "alcatel.minRelease is above alcatel.maxRelease\n" if $alcatel->{minRelease} > $alcatel->{maxRelease};
}

# The items for an XML file with this root element: the layout's, then the configuration's
# items for every file, then those of the root's own section.
sub xml_items {
    my ($config, $root) = @_;
    my %items = %{ $XML_LAYOUTS{ $root // '' } // {} };
    %items = (%items, %{ $config->{xml}{items} });
    %items = (%items, %{ $config->{xml}{roots}{$root} // {} }) if defined $root;
    return \%items;
}

# Whether files with this root element convert: a layout pm2pif knows, or one the
# configuration has a section for.
sub known_root {
    my ($config, $root) = @_;
    return defined $root && ($XML_LAYOUTS{$root} || $config->{xml}{roots}{$root});
}

# The root elements of the layouts pm2pif knows, sorted.
sub layout_names { return sort keys %XML_LAYOUTS }

# What pm2pif checks in files with this root element beyond measdoc, or undef.
sub xml_checks { my ($root) = @_; return $XML_CHECKS{ $root // '' } }

# The BerMeas configuration hash, with maps tied so that the module sees them in order.
sub ber_config_hash {
    my ($ber) = @_;
    my %hash;
    for my $key (keys %$ber) {
        if ($IS_BER_MAP_KEY{$key}) {
            # BerMeas walks its maps in the host's iteration order, and the first matching
            # object description wins.
            tie my %map, 'Tie::IxHash';
            $map{ $_->[0] } = $_->[1] for @{ $ber->{$key} };
            $hash{$key} = \%map;
        } else {
            $hash{$key} = $ber->{$key};
        }
    }
    return \%hash;
}

1;
