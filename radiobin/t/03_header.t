# The file header: the four header layouts, release checks, file and record sizes, the
# BSS number in the file name, and the PIF header section built from them.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use radiobin;
use AlcatelFile qw(alcatel_file write_file block byte le16);
use RadiobinTest qw(load_config convert convert_file header_lines scratch deep_dir);
use POSIX qw(PATH_MAX);
use File::Find qw(find);

is(load_config(qq{BLOCK 110 COUNTER := "a" OFFSET := 0 SIZE := 2 END\n}
             . qq{BLOCK 110 COUNTER := "b" OFFSET := 2 SIZE := 1 END\n}, 0, 9), 0, 'configuration loaded');

my $section = "##START|TYPE_110\nB|A\n9|513\n##END|TYPE_110\n";
my @one_record = (records => [[ block(110, le16(513), byte(9)) ]]);

subtest 'the four header layouts' => sub {
    for my $layout (66, 72, 74, 76) {
        my $release = $layout == 66 ? 0 : 7;
        my ($rc, $path, $pif) = convert({ layout => $layout, release => 7, meas_type => 11, mob_class => -3,
                                          mob_inst => 300, @one_record });
        is($rc, 0, "layout $layout converts");
        is($pif, header_lines(class => -3, inst => 300, release => $release) . $section,
           "layout $layout: header fields and the block");
    }
};

subtest 'release 0 frames blocks with 2-byte headers, later releases with 4' => sub {
    my ($rc, undef, $pif) = convert({ layout => 72, release => 0, meas_type => 11, @one_record });
    is($rc, 0, 'release 0 converts');
    is($pif, header_lines(release => 0) . $section, 'release 0 block read with its 2-byte header');
    ($rc, undef, $pif) = convert({ layout => 76, release => 300, meas_type => 11, @one_record });
    is($rc, -2, 'release 300 is outside 0..9');
};

subtest 'release outside the configured range' => sub {
    load_config(qq{BLOCK 110 COUNTER := "a" OFFSET := 0 SIZE := 2 END\n}, 3, 5);
    for my $release (2, 6) {
        my ($rc, $second, $pif, $log) = convert({ release => $release, meas_type => 11, @one_record }, log_level => 4);
        is($rc, -2, "release $release: -2");
        is($second, -2, '... and no output path');
        my @lines = grep { /^4:/ } @$log;
        is_deeply(\@lines, ['4:Config file is valid for releases 3 to 5',
                            "4:Data file '" . scratch() . "/PMRES001.01a.7.' is release $release"], '... logged');
    }
    for my $release (3, 5) {
        my ($rc) = convert({ release => $release, meas_type => 11, @one_record });
        is($rc, 0, "release $release is inside 3..5");
    }
    load_config(qq{BLOCK 110 COUNTER := "a" OFFSET := 0 SIZE := 2 END\n}
              . qq{BLOCK 110 COUNTER := "b" OFFSET := 2 SIZE := 1 END\n}, 0, 9);
};

subtest 'files that are not performance files' => sub {
    my $path = write_file(scratch() . '/short.bin', "\x4C\x00\x00");
    my ($rc, $second, undef, $log) = convert_file($path);
    is($rc, -1, 'three bytes: -1');
    is_deeply($log, ["2:WARNING : Failed to read system header record in file: $path",
                     "2:ERROR: Reading the the PGRH for file $path"], '... no record header');

    ($rc, undef, undef, $log) = convert({ record_type => 11, @one_record });
    is($rc, -1, 'record type 11: -1');
    is($log->[0], '2:WARNING : File is not a performance measurement file: ' . scratch() . '/PMRES001.01a.7.', '... logged');

    ($rc, undef, undef, $log) = convert({ header_code => 70, @one_record });
    is($rc, -1, 'header length byte 70: -1');
    is_deeply([ @$log[0, 1] ], ['2:WARNING : pgrh header record size not as expected in: ' . scratch() . '/PMRES001.01a.7.',
                                "2:File is from a bss version '0'"], '... logged');

    ($rc, undef, undef, $log) = convert({ layout => 76, truncate => 40 });
    is($rc, -1, 'header cut short: -1');
    is($log->[0], '2:WARNING : Failed to read the performance header from file: ' . scratch() . '/PMRES001.01a.7.',
       '... logged');
};

