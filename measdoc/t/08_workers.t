# Every XML sample (bundled, gzipped ones unpacked, and the shared ones next to the
# checkout) converted with 1, 2, 4 and 8 workers gives what it gives on the calling
# thread: the same result code, data and warnings, or, for a file that fails, a failure
# again (of several failing sections any may be first). The build without workers has
# only the calling thread. Either way the blocks fetched one at a time make up the data.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use File::Spec;
use File::Temp ();
use IO::Uncompress::Gunzip qw(gunzip $GunzipError);
use Test::More;

use measdoc;
use MeasdocTest;

my @worker_counts = variant() eq 'threads' ? (1, 2, 4, 8) : ();

my $unpacked = File::Temp->newdir('measdoc-workers-XXXXXX', TMPDIR => 1);

sub samples {
    my $dir = File::Spec->catdir($ENV{PM_SOURCE_DIR}, 'samples', 'xml');
    opendir my $dh, $dir or die "$dir: $!";
    my @files;
    for my $name (sort readdir $dh) {
        my $path = File::Spec->catfile($dir, $name);
        if ($name =~ /\.xml\z/) {
            push @files, $path;
        } elsif ($name =~ /\A(.*)\.gz\z/) {
            my $out = File::Spec->catfile($unpacked->dirname, $1);
            gunzip($path => $out) or die "$path: $GunzipError";
            push @files, $out;
        }
    }
    # Of the shared samples, the ones not bundled under another name.
    for my $shared (qw(32435-xml 32401-mdc-xml)) {
        my $shared_dir = File::Spec->catdir((PmBuild::shared_samples() // last), $shared);
        opendir my $sh, $shared_dir or next;
        push @files, map { File::Spec->catfile($shared_dir, $_) } sort grep { /\Ateed_.*\.xml\z/ } readdir $sh;
    }
    return @files;
}

# Files of the current layout name their vendor and local names without distinguished
# names, and give their counters as lists or one by one, numbered; their lists may wrap
# and their object names need not be Name=value lists.
sub settings_for {
    my ($path) = @_;
    return (plainObjectNames => ['1']) if (File::Spec->splitpath($path))[2] =~ /mdc/;
    return (xmlDocumentType => ['1'],
            counterListWhiteSpace => ['1'], counterPositionAttribute => ['p'], plainObjectNames => ['1'],
            qualifiedHeaderNames => ['1'],
            distinguishedNameElementNames => ['fileHeader.dnPrefix', 'managedElement.localDn', 'measValue.measObjLdn'],
            measureTypeElementSeq => ['measTypes', 'measType'],
            measurementResultsElementSeq => ['measResults', 'r'],
            suspectFlagElementName => ['suspect']);
}

my @samples = samples();
cmp_ok(scalar @samples, '>=', 20, 'the samples are found');
for my $path (@samples) {
    my @items = settings_for($path);
    my $reference = cycle($path, @items, threadNumber => ['0']);
    my $name = (File::Spec->splitpath($path))[2];
    subtest $name => sub {
        is_deeply($reference->{blocks}, $reference->{data}, 'calling thread: block by block, the same data');
        for my $workers (@worker_counts) {
            my $r = cycle($path, @items, threadNumber => [$workers]);
            is($r->{run}, $reference->{run}, "$workers workers: the same result code");
            if ($reference->{run} == 0) {
                is_deeply($r->{data}, $reference->{data}, "$workers workers: the same data");
                is_deeply($r->{blocks}, $r->{data}, "$workers workers: block by block, the same data");
                is_deeply($r->{warnings}, $reference->{warnings}, "$workers workers: the same warnings");
            } else {
                like($r->{error}, qr/\AERROR: /, "$workers workers: an error");
            }
        }
    };
}

done_testing;
