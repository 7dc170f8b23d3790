# bermeas-convert: the example configuration from the command line.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(scratch build_dir sample slurp spew pif_files run_command);

my $program = build_dir() . '/bermeas/bermeas-convert';
my $dir = scratch();
sub run { my $r = run_command({ cwd => $dir }, $program, @_); return [$r->{status}, $r->{out}, $r->{err}] }

my $version = $ENV{PM_PROJECT_VERSION} or die "PM_PROJECT_VERSION is not set (run through ctest)\n";
my $usage = slurp("$ENV{PM_SOURCE_DIR}/bermeas/t/expected/usage.txt") =~ s/PROGRAM/$program/r;
is_deeply(run(), [1, $usage, ''], 'without an argument: usage, exit 1');
is_deeply(run('--help'), [0, $usage, ''], '--help: usage, exit 0');
is_deeply(run('--version'), [0, "bermeas-convert $version\n", ''], '--version: exit 0');
ok(!-e "$dir/inter_d", 'nothing converted');

my $name = 'A20261205.1430+0100-1445+0100_RNC-North-1.ber';
spew("$dir/$name", slurp(sample('ber/meas-rnc.ber')));
my $expected = "$ENV{PM_SOURCE_DIR}/bermeas/t/expected/rnc";
# Twice: a new process counts from 0 again and overwrites.
for my $run (1, 2) {
    is_deeply(run($name), [0, '', ''], "run $run: exit status 0, quiet");
    is_deeply([pif_files("$dir/inter_d")], [pif_files($expected)], "run $run: the files of the example configuration");
}
# Without a directory in the name the NETWORK_ID and REGION_ID fields are missing.
is(slurp("$dir/inter_d/$_"), slurp("$expected/$_") =~ s/\|NETWORK_ID\|REGION_ID//r =~ s/\|east\|north//r, $_)
    for pif_files($expected);
like(slurp("$dir/bermeas.log"), qr/Parsing completed\n.*Closing input file\n\z/, 'logged');

spew("$dir/meas.ber", slurp(sample('ber/meas-rnc.ber')));
is_deeply(run('meas.ber'), [1, '', "$program: meas.ber was not converted completely (see bermeas.log)\n"],
          'a refused name: exit status 1, said on standard error');
is(run('A20261205.1430_missing.ber')->[0], 1, 'a missing file: exit status 1');

done_testing();
