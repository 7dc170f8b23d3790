# bertree prints while it decodes. Its output is the print of the decoded tree for every
# sample, every fuzz seed and every cut or flipped copy of the measurement samples; where
# the decoding stops early it also shows the part of the broken element decoded before
# the break. Its memory does not grow with the file.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use PmBuild ();
use Test::More;
use BertreeRun qw(ber_file bertree_path);
use PmTest qw(cuts flips slurp source_dir);

my $build = $ENV{PM_BUILD_DIR} or die "PM_BUILD_DIR is not set (run through ctest)\n";
my $tree_print = "$build/bertree/bertree_tree_print";
my $src = source_dir();

# (exit status, standard output) of a program run without a shell.
sub run {
    my (@command) = @_;
    open my $fh, '-|', @command or die "$command[0]: $!\n";
    binmode $fh;
    my $out = do { local $/; <$fh> } // '';
    close $fh;
    return ($? >> 8, $out);
}

my @files = (glob("$src/fuzz/seeds/ber/*"), glob("$src/samples/ber/*.ber"),
             grep { -f } glob("$src/../shared/samples/asn1-ber/*"));
my @inputs = map { [$_ =~ s{.*/}{}r, $_] } @files;
for my $sample (map { "$src/samples/ber/$_" } qw(meas-rnc.ber meas-rnc-indefinite.ber meas-utran.ber)) {
    my $octets = slurp($sample);
    my $name = $sample =~ s{.*/}{}r;
    push @inputs, map { ["$name, $_->[0]", ber_file($_->[1])] } cuts($octets), flips($octets, 10, 1);
}

my ($same, $longer) = (0, 0);
for my $input (@inputs) {
    my ($name, $path) = @$input;
    for my $options ([], ['-i']) {
        my ($tree_status, $tree) = run($tree_print, @$options, $path);
        my ($status, $out) = run(bertree_path(), @$options, $path);
        my $label = join ' ', $name, @$options;
        is($status, 0, "$label: exit 0") or next;
        if ($tree_status == 0) {
            is($out, $tree, "$label: the tree's print") and ++$same;
            next;
        }
        # The tree leaves out the element the break is in; the walk shows it up to the
        # break, just before the tree's last closing brace.
        my $cut = rindex($tree, "\n", length($tree) - 2) + 1;
        my ($before, $last) = (substr($tree, 0, $cut), substr($tree, $cut));
        ok(substr($out, 0, length $before) eq $before && substr($out, -length $last) eq $last,
           "$label: the tree's print, with the broken element as far as it was decoded") and ++$longer;
    }
}
cmp_ok($same, '>=', 50, 'inputs printed as their tree');
cmp_ok($longer, '>=', 20, 'inputs that break inside an element');

SKIP: {
    skip 'no /usr/bin/time', 1 unless -x '/usr/bin/time';
    # Peak memory in kilobytes of one run over the octets.
    my $peak = sub {
        my ($octets) = @_;
        my $file = ber_file($octets);
        my $report = ber_file('');
        local $ENV{LD_PRELOAD};
        delete $ENV{LD_PRELOAD};
        open my $saved, '>&', \*STDOUT or die "dup: $!\n";
        open STDOUT, '>', '/dev/null' or die "/dev/null: $!\n";
        my $status = system('/usr/bin/time', '-f', '%M', '-o', $report, bertree_path(), '-i', $file);
        open STDOUT, '>&', $saved or die "dup: $!\n";
        $status == 0 or die "bertree failed\n";
        chomp(my $kb = slurp($report));
        return $kb;
    };
    # Two million short elements: a tree of them takes hundreds of megabytes.
    my $count = 2_000_000;
    my $many = "\x30\x84" . pack('N', 3 * $count) . "\x02\x01\x05" x $count;
    my ($small, $large) = ($peak->("\x30\x03\x02\x01\x05"), $peak->($many));
    cmp_ok($large - $small, '<', 4096, "a file of $count elements takes no more memory than one of one ($small KB, $large KB)");
}

done_testing;
