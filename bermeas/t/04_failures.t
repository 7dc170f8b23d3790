# Bad and unusual input: unreadable and undecodable files, files cut short, elements the
# state machine cannot place, empty lists, result kinds, suspect values, a missing footer,
# a block whose objects change class, and output that cannot be written.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(scratch sample shared_sample slurp ordered example_config rnc_file_name encode_meas_file pif_files
    log_lines capture_output bermeas_convert tlv);
use BerMeas;

my $dir = scratch();
chdir $dir or die;

# A measurement file built element by element around the given measValue elements, so
# that it can hold what an encoder for the layout would refuse; with or without footer.
sub collection {
    my ($footer, @values) = @_;
    return tlv(0x30, tlv(0xA0, tlv(0x80, "\x01"), tlv(0x81, 'managedElementId=RNC01'), tlv(0x82, 'RNC'),
                         tlv(0x83, 'Example'), tlv(0x84, '20261205170000Z')),
        tlv(0xA1, tlv(0x30, tlv(0xA0, tlv(0x80, 'RNC01'), tlv(0x81, 'x=1')),
            tlv(0xA1, tlv(0x30, tlv(0x80, '20261205174500Z'), tlv(0x81, "\x03\x84"),
                tlv(0xA2, tlv(0x13, 'c1'), tlv(0x13, 'c2')), tlv(0xA3, @values))))),
        $footer ? tlv(0x82, '20261205180000Z') : ());
}
# One measValue: instance id, result elements, and optionally more elements after them.
sub value { my ($id, $results, @more) = @_; return tlv(0x30, tlv(0x80, $id), tlv(0xA1, @$results), @more) }
sub pair { my ($id, $a, $b, @more) = @_; value($id, [tlv(0x80, chr $a), tlv(0x80, chr $b)], @more) }

# Converts; returns (result, stdout, the PIF files' contents in counter order, new log
# lines, the files' paths, stderr).
sub run {
    my ($before, %arg) = (scalar(() = log_lines()), @_);
    my ($result, $stdout, $stderr) = capture_output(sub { [bermeas_convert(%arg)] });
    my ($ok, $out, $files) = @$result;
    my @names = -d $out ? pif_files($out) : ();
    return ($ok ? 1 : 0, $stdout, [map { $files->{$_} } @names], [log_lines($before)], [map { "$out/$_" } @names], $stderr);
}

my $cells = ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
    ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => 'OBJ_ID' }, ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'NULL');
BerMeas::set_config($cells);

my %unconvertible = (
    'a missing input' => [{ input => "$dir/missing.ber" }, "1 Cannot open input file: $dir/missing.ber"],
    'an empty input' => [{ octets => '' }, '1 asn1_process() failed'],
    'an input that is no BER' => [{ octets => "\x30\x85\x01\x02\x03\x04\x05" }, '1 asn1_process() failed'],
    'an empty SEQUENCE' => [{ octets => "\x30\x00" }, qr/^1 No measurement collection in input file: /],
    'a SEQUENCE of other things' => [{ octets => tlv(0x30, tlv(0x30, tlv(0x02, "\x01")), tlv(0x04, 'abc')) },
                                     qr/^1 No measurement collection in input file: /],
);
# XML files that happen to decode as BER (the others fail the walk)
for my $xml (grep { shared_sample($_) } qw(32435-xml/boda_A2.xml 28532-xml/onapPM_A20181004.0000-1000-0015-1000_5G.xml)) {
    $unconvertible{$xml} = [{ input => shared_sample($xml) }, qr/^1 No measurement collection in input file: /];
}
# Slices of a real BSC file, cut off inside an element
$unconvertible{$_} = [{ input => shared_sample($_) }, '1 asn1_process() failed']
    for grep { shared_sample($_) } map { "asn1-ber/keavem_$_.asn1" } qw(header data_crafted);
