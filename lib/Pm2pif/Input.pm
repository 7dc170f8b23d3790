package Pm2pif::Input;
# Finding the inputs and telling their kind from their first octets, gzip included.
use strict;
use warnings;
use Exporter 'import';
use Cwd qw(realpath);
use File::Spec;
use IO::Uncompress::Gunzip qw($GunzipError);

our $VERSION = '1.00';
our @EXPORT_OK = qw(collect_inputs status_error detect_kind head_kind gunzip_bounded is_gzip);

my $HEAD_SIZE = 65536;          # octets read to tell a file's kind

# Files named on the command line, and the files under directories named there (walked
# in name order, hidden entries and the output directory left out, symbolic links to
# directories not followed). Each input: { path => absolute, shown => as the user sees
# it, explicit => named on the command line, error => why it fails before it is read,
# skip => why it is skipped }. A file reached twice is converted once. An entry that
# cannot be looked at is an input that fails, so that nothing goes missing unreported.
sub collect_inputs {
    my ($skip_dirs, @args) = @_;
    my (@inputs, %seen);
    my $add = sub {
        my ($shown, $explicit, %why) = @_;
        my $path = File::Spec->rel2abs($shown);
        my $key = realpath($path) // $path;
        push @inputs, { path => $path, shown => $shown, explicit => $explicit, %why } unless $seen{$key}++;
    };
    my $walk;
    $walk = sub {
        my ($dir) = @_;
        opendir my $dh, $dir or do { $add->($dir, 1, error => "cannot read the directory: $!"); return };
        my @names = sort grep { !/\A\./ } readdir $dh;
        closedir $dh;
        for my $name (@names) {
            my $path = $dir =~ m{/\z} ? "$dir$name" : "$dir/$name";
            my $error = status_error($path);
            if (defined $error) {
                $add->($path, 1, error => $error);
            } elsif (-l $path && -d $path) {
                next;
            } elsif (-d _) {
                my $real = realpath($path);
                $walk->($path) unless defined $real && $skip_dirs->{$real};
            } elsif (-f _) {
                $add->($path, 0);
            } else {
                $add->($path, 0, skip => 'not a plain file');
            }
        }
    };
    for my $arg (@args) {
        if (ref $arg) { push @inputs, $arg }
        elsif (-d $arg) { $walk->($arg) }
        else { $add->($arg, 1) }
    }
    return \@inputs;
}

# Why a path's status cannot be read (following symbolic links), or undef when it can.
sub status_error {
    my ($path) = @_;
    return undef if stat $path;
    return 'a loop of symbolic links' if $!{ELOOP};
    return "cannot read its status: $!" unless $!{ENOENT};
    return lstat($path) && -l _ ? 'a symbolic link to nothing' : 'no such file';
}

# The first octets of XML written in UTF-16: a byte-order mark, or "<" beside a NUL.
my $UTF16_XML = qr/\A(?:\xFF\xFE|\xFE\xFF|<\0|\0<)/;

# The kind of a (decompressed) file from its first octets: ('xml', root element or undef),
# ('ber'), ('alcatel') or ('unknown'). Dies when the file cannot be read.
sub detect_kind {
    my ($path) = @_;
    open my $fh, '<:raw', $path or die "cannot read: $!\n";
    my $head = '';
    defined read($fh, $head, $HEAD_SIZE) or die "cannot read: $!\n";
    my $kind = head_kind($head);
    die "XML in UTF-16, which the XML module does not read: convert it to UTF-8 first (iconv -f UTF-16 -t UTF-8)\n"
        if $head =~ $UTF16_XML;
    return $kind eq 'xml' ? ('xml', xml_root($fh, $head)) : ($kind);
}


# The kind the first octets of a file tell: xml, ber, alcatel or unknown.
sub head_kind {
    my ($head) = @_;
    return 'xml' if $head =~ /\A(?:\xEF\xBB\xBF)?[ \t\r\n]*</ || $head =~ $UTF16_XML;
    return 'ber' if is_ber($head);
    # The first record header: octet 4 is the record type, 12 for performance data.
    return 'alcatel' if length $head >= 6 && ord(substr $head, 4, 1) == 12;
    return 'unknown';
}

# Decompresses a gzip file (all its members) into $to, and dies with the reason when it
# is corrupt (the CRC and length of each member are checked) or decompresses to more
# than $limit octets ($limit_why says where the limit comes from). Returns false, having
# written nothing, when the first octets are of no known kind and $any_kind is false: a
# file of zeros that grows by a thousand is stopped before it fills the disk.
sub gunzip_bounded {
    my ($from, $to, $limit, $limit_why, $any_kind) = @_;
    my $z = IO::Uncompress::Gunzip->new($from, MultiStream => 1, Strict => 1, Transparent => 0)
        or die "cannot decompress: $GunzipError\n";
    my ($head, $chunk, $size) = ('', '', 0);
    my $read = sub {
        my $n = $z->read($chunk, $HEAD_SIZE);
        die 'cannot decompress: ' . ($z->error || $GunzipError || 'read error') . "\n" if !defined $n || $n < 0;
        $size += $n;
        die "decompressed it holds more than $limit octets, the limit$limit_why; --max-decompressed sets another\n"
            if $size > $limit;
        return $n;
    };
    while (length $head < $HEAD_SIZE && $read->()) { $head .= $chunk }
    return 0 if !$any_kind && head_kind($head) eq 'unknown';
    open my $out, '>:raw', $to or die "cannot write $to: $!\n";
    print {$out} $head or die "cannot write $to: $!\n";
    while ($read->()) { print {$out} $chunk or die "cannot write $to: $!\n" }
    close $out or die "cannot write $to: $!\n";
    return 1;
}

# A 3GPP measurement file is a SEQUENCE whose first element is the file header, [0].
sub is_ber {
    my ($head) = @_;
    return 0 unless length $head >= 4 && ord(substr $head, 0, 1) == 0x30;
    my $length = ord substr $head, 1, 1;
    my $at = $length <= 0x80 ? 2 : $length <= 0x84 ? 2 + ($length & 0x7F) : return 0;
    return length $head > $at && ord(substr $head, $at, 1) == 0xA0;
}

# The name of the root element after the prolog (declaration, processing instructions,
# comments, document type), reading on while the prolog goes on; undef when there is none.
sub xml_root {
    my ($fh, $buf) = @_;
    my $pos = $buf =~ /\A\xEF\xBB\xBF/ ? 3 : 0;
    while (1) {
        pos($buf) = $pos;
        if ($buf =~ /\G[ \t\r\n]*(?:<\?.*?\?>|<!--.*?-->|<!DOCTYPE(?:[^\[>]|\[.*?\])*>)/gcs) {
            $pos = pos $buf;
            next;
        }
        pos($buf) = $pos;
        # A namespace prefix (<mc:measCollecFile>) names no other layout.
        return $1 =~ s/\A[^:]*://r if $buf =~ /\G[ \t\r\n]*<([A-Za-z_:][-\w.:]*)[ \t\r\n\/>]/gc;
        # Undecided: a comment or declaration may go on past what has been read.
        return undef if length($buf) - $pos > 4 << 20;
        my $more = '';
        my $n = read $fh, $more, 65536;
        return undef unless $n;
        $buf .= $more;
    }
}

sub is_gzip {
    my ($path) = @_;
    open my $fh, '<:raw', $path or return 0;
    my $magic = '';
    read $fh, $magic, 2;
    return $magic eq "\x1F\x8B";
}

1;
