package Pm2pif::Convert;
# Conversion of one input in a worker process: what kind it is, which converter takes
# it, and the result record the parent commits.
use strict;
use warnings;
use Exporter 'import';
use Pm2pif::Alcatel qw(convert_alcatel);
use Pm2pif::Ber qw(convert_ber);
use Digest::SHA ();
use File::Basename qw(basename);
use File::Path qw(make_path remove_tree);
use Pm2pif::Config qw(known_root layout_names);
use Pm2pif::Format qw(write_format);
use Pm2pif::Input qw(detect_kind gunzip_bounded is_gzip status_error);
use Pm2pif::Util qw(kind_name short_error);
use Pm2pif::Xml qw(convert_xml);

our $VERSION = '1.00';
our @EXPORT_OK = qw(convert_task convert_input input_digest);

my $DIGEST_DIGITS = 8;
# Measurement files compress by 10 to 50; a gzip bomb by up to a thousand.
my $GZIP_RATIO = 250;
my $UNKNOWN_KIND = 'not a measurement file of a kind pm2pif knows (give --kind to force one)';

# Converts input number $index into the run's work directory, $index/pif. Returns the result
# record:
# status ('ok', 'failed' or 'skipped'), kind, message, warnings, bytes (input size
# after decompression), files ([{ tmp, name } or { tmp, prefix }]: name is the final name,
# prefix a .pif name that still needs its counter), lines, restart (the process is
# unusable for further XML files). A failed input leaves nothing behind.
sub convert_task {
    my ($run, $index) = @_;
    my %r = (index => $index, status => 'failed', kind => '', warnings => [], files => [],
             bytes => 0, lines => 0);
    my $dir = "$run->{work_root}/$index";
    my $ok = eval {
        make_path("$dir/in", "$dir/pif");
        # The modules get paths from inside the input's work directory: they cut long
        # paths (BerMeas at 2047 octets) and BerMeas logs into the working directory.
        chdir $dir or die "cannot change into $dir: $!\n";
        convert_input($run, $run->{inputs}[$index], '.', \%r);
        write_format($run, $run->{inputs}[$index], './pif', \%r, $r{meta})
            if $r{status} eq 'ok' && $run->{opt}{format} ne 'pif' && !$run->{opt}{'raw-json'} && !$r{formatted};
        1;
    };
    @r{qw(status message)} = ('failed', short_error($@)) unless $ok;
    # What the XML files' columns mean serves the other forms here, not the parent.
    delete $r{meta};
    chdir $run->{work_root};
    remove_tree("$dir/in");
    remove_tree($dir) unless $r{status} eq 'ok';
    return \%r;
}

# Converts one input into $dir/pif, filling the result record $r. Dies with the reason
# the input fails.
sub convert_input {
    my ($run, $in, $dir, $r) = @_;
    my $source  = $in->{path};
    my $arrived = $in->{path};
    die "$in->{error}\n" if defined $in->{error};
    if (defined $in->{skip}) {
        @$r{qw(status message)} = ('skipped', $in->{skip});
        return;
    }
    my $error = status_error($source);
    die "$error\n" if defined $error;
    die "not a plain file\n" unless -f _;
    if (is_gzip($source)) {
        # The module reads the file under its own name: radiobin takes the BSS number
        # from it.
        (my $name = basename($source)) =~ s/\.gz\z//i;
        $name = 'input' if $name eq '';
        $source = "$dir/in/$name";
        my @limit = defined $run->{opt}{'max-decompressed'} ? ($run->{opt}{'max-decompressed'}, '')
            : ($GZIP_RATIO * -s $in->{path}, " ($GZIP_RATIO times its size)");
        unless (gunzip_bounded($in->{path}, $source, @limit, $run->{opt}{kind})) {
            $r->{status} = $in->{explicit} ? 'failed' : 'skipped';
            $r->{message} = $UNKNOWN_KIND;
            return;
        }
        $arrived =~ s/\.gz\z//i;
    }
    $r->{bytes} = -s $source;

    my ($kind, $root) = detect_kind($source);
    my $content = $kind;
    if ($run->{opt}{kind}) {
        ($kind, $root) = ($run->{opt}{kind}, $kind eq 'xml' ? $root : undef);
    } elsif ($kind eq 'unknown') {
        $r->{status} = $in->{explicit} ? 'failed' : 'skipped';
        $r->{message} = $UNKNOWN_KIND;
        return;
    } elsif ($kind eq 'xml' && !known_root($run->{config}, $root)) {
        $r->{status} = $in->{explicit} ? 'failed' : 'skipped';
        $r->{message} = defined $root
            ? "XML root element <$root> is no layout pm2pif knows (" . join(', ', layout_names()) . "): add a section for it under \"xml\" in the configuration, or give --kind xml"
            : 'XML file without a root element';
        return;
    }
    $r->{kind} = $kind;
    $r->{digest} = input_digest($in->{path}, basename($arrived));
    if ($run->{opt}{'raw-json'} && $kind ne 'xml') {
        die "--raw-json shows XML files only, and this is " . ($kind eq 'ber' ? 'a BER' : 'an Alcatel') . " file\n";
    }
    if    ($kind eq 'xml')     { convert_xml($run, $source, $root, $dir, $r) }
    elsif ($kind eq 'ber')     { convert_ber($run, $source, $arrived, $dir, $r) }
    else                       { convert_alcatel($run, $source, $dir, $r) }
    # A module given a file of another kind may find nothing in it and still succeed: only
    # a file of its own kind may rightly give no PIF file.
    if ($r->{status} eq 'ok' && !$r->{raw_json} && !@{ $r->{files} } && $content ne $kind) {
        $r->{warnings} = [];
        die 'no PIF file written: by its content this is no ' . kind_name($kind) . ' file ('
            . ($content eq 'unknown' ? 'nor of any kind pm2pif knows' : 'it looks like ' . kind_name($content))
            . ")\n";
    }
}

# The mark of an input in its PIF files' names: 8 hex digits of a digest of its name and
# content. Inputs of the same name (from other directories, other days, other runs into
# the same output directory) get other names, and the same input gets the same ones again.
sub input_digest {
    my ($path, $name) = @_;
    my $sha = Digest::SHA->new(1);
    $sha->add("$name\0");
    eval { $sha->addfile($path, 'b'); 1 } or die "cannot read: $!\n";
    return substr $sha->hexdigest, 0, $DIGEST_DIGITS;
}

1;
