# What pm2pif takes as input, each input accounted for: kinds told from the content, directories
# walked in name order, entries that cannot be read, gzip bounded and checked, names as octets.
use strict;
use warnings;
use File::Spec;
use POSIX ();
use Test::More;
use Time::HiRes qw(time);
use PmBuild ();
use PmTest qw(cases pm2pif sample spew slurp gzipped work_dir layout_config output_files output_names summary_of build_dir fake_dir);
use Pm2pif::Input qw(gunzip_bounded);

BEGIN { $ENV{TZ} = 'UTC' }

# A tree of inputs under $dir/in, with the block layout's configuration in $dir.
sub tree {
    my $dir = work_dir('in/deep/' => undef, 'in/a/noext' => \'ber/meas-rnc.ber', 'in/a/looks.xml' => \'alcatel/PMRES011.01a.3.',
        'in/b/c/deep.ber.gz' => \'ber/meas-utran.ber.gz', (map { ("in/$_" => \'ber/meas-rnc.ber') } '.hidden.ber', '.git/x.ber',
        'out/old.ber'), 'in/readme.txt' => "Collected files\n", 'in/empty' => '', 'pm2pif.json' => layout_config(),
        'in/mdf.xml' => qq{<?xml version="1.0"?>\n<!-- comment -->\n<statsFile>\n</statsFile>\n});
    symlink "$dir/in/a", "$dir/in/link" or die;
    return $dir;
}

subtest 'a directory' => sub {
    my $dir = tree();
    symlink 'loop', "$dir/in/loop" or die;
    symlink 'nothing', "$dir/in/dangling" or die;
    POSIX::mkfifo("$dir/in/fifo", 0600) or die "mkfifo: $!";
    # A tree deeper than a path can name.
    chdir "$dir/in/deep" or die;
    for (1 .. 5000 / 200) { mkdir 'd' x 200; chdir 'd' x 200 or die "chdir: $!" }
    chdir '/' or die;

    my $run = pm2pif({ cwd => $dir }, '-v', '-c', 'pm2pif.json', '-o', 'in/out', 'in', 'in/loop');
    is($run->{status}, 1, 'status 1');
    my @lines = grep { !/ converted .* failed/ } split /\n/, $run->{err};
    my ($deep) = map { m{^pm2pif: in/deep/\S*: (.*)} ? $1 : () } @lines;
    like($deep, qr/^(?:cannot read its status|cannot read the directory): File name too long$/, 'a path too long fails');
    is_deeply([ grep { !m{^pm2pif: in/deep/} } @lines ], [ map { $_->[0] } cases('bin/t/expected/directory-messages.txt') ],
        'every entry in name order, by content; hidden entries, the link and the output left out; the loop once');
    is_deeply(summary_of($run->{err}), { converted => 3, failed => 3, skipped => 4, files => 9, lines => 112 },
        'the summary counts every one');
    my @names = sort keys %{ output_files("$dir/in/out") };
    is($names[-1], 'TYPE_11-#-0-#-OMC-#-05Dec2026-#-10:00-#-05Dec2026-#-10:15-#-I.pt',
        'an Alcatel file under a name without BSS number gives BSS 0, OMC name by default');
};

subtest 'files named on the command line' => sub {
    my $dir = tree();
    spew("$dir/broken.gz", "\x1F\x8B\x08\x00garbage");
    my $run = pm2pif({ cwd => $dir }, 'in/readme.txt', 'in/mdf.xml', 'missing.ber', 'broken.gz', 'in/a/noext',
        'in/a', "$dir/in/a/noext");
    is($run->{status}, 1, 'status 1');
    my @lines = grep { !/ converted .* failed/ } split /\n/, $run->{err};
    my @named = cases('bin/t/expected/named-messages.txt');
    like($lines[$_], qr/$named[$_][0]/, $named[$_][1]) for 0 .. $#named;
    is(scalar @lines, @named, '  and nothing else');
    is(summary_of($run->{err})->{converted}, 1, 'the file named twice and found in the directory is converted once');
    $run = pm2pif({ cwd => $dir }, '-q', 'in/a', 'missing.ber');
    like($run->{err}, qr/\Apm2pif: in\/a\/looks\.xml: no block-layout file[^\n]*\npm2pif: missing\.ber: no such file\n\z/,
        '--quiet: only the failures');
    my $lib = File::Spec->abs2rel(build_dir() . '/perl/lib', $dir);
    $run = pm2pif({ cwd => $dir, lib => $lib }, '-c', 'pm2pif.json', 'in/a');
    is($run->{status}, 0, 'modules found through a relative path load after the workers change directory');
};

