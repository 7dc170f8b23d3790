# Bad and unusual input: unreadable and undecodable files, files cut short at every
# octet, elements the state machine cannot place, empty lists, unwritable output,
# unknown result kinds, suspect blocks and blocks whose measured objects change class.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use BerMeasTest qw(work_dir ordered example_config sample expected_dir read_file write_file pif_files
    log_lines capture_output convert tlv indefinite rnc_file_name encode_meas_file shared_sample);

my $dir = work_dir();

# A measurement file built element by element around the given measValue elements, so
# that tests can put in what an encoder for the layout would refuse.
sub file_with_values { return collection(1, @_) }

# The same, with or without measFileFooter.
sub collection {
    my ($footer, @values) = @_;
    return tlv(0x30,
        tlv(0xA0, tlv(0x80, "\x01"), tlv(0x81, 'managedElementId=RNC01'), tlv(0x82, 'RNC'),
                  tlv(0x83, 'Example'), tlv(0x84, '20261205170000Z')),
        tlv(0xA1, tlv(0x30,
            tlv(0xA0, tlv(0x80, 'RNC01'), tlv(0x81, 'x=1')),
            tlv(0xA1, tlv(0x30,
                tlv(0x80, '20261205174500Z'), tlv(0x81, "\x03\x84"),
                tlv(0xA2, tlv(0x13, 'c1'), tlv(0x13, 'c2')),
                tlv(0xA3, @values))))),
        $footer ? tlv(0x82, '20261205180000Z') : ());
}

# One measValue: instance id, result elements, and optionally more elements after them.
sub value { my ($id, $results, @more) = @_; return tlv(0x30, tlv(0x80, $id), tlv(0xA1, @$results), @more) }
sub int_result { tlv(0x80, $_[0]) }

sub new_log_lines {
    my ($before) = @_;
    my @all = log_lines();
    return @all[$before .. $#all];
}

BerMeas::set_config(ordered(
    ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
    ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' },
    ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'NULL'));

subtest 'an input that cannot be opened' => sub {
    my $before = () = log_lines();
    my ($ok, undef, $files) = convert(input => "$dir/missing.ber");
    ok(!$ok, 'false');
    is(scalar keys %$files, 0, 'no PIF file');
    is((new_log_lines($before))[-1], "1 Cannot open input file: $dir/missing.ber", 'logged, log closed');
};

subtest 'an empty input and one that is no BER' => sub {
    for my $octets ('', "\x30\x85\x01\x02\x03\x04\x05") {
        my $before = () = log_lines();
        my ($ok, undef, $files) = convert(octets => $octets);
        ok(!$ok, 'false');
        is(scalar keys %$files, 0, 'no PIF file');
        is((new_log_lines($before))[-1], '1 asn1_process() failed', 'logged, log closed');
    }
};

subtest 'an input that holds no measurement collection' => sub {
    my %input = (
        'an empty SEQUENCE' => "\x30\x00",
        'a SEQUENCE of other things' => tlv(0x30, tlv(0x30, tlv(0x02, "\x01")), tlv(0x04, 'abc')),
    );
    # XML files that happen to decode as BER (the others fail the walk)
    for my $xml (qw(32435-xml/boda_A2.xml 28532-xml/onapPM_A20181004.0000-1000-0015-1000_5G.xml)) {
        my $path = shared_sample($xml);
        $input{$xml} = read_file($path) if $path;
    }
    for my $label (sort keys %input) {
        my $before = () = log_lines();
        my ($ok, undef, $files) = convert(octets => $input{$label});
        ok(!$ok, "$label: false");
        is(scalar keys %$files, 0, "$label: no PIF file");
        like((new_log_lines($before))[-1], qr/^1 No measurement collection in input file: /, "$label: logged");
    }
};

subtest 'a file cut short at any octet: complete files stay, the last one has no end line' => sub {
    my @expected = map { read_file(expected_dir('rnc') . "/$_") } pif_files(expected_dir('rnc'));
    BerMeas::delete_config();
    BerMeas::set_config(example_config());
    for my $form ('definite', 'indefinite') {
        my $octets = read_file(sample($form eq 'definite' ? 'meas-rnc.ber' : 'meas-rnc-indefinite.ber'));
        my ($wrong, $files_seen) = (0, 0);
        for my $cut (1 .. length($octets) - 1) {
            unlink 'bermeas.log';
            my ($ok, $out, $files) = convert(octets => substr($octets, 0, $cut), name => rnc_file_name());
            my @names = pif_files($out);
            my @got = map { $files->{$_} } @names;
            $files_seen += @got;
            my @log = log_lines();
            my $fine = !$ok && @got <= @expected && grep { $_ eq '1 asn1_process() failed' } @log;
            # The file left open names itself in the log.
            $fine &&= $log[-1] eq "1 Leaving PIF file without end line: $out/$names[-1]"
                if @got && $got[-1] ne $expected[$#got];
            for my $i (0 .. $#got) {
                my $partial = length $got[$i] < length $expected[$i]
                    && $got[$i] eq substr($expected[$i], 0, length $got[$i]) && $got[$i] !~ /^##END\|OBJ$/m;
                # Files closed before the cut are complete; so is the last one when only
                # the closing end-of-contents octets after the footer are missing.
                my $complete = $got[$i] eq $expected[$i] && ($i < $#got || $cut > length($octets) - 3);
                $fine &&= $i < $#got ? $complete : $partial || $complete;
            }
            unless ($fine) {
                $wrong++;
                diag "$form, cut at $cut: ", explain(\@got) if $wrong <= 3;
            }
            unlink map { "$out/$_" } keys %$files;
            rmdir $out;
        }
        is($wrong, 0, "$form lengths: every cut fails cleanly");
        cmp_ok($files_seen, '>', 200, "$form lengths: cuts inside blocks leave partial files");
    }
    BerMeas::delete_config();
    BerMeas::set_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' },
        ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'NULL'));
};

subtest 'a file cut before the first line of a block is written' => sub {
    # Cut inside the first measurement value: the block's file has its header, no data.
    my $octets = substr(read_file(sample('meas-rnc.ber')), 0, 310);
    BerMeas::delete_config();
    BerMeas::set_config(example_config());
    my ($ok, undef, $files) = convert(octets => $octets, name => rnc_file_name());
    ok(!$ok, 'false');
    my @pif = values %$files;
    is(scalar @pif, 1, 'one PIF file');
    like($pif[0], qr/\A## Parser Intermediate File\n##START\|HEADER\n[^\n]*\n[^\n]*\n\z/,
         'it ends with the header values: without the header end line it cannot pass for a block whose values are all suspect');
    BerMeas::delete_config();
    BerMeas::set_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' },
        ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'NULL'));
};