subtest 'sizes in the header' => sub {
    # Header record only: 76 bytes in 1 record.
    my ($rc, $path, $pif) = convert({ layout => 76, meas_type => 11, records => [] });
    is($rc, 0, 'header record only converts');
    is($pif, header_lines(), '... into the header section alone');

    my ($log);
    ($rc, undef, undef, $log) = convert({ @one_record, num_records => 0 });
    is($rc, -1, 'record count 0: -1');
    is_deeply([ grep { /^2:WARNING/ } @$log ],
              ['2:WARNING : Header record gives a record count of 0 in file: ' . scratch() . '/PMRES001.01a.7.'],
              '... rejected before the record length is worked out');

    ($rc, undef, undef, $log) = convert({ @one_record, record_size => 100, num_records => 3, file_size => 200 });
    is($rc, -1, 'file size not a multiple of the record count: -1');
    is($log->[-1], '2:WARNING : Record size not an integral number in file: ' . scratch() . '/PMRES001.01a.7.',
       '... logged');

    ($rc, undef, undef, $log) = convert({ @one_record, record_size => 100, append => 'x' });
    is($rc, -1, 'one byte longer than the header says: -1');
    is($log->[-1], "2: PGRH: File '" . scratch() . "/PMRES001.01a.7.' corrupt. Record file size '200' differs "
       . "from system file size '201'.", '... logged');

    ($rc, undef, undef, $log) = convert({ @one_record, record_size => 100, num_records => 40 });
    is($rc, -1, 'records shorter than a record header: -1');
    is($log->[-1], '2:WARNING : Record size 5 is shorter than a record header in file: ' . scratch()
       . '/PMRES001.01a.7.', '... logged');

    ($rc, undef, $pif, $log) = convert({ @one_record, record_size => 100 }, log_level => 5);
    is($rc, 0, 'records of 100 bytes');
    ok((grep { $_ eq "5:PGRH: record size '100', file size '200', numrecs '2'" } @$log), 'record size logged');
    ok((grep { $_ eq '5:File position 1 : 100' } @$log), 'first data record at offset 100');
};

