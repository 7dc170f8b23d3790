# The bundled XML samples through pm2pif with the real measdoc: both layouts compared with
# PIF files checked by hand (t/expected), compressed files, --json and -j. Every sample
# against an independent reader: 08_xml_realworld.t. Skipped while measdoc cannot be loaded.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use JSON::PP qw(decode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample slurp spew output_files have_measdoc summary_of source_dir);

plan skip_all => 'the XML module measdoc cannot be loaded' unless have_measdoc();

# Whether a file keeps the PIF grammar: banner, header names and values of one length, one
# block whose rows have as many fields as it has columns.
sub pif_ok {
    my ($text) = @_;
    my @lines = split /\n/, $text;
    my $ok = @lines >= 8 && $lines[0] eq '## Parser Intermediate File' && $lines[1] eq '##START|HEADER'
        && $lines[4] eq '##END|HEADER' && split(/\|/, $lines[2], -1) == split(/\|/, $lines[3], -1);
    my ($block) = ($lines[5] // '') =~ /\A##START\|(.+)\z/;
    $ok &&= defined $block && $lines[-1] eq "##END|$block";
    my $columns = split /\|/, $lines[6] // '', -1;
    $ok &&= !grep { split(/\|/, $_, -1) != $columns } @lines[ 7 .. $#lines - 1 ];
    return $ok;
}

subtest 'both layouts without configuration, as checked by hand' => sub {
    my $dir = scratch();
    # The older file's NULL counter stays NULL without configuration.
    my $run = pm2pif({ cwd => $dir }, sample('xml/boda_A2.xml'), sample('xml/mdc-bsc.xml'));
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my $expected = output_files("$FindBin::Bin/expected");
    s/\|0\|12\|$/|NULL|12|/m for values %$expected;
    is_deeply(output_files("$dir/out"), $expected, 'one file per block, header and columns in order');
};

subtest 'a configuration file' => sub {
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, '-c', sample('pm2pif.json'), sample('xml/boda_A2.xml'), sample('xml/mdc-bsc.xml'));
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is_deeply(output_files("$dir/out"), output_files("$FindBin::Bin/expected"), 'NULL counters of mdc files become 0');
};

subtest 'compressed files, -j and the bundled directory' => sub {
    my $dir = scratch();
    my $name = 'onapPM_A20181002.0000-1000-0015-1000_5G';
    my $gz = pm2pif({ cwd => $dir }, '-o', 'gz', sample("xml/$name.xml"), sample("xml/$name.xml.gz"));
    is($gz->{status}, 0, 'a file and its compressed copy convert') or diag $gz->{err};
    # The two inputs differ in content, so the mark of the input in the names tells them apart.
    my %by_input;
    my $files = output_files("$dir/gz");
    while (my ($file, $text) = each %$files) {
        my ($block, $mark, $number) = $file =~ /\A(.*)-#-\Q$name\E-#-([0-9a-f]{8})\.(\d+)-#-I\.pif\z/ or next;
        $by_input{$mark}{"$block $number"} = $text;
    }
    my ($plain, $compressed) = values %by_input;
    is_deeply([ scalar keys %by_input, scalar keys %$plain ], [ 2, 3 ], 'three blocks each, apart');
    is_deeply($compressed, $plain, 'the same files from both');

    my %out;
    for my $jobs (1, 2) {
        my $run = pm2pif({ cwd => $dir }, '-j', $jobs, '-o', "out$jobs", '-c', sample('pm2pif.json'), sample('xml'));
        $out{$jobs} = output_files("$dir/out$jobs");
        my %converted = map { $_ => 1 } map { /-#-(.+?)-#-(?:[0-9a-f]{8}\.)?\d+-#-I\.pif\z/ } keys %{ $out{$jobs} };
        ok($converted{$_}, "-j $jobs: $_ converts")
            for qw(boda_A2 mdc-bsc oranRANPM_A20220418.1900-1915_seliitdus00487 oranRANPM_pm
                   onapPM_A20181004.0000-1000-0015-1000_5G), $name;
    }
    is_deeply($out{2}, $out{1}, 'the same files with one process and two');
    is_deeply([ grep { !pif_ok($out{1}{$_}) } sort keys %{ $out{1} } ], [], 'every file keeps the PIF grammar');
};

subtest '--raw-json' => sub {
    my $run = pm2pif({ cwd => scratch() }, '--raw-json', sample('xml/boda_A2.xml'));
    is($run->{status}, 0, 'shown') or diag $run->{err};
    my $data = decode_json($run->{out});
    is_deeply([ sort keys %$data ], [qw(0 commonHeaderData dataTypeDict)], 'the hash measdoc_data returns');
    is_deeply($data->{0}{2}{pifData}, { measObjLdn_RncFunction => 'RF-1', measObjLdn_UtranCell => 'Gbg-999',
        attTCHSeizures => '456', succTCHSeizures => '567', attImmediateAssignProcs => '678', succImmediateAssignProcs => '789', suspect => 'TRUE' },
        'with the counters and the suspect flag of each row');
};

subtest 'a refused file is named with what it lacks, then measdoc\'s words' => sub {
    my $dir = scratch();
    my $section = '<measData><managedElement localDn="ME=%d"/><measInfo><measType>c1</measType>'
        . '<measValue measObjLdn="Cell=1">%s</measValue></measInfo></measData>';
    spew("$dir/a.xml", '<measCollecFile><fileHeader vendorName="V"/>' . sprintf($section, 1, '<r>1</r>')
        . sprintf($section, 2, '') . '</measCollecFile>');
    my $run = pm2pif({ cwd => $dir }, 'a.xml');
    is($run->{status}, 1, 'refused');
    like($run->{err}, qr/^pm2pif: a\.xml: <measData> 2 has no <measResults> or <r> \(expected one in each <measData>\) \(the XML module: ERROR: returned null .*\)$/m,
        'the section and the elements it lacks');
};

subtest 'namespace prefixes convert; UTF-16 is refused saying so' => sub {
    my $dir = scratch();
    my $text = slurp(sample('xml/boda_A2.xml'));
    # Every element under one prefix, bound on the root instead of the default namespace.
    (my $prefixed = $text) =~ s{<(/?)(?=[A-Za-z])}{<$1mc:}g;
    $prefixed =~ s{\bxmlns=}{xmlns:mc=};
    spew("$dir/boda_A2.xml", $prefixed);
    my $run = pm2pif({ cwd => $dir }, 'boda_A2.xml');
    is($run->{status}, 0, 'a prefixed file converts') or diag $run->{err};
    my ($name) = grep {/boda_A2/} keys %{ output_files("$FindBin::Bin/expected") };
    is(output_files("$dir/out")->{$name}, output_files("$FindBin::Bin/expected")->{$name}, '  as the file without prefixes');
    require Encode;
    spew("$dir/utf16.xml", "\xFF\xFE" . Encode::encode('UTF-16LE', $text));
    $run = pm2pif({ cwd => $dir }, 'utf16.xml');
    is($run->{status}, 1, 'UTF-16 fails');
    like($run->{err}, qr/^pm2pif: utf16\.xml: XML in UTF-16, .*convert it to UTF-8/m, '  saying so');
};

subtest 'samples from next to the checkout' => sub {
    my @files = grep { -f } map { (PmBuild::shared_samples() // '') . "/$_" }
        qw(32401-mdc-xml/teed_mdc_c3_1.xml 32401-mdc-xml/teed_mdc_c3_2.xml);
    plan skip_all => 'no shared samples' unless @files;
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, @files);
    is($run->{status}, 0, 'they convert') or diag $run->{err};
    my $files = output_files("$dir/out");
    ok(scalar keys %$files, 'into PIF files');
    is_deeply([ grep { !pif_ok($files->{$_}) } sort keys %$files ], [], 'that keep the PIF grammar');
};

done_testing;
