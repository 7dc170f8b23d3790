package Pm2pif::Xml;
# XML inputs through measdoc: one module cycle per file, the reasons for a refused file
# in the file's own terms, and the PIF files of its blocks.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(basename);
use JSON::PP ();
use Pm2pif::Config qw(xml_checks xml_items);
use Pm2pif::Format qw(block_facts iso_of json_encoder json_text);
use Pm2pif::Modules qw(load_module);
use Pm2pif::Util qw(file_name_part one_line);

our $VERSION = '1.00';
our @EXPORT_OK = qw(convert_xml);

# Converts one XML file with root element $root into $dir/pif (with --raw-json, into
# $dir/data.json). Dies with the reason, in the file's terms where known.
sub convert_xml {
    my ($run, $source, $root, $dir, $r) = @_;
    load_module($run, 'measdoc') or die "the XML module measdoc cannot be loaded: $run->{load_error}{measdoc}\n";
    (my $base = basename($source)) =~ s/\.xml\z//i;
    measdoc_cycle($source, $root, xml_items($run->{config}, $root), $r, sub {
        my ($suspect) = @_;
        if ($run->{opt}{'raw-json'}) {
            my $data = measdoc::measdoc_data();
            open my $fh, '>:raw', "$dir/data.json" or die "cannot write $dir/data.json: $!\n";
            print {$fh} JSON::PP->new->canonical->pretty->encode($data) or die "cannot write: $!\n";
            close $fh or die "cannot write: $!\n";
            $r->{raw_json} = 1;
        } elsif (!($run->{opt}{format} eq 'json' && write_xml_json($run, $suspect, "$dir/pif", $r))) {
            write_xml_pifs($suspect, "$dir/pif", file_name_part($base), $r);
        }
    });
    $r->{status} = 'ok';
}

