# The host functions: version, usage texts, the configuration's life cycle, what
# process_file returns and pattern_error.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(cases scratch ordered capture_output bermeas_convert one_block_file);
use BerMeas;

chdir scratch() or die;
is($BerMeas::VERSION, '0.01', 'version');
{ no warnings 'redefine';  # the right version registers the functions a second time
  is_deeply([map { eval { require XSLoader; XSLoader::load('BerMeas', $_) }; $@ =~ s/ at .*//sr } '2.00', '0.01'],
            ['BerMeas object version 0.01 does not match bootstrap parameter 2.00', ''],
            'another version is refused, the right one loads') }

for (cases('bermeas/t/expected/usages.txt')) {
    my ($f, $usage, @args) = @$_;
    eval { &{ \&{"BerMeas::$f"} }(@args) };
    like($@, qr/^Usage: BerMeas::\Q$f$usage\E at /, "wrong argument count: $f with " . @args);
}

my $file = one_block_file(values => [['cell=1', [5]]]);
my $name = 'A20261205.1700+0100-1800+0100_RNC01.ber';
# (result, number of PIF files, stderr) of converting $file under a name.
sub run { my ($as) = @_;
          my ($result, undef, $err) = capture_output(sub { [bermeas_convert(octets => $file, name => $as)] });
          return ($result->[0], scalar keys %{ $result->[2] }, $err) }

is_deeply([run($name)], ['', 0, "Null value for conf\n"], 'without configuration: false, said on standard error');
ok(!-e 'bermeas.log', '... and no log');

BerMeas::set_config(ordered(ASN1_3GPP_FILENAME_VALIDATION => { Type => '^A' }));
mkdir 'out';
# A NUL would make the C library see another name: such arguments count as empty.
for my $args (['', $name, 'out'], ['x.ber', '', 'out'], ['x.ber', $name, ''], ["x.ber\0y", $name, 'out'],
              ['x.ber', $name, "out\0/z"]) {
    my ($ok, $stdout, $stderr) = capture_output(sub { BerMeas::process_file(@$args) });
    is("[$ok$stdout$stderr]", '[]', "empty argument (@$args): false and silent");
}
ok(!-e 'bermeas.log' && !glob('out/*'), '... no log, no PIF file');

is_deeply([run($name)], [1, 1, ''], 'a complete conversion: true, one PIF file');
BerMeas::set_config({});  # would accept every name
is_deeply([run('B20261205.1700.ber')], ['', 0, ''], 'a second set_config keeps the first configuration');
BerMeas::delete_config();
is_deeply([run($name)], ['', 0, "Null value for conf\n"], 'delete_config ends it');
BerMeas::delete_config();
BerMeas::set_config({});
is_deeply([run('B20261205.1700.ber')], [1, 1, ''], 'a second delete_config is harmless; the next set_config counts');
BerMeas::delete_config();

for my $root ('DIRECTORY_HEADER_FIELDS', undef, [1, 2]) {
    BerMeas::set_config($root);
    like(join(' ', keys %{ (bermeas_convert(octets => $file, name => 'anything'))[2] }), qr/\AOBJ-#-\d+-#-I\.pif\z/,
         'a root that is no hash: an empty configuration');
    BerMeas::delete_config();
}

package DyingHash { require Tie::Hash; our @ISA = ('Tie::StdHash'); sub FETCH { die "no access\n" } }
tie my %dying, 'DyingHash'; %{ tied %dying } = (ASN1_3GPP_FILENAME_VALIDATION => { Type => '^Z' });
ok(!eval { BerMeas::set_config(\%dying); 1 } && $@ eq "no access\n", 'a hash that dies while read: the host error');
BerMeas::set_config({});
is((run($name))[0], 1, '... and no configuration left behind');
BerMeas::delete_config();

# A NUL ends the pattern the C library sees.
for my $case (cases('bermeas/t/expected/pattern-errors.txt'), ["a\0("]) {
    is(BerMeas::pattern_error($case->[0]), $case->[1], "pattern_error '$case->[0]'");
}

chdir '/';
done_testing();
