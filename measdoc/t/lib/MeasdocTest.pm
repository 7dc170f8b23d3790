package MeasdocTest;

# Helpers of the measdoc tests: setting items, whole cycles, draining messages, the
# sample files, and running a case in a child process (a failed start-up is final for
# the process that saw it).

use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove

use Exporter 'import';
use File::Spec;
use File::Temp ();
use POSIX ();
use Storable ();

our @EXPORT = qw(
    variant set_item set_items cycle drain_warnings isolated sample shared_sample
    write_file default_threads worked_example
);

# 'threads' or 'nothreads': the library variant the loaded module was built with.
sub variant { $ENV{MEASDOC_VARIANT} // 'threads' }

sub default_threads { variant() eq 'threads' ? '4' : '0' }

# Queues the values and calls the item's setter; returns the setter's result.
sub set_item {
    my ($item, @values) = @_;
    for my $value (@values) {
        measdoc::measdoc_add_config($value) == 0 or die "measdoc_add_config($value) failed\n";
    }
    my $setter = \&{"measdoc::measdoc_set_$item"};
    return $setter->();
}

# set_items(item => [values], ...): every setter must succeed.
sub set_items {
    my @list = @_;
    while (my ($item, $values) = splice @list, 0, 2) {
        set_item($item, @$values) == 0
            or die "measdoc_set_$item failed: " . (measdoc::measdoc_error() // 'no message') . "\n";
    }
}

sub drain_warnings {
    my @warnings;
    while (defined(my $w = measdoc::measdoc_warning())) { push @warnings, $w }
    return \@warnings;
}

# One whole cycle on a file: the items, start, run, messages, data, configuration, stop.
sub cycle {
    my ($file, @items) = @_;
    set_items(xmlFileName => [$file], @items);
    my %result;
    $result{init} = measdoc::measdoc_init();
    $result{run} = measdoc::measdoc_run();
    $result{error} = measdoc::measdoc_error();
    $result{warnings} = drain_warnings();
    $result{data} = measdoc::measdoc_data();
    $result{blocks} = data_by_blocks();
    $result{configuration} = measdoc::measdoc_configuration();
    $result{deinit} = measdoc::measdoc_deinit();
    return \%result;
}

# measdoc_data's hash put together from the blocks fetched one at a time.
sub data_by_blocks {
    my %data = (commonHeaderData => {}, dataTypeDict => measdoc::measdoc_data_types());
    for my $number (0 .. measdoc::measdoc_block_count() - 1) {
        my $block = measdoc::measdoc_block($number);
        die "block $number: not one block\n" if join(',', sort keys %$block) ne "$number,commonHeaderData"
            || join(',', keys %{ $block->{commonHeaderData} }) ne $number;
        $data{$number} = $block->{$number};
        $data{commonHeaderData}{$number} = $block->{commonHeaderData}{$number};
    }
    return \%data;
}

# Runs code in a child process and returns what it returned (a scalar or reference that
# Storable can copy). Dies with the child's error when it died.
sub isolated {
    my ($code) = @_;
    pipe(my $reader, my $writer) or die "pipe: $!";
    my $pid = fork() // die "fork: $!";
    if ($pid == 0) {
        close $reader;
        my $result = eval { { value => scalar $code->() } } // { error => $@ || 'died' };
        print {$writer} Storable::nfreeze($result);
        close $writer;
        POSIX::_exit(0);
    }
    close $writer;
    my $frozen = do { local $/; <$reader> };
    close $reader;
    waitpid($pid, 0);
    die "child ended with status $?\n" if $? != 0 || !length($frozen // '');
    my $result = Storable::thaw($frozen);
    die $result->{error} if exists $result->{error};
    return $result->{value};
}

# A bundled sample (samples/xml), or a shared one (../shared/samples/DIR/NAME; undef
# when that directory is not next to the checkout).
sub sample {
    my ($name) = @_;
    return File::Spec->catfile($ENV{PM_SOURCE_DIR}, 'samples', 'xml', $name);
}

sub shared_sample {
    my ($dir, $name) = @_;
    my $path = File::Spec->catfile((PmBuild::shared_samples() // return undef), $dir, $name);
    return -f $path ? $path : undef;
}

# A file with the given content in a directory removed at exit.
my $scratch;
sub write_file {
    my ($name, $content) = @_;
    $scratch //= File::Temp->newdir('measdoc-t-XXXXXX', TMPDIR => 1);
    my $path = File::Spec->catfile($scratch->dirname, $name);
    open(my $out, '>:raw', $path) or die "$path: $!";
    print {$out} $content;
    close $out or die "$path: $!";
    return $path;
}

# The small file of the older layout that the tests convert when they need a clean run:
# a header, one data section with one block of one row, and a footer.
sub worked_example {
    return write_file('worked-example.xml', <<'XML');
<?xml version="1.0" encoding="UTF-8"?>
<mdc>
  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh>
  <md>
    <neid><nedn>SubNetwork=1,ManagedElement=1</nedn></neid>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>900</gp><mt>attA</mt><mt>attB</mt>
      <mv><moid>ManagedElement=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf></mv>
    </mi>
  </md>
  <mff><ts>20050301141500.0+0100</ts></mff>
</mdc>
XML
}

1;
