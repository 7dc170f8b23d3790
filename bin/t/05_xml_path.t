# The XML path of pm2pif against a test double of measdoc (t/fake/measdoc.pm) that keeps
# the documented host interface and returns the measdoc_data hash written into the file:
# how the hash becomes PIF files, which items each layout gets, --json, and what happens
# when measdoc reports an error, fails to start or takes its process down.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use JSON::PP qw(encode_json decode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp gzip_file output_files fake_dir summary_of);

my $fake = { inc => [ fake_dir() ] };

sub fake_xml {
    my ($path, $root, $spec) = @_;
    return spew($path, qq{<?xml version="1.0" encoding="UTF-8"?>\n<$root>\n<!--FAKE }
        . JSON::PP->new->canonical->encode($spec) . qq{ -->\n</$root>\n});
}

# The cycles the double saw, in order.
sub cycles {
    my ($log) = @_;
    return [] unless -e $log;
    return [ map { decode_json($_) } split /\n/, slurp($log) ];
}

my $data = {
    commonHeaderData => {
        0 => { vendorName => 'Company NN', dnPrefix => 'DC=a1', fileFormatVersion => '32.435 V7.0' },
        1 => { vendorName => 'Company NN' },
    },
    dataTypeDict => { dnPrefix => 0, vendorName => 0, measObjLdn_RncFunction => 1, measObjLdn_UtranCell => 1 },
    0 => {
        internalHeaderData => { measObjLdn_RncFunction => 'RF-1', measObjLdn_UtranCell => 'Gbg-998',
                                vendorName => 'row vendor', duration => 'PT900S' },
        blockName => 'RncFunction_UtranCell',
        0 => { pifData => { attTCH => '234', succTCH => '345', measObjLdn_RncFunction => 'RF-1', measObjLdn_UtranCell => 'Gbg-997' } },
        1 => { pifData => { attTCH => '"1 2"', measObjLdn_RncFunction => 'RF-1', measObjLdn_UtranCell => 'Gbg-998', suspect => 'TRUE' } },
    },
    1 => { internalHeaderData => {} },
};

subtest 'the measdoc_data hash as PIF files' => sub {
    my $dir = scratch();
    fake_xml("$dir/A20001.xml", 'measCollecFile', { data => $data });
    my $run = pm2pif({ %$fake, cwd => $dir }, sample('ber/meas-rnc.ber'), 'A20001.xml');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my $files = output_files("$dir/out");
    is($files->{'RncFunction_UtranCell-#-A20001-#-0-#-I.pif'}, <<'PIF', 'one block: header, columns and rows in the documented order');
## Parser Intermediate File
##START|HEADER
dnPrefix|fileFormatVersion|vendorName|duration|measObjLdn_RncFunction|measObjLdn_UtranCell
DC=a1|32.435 V7.0|row vendor|PT900S|RF-1|Gbg-998
##END|HEADER
##START|RncFunction_UtranCell
measObjLdn_RncFunction|measObjLdn_UtranCell|attTCH|succTCH|suspect
RF-1|Gbg-997|234|345|
RF-1|Gbg-998|"1 2"||TRUE
##END|RncFunction_UtranCell
PIF
    is($files->{'XMLDATA-#-A20001-#-1-#-I.pif'}, <<'PIF', 'a block without name and rows');
## Parser Intermediate File
##START|HEADER
vendorName
Company NN
##END|HEADER
##START|XMLDATA

##END|XMLDATA
PIF
    is(scalar keys %$files, 4, 'beside the BER file\'s two, numbered within their input');
    is(summary_of($run->{err})->{lines}, 19 + 11 + 7, 'the lines are counted');
};

subtest 'the blocks are written one at a time' => sub {
    my $dir = scratch();
    local $ENV{FAKE_MEASDOC_BLOCKS} = "$dir/blocks.log";
    fake_xml("$dir/a.xml", 'measCollecFile', { data => { %$data, 2 => $data->{0}, 3 => $data->{1} } });
    my $run = pm2pif({ %$fake, cwd => $dir }, 'a.xml');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is(scalar keys %{ output_files("$dir/out") }, 4, 'a file per block');
    is_deeply(cycles("$dir/blocks.log"), [{ fetched => 4, most_alive => 1 }], 'each block dropped before the next');
};

