# bertree prints while it decodes. Its output is the print of the decoded tree for every
# sample, every fuzz seed, a measurement sample cut at every octet and copies with bits
# flipped; where the decoding stops early it also shows the part of the broken element
# decoded before the break. Its memory does not grow with the file.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(source_dir build_dir sample slurp octet_file bertree run_command cuts flips);

my $tree_print = build_dir() . '/bertree/bertree_tree_print';
my @inputs = map { [s{.*/}{}r, $_] } glob(source_dir() . '/fuzz/seeds/ber/*'), glob(sample('ber/*.ber')),
    grep { -f } glob((PmBuild::shared_samples() // '/nonexistent') . '/asn1-ber/*');
for my $name (qw(meas-rnc-indefinite.ber meas-utran.ber)) {
    my $octets = slurp(sample("ber/$name"));
    my @variants = $name =~ /indefinite/ ? cuts($octets, 1) : flips($octets, 20, 1);
    push @inputs, map { ["$name, $_->[0]", octet_file($_->[1])] } @variants;
}

my ($same, $longer, $n) = (0, 0, 0);
for my $input (@inputs) {
    my ($name, $path, @options) = (@$input, $n++ % 2 ? ('-i') : ());
    my ($tree, $r, $label) = (run_command($tree_print, @options, $path), bertree(@options, $path), "$name @options");
    is($r->{status}, 0, "$label: exit 0") or next;
    if ($tree->{status} == 0) { is($r->{out}, $tree->{out}, "$label: the tree's print") and ++$same; next }
    # The tree leaves out the element the break is in; the walk shows it up to the break,
    # just before the tree's last closing brace.
    my $cut = rindex($tree->{out}, "\n", length($tree->{out}) - 2) + 1;
    my ($before, $last) = (substr($tree->{out}, 0, $cut), substr($tree->{out}, $cut));
    ok(substr($r->{out}, 0, length $before) eq $before && substr($r->{out}, -length $last) eq $last,
       "$label: the tree's print, with the broken element as far as it was decoded") and ++$longer;
}
cmp_ok($same, '>=', 25, 'inputs printed as their tree');
cmp_ok($longer, '>=', 400, 'inputs that break inside an element');

SKIP: {
    skip 'no /usr/bin/time', 1 unless -x '/usr/bin/time';
    # Peak memory in kilobytes; two million short elements take hundreds of megabytes as a tree.
    my $peak = sub {
        my $report = octet_file('');
        run_command({ stdout => '/dev/null', env => { LD_PRELOAD => undef } }, '/usr/bin/time', '-f', '%M', '-o', $report,
                    build_dir() . '/bertree/bertree', '-i', octet_file($_[0]))->{status} == 0 or die "bertree failed\n";
        return slurp($report) =~ s/\s+//gr;
    };
    my $count = 2_000_000;
    my ($small, $large) = ($peak->("\x30\x03\x02\x01\x05"), $peak->("\x30\x84" . pack('N', 3 * $count) . "\x02\x01\x05" x $count));
    cmp_ok($large - $small, '<', 4096, "$count elements take no more memory than one ($small KB, $large KB)");
}
done_testing;
