# Indefinite-length encodings convert exactly like their definite-length twins.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use BerMeasTest qw(work_dir example_config sample expected_dir compare_with_expected read_file write_file
    indefinite rnc_file_name);

my $dir = work_dir();
BerMeas::set_config(example_config());

# The counter starts at 0 in this process as it did for the expected files.
mkdir 'rnc';
ok(BerMeas::process_file(sample('meas-rnc-indefinite.ber'), rnc_file_name(), "$dir/rnc"), 'meas-rnc converted');
compare_with_expected("$dir/rnc", expected_dir('rnc'), 'meas-rnc, indefinite lengths');

mkdir 'utran';
write_file('utran.ber', indefinite(read_file(sample('meas-utran.ber'))));
ok(BerMeas::process_file("$dir/utran.ber", '/data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber',
                         "$dir/utran"), 'meas-utran converted');
compare_with_expected("$dir/utran", expected_dir('utran'), 'meas-utran, indefinite lengths');

BerMeas::delete_config();
done_testing();