subtest 'an element after a measurement value that fits nowhere restarts the machine' => sub {
    my $octets = file_with_values(
        value('cell=1', [int_result("\x01"), int_result("\x02")], tlv(0x82, "\x00")),
        value('cell=2', [int_result("\x03"), int_result("\x04")], tlv(0x82, "\x00"), tlv(0x83, "\x01")),
        value('cell=3', [int_result("\x05"), int_result("\x06")]));
    my $before = () = log_lines();
    my ($result, $out, $err) = capture_output(sub { [convert(octets => $octets)] });
    my ($ok, undef, $files) = @$result;
    ok(!$ok, 'false: the rest of the file is lost');
    is($out, "ERROR 1 !!! indent: 7, tag: 3\n", 'said on standard output');
    ok(grep({ $_ eq '1 ERROR 1 !!! indent: 7, tag: 3' } new_log_lines($before)), 'and in the log');
    my @pif = values %$files;
    is(scalar @pif, 1, 'one PIF file');
    like($pif[0], qr/\n##START\|Cell\nOBJ_ID\|c1\|c2\|suspectFlag\n1\|1\|2\|00\n2\|3\|4\|00\n\z/,
         'the file open at the restart is closed without end line: its block lost the third value');
};

subtest 'empty lists of types, values and results' => sub {
    my %block = (measTimeStamp => '20261205174500Z', granularityPeriod => 900);
    my $octets = encode_meas_file({
        measFileHeader => { fileFormatVersion => 1, senderName => 'a=b', senderType => 'RNC',
                            vendorName => 'V', collectionBeginTime => '20261205170000Z' },
        measData => [
            { nEId => { nEUserName => 'n', nEDistinguishedName => 'd' }, measInfo => [] },
            { nEId => { nEUserName => 'n', nEDistinguishedName => 'd' }, measInfo => [
                { %block, measTypes => ['a'], measValues => [] },
                { %block, measTypes => [], measValues => [{ measObjInstId => 'cell=1', measResults => [] }] },
                { %block, measTypes => ['b'], measValues => [{ measObjInstId => 'cell=2',
                                                              measResults => [{ iValue => 5 }] }] },
            ] },
        ],
        measFileFooter => '20261205180000Z',
    });
    my ($ok, $out, $files) = convert(octets => $octets);
    ok($ok, 'converted');
    my @blocks = map { (split /##END\|HEADER\n/, $files->{$_})[1] } pif_files($out);
    is_deeply(\@blocks, ["##START|Cell\nOBJ_ID|suspectFlag\n1|00\n##END|Cell\n",
                         "##START|Cell\nOBJ_ID|b|suspectFlag\n2|5|00\n##END|Cell\n"],
              'a block without values writes no file; the others are whole');
};

subtest 'results: integers up to 2^32 - 1, reals, missing values, unknown kinds' => sub {
    my $octets = file_with_values(
        value('cell=1', [int_result("\x00\xFF\xFF\xFF\xFF"), int_result("\xFF")]),
        value('cell=2', [int_result("\x00\x80\x00\x00\x00"), int_result("\x01\x00\x00\x00\x07")]),
        value('cell=3', [tlv(0x81, "\x02" . ' 12,5'), tlv(0x81, "\x03" . '-25E-1')]),
        value('cell=4', [tlv(0x81, "\xB0\x01\x01"), tlv(0x81, '')]),
        value('cell=5', [tlv(0x82, ''), tlv(0x83, "\x01")]),
        value('cell=6', [tlv(0x80, ''), tlv(0x84, "\x01")]));
    my ($ok, undef, $files) = convert(octets => $octets);
    ok($ok, 'converted');
    my ($pif) = values %$files;
    my @lines = (split /\n/, $pif)[7 .. 12];
    is_deeply(\@lines, [
        '1|4294967295|255|00',       # unsigned, from five octets
        '2|2147483648|7|00',         # above 2^31; only the last four octets count
        '3|12.5|-2.5|00',            # decimal reals
        '4||0|00',                   # a reserved base is no real; no content is zero
        '5|NULL||00',                # noValue; an alternative this converter does not know
        '6|0||00',                   # an empty integer is 0; a later alternative
    ], 'one field per result');
};

subtest 'suspect values write no line; a block of only suspect values has no data block' => sub {
    my $octets = file_with_values(
        value('cell=1', [int_result("\x01"), int_result("\x02")], tlv(0x82, "\xFF")),
        value('cell=2', [int_result("\x03"), int_result("\x04")], tlv(0x82, "\x01")));
    my ($ok, undef, $files) = convert(octets => $octets);
    ok($ok, 'converted');
    my ($pif) = values %$files;
    like($pif, qr/\n##END\|HEADER\n\z/, 'header section only');
};

subtest 'a file without footer: its last value without suspectFlag is written' => sub {
    for my $flag ('', tlv(0x82, "\x00")) {
        my $octets = collection(0, value('cell=1', [int_result("\x01"), int_result("\x02")], $flag),
                                   value('cell=2', [int_result("\x03"), int_result("\x04")]));
        my ($ok, undef, $files) = convert(octets => $octets);
        ok($ok, 'converted');
        my ($pif) = values %$files;
        like($pif, qr/\n1\|1\|2\|00\n2\|3\|4\|00\n##END\|Cell\n\z/, 'both lines, then the end line');
    }
};

subtest 'the end marker names the block its start marker opened' => sub {
    my $octets = file_with_values(
        value('cell=1', [int_result("\x01"), int_result("\x02")]),
        value('Unit=7', [int_result("\x03"), int_result("\x04")]),
        value('cell=2', [int_result("\x05"), int_result("\x06")]));
    my ($ok, undef, $files) = convert(octets => $octets);
    my ($name) = keys %$files;
    like($name, qr/\ACell-#-/, 'the file is named after the first value');
    like($files->{$name}, qr/\n##START\|Cell\nOBJ_ID\|c1\|c2\|suspectFlag\n1\|1\|2\|00\nUnit=7\|3\|4\|00\n2\|5\|6\|00\n##END\|Cell\n\z/,
         'start and end markers agree');
};

subtest 'an output directory that does not exist' => sub {
    my $before = () = log_lines();
    my $octets = file_with_values(value('cell=1', [int_result("\x01"), int_result("\x02")]),
                                  value('cell=2', [int_result("\x03"), int_result("\x04")]));
    write_file('input.ber', $octets);
    my ($ok, $out, $err) = capture_output(sub { BerMeas::process_file('input.ber', 'A.ber', "$dir/nowhere") });
    ok(!$ok, 'false');
    is($err, "pif_manager_write_counters(): pm->fp is null !!!\n", 'the lost lines said once on standard error');
    my ($line) = grep { /Cannot open PIF file/ } new_log_lines($before);
    like($line, qr{^1 Cannot open PIF file \Q$dir\E/nowhere/Cell-#-\d+-#-I\.pif: No such file or directory\z}, 'logged with the reason');
};

BerMeas::delete_config();
done_testing();
