# Whole conversions with the example configuration, compared byte for byte with PIF
# files checked by hand: several measData and measInfo blocks, object classes with and
# without alternative names and the OBJ fallback, suspect flags set, cleared and absent,
# integers up to 4294967295, real and missing values, header fields from the directory
# and the file name, "/" in a file-name field.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use BerMeasTest qw(work_dir example_config sample expected_dir compare_with_expected log_lines rnc_file_name);

my $dir = work_dir();
BerMeas::set_config(example_config());

subtest 'one network element, two blocks, suspect flags set, cleared and absent' => sub {
    mkdir 'rnc' or die;
    ok(BerMeas::process_file(sample('meas-rnc.ber'), rnc_file_name(), "$dir/rnc"), 'converted');
    compare_with_expected("$dir/rnc", expected_dir('rnc'), 'meas-rnc');
};

subtest 'two network elements, six blocks, no suspect flags' => sub {
    mkdir 'utran' or die;
    ok(BerMeas::process_file(sample('meas-utran.ber'),
            '/data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber', "$dir/utran"),
        'converted');
    compare_with_expected("$dir/utran", expected_dir('utran'), 'meas-utran');
};

subtest 'the log tells each step of a conversion' => sub {
    my @utran = grep { /A20261205\.1700/ .. /Closing input file/ } log_lines();
    is_deeply(\@utran, [
        '3 Validating filename: /data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber',
        '3 Filename successfully validated',
        "3 Setting output directory to $dir/utran",
        '3 Extracting directory and filename header records',
        '3 Opening input file for reading',
        '3 Parsing input file',
        "3 Opening PIF file $dir/utran/Cell-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-17:45:00-#-900-#-2-#-I.pif",
        '3 Closing PIF file',
        "3 Opening PIF file $dir/utran/Iub-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-18:00:00-#-3600-#-3-#-I.pif",
        '3 Closing PIF file',
        "3 Opening PIF file $dir/utran/NodeBFddE-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-17:45:00-#-59-#-4-#-I.pif",
        '3 Closing PIF file',
        "3 Opening PIF file $dir/utran/CS_PS-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-17:45:00-#-900-#-5-#-I.pif",
        '3 Closing PIF file',
        "3 Opening PIF file $dir/utran/STM1_line-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-17:45:00-#-900-#-6-#-I.pif",
        '3 Closing PIF file',
        "3 Opening PIF file $dir/utran/OBJ-#-RNC_UTRAN-#-RNC01-#-05Dec2026-#-17:45:00-#-900-#-7-#-I.pif",
        '3 Closing PIF file',
        '3 Parsing completed',
        '3 Closing input file',
    ], 'every step in order');
};

BerMeas::delete_config();
done_testing();
