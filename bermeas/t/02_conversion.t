# Whole conversions with the example configuration, compared byte for byte with PIF
# files checked by hand (bermeas/t/expected): several measData and measInfo blocks,
# object classes with and without alternative names and the OBJ fallback, suspect flags
# set, cleared and absent, integers up to 4294967295, real and missing values, header
# fields from the directory and the file name; definite and indefinite lengths alike.
# Then the real BSC file of the shared samples, when they are there.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(scratch sample shared_sample slurp spew ordered example_config rnc_file_name indefinite pif_files
    compare_with_expected log_lines);
use BerMeas;

my $dir = scratch();
chdir $dir or die;
BerMeas::set_config(example_config());

my $utran_name = '/data/NETWORK_west/A20261205.1700+0100-1800+0100_RNC01.ber';
spew('utran-indefinite.ber', indefinite(slurp(sample('ber/meas-utran.ber'))));
# The first two take the file counter from 0 as the expected files did.
for my $case (['rnc', sample('ber/meas-rnc.ber'), rnc_file_name(), 'definite'],
              ['utran', sample('ber/meas-utran.ber'), $utran_name, 'definite'],
              ['rnc', sample('ber/meas-rnc-indefinite.ber'), rnc_file_name(), 'indefinite'],
              ['utran', "$dir/utran-indefinite.ber", $utran_name, 'indefinite']) {
    my ($expected, $input, $name, $form) = @$case;
    mkdir "$dir/$expected-$form";
    ok(BerMeas::process_file($input, $name, "$dir/$expected-$form"), "$expected, $form lengths: converted");
    compare_with_expected("$dir/$expected-$form", $expected, "$expected, $form lengths", $form eq 'indefinite');
}

my @utran = grep { /A20261205\.1700/ .. /Closing input file/ } log_lines();
is_deeply([@utran[0 .. 19]], ["3 Validating filename: $utran_name", '3 Filename successfully validated',
    "3 Setting output directory to $dir/utran-definite", '3 Extracting directory and filename header records',
    '3 Opening input file for reading', '3 Parsing input file',
    (map { ("3 Opening PIF file $dir/utran-definite/$_", '3 Closing PIF file') } pif_files("$dir/utran-definite")),
    '3 Parsing completed', '3 Closing input file'], 'the log tells each step of a conversion in order');
BerMeas::delete_config();

SKIP: {
    my $bsc = shared_sample('asn1-ber/keavem_file.asn1') or skip 'shared samples not found', 2;
    BerMeas::set_config(ordered(FILENAME_HEADER_FIELDS => { FILENAME => '^(.+)$' },
        ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(senderType measTimeStamp_Date measTimeStamp_Time)]));
    mkdir 'bsc';
    ok(BerMeas::process_file($bsc, 'A20210824.0915+0200-0930+0200_BSCGARE.asn1', "$dir/bsc"), 'a real BSC file converts');
    my ($lines, @bad, @files) = (0);
    for my $name (@files = pif_files('bsc')) {
        my ($columns, @data) = slurp("bsc/$name") =~ /\A## Parser Intermediate File\n(?:.*\n){4}##START\|(.*)\n(.*)\n((?s:.*))##END\|\1\n\z/
            ? ($2, split /\n/, $3) : ('?');
        $lines += @data;
        # The senderType is empty; every line has as many fields as the columns and no suspect flag.
        push @bad, $name if $name !~ /\AOBJ-#-24Aug2021-#-\d\d:\d\d:\d\d-#-\d+-#-I\.pif\z/
            || grep { tr/|// != $columns =~ tr/|// || !/\|00\z/ } @data;
    }
    is_deeply([scalar @files, $lines, @bad], [35, 16231], '... into a well-formed PIF file per block, every value written');
    BerMeas::delete_config();
}

chdir '/';
done_testing();
