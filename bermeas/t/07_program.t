# bermeas-convert: the example configuration from the command line.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use IPC::Open3 qw(open3);
use Symbol qw(gensym);
use BerMeasTest qw(work_dir sample expected_dir read_file write_file pif_files);

my $program = ($ENV{PM_BUILD_DIR} // die "PM_BUILD_DIR is not set (run through ctest)\n") . '/bermeas/bermeas-convert';
my $dir = work_dir();

# Returns (exit status, stdout, stderr).
sub run {
    my $err = gensym;
    my $pid = open3(my $in, my $out, $err, $program, @_);
    close $in;
    my $stdout = do { local $/; <$out> } // '';
    my $stderr = do { local $/; <$err> } // '';
    waitpid $pid, 0;
    return ($? >> 8, $stdout, $stderr);
}

subtest 'usage and version' => sub {
    my $version = $ENV{PM_PROJECT_VERSION} or die "PM_PROJECT_VERSION is not set (run through ctest)\n";
    my $usage = "Usage: $program filename\n"
      . "Convert a 3GPP ASN.1 measurement file into PIF files in ./inter_d with the\n"
      . "built-in example configuration (log in ./bermeas.log).\n\n"
      . "      --help     display this help and exit\n"
      . "      --version  output version information and exit\n";
    is_deeply([run()], [1, $usage, ''], 'without an argument: usage, exit 1');
    is_deeply([run('--help')], [0, $usage, ''], '--help: usage, exit 0');
    is_deeply([run('--version')], [0, "bermeas-convert $version\n", ''], '--version: exit 0');
    ok(!-e 'inter_d', 'nothing converted');
};

my $name = 'A20261205.1430+0100-1445+0100_RNC-North-1.ber';
write_file($name, read_file(sample('meas-rnc.ber')));
my @expected = pif_files(expected_dir('rnc'));

subtest 'converts into inter_d' => sub {
    my ($status, $out, $err) = run($name);
    is($status, 0, 'exit status 0');
    is("$out$err", '', 'quiet');
    is_deeply([pif_files('inter_d')], \@expected, 'the files of the example configuration');
    for my $file (@expected) {
        # Without a directory in the name the NETWORK_ID and REGION_ID fields are missing.
        (my $want = read_file(expected_dir('rnc') . "/$file")) =~ s/\|NETWORK_ID\|REGION_ID//;
        $want =~ s/\|east\|north//;
        is(read_file("inter_d/$file"), $want, $file);
    }
    like(read_file('bermeas.log'), qr/Parsing completed\n.*Closing input file\n\z/, 'logged');
};

subtest 'a new process counts from 0 again and overwrites' => sub {
    my ($status) = run($name);
    is($status, 0, 'exit status 0');
    is_deeply([pif_files('inter_d')], \@expected, 'the same files');
};

subtest 'failures give exit status 1' => sub {
    write_file('meas.ber', read_file(sample('meas-rnc.ber')));
    my ($status, $out, $err) = run('meas.ber');
    is($status, 1, 'refused name');
    is($err, "$program: meas.ber was not converted completely (see bermeas.log)\n", 'said on standard error');
    ($status) = run('A20261205.1430_missing.ber');
    is($status, 1, 'missing file');
};

done_testing();