# One measdoc cycle over the file: items, start-up, run, results, tear-down. The results
# live until the tear-down, so $use takes them in between, called with the name of the
# suspect-flag column once the run has succeeded. Dies with measdoc's message, or with
# $use's after the tear-down.
sub measdoc_cycle {
    my ($source, $root, $items, $r, $use) = @_;
    # A message left pending by an earlier file would make the first setter refuse.
    measdoc::measdoc_error();
    1 while defined measdoc::measdoc_warning();

    my $refused = sub {
        # Items already committed stay set until a tear-down that only follows a start-up,
        # so this process cannot take another XML file.
        $r->{restart} = 1;
        die "the XML module refused $_[0]: " . (measdoc::measdoc_error() // 'no reason given') . "\n";
    };
    for my $name ((grep { $_ ne 'xmlFileName' } sort keys %$items), 'xmlFileName') {
        my @values = $name eq 'xmlFileName' ? ($source) : @{ $items->{$name} };
        for my $value (@values) {
            measdoc::measdoc_add_config($value) == 0 or $refused->("a value of $name");
        }
        my $setter = measdoc->can("measdoc_set_$name") or $refused->("the item $name: this measdoc has no such item");
        $setter->() == 0 or $refused->("the item $name");
    }
    if (measdoc::measdoc_init() != 0) {
        # A failed start-up leaves measdoc unusable for the rest of the process.
        $refused->('to start');
    }
    my $rc = measdoc::measdoc_run();
    my $error = $rc == 0 ? undef : measdoc::measdoc_error() // "the conversion failed (result $rc)";
    my @lost;
    while (defined(my $warning = measdoc::measdoc_warning())) {
        push @{ losing_warning($warning) ? \@lost : $r->{warnings} }, one_line($warning);
    }
    my $effective = measdoc::measdoc_configuration();
    my $use_error;
    if (defined $error) {
        # A section without its entity fails in measdoc in many ways; that is the cause.
        my $reason = eval {
            missing_entity(section_census($source, $effective, xml_checks($root)))
                // xml_failure_reason($source, $effective, $error);
        };
        $error = "$reason (the XML module: " . one_line($error) . ')' if defined $reason;
    } elsif (@lost) {
        # A section measdoc skips takes its values with it: the file is not converted whole.
        $error = 'a data section was left out, and its counter values with it (the XML module: '
            . join('; ', @lost) . ')';
    } else {
        my $suspect = ref $effective->{i_suspectflagelemname} ? $effective->{i_suspectflagelemname}[0] : undef;
        $error = eval {
            missing_entity(section_census($source, $effective, xml_checks($root)));
        } // $@ || undef;
        if (!defined $error && !eval { $use->($suspect); 1 }) {
            $use_error = $@ || "the results could not be written\n";
        }
    }
    if (measdoc::measdoc_deinit() != 0) {
        $r->{restart} = 1;
        push @{ $r->{warnings} }, 'the XML module did not shut down: '
            . one_line(measdoc::measdoc_error() // 'no reason given');
    }
    die one_line($error) . "\n" if defined $error;
    die $use_error if defined $use_error;
}

# measdoc's warnings of a data section it skipped although the section held values:
# counter values without counter names. A section without blocks or rows loses nothing.
sub losing_warning { $_[0] =~ /measurement type not found/ }

# The element names an item of the effective configuration lists (measdoc exports each
# value as element and attribute), once each, in order.
sub item_elements {
    my ($effective, $key) = @_;
    my @pairs = @{ $effective->{$key} // [] };
    my (%seen, @names);
    for (my $i = 0; $i < @pairs; $i += 2) {
        push @names, $pairs[$i] unless $seen{ $pairs[$i] }++ || $pairs[$i] eq '';
    }
    return @names;
}

# The elements of each data section of an XML file: one hash per section, in document
# order, element name (namespace prefix left out) => count. Read in blocks, so a large
# file costs no more memory than a small one. Dies when the file cannot be read.
sub xml_sections {
    my ($path, $section) = @_;
    open my $fh, '<:raw', $path or die "cannot read: $!\n";
    my ($buf, $depth, $in, @sections) = ('', 0, 0);
    while (1) {
        my $n = read $fh, my $more, 1 << 20;
        die "cannot read: $!\n" unless defined $n;
        $buf .= $more;
        my $end = 0;
        # Markup that is not complete waits for the next block.
        while ($buf =~ m{\G[^<]*<(?:(!--.*?--|\?.*?\?|!\[CDATA\[.*?\]\]|![^>]*)|(/?)(?:[\w.-]+:)?([\w.-]+)[^>]*?(/?))>}gcs) {
            $end = pos $buf;
            next if defined $1;
            my ($close, $name, $empty) = ($2, $3, $4);
            if ($close) {
                $in = 0 if --$depth == 1;
            } else {
                if ($depth == 1 && $name eq $section) {
                    push @sections, {};
                    $in = 1;
                } elsif ($in) {
                    $sections[-1]{$name}++;
                }
                $depth++ unless $empty;
            }
        }
        last unless $n;
        $buf = substr $buf, $end;
    }
    return \@sections;
}

# The reason, in the file's terms, why measdoc refused a file, or undef when its message
# is one this table does not know.
sub xml_failure_reason {
    my ($source, $effective, $error) = @_;
    my ($data)  = item_elements($effective, 'i_measdatelemname');
    my ($block) = item_elements($effective, 'i_uniquepifblkelemname');
    my ($row)   = item_elements($effective, 'i_measvalelemname');
    if ($error =~ /type and result counters do not match/) {
        my $where = eval { unpaired_row($source, $effective) };
        return defined $where ? $where : "a <$row> holds more or fewer counter values than its <$block> names counters, "
            . 'as the XML module reads them (lists split at single spaces, values paired by their order)';
    }
    if ($error =~ /inconsistent name and value pair \[([^\]]*)\]/) {
        return length $1 ? qq{the name "$1" is no distinguished name (Name=value,Name=value...)}
                         : 'a name that must be a distinguished name is empty';
    }
    return 'an element whose value is needed is empty' if $error =~ /counter value is empty/;
    return "an element occurs at different depths within one <$data>: the file does not keep the layout's nesting"
        if $error =~ /tags are of different depths/;
    return "the root element holds an element other than the header, <$data> and the footer"
        if $error =~ /section data contains invalid tag name/;
    return 'the file is not well-formed XML' if $error =~ /\bxml - /;
    return undef unless $error =~ /returned null \[parse_sort_elems/;

    # A data section without any element of an item measdoc needs in each of them.
    my $sections = xml_sections($source, $data);
    for my $key (qw(i_hdrelemnames i_uniquepifhdrelemnames i_measrsltelemseq i_outblkelemname i_instanceobject)) {
        my @names = item_elements($effective, $key);
        for my $number (1 .. @$sections) {
            next if grep { $sections->[ $number - 1 ]{$_} } @names;
            my @tags = map {"<$_>"} @names;
            my $which = @tags == 1 ? "$tags[0] (expected" : join(', ', @tags[ 0 .. $#tags - 1 ]) . " or $tags[-1] (expected one";
            return "<$data> $number has no $which in each <$data>)";
        }
    }
    return undef;
}

# How often the elements pm2pif checks occur in each data section: { data => section
# name, checks => the layout's checks, sections => [{ name => count }] }, or undef for a
# layout without checks. Runs on every file converted, so it looks for these few names
# only (a scan of all tags would cost a third of the conversion); a data section written
# as an empty element holds nothing and is not counted. Dies when the file cannot be read.
sub section_census {
    my ($source, $effective, $checks) = @_;
    return undef unless $checks;
    my ($data)  = item_elements($effective, 'i_measdatelemname');
    my ($block) = item_elements($effective, 'i_uniquepifblkelemname');
    my $names = join '|', map {quotemeta} grep {defined} $data, $block, $checks->{entity};
    open my $fh, '<:raw', $source or die "cannot read: $!\n";
    my ($buf, @sections) = ('');
    while (1) {
        my $n = read $fh, my $more, 1 << 20;
        die "cannot read: $!\n" unless defined $n;
        $buf .= $more;
        my $end = 0;
        # The names lead the pattern, so that the engine looks for them rather than trying
        # every tag; one after a ":" counts only as a tag's prefixed name.
        while ($buf =~ m{(?<=[<:])($names)(?=[\s/>])[^>]*?(/?)>}g) {
            my ($name, $empty, $at) = ($1, $2, $-[1]);
            if (substr($buf, $at - 1, 1) eq ':') {
                my $open = rindex $buf, '<', $at - 1;
                if ($open < 0 || substr($buf, $open + 1, $at - $open - 1) !~ /\A[\w.-]+:\z/) {
                    pos($buf) = $at + 1;
                    next;
                }
            }
            $end = pos $buf;
            if ($name ne $data) {
                $sections[-1]{$name}++ if @sections;
            } elsif ($empty eq '') {
                push @sections, {};
            }
        }
        last unless $n;
        # A tag cut at the end of the block is read again with the next one.
        my $cut = rindex $buf, '<';
        $buf = $cut >= $end ? substr($buf, $cut) : '';
    }
    return { data => $data, block => $block, checks => $checks, sections => \@sections };
}

# Files larger than this are not read whole to find where counters do not pair up.
my $PAIRING_SCAN_LIMIT = 64 << 20;

# The first row whose counter values do not pair up with its block's counter names, read
# the way the standard pairs them: lists split at any white space, values named by their
# p attribute where names carry one, else by position. undef when every row pairs up (the
# module's stricter reading failed) or the file is too large to read whole.
sub unpaired_row {
    my ($source, $effective) = @_;
    return undef if (-s $source // 0) > $PAIRING_SCAN_LIMIT;
    open my $fh, '<:raw', $source or return undef;
    my $text = do { local $/; <$fh> };
    my ($block) = item_elements($effective, 'i_uniquepifblkelemname');
    my ($row)   = item_elements($effective, 'i_measvalelemname');
    my %list = map { $_ => 1 } item_elements($effective, 'i_delimcntrelemnames');
    my $tag = sub { my ($name) = @_; qr{<(?:[\w.-]+:)?\Q$name\E(?=[\s/>])([^>]*?)(?:/>|>(.*?)</(?:[\w.-]+:)?\Q$name\E\s*>)}s };
    # The counters of an element's content: [p attribute or undef, text] each.
    my $counters = sub {
        my ($body, @names) = @_;
        my @found;
        for my $name (@names) {
            my $element = $tag->($name);
            while ($body =~ /$element/g) {
                my ($attrs, $text) = ($1, $2 // '');
                my ($p) = $attrs =~ /\bp\s*=\s*["']([^"']*)/;
                push @found, $list{$name} ? map { [ undef, $_ ] } split ' ', $text : [ $p, $text ];
            }
        }
        return @found;
    };
    my @name_elements  = item_elements($effective, 'i_meastypelemseq');
    my @value_elements = item_elements($effective, 'i_measrsltelemseq');
    my ($number, $block_re, $row_re) = (0, $tag->($block), $tag->($row));
    while ($text =~ /$block_re/g) {
        my ($attrs, $body) = ($1, $2 // '');
        $number++;
        my ($id) = $attrs =~ /\bmeasInfoId\s*=\s*"([^"]*)"/;
        my $which = "<$block> $number" . (defined $id ? qq{ ("$id")} : '');
        my @names = $counters->($body, @name_elements);
        my %place = map { defined $_->[0] ? ($_->[0] => 1) : () } @names;
        (my $outside = $body) =~ s/$row_re//g;
        @names = $counters->($outside, @name_elements);
        while ($body =~ /$row_re/g) {
            my ($row_attrs, $row_body) = ($1, $2 // '');
            my ($object) = $row_attrs =~ /\bmeasObjLdn\s*=\s*"([^"]*)"/;
            my $at = "its <$row>" . (defined $object ? qq{ "$object"} : '');
            my @values = $counters->($row_body, @value_elements);
            if (%place && !grep { !defined $_->[0] } @values) {
                my ($stray) = grep { !$place{ $_->[0] } } @values;
                return "$which names no counter p=\"$stray->[0]\", which $at holds a value for" if $stray;
                next;
            }
            return "$which names " . scalar(@names) . " counters, but $at holds " . scalar(@values) . ' values'
                if @values != @names;
        }
    }
    return undef;
}

# undef when every data section with blocks holds the layout's entity element, else the
# failure. A section without blocks has nothing to lose, and the name may be taken by a
# header element too (measDataFile's begin and end times).
sub missing_entity {
    my ($census) = @_;
    my $entity = $census && $census->{checks}{entity} or return undef;
    for my $number (1 .. @{ $census->{sections} }) {
        my $section = $census->{sections}[ $number - 1 ];
        next if $section->{$entity} || !$section->{ $census->{block} };
        return "<$census->{data}> $number has no <$entity>: the element measured is unknown, and the block "
            . 'would carry the sender\'s names as its own';
    }
    return undef;
}

# One PIF file per measurement-info block of the last run: the block's common header pairs
# and its internal header pairs, then the block of value rows, columns as measdoc_block_pif
# orders them. measdoc renders each block's text itself, so no row becomes a Perl hash and
# only one block's text is held at a time.
sub write_xml_pifs {
    my ($suspect, $dir, $base, $r) = @_;
    my $types = measdoc::measdoc_data_types();
    for my $number (0 .. measdoc::measdoc_block_count() - 1) {
        my $pif = measdoc::measdoc_block_pif($number, $types, $suspect)
            // die "the XML module lost block $number of its results\n";
        write_xml_pif($number, $pif, $suspect, $dir, $base, $r);
    }
}

# The JSON form of the last run straight from measdoc, without PIF files in between: the
# rows of each block as json_rows has them. Returns false, having written nothing, when a
# block holds content that only the general path (write_xml_pifs, write_format) writes, or
# when there is no block (that path tells whether an input should have had any).
sub write_xml_json {
    my ($run, $suspect, $dir, $r) = @_;
    my $in = $run->{inputs}[ $r->{index} ];
    measdoc::measdoc_block_count() > 0 or return 0;
    my $types = measdoc::measdoc_data_types();
    my $json = json_encoder()->allow_nonref;
    my $path = "$dir/form.json";
    open my $fh, '>:raw', $path or die "cannot write $path: $!\n";
    my ($rows, $lines) = (0, 0);
    for my $number (0 .. measdoc::measdoc_block_count() - 1) {
        my $head = measdoc::measdoc_block_json($number, $types, $suspect, undef)
            // die "the XML module lost block $number of its results\n";
        # Only the header's facts are the host's: measdoc places the columns itself.
        my $facts = block_facts($run->{config}, 'xml', { %$head, columns => [] }, {});
        my %fixed = (file => json_text($in->{shown}), block => json_text($head->{name}),
            begin => iso_of($facts->{begin}), end => iso_of($facts->{end}),
            granularity => defined $facts->{granularity} ? 0 + $facts->{granularity} : undef);
        $_ = $json->encode($_) for values %fixed;
        my $block = measdoc::measdoc_block_json($number, $types, $suspect, \%fixed);
        pif_refusal($block);
        if (!defined $block->{text}) {
            close $fh;
            unlink $path;
            return 0;
        }
        next if $block->{text} eq '';
        print {$fh} $rows++ ? ",\n" : "[\n", $block->{text} or die "cannot write $path: $!\n";
        $lines += $block->{lines};
    }
    print {$fh} $rows ? "\n]\n" : "[]\n" or die "cannot write $path: $!\n";
    close $fh or die "cannot write $path: $!\n";
    (my $base = basename($in->{name} // $in->{path})) =~ s/\.gz\z//i;
    $r->{files} = [ { tmp => 'form.json', prefix => file_name_part($base) . '-#-', ext => 'json' } ];
    $r->{lines} = $rows ? $lines + 2 : 1;
    $r->{formatted} = 1;
    return 1;
}

# Dies with the field of a rendered block that a PIF line cannot carry.
sub pif_refusal {
    my ($rendered) = @_;
    my $bad = $rendered->{bad} // return;
    $bad =~ s/\r/\\r/g;
    $bad =~ s/\n/\\n/g;
    die "block $rendered->{name}: the text \"$bad\" holds a \"|\" or a line break, which a PIF field cannot carry\n";
}

# The PIF file of block $number from its rendering. A "|" or a line break inside a field
# cannot be written without shifting every later field, so such a file fails rather than
# being written wrong.
sub write_xml_pif {
    my ($number, $pif, $suspect, $dir, $base, $r) = @_;
    my $name = $pif->{name};
    pif_refusal($pif);
    my $tmp = sprintf 'xml%06d.pif', $number;
    open my $fh, '>:raw', "$dir/$tmp" or die "cannot write $dir/$tmp: $!\n";
    print {$fh} $pif->{text} or die "cannot write $dir/$tmp: $!\n";
    close $fh or die "cannot write $dir/$tmp: $!\n";
    (my $file_block = $name) =~ tr{/}{_};
    push @{ $r->{files} }, { tmp => $tmp, prefix => file_name_part($file_block) . "-#-$base-#-" };
    $r->{meta}{$tmp} = { identity => $pif->{identity}, suspect => $suspect };
    $r->{lines} += $pif->{lines};
}

1;