for my $label (sort keys %unconvertible) {
    my ($input, $said) = @{ $unconvertible{$label} };
    my ($ok, undef, $files, $log) = run(%$input);
    is_deeply([$ok, scalar @$files], [0, 0], "$label: false, no PIF file");
    ref $said ? like($log->[-1], $said, '... logged last') : is($log->[-1], $said, '... logged last');
}

subtest 'a file cut short: files closed before the cut are whole, the open one is a prefix without end line' => sub {
    BerMeas::delete_config();
    BerMeas::set_config(example_config());
    my @expected = map { slurp("$ENV{PM_SOURCE_DIR}/bermeas/t/expected/rnc/$_") }
                   pif_files("$ENV{PM_SOURCE_DIR}/bermeas/t/expected/rnc");
    for my $form ('meas-rnc.ber', 'meas-rnc-indefinite.ber') {
        my $octets = slurp(sample("ber/$form"));
        my ($wrong, $partial) = (0, 0);
        for my $cut (grep { $_ % 7 == 0 || $_ > length($octets) - 4 } 1 .. length($octets) - 1) {
            my ($ok, undef, $got, $log, $names) = run(octets => substr($octets, 0, $cut), name => rnc_file_name());
            my $fine = !$ok && @$got <= @expected && grep { $_ eq '1 asn1_process() failed' } @$log;
            for my $i (0 .. $#$got) {
                my ($file, $want) = ($got->[$i], $expected[$i]);
                # The last file is whole only when just the end-of-contents octets are missing.
                $fine &&= $file eq $want ? $i < $#$got || $cut > length($octets) - 3
                    : $i == $#$got && length $file < length $want && $file eq substr($want, 0, length $file)
                      && $file !~ /^##END\|OBJ$/m && $log->[-1] eq "1 Leaving PIF file without end line: $names->[-1]";
                $partial++ if $file ne $want;
            }
            diag "$form cut at $cut: ", explain($got, $log) if !$fine && ++$wrong <= 3;
        }
        is($wrong, 0, "$form: every cut fails cleanly");
        cmp_ok($partial, '>', 30, "$form: cuts inside blocks leave partial files");
    }
    # Cut inside the first measurement value: without the header end line the file cannot
    # pass for a block whose values are all suspect.
    my (undef, undef, $got) = run(octets => substr(slurp(sample('ber/meas-rnc.ber')), 0, 310), name => rnc_file_name());
    like("@$got", qr/\A## Parser Intermediate File\n##START\|HEADER\n[^\n]*\n[^\n]*\n\z/, 'cut before the first line');
    BerMeas::delete_config();
    BerMeas::set_config($cells);
};

my $columns = "##START|Cell\nOBJ_ID|c1|c2|suspectFlag\n";
my @blocks = (
    # label, file, result, what standard output says, the one PIF file after its header section
    ['an element after a value that fits nowhere restarts the machine: the open file loses its end line',
     collection(1, pair('cell=1', 1, 2, tlv(0x82, "\x00")), pair('cell=2', 3, 4, tlv(0x82, "\x00"), tlv(0x83, "\x01")),
                   pair('cell=3', 5, 6)), 0, "ERROR 1 !!! indent: 7, tag: 3\n", "${columns}1|1|2|00\n2|3|4|00\n"],
    ['results: unsigned up to 2^32 - 1 (the last four octets count), decimal reals, a reserved base is no real, '
     . 'no content is zero, noValue, unknown alternatives', collection(1,
        value('cell=1', [tlv(0x80, "\x00\xFF\xFF\xFF\xFF"), tlv(0x80, "\xFF")]),
        value('cell=2', [tlv(0x80, "\x00\x80\x00\x00\x00"), tlv(0x80, "\x01\x00\x00\x00\x07")]),
        value('cell=3', [tlv(0x81, "\x02" . ' 12,5'), tlv(0x81, "\x03" . '-25E-1')]),
        value('cell=4', [tlv(0x81, "\xB0\x01\x01"), tlv(0x81, '')]), value('cell=5', [tlv(0x82, ''), tlv(0x83, "\x01")]),
        value('cell=6', [tlv(0x80, ''), tlv(0x84, "\x01")])), 1, '',
     "${columns}1|4294967295|255|00\n2|2147483648|7|00\n3|12.5|-2.5|00\n4||0|00\n5|NULL||00\n6|0||00\n##END|Cell\n"],
    ['suspect values write no line; only suspect values, no data block',
     collection(1, pair('cell=1', 1, 2, tlv(0x82, "\xFF")), pair('cell=2', 3, 4, tlv(0x82, "\x01"))), 1, '', ''],
    ['no footer: the last value without suspectFlag is written', collection(0, pair('cell=1', 1, 2), pair('cell=2', 3, 4)),
     1, '', "${columns}1|1|2|00\n2|3|4|00\n##END|Cell\n"],
    ['no footer, a flag before', collection(0, pair('cell=1', 1, 2, tlv(0x82, "\x00")), pair('cell=2', 3, 4)),
     1, '', "${columns}1|1|2|00\n2|3|4|00\n##END|Cell\n"],
    ['the end marker names the class its start marker opened',
     collection(1, pair('cell=1', 1, 2), pair('Unit=7', 3, 4), pair('cell=2', 5, 6)), 1, '',
     "${columns}1|1|2|00\nUnit=7|3|4|00\n2|5|6|00\n##END|Cell\n"],
);
for my $case (@blocks) {
    my ($label, $octets, $result, $said, $block) = @$case;
    my ($ok, $stdout, $files, $log) = run(octets => $octets);
    is_deeply([$ok, $stdout, scalar @$files], [$result, $said, 1], "$label: result, output, one file");
    like($files->[0] // '', qr/\A## Parser Intermediate File\n##START\|HEADER\n.*\n.*\n##END\|HEADER\n\Q$block\E\z/,
         "$label: content");
    ok(grep({ $_ eq "1 $said" =~ s/\n//r } @$log), "$label: said in the log too") if $said;
}

my %block = (measTimeStamp => '20261205174500Z', granularityPeriod => 900);
my ($ok, undef, $files) = run(octets => encode_meas_file({
    measFileHeader => { fileFormatVersion => 1, senderName => 'a=b', senderType => 'RNC', vendorName => 'V',
                        collectionBeginTime => '20261205170000Z' },
    measData => [{ nEId => { nEUserName => 'n', nEDistinguishedName => 'd' }, measInfo => [] },
                 { nEId => { nEUserName => 'n', nEDistinguishedName => 'd' }, measInfo => [
                     { %block, measTypes => ['a'], measValues => [] },
                     { %block, measTypes => [], measValues => [{ measObjInstId => 'cell=1', measResults => [] }] },
                     { %block, measTypes => ['b'], measValues => [{ measObjInstId => 'cell=2', measResults => [{ iValue => 5 }] }] },
                 ] }],
    measFileFooter => '20261205180000Z' }));
is_deeply([$ok, map { (split /##END\|HEADER\n/)[1] } @$files],
          [1, "##START|Cell\nOBJ_ID|suspectFlag\n1|00\n##END|Cell\n", "##START|Cell\nOBJ_ID|b|suspectFlag\n2|5|00\n##END|Cell\n"],
          'empty lists of types, values and results: a block without values writes no file; the others are whole');

my ($nowhere, undef, undef, $log, undef, $err) = run(octets => collection(1, pair('cell=1', 1, 2), pair('cell=2', 3, 4)),
                                                     out => "$dir/nowhere");
is_deeply([$nowhere, $err], [0, "pif_manager_write_counters(): pm->fp is null !!!\n"],
          'an output directory that does not exist: false, the lost lines said once on standard error');
like(join("\n", @$log), qr{^1 Cannot open PIF file \Q$dir\E/nowhere/Cell-#-\d+-#-I\.pif: No such file or directory$}m,
     '... logged with the reason');

BerMeas::delete_config();
chdir '/';
done_testing();
