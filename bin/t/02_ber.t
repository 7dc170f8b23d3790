# BER files through pm2pif. Given the module's example configuration as a configuration
# file, a directory of two files arriving in a network/region tree (one compressed) gives
# byte for byte the files the BerMeas tests check, numbered through the run. Without a
# configuration no file name is refused and every measured object is of class OBJ.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use File::Path qw(make_path);
use Digest::SHA ();
use JSON::PP qw(encode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp gzip_file output_files source_dir summary_of);
use PmBuild ();
use PmTest qw(example_config);

# The example configuration the BerMeas tests use, as a configuration file writes it: its
# maps as lists of [name, value] pairs, in order.
my $example = do {
    my $config = example_config();
    +{ map {
        my $value = $config->{$_};
        $_ => ref $value eq 'HASH' ? [ map { [ $_, $value->{$_} ] } keys %$value ] : $value
    } keys %$config };
};

# The files the module tests check, numbered within each input as pm2pif numbers them.
sub expected_files {
    my %files;
    for my $set (@_) {
        my $dir = source_dir() . "/bermeas/t/expected/$set";
        my $module = output_files($dir);
        my $number = sub { $_[0] =~ /-#-(\d+)-#-I\.pif\z/ ? $1 : die };
        my @names = sort { $number->($a) <=> $number->($b) } keys %$module;
        my $first = $number->($names[0]);
        $files{ s/-#-(\d+)(-#-I\.pif)\z/'-#-' . ($1 - $first) . $2/er } = $module->{$_} for @names;
    }
    return \%files;
}

subtest 'the example configuration gives the files the module tests check' => sub {
    my $dir = scratch();
    make_path("$dir/data/NETWORK_east/REGION_north", "$dir/data/NETWORK_west");
    copy(sample('ber/meas-rnc.ber'), "$dir/data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC-North-1.ber")
        or die;
    gzip_file(sample('ber/meas-utran.ber'), "$dir/data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber.gz");
    spew("$dir/example.json", encode_json({ ber => $example }));

    for my $jobs (1, 2) {
        my $run = pm2pif({ cwd => $dir }, '-c', 'example.json', '-o', "out$jobs", '-j', $jobs, 'data');
        is($run->{status}, 0, "converted with -j $jobs") or diag $run->{err};
        is_deeply(output_files("$dir/out$jobs"), expected_files(qw(rnc utran)),
            '  names and contents as checked, numbered within each file');
        my $lines = 0;
        $lines += tr/\n// for values %{ expected_files(qw(rnc utran)) };
        is_deeply(summary_of($run->{err}), { converted => 2, failed => 0, skipped => 0, files => 8, lines => $lines },
            '  the summary counts them');
    }
};

subtest 'the example configuration refuses a name that is not 3GPP' => sub {
    my $dir = scratch();
    spew("$dir/example.json", encode_json({ ber => $example }));
    my $run = pm2pif({ cwd => $dir }, '-c', 'example.json', sample('ber/meas-rnc.ber'));
    is($run->{status}, 1, 'status 1');
    like($run->{err}, qr{^pm2pif: \S+/meas-rnc\.ber: Filename validation failed\. Not compliant with 3GPP specifications \(bermeas\.log\)$}m,
        'the message names the file and quotes the log');
    is_deeply(output_files("$dir/out"), {}, 'nothing written');
    like(slurp("$dir/out/bermeas.log"), qr/Validating filename: \S+meas-rnc\.ber/, 'the log is in the output directory');
};

subtest 'without configuration' => sub {
    my $dir = scratch();
    my $run = pm2pif({ cwd => $dir }, sample('ber/meas-rnc.ber'), sample('ber/meas-rnc-indefinite.ber'));
    is($run->{status}, 0, 'converted') or diag $run->{err};
    my $files = output_files("$dir/out");
    my %mark;
    /\AOBJ-#-RNC-#-05Dec2026-#-14:45:00-#-900-#-([0-9a-f]{8})\.(\d+)-#-I\.pif\z/ and $mark{$1}{$2} = 1 for keys %$files;
    is_deeply([ map { [ sort keys %$_ ] } values %mark ], [ [ 0, 1 ], [ 0, 1 ] ],
        'named by sender type, time stamp, granularity, the mark of the input and the number within it');
    my $digest = substr(Digest::SHA->new(1)->add("meas-rnc.ber\0")->addfile(sample('ber/meas-rnc.ber'))->hexdigest, 0, 8);
    my $first = "OBJ-#-RNC-#-05Dec2026-#-14:45:00-#-900-#-$digest.0-#-I.pif";
    ok($files->{$first}, '  the mark: 8 hex digits of the SHA-1 of the name, a NUL and the content');
    my ($names, $values) = $files->{$first} =~ /^##START\|HEADER\n(.*)\n(.*)\n/m;
    my %header;
    @header{ split /\|/, $names } = split /\|/, $values;
    is($header{FILENAME}, 'meas-rnc.ber', 'the file name is a header field');
    like($files->{$first}, qr/^OBJ_ID\|attTCHSeizures\|succTCHSeizures\|failTCHSeizures\|suspectFlag\nRncFunction=1,UtranCell=Gbg-997\|234\|/m,
        'every object is of class OBJ with its whole identifier');
    my ($other) = grep { !/$digest/ && /\.0-#-I\.pif\z/ } keys %$files;
    (my $indefinite = $files->{$other}) =~ s/meas-rnc-indefinite\.ber/meas-rnc.ber/;
    is($indefinite, $files->{$first}, 'indefinite lengths give the same file');
};

subtest 'a BER file without measurement values' => sub {
    my $dir = scratch();
    my $ber = encode_empty_file();
    spew("$dir/empty.ber", $ber);
    my $run = pm2pif({ cwd => $dir }, 'empty.ber');
    is($run->{status}, 0, 'converts');
    like($run->{err}, qr/^pm2pif: empty\.ber: warning: no PIF file written: the file holds no measurement values$/m,
        'with a warning that nothing came of it');
};

# A measurement file with a header, no measData and a footer.
sub encode_empty_file {
    my $tlv = sub {
        my ($tag, $content) = @_;
        return chr($tag) . chr(length $content) . $content;
    };
    my $header = $tlv->(0xA0, $tlv->(0x80, "\x01") . $tlv->(0x81, 'RNC01') . $tlv->(0x82, 'RNC')
        . $tlv->(0x83, 'Example') . $tlv->(0x84, '20261205170000Z'));
    return $tlv->(0x30, $header . $tlv->(0xA1, '') . $tlv->(0x82, '20261205180000Z'));
}

done_testing;
