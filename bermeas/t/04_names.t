# File names in and out: validation of the name a file arrived under, header fields from
# its directory and file name, PIF file names and the file counter.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use File::Find qw(find);
use BerMeasTest qw(work_dir ordered example_config sample log_lines convert one_block_file read_file
    capture_output write_file pif_files);

my $dir = work_dir();
my $rnc = sample('meas-rnc.ber');

# Header names and values of a PIF file, as a list of pairs.
sub header_of {
    my ($content) = @_;
    my (undef, undef, $names, $values) = split /\n/, $content;
    my @n = split /\|/, $names, -1;
    my @v = split /\|/, $values, -1;
    return map { [$n[$_], $v[$_]] } 0 .. $#n;
}

sub header_field {
    my ($content, $field) = @_;
    my ($pair) = grep { $_->[0] eq $field } header_of($content);
    return $pair ? $pair->[1] : undef;
}

BerMeas::set_config(example_config());

subtest 'names that fail a validation pattern are refused' => sub {
    for my $name ('A2026120.1430_short-date.ber',        # StartDate needs eight digits
                  'A20261205-1430_no-dot.ber',           # StartTime needs a dot
                  '/in/NETWORK_x/A20261205.143_x',       # three-digit time
                  'A',                                   # Type needs two characters
                  '/data/A20261205.1430/') {             # nothing after the last "/"
        my $lines = () = log_lines();
        my ($ok, undef, $files) = convert(input => $rnc, name => $name);
        ok(!$ok, "$name: false");
        is(scalar keys %$files, 0, "$name: no PIF file");
        my @log = (log_lines())[$lines .. $#{[log_lines()]}];
        is_deeply(\@log, ["3 Validating filename: $name",
                          '2 Filename validation failed. Not compliant with 3GPP specifications'],
                  "$name: logged as refused");
    }
};

subtest 'only the part after the last "/" is validated' => sub {
    my ($ok) = convert(input => $rnc, name => 'B20261205.1430+0100');
    ok($ok, 'a name without directory is validated whole');
    ($ok) = convert(input => $rnc, name => '/x/y.1/A20261205.1430.ber');
    ok($ok, 'directories are not validated');
    ($ok) = convert(input => $rnc, name => 'A20261205.1430/x.ber');
    ok(!$ok, 'a valid directory does not make up for the file name');
};

subtest 'header fields from the directory and the file name' => sub {
    my (undef, undef, $files) = convert(input => $rnc,
        name => '/var/spool/NETWORK_east/REGION_north/A20261205.1430+0100_RNC.ber');
    my ($first) = values %$files;
    is(header_field($first, 'NETWORK_ID'), 'east', 'NETWORK_ID');
    is(header_field($first, 'REGION_ID'), 'north', 'REGION_ID');
    is(header_field($first, 'FILENAME'), 'A20261205.1430+0100_RNC.ber', 'FILENAME');
    is(header_field($first, 'TYPE'), 'A', 'TYPE');

    (undef, undef, $files) = convert(input => $rnc, name => 'E20261205.1430+0100_RNC.ber');
    ($first) = values %$files;
    is(header_field($first, 'NETWORK_ID'), undef, 'no directory, no directory fields');
    is(header_field($first, 'TYPE'), undef, 'a pattern that does not match gives no field');
    my @names = map { $_->[0] } header_of($first);
    is_deeply([@names[8 .. $#names]],
              [qw(FILENAME measTimeStamp_Date measTimeStamp_Time granularityPeriod COLLECTION_INTERVAL_MINS)],
              'file-name fields come between the network element names and the time stamp');
};

BerMeas::delete_config();

subtest 'a name ending in "/" has no directory fields' => sub {
    BerMeas::set_config(ordered(DIRECTORY_HEADER_FIELDS => { DIR => '(data)' },
                                FILENAME_HEADER_FIELDS  => { ALL => '(.*)' }));
    my (undef, undef, $files) = convert(input => $rnc, name => '/data/');
    my ($first) = values %$files;
    is(header_field($first, 'DIR'), undef, 'no directory field');
    is(header_field($first, 'ALL'), undef, 'an empty group gives no field');
    (undef, undef, $files) = convert(input => $rnc, name => '/data/x');
    ($first) = values %$files;
    is(header_field($first, 'DIR'), 'data', 'with a file name it has');
    BerMeas::delete_config();
};

subtest 'PIF file names: class, configured fields with "/" made "_", counter' => sub {
    BerMeas::set_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' },
        ASN1_HEADER_INFO_FOR_PIF_FILENAME   => [qw(vendorName senderName_managedElementId
            nEUserName nEDistinguishedName_managedElementId measTimeStamp COLLECTION_INTERVAL_MINS
            unknownField senderType)],
    ));
    my $file = one_block_file(sender => 'managedElementId=RNC/01', time_stamp => '20261205174500+0100',
                              values => [['cell=3', [1]]]);
    my ($ok, $out, $files) = convert(octets => $file);
    ok($ok, 'converted');
    my ($name) = keys %$files;
    like($name, qr{\ACell-#-Example Networks-#-RNC_01-#-RNC01-#-RNC01-#-20261205174500\+0100-#-15-#-RNC-#-\d+-#-I\.pif\z},
         'fields in configured order, unknown ones left out');
    like($files->{$name}, qr{^1\|RNC/01\|}m, 'the header keeps the "/"');
    BerMeas::delete_config();
};

subtest 'names are bytes: non-ASCII octets pass unchanged into PIF names and content' => sub {
    # The host may hand a text as octets or as characters (a string marked UTF-8): either
    # way the module works on its UTF-8 octets, as the file system and the input file do.
    my $characters = "\x{C7}";
    utf8::upgrade($characters);
    for my $c ("\xC3\x87", $characters) {
        my $form = utf8::is_utf8($c) ? 'characters' : 'octets';
        BerMeas::set_config(ordered(
            ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { "Cell$c" => 'cell=(\d+)' },
            ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { "Cell$c" => "OBJ_$c" },
            ASN1_HEADER_INFO_FOR_PIF_FILENAME   => ['senderName_managedElementId']));
        my $file = one_block_file(sender => "managedElementId=R\xC3\x87",
                                  values => [['cell=3', [1]], ["R\xC3\x87=5", [2]]]);
        my $out = "out\xC3\x87-$form";
        mkdir $out or die "$out: $!";
        ok(BerMeas::process_file(write_file("in-$form.ber", $file), 'A20261205.1700+0100-1800+0100_RNC01.ber',
                                 "out$c-$form"), "$form: converted");
        my @names = pif_files($out);
        like("@names", qr/\ACell\xC3\x87-#-R\xC3\x87-#-\d+-#-I\.pif\z/, "$form: the file's name");
        my $content = @names ? read_file("$out/$names[0]") : '';
        like($content, qr/^1\|R\xC3\x87\|/m, "$form: header value");
        like($content, qr/\n##START\|Cell\xC3\x87\nOBJ_\xC3\x87\|c1\|suspectFlag\n3\|1\|00\nR\xC3\x87=5\|2\|00\n##END\|Cell\xC3\x87\n\z/,
             "$form: block name, column name and object values");
        BerMeas::delete_config();
    }
};

# A directory tree made level by level (longer paths than the system takes in one call);
# returns the absolute path, of at least `length` characters, of its deepest directory.
sub deep_dir {
    my ($root, $length) = @_;
    mkdir $root or die "$root: $!";
    chdir $root or die "$root: $!";
    my $path = $root;
    while (length $path < $length) {
        my $part = 'd' x ($length - length($path) - 1 > 200 ? 200 : $length - length($path) - 1 || 1);
        mkdir $part or die "mkdir: $!";
        chdir $part or die "chdir: $!";
        $path .= "/$part";
    }
    chdir $dir or die "$dir: $!";
    return $path;
}

# Regular files anywhere under a directory, at any depth.
sub files_under {
    my ($root) = @_;
    my @found;
    find({ wanted => sub { push @found, $File::Find::name if -f $_ }, no_chdir => 0 }, $root);
    return @found;
}

subtest 'long output paths: whole names up to PATH_MAX, else a failure with a message' => sub {
    BerMeas::set_config(ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' }));
    my $file = one_block_file(values => [['cell=3', [1]]]);
    my $out = deep_dir("$dir/long", 3000);
    my ($ok, undef, $files) = convert(octets => $file, out => $out);
    ok($ok, 'a directory of 3000 characters: converted');
    my ($name) = keys %$files;
    like($name // '', qr/\Acell-#-\d+-#-I\.pif\z/, 'the file is in it, whole')
        or diag explain [keys %$files], [files_under("$dir/long")];
    is(scalar(files_under("$dir/long")), 1, 'and nowhere else');

    $out = deep_dir("$dir/longer", 4080);
    my $before = () = log_lines();
    my ($result) = capture_output(sub { [convert(octets => $file, out => $out)] });
    ok(!$result->[0], 'a name beyond PATH_MAX: false');
    my @log = log_lines();
    ok((grep { m{^1 Cannot open PIF file \Q$out\E/cell-#-\d+-#-I\.pif: } } @log[$before .. $#log]),
       'logged with the reason') or diag explain [map { substr $_, -80 } @log[$before .. $#log]];
    is(scalar(files_under("$dir/longer")), 0, 'no file written anywhere');
    BerMeas::delete_config();
};

subtest 'the counter runs on across conversions and blocks' => sub {
    BerMeas::set_config(ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
                                ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' }));
    my $file = one_block_file(values => [['cell=3', [1]]]);
    my (undef, $out, $files) = convert(octets => $file);
    my ($first) = keys %$files;
    my ($n) = $first =~ /\ACell-#-(\d+)-#-I\.pif\z/ or fail("name $first");
    (undef, undef, $files) = convert(octets => $file, out => $out);
    is_deeply([sort keys %$files], [sort("Cell-#-$n-#-I.pif", 'Cell-#-' . ($n + 1) . '-#-I.pif')],
              'next conversion, next number, same directory');
    (undef, undef, $files) = convert(input => $rnc);
    is_deeply([sort keys %$files], [sort('OBJ-#-' . ($n + 2) . '-#-I.pif', 'OBJ-#-' . ($n + 3) . '-#-I.pif')],
              'one number per block');
    BerMeas::delete_config();
};

done_testing();
