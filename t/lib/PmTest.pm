package PmTest;
# The one helper module of every Perl test: where the source, build and samples are,
# scratch directories, files read and written as octets, and a command run as a user
# runs it with what it printed and how it ended. Helpers of one module's tests live
# here too, each group under its module's heading, so that none is written twice.
use strict;
use warnings;
use PmBuild ();  # the build tree and optional samples, also under a plain prove
use Exporter 'import';
use File::Spec;
use File::Temp qw(tempdir);
use POSIX ();

our @EXPORT_OK = qw(source_dir build_dir sample shared_sample scratch slurp spew run_command);

my $source = File::Spec->rel2abs($ENV{PM_SOURCE_DIR} // die "PM_SOURCE_DIR is not set\n");
my $build  = File::Spec->rel2abs($ENV{PM_BUILD_DIR} // "$source/build");

sub source_dir { $source }
sub build_dir  { $build }

# A bundled sample: samples/PATH.
sub sample { "$source/samples/$_[0]" }

# A sample outside the checkout (../shared/samples), or undef when there is none, so
# that the caller skips.
sub shared_sample {
    my ($path) = @_;
    my $dir = PmBuild::shared_samples() // return undef;
    return -e "$dir/$path" ? "$dir/$path" : undef;
}

# A fresh directory, removed at exit.
sub scratch { tempdir('pmtest_XXXXXX', TMPDIR => 1, CLEANUP => 1) }

# The octets of a file; dies when it cannot be read.
sub slurp {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!";
    local $/;
    return scalar <$fh>;
}

# Writes octets into a file and returns its path; dies when it cannot.
sub spew {
    my ($path, $octets) = @_;
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $octets;
    close $fh or die "$path: $!";
    return $path;
}

# Runs a command without a shell (a sanitizer's preloaded run-time does not suit one).
# A leading hash reference may give cwd, stdin (a file), stdout (a file that takes the
# output instead of the capture) and env (variables to set; undef removes one).
# Returns { status, signal, out, err }.
sub run_command {
    my %opt = ref $_[0] eq 'HASH' ? %{ shift @_ } : ();
    my @command = @_;
    my $capture = scratch();
    my $pid = fork // die "fork: $!";
    if ($pid == 0) {
        chdir $opt{cwd} or POSIX::_exit(126) if defined $opt{cwd};
        while (my ($name, $value) = each %{ $opt{env} // {} }) {
            if (defined $value) { $ENV{$name} = $value } else { delete $ENV{$name} }
        }
        open STDIN, '<', $opt{stdin} // '/dev/null' or POSIX::_exit(126);
        open STDOUT, '>', $opt{stdout} // "$capture/out" or POSIX::_exit(126);
        open STDERR, '>', "$capture/err" or POSIX::_exit(126);
        { exec { $command[0] } @command }
        POSIX::_exit(127);
    }
    waitpid $pid, 0;
    return { status => $? >> 8, signal => $? & 127, out => -e "$capture/out" ? slurp("$capture/out") : '',
             err => slurp("$capture/err") };
}

# --- BerMeas
# The module logs into the working directory, so its tests run inside a scratch one.
use Cwd ();
use Test::More ();
use Tie::IxHash;
use lib File::Spec->rel2abs("$ENV{PM_SOURCE_DIR}/samples/ber");
use MeasFile qw(encode_meas_file indefinite);

push @EXPORT_OK, qw(ordered example_config rnc_file_name encode_meas_file indefinite pif_files
    compare_with_expected log_lines capture_output one_block_file tlv bermeas_convert);

# A reference to a hash that keeps the given order, as a host's configuration does.
sub ordered {
    tie my %h, 'Tie::IxHash', @_;
    return \%h;
}

# The example configuration the converter has built in, in its own order: each class
# with its pattern and its alternative names.
my @example_classes = (
    [RNC => '(rnc)'], [CS_PS => '(cs|ps)', 'OBJ_INST'], [Neighbour_RNC => 'rnc=(\d+)', 'OBJ_ID'],
    [Iub => 'nodeb=(\d+)', 'OBJ_ID'], [NodeB_FddE => 'NodeBFddE=(\d+)'], [Local_Cell => 'LocalCellE=(\d+)', 'OBJ_ID'],
    [Cell => 'cell=(\d+)', 'OBJ_ID'], [Neighbour_GSM => 'cell=(\d+)-cgi=(\d+)\.=(\d+)\.=(\d+)', qw(CELL_ID CGI_M CGI_L CGI_I)],
    [Processor => 'cp=(\d+)', 'OBJ_ID'], [Neighbour_A => 'cell=(\d+)-rnc=(\d+)\,cell=(\d+)', qw(OCELL_ID ARNC_ID ACELL_ID)],
    [Neighbour_B => 'cell=(\d+)\-cell=(\d+)', qw(OCELL_ID ACELL_ID)], [Neighbour_C => 'cell=(\d+)-(Other)', qw(OCELL_ID ACELL_ID)],
    [Neighbour_D => '(Other)-cell=(\d+)', qw(ACELL_ID OCELL_ID)],
    [STM1_line => 'stm-1line=(\d+)\.(\d+)\.(\d+)\.(\d+)', qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM)],
    [STM1_VP => 'stm-1vp=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)', qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM VIRT_PATH_ID)],
    [STM1_VC => 'stm-1vc=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
     qw(SWI_PORT INFM_ROW LINE_SLOT LINE_NUM VIRT_PATH_ID VIRT_CHNL_ID)],
    [E1_DTI_line => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)', qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE)],
    [E1_DTI_VP => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
     qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE VIRT_PATH_ID)],
    [E1_DTI_VC => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)\.(\d+)',
     qw(CMUX_GRP CMUX_NUM CMP_CARD DTI_CARD DTI_LINE VIRT_PATH_ID VIRT_CHNL_ID)],
    [E1_MDTI_line => 'e1line=(\d+)\.(\d+)\.(\d+)\.(\d+)', qw(CMUX_GRP CMUX_NUM MDTI_CARD MDTI_LINE)],
);
sub example_config {
    return ordered(
        DIRECTORY_HEADER_FIELDS => ordered(NETWORK_ID => '\/NETWORK_?([^\/]+)\/?', REGION_ID => '\/[^\/]+\/REGION_?([^\/]+)\/?'),
        FILENAME_HEADER_FIELDS => ordered(FILENAME => '^(.+)$', TYPE => '^(A|B|C|D).+$'),
        ASN1_3GPP_FILENAME_VALIDATION => ordered(Type => '^(\w{1}).+$', StartDate => '^\w{1}(\d{8}).+$',
                                                 StartTime => '^\w{1}\d{8}\.(\d{4}).+$'),
        ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => '-9999',
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(map { $_->[0] => $_->[1] } @example_classes),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => ordered(map { @$_ > 2 ? ($_->[0] => [@$_[2 .. $#$_]]) : () } @example_classes),
        ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(senderType senderName_managedElementId
            measTimeStamp_Date measTimeStamp_Time granularityPeriod)],
    );
}

# The name samples/ber/meas-rnc.ber arrives under: 3GPP-style, in a network/region tree.
sub rnc_file_name { '/data/NETWORK_east/REGION_north/A20261205.1430+0100-1445+0100_RNC-North-1.ber' }

# Names of the PIF files in a directory, sorted by their counter.
sub pif_files {
    my ($dir) = @_;
    opendir my $dh, $dir or die "$dir: $!";
    my $counter = sub { $_[0] =~ /(\d+)-#-I\.pif\z/ ? $1 : -1 };
    return sort { $counter->($a) <=> $counter->($b) || $a cmp $b } grep { /\.pif\z/ } readdir $dh;
}

# Tests that the PIF files of a directory are those of bermeas/t/expected/NAME byte for
# byte; with `any_counter`, whatever file counter their names carry.
sub compare_with_expected {
    my ($dir, $name, $what, $any_counter) = @_;
    my $expected = "$source/bermeas/t/expected/$name";
    my @want = pif_files($expected);
    my @got = pif_files($dir);
    my $plain = sub { $any_counter ? map { s/-#-\d+-#-I\.pif\z/-#-N-#-I.pif/r } @_ : @_ };
    Test::More::is_deeply([$plain->(@got)], [$plain->(@want)], "$what: file names");
    Test::More::is(@got > $_ ? slurp("$dir/$got[$_]") : undef, slurp("$expected/$want[$_]"), "$what: $want[$_]")
        for 0 .. $#want;
}

# Lines of bermeas.log in the working directory from line `from` on, the prefix
# "[pid] time 5:N " cut to "N message".
sub log_lines {
    my ($from) = @_;
    my @lines = -f 'bermeas.log' ? split /\n/, slurp('bermeas.log') : ();
    return map { /^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} 5:(\d) (.*)\z/ ? "$1 $2" : "BAD: $_" }
        @lines[($from // 0) .. $#lines];
}

# Runs the code with file descriptors 1 and 2 going to files; returns (result, stdout, stderr).
sub capture_output {
    my ($code) = @_;
    my $dir = scratch();
    open my $saved_out, '>&', \*STDOUT or die "dup: $!";
    open my $saved_err, '>&', \*STDERR or die "dup: $!";
    open STDOUT, '>', "$dir/out" or die "$dir/out: $!";
    open STDERR, '>', "$dir/err" or die "$dir/err: $!";
    my $result = eval { $code->() };
    my $error = $@;
    open STDOUT, '>&', $saved_out or die "restore: $!";
    open STDERR, '>&', $saved_err or die "restore: $!";
    die $error if $error;
    return ($result, slurp("$dir/out"), slurp("$dir/err"));
}

# A measurement file of one network element and one block. `values` holds [instance id,
# [results], suspect flag or undef]; a result is an integer, 'null' or ['real', number].
sub one_block_file {
    my (%arg) = @_;
    my @values = map {
        my ($id, $results, $flag) = @$_;
        my @results = map { ref $_ ? { rValue => $_->[1] } : $_ eq 'null' ? { noValue => 1 } : { iValue => $_ } } @$results;
        +{ measObjInstId => $id, measResults => \@results, defined $flag ? (suspectFlag => $flag) : () }
    } @{ $arg{values} };
    return encode_meas_file({
        measFileHeader => { fileFormatVersion => 1, senderName => $arg{sender} // 'managedElementId=RNC01',
                            senderType => 'RNC', vendorName => 'Example Networks', collectionBeginTime => '20261205170000Z' },
        measData => [{
            nEId => { nEUserName => 'RNC01', nEDistinguishedName => 'managedElementId=RNC01' },
            measInfo => [{ measTimeStamp => $arg{time_stamp} // '20261205174500Z', granularityPeriod => 900,
                           measTypes => $arg{types} // ['c1'], measValues => \@values }],
        }],
        measFileFooter => '20261205180000Z',
    });
}

# One BER element: identifier octet, definite length, content.
sub tlv {
    my ($identifier, @content) = @_;
    my $content = join '', @content;
    my $length = length $content;
    my $octets = $length < 0x80 ? chr $length : $length < 0x100 ? "\x81" . chr $length : "\x82" . pack 'n', $length;
    return chr($identifier) . $octets . $content;
}

# Converts `octets` (written to a file) or the file `input`, arriving as `name`, into a
# fresh directory (or `out`). Returns (result, output directory, {PIF file name => content}).
my $conversions = 0;
sub bermeas_convert {
    my (%arg) = @_;
    my $n = ++$conversions;
    my $input = $arg{input} // spew(Cwd::getcwd() . "/input$n.ber", $arg{octets});
    my $out = $arg{out} // Cwd::getcwd() . "/out$n";
    mkdir $out unless $arg{out};
    my $ok = BerMeas::process_file($input, $arg{name} // 'A20261205.1700+0100-1800+0100_RNC01.ber', $out);
    utf8::encode($out) if utf8::is_utf8($out);  # the module works on a text's UTF-8 octets
    my %files = -d $out ? map { $_ => slurp("$out/$_") } pif_files($out) : ();
    return ($ok, $out, \%files);
}

# --- radiobin
# Block layouts and logs go into one scratch directory; files come from AlcatelFile.
use File::Path ();
use lib File::Spec->rel2abs("$ENV{PM_SOURCE_DIR}/radiobin/t/lib");
use AlcatelFile ();

push @EXPORT_OK, qw(deep_dir config_file load_config fresh_log log_messages convert_file radiobin_convert header_lines);

my ($radiobin_dir, $serial);
sub radiobin_dir { $radiobin_dir //= scratch() }

# A directory whose absolute path is exactly `length` characters, made of names of at most
# 200 characters; returns its path. Both modules' output-path limits are tested with it.
sub deep_dir {
    my ($length) = @_;
    my $path = radiobin_dir() . '/deep' . ++$serial;
    while (length $path < $length) {
        my $room = $length - length($path) - 1;
        die "no directory path of $length characters\n" if $room < 1;
        $path .= '/' . ('d' x ($room <= 200 ? $room : $room == 201 ? 199 : 200));  # never room for a "/" alone
    }
    File::Path::make_path($path);
    return $path;
}

sub config_file { spew(radiobin_dir() . '/cfg' . ++$serial . '.cfg', $_[0]) }

# Loads a block layout from its text; returns what config_initialise returns.
sub load_config {
    my ($text, $min, $max) = @_;
    return radiobin::config_initialise(config_file($text), $min // 0, $max // 99);
}

# Starts a new log at the given level; returns its path.
sub fresh_log {
    my $path = radiobin_dir() . '/log' . ++$serial . '.log';
    radiobin::logopen($path, $_[0]);
    return $path;
}

# The messages of a log as "level:text" (without the line feed the logger adds).
sub log_messages {
    my ($path) = @_;
    return [] unless -e $path;
    my (undef, @parts) = split /^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} \d+:(\d+) /m, slurp($path);
    my @out;
    while (my ($level, $msg) = splice @parts, 0, 2) { push @out, "$level:" . ($msg =~ s/\n\z//r) }
    return \@out;
}

# Converts a file into a fresh output directory (or `out`). Returns (code, second value,
# PIF text or undef, log messages).
sub convert_file {
    my ($path, %opt) = @_;
    my $log = fresh_log($opt{log_level} // 3);
    my $out = $opt{out} // radiobin_dir() . '/out' . ++$serial;
    File::Path::make_path($out);
    my ($rc, $second) = radiobin::process_file($path, $out, $opt{omc} // 'OMC1', 'NET1', 'REG1');
    my $pif = defined $second && $second ne $rc && -e $second ? slurp($second) : undef;
    return ($rc, $second, $pif, log_messages($log));
}

# Writes the file AlcatelFile describes under `name` (default PMRES001.01a.7.) and converts it.
sub radiobin_convert {
    my ($desc, %opt) = @_;
    my $path = spew(radiobin_dir() . '/' . ($opt{name} // 'PMRES001.01a.7.'), AlcatelFile::alcatel_file(%$desc));
    return convert_file($path, %opt);
}

# The five header lines for the default description (05Dec2026 10:00-11:00, TZ UTC).
sub header_lines {
    my %h = (start => '05Dec2026|10:00', end => '05Dec2026|11:00', class => 1, inst => 2, release => 5, gmt => 0,
             gran => 3600, @_);
    return "##%zel Alcatel Binary Performance Data, Parser Intermediate File\n##START|HEADER\n"
         . "STARTDATE|STARTTIME|ENDDATE|ENDTIME|MEASURE_TYPE|MOBCLASS|MOBINST|BSS_VERSION|BSSNUM|OMCNAME|NETWORK_ID"
         . "|REGION_ID|GMTDIFF|granularity\n"
         . "$h{start}|$h{end}|TYPE_11|$h{class}|$h{inst}|$h{release}|7|OMC1|NET1|REG1|$h{gmt}|$h{gran}\n##END|HEADER\n";
}

1;
