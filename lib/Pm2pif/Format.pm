package Pm2pif::Format;
# Other output forms. The PIF files a conversion wrote are read back into blocks (header
# names and values, columns, rows), so that every form carries what the PIF files carry
# and nothing else; each form has one writer over those blocks.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(basename);
use JSON::PP ();
use POSIX ();
use Pm2pif::Util qw(count_lines file_name_part kind_name);

our $VERSION = '1.00';
our @EXPORT_OK = qw(format_spec format_names read_pif epoch_of seconds_of block_facts block_records json_value
    iso_of json_encoder json_text
    csv_line influx_text ves_event write_format);

# Output form => [extension, one file per block (else one per input), may go to standard
# output, name in messages].
my %FORMATS = (
    pif    => [ 'pif',     1, 0, 'PIF' ],
    csv    => [ 'csv',     1, 1, 'CSV' ],
    jsonl  => [ 'jsonl',   0, 1, 'JSON Lines' ],
    json   => [ 'json',    0, 1, 'JSON' ],
    influx => [ 'lp',      0, 1, 'line-protocol' ],
    ves    => [ 'ves.json', 0, 0, 'VES' ],
);
# The form's [extension, one file per block, may go to standard output, name in
# messages], or undef for no form of that name.
sub format_spec { my ($format) = @_; return $FORMATS{$format} }

sub format_names { return sort keys %FORMATS }

my $JSON_CLASS = eval { require Cpanel::JSON::XS; 'Cpanel::JSON::XS' } // 'JSON::PP';
my $NUMBER = qr/\A-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][-+]?\d+)?\z/;
my %MONTHS = (Jan => 0, Feb => 1, Mar => 2, Apr => 3, May => 4, Jun => 5, Jul => 6, Aug => 7, Sep => 8,
              Oct => 9, Nov => 10, Dec => 11);
my $VES_LISTENER_VERSION = '7.2.1';
my $VES_HEADER_VERSION = '4.1';
# Names the modules give the network element, best first.
my @ELEMENT_NAMES = qw(localDn neun nEUserName senderName BSSNUM);

