package BenchData;
# Deterministic large inputs for the benchmarks: 3GPP XML measurement files in both
# layouts (measCollecFile and the older mdc), 3GPP BER measurement files written octet by
# octet, and Alcatel BSS binary files. One seeded generator drives every choice, so the
# same parameters always give the same bytes; the content is invented.
#
# The content of a file is described first (ne => measInfo => rows of counter values),
# then written by one of the writers. The BER writer encodes directly, because encoding
# hundreds of thousands of values through Convert::ASN1 would take minutes; the tests
# check its octets against samples/ber/MeasFile.pm on small files.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(dirname);

our @EXPORT_OK = qw(meas_content ber_octets ber_description xml_meas_collec xml_mdc
    alcatel_bytes write_bytes xml_namespace);

# ---- one seeded sequence ----

# A linear congruential generator (the C library's constants), taking the high bits.
# Perl's own rand differs between builds; this does not.
sub new_rng {
    my ($seed) = @_;
    my $state = $seed & 0x7FFFFFFF;
    return sub {
        $state = ($state * 1103515245 + 12345) & 0x7FFFFFFF;
        return $state >> 8;    # 23 bits
    };
}

# ---- content ----

# Object classes the rows of a measurement-info block measure: a local name and the
# relative distinguished name of each row's object, with the counters' family.
my @families = (
    { family => 'Rrc',  xml => 'RncFunction=1,UtranCell=C%05d',            ber => 'cell=%d' },
    { family => 'Iub',  xml => 'RncFunction=1,IubLink=L%05d',              ber => 'nodeb=%d' },
    { family => 'Hs',   xml => 'RncFunction=1,UtranCell=C%05d,Hsdsch=1',   ber => 'LocalCellE=%d' },
    { family => 'Line', xml => 'Equipment=1,Subrack=1,Slot=%d,Port=1',     ber => 'stm-1line=1.2.%d.4' },
);

# A counter value: mostly small, some large, a few missing (undef) when `missing` is set.
sub counter_value {
    my ($rng, $missing) = @_;
    my $r = $rng->() % 100;
    return undef if $missing && $r == 0;
    return 0 if $r < 20;
    return $rng->() % 100 if $r < 55;
    return $rng->() % 65536 if $r < 92;
    return ($rng->() << 8 | $rng->() & 0xFF) & 0x7FFFFFFF;
}

# A compound value such as "86,87,2": a counter that reports a distribution or a
# list of readings writes its parts in one result, comma-separated.
sub compound_value {
    my ($rng) = @_;
    return join ',', map { $rng->() % 100 } 1 .. 2 + $rng->() % 3;
}

