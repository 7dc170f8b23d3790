package Pm2pif::Ber;
# BER inputs through BerMeas: its PIF files, numbered within their input.
use strict;
use warnings;
use Exporter 'import';
use Pm2pif::Modules qw(forward_log load_module log_messages);
use Pm2pif::Util qw(count_lines);

our $VERSION = '1.00';
our @EXPORT_OK = qw(convert_ber);

# Converts one BER file into $dir/pif; $arrived is the name it arrived under, which
# BerMeas checks. Dies with the module's reasons.
sub convert_ber {
    my ($run, $source, $arrived, $dir, $r) = @_;
    load_module($run, 'BerMeas') or die "the BER module BerMeas cannot be loaded: $run->{load_error}{BerMeas}\n";
    # BerMeas logs into the working directory, the input's own: its reasons are at hand
    # even when the shared log cannot be written.
    my $converted = BerMeas::process_file($source, $arrived, "$dir/pif");
    my $shared = forward_log($run, "$dir/bermeas.log", 'bermeas.log', $r);
    unless ($converted) {
        # The partial file the module speaks of is removed with the work directory.
        my @reasons = grep { !/^Leaving PIF file without end line/ } log_messages("$dir/bermeas.log", 0, 2);
        die(@reasons ? join('; ', @reasons) . ($shared ? " (bermeas.log)\n" : "\n")
            : "the conversion failed, see $run->{logdir}/bermeas.log\n");
    }
    opendir my $dh, "$dir/pif" or die "cannot read $dir/pif: $!\n";
    my @names = grep { !/\A\.\.?\z/ } readdir $dh;
    closedir $dh;
    my ($cut) = grep { !/-#-I\.pif\z/ } @names;
    die "BerMeas wrote a file under a cut name ($cut): its name is longer than the module takes\n" if defined $cut;
    my $counter = sub { $_[0] =~ /(\d+)-#-I\.pif\z/ ? $1 : 0 };
    for my $name (sort { $counter->($a) <=> $counter->($b) } @names) {
        # The module numbers files per process; pm2pif numbers them within their input,
        # so that the names do not depend on which worker took the file.
        my ($prefix) = $name =~ /\A((?:.*-#-)?)\d+-#-I\.pif\z/s;
        # A line break in a header field would split every list of file names.
        $prefix =~ tr{\n\r}{__} if defined $prefix;
        my %file = (tmp => $name, defined $prefix ? (prefix => $prefix) : (name => $name));
        push @{ $r->{files} }, \%file;
        $r->{lines} += count_lines("$dir/pif/$name");
    }
    push @{ $r->{warnings} }, 'no PIF file written: the file holds no measurement values' unless @names;
    $r->{status} = 'ok';
}

1;