subtest 'items for each layout' => sub {
    my $dir = scratch();
    my $log = "$dir/cycles.log";
    local $ENV{FAKE_MEASDOC_LOG} = $log;
    fake_xml("$dir/current.xml", 'measCollecFile', {});
    fake_xml("$dir/older.xml", 'mdc', { data => { commonHeaderData => {}, dataTypeDict => {}, 0 => {} } });
    fake_xml("$dir/five.xml", 'measDataFile', {});
    fake_xml("$dir/other.xml", 'statsFile', {});
    gzip_file("$dir/older.xml", "$dir/older2.xml.gz");
    spew("$dir/config.json", encode_json({ xml => {
        threadNumber => 2, altCounterNullValue => 0,
        mdc => { threadNumber => '3', headerElementNames => [ 'vn', 'st' ] },
        statsFile => { xmlDocumentType => 1, altOutputBlockNames => { B => 'b', A => 'a' } } } }));

    my $run = pm2pif({ %$fake, cwd => $dir }, 'current.xml', 'older.xml', 'five.xml', 'other.xml');
    is($run->{status}, 1, 'without configuration the layout nobody named fails');
    like($run->{err}, qr/<statsFile> is no layout pm2pif knows \(mdc, measCollecFile, measDataFile\)/, '  naming those it knows');
    my $cycles = cycles($log);
    is(scalar @$cycles, 3, 'the three standard layouts convert');
    my @standard = qw(xmlDocumentType measureTypeElementSeq measurementResultsElementSeq suspectFlagElementName
                      distinguishedNameElementNames);
    for my $cycle (@$cycles[0, 2]) {
        my ($name) = $cycle->{items}{xmlFileName}[0] =~ m{([^/]+)\z};
        is_deeply([ @{ $cycle->{items} }{@standard} ], [ ['1'], [qw(measTypes measType)], [qw(measResults r)],
            ['suspect'], ['measValue.measObjLdn'] ], "$name: type 1, both counter forms, <suspect>, only the measured object as DN");
        my %header = map { $_ => 1 } @{ $cycle->{items}{headerElementNames} };
        my $entity = $name eq 'five.xml' ? 'measEntity' : 'managedElement';
        is_deeply([ grep { !$header{$_} } ("$entity.swVersion", "$entity.userLabel", 'measInfo.measInfoId', 'job.jobId') ], [],
            "$name: the block's header carries its entity and identifiers");
    }
    is_deeply([ @{ $cycles->[1]{items} }{qw(xmlDocumentType xmlFileName)} ], [ ['0'], ["$dir/older.xml"] ], 'older layout: type 0');
    ok((grep { $_ eq 'neun' } @{ $cycles->[1]{items}{headerElementNames} }), '  with the element\'s user name in the header');
    is($cycles->[0]{order}[-1], 'xmlFileName', 'the file name is the last item set');
    unlink $log;

    $run = pm2pif({ %$fake, cwd => $dir }, '-c', 'config.json', 'older2.xml.gz', 'other.xml');
    is($run->{status}, 0, 'with configuration all convert') or diag $run->{err};
    $cycles = cycles($log);
    like($cycles->[0]{items}{xmlFileName}[0], qr{/older2\.xml\z}, 'a compressed file is read decompressed, under its name');
    is_deeply({ %{ $cycles->[0]{items} }, xmlFileName => 'x' }, { xmlDocumentType => ['0'], threadNumber => ['3'],
        altCounterNullValue => ['0'], headerElementNames => [ 'vn', 'st' ], xmlFileName => 'x',
        xmlStandardText => ['1'], counterListWhiteSpace => ['1'], counterPositionAttribute => ['p'], plainObjectNames => ['1'] },
        'the root\'s section wins over the items for every file, which win over the layout');
    is_deeply($cycles->[1]{items}{altOutputBlockNames}, [qw(A a B b)], 'a map becomes key and value texts, sorted');
    is_deeply($cycles->[1]{items}{xmlDocumentType}, ['1'], 'a new root gets the document type it is given');
    ok(output_files("$dir/out")->{'XMLDATA-#-older2-#-0-#-I.pif'}, 'named after the file without .gz and .xml');
};