# The content of one file:
#   { nes => [ { name, dn, infos => [ { family, types => [...], rows => [
#       { object => { xml, ber }, values => [...], suspect => 0|1 } ] } ] } ] }
# Parameters: ne, infos (per ne), rows (per info), counters (per row), seed, missing
# (a few values left out, BER only: the XML files carry numbers only), compound (every
# compound-th counter of a row holds a compound value, XML only: BER results are numbers).
sub meas_content {
    my (%p) = @_;
    my $rng = new_rng($p{seed} // 20261205);
    my @nes;
    for my $n (1 .. $p{ne}) {
        my @infos;
        for my $i (0 .. $p{infos} - 1) {
            my $f = $families[$i % @families];
            my @types = map { sprintf 'pm%sCounter%02dOf%02d', $f->{family}, $_, $i } 1 .. $p{counters};
            my @rows;
            # A network element reports the same objects in every block of one family.
            my $object = ($n - 1) * $p{rows};
            for (1 .. $p{rows}) {
                ++$object;
                push @rows, {
                    object  => { xml => sprintf($f->{xml}, $object), ber => sprintf($f->{ber}, $object) },
                    values  => [ map { $p{compound} && $_ % $p{compound} == 0 ? compound_value($rng)
                                                                                : counter_value($rng, $p{missing}) }
                                     1 .. $p{counters} ],
                    suspect => ($rng->() % 50 == 0 ? 1 : 0),
                };
            }
            push @infos, { family => $f->{family}, types => \@types, rows => \@rows };
        }
        push @nes, { name => sprintf('RNC%03d', $n), infos => \@infos };
    }
    return { nes => \@nes };
}

# ---- BER ----

sub ber_length {
    my ($n) = @_;
    return chr $n if $n < 0x80;
    my $octets = '';
    while ($n) { $octets = chr($n & 0xFF) . $octets; $n >>= 8 }
    return chr(0x80 | length $octets) . $octets;
}

sub tlv { return chr($_[0]) . ber_length(length $_[1]) . $_[1] }

# INTEGER content: two's complement in the fewest octets (values here are >= 0).
sub integer_content {
    my ($v) = @_;
    my $octets = '';
    do { $octets = chr($v & 0xFF) . $octets; $v >>= 8 } while $v;
    $octets = "\0$octets" if ord($octets) & 0x80;
    return $octets;
}

my %time = (begin => '20261205143000Z', end => '20261205144500Z');

# The BER octets of the content, laid out as samples/ber/MeasFile.pm encodes it (implicit
# context tags, every suspect flag written, missing values as noValue).
sub ber_octets {
    my ($content) = @_;
    my %result;    # encoded result by value: most values repeat
    my @data;
    for my $ne (@{ $content->{nes} }) {
        my $neid = tlv(0xA0, tlv(0x80, $ne->{name}) . tlv(0x81, "SubNetwork=1,ManagedElement=$ne->{name}"));
        my @infos;
        for my $info (@{ $ne->{infos} }) {
            my $types = join '', map { tlv(0x13, $_) } @{ $info->{types} };
            my @values;
            for my $row (@{ $info->{rows} }) {
                my $results = join '', map {
                    defined $_ ? ($result{$_} //= tlv(0x80, integer_content($_))) : "\x82\x00"
                } @{ $row->{values} };
                push @values, tlv(0x30, tlv(0x80, $row->{object}{ber}) . tlv(0xA1, $results)
                                        . tlv(0x82, $row->{suspect} ? "\xFF" : "\x00"));
            }
            push @infos, tlv(0x30, tlv(0x80, $time{end}) . tlv(0x81, integer_content(900)) . tlv(0xA2, $types)
                                   . tlv(0xA3, join '', @values));
        }
        push @data, tlv(0x30, $neid . tlv(0xA1, join '', @infos));
    }
    my $header = tlv(0xA0, tlv(0x80, integer_content(2)) . tlv(0x81, 'managedElementId=RNC01')
                           . tlv(0x82, 'RNC') . tlv(0x83, 'Example Networks') . tlv(0x84, $time{begin}));
    return tlv(0x30, $header . tlv(0xA1, join '', @data) . tlv(0x82, $time{end}));
}

# The same content as the Perl data that MeasFile::encode_meas_file takes.
sub ber_description {
    my ($content) = @_;
    return {
        measFileHeader => { fileFormatVersion => 2, senderName => 'managedElementId=RNC01', senderType => 'RNC',
                            vendorName => 'Example Networks', collectionBeginTime => $time{begin} },
        measData => [ map {
            my $ne = $_;
            { nEId => { nEUserName => $ne->{name}, nEDistinguishedName => "SubNetwork=1,ManagedElement=$ne->{name}" },
              measInfo => [ map {
                  { measTimeStamp => $time{end}, granularityPeriod => 900, measTypes => $_->{types},
                    measValues => [ map {
                        { measObjInstId => $_->{object}{ber},
                          measResults => [ map { defined $_ ? { iValue => $_ } : { noValue => 1 } } @{ $_->{values} } ],
                          suspectFlag => $_->{suspect} }
                    } @{ $_->{rows} } ] }
              } @{ $ne->{infos} } ] }
        } @{ $content->{nes} } ],
        measFileFooter => $time{end},
    };
}

# ---- XML ----

sub xml_namespace {
    my ($layout) = @_;
    return $layout eq 'mdc' ? 'http://www.3gpp.org/ftp/specs/archive/32_series/32.401#measData'
                            : 'http://www.3gpp.org/ftp/specs/archive/32_series/32.435#measCollec';
}

# A measCollecFile. Every fifth measData section uses the measType/r counter style with
# "p" attributes, the others measTypes/measResults lists; one style per section, as
# equipment writes them. `style` ('listed' or 'indexed') puts every section in one style:
# a file of one network element, as operators export them, has one section.
sub xml_meas_collec {
    my ($content, $out, %opt) = @_;
    my $style = $opt{style} // '';
    my $ns = xml_namespace('measCollec');
    $out->(qq{<?xml version="1.0" encoding="UTF-8"?>\n<measCollecFile xmlns="$ns">\n}
         . qq{<fileHeader fileFormatVersion="32.435 V10.0" vendorName="Example Networks" dnPrefix="DC=example.net,SubNetwork=1">\n}
         . qq{<fileSender localDn="SubNetwork=1,ManagedElement=OSS-1" elementType="RNC"/>\n}
         . qq{<measCollec beginTime="2026-12-05T14:30:00+01:00"/>\n</fileHeader>\n});
    my $section = 0;
    for my $ne (@{ $content->{nes} }) {
        my $listed = $style ? $style eq 'listed' : $section % 5 != 4;
        ++$section;
        my $text = qq{<measData>\n<managedElement localDn="SubNetwork=1,ManagedElement=$ne->{name}" userLabel="$ne->{name}" swVersion="R12"/>\n};
        my $job = 0;
        for my $info (@{ $ne->{infos} }) {
            ++$job;
            $text .= qq{<measInfo measInfoId="$info->{family}">\n<job jobId="$job"/>\n}
                   . qq{<granPeriod duration="PT900S" endTime="2026-12-05T14:45:00+01:00"/>\n<repPeriod duration="PT900S"/>\n};
            if ($listed) {
                $text .= '<measTypes>' . join(' ', @{ $info->{types} }) . "</measTypes>\n";
            } else {
                my $p = 0;
                $text .= join '', map { ++$p; qq{<measType p="$p">$_</measType>\n} } @{ $info->{types} };
            }
            for my $row (@{ $info->{rows} }) {
                $text .= qq{<measValue measObjLdn="$row->{object}{xml}">\n};
                if ($listed) {
                    $text .= '<measResults>' . join(' ', @{ $row->{values} }) . "</measResults>\n";
                } else {
                    my $p = 0;
                    $text .= join '', map { ++$p; qq{<r p="$p">$_</r>\n} } @{ $row->{values} };
                }
                $text .= '<suspect>' . ($row->{suspect} ? 'true' : 'false') . "</suspect>\n</measValue>\n";
            }
            $text .= "</measInfo>\n";
            $out->($text);
            $text = '';
        }
        $out->("</measData>\n");
    }
    $out->(qq{<fileFooter>\n<measCollec endTime="2026-12-05T14:45:00+01:00"/>\n</fileFooter>\n</measCollecFile>\n});
}

# The same content in the older layout with abbreviated element names.
sub xml_mdc {
    my ($content, $out) = @_;
    my $ns = xml_namespace('mdc');
    $out->(qq{<?xml version="1.0" encoding="UTF-8"?>\n<mdc xmlns="$ns">\n}
         . qq{<mfh>\n<ffv>1</ffv>\n<sn>DC=example.net,SubNetwork=1</sn>\n<st>RNC</st>\n<vn>Example Networks</vn>\n}
         . qq{<cbt>20261205143000</cbt>\n</mfh>\n});
    for my $ne (@{ $content->{nes} }) {
        my $text = qq{<md>\n<neid>\n<neun>$ne->{name}</neun>\n<nedn>SubNetwork=1,ManagedElement=$ne->{name}</nedn>\n</neid>\n};
        for my $info (@{ $ne->{infos} }) {
            $text .= "<mi>\n<mts>20261205144500</mts>\n<gp>900</gp>\n"
                   . join('', map { "<mt>$_</mt>\n" } @{ $info->{types} });
            for my $row (@{ $info->{rows} }) {
                $text .= "<mv>\n<moid>$row->{object}{xml}</moid>\n" . join('', map { "<r>$_</r>\n" } @{ $row->{values} })
                       . '<sf>' . ($row->{suspect} ? 'TRUE' : 'FALSE') . "</sf>\n</mv>\n";
            }
            $text .= "</mi>\n";
            $out->($text);
            $text = '';
        }
        $out->("</md>\n");
    }
    $out->("<mff>\n<ts>20261205144500</ts>\n</mff>\n</mdc>\n");
}

# ---- Alcatel ----

# An Alcatel BSS binary file for samples/alcatel/blocks.cfg (measurement type 11) of
# `records` data records. A record holds `groups` (default 6) runs of the blocks of
# three cells (110), their traffic counters (111, big-endian) and two timeslot groups of
# 8 and 5 repetitions (112), every block complete for its layout, six times over so that
# about 50 MB fit into the 65 535 records a file may have.
sub alcatel_bytes {
    my (%p) = @_;
    require AlcatelFile;
        my $rng = new_rng($p{seed} // 20261205);
    my @records;
    my $cell = 0;
    for (1 .. $p{records}) {
        my @blocks;
        for (1 .. $p{groups} // 6) {
            push @blocks, map { ++$cell; AlcatelFile::block(110, AlcatelFile::byte(0x21),
                AlcatelFile::le16($cell & 0xFFFF), AlcatelFile::byte(map { 0x41 + $rng->() % 26 } 1 .. 16),
                AlcatelFile::byte(1 .. 4)) } 1 .. 3;
            push @blocks, AlcatelFile::block(111, AlcatelFile::be16($rng->() % 1000), AlcatelFile::be32($rng->() % 1000),
                AlcatelFile::be32($rng->() % 50), AlcatelFile::be48($rng->()));
            for my $reps (8, 5) {
                push @blocks, AlcatelFile::block(112, AlcatelFile::byte($reps == 8 ? 1 : 2),
                    map { AlcatelFile::le16($rng->() % 3600), AlcatelFile::byte($rng->() % 101) } 1 .. $reps);
            }
        }
        push @records, \@blocks;
    }
    return AlcatelFile::alcatel_file(meas_type => 11, start => '2026-12-05 10:00', end => '2026-12-05 10:15',
                                     records => \@records);
}

sub write_bytes {
    my ($path, $bytes) = @_;
    open my $fh, '>:raw', $path or die "$path: $!\n";
    print {$fh} $bytes or die "$path: $!\n";
    close $fh or die "$path: $!\n";
    return $path;
}

1;
