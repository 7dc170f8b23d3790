# The README's measdoc example, run as written on the bundled standard measCollecFile
# samples: it must convert each one, rows included.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(source_dir sample slurp spew scratch run_command);

my ($example) = slurp(source_dir() . '/README.md') =~ /^(    use measdoc;\n.*?^    measdoc::measdoc_deinit\(\);\n)/ms
    or BAIL_OUT('README.md: no measdoc example');
my $program = spew(scratch() . '/example.pl', "use strict; use warnings;\nmy \$file = shift;\n" . ($example =~ s/^    //mgr)
    . 'my @rows = map { keys %{ $data->{$_} } } grep { /^\d+$/ } keys %$data;' . "\n"
    . 'print scalar(@rows), "\n"; exit($ok ? 0 : 1);' . "\n");
# The standard files among the bundled samples (the others fail as the README says), and
# whether they hold rows.
for my $name (qw(boda_A2.xml gen_meascollec.xml measdoc_features_measCollec.xml onapPM_A_no_measdata.xml
                 onapPM_A20181002.0000-1000-0015-1000_5G.xml oranRANPM_A20220418.1900-1915_seliitdus00487.xml
                 oranRANPM_A20230515.0700_0100-0715_0100_GNODEB-0.xml)) {
    my $r = run_command($^X, $program, sample("xml/$name"));
    is($r->{status}, 0, "$name converts") or diag $r->{err};
    ok($name =~ /no_measdata/ ? $r->{out} == 0 : $r->{out} > 0, "$name: " . ($name =~ /no_measdata/ ? 'no rows' : 'rows'));
}
done_testing;