# Which element's attribute a plain header name stands for when several carry it: the
# block's period first, then the entity measured, the block and its job, then the file's.
my %ELEMENT_RANK = (granPeriod => 0, managedElement => 1, measEntity => 1, measInfo => 2, job => 3);
sub element_rank { my ($element) = $_[0] =~ /\A([^.]+)\./; return $ELEMENT_RANK{ $element // '' } // 4 }

# The blocks of a PIF file: [{ name, header => [names], values => [values], columns,
# rows => [[fields]] }]. Dies when the file does not keep the PIF grammar.
sub read_pif {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "cannot read $path: $!\n";
    my (@blocks, @header, @values, $block, $want);
    while (my $line = <$fh>) {
        chomp $line;
        my @fields = split /\|/, $line, -1;
        if ($line =~ /\A##START\|(.*)\z/s) {
            $want = $1 eq 'HEADER' ? 'header' : 'columns';
            $block = { name => $1, header => [@header], values => [@values], columns => [], rows => [] }
                unless $1 eq 'HEADER';
        } elsif ($line =~ /\A##END\|(.*)\z/s) {
            push @blocks, $block if $1 ne 'HEADER' && $block;
            ($block, $want) = (undef, undef);
        } elsif ($line =~ /\A##/ || !defined $want) {
            next;
        } elsif ($want eq 'header') {
            @header = map { plain_value($_) } @fields;
            $want = 'values';
        } elsif ($want eq 'values') {
            @values = @fields;
            $want = undef;
        } elsif ($want eq 'columns') {
            $block->{columns} = [ map { plain_value($_) } @fields ];
            $want = 'rows';
        } else {
            die "$path: a row of block $block->{name} has " . @fields . ' fields for ' . @{ $block->{columns} }
                . " columns\n" if @fields != @{ $block->{columns} };
            push @{ $block->{rows} }, \@fields;
        }
    }
    die "$path: block $block->{name} has no end line\n" if $block;
    return @blocks;
}

# A value as the other forms carry it: measdoc writes a text holding blanks in double
# quotes, which are no part of the value.
sub plain_value {
    my ($value) = @_;
    return $value =~ /\A"(.*\s.*)"\z/s ? $1 : $value;
}

# Seconds since the epoch of a time as the modules write it: ISO 8601 (XML), compact
# 20261205101500 with an optional zone (older XML), 05Dec2026 with 14:30:00 or 10:00
# (BER, Alcatel). A time without a zone is taken as UTC. undef when it is none of these.
sub epoch_of {
    my ($date, $time) = @_;
    return undef unless defined $date && $date ne '';
    my ($y, $mo, $d, $h, $mi, $s, $frac, $zone);
    if (($y, $mo, $d, $h, $mi, $s, $frac, $zone) =
        $date =~ /\A(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?(Z|[-+]\d\d:?\d\d)?\z/) {
    } elsif (($y, $mo, $d, $h, $mi, $s, $zone) =
        $date =~ /\A(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)(Z|[-+]\d\d:?\d\d)?\z/) {
    } elsif (defined $time && (my ($dd, $mon, $yy) = $date =~ /\A(\d\d)([A-Z][a-z]{2})(\d{4})\z/)) {
        return undef unless exists $MONTHS{$mon} && $time =~ /\A(\d\d):(\d\d)(?::(\d\d))?\z/;
        ($y, $mo, $d, $h, $mi, $s) = ($yy, $MONTHS{$mon} + 1, $dd, $1, $2, $3 // 0);
    } else {
        return undef;
    }
    my $epoch = timegm_of($y, $mo, $d, $h, $mi, $s) + ($frac // 0);
    if (defined $zone && $zone ne 'Z') {
        my ($sign, $zh, $zm) = $zone =~ /([-+])(\d\d):?(\d\d)/;
        $epoch -= ($sign eq '-' ? -1 : 1) * ($zh * 3600 + $zm * 60);
    }
    return $epoch;
}

sub timegm_of {
    my ($y, $mo, $d, $h, $mi, $s) = @_;
    # Days from the civil date (proleptic Gregorian), so that no time zone of the host applies.
    $y -= $mo <= 2;
    my $era = int($y / 400);
    my $yoe = $y - $era * 400;
    my $doy = int((153 * ($mo + ($mo > 2 ? -3 : 9)) + 2) / 5) + $d - 1;
    my $doe = $yoe * 365 + int($yoe / 4) - int($yoe / 100) + $doy;
    return (($era * 146097 + $doe - 719468) * 86400) + $h * 3600 + $mi * 60 + $s;
}

sub iso_of {
    my ($epoch) = @_;
    return undef unless defined $epoch;
    my $whole = POSIX::floor($epoch);
    my $frac = $epoch - $whole;
    return POSIX::strftime('%Y-%m-%dT%H:%M:%S', gmtime $whole)
        . ($frac ? sprintf('%.3f', $frac) =~ s/\A0//r : '') . 'Z';
}

# Seconds of a granularity period: a number of seconds or an ISO 8601 duration (PT900S).
sub seconds_of {
    my ($text) = @_;
    return undef unless defined $text && $text ne '';
    return 0 + $text if $text =~ /\A\d+\z/;
    my ($d, $h, $m, $s) = $text =~ /\AP(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:\.\d+)?)S)?)?\z/ or return undef;
    return ($d // 0) * 86400 + ($h // 0) * 3600 + ($m // 0) * 60 + ($s // 0);
}

# What a block's header and columns mean: identity (the columns that name the measured
# object), suspect (the column of the suspect flag), object (identity header fields),
# begin, end (seconds) and granularity, element (the network element's name).
# $config gives the BER object classes' alternative names.
sub block_facts {
    my ($config, $kind, $block, $meta) = @_;
    my %h;
    @h{ @{ $block->{header} } } = map { plain_value($_) } @{ $block->{values} };
    # XML header names carry their element (granPeriod.endTime, fileSender.localDn): the
    # period and the network element are the block's own before the file's.
    for my $name (sort { element_rank($a) <=> element_rank($b) || $a cmp $b } grep {/\./} keys %h) {
        my ($attribute) = $name =~ /\.([^.]+)\z/;
        $h{$attribute} //= $h{$name};
    }
    my %column = map { $_ => 1 } @{ $block->{columns} };
    my (@identity, $suspect, @object);
    if ($kind eq 'xml') {
        @identity = @{ $meta->{identity} // [] };
        $suspect = $meta->{suspect};
    } elsif ($kind eq 'ber') {
        my ($alt) = map { $_->[1] } grep { $_->[0] eq $block->{name} }
            @{ $config->{ber}{ASN1_ALT_OBJECT_INSTANCE_ID_NAMES} // [] };
        @identity = $alt ? (ref $alt ? @$alt : $alt) : $block->{name} eq 'OBJ' ? ('OBJ_ID') : ();
        $suspect = 'suspectFlag';
    } else {
        @object = grep { exists $h{$_} } qw(MOBCLASS MOBINST);
    }
    my $end = epoch_of($h{endTime}) // epoch_of($h{mts} // $h{ts})
        // epoch_of($h{measTimeStamp_Date}, $h{measTimeStamp_Time});
    my $begin = epoch_of($h{collectionBeginTime_Date}, $h{collectionBeginTime_Time});
    if (defined $h{ENDDATE}) {
        # Alcatel times are local; GMTDIFF is UTC minus local time.
        my $diff = ($h{GMTDIFF} // '') =~ /\A-?\d+\z/ ? $h{GMTDIFF} : 0;
        $end   = epoch_of($h{ENDDATE}, $h{ENDTIME});
        $begin = epoch_of($h{STARTDATE}, $h{STARTTIME});
        $_ += $diff for grep {defined} $end, $begin;
    }
    my $granularity = seconds_of($h{duration}) // seconds_of($h{gp}) // seconds_of($h{granularityPeriod})
        // seconds_of($h{granularity});
    $begin = $end - $granularity if defined $end && defined $granularity && !defined $h{ENDDATE};
    $begin //= epoch_of($h{beginTime}) // epoch_of($h{cbt});
    my ($element) = grep { defined && $_ ne '' } @h{@ELEMENT_NAMES};
    return {
        identity => [ grep { $column{$_} } @identity ],
        suspect  => defined $suspect && $column{$suspect} ? $suspect : undef,
        object   => { map { $_ => $h{$_} } @object },
        header   => \%h,
        begin => $begin, end => $end, granularity => $granularity, element => $element,
    };
}

# Whether a row's suspect-flag field marks it suspect: TRUE in XML files, anything but
# 00 in BER files. undef for a block without the flag.
sub is_suspect {
    my ($kind, $value) = @_;
    return undef unless defined $value;
    return $kind eq 'ber' ? ($value ne '00' && $value ne '' ? 1 : 0) : (uc $value eq 'TRUE' ? 1 : 0);
}

# The rows of a block as records: { object => {name => value}, suspect, counters =>
# [[name, value]] } in column order.
sub block_records {
    my ($kind, $block, $facts) = @_;
    my %special = map { $_ => 1 } @{ $facts->{identity} }, grep {defined} $facts->{suspect};
    my @columns = @{ $block->{columns} };
    my @records;
    for my $row (@{ $block->{rows} }) {
        my %field;
        @field{@columns} = map { plain_value($_) } @$row;
        push @records, {
            object   => { %{ $facts->{object} }, map { $_ => $field{$_} } @{ $facts->{identity} } },
            suspect  => defined $facts->{suspect} ? is_suspect($kind, $field{ $facts->{suspect} }) : undef,
            counters => [ map { [ $_, $field{$_} ] } grep { !$special{$_} } @columns ],
        };
    }
    return \@records;
}

# A value for a JSON text: a number where it is one, a list of numbers for a compound
# value ("86,87,2"), null for an empty field, a text otherwise.
sub json_value {
    my ($value) = @_;
    return undef if !defined $value || $value eq '';
    return json_number($value) if $value =~ $NUMBER;
    my @parts = split /,/, $value, -1;
    return [ map { json_number($_) } @parts ] if @parts > 1 && !grep { !/$NUMBER/ } @parts;
    return json_text($value);
}

# A number as a JSON number with the digits the file gave: one that Perl's own numbers
# would round goes through Math::BigFloat.
sub json_number {
    my ($text) = @_;
    my $n = 0 + $text;
    return $n if "$n" eq $text;
    require Math::BigFloat;
    return Math::BigFloat->new($text);
}

# Texts are octets: valid UTF-8 is taken as such, anything else as Latin-1.
sub json_text {
    my ($text) = @_;
    return $text unless defined $text;
    my $copy = $text;
    utf8::decode($copy);
    return $copy;
}

sub json_encoder { $JSON_CLASS->new->utf8->canonical->allow_bignum }

# The rows of every block of an input as JSON objects.
sub json_rows {
    my ($shown, $kind, $blocks) = @_;
    my @rows;
    for my $b (@$blocks) {
        my ($block, $facts) = @$b;
        for my $record (@{ block_records($kind, $block, $facts) }) {
            push @rows, {
                file => json_text($shown), block => json_text($block->{name}),
                begin => iso_of($facts->{begin}), end => iso_of($facts->{end}),
                granularity => defined $facts->{granularity} ? 0 + $facts->{granularity} : undef,
                object => { map { json_text($_) => json_text($record->{object}{$_}) } keys %{ $record->{object} } },
                suspect => !defined $record->{suspect} ? undef
                    : $record->{suspect} ? JSON::PP::true() : JSON::PP::false(),
                counters => { map { json_text($_->[0]) => json_value($_->[1]) } @{ $record->{counters} } },
            };
        }
    }
    return @rows;
}

# RFC 4180: fields holding a comma, a double quote or a line break are quoted, quotes
# doubled; lines end in CR LF.
sub csv_line {
    return join(',', map { my $v = $_ // ''; $v =~ /[",\r\n]/ ? '"' . ($v =~ s/"/""/gr) . '"' : $v } @_) . "\r\n";
}

sub csv_text {
    my ($block, $facts) = @_;
    my %column = map { $_ => 1 } @{ $block->{columns} };
    my @extra = grep { !$column{$_} && !/\A(?:begin|end|granularity)\z/ } @{ $block->{header} };
    my $text = csv_line('begin', 'end', 'granularity', @{ $block->{columns} }, @extra);
    my @times = (iso_of($facts->{begin}), iso_of($facts->{end}), $facts->{granularity});
    my @more = @{ $facts->{header} }{@extra};
    $text .= csv_line(@times, (map { plain_value($_) } @$_), @more) for @{ $block->{rows} };
    return $text;
}

# InfluxDB line protocol: a measurement escapes commas and blanks, tag keys and values
# and field keys also equals signs; a text field is quoted with its quotes and
# backslashes escaped. A backslash in a name is doubled: one ending a tag value would
# escape the separator after it. Empty tags and fields cannot be written and are left
# out, and so is a row without any field.
sub lp_name  { my ($t) = @_; $t =~ s/([,\s\\])/\\$1/g; $t }
sub lp_key   { my ($t) = @_; $t =~ s/([,=\s\\])/\\$1/g; $t }
sub lp_field {
    my ($value) = @_;
    return $value if $value =~ $NUMBER;
    return '"' . ($value =~ s/(["\\])/\\$1/gr) . '"';
}

sub influx_text {
    my ($kind, $block, $facts) = @_;
    my $time = defined $facts->{end} ? sprintf(' %.0f', $facts->{end} * 1e9) : '';
    $time = ' ' . int($facts->{end}) . '000000000' if defined $facts->{end} && $facts->{end} == int $facts->{end};
    my $text = '';
    for my $record (@{ block_records($kind, $block, $facts) }) {
        my %tags = %{ $record->{object} };
        $tags{ne} = $facts->{element} if defined $facts->{element};
        my @fields = map { lp_key($_->[0]) . '=' . lp_field($_->[1]) } grep { $_->[1] ne '' } @{ $record->{counters} };
        push @fields, 'suspect=' . ($record->{suspect} ? 'true' : 'false') if defined $record->{suspect};
        next unless @fields;
        $text .= join(',', lp_name($block->{name}),
            map { lp_key($_) . '=' . lp_key($tags{$_}) } grep { defined $tags{$_} && $tags{$_} ne '' } sort keys %tags)
            . ' ' . join(',', @fields) . "$time\n";
    }
    return $text;
}

# One event of the perf3gpp domain for the whole input: a measInfo per block, the
# measured object's names as its instance, results by their position.
sub ves_event {
    my ($shown, $digest, $kind, $blocks) = @_;
    my (@infos, $begin, $end, $granularity, $element, %entity);
    for my $b (@$blocks) {
        my ($block, $facts) = @$b;
        $begin //= $facts->{begin};
        $end //= $facts->{end};
        $granularity //= $facts->{granularity};
        $element //= $facts->{element};
        # The network element's type names the event; its label and software version are
        # the entity's.
        for (grep { !defined $entity{ $_->[0] } } [ type => qw(elementType senderType st) ],
                [ label => qw(userLabel neun nEUserName) ], [ version => qw(swVersion) ]) {
            my ($key, @names) = @$_;
            ($entity{$key}) = grep { defined && $_ ne '' } @{ $facts->{header} }{@names};
        }
        my $records = block_records($kind, $block, $facts);
        my @types = map { $_->[0] } @{ $records->[0]{counters} // [] };
        @types = grep { my $c = $_; !grep { $_ eq $c } @{ $facts->{identity} }, $facts->{suspect} // () }
            @{ $block->{columns} } unless @$records;
        push @infos, {
            measInfoId => { sMeasInfoId => json_text($facts->{header}{measInfoId} // $block->{name}) },
            measTypes => { sMeasTypesList => [ map { json_text($_) } @types ] },
            measValuesList => [ map {
                my $record = $_;
                my $p = 0;
                +{ measObjInstId => json_text(object_name($record->{object})),
                   suspectFlag => $record->{suspect} ? 'true' : 'false',
                   measResults => [ map { $p++; ves_result($p, $_->[1]) } @{ $record->{counters} } ] };
            } @$records ],
        };
    }
    my %header = (
        domain => 'perf3gpp', eventId => json_text("$digest-" . basename($shown)),
        eventName => json_text('perf3gpp_' . ($entity{type} // kind_name($kind)) . '_pmMeasResult'),
        sequence => 0, priority => 'Normal',
        reportingEntityName => 'pm2pif', sourceName => json_text($element // basename($shown)),
        startEpochMicrosec => int(($begin // $end // 0) * 1e6), lastEpochMicrosec => int(($end // $begin // 0) * 1e6),
        version => $VES_HEADER_VERSION, vesEventListenerVersion => $VES_LISTENER_VERSION,
    );
    return { event => { commonEventHeader => \%header, perf3gppFields => {
        perf3gppFieldsVersion => '1.0',
        measDataCollection => { granularityPeriod => int($granularity // 0),
            measuredEntityDn => json_text($element // ''), measInfoList => \@infos,
            map { defined $entity{ $_->[1] } ? ($_->[0] => json_text($entity{ $_->[1] })) : () }
                [ measuredEntityUserName => 'label' ], [ measuredEntitySoftwareVersion => 'version' ] } } } };
}

# The measured object's names as one distinguished name: the parts measdoc split off
# (measObjLdn_UtranCell) named after their class, a BER object identifier as it is.
sub object_name {
    my ($object) = @_;
    my @names = sort keys %$object;
    return $object->{OBJ_ID} if @names == 1 && $names[0] eq 'OBJ_ID';
    return join ',', map { (s/\A.*_(?=.)//sr) . "=$object->{$_}" } @names;
}

sub ves_result {
    my ($p, $value) = @_;
    return { p => $p, isNull => 'true' } if !defined $value || $value eq '';
    return { p => $p, iValue => json_number($value) } if $value =~ /\A-?(?:0|[1-9]\d*)\z/;
    return { p => $p, rValue => json_number($value) } if $value =~ $NUMBER;
    return { p => $p, sValue => json_text($value) };
}

# Rewrites the PIF files of a converted input, in $dir, into the run's output form:
# replaces $r->{files} with the new files. Dies with the reason when a file cannot be read
# back or written.
sub write_format {
    my ($run, $in, $dir, $r, $meta) = @_;
    my $format = $run->{opt}{format};
    my ($ext, $per_block) = @{ $FORMATS{$format} };
    my @blocks;
    my @made;
    my $number = 0;
    for my $f (@{ $r->{files} }) {
        my $k = 0;
        for my $block (read_pif("$dir/$f->{tmp}")) {
            my $facts = block_facts($run->{config}, $r->{kind}, $block, $meta->{ $f->{tmp} });
            push @blocks, [ $block, $facts ];
            next unless $per_block;
            my $tmp = sprintf 'form%06d.%s', $number++, $ext;
            write_octets("$dir/$tmp", csv_text($block, $facts));
            # A file of several blocks (Alcatel) gives a file per block, numbered.
            my %file = defined $f->{prefix} ? (prefix => $f->{prefix}, ext => $ext)
                : (name => ($f->{name} =~ s/(?:-#-I)?\.[^.]*\z//r) . "-#-$k-#-"
                    . file_name_part($block->{name}) . ".$ext");
            push @made, { tmp => $tmp, %file };
            $k++;
        }
        unlink "$dir/$f->{tmp}";
    }
    unless ($per_block) {
        my $text;
        if ($format eq 'jsonl') {
            my $json = json_encoder();
            $text = join '', map { $json->encode($_) . "\n" } json_rows($in->{shown}, $r->{kind}, \@blocks);
        } elsif ($format eq 'json') {
            $text = json_encoder()->pretty->encode([ json_rows($in->{shown}, $r->{kind}, \@blocks) ]);
        } elsif ($format eq 'influx') {
            $text = join '', map { influx_text($r->{kind}, @$_) } @blocks;
        } else {
            $text = json_encoder()->encode(ves_event($in->{shown}, $r->{digest}, $r->{kind}, \@blocks)) . "\n";
        }
        write_octets("$dir/form.$ext", $text);
        (my $base = basename($in->{name} // $in->{path})) =~ s/\.gz\z//i;
        @made = { tmp => "form.$ext", prefix => file_name_part($base) . '-#-', ext => $ext };
    }
    $r->{lines} = 0;
    $r->{lines} += count_lines("$dir/$_->{tmp}") for @made;
    $r->{files} = \@made;
}

sub write_octets {
    my ($path, $text) = @_;
    open my $fh, '>:raw', $path or die "cannot write $path: $!\n";
    print {$fh} $text or die "cannot write $path: $!\n";
    close $fh or die "cannot write $path: $!\n";
}

1;
