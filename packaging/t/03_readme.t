# The README's measdoc example, run as written on the bundled standard measCollecFile
# samples: it must convert each one, rows included.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use InstalledTree qw(source_dir scratch run);

my $source = source_dir();
open my $fh, '<', "$source/README.md" or die "README.md: $!";
my $readme = do { local $/; <$fh> };
my ($example) = $readme =~ /^(    use measdoc;\n.*?^    measdoc::measdoc_deinit\(\);\n)/ms
    or BAIL_OUT('README.md: no measdoc example');
$example =~ s/^    //mg;

my $program = scratch() . '/example.pl';
open my $out, '>', $program or die "$program: $!";
print {$out} "use strict; use warnings;\nmy \$file = shift;\n$example",
    'my @rows = map { keys %{ $data->{$_} } } grep { /^\d+$/ } keys %$data;', "\n",
    'print scalar(@rows), "\n"; exit($ok ? 0 : 1);', "\n";
close $out or die;

# The standard files among the bundled samples: distinguished names for the measured
# objects, counter lists that match their values (the others fail as the README says).
my %rows = (
    'boda_A2.xml' => 1, 'gen_meascollec.xml' => 1, 'measdoc_features_measCollec.xml' => 1,
    'onapPM_A20181002.0000-1000-0015-1000_5G.xml' => 1,
    'oranRANPM_A20220418.1900-1915_seliitdus00487.xml' => 1,
    'oranRANPM_A20230515.0700_0100-0715_0100_GNODEB-0.xml' => 1,
    'onapPM_A_no_measdata.xml' => 0,
);
for my $name (sort keys %rows) {
    my $r = run({}, $^X, $program, "$source/samples/xml/$name");
    is($r->{status}, 0, "$name converts") or diag $r->{err};
    chomp(my $count = $r->{out});
    $rows{$name} ? cmp_ok($count, '>', 0, "$name: rows") : is($count, 0, "$name: no rows");
}

done_testing;
