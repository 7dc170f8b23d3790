# Real measurement files from the shared samples next to the checkout (not
# redistributable, so not in the repository); skipped when they are not there.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Time::HiRes qw(time);
use BerMeas;
use BerMeasTest qw(work_dir ordered shared_sample read_file pif_files);

my $file = shared_sample('asn1-ber/keavem_file.asn1');
plan skip_all => 'shared samples not found' unless $file;

my $dir = work_dir();
BerMeas::set_config(ordered(
    FILENAME_HEADER_FIELDS            => { FILENAME => '^(.+)$' },
    ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(senderType measTimeStamp_Date measTimeStamp_Time)]));

subtest 'a BSC file of 35 blocks and 16231 measurement values' => sub {
    mkdir 'out';
    my $start = time;
    ok(BerMeas::process_file($file, 'A20210824.0915+0200-0930+0200_BSCGARE.asn1', "$dir/out"), 'converted');
    note sprintf 'converted in %.3f s', time - $start;
    my @files = pif_files('out');
    is(scalar @files, 35, 'one PIF file per block');
    my ($lines, $bad) = (0, 0);
    for my $name (@files) {
        my @content = split /\n/, read_file("out/$name");
        my ($start_marker) = grep { /^##START\|(?!HEADER)/ } @content;
        my ($block) = ($start_marker // '') =~ /^##START\|(.*)/;
        my $columns = () = split /\|/, $content[6] // '', -1;
        my @data = @content[7 .. $#content - 1];
        $lines += @data;
        $bad++ unless $content[0] eq '## Parser Intermediate File' && $content[-1] eq "##END|$block"
            && $name =~ /\AOBJ-#-24Aug2021-#-\d\d:\d\d:\d\d-#-\d+-#-I\.pif\z/  # empty senderType
            && !grep { (() = split /\|/, $_, -1) != $columns || !/\|00\z/ } @data;
    }
    is($lines, 16231, 'every measurement value written');
    is($bad, 0, 'every file well-formed: markers agree, as many fields as columns');
};

subtest 'slices cut off inside an element are refused as undecodable' => sub {
    for my $slice (qw(keavem_header.asn1 keavem_data_crafted.asn1)) {
        my $path = shared_sample("asn1-ber/$slice") or next;
        mkdir "out-$slice";
        ok(!BerMeas::process_file($path, 'A.asn1', "$dir/out-$slice"), "$slice: false");
    }
};

BerMeas::delete_config();
done_testing();
