package Pm2pif;
# The command line of pm2pif: options, the output and work directories, signals, and the
# run over the inputs. bin/pm2pif calls main; its POD is the manual.
use strict;
use warnings;
use Exporter 'import';
use Cwd qw(getcwd realpath);
use Fcntl qw(:flock);
use File::Path qw(make_path);
use File::Spec;
use File::Temp qw(tempdir);
use Getopt::Long qw(GetOptionsFromArray);
use POSIX ();
use Time::HiRes qw(time);
use Pm2pif::Alcatel qw(load_block_layout);
use Pm2pif::Config qw(load_config);
use Pm2pif::Format qw(format_names format_spec);
use Pm2pif::Input qw(collect_inputs);
use Pm2pif::Run qw(WORK_LOCK abandon_run clear_progress close_stdout commit_result message new_run remove_left_work
    run_all show_progress summary);
use Pm2pif::Util qw(short_error);

our $VERSION = '1.00';
our @EXPORT_OK = qw(parse_options main);

my $NAME_MAX = 255;             # the longest file name most file systems take

# Prints the reason and the usage lines, and exits with status 2.
sub usage_error {
    my ($text) = @_;
    print STDERR "pm2pif: $text\n" if defined $text;
    print STDERR "Usage: pm2pif [OPTIONS] FILE|DIR...\nTry 'pm2pif --help' for more information.\n";
    exit 2;
}

# Prints the reason the run cannot go on, and exits with status 2.
sub fatal {
    print STDERR "pm2pif: $_[0]\n";
    exit 2;
}

# A directory made when missing; its absolute path. Stops the run when it cannot be made.
sub make_directory {
    my ($dir, $what) = @_;
    eval { make_path($dir); 1 } or fatal("cannot create the $what directory $dir: " . short_error($@));
    -d $dir or fatal("the $what directory $dir is not a directory");
    return File::Spec->rel2abs($dir);
}

# Standard input as an input: copied into the work directory, so that its kind is told
# and the modules read it as any file. Stops the run when it cannot be read.
sub read_stdin {
    my ($run) = @_;
    my $path = "$run->{work_root}/stdin";
    open my $out, '>:raw', $path or fatal("cannot write $path: $!");
    binmode STDIN;
    while (1) {
        my $n = sysread STDIN, my $chunk, 1 << 20;
        defined $n or fatal("cannot read standard input: $!");
        last unless $n;
        print {$out} $chunk or fatal("cannot write $path: $!");
    }
    close $out or fatal("cannot write $path: $!");
    return { path => $path, shown => '-', explicit => 1 };
}

# The options of a command line, checked, with their defaults; the arguments left are
# the inputs. Dies with the reason (an empty line when Getopt::Long has given it) when the
# command line is wrong.
sub parse_options {
    my ($args) = @_;
    my %opt = (jobs => 1);
    Getopt::Long::Configure(qw(bundling no_ignore_case no_auto_abbrev));
    GetOptionsFromArray($args, \%opt, 'output|o=s', 'config|c=s', 'kind|k=s', 'jobs|j=s', 'json', 'raw-json',
        'format|f=s', 'log-dir=s', 'max-decompressed=s', 'quiet|q', 'verbose|v', 'help|h', 'version')
        or die "\n";
    return \%opt if $opt{help} || $opt{version};
    my @args = @$args;
    die_usage('no input files') unless @args;
    die_usage('--json and --raw-json exclude each other') if $opt{json} && $opt{'raw-json'};
    die_usage("--json is --format json, and --format says $opt{format}")
        if $opt{json} && defined $opt{format} && $opt{format} ne 'json';
    # Both show on standard output unless told otherwise, as --json always did.
    $opt{output} //= '-' if $opt{json} || $opt{'raw-json'};
    $opt{format} //= $opt{json} || $opt{'raw-json'} ? 'json' : 'pif';
    $opt{output} //= 'out';
    die_usage("--format wants " . join(', ', format_names()) . ", not '$opt{format}'")
        unless format_spec($opt{format});
    die_usage("--raw-json prints on standard output: --output must be -, not '$opt{output}'")
        if $opt{'raw-json'} && $opt{output} ne '-';
    die_usage("--format $opt{format} writes "
        . (format_spec($opt{format})->[1] ? 'a file per block' : 'a document per input')
        . ', which standard output cannot keep apart: give an output directory')
        if $opt{output} eq '-' && !format_spec($opt{format})->[2];
    die_usage('standard input (-) can be read once') if (grep { $_ eq '-' } @args) > 1;
    die_usage("--jobs wants a number of processes from 1 on, not '$opt{jobs}'") unless $opt{jobs} =~ /\A[1-9]\d*\z/;
    die_usage("--kind wants xml, ber or alcatel, not '$opt{kind}'")
        if defined $opt{kind} && $opt{kind} !~ /\A(?:xml|ber|alcatel)\z/;
    die_usage('--output is empty') if $opt{output} eq '';
    if (defined $opt{'max-decompressed'}) {
        my ($n, $unit) = $opt{'max-decompressed'} =~ /\A(\d+)([KMG]?)\z/i
            or die_usage('--max-decompressed wants a size in octets (with K, M or G for 2^10, 2^20, 2^30), '
                . "not '$opt{'max-decompressed'}'");
        $opt{'max-decompressed'} = $n * { '' => 1, K => 1 << 10, M => 1 << 20, G => 1 << 30 }->{ uc $unit };
    }
    return \%opt;
}

