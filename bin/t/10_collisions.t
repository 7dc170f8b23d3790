# Runs into one output directory never overwrite each other: the names of XML and BER
# files carry a mark of their input, so inputs of the same name or the same header give
# other names, and an Alcatel file whose name is taken by other content is a duplicate.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use File::Path qw(make_path);
use JSON::PP qw(encode_json);
use Test::More;
use POSIX ();
use Pm2pifTest qw(pm2pif scratch sample spew slurp output_names fake_dir);

BEGIN { $ENV{TZ} = 'UTC' }

sub fake_xml {
    my ($path, $block) = @_;
    make_path($path =~ s{/[^/]+\z}{}r);
    my $data = { commonHeaderData => {}, dataTypeDict => {}, 0 => { blockName => $block, 0 => { pifData => { c => 1 } } } };
    return spew($path, '<mdc><!--FAKE ' . encode_json({ data => $data }) . " --></mdc>\n");
}

subtest 'inputs of one name in separate runs' => sub {
    my $dir = scratch();
    fake_xml("$dir/a/mdc-bsc.xml", 'A');
    fake_xml("$dir/b/mdc-bsc.xml", 'A');
    spew("$dir/b/mdc-bsc.xml", slurp("$dir/b/mdc-bsc.xml") =~ s/"c":1/"c":2/r);
    copy(sample('ber/meas-rnc.ber'), "$dir/a/x.ber") or die;
    copy(sample('ber/meas-rnc-indefinite.ber'), "$dir/b/x.ber") or die;
    for my $from (qw(a b a)) {
        my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, "$from/mdc-bsc.xml", "$from/x.ber");
        is($run->{status}, 0, "$from converts") or diag $run->{err};
    }
    my @names = @{ output_names("$dir/out") };
    is(scalar(grep { /\AA-#-mdc-bsc-#-[0-9a-f]{8}\.0-#-I\.pif\z/ } @names), 2, 'both XML files are kept');
    is(scalar(grep { /\AOBJ-#-RNC-#-/ } @names), 4, 'and both BER files, with the same header');
    is(scalar @names, 6, 'and a rerun adds nothing');

    # Two runs at once into a fresh directory.
    my @pids = map {
        my $from = $_;
        my $pid = fork // die "fork: $!";
        POSIX::_exit(pm2pif({ inc => [ fake_dir() ], cwd => $dir }, '-o', 'both', '-j', 2, "$from/mdc-bsc.xml",
            "$from/x.ber")->{status}) unless $pid;
        $pid;
    } qw(a b);
    is_deeply([ map { waitpid($_, 0); $? } @pids ], [ 0, 0 ], 'two runs at once convert');
    is_deeply(output_names("$dir/both"), \@names, '  into the same files');
};

subtest 'Alcatel files of one name' => sub {
    my $dir = scratch();
    spew("$dir/c.json", encode_json({ alcatel => { blockLayout => sample('alcatel/blocks.cfg') } }));
    mkdir "$dir/$_" or die for qw(a b);
    copy(sample('alcatel/PMRES011.01a.3.'), "$dir/a/PMRES011.01a.3.") or die;
    copy(sample('alcatel/PMRES011.01a.3.'), "$dir/b/PMRES011.01a.3.") or die;
    is(pm2pif({ cwd => $dir }, '-c', 'c.json', 'a')->{status}, 0, 'a file converts');
    is(pm2pif({ cwd => $dir }, '-c', 'c.json', 'a')->{status}, 0, 'and again, to the same content');
    my ($name) = @{ output_names("$dir/out") };
    my $first = slurp("$dir/out/$name");
    spew("$dir/c2.json", encode_json({ alcatel => { blockLayout => sample('alcatel/blocks.cfg'), networkId => 'other' } }));
    my $run = pm2pif({ cwd => $dir }, '-c', 'c2.json', 'b');
    is($run->{status}, 1, 'other content under the name fails');
    like($run->{err}, qr/^pm2pif: b\/PMRES011\.01a\.3\.: its output \Q$name\E is in \S+ already, with other content/m,
        '  as a duplicate');
    is(slurp("$dir/out/$name"), $first, '  and leaves the first file as it was');
};

done_testing;