subtest 'BSS number from the file name' => sub {
    my @names = (
        [ 'PMRES123.45x.678.', 678 ],
        [ 'rrp_bss12_x', 12 ],
        [ 'PMOBSabc.12x_34.', 34 ],
        [ 'PMRESabc.12x.9', 9 ],
        [ 'other.bin', 0 ],
        [ 'PMRES12', 0 ],
        [ 'rrp_bssX_1', 0 ],
    );
    for my $case (@names) {
        my ($name, $bss) = @$case;
        my ($rc, $path, $pif, $log) = convert({ meas_type => 11, @one_record }, name => $name, log_level => 5);
        is($rc, 0, "$name converts");
        like($path, qr{/TYPE_11-#-$bss-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-11:00-#-I\.pt\z}, "... BSS $bss in the name");
        ok((grep { $_ eq "5:BSS number is $bss" } @$log), '... logged');
        is(scalar(grep { $_ eq '3:Warning: BSS num could not be extracted from file' } @$log), $bss ? 0 : 1,
           $bss ? '... no warning' : '... with a warning');
    }
};

subtest 'period texts, granularity and GMTDIFF' => sub {
    my ($rc, undef, $pif) = convert({ start => '2026-12-05 10:00', end => '2026-12-05 10:15', meas_type => 11,
                                      @one_record });
    like($pif, qr/\n05Dec2026\|10:00\|05Dec2026\|10:15\|TYPE_11\|1\|2\|5\|7\|OMC1\|NET1\|REG1\|0\|900\n/,
         'quarter hour gives granularity 900');

    ($rc, undef, $pif) = convert({ start => '2026-02-28 23:00', end => '2026-03-01 00:00', meas_type => 11,
                                   @one_record });
    like($pif, qr/\n28Feb2026\|23:00\|01Mar2026\|00:00\|.*\|3600\n/, 'across a month end');

    my (undef, undef, $bad, $log) = convert({ start_text => '0000001005132026', end => '2026-12-05 11:00',
                                             meas_type => 11, @one_record }, log_level => 1);
    like($bad, qr/\n05Jan2026\|10:00\|05Dec2026\|11:00\|/, 'start month 13 is written as Jan');
    is_deeply($log, ["1:Failed to convert start month(13), setting to 'Jan'"], '... logged at level 1');

    (undef, undef, $bad, $log) = convert({ end_text => '00000011051x2026', meas_type => 11, @one_record },
                                         log_level => 1);
    is_deeply($log, [], 'end month "1x" reads as 1, as atoi reads it');
    like($bad, qr/\|05Jan2026\|11:00\|/, '... January');

    {
        local $ENV{TZ} = 'XXX-1';
        my (undef, undef, $east) = convert({ meas_type => 11, @one_record });
        like($east, qr/\|REG1\|-3600\|3600\n/, 'one hour east of UTC: GMTDIFF -3600');
    }
};

subtest 'header values from the host' => sub {
    my ($rc, $path, $pif, $log) = convert({ meas_type => -5, @one_record, records => [] }, omc => 'OMC-X', log_level => 1);
    is($rc, -1, 'a measurement type without configured blocks fails');
    is_deeply($log, ['1:No Blocks found in Configuration information'], '... logged');
    like($path, qr{/TYPE_-5-#-7-#-OMC-X-#-}, 'negative measurement type and the OMC name in the file name');
    like($pif, qr/\|TYPE_-5\|1\|2\|5\|7\|OMC-X\|NET1\|REG1\|/, '... and in the header of the file left behind');
    like($pif, qr/\n##END\|HEADER\n\z/, '... which ends with its header end line: the result code tells the failure');
};

subtest 'output paths are never cut' => sub {
    my $input = write_file(scratch() . '/PMRES001.01a.7.', alcatel_file(meas_type => 11, @one_record));
    my $name = 'TYPE_11-#-7-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-11:00-#-I.pt';
    my $dir = deep_dir(PATH_MAX - 2 - length $name);
    my ($rc, $path, $pif) = convert_file($input, out => $dir);
    is("$rc " . length $path, '0 ' . (PATH_MAX - 1), 'a path of PATH_MAX - 1 characters converts');
    is($pif, header_lines() . $section, '... into that file');

    $dir = deep_dir(PATH_MAX - 1 - length $name);
    my $log;
    ($rc, $path, $pif, $log) = convert_file($input, out => $dir, log_level => 1);
    is("$rc " . length $path, '-1 ' . PATH_MAX, 'one character more fails');
    like($log->[0], qr/^1:ERROR : Output file name longer than the system allows \(4096 characters, 65 in the last part\): /,
         '... saying why');
    my ($top) = $dir =~ m{^(.*/deep\d+)/};
    my @files;
    find(sub { push @files, $File::Find::name if -f }, $top);
    is_deeply(\@files, [], '... and writing no file');

    ($rc, $path) = convert_file($input, omc => 'O' x 194);
    is("$rc " . length $path =~ s{.*/}{}r, '0 255', 'a file name of 255 characters converts');
    ($rc, $path, $pif, $log) = convert_file($input, omc => 'O' x 195, log_level => 1);
    like("$rc $log->[0]", qr/^-1 1:ERROR : Output file name longer .* 256 in the last part/, 'one of 256 fails');
    ($rc, $path, $pif, $log) = convert_file($input, omc => '../up', log_level => 1);
    like("$rc $log->[0]", qr{^-1 1:ERROR : Output file name '.*/TYPE_11-#-7-#-\.\./up-#-.*' would leave the output directory},
         'an OMC name holding "/" fails');
};

done_testing;