# Stops the checks of the command line with the reason.
sub die_usage { die "$_[0]\n" }

# Runs pm2pif with the command line @args; returns the exit status, or exits with it
# when the run cannot start or a signal ends it.
sub main {
    my @args = @_;
    # Workers change into the log directory and load modules as files of their kind come:
    # a relative module path (PERL5LIB=build/perl/lib) must keep pointing where it did.
    # Without a name for the working directory every relative path would be read from
    # the root directory.
    defined getcwd() or fatal('the working directory has no path the system can give (deeper than '
        . POSIX::PATH_MAX . ' octets, or removed): start pm2pif from another directory');
    @INC = map { ref $_ ? $_ : File::Spec->rel2abs($_) } @INC;
    my $opt = eval { parse_options(\@args) } // usage_error($@ eq "\n" ? undef : $@ =~ s/\n\z//r);
    if ($opt->{help}) {
        require Pod::Usage;
        Pod::Usage::pod2usage(-verbose => 2, -exitval => 'NOEXIT', -noperldoc => 1, -output => \*STDOUT);
        eval { close_stdout(); 1 } or fatal(short_error($@));
        exit 0;
    }
    if ($opt->{version}) {
        print "pm2pif $Pm2pif::VERSION\n";
        eval { close_stdout(); 1 } or fatal(short_error($@));
        exit 0;
    }
    my $run = new_run(opt => $opt);
    $run->{config} = eval { load_config($run->{opt}{config}) };
    fatal("configuration $run->{opt}{config}: $@" =~ s/\n\z//r) unless $run->{config};

    my %skip;
    if ($run->{opt}{output} eq '-') {
        $run->{work_root} = tempdir('pm2pif-XXXXXX', TMPDIR => 1, CLEANUP => 1);
        # Without an output directory the modules' logs go with the work directory, unless
        # a log directory is given.
        $run->{logdir} = defined $run->{opt}{'log-dir'} ? make_directory($run->{opt}{'log-dir'}, 'log') : $run->{work_root};
    } else {
        $run->{outdir} = make_directory($run->{opt}{output}, 'output');
        # Room for the work directory's own levels and a file name of the longest kind.
        my $room = POSIX::PATH_MAX - 1 - length('/.pm2pif-XXXXXX/' . ('9' x 10) . '/pif/') - $NAME_MAX;
        fatal("the output directory's path is " . length($run->{outdir}) . " octets long: with its work directory and file"
            . " names, it must stay within " . POSIX::PATH_MAX . " octets; at most $room are left for it")
            if length $run->{outdir} > $room;
        $run->{logdir} = make_directory($run->{opt}{'log-dir'} // $run->{opt}{output}, 'log');
        # Finished files are renamed into the output directory, so they are made beside it.
        $run->{work_root} = eval { tempdir('.pm2pif-XXXXXX', DIR => $run->{outdir}, CLEANUP => 1) }
            // fatal("cannot write into the output directory $run->{opt}{output}: " . short_error($@));
        # The lock lives as long as this run or any of its workers, and tells later runs
        # that the work directory is not left over.
        # Locked before it is in place: a run starting meanwhile must never find it free.
        open $run->{work_lock}, '>', "$run->{work_root}/" . WORK_LOCK . '.new' or fatal("cannot write into $run->{work_root}: $!");
        flock $run->{work_lock}, LOCK_EX or fatal("cannot lock $run->{work_root}/" . WORK_LOCK . ".new: $!");
        rename "$run->{work_root}/" . WORK_LOCK . '.new', "$run->{work_root}/" . WORK_LOCK or fatal("cannot write into $run->{work_root}: $!");
        remove_left_work($run->{outdir}, $run->{work_root});
        $skip{ realpath($_) } = 1 for $run->{outdir}, $run->{logdir};
    }
    if (defined $run->{config}{alcatel}{blockLayout}) {
        eval { load_block_layout($run); 1 } or fatal(short_error($@));
    }
    $run->{inputs} = collect_inputs(\%skip, map { $_ eq '-' ? read_stdin($run) : $_ } @args);

    for my $signal (qw(INT TERM HUP)) {
        $SIG{$signal} = sub {
            my $status = 128 + { INT => 2, TERM => 15, HUP => 1 }->{$signal};
            # An input's files go into place all or none: the run ends once they are moved.
            $run->{committing} ? ($run->{pending_signal} //= $status) : abandon_run($run, $status);
        };
    }
    # A worker that has gone shows as the end of its result pipe, not as a signal.
    $SIG{PIPE} = 'IGNORE';
    binmode STDOUT, ':raw';
    my $started = time;
    my $done = 0;
    run_all($run, scalar @{ $run->{inputs} }, sub {
        {
            local $run->{committing} = 1;
            commit_result($run, $_[0]);
        }
        abandon_run($run, $run->{pending_signal}) if defined $run->{pending_signal};
        show_progress($run, ++$done, scalar @{ $run->{inputs} }, $run->{inputs}[ $_[0]{index} ]{shown});
    });
    clear_progress($run);
    my $printed = eval { close_stdout(); 1 };
    message($run, short_error($@)) unless $printed;
    summary($run, time - $started) unless $run->{opt}{quiet};
    return $run->{stats}{failed} || !$printed ? 1 : 0;
}

1;