subtest '--raw-json' => sub {
    my $dir = scratch();
    fake_xml("$dir/a.xml", 'measCollecFile', { data => $data });
    my $run = pm2pif({ %$fake, cwd => $dir }, '--raw-json', 'a.xml');
    is($run->{status}, 0, 'shown') or diag $run->{err};
    is_deeply(decode_json($run->{out}), $data, 'standard output holds the hash');
    like($run->{out}, qr/\A\{\n   "0" : \{/, 'pretty, with sorted keys');
    ok(!-e "$dir/out", 'no PIF file and no output directory');
    like($run->{err}, qr/1 file converted \(1 XML\), 0 failed, 0 skipped; shown as JSON;/, 'the summary says so');

    $run = pm2pif({ %$fake, cwd => $dir }, '--raw-json', sample('ber/meas-rnc.ber'));
    is($run->{status}, 1, 'a BER file fails');
    like($run->{err}, qr/meas-rnc\.ber: --raw-json shows XML files only, and this is a BER file$/m, '  saying why');
};

subtest 'failures reported by measdoc' => sub {
    my $dir = scratch();
    my $log = "$dir/cycles.log";
    local $ENV{FAKE_MEASDOC_LOG} = $log;
    fake_xml("$dir/1-error.xml", 'measCollecFile', { data => $data, error => "parse - type and result counters do not match\n  at parser.cpp:412",
        warnings => ['parse - measurement information not found'] });
    fake_xml("$dir/2-bar.xml", 'measCollecFile', { data => { %$data, 0 => { 0 => { pifData => { a => 'x|y' } } } } });
    fake_xml("$dir/2-break.xml", 'measCollecFile', { data => { %$data, commonHeaderData => { 0 => { vn => "a\nb" } } } });
    fake_xml("$dir/3-start.xml", 'mdc', { init_fails => 1 });
    fake_xml("$dir/4-good.xml", 'mdc', { data => $data, warnings => ['parse - found multiple header data'] });
    fake_xml("$dir/5-lost.xml", 'mdc', { data => $data, warnings => ['parse - measurement value not found',
        'parse - measurement type not found'] });
    # Converted by the double, but the second data section has no element measured (its
    # name in a text is no element).
    fake_xml("$dir/6-entity.xml", 'measCollecFile', { data => $data });
    my $sections = qq{<x:measData>\n<x:managedElement localDn="a"/></x:measData>\n<measData/>\n<measData>\n}
        . qq{<measInfo>a:managedElement <b/></measInfo></measData>\n};
    spew("$dir/6-entity.xml", slurp("$dir/6-entity.xml") =~ s{(?=</measCollecFile>)}{$sections}r);
    my $run = pm2pif({ %$fake, cwd => $dir }, '-j', 1, map { "$_.xml" } qw(1-error 2-bar 2-break 3-start 4-good 5-lost 6-entity));
    is($run->{status}, 1, 'status 1');
    my @lines = grep { !/ converted .* failed/ } split /\n/, $run->{err};
    is_deeply(\@lines, [
        'pm2pif: 1-error.xml: a <measValue> holds more or fewer counter values than its <measInfo> names counters, as the '
            . 'XML module reads them (lists split at single spaces, values paired by their order) '
            . '(the XML module: parse - type and result counters do not match; at parser.cpp:412)',
        'pm2pif: 1-error.xml: warning: parse - measurement information not found',
        'pm2pif: 2-bar.xml: block XMLDATA: the text "x|y" holds a "|" or a line break, which a PIF field cannot carry',
        'pm2pif: 2-break.xml: block RncFunction_UtranCell: the text "a\\nb" holds a "|" or a line break, which a PIF field cannot carry',
        'pm2pif: 3-start.xml: the XML module refused to start: fake - start-up failed',
        'pm2pif: 4-good.xml: warning: parse - found multiple header data',
        'pm2pif: 5-lost.xml: a data section was left out, and its counter values with it '
            . '(the XML module: parse - measurement type not found)',
        'pm2pif: 5-lost.xml: warning: parse - measurement value not found',
        'pm2pif: 6-entity.xml: <measData> 2 has no <managedElement>: the element measured is unknown, and the block '
            . 'would carry the sender\'s names as its own',
    ], 'each file with the reason, then measdoc\'s message; a section skipped with its values fails the file');
    is_deeply([ sort keys %{ output_files("$dir/out") } ], [
        'RncFunction_UtranCell-#-4-good-#-0-#-I.pif', 'XMLDATA-#-4-good-#-1-#-I.pif' ],
        'only the good file is written, numbered from 0');
    my @pids = map { $_->{pid} } @{ cycles($log) };
    is(scalar @pids, 7, 'seven cycles');
    is($pids[0], $pids[2], 'errors in a run leave the process usable');
    isnt($pids[4], $pids[3], 'a failed start-up makes a new process take the next file');
};

subtest 'a process that dies takes only its file' => sub {
    my $dir = scratch();
    for my $n (1 .. 4) {
        fake_xml("$dir/f$n.xml", 'measCollecFile', { data => $data, $n == 2 ? (crash => 1) : () });
    }
    for my $jobs (1, 2) {
        my $run = pm2pif({ %$fake, cwd => $dir }, '-j', $jobs, '-o', "out$jobs", map {"f$_.xml"} 1 .. 4);
        is($run->{status}, 1, "-j $jobs: status 1");
        like($run->{err}, qr/^pm2pif: f2\.xml: the converting process ended abruptly \(signal 9\)$/m, '  the file is named');
        is_deeply(summary_of($run->{err}), { converted => 3, failed => 1, skipped => 0, files => 6, lines => 3 * (11 + 7) },
            '  the others convert');
    }
};

done_testing;
