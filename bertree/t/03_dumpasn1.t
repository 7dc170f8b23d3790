# The decoder agrees with dumpasn1 on the element structure of every BER sample: same
# nesting, classes, tags, forms and lengths. Files that dumpasn1 finds broken are compared
# up to the first element it reports an error for.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(cases build_dir sample run_command);

my $dumpasn1 = (grep { -x } map { "$_/dumpasn1" } split /:/, $ENV{PATH})[0]
    or plan skip_all => 'dumpasn1 is not installed (scripts/install-deps installs it)';
my @files = (glob(sample('ber/*.ber')), grep { -f } glob((PmBuild::shared_samples() // '/nonexistent') . '/asn1-ber/*'));

# Tag numbers of the names it gives; any other name compares on class and form only.
my %universal = map { @$_ } cases('bertree/t/expected/universal-tags.txt');
my %class = (UNIVERSAL => 0, APPLICATION => 1, PRIVATE => 3);
my @names = sort { length $b <=> length $a } keys %universal;

# The first top-level element as dumpasn1 shows it, one "depth class tag form length" a
# line, and whether it reported an error (the element it was reading then is left out).
sub theirs {
    my (@elements, $error);
    my $r = run_command($dumpasn1, '-e', '-z', '-a', $_[0]);
    for my $line (split /\n/, $r->{out} . $r->{err}) {
        if ($line =~ /Error:/) { pop @elements; $error = 1; last }
        next unless $line =~ /^\s*\d+\s+(\d+|NDEF):( +)(.*?)\s*$/;
        my ($length, $depth, $name) = ($1, (length($2) - 1) / 2, $3);
        last if $depth == 0 && @elements;
        my ($word) = grep { $name =~ /^\Q$_\E\b/ } @names;
        my ($cls, $tag) = $name =~ /^\[(APPLICATION|PRIVATE|UNIVERSAL) (\d+)\]/ ? ($class{$1}, $2)
            : $name =~ /^\[(\d+)\]/ ? (2, $1) : (0, defined $word ? $universal{$word} : '?');
        push @elements, "$depth $cls $tag " . ($name =~ /\{$/ ? 'C' : 'P') . " $length";
    }
    return (\@elements, $error);
}

for my $file (@files) {
    my $name = $file =~ s{.*/}{}r;
    my ($want, $error) = theirs($file);
    my @ours = split /\n/, run_command(build_dir() . '/bertree/bertree_tree_print', '-s', $file)->{out};
    my $whole = pop(@ours) eq 'complete' && !$error && @$want;
    my $n = $whole || @ours > @$want ? @$want : @ours;
    my @differ = grep { (my $p = quotemeta $want->[$_]) =~ s/\\\?/\\d+/; ($ours[$_] // '') !~ /^$p\z/ } 0 .. $n - 1;
    ok(!@differ && (!$whole || @ours == @$want), "$name: same structure over $n elements")
        or diag "ours: '", $ours[$differ[0] // $n] // '', "', dumpasn1's: '", $want->[$differ[0] // $n] // '', "'";
}
done_testing;
