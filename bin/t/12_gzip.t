# Decompression is bounded and checked: the kind is told from the first decompressed
# octets before the rest is written, a size limit stops gzip bombs, and a corrupt gzip
# file is a gzip error whatever it holds.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use IO::Compress::Gzip qw(gzip $GzipError);
use Test::More;
use Time::HiRes qw(time);
use Pm2pifTest qw(pm2pif scratch sample spew slurp output_files fake_dir summary_of);

sub gzipped {
    my ($octets) = @_;
    gzip(\$octets => \my $gz, Minimal => 1) or die $GzipError;
    return $gz;
}

subtest 'bombs' => sub {
    my $dir = scratch();
    mkdir "$dir/in" or die;
    spew("$dir/in/zeros.gz", gzipped("\0" x (64 << 20)));
    spew("$dir/in/blanks.xml.gz", gzipped('<mdc>' . (' ' x (16 << 20)) . '</mdc>'));
    my $started = time;
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, '-v', 'in');
    cmp_ok(time - $started, '<', 5, 'taken apart in moments');
    like($run->{err}, qr/^pm2pif: in\/zeros\.gz: skipped: not a measurement file/m,
        'a file of no kind is skipped from its first octets');
    like($run->{err}, qr/^pm2pif: in\/blanks\.xml\.gz: decompressed it holds more than \d+ octets, the limit \(250 times its size\); --max-decompressed sets another$/m,
        'one that looks like XML stops at 250 times its size');
    is_deeply([ @{ summary_of($run->{err}) }{qw(converted failed skipped)} ], [ 0, 1, 1 ], 'counted');
};

subtest '--max-decompressed' => sub {
    my $dir = scratch();
    my $gz = sample('ber/meas-utran.ber.gz');
    my $size = -s sample('ber/meas-utran.ber');
    my $run = pm2pif({ cwd => $dir }, '--max-decompressed', $size - 1, $gz);
    like($run->{err}, qr/meas-utran\.ber\.gz: decompressed it holds more than ${\($size - 1)} octets, the limit; /m,
        'a file above the limit given fails');
    is(pm2pif({ cwd => $dir }, '--max-decompressed', $size, '-o', 'k', $gz)->{status}, 0, 'one within it converts');
    is(pm2pif({ cwd => $dir }, '--max-decompressed', '1M', '-o', 'm', $gz)->{status}, 0, 'with M for 2^20');
    is(pm2pif({ cwd => $dir }, '--max-decompressed', 'lots', $gz)->{status}, 2, 'a size is wanted');
};

subtest 'corrupt files' => sub {
    my $dir = scratch();
    my $gz = gzipped(slurp(sample('ber/meas-rnc.ber')));
    my $xml = gzipped(qq{<mdc><!--FAKE {"data": {}} --></mdc>\n});
    my %cases = (
        'crc.ber.gz'     => [ substr($gz, 0, -8) . pack('V', 1) . substr($gz, -4), qr/CRC mismatch/ ],
        'length.ber.gz'  => [ substr($gz, 0, -4) . pack('V', 1), qr/ISIZE mismatch/ ],
        'cut.ber.gz'     => [ substr($gz, 0, -6), qr/\S/ ],
        'crc.xml.gz'     => [ substr($xml, 0, -8) . pack('V', 1) . substr($xml, -4), qr/CRC mismatch/ ],
    );
    spew("$dir/$_", $cases{$_}[0]) for keys %cases;
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, sort keys %cases);
    is($run->{status}, 1, 'status 1');
    like($run->{err}, qr/^pm2pif: $_: cannot decompress: .*$cases{$_}[1]/m, "$_: a gzip error") for sort keys %cases;
    is_deeply(output_files("$dir/out"), {}, 'nothing written');
};

done_testing;
