package BerMeasTest;
# Shared helpers of the BerMeas tests: a temporary working directory (the module logs
# into the working directory), the example configuration as a host passes it, sample
# paths, encoding of ad-hoc measurement files, and comparison of PIF output with the
# expected files.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Cwd qw(getcwd);
use Exporter 'import';
use File::Basename qw(dirname);
use File::Spec;
use File::Temp qw(tempdir);
use Test::More;

use Tie::IxHash ();

my $source;
BEGIN { $source = $ENV{PM_SOURCE_DIR} // File::Spec->rel2abs(dirname(__FILE__) . '/../../..') }
use lib "$source/samples/ber";
use MeasFile qw(encode_meas_file indefinite);

our @EXPORT_OK = qw(work_dir ordered example_config sample expected_dir shared_sample
    encode_meas_file indefinite write_file read_file pif_files compare_with_expected
    log_lines capture_output rnc_file_name one_block_file tlv convert);

# Makes and enters a fresh temporary directory, removed at exit; returns its path.
sub work_dir {
    my $dir = tempdir('bermeas_XXXXXX', TMPDIR => 1, CLEANUP => 1);
    chdir $dir or die "chdir $dir: $!";
    return getcwd();
}

# A reference to a hash that keeps the given order.
sub ordered {
    tie my %h, 'Tie::IxHash', @_;
    return \%h;
}

# The built-in example configuration, in its own order.
sub example_config {
    return ordered(
        DIRECTORY_HEADER_FIELDS => ordered(
            NETWORK_ID => '\/NETWORK_?([^\/]+)\/?',
            REGION_ID  => '\/[^\/]+\/REGION_?([^\/]+)\/?'),
        FILENAME_HEADER_FIELDS => ordered(
            FILENAME => '^(.+)$',
            TYPE     => '^(A|B|C|D).+$'),
        ASN1_3GPP_FILENAME_VALIDATION => ordered(
            Type      => '^(\w{1}).+$',
            StartDate => '^\w{1}(\d{8}).+$',
            StartTime => '^\w{1}\d{8}\.(\d{4}).+$'),
        ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => '-9999',
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(
            RNC           => '(rnc)',
            CS_PS         => '(cs|ps)',
            Neighbour_RNC => 'rnc=(\d+)',
            Iub           => 'nodeb=(\d+)',
            NodeB_FddE    => 'NodeBFddE=(\d+)',
            Local_Cell    => 'LocalCellE=(\d+)',
            Cell          => 'cell=(\d+)',
            Neighbour_GSM => 'cell=(\d+)-cgi=(\d+)\.=(\d+)\.=(\d+)',
            Processor     => 'cp=(\d+)',
            Neighbour_A   => 'cell=(\d+)-rnc=(\d+)\,cell=(\d+)',
            Neighbour_B   => 'cell=(\d+)\-cell=(\d+)',
            Neighbour_C   => 'cell=(\d+)-(Other)',
            Neighbour_D   => '(Other)-cell=(\d+)',
            STM1_line     => 'stm-1line=(\d+)\.(\d+)\.(\d+)\.(\d+)',
            STM1_VP       => 'stm-1vp=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
            STM1_VC       => 'stm-1vc=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
            E1_DTI_line   => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
            E1_DTI_VP     => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
            E1_DTI_VC     => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
            E1_MDTI_line  => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)'),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => ordered(
            CS_PS         => ['OBJ_INST'],
            Neighbour_RNC => ['OBJ_ID'],
            Iub           => ['OBJ_ID'],
            Local_Cell    => ['OBJ_ID'],
            Cell          => ['OBJ_ID'],
            Processor     => ['OBJ_ID'],
            Neighbour_GSM => [qw(CELL_ID CGI_M CGI_L CGI_I)],
            Neighbour_A   => [qw(OCELL_ID ARNC_ID ACELL_ID)],
            Neighbour_B   => [qw(OCELL_ID ACELL_ID)],
            Neighbour_C   => [qw(OCELL_ID ACELL_ID)],
            Neighbour_D   => [qw(ACELL_ID OCELL_ID)],
            STM1_line     => [qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM)],
            STM1_VP       => [qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM VIRT_PATH_ID)],
            STM1_VC       => [qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM VIRT_PATH_ID VIRT_CHNL_ID)],
            E1_DTI_line   => [qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE)],
            E1_DTI_VP     => [qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE VIRT_PATH_ID)],
            E1_DTI_VC     => [qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE VIRT_PATH_ID VIRT_CHNL_ID)],
            E1_MDTI_line  => [qw(CMUX_GRP CMUX_NUM MDTI_CARD MDTI_LINE)]),
        ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(senderType senderName_managedElementId
            measTimeStamp_Date measTimeStamp_Time granularityPeriod)],
    );
}

# The name meas-rnc.ber arrives under in the tests: 3GPP-style, in a network/region tree.
sub rnc_file_name { '/data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC-North-1.ber' }

