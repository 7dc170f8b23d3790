# BerMeas over broken input: the samples cut at every tenth octet and with bits flipped,
# deep nesting, lengths that claim more than the file holds, megabyte-long names and
# texts, junk, paths that hold nothing readable, and arguments and configurations that
# make no sense. Every conversion returns true or false without crashing or hanging,
# logs why it failed, keeps no file open, and leaves no PIF file that looks whole unless
# it is: a file that ends with its end line holds exactly what the intact sample gives.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use BrokenInput qw(cuts flips junk read_file write_file scratch odd_paths guarded source_dir check_leaks_at_exit
    open_descriptors);
BEGIN { check_leaks_at_exit() }

use PmBuild ();
use PmTest qw(example_config ordered rnc_file_name encode_meas_file indefinite pif_files);
use Cwd qw(getcwd);
use Test::More;

use BerMeas;

my $dir = scratch();
chdir $dir or die "$dir: $!\n";
BerMeas::set_config(example_config());

my $n = 0;

# Converts the octets (or the file at `input`) arriving as `name` into a fresh output
# directory. Returns (result, {file name => content}, log lines of this conversion), with
# the module's standard output and error kept out of the test's.
sub convert {
    my (%arg) = @_;
    my $input = $arg{input} // write_file("$dir/input" . ++$n, $arg{octets});
    my $out = $arg{out} // "$dir/out" . ++$n;
    mkdir $out unless defined $arg{out};
    my $logged = -s 'bermeas.log' // 0;
    open my $saved_out, '>&', \*STDOUT or die "dup: $!\n";
    open my $saved_err, '>&', \*STDERR or die "dup: $!\n";
    open STDOUT, '>', "$dir/stdout" or die "stdout: $!\n";
    open STDERR, '>', "$dir/stderr" or die "stderr: $!\n";
    my $ok = guarded(sub { BerMeas::process_file($input, $arg{name} // rnc_file_name(), $out) });
    open STDOUT, '>&', $saved_out or die "restore: $!\n";
    open STDERR, '>&', $saved_err or die "restore: $!\n";
    my %files = -d $out ? map { $_ => read_file("$out/$_") } pif_files($out) : ();
    if (-d $out && !defined $arg{out}) {
        unlink map { "$out/$_" } keys %files;
        rmdir $out;
    }
    my $log = -f 'bermeas.log' ? substr(read_file('bermeas.log'), $logged) : '';
    return ($ok, \%files, [split /\n/, $log]);
}

# A PIF file that ends with the end line of its block.
sub looks_whole { $_[0] =~ /\n##END\|[^\n|]*\n\z/ }

# The reasons a failed conversion must leave in the log: an error or a refusal.
sub says_why { scalar grep { /^\[\d+\] .{24} 5:[12] / } @{ $_[0] } }

# Checks one conversion of a broken variant; returns a list of complaints. With a
# reference (contents of the intact sample's files), a file that looks whole must be one
# of them, and the conversion must fail.
sub complaints {
    my ($ok, $files, $log, %expect) = @_;
    my @c;
    push @c, "result '$ok' is no boolean" unless $ok eq '1' || $ok eq '';
    push @c, 'converted' if $expect{fails} && $ok;
    push @c, 'failed without a logged reason' if !$ok && !says_why($log);
    for my $name (sort keys %$files) {
        my $content = $files->{$name};
        push @c, "$name: no PIF banner" unless $content =~ /\A## Parser Intermediate File\n##START\|HEADER\n/;
        push @c, "$name: whole after a successful conversion expected" if $ok && !looks_whole($content);
        push @c, "$name: looks whole but is not what the intact file gives"
            if $expect{reference} && looks_whole($content) && !$expect{reference}{$content};
    }
    return @c;
}

# Runs the variants, returns how many had complaints (the first few are shown).
sub run_variants {
    my ($variants, %expect) = @_;
    my $bad = 0;
    for my $v (@$variants) {
        my ($label, $octets) = @$v;
        my @c = complaints(convert(octets => $octets), %expect);
        next unless @c;
        diag "$label: @c" if ++$bad <= 3;
    }
    return $bad;
}

my @samples = qw(meas-rnc.ber meas-rnc-indefinite.ber meas-utran.ber);
my $descriptors = open_descriptors();

subtest 'cut at every tenth octet' => sub {
    for my $sample (@samples) {
        my $octets = read_file(source_dir() . "/samples/ber/$sample");
        my ($ok, $files) = convert(octets => $octets);
        ok($ok, "$sample: the intact file converts");
        my %reference = map { $_ => 1 } values %$files;
        is(run_variants([cuts($octets)], fails => 1, reference => \%reference), 0,
           "$sample: every cut fails with a reason, and only the files it completed look whole");
    }
};

subtest 'bits flipped' => sub {
    my $seed = 11;
    for my $sample (@samples) {
        my $octets = read_file(source_dir() . "/samples/ber/$sample");
        is(run_variants([flips($octets, 60, $seed++)]), 0, "$sample: every copy converts or fails with a reason");
    }
};

subtest 'nesting, lengths, sizes and junk' => sub {
    my $long = 'x' x 0x100000;
    my %header = (fileFormatVersion => 1, senderName => 'managedElementId=RNC01', senderType => 'RNC',
                  vendorName => 'V', collectionBeginTime => '20261205170000Z');
    my $file = sub {
        my (%over) = @_;
        my %info = (measTimeStamp => '20261205174500Z', granularityPeriod => 900, measTypes => ['a.b', 'c'],
                    measValues => [{ measObjInstId => 'cell=1', measResults => [{ iValue => 1 }, { iValue => 2 }],
                                     suspectFlag => 0 }]);
        my %data = (nEId => { nEUserName => 'u', nEDistinguishedName => 'd=1' }, measInfo => [{ %info, %{ $over{info} // {} } }]);
        return encode_meas_file({ measFileHeader => { %header, %{ $over{header} // {} } },
                                  measData => [\%data], measFileFooter => '20261205180000Z' });
    };
    my @variants = (
        ['definite nesting 100000 deep', "\x30\x84\x7f\xff\xff\xff" x 100000],
        ['indefinite nesting 100000 deep', "\x30\x80" x 100000],
        ['a length of four octets all set', "\x30\x84\xff\xff\xff\xff\xa0\x03\x80\x01\x01"],
        ['a length of five significant octets', "\x30\x85\x01\x00\x00\x00\x00\xa0\x00"],
        ['a content length beyond the file', substr($file->(), 0, 40) . "\x04\x84\x7f\xff\xff\xf0abc"],
        ['junk', junk(65536, 3)],
    );
    is(run_variants(\@variants, fails => 1), 0, 'deep, oversized and junk input fails with a reason');

    my @long = (
        ['a megabyte-long object instance', $file->(info => { measValues => [{ measObjInstId => "cell=$long",
                                                   measResults => [{ iValue => 1 }, { iValue => 2 }] }] })],
        ['a megabyte-long counter name', $file->(info => { measTypes => [$long, 'c'] })],
        ['a megabyte-long time stamp', $file->(info => { measTimeStamp => $long })],
    );
    for my $v (@long) {
        my ($ok, $files, $log) = convert(octets => $v->[1]);
        my @c = complaints($ok, $files, $log);
        ok($ok && !@c, "$v->[0]: converts") or diag "@c";
    }
    # The sender name is a field of the PIF file name, which no file system takes.
    my ($ok, $files, $log) = convert(octets => $file->(header => { senderName => "managedElementId=$long" }));
    ok(!$ok && !%$files && grep({ /5:1 Cannot open PIF file / } @$log),
       'a megabyte-long sender name: no PIF file can be named after it, false');
};

subtest 'paths and arguments that lead nowhere' => sub {
    for my $case (odd_paths()) {
        my ($label, $path) = @$case;
        my ($ok, $files, $log) = convert(input => $path);
        ok(!$ok && !%$files && says_why($log), "$label: false, no PIF file, a reason in the log");
    }
    my $sample = source_dir() . '/samples/ber/meas-rnc.ber';
    my ($ok, $files, $log) = convert(input => $sample, out => "$dir/no/such/dir");
    ok(!$ok && says_why($log), 'an output directory that does not exist: false with a reason');
    ($ok, $files, $log) = convert(input => $sample, out => write_file("$dir/plain", ''));
    ok(!$ok && says_why($log), 'an output directory that is a file: false with a reason');
    ($ok, $files, $log) = convert(input => $sample, out => "$dir/" . ('d' x 0x100000));
    ok(!$ok && says_why($log), 'a megabyte-long output directory: false with a reason');
    ($ok, $files, $log) = convert(input => $sample, name => '/' . ('n' x 0x100000));
    ok(!$ok && !%$files && says_why($log), 'a megabyte-long arrival name: refused');
    ($ok, $files) = convert(input => "$sample\0.other", name => rnc_file_name());
    ok(!$ok && !%$files, 'a file name holding a NUL: false');
    ($ok, $files) = convert(input => $sample, name => '');
    ok(!$ok && !%$files, 'an empty arrival name: false');
};

subtest 'configurations that make no sense' => sub {
    my $sample = source_dir() . '/samples/ber/meas-rnc.ber';
    my @configs = (
        ['no reference', 'text'],
        ['a reference to an array', [1, 2]],
        ['values of every wrong kind', ordered(
            DIRECTORY_HEADER_FIELDS => [1], FILENAME_HEADER_FIELDS => \'x',
            ASN1_3GPP_FILENAME_VALIDATION => { a => undef, b => [undef, {}], c => \*STDOUT },
            ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => [1], ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 5 },
            ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => { x => 1 } }, ASN1_HEADER_INFO_FOR_PIF_FILENAME => 'x')],
        ['patterns that do not compile', ordered(
            FILENAME_HEADER_FIELDS => { F => '(' }, ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => '[' },
            ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => 'OBJ_ID' })],
        ['a validation pattern that does not compile', ordered(ASN1_3GPP_FILENAME_VALIDATION => { T => '(' })],
        ['megabyte-long keys, patterns and names', ordered(
            FILENAME_HEADER_FIELDS => { ('k' x 0x100000) => '^(.+)$' },
            ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'n' x 0x100000,
            ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' . ('x?' x 1000) },
            ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => ['c' x 0x100000] },
            ASN1_HEADER_INFO_FOR_PIF_FILENAME => ['f' x 0x100000])],
    );
    for my $config (@configs) {
        BerMeas::delete_config();
        BerMeas::set_config($config->[1]);
        my ($ok, $files, $log) = convert(input => $sample);
        my @c = complaints($ok, $files, $log);
        ok(!@c, "$config->[0]: converts or fails with a reason") or diag "@c";
    }
    BerMeas::delete_config();
    my ($ok, $files) = convert(input => $sample);
    ok(!$ok && !%$files, 'no configuration: false');
    BerMeas::set_config(example_config());
};

is(open_descriptors(), $descriptors, 'no file left open');

chdir '/';
done_testing;
