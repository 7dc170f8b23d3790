package RadiobinTest;
# Shared helpers of the radiobin tests: a scratch directory, block-layout files, a fresh
# log per step, and one call that converts a described file and returns what came out.
use strict;
use warnings;
use Exporter 'import';
use File::Temp qw(tempdir);
use File::Path qw(make_path);
use AlcatelFile qw(alcatel_file write_file);
use radiobin;

our @EXPORT_OK = qw(scratch config_file load_config fresh_log log_messages slurp convert convert_file
                    header_lines std_config deep_dir);

my $dir;
sub scratch { $dir //= tempdir('radiobin_XXXXXX', TMPDIR => 1, CLEANUP => 1); return $dir }

my $serial = 0;
# Makes a directory whose path is exactly $length characters long, of names of at most
# 200 characters (the system takes 255 in one name); returns its path.
sub deep_dir {
    my ($length) = @_;
    my $path = scratch() . '/deep' . ++$serial;
    while (length $path < $length) {
        my $room = $length - length($path) - 1;
        die "no directory path of $length characters\n" if $room < 1;
        # Never leave room for a "/" alone.
        my $part = $room <= 200 ? $room : $room == 201 ? 199 : 200;
        $path .= '/' . ('d' x $part);
    }
    make_path($path);
    return $path;
}

sub config_file {
    my ($text) = @_;
    my $path = scratch() . '/cfg' . ++$serial . '.cfg';
    open my $fh, '>:raw', $path or die "$path: $!";
    print {$fh} $text;
    close $fh;
    return $path;
}

# Starts a new log at the given level; returns its path.
sub fresh_log {
    my ($level) = @_;
    my $path = scratch() . '/log' . ++$serial . '.log';
    radiobin::logopen($path, $level);
    return $path;
}

# The messages of a log as "level:text" (the text without the line feed logmsg adds).
sub log_messages {
    my ($path) = @_;
    return [] unless -e $path;
    my $text = slurp($path);
    my @out;
    my $prefix = qr/^\[\d+\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} \d+:(\d+) /m;
    my @parts = split $prefix, $text;
    shift @parts;    # before the first prefix
    while (my ($level, $msg) = splice @parts, 0, 2) {
        $msg =~ s/\n\z//;
        push @out, "$level:$msg";
    }
    return \@out;
}

sub slurp {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "$path: $!";
    local $/;
    return scalar <$fh>;
}

sub load_config {
    my ($text, $min, $max) = @_;
    return radiobin::config_initialise(config_file($text), $min // 0, $max // 99);
}

# Converts an existing file into a fresh output directory (or the one given as out). Returns (code, second value,
# PIF text or undef, log messages).
my $outn = 0;
sub convert_file {
    my ($path, %opt) = @_;
    my $log = fresh_log($opt{log_level} // 3);
    my $out = $opt{out} // scratch() . '/out' . ++$outn;
    make_path($out);
    my ($rc, $second) = radiobin::process_file($path, $out, $opt{omc} // 'OMC1', $opt{network} // 'NET1',
                                                $opt{region} // 'REG1');
    my $pif = (defined $second && $second ne $rc && -e $second) ? slurp($second) : undef;
    return ($rc, $second, $pif, log_messages($log));
}

# Writes a described file under the given name (default PMRES001.01a.7.) and converts it.
sub convert {
    my ($desc, %opt) = @_;
    my $name = $opt{name} // 'PMRES001.01a.7.';
    my $path = scratch() . "/$name";
    write_file($path, alcatel_file(%$desc));
    return convert_file($path, %opt);
}

# The five header lines for the default description (period 05Dec2026 10:00-11:00, TZ UTC).
sub header_lines {
    my (%v) = @_;
    my %h = (start => '05Dec2026|10:00', end => '05Dec2026|11:00', type => 11, class => 1, inst => 2,
             release => 5, bss => 7, omc => 'OMC1', gmt => 0, gran => 3600, %v);
    return "##%zel Alcatel Binary Performance Data, Parser Intermediate File\n"
         . "##START|HEADER\n"
         . "STARTDATE|STARTTIME|ENDDATE|ENDTIME|MEASURE_TYPE|MOBCLASS|MOBINST|BSS_VERSION|BSSNUM|OMCNAME|NETWORK_ID|REGION_ID|GMTDIFF|granularity\n"
         . "$h{start}|$h{end}|TYPE_$h{type}|$h{class}|$h{inst}|$h{release}|$h{bss}|$h{omc}|NET1|REG1|$h{gmt}|$h{gran}\n"
         . "##END|HEADER\n";
}

1;