sub sample       { "$source/samples/ber/$_[0]" }
sub expected_dir { "$source/bermeas/t/expected/$_[0]" }

# A file of the shared (not redistributable) samples next to the checkout, or undef.
sub shared_sample {
    my $path = (PmBuild::shared_samples() // return undef) . "/$_[0]";
    return -f $path ? $path : undef;
}

sub write_file {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $octets;
    close $fh or die "$path: $!";
    return $path;
}

sub read_file {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!";
    local $/;
    return scalar <$fh>;
}

# Names of the PIF files in a directory, sorted by their counter.
sub pif_files {
    my ($dir) = @_;
    opendir my $dh, $dir or die "$dir: $!";
    my @files = grep { /\.pif\z/ } readdir $dh;
    my $counter = sub { $_[0] =~ /(\d+)-#-I\.pif\z/ ? $1 : -1 };
    return sort { $counter->($a) <=> $counter->($b) || $a cmp $b } @files;
}

# The PIF files of `$dir` must be exactly those of the expected directory, byte for byte.
sub compare_with_expected {
    my ($dir, $expected, $what) = @_;
    my @want = pif_files($expected);
    my @got  = pif_files($dir);
    is_deeply(\@got, \@want, "$what: file names");
    for my $name (@want) {
        next unless -f "$dir/$name";
        is(read_file("$dir/$name"), read_file("$expected/$name"), "$what: $name");
    }
}

# Lines of bermeas.log in the working directory with the prefix "[pid] time 5:N " cut
# to "N message".
sub log_lines {
    return () unless -f 'bermeas.log';
    my @lines = split /\n/, read_file('bermeas.log');
    return map { /^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} 5:(\d) (.*)\z/ ? "$1 $2" : "BAD: $_" } @lines;
}

# A measurement file of one network element and one block. `values` holds
# [instance id, [results], suspect flag or undef]; a result is an integer, 'null' (no
# value) or ['real', number].
sub one_block_file {
    my (%arg) = @_;
    my @values = map {
        my ($id, $results, $flag) = @$_;
        my @results = map {
            ref $_ ? { rValue => $_->[1] } : $_ eq 'null' ? { noValue => 1 } : { iValue => $_ }
        } @$results;
        +{ measObjInstId => $id, measResults => \@results, defined $flag ? (suspectFlag => $flag) : () }
    } @{ $arg{values} };
    return encode_meas_file({
        measFileHeader => {
            fileFormatVersion   => 1,
            senderName          => $arg{sender} // 'managedElementId=RNC01',
            senderType          => 'RNC',
            vendorName          => 'Example Networks',
            collectionBeginTime => '20261205170000Z',
        },
        measData => [{
            nEId     => { nEUserName => 'RNC01', nEDistinguishedName => 'managedElementId=RNC01' },
            measInfo => [{
                measTimeStamp     => $arg{time_stamp} // '20261205174500Z',
                granularityPeriod => 900,
                measTypes         => $arg{types} // ['c1'],
                measValues        => \@values,
            }],
        }],
        measFileFooter => '20261205180000Z',
    });
}

# One BER element: identifier octet, definite length, content.
sub tlv {
    my ($identifier, @content) = @_;
    my $content = join '', @content;
    my $length = length $content;
    my $octets = $length < 0x80 ? chr $length
        : $length < 0x100 ? "\x81" . chr $length
        : "\x82" . pack 'n', $length;
    return chr($identifier) . $octets . $content;
}

# Converts `octets` (written to a file) or the file `input`, arriving as `name`, into a
# fresh output directory. Returns the result, the output directory and a hash of its PIF
# files (name => content).
my $conversions = 0;
sub convert {
    my (%arg) = @_;
    my $n = ++$conversions;
    my $input = $arg{input} // write_file("input$n.ber", $arg{octets});
    my $out = $arg{out} // "out$n";
    mkdir $out unless $arg{out};
    my $ok = BerMeas::process_file($input, $arg{name} // 'A20261205.1700+0100-1800+0100_RNC01.ber', $out);
    my %files = -d $out ? map { $_ => read_file("$out/$_") } pif_files($out) : ();
    return ($ok, $out, \%files);
}

# Runs the code with the process's standard output and error (file descriptors 1 and 2)
# going to files; returns (result, stdout, stderr).
sub capture_output {
    my ($code) = @_;
    open my $saved_out, '>&', \*STDOUT or die "dup: $!";
    open my $saved_err, '>&', \*STDERR or die "dup: $!";
    open STDOUT, '>', 'captured.out' or die "captured.out: $!";
    open STDERR, '>', 'captured.err' or die "captured.err: $!";
    my $result = eval { $code->() };
    my $error = $@;
    open STDOUT, '>&', $saved_out or die "restore: $!";
    open STDERR, '>&', $saved_err or die "restore: $!";
    die $error if $error;
    my @out = (read_file('captured.out'), read_file('captured.err'));
    unlink 'captured.out', 'captured.err';
    return ($result, @out);
}

1;
