# Alcatel files through pm2pif: the block layout named by the configuration (relative to
# the configuration file), the header fields it gives, the file name radiobin reads the
# BSS number from (also when the file arrives compressed), and the failures: no layout,
# a release outside the range, a broken file, a duplicate.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use JSON::PP qw(encode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp gzip_file output_files source_dir);

BEGIN { $ENV{TZ} = 'UTC' }    # the header's GMTDIFF

my $sample = sample('alcatel/PMRES011.01a.3.');
my $pif_name = 'TYPE_11-#-3-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt';
my $checked = slurp(source_dir() . '/radiobin/t/data/PMRES011.01a.3.pif');

# A work directory holding the block layout and a configuration that names it relatively.
sub setup {
    my (%alcatel) = @_;
    my $dir = scratch();
    mkdir "$dir/etc" or die;
    copy(sample('alcatel/blocks.cfg'), "$dir/etc/blocks.cfg") or die;
    spew("$dir/etc/pm2pif.json", encode_json({ alcatel => {
        blockLayout => 'blocks.cfg', omcName => 'OMC1', networkId => 'NET1', regionId => 'REG1', %alcatel } }));
    return $dir;
}

subtest 'the sample converts as the module tests check it' => sub {
    my $dir = setup();
    my $run = pm2pif({ cwd => $dir }, '-c', 'etc/pm2pif.json', $sample);
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is_deeply(output_files("$dir/out"), { $pif_name => $checked }, 'one file, named and written as checked');
};

subtest 'a compressed file keeps its name for the BSS number' => sub {
    my $dir = setup();
    gzip_file($sample, "$dir/PMRES011.01a.3..gz");
    my $run = pm2pif({ cwd => $dir }, '-c', 'etc/pm2pif.json', 'PMRES011.01a.3..gz');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is_deeply(output_files("$dir/out"), { $pif_name => $checked }, 'the same file as from the plain one');
};

subtest 'failures' => sub {
    my $dir = setup(maxRelease => 4);
    my $run = pm2pif({ cwd => $dir }, '-c', 'etc/pm2pif.json', $sample);
    is($run->{status}, 1, 'a release outside the range fails');
    like($run->{err}, qr/^pm2pif: \Q$sample\E: radiobin result -2 \(release outside the configured range\): .*Data file '\S+' is release 5 \(radiobin\.log\)$/m,
        '  with the result and what the module logged');

    $dir = scratch();
    $run = pm2pif({ cwd => $dir }, $sample);
    is($run->{status}, 1, 'without a block layout the file fails');
    like($run->{err}, qr/: no block-layout file configured: set alcatel\.blockLayout in the configuration file$/m,
        '  and says what to do');

    # The third record claims sequence number 5: radiobin has written part of its file
    # when it finds out.
    $dir = setup();
    my $octets = slurp($sample);
    substr($octets, 2 * 76 + 2, 1) = "\x05";
    spew("$dir/PMRES011.01a.7.", $octets);
    $run = pm2pif({ cwd => $dir }, '-c', 'etc/pm2pif.json', 'PMRES011.01a.7.', $sample);
    is($run->{status}, 1, 'a broken file fails');
    like($run->{err}, qr/^pm2pif: PMRES011\.01a\.7\.: radiobin result -1 \(failed\): .*rec sequence error detected/m,
        '  naming the file and the reason');
    is_deeply(output_files("$dir/out"), { $pif_name => $checked }, '  its partial output is gone, the good file is there');
    opendir my $dh, "$dir/out" or die;
    is_deeply([ grep { /^\.pm2pif/ } readdir $dh ], [], '  and no work directory is left');
};

subtest 'two files that would write the same output' => sub {
    my $dir = setup();
    gzip_file($sample, "$dir/PMRES011.01a.3..gz");
    my $run = pm2pif({ cwd => $dir }, '-c', 'etc/pm2pif.json', $sample, 'PMRES011.01a.3..gz');
    is($run->{status}, 1, 'the second fails');
    like($run->{err}, qr/^pm2pif: PMRES011\.01a\.3\.\.gz: its output \Q$pif_name\E was already written for \Q$sample\E in this run$/m,
        '  naming the first');
    is_deeply(output_files("$dir/out"), { $pif_name => $checked }, '  the first one stays');
};

done_testing;
