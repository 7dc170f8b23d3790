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
use File::Basename qw(dirname);
use File::Spec;

our @EXPORT_OK = qw(measdoc_config pm2pif_config quote dn_pairs dist_block suspect_value canonical layout_of
    pif_row result_rows rows_text json_rows go_rows csv_rows go_converter);

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

# The same configuration as pm2pif's configuration file (JSON), for both layouts, with
# `workers` worker threads.
sub pm2pif_config {
    my ($workers) = @_;
    require JSON::PP;
    my %xml = (threadNumber => $workers);
    for my $layout ([ measCollecFile => 'measCollec' ], [ mdc => 'mdc' ]) {
        $xml{ $layout->[0] } = { map { my ($name, @values) = @$_; $name => \@values } @{ measdoc_config($layout->[1]) } };
    }
    return JSON::PP->new->canonical->pretty->encode({ xml => \%xml });
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

# One row of the result as measdoc_data's pifData holds it, from what any converter
# knows of a row: the measured object's name, the counter names and their values in
# the same order, and the suspect flag's text (undef when the row has none).
sub pif_row {
    my ($object, $names, $values, $suspect) = @_;
    my %pif;
    @pif{ map { quote(substr $_, 0, 60) } @$names } = map { quote($_) } @$values;
    %pif = (%pif, dn_pairs('measObjLdn', $object));
    $pif{suspect} = suspect_value($suspect) if defined $suspect;
    return \%pif;
}

# The pifData hashes of every row of a result shaped like measdoc_data's.
sub result_rows {
    my ($result) = @_;
    return map { my $block = $_; map { $block->{$_}{pifData} } grep { /^\d+\z/ } keys %$block }
           map { $result->{$_} } grep { /^\d+\z/ } keys %$result;
}

# A text that is equal for two lists of rows exactly when they hold the same rows, in
# any order: converters that do not build measdoc_data's hash (the Go and Python
# baselines) are compared with it row by row.
sub rows_text {
    my (@rows) = @_;
    return join '', sort map { my $row = $_; join("\t", map { "$_=$row->{$_}" } sort keys %$row) . "\n" } @rows;
}

# The Go baseline, built from bench/go into BUILD_DIR/bench-go (Go's build cache there
# too, so that a second build costs nothing). Returns the program's path, or undef with
# the reason when Go is not installed or the build fails.
sub go_converter {
    my ($build) = @_;
    my $source = File::Spec->rel2abs(dirname(__FILE__) . '/../go');
    my $dir = File::Spec->rel2abs("$build/bench-go");
    return (undef, 'Go is installed by bench/install-bench-deps') unless grep { -x "$_/go" } File::Spec->path;
    mkdir $dir unless -d $dir;
    local $ENV{GOCACHE} = "$dir/cache";
    local $ENV{GOPATH} = "$dir/path";
    local $ENV{GOFLAGS} = '-buildvcs=false';
    my $out = `cd '$source' && go build -o '$dir/pmconv' . 2>&1`;
    return (undef, "go build failed: $out") if $?;
    return "$dir/pmconv";
}

# The rows of pm2pif --raw-json's output (measdoc_data as JSON) in FILE.
sub json_rows {
    my ($file) = @_;
    return result_rows(read_json($file));
}

# The rows of the Go baseline's output in FILE.
sub go_rows {
    my ($file) = @_;
    return map {
        my @names = sort keys %{ $_->{counters} };
        my $suspect = !defined $_->{suspect} ? undef : $_->{suspect} ? 'TRUE' : 'FALSE';
        pif_row($_->{measObjLdn}, \@names, [ @{ $_->{counters} }{@names} ], $suspect)
    } @{ read_json($file)->{records} };
}

# The rows of the CSV files that the Python baseline wrote into DIR.
sub csv_rows {
    my ($dir) = @_;
    my @rows;
    for my $file (glob "$dir/*.csv") {
        open my $fh, '<', $file or die "$file: $!\n";
        my @lines = map { [ csv_fields($_) ] } <$fh>;
        my ($names) = shift @lines;
        my @counters = @$names[ 1 .. $#$names - 1 ];
        for my $line (@lines) {
            my ($object, @values) = @$line;
            my $suspect = pop @values;
            push @rows, pif_row($object, \@counters, \@values, $suspect eq '' ? undef : $suspect);
        }
    }
    return @rows;
}

# The fields of one CSV line as Python's csv module writes them: quoted when they hold
# a comma or a quote, quotes doubled inside.
sub csv_fields {
    my ($line) = @_;
    $line =~ s/\r?\n\z//;
    my @fields;
    while ($line =~ /\G(?:"((?:[^"]|"")*)"|([^,"]*))(,|\z)/gc) {
        my ($quoted, $plain, $more) = ($1, $2, $3);
        push @fields, defined $quoted ? $quoted =~ s/""/"/gr : $plain;
        last if $more eq '';
    }
    return @fields;
}

sub read_json {
    my ($file) = @_;
    require JSON::PP;
    open my $fh, '<:raw', $file or die "$file: $!\n";
    return JSON::PP->new->decode(do { local $/; <$fh> });
}

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
