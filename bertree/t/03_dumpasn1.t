# The decoder agrees with dumpasn1 on the element structure of every BER sample: same
# nesting, classes, tags, forms and lengths. Files that dumpasn1 finds broken are compared
# up to the first element it reports an error for.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use File::Basename qw(basename);
use Test::More;

my $src   = $ENV{PM_SOURCE_DIR} or die "PM_SOURCE_DIR is not set (run through ctest)\n";
my $build = $ENV{PM_BUILD_DIR}  or die "PM_BUILD_DIR is not set (run through ctest)\n";
my $structure = "$build/common/ber_structure";

chomp(my $dumpasn1 = `command -v dumpasn1 2>/dev/null` // '');
plan skip_all => 'dumpasn1 is not installed (scripts/install-deps installs it)' unless $dumpasn1;

my @files = glob "$src/samples/ber/*.ber";
# Samples whose licence keeps them out of the repository, when they are at hand.
push @files, grep { -f } glob PmBuild::shared_samples() . "/asn1-ber/*" if PmBuild::shared_samples();
ok(@files >= 1, 'there are BER samples to compare');

my %universal = (
    'BOOLEAN' => 1, 'INTEGER' => 2, 'BIT STRING' => 3, 'OCTET STRING' => 4, 'NULL' => 5,
    'OBJECT IDENTIFIER' => 6, 'ObjectDescriptor' => 7, 'EXTERNAL' => 8, 'REAL' => 9,
    'ENUMERATED' => 10, 'EMBEDDED PDV' => 11, 'UTF8String' => 12, 'RELATIVE-OID' => 13,
    'SEQUENCE' => 16, 'SET' => 17, 'NumericString' => 18, 'PrintableString' => 19,
    'TeletexString' => 20, 'VideotexString' => 21, 'IA5String' => 22, 'UTCTime' => 23,
    'GeneralizedTime' => 24, 'GraphicString' => 25, 'VisibleString' => 26,
    'GeneralString' => 27, 'UniversalString' => 28, 'BMPString' => 30,
);
my %class = (UNIVERSAL => 0, APPLICATION => 1, PRIVATE => 3);

# Elements of the first top-level element as dumpasn1 shows them, as
# "depth class tag form length"; the second result is true when dumpasn1 reported an
# error inside it (the element it was reading then is left out).
sub dumpasn1_elements {
    my ($file) = @_;
    my @lines = `"$dumpasn1" -e -z -a "$file" 2>&1`;
    my (@elements, $error);
    for my $line (@lines) {
        if ($line =~ /Error:/) { pop @elements if @elements && $elements[-1]{open_error}; $error = 1; last }
        next unless $line =~ /^\s*\d+\s+(\d+|NDEF):( +)(.*?)\s*$/;
        my ($length, $indent, $name) = ($1, length($2) - 1, $3);
        my $depth = $indent / 2;
        last if $depth == 0 && @elements;  # a second top-level element
        my $form = $name =~ /\{$/ ? 'C' : 'P';
        my ($cls, $tag);
        if ($name =~ /^\[(APPLICATION|PRIVATE|UNIVERSAL) (\d+)\]/) { ($cls, $tag) = ($class{$1}, $2) }
        elsif ($name =~ /^\[(\d+)\]/) { ($cls, $tag) = (2, $1) }
        else {
            my ($word) = grep { $name =~ /^\Q$_\E\b/ } sort { length $b <=> length $a } keys %universal;
            ($cls, $tag) = (0, defined $word ? $universal{$word} : '?');
        }
        $elements[-1]{open_error} = 0 if @elements;
        push @elements, { text => "$depth $cls $tag $form $length", open_error => 1 };
    }
    return ([map { $_->{text} } @elements], $error);
}

sub our_elements {
    my ($file) = @_;
    my @lines = `"$structure" "$file"`;
    chomp @lines;
    my $complete = (pop @lines) eq 'complete';
    return (\@lines, $complete);
}

for my $file (@files) {
    my $name = basename($file);
    my ($theirs, $their_error) = dumpasn1_elements($file);
    my ($ours, $complete) = our_elements($file);
    if (!@$theirs) {
        pass("$name: dumpasn1 decodes nothing of it, nothing to compare");
        next;
    }
    # Unknown UNIVERSAL names compare on class and form only.
    for my $i (0 .. $#$theirs) {
        next unless $i <= $#$ours && $theirs->[$i] =~ / \? /;
        (my $pattern = quotemeta $theirs->[$i]) =~ s/\\\?/\\d+/;
        $theirs->[$i] = $ours->[$i] if $ours->[$i] =~ /^$pattern$/;
    }
    if (!$their_error && $complete) {
        is_deeply($ours, $theirs, "$name: same structure");
        next;
    }
    my $n = @$ours < @$theirs ? @$ours : @$theirs;
    is_deeply([@$ours[0 .. $n - 1]], [@$theirs[0 .. $n - 1]],
              "$name: same structure up to the damage ($n elements)");
}

done_testing;
