package Pm2pif::Alcatel;
# Alcatel inputs through radiobin, and its block layout, loaded once per run.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(basename);
use Pm2pif::Modules qw(forward_log load_module log_messages);
use Pm2pif::Util qw(count_lines);

our $VERSION = '1.00';
our @EXPORT_OK = qw(convert_alcatel load_block_layout);

my %RADIOBIN_RESULTS = (-1 => 'failed', -2 => 'release outside the configured range', 3 => 'out of memory');

# Converts one Alcatel file into $dir/pif. Dies with radiobin's result and reasons.
sub convert_alcatel {
    my ($run, $source, $dir, $r) = @_;
    my $alcatel = $run->{config}{alcatel};
    die "no block-layout file configured: set alcatel.blockLayout in the configuration file\n"
        unless defined $alcatel->{blockLayout};
    die "the Alcatel module radiobin cannot be loaded: $run->{load_error}{radiobin}\n" unless load_module($run, 'radiobin');
    my $log = "$dir/radiobin.log";
    radiobin::logopen($log, $alcatel->{logLevel});
    my ($rc, $pif) = radiobin::process_file($source, "$dir/pif", @$alcatel{qw(omcName networkId regionId)});
    my $shared = forward_log($run, $log, 'radiobin.log', $r);
    if ($rc != 0) {
        my @reasons = log_messages($log, 0, $alcatel->{logLevel});
        die "radiobin result $rc (" . ($RADIOBIN_RESULTS{$rc} // 'unknown result') . ')'
            . (@reasons ? ': ' . join('; ', @reasons) . ($shared ? ' (radiobin.log)' : '')
                : ", see $run->{logdir}/radiobin.log") . "\n";
    }
    my $name = basename($pif);
    push @{ $r->{files} }, { tmp => $name, name => $name };
    $r->{lines} += count_lines($pif);
    $r->{status} = 'ok';
}

# Loads the block layout once, before the workers start, so that they inherit it and a
# broken layout stops the run at once instead of failing every Alcatel file. Dies with the
# reason it did not load.
sub load_block_layout {
    my ($run) = @_;
    my $alcatel = $run->{config}{alcatel};
    load_module($run, 'radiobin') or die "the Alcatel module radiobin cannot be loaded: $run->{load_error}{radiobin}\n";
    my $log = "$run->{logdir}/radiobin.log";
    my $from = -s $log // 0;
    radiobin::logopen($log, $alcatel->{logLevel});
    if (radiobin::config_initialise(@$alcatel{qw(blockLayout minRelease maxRelease)}) != 0) {
        my @reasons = log_messages($log, $from, 1);
        die "configuration $run->{opt}{config}: the block-layout file $alcatel->{blockLayout} was not loaded"
            . (@reasons ? ': ' . join('; ', @reasons) : '') . " (see $log)\n";
    }
}

1;
