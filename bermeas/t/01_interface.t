# The host functions: version, usage texts, the configuration's life cycle and what
# process_file returns.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use BerMeasTest qw(work_dir ordered sample log_lines capture_output convert one_block_file);

my $dir = work_dir();

is($BerMeas::VERSION, '0.01', 'version');

subtest 'the bootstrap refuses another version' => sub {
    require XSLoader;
    no warnings 'redefine';  # the right version registers the functions a second time
    eval { XSLoader::load('BerMeas', '2.00') };
    like($@, qr/^BerMeas object version 0\.01 does not match bootstrap parameter 2\.00 /, 'with the version message');
    eval { XSLoader::load('BerMeas', '0.01') };
    is($@, '', 'the right version loads');
};

subtest 'wrong argument counts die with the usage text' => sub {
    my @calls = (
        [sub { BerMeas::set_config() },           'Usage: BerMeas::set_config(rootHashref)'],
        [sub { BerMeas::set_config({}, {}) },     'Usage: BerMeas::set_config(rootHashref)'],
        [sub { BerMeas::process_file('a', 'b') }, 'Usage: BerMeas::process_file(filename, origFilename, outputDir)'],
        [sub { BerMeas::process_file(1 .. 4) },   'Usage: BerMeas::process_file(filename, origFilename, outputDir)'],
        [sub { BerMeas::delete_config(1) },       'Usage: BerMeas::delete_config()'],
    );
    for my $call (@calls) {
        my ($code, $usage) = @$call;
        ok(!eval { $code->(); 1 }, "$usage: dies");
        like($@, qr/^\Q$usage\E at /, "$usage: message");
    }
};

my $file = one_block_file(values => [['cell=1', [5]]]);
my $name = 'A20261205.1700+0100-1800+0100_RNC01.ber';

subtest 'without configuration nothing is converted' => sub {
    my ($ok, $out, $err) = capture_output(sub { (convert(octets => $file))[0] });
    ok(!$ok, 'false');
    is($err, "Null value for conf\n", 'said on standard error');
    ok(!-e 'bermeas.log', 'no log');
};

BerMeas::set_config(ordered(ASN1_3GPP_FILENAME_VALIDATION => { Type => '^A' }));

subtest 'empty arguments convert nothing and log nothing' => sub {
    mkdir 'out';
    # A NUL would make the C library see another name: such arguments count as empty.
    for my $args (['', $name, 'out'], ['x.ber', '', 'out'], ['x.ber', $name, ''],
                  ["x.ber\0y", $name, 'out'], ['x.ber', $name, "out\0/z"]) {
        my ($ok, $stdout, $stderr) = capture_output(sub { BerMeas::process_file(@$args) });
        ok(!$ok, "(@$args): false");
        is("$stdout$stderr", '', "(@$args): silent");
    }
    ok(!-e 'bermeas.log', 'no log');
    my @none = glob 'out/*';
    is(scalar @none, 0, 'no PIF file');
};

subtest 'a complete conversion returns true' => sub {
    my ($ok, undef, $files) = convert(octets => $file);
    ok($ok, 'true');
    is(scalar keys %$files, 1, 'one PIF file');
};

subtest 'a second set_config keeps the configuration in force' => sub {
    BerMeas::set_config({});  # would accept every name
    my ($ok, undef, $files) = convert(octets => $file, name => 'B20261205.1700.ber');
    ok(!$ok, 'name still refused by the first configuration');
    is(scalar keys %$files, 0, 'no PIF file');
};

subtest 'delete_config ends the configuration; the next set_config takes effect' => sub {
    BerMeas::delete_config();
    my ($ok, undef, $err) = capture_output(sub { (convert(octets => $file))[0] });
    ok(!$ok, 'nothing converted after delete_config');
    is($err, "Null value for conf\n", 'no configuration');
    BerMeas::delete_config();
    pass('a second delete_config is harmless');

    BerMeas::set_config({});
    ($ok) = convert(octets => $file, name => 'B20261205.1700.ber');
    ok($ok, 'new configuration accepts the name');
    BerMeas::delete_config();
};

subtest 'a root that is no hash reference gives an empty configuration' => sub {
    for my $root ('DIRECTORY_HEADER_FIELDS', undef, [1, 2]) {
        BerMeas::set_config($root);
        my ($ok, undef, $files) = convert(octets => $file, name => 'anything');
        ok($ok, 'any name accepted');
        my ($pif) = keys %$files;
        like($pif, qr/\AOBJ-#-\d+-#-I\.pif\z/, 'no class patterns, no name fields');
        BerMeas::delete_config();
    }
};

subtest 'a hash that dies while being read leaves no configuration behind' => sub {
    package DyingHash {
        require Tie::Hash;
        our @ISA = ('Tie::StdHash');
        sub FETCH { die "no access\n" }
    }
    tie my %dying, 'DyingHash';
    %{ tied %dying } = (ASN1_3GPP_FILENAME_VALIDATION => { Type => '^Z' });
    ok(!eval { BerMeas::set_config(\%dying); 1 }, 'set_config dies');
    is($@, "no access\n", 'with the host error');
    BerMeas::set_config({});
    my ($ok) = convert(octets => $file);
    ok($ok, 'the next set_config takes effect');
    BerMeas::delete_config();
};

subtest 'pattern_error: why a configured pattern would be dropped' => sub {
    my $bracket = 'Unmatched [, [^, [:, [., or [=';
    for my $case (
        [ 'cell=(\\d+)', undef ], [ "'cp=(\\w+)'", undef ], [ '\\/NETWORK_?([^\\/]+)\\/?', undef ], [ '[]a]', undef ],
        [ 'a(', 'Unmatched ( or \\(' ], [ '[a', $bracket ], [ '*a', 'Invalid preceding regular expression' ],
        [ '[z-a]', 'Invalid range end' ], [ 'a{2,1}', 'Invalid content of \\{\\}' ], [ '\\2', 'Invalid back reference' ],
        [ "'(\\d'", 'Unmatched ( or \\(' ], [ "a\0(", undef ],
    ) {
        is(BerMeas::pattern_error($case->[0]), $case->[1], "'$case->[0]'");
    }
};

done_testing();
