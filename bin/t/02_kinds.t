# Each kind of input through pm2pif with the real modules, against outputs checked by hand or
# by the modules' own tests; and each kind's failures, every one named with the module's reason.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(pm2pif sample slurp work_dir layout_config gzipped output_files have_measdoc source_dir
    summary_of example_config tlv);

BEGIN { $ENV{TZ} = 'UTC' }    # the Alcatel header's GMTDIFF

my $expected = output_files(source_dir() . '/bin/t/expected');

SKIP: {
    skip 'the XML module measdoc cannot be loaded', 1 unless have_measdoc();
    subtest 'XML: both layouts as checked by hand; prefixes; UTF-16 refused' => sub {
        my $text = slurp(sample('xml/boda_A2.xml'));
        require Encode;
        my $dir = work_dir('boda_A2.xml' => $text =~ s{<(/?)(?=[A-Za-z])}{<$1mc:}gr =~ s{\bxmlns=}{xmlns:mc=}r,
            'utf16.xml' => "\xFF\xFE" . Encode::encode('UTF-16LE', $text));
        my @files = (sample('xml/boda_A2.xml'), sample('xml/mdc-bsc.xml'));
        my $run = pm2pif({ cwd => $dir }, '-c', sample('pm2pif.json'), @files);
        is($run->{status}, 0, 'converted') or diag $run->{err};
        is_deeply(output_files("$dir/out"), $expected, 'one file per block, header and columns in order');
        pm2pif({ cwd => $dir }, '-o', 'plain', @files);
        my %null = %$expected;
        s/\|0\|12\|$/|NULL|12|/m for values %null;
        is_deeply(output_files("$dir/plain"), \%null, 'without configuration an mdc NULL counter stays NULL');

        $run = pm2pif({ cwd => $dir }, '-o', 'prefixed', 'boda_A2.xml', 'utf16.xml');
        my ($name) = grep {/boda_A2/} keys %$expected;
        is(output_files("$dir/prefixed")->{$name}, $expected->{$name}, 'namespace prefixes convert as without');
        like($run->{err}, qr/^pm2pif: utf16\.xml: XML in UTF-16, .*convert it to UTF-8/m, 'UTF-16 fails saying so');
    };
}

