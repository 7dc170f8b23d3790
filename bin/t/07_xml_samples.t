# The bundled XML samples through pm2pif with the real measdoc: both layouts without a
# configuration, compressed files, --json, -j, and a file whose counters do not match.
# Skipped while measdoc cannot be loaded.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use JSON::PP qw(decode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample slurp output_files have_measdoc summary_of source_dir);

plan skip_all => 'the XML module measdoc cannot be loaded' unless have_measdoc();

# Checks the PIF grammar of a file: banner, header names and values of one length, one
# block whose rows have as many fields as it has columns. Returns (block name, rows).
sub check_pif {
    my ($name, $text) = @_;
    my @lines = split /\n/, $text, -1;
    pop @lines if @lines && $lines[-1] eq '';
    my $ok = $lines[0] eq '## Parser Intermediate File' && $lines[1] eq '##START|HEADER' && $lines[4] eq '##END|HEADER';
    $ok &&= split(/\|/, $lines[2], -1) == split(/\|/, $lines[3], -1);
    my ($block) = ($lines[5] // '') =~ /\A##START\|(.+)\z/;
    $ok &&= defined $block && $lines[-1] eq "##END|$block";
    my $columns = split /\|/, $lines[6], -1;
    my @rows = @lines[ 7 .. $#lines - 1 ];
    $ok &&= !grep { split(/\|/, $_, -1) != $columns } @rows;
    ok($ok, "$name: PIF grammar") or diag $text;
    return ($block, scalar @rows);
}

subtest 'the current layout without configuration' => sub {
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, sample('xml/boda_A1.xml'));
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my $files = output_files("$dir/out");
    is_deeply([ keys %$files ], ['RncFunction_UtranCell-#-boda_A1-#-0-#-I.pif'], 'one file for the one block');
    my ($name, $text) = %$files;
    my ($block, $rows) = check_pif($name, $text);
    is($rows, 3, 'one row per measValue');
    like($text, qr/^measObjLdn_RncFunction\|measObjLdn_UtranCell\|/m, 'the measured object leads the columns');
};

subtest 'the older layout without configuration' => sub {
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, sample('xml/mdc-bsc.xml'));
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my $files = output_files("$dir/out");
    is_deeply([ sort keys %$files ], [ 'BscFunction_GsmCell-#-mdc-bsc-#-0-#-I.pif', 'BscFunction_Processor-#-mdc-bsc-#-1-#-I.pif' ],
        'one file per block');
    my %rows = map { (check_pif($_, $files->{$_}))[1] => 1 } keys %$files;
    is_deeply(\%rows, { 3 => 1, 2 => 1 }, 'with their rows');
};

subtest 'compressed files, -j and the bundled directory' => sub {
    my $dir = scratch();
    my $gz = pm2pif({ cwd => $dir }, '-o', 'gz', sample('xml/onapPM_A20181002.0000-1000-0015-1000_5G.xml'),
        sample('xml/onapPM_A20181002.0000-1000-0015-1000_5G.xml.gz'));
    is($gz->{status}, 0, 'a file and its compressed copy convert') or diag $gz->{err};
    my $files = output_files("$dir/gz");
    my %by_counter;
    for my $name (keys %$files) {
        my ($counter) = $name =~ /-#-(\d+)-#-I\.pif\z/;
        $by_counter{$counter} = $files->{$name};
    }
    my $half = keys(%by_counter) / 2;
    is_deeply([ map { $by_counter{$_} } $half .. 2 * $half - 1 ], [ map { $by_counter{$_} } 0 .. $half - 1 ],
        'into the same files');

    my %out;
    for my $jobs (1, 2) {
        my $run = pm2pif({ cwd => $dir }, '-j', $jobs, '-o', "out$jobs", '-c', sample('pm2pif.json'), sample('xml'));
        $out{$jobs} = output_files("$dir/out$jobs");
        ok(summary_of($run->{err})->{converted} > 10, "-j $jobs converts the bundled samples");
        like($run->{err}, qr/^pm2pif: \S+boda_A3_rev-c08edd4\.xml: .*parse - type and result counters do not match/m,
            '  and names the one whose counters do not match');
    }
    is_deeply($out{2}, $out{1}, 'the same files with one process and two');
    check_pif($_, $out{1}{$_}) for sort keys %{ $out{1} };
};

subtest '--json' => sub {
    my $run = pm2pif({ cwd => scratch() }, '--json', sample('xml/boda_A1.xml'));
    is($run->{status}, 0, 'shown') or diag $run->{err};
    my $data = decode_json($run->{out});
    ok(ref $data->{commonHeaderData} eq 'HASH' && ref $data->{dataTypeDict} eq 'HASH', 'the hash measdoc_data returns');
    is(scalar grep({ /^\d+$/ } keys %{ $data->{0} }), 3, 'with the block\'s three rows');
};

subtest 'samples from next to the checkout' => sub {
    my @files = grep { -f } map { source_dir() . "/../shared/samples/$_" }
        qw(32401-mdc-xml/teed_mdc_c3_1.xml 32401-mdc-xml/teed_mdc_c3_2.xml 32435-xml/teed_meas_c4_1.xml 32435-xml/teed_meas_c4_2.xml);
    plan skip_all => 'no shared samples' unless @files;
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, @files);
    is($run->{status}, 0, 'they convert') or diag $run->{err};
    my $files = output_files("$dir/out");
    check_pif($_, $files->{$_}) for sort keys %$files;
};

done_testing;
