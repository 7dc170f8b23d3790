# The generated inputs: the same parameters give the same bytes, the BER writer encodes
# exactly what samples/ber/MeasFile.pm encodes, and each converter accepts what its
# generator writes, with every row accounted for.
use strict;
use warnings;
use FindBin;
use File::Temp qw(tempdir);
use Test::More;

my ($src, $build);
BEGIN {
    $src = $ENV{PM_SOURCE_DIR} // "$FindBin::Bin/../..";
    $build = $ENV{PM_BUILD_DIR};
}
use lib "$src/bench/lib", "$src/samples/ber", "$src/radiobin/t/lib";
use BenchData qw(meas_content ber_octets ber_description xml_meas_collec xml_mdc alcatel_bytes write_bytes);
use MeasFile qw(encode_meas_file);

plan skip_all => 'PM_BUILD_DIR is not set (run through ctest)' unless $build;
my $dir = tempdir(CLEANUP => 1);

# Value lines of the data sections of a PIF file, by section name: the lines between a
# section's names line and its end line.
sub value_lines {
    my ($pif) = @_;
    open my $fh, '<', $pif or die "$pif: $!";
    my (%lines, $section, $names_seen);
    while (my $line = <$fh>) {
        if ($line =~ /^##START\|(.+)$/) {
            ($section, $names_seen) = ($1 eq 'HEADER' ? undef : $1, 0);
        } elsif ($line =~ /^##END/) {
            undef $section;
        } elsif ($section) {
            $lines{$section}++ if $names_seen++;
        }
    }
    return \%lines;
}

sub xml_text {
    my ($writer, $content) = @_;
    my $text = '';
    $writer->($content, sub { $text .= $_[0] });
    return $text;
}

subtest 'same parameters, same bytes; another seed, other bytes' => sub {
    my %p = (ne => 2, infos => 3, rows => 10, counters => 6);
    is(ber_octets(meas_content(%p, missing => 1)), ber_octets(meas_content(%p, missing => 1)), 'BER');
    isnt(ber_octets(meas_content(%p, seed => 1)), ber_octets(meas_content(%p)), 'BER, other seed');
    is(xml_text(\&xml_meas_collec, meas_content(%p)), xml_text(\&xml_meas_collec, meas_content(%p)), 'measCollecFile');
    is(xml_text(\&xml_mdc, meas_content(%p)), xml_text(\&xml_mdc, meas_content(%p)), 'mdc');
    is(alcatel_bytes(records => 3, groups => 2), alcatel_bytes(records => 3, groups => 2), 'Alcatel');
};

subtest 'BER octets are what the Convert::ASN1 encoder makes of the same content' => sub {
    # Long enough for every length form up to three octets, with missing values and
    # suspect flags in it.
    for my $shape ([ 2, 4, 60 ], [ 1, 1, 800 ]) {
        my ($ne, $infos, $rows) = @$shape;
        my $content = meas_content(ne => $ne, infos => $infos, rows => $rows, counters => 20, missing => 1);
        my @rows = map { @{ $_->{rows} } } map { @{ $_->{infos} } } @{ $content->{nes} };
        ok((grep { !defined } map { @{ $_->{values} } } @rows), "$rows rows: some values are missing");
        ok((grep { $_->{suspect} } @rows), "$rows rows: some rows are suspect");
        my $octets = ber_octets($content);
        is(unpack('H*', $octets), unpack('H*', encode_meas_file(ber_description($content))), "$rows rows: same octets");
        cmp_ok(length $octets, '>', 65535, 'a three-octet length occurs') if $rows == 800;
    }
};

subtest 'BerMeas converts a generated file, one line per row that is not suspect' => sub {
    my $content = meas_content(ne => 2, infos => 4, rows => 30, counters => 20, missing => 1);
    my $file = write_bytes("$dir/meas.ber", ber_octets($content));
    my @rows = map { @{ $_->{rows} } } map { @{ $_->{infos} } } @{ $content->{nes} };
    my $out = "$dir/ber-out";
    mkdir $out;
    my $report = `$^X -I$build/perl/lib $src/bench/steps/bermeas.pl $file $out`;
    is($?, 0, 'conversion succeeds');
    like($report, qr/^BENCH-SECONDS \d/m, 'the step reports its time');
    my @pif = glob "$out/*.pif";
    is(scalar @pif, 8, 'one PIF file per measurement-info block');
    my $lines = 0;
    for my $pif (@pif) {
        $lines += $_ for values %{ value_lines($pif) };
    }
    is($lines, scalar(grep { !$_->{suspect} } @rows), 'every row without suspect flag is a value line');
};

subtest 'radiobin converts a generated file, every block of every record' => sub {
    my $file = write_bytes("$dir/PMRES011.01a.3.", alcatel_bytes(records => 4, groups => 3));
    my $out = "$dir/alcatel-out";
    mkdir $out;
    my $report = `$^X -I$build/perl/lib $src/bench/steps/radiobin.pl $src/samples/alcatel/blocks.cfg $file $out`;
    is($?, 0, 'conversion succeeds');
    my ($pif) = $report =~ /^BENCH-OUTPUT (.+)$/m;
    ok($pif && -f $pif, 'the step names its PIF file');
    is_deeply(value_lines($pif), { TYPE_110 => 4 * 3 * 3, TYPE_111 => 4 * 3, TYPE_112 => 4 * 3 * (8 + 5) },
              'value lines: three cells, their traffic and 13 timeslots per group');
};

subtest 'XML files carry every row, in both counter styles and both layouts' => sub {
    my $content = meas_content(ne => 5, infos => 2, rows => 3, counters => 4);
    my $collec = xml_text(\&xml_meas_collec, $content);
    my $mdc = xml_text(\&xml_mdc, $content);
    is(() = $collec =~ /<measValue /g, 30, 'measCollecFile: 30 measValue elements');
    is(() = $collec =~ /<measResults>/g, 24, 'four sections of measResults lists');
    is(() = $collec =~ /<r p="\d+">/g, 6 * 4, 'one section of r elements');
    is(() = $mdc =~ /<mv>/g, 30, 'mdc: 30 mv elements');
    is(() = $mdc =~ /<r>/g, 30 * 4, 'mdc: four r per row');
};

subtest 'one measData section in one counter style, compound values in every tenth counter' => sub {
    my $content = meas_content(ne => 1, infos => 3, rows => 4, counters => 20, compound => 10);
    my @values = map { @{ $_->{values} } } map { @{ $_->{rows} } } @{ $content->{nes}[0]{infos} };
    is_deeply([ grep { $values[$_] =~ /,/ } 0 .. $#values ], [ map { ($_ * 20 + 9, $_ * 20 + 19) } 0 .. 11 ],
              'compound values where expected, and only there');
    ok(!(grep { !/^\d+(?:,\d+){1,3}\z/ } @values[ map { ($_ * 20 + 9, $_ * 20 + 19) } 0 .. 11 ]),
       'two to four parts each');
    for my $style (qw(listed indexed)) {
        my $text = '';
        xml_meas_collec($content, sub { $text .= $_[0] }, style => $style);
        is(() = $text =~ /<measData>/g, 1, "$style: one section");
        is(() = $text =~ /<measValue /g, 12, "$style: every row");
        my ($lists, $elements) = (scalar(() = $text =~ /<measResults>/g), scalar(() = $text =~ /<r p=/g));
        is_deeply([ $lists, $elements ], $style eq 'listed' ? [ 12, 0 ] : [ 0, 12 * 20 ], "$style: counter style");
    }
};

done_testing;