subtest 'BER: the example configuration gives the files the module tests check' => sub {
    # The module tests' configuration as a file writes it: maps as lists of pairs, in order.
    my $config = example_config();
    my $dir = work_dir('data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC-North-1.ber' => \'ber/meas-rnc.ber',
        'data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber.gz' => \'ber/meas-utran.ber.gz',
        'example.json' => { ber => { map { my $value = $config->{$_};
            $_ => ref $value eq 'HASH' ? [ map { [ $_, $value->{$_} ] } keys %$value ] : $value } keys %$config } });
    # The module numbers its files per process, pm2pif within each input.
    my %checked;
    for my $set (qw(rnc utran)) {
        my $files = output_files(source_dir() . "/bermeas/t/expected/$set");
        my ($first) = sort { $a <=> $b } map { /-#-(\d+)-#-I\.pif\z/ } keys %$files;
        $checked{ s/-#-(\d+)(-#-I\.pif)\z/'-#-' . ($1 - $first) . $2/er } = $files->{$_} for keys %$files;
    }
    my $run = pm2pif({ cwd => $dir }, '-c', 'example.json', '-j', 2, 'data');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is_deeply(output_files("$dir/out"), \%checked, 'names and contents as checked, numbered within each file');
    my $lines = () = join('', values %checked) =~ /\n/g;
    is_deeply(summary_of($run->{err}), { converted => 2, failed => 0, skipped => 0, files => 8, lines => $lines },
        'the summary counts them');

    $run = pm2pif({ cwd => $dir }, '-c', 'example.json', '-o', 'refused', sample('ber/meas-rnc.ber'));
    like($run->{err}, qr{^pm2pif: \S+/meas-rnc\.ber: Filename validation failed\. Not compliant with 3GPP specifications \(bermeas\.log\)$}m,
        'a name that is not 3GPP fails, quoting the log');
    like(slurp("$dir/refused/bermeas.log"), qr/Validating filename: \S+meas-rnc\.ber/, '  which is in the output directory');
};

subtest 'BER without configuration: every object of class OBJ, names marked by their input' => sub {
    # A header, no measurement data and a footer.
    my $dir = work_dir('empty.ber' => tlv(0x30, tlv(0xA0, tlv(0x80, "\x01"), tlv(0x81, 'RNC01'), tlv(0x82, 'RNC'),
        tlv(0x83, 'Example'), tlv(0x84, '20261205170000Z')), tlv(0xA1), tlv(0x82, '20261205180000Z')));
    my $run = pm2pif({ cwd => $dir }, sample('ber/meas-rnc.ber'), sample('ber/meas-rnc-indefinite.ber'), 'empty.ber');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    # Checked by hand: class OBJ with the whole identifier, the file name a header field, the
    # mark (SHA-1 of name, NUL, content) and the number within the input; both length forms alike.
    is_deeply(output_files("$dir/out"), output_files(source_dir() . '/bin/t/expected/ber-plain'), 'the files as checked');
    like($run->{err}, qr/^pm2pif: empty\.ber: warning: no PIF file written: the file holds no measurement values$/m,
        'a file without values converts with a warning');
};

subtest 'Alcatel: as the module tests check it, plain or compressed; its failures' => sub {
    my $sample = sample('alcatel/PMRES011.01a.3.');
    my $pif = 'TYPE_11-#-3-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt';
    my $checked = { $pif => slurp(source_dir() . '/radiobin/t/data/PMRES011.01a.3.pif') };
    # The third record claims sequence number 5: radiobin has written part of its file.
    my $broken = slurp($sample);
    substr($broken, 2 * 76 + 2, 1) = "\x05";
    # The layout named relative to the configuration file.
    my %config = (blockLayout => 'blocks.cfg', omcName => 'OMC1', networkId => 'NET1', regionId => 'REG1');
    my $dir = work_dir('etc/blocks.cfg' => \'alcatel/blocks.cfg', 'etc/c.json' => { alcatel => \%config },
        'etc/range.json' => { alcatel => { %config, maxRelease => 4 } }, 'PMRES011.01a.7.' => $broken,
        'PMRES011.01a.3..gz' => gzipped(slurp($sample)));
    my $run = pm2pif({ cwd => $dir }, '-c', 'etc/c.json', '-o', 'plain', $sample);
    is_deeply(output_files("$dir/plain"), $checked, 'one file, named and written as checked') or diag $run->{err};
    $run = pm2pif({ cwd => $dir }, '-c', 'etc/c.json', '-o', 'gz', 'PMRES011.01a.3..gz', $sample);
    is_deeply(output_files("$dir/gz"), $checked, 'compressed, it keeps its name for the BSS number');
    like($run->{err}, qr/^pm2pif: \Q$sample\E: its output \Q$pif\E was already written for PMRES011\.01a\.3\.\.gz in this run$/m,
        'a second input of that output fails, naming the first');

    $run = pm2pif({ cwd => $dir }, '-c', 'etc/c.json', '-o', 'broken', 'PMRES011.01a.7.', $sample);
    like($run->{err}, qr/^pm2pif: PMRES011\.01a\.7\.: radiobin result -1 \(failed\): .*rec sequence error detected/m,
        'a broken file fails with the reason');
    is_deeply(output_files("$dir/broken"), $checked, '  its partial output is gone, the good file is there');
    $run = pm2pif({ cwd => $dir }, '-c', 'etc/range.json', '-o', 'range', $sample);
    like($run->{err}, qr/^pm2pif: \Q$sample\E: radiobin result -2 \(release outside the configured range\): .*is release 5 \(radiobin\.log\)$/m,
        'a release outside the range fails');
    $run = pm2pif({ cwd => $dir }, '-o', 'nolayout', $sample);
    like($run->{err}, qr/: no block-layout file configured: set alcatel\.blockLayout in the configuration file$/m,
        'without a block layout it fails, saying what to do');
    is($run->{status}, 1, '  status 1');
};

subtest '--kind forces a kind; a module that finds nothing fails the file' => sub {
    my $dir = work_dir('looks.xml' => \'alcatel/PMRES011.01a.3.', seq => "\x30\x00", 'c.json' => layout_config());
    my $run = pm2pif({ cwd => $dir }, '--kind', 'ber', 'looks.xml', 'seq', sample('ber/meas-utran.ber.gz'));
    like($run->{err}, qr/^pm2pif: \Q$_\E: No measurement collection in input file: .*\Q$_\E \(bermeas\.log\)$/m,
        "$_: with BerMeas's reason") for 'looks.xml', 'seq';
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed)} ], [ 1, 2 ], 'the BER file converts');
    $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '--kind', 'alcatel', sample('ber/meas-rnc.ber'));
    like($run->{err}, qr/radiobin result -1 \(failed\): .*File is not a performance measurement file/, 'radiobin\'s too');
};

done_testing;
