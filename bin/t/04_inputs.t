# What pm2pif takes as input: the kind told from the content whatever the name, gzip
# told from the content too, directories walked in order without hidden entries, links to
# directories or the output directory, files of no known kind skipped in directories but
# failing when named, and each file converted once.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use File::Path qw(make_path);
use JSON::PP qw(encode_json);
use Test::More;
use File::Spec;
use Pm2pifTest qw(pm2pif scratch sample spew gzip_file output_files summary_of build_dir);

BEGIN { $ENV{TZ} = 'UTC' }

# A tree of inputs under $dir/in, with the block layout's configuration in $dir.
sub tree {
    my $dir = scratch();
    make_path(map {"$dir/in/$_"} qw(a b/c .git out));
    copy(sample('ber/meas-rnc.ber'), "$dir/in/a/noext") or die;
    copy(sample('alcatel/PMRES011.01a.3.'), "$dir/in/a/looks.xml") or die;
    gzip_file(sample('ber/meas-utran.ber'), "$dir/in/b/c/deep.ber.gz");
    copy(sample('ber/meas-rnc.ber'), "$dir/in/.hidden.ber") or die;
    copy(sample('ber/meas-rnc.ber'), "$dir/in/.git/x.ber") or die;
    copy(sample('ber/meas-rnc.ber'), "$dir/in/out/old.ber") or die;
    symlink "$dir/in/a", "$dir/in/link" or die;
    spew("$dir/in/readme.txt", "Collected files\n");
    spew("$dir/in/empty", '');
    spew("$dir/in/mdf.xml", qq{<?xml version="1.0"?>\n<!-- comment -->\n<statsFile>\n</statsFile>\n});
    spew("$dir/pm2pif.json", encode_json({ alcatel => { blockLayout => sample('alcatel/blocks.cfg') } }));
    return $dir;
}

subtest 'a directory' => sub {
    my $dir = tree();
    my $run = pm2pif({ cwd => $dir }, '-v', '-c', 'pm2pif.json', '-o', 'in/out', 'in');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my @lines = grep { !/ converted .* failed/ } split /\n/, $run->{err};
    is_deeply(\@lines, [
        'pm2pif: in/a/looks.xml: Alcatel, 1 PIF file',
        'pm2pif: in/a/noext: BER, 2 PIF files',
        'pm2pif: in/b/c/deep.ber.gz: BER, 6 PIF files',
        'pm2pif: in/empty: skipped: not a measurement file of a kind pm2pif knows (give --kind to force one)',
        'pm2pif: in/mdf.xml: skipped: XML root element <statsFile> is no layout pm2pif knows (mdc, measCollecFile, measDataFile): '
            . 'add a section for it under "xml" in the configuration, or give --kind xml',
        'pm2pif: in/readme.txt: skipped: not a measurement file of a kind pm2pif knows (give --kind to force one)',
    ], 'every file below it in name order, by content, hidden entries, the link and the output left out');
    my $summary = summary_of($run->{err});
    is_deeply([ @$summary{qw(converted failed skipped files)} ], [ 3, 0, 3, 9 ], 'the summary counts them');
    my @names = sort keys %{ output_files("$dir/in/out") };
    is($names[0], 'OBJ-#-RNC-#-05Dec2026-#-14:45:00-#-900-#-0-#-I.pif', 'BER files numbered in input order');
    is($names[-1], 'TYPE_11-#-0-#-OMC-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt',
        'the Alcatel file under a name without BSS number gives BSS 0, OMC name by default');
};

subtest 'files named on the command line' => sub {
    my $dir = tree();
    spew("$dir/broken.gz", "\x1F\x8B\x08\x00garbage");
    my $run = pm2pif({ cwd => $dir }, 'in/readme.txt', 'in/mdf.xml', 'missing.ber', 'broken.gz', 'in/a/noext',
        'in/a', "$dir/in/a/noext");
    is($run->{status}, 1, 'status 1');
    my @lines = grep { !/ converted .* failed/ } split /\n/, $run->{err};
    is(scalar @lines, 5, 'one line per failure, and one for the Alcatel file in in/a without block layout');
    like($lines[0], qr/^pm2pif: in\/readme\.txt: not a measurement file of a kind pm2pif knows/, 'a file of no known kind fails');
    like($lines[1], qr/^pm2pif: in\/mdf\.xml: XML root element <statsFile> is no layout/, 'an XML file of another layout fails');
    is($lines[2], 'pm2pif: missing.ber: no such file', 'a missing file fails');
    like($lines[3], qr/^pm2pif: broken\.gz: cannot decompress: /, 'a broken gzip file fails');
    like($lines[4], qr/^pm2pif: in\/a\/looks\.xml: no block-layout file/, 'the directory adds its other file');
    is(summary_of($run->{err})->{converted}, 1, 'the file named twice and found in the directory is converted once');
};

subtest '--kind' => sub {
    my $dir = tree();
    my $run = pm2pif({ cwd => $dir }, '-c', 'pm2pif.json', '--kind', 'alcatel', 'in/a/noext');
    is($run->{status}, 1, 'a BER file taken as Alcatel fails');
    like($run->{err}, qr/^pm2pif: in\/a\/noext: radiobin result -1 \(failed\): .*File is not a performance measurement file/m,
        '  with radiobin\'s reason');
    $run = pm2pif({ cwd => $dir }, '--kind', 'ber', 'in/b/c/deep.ber.gz');
    is($run->{status}, 0, 'a BER file taken as BER converts');
    spew("$dir/seq", "\x30\x00");
    $run = pm2pif({ cwd => $dir }, '--kind', 'ber', 'in/a/looks.xml', 'seq');
    is($run->{status}, 1, 'files that BerMeas finds nothing in fail');
    like($run->{err}, qr/^pm2pif: \Q$_\E: No measurement collection in input file: .*\Q$_\E \(bermeas\.log\)$/m,
        "  $_: with BerMeas's reason") for 'in/a/looks.xml', 'seq';
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed)} ], [ 0, 2 ], '  and count as failed');
};

subtest 'modules found through a relative path' => sub {
    my $dir = tree();
    my $lib = File::Spec->abs2rel(build_dir() . '/perl/lib', $dir);
    my $run = pm2pif({ cwd => $dir, lib => $lib }, '-c', 'pm2pif.json', 'in/a');
    is($run->{status}, 0, 'the modules load after the workers change directory') or diag $run->{err};
};

subtest '--quiet' => sub {
    my $dir = tree();
    my $run = pm2pif({ cwd => $dir }, '-q', 'in/a', 'missing.ber');
    is($run->{status}, 1, 'status 1');
    like($run->{err}, qr/\Apm2pif: in\/a\/looks\.xml: no block-layout file[^\n]*\npm2pif: missing\.ber: no such file\n\z/,
        'only the failures are printed');
};

done_testing;