subtest 'a directory without search permission' => sub {
    plan skip_all => 'no user nobody to leave root for' if $> == 0 && !getpwnam 'nobody';
    my $dir = work_dir('in/locked/x.ber' => \'ber/meas-rnc.ber', 'out/' => undef);
    chmod 0755, $dir;
    chmod 0777, "$dir/out";
    chmod 0644, "$dir/in/locked/x.ber", "$dir/in/locked";
    my $run = pm2pif({ cwd => $dir, user => 'nobody' }, 'in');
    like($run->{err}, qr{^pm2pif: in/locked/x\.ber: cannot read its status: Permission denied$}m, 'the file it holds fails');
    is(summary_of($run->{err})->{failed}, 1, '  and counts');
};

subtest 'gzip: bounded, checked, told from the content' => sub {
    my $dir = work_dir('in/zeros.gz' => gzipped("\0" x (64 << 20)), 'in/blanks.xml.gz' => gzipped('<mdc>' . (' ' x (16 << 20)) . '</mdc>'));
    my $started = time;
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, '-v', 'in');
    cmp_ok(time - $started, '<', 5, 'bombs are taken apart in moments');
    like($run->{err}, qr/^pm2pif: in\/zeros\.gz: skipped: not a measurement file/m, 'no kind: skipped from its first octets');
    like($run->{err}, qr/^pm2pif: in\/blanks\.xml\.gz: decompressed it holds more than \d+ octets, the limit \(250 times its size\); --max-decompressed sets another$/m,
        'one that looks like XML stops at 250 times its size');
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed skipped)} ], [ 0, 1, 1 ], '  counted');

    my $gz = sample('ber/meas-utran.ber.gz');
    my $size = -s sample('ber/meas-utran.ber');
    $run = pm2pif({ cwd => $dir }, '--max-decompressed', $size - 1, $gz);
    like($run->{err}, qr/meas-utran\.ber\.gz: decompressed it holds more than ${\($size - 1)} octets, the limit; /m,
        '--max-decompressed: above the limit fails');
    is(pm2pif({ cwd => $dir }, '--max-decompressed', $size, '-o', 'k', $gz)->{status}, 0, '  within it converts');

    my $ber = gzipped(slurp(sample('ber/meas-rnc.ber')));
    my $xml = gzipped("<mdc></mdc>\n");
    for my $case ([ 'CRC', substr($ber, 0, -8) . pack('V', 1) . substr($ber, -4), qr/CRC mismatch/ ],
                  [ 'length', substr($ber, 0, -4) . pack('V', 1), qr/ISIZE mismatch/ ],
                  [ 'cut', substr($ber, 0, -6), qr/\S/ ],
                  [ 'XML CRC', substr($xml, 0, -8) . pack('V', 1) . substr($xml, -4), qr/CRC mismatch/ ]) {
        my ($what, $octets, $reason) = @$case;
        spew("$dir/bad.gz", $octets);
        like(eval { gunzip_bounded("$dir/bad.gz", "$dir/bad", 1 << 20, '', 0); '' } // $@,
            qr/\Acannot decompress: .*$reason/, "a corrupt file ($what) is a gzip error");
    }
};

subtest 'names are octets, made safe where they would break a name' => sub {
    (my $ber = slurp(sample('ber/meas-rnc.ber'))) =~ s/\x82\x03RNC/\x82\x03R\xC3\x87/ or die 'no sender type RNC';
    # The double decodes its JSON: escapes give it the octets measdoc would return.
    my $dir = work_dir("r\xE9.ber" => $ber,
        "r\xE9-#-a\nb.xml" => qq{<mdc><!--FAKE {"data": {"0": {"blockName": "C\\u00c3\\u0087/x-#-y", "0": {"pifData": {"c": "1"}}}}} --></mdc>\n});
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, "r\xE9.ber", "r\xE9-#-a\nb.xml");
    is($run->{status}, 0, 'converts') or diag $run->{err};
    my @names = map { s/-#-[0-9a-f]{8}\.(\d)-#-I\.pif\z/ $1/r } @{ output_names("$dir/out") };
    is_deeply(\@names, [ "C\xC3\x87_x-_-y-#-r\xE9-_-a_b 0", map {"OBJ-#-R\xC3\x87-#-05Dec2026-#-14:45:00-#-900 $_"} 0, 1 ],
        'octets kept; "/" and a line feed as "_", "-#-" as "-_-"');
};

done_testing;
