package measdoc;
# Double of the XML module for pm2pif's tests: its host functions and configuration cycle, the
# results from a comment of the file: <!--FAKE {"data": {...}, "error": "...", "warnings": [...],
# "init_fails": 1, "crash": 1, "sleep": seconds} -->. A start logs its pid to $ENV{FAKE_MEASDOC_LOG}.
use strict;
use warnings;
use JSON::PP;

our $VERSION = '1.00';

# The items of the real module, each with its setter measdoc_set_ITEM.
my @SETTERS = do {
    open my $fh, '<', __FILE__ =~ s{fake/measdoc\.pm\z}{expected/measdoc-items.txt}r or die "measdoc-items.txt: $!";
    grep { !/\A#/ } map { chomp; $_ } <$fh>;
};

my (@pending, %items, $errored, $started, $error, @warnings, $plan);

for my $name (@SETTERS) {
    no strict 'refs';
    *{"measdoc_set_$name"} = sub {
        die "Usage: measdoc::measdoc_set_$name()\n" if @_;
        return 1 if $errored;
        return 0 unless @pending;
        my @values = splice @pending;
        return ($error //= 'global - attempt to set an assigned config item') && 1 if exists $items{$name} || $started || defined $error;
        $items{$name} = \@values;
        return 0;
    };
}

sub measdoc_add_config { die "Usage: measdoc::measdoc_add_config(value)\n" unless @_ == 1; push @pending, "$_[0]"; 0 }

sub measdoc_init {
    return 1 if $errored;
    my $file = $items{xmlFileName}[0] // '';
    open my $fh, '<:raw', $file or do { $errored = 1; $error = "io - cannot open $file"; return 1 };
    my ($json) = do { local $/; <$fh> } =~ /<!--FAKE (.*?)-->/s;
    $plan = $json ? decode_json($json) : {};
    if (my $log = $ENV{FAKE_MEASDOC_LOG}) { open my $out, '>>', $log or die "$log: $!"; print {$out} encode_json({ pid => $$ }), "\n" }
    if ($plan->{init_fails}) { ($errored, $error) = (1, 'fake - start-up failed'); return 1 }
    $started = 1;
    return 0;
}

sub measdoc_run {
    return 0 if $errored;
    kill 'KILL', $$ if $plan->{crash};
    sleep $plan->{sleep} if $plan->{sleep};
    push @warnings, @{ $plan->{warnings} // [] };
    return defined($error = $plan->{error}) ? -1 : 0;
}

sub measdoc_data { $plan->{data} // { commonHeaderData => {}, dataTypeDict => {} } }

# The blocks of the data are its numbered entries, numbered from 0 without gaps.
sub measdoc_block_count { scalar grep {/\A\d+\z/} keys %{ measdoc_data() } }

# The block's PIF text, header and columns sorted; the data types' object columns its identity.
sub measdoc_block_pif {
    die "Usage: measdoc::measdoc_block_pif(number, types, suspect)\n" unless @_ == 3;
    my ($number, $types) = @_;
    my $data = measdoc_data();
    my $block = $data->{$number} // return undef;
    my %header = (%{ $data->{commonHeaderData}{$number} // {} }, %{ $block->{internalHeaderData} // {} });
    my @rows = map { $block->{$_}{pifData} // {} } sort { $a <=> $b } grep {/\A\d+\z/} keys %$block;
    my @columns = sort keys %{ { map {%$_} @rows } };
    my $name = ($block->{blockName} // '') ne '' ? $block->{blockName} : 'XMLDATA';
    my @lines = ([ sort keys %header ], [ @header{ sort keys %header } ], \@columns, map { [ @$_{@columns} ] } @rows);
    my ($bad) = grep { defined && /[|\r\n]/ } $name, map {@$_} @lines;
    return { name => $name, bad => $bad } if defined $bad;
    my @text = map { join('|', map { $_ // '' } @$_) . "\n" } @lines;
    my $text = join '', "## Parser Intermediate File\n##START|HEADER\n", @text[0, 1], "##END|HEADER\n##START|$name\n",
        @text[ 2 .. $#text ], "##END|$name\n";
    return { name => $name, text => $text, lines => $text =~ tr/\n//,
             identity => [ grep { ($types->{$_} // '') eq '1' } @columns ] };
}

# The block's header and columns from its PIF text; the rows are left to the host's encoder.
sub measdoc_block_json {
    die "Usage: measdoc::measdoc_block_json(number, types, suspect, fixed)\n" unless @_ == 4;
    my ($number, $types, $suspect, $fixed) = @_;
    my $pif = measdoc_block_pif($number, $types, $suspect) // return undef;
    return defined $pif->{bad} ? $pif : {} if $fixed;
    my @lines = map { [ split /\|/, $_, -1 ] } split /\n/, $pif->{text} // '';
    return { name => $pif->{name}, header => $lines[2] // [], values => $lines[3] // [] };
}

sub measdoc_data_types { measdoc_data()->{dataTypeDict} // {} }

sub measdoc_error { my $e = $error; undef $error; return $e }

sub measdoc_warning { shift @warnings }

sub measdoc_configuration {
    my $type = $items{xmlDocumentType}[0] // 0;
    my $suspect = $items{suspectFlagElementName}[0] // ($type == 1 ? 'Suspect' : 'sf');
    my ($data, $block, $row) = $type == 1 ? qw(measData measInfo measValue) : qw(md mi mv);
    return { i_suspectflagelemname => [ $suspect, '' ], i_xmlDocumentType => [$type],
             i_measdatelemname => [ $data, '' ], i_uniquepifblkelemname => [ $block, '' ], i_measvalelemname => [ $row, '' ] };
}

sub measdoc_deinit { return 1 if $errored; %items = (); ($started, $plan) = (0, undef); return 0 }

1;
