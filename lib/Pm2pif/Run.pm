package Pm2pif::Run;
# The run: its record, the worker processes, moving results into place in input order,
# messages, progress and the summary. Everything a run changes lives in its record.
use strict;
use warnings;
use Exporter 'import';
use Fcntl qw(:flock);
use File::Path qw(remove_tree);
use IO::Handle;
use IO::Select;
use JSON::PP ();
use POSIX ();
use Pm2pif::Convert qw(convert_task);
use Pm2pif::Format qw(format_spec);
use Pm2pif::Util qw(kind_name plural);

our $VERSION = '1.00';
our @EXPORT_OK = qw(WORK_LOCK new_run run_all remove_left_work abandon_run message clear_progress show_progress commit_result
    close_stdout summary);

# The lock file of a work directory, held while its run or any of its workers lives.
use constant WORK_LOCK => 'lock';
my $LOCKLESS_DAYS = 1 / (24 * 60);

# A run's record: what the caller gives (opt, config, inputs, outdir, logdir, work_root,
# work_lock) and what the run changes: committing (an input's files are being moved into
# place), pending_signal (the exit status of a signal that came meanwhile), loaded and
# load_error (module name => 1 once loaded, 0 with the reason), workers (result handle as
# text => worker) and select, stats, by_kind (inputs converted per kind), written (final
# output name => input that wrote it), stdout_blocks (files printed on standard output),
# progress_shown.
sub new_run {
    my (%fields) = @_;
    return {
        committing => 0, loaded => {}, load_error => {}, workers => {}, select => IO::Select->new,
        stats => { converted => 0, failed => 0, skipped => 0, files => 0, lines => 0, bytes => 0 },
        by_kind => {}, written => {}, stdout_blocks => 0, progress_shown => 0, %fields,
    };
}

# Starts a worker process for the run; the worker or undef when none could be started.

sub spawn_worker {
    my ($run) = @_;
    pipe(my $task_r, my $task_w) or return;
    pipe(my $result_r, my $result_w) or return;
    STDOUT->flush;
    STDERR->flush;
    my $pid = fork;
    return unless defined $pid;
    if ($pid == 0) {
        $SIG{$_} = 'DEFAULT' for qw(INT TERM HUP PIPE);
        # The other workers' pipes must close with their owners, or a dead worker's
        # pipe would never report its end.
        for my $w (values %{ $run->{workers} }) { close $w->{task_w}; close $w->{result_r} }
        # A worker left behind by a killed run must not keep its work directory locked.
        close $run->{work_lock} if $run->{work_lock};
        close $task_w;
        close $result_r;
        # The parent's exit handlers (the work directory's removal) are not the worker's.
        eval { worker_main($run, $task_r, $result_w); 1 } or print STDERR "pm2pif: worker $$: $@";
        POSIX::_exit(0);
    }
    close $task_r;
    close $result_w;
    my $w = { pid => $pid, task_w => $task_w, result_r => $result_r, buf => '', busy => undef };
    $run->{workers}{"$result_r"} = $w;
    $run->{select}->add($result_r);
    return $w;
}

# A worker's life: reads input numbers, converts them, writes back their result records
# as JSON lines, until its task pipe closes or a result asks for a fresh process.
sub worker_main {
    my ($run, $task_r, $result_w) = @_;
    my $json_line = JSON::PP->new->utf8->canonical;
    # Standard output belongs to --json; what a module prints there goes with the messages.
    open STDOUT, '>&', \*STDERR or die "cannot redirect standard output: $!\n";
    chdir $run->{work_root} or die "cannot change into $run->{work_root}: $!\n";
    radiobin::logopen("$run->{logdir}/radiobin.log", $run->{config}{alcatel}{logLevel}) if $run->{loaded}{radiobin};
    my $buf = '';
    while (1) {
        while ($buf !~ /\n/) {
            my $n = sysread $task_r, $buf, 4096, length $buf;
            return unless $n;
        }
        $buf =~ s/\A(\d+)\n// or return;
        my $r = convert_task($run, $1);
        my $line = $json_line->encode($r) . "\n";
        while (length $line) {
            my $n = syswrite $result_w, $line;
            return unless $n;
            substr($line, 0, $n) = '';
        }
        return if $r->{restart};
    }
}

# Runs every input through the workers; calls $commit->(result) in input order.
sub run_all {
    my ($run, $count, $commit) = @_;
    my $json_line = JSON::PP->new->utf8->canonical;
    my ($next, $committed, %results) = (0, 0);
    my $jobs = $run->{opt}{jobs} < $count ? $run->{opt}{jobs} : $count;
    spawn_worker($run) for 1 .. $jobs;
    while ($committed < $count) {
        for my $w (values %{ $run->{workers} }) {
            next if defined $w->{busy} || $w->{retiring} || $next >= $count;
            $w->{busy} = $next;
            syswrite $w->{task_w}, "$next\n";
            $next++;
        }
        if (!%{ $run->{workers} }) {
            # No process could be started: what is left cannot be converted.
            my $error = "cannot start a worker process: $!";
            while ($next < $count) {
                $results{$next} = { index => $next, status => 'failed', message => $error };
                $next++;
            }
        } else {
            for my $fh ($run->{select}->can_read) {
                my $w = $run->{workers}{"$fh"};
                my $n = sysread $fh, $w->{buf}, 65536, length $w->{buf};
                while ($w->{buf} =~ s/\A([^\n]*)\n//) {
                    my $r = octets($json_line->decode($1));
                    $results{ $r->{index} } = $r;
                    $w->{busy} = undef;
                    # It leaves after this result; its end is no crash.
                    $w->{retiring} = 1 if $r->{restart};
                }
                next if $n;
                # The worker ended: after a result that asked for a fresh process, or
                # while converting (a crash takes only the file it had).
                $run->{select}->remove($fh);
                delete $run->{workers}{"$fh"};
                close $w->{task_w};
                close $fh;
                waitpid $w->{pid}, 0;
                my $status = $?;
                if (defined $w->{busy}) {
                    $results{ $w->{busy} } = { index => $w->{busy}, status => 'failed', message =>
                        'the converting process ended abruptly (' . describe_status($status) . ')' };
                }
                spawn_worker($run) if $next < $count;
            }
        }
        $commit->(delete $results{ $committed++ }) while $committed < $count && exists $results{$committed};
    }
    stop_workers($run);
}

# The texts of a decoded result as octets again. File names are octets: a text that
# JSON decoding left in Perl's wide form would reach the system as its UTF-8 form, a
# name that does not exist.
sub octets {
    my ($value) = @_;
    if (ref $value eq 'HASH') { $_ = octets($_) for values %$value }
    elsif (ref $value eq 'ARRAY') { $_ = octets($_) for @$value }
    elsif (defined $value && !ref $value) { utf8::downgrade($value, 1) }
    return $value;
}

# Removes the work directories that ended runs left in the output directory (killed
# ones): those whose lock no process holds. A directory without a lock file is one that a
# run has only just made, unless it is older than a minute.
sub remove_left_work {
    my ($dir, $own) = @_;
    opendir my $dh, $dir or return;
    for my $name (grep { /\A\.pm2pif-\w{6}\z/ } readdir $dh) {
        my $path = "$dir/$name";
        next if $path eq $own || -l $path || !-d _;
        if (open my $lock, '<', "$path/" . WORK_LOCK) {
            next unless flock $lock, LOCK_EX | LOCK_NB;
        } else {
            next unless -M $path > $LOCKLESS_DAYS;
        }
        remove_tree($path, { safe => 1 });
    }
}

# Ends the run at once: the workers first, so that the work directory is not removed under
# them, then through exit, which removes it.
sub abandon_run {
    my ($run, $status) = @_;
    kill 'TERM', map { $_->{pid} } values %{ $run->{workers} };
    waitpid $_->{pid}, 0 for values %{ $run->{workers} };
    clear_progress($run);
    exit $status;
}

# Waits for the workers once their task pipes are closed.
sub stop_workers {
    my ($run) = @_;
    for my $w (values %{ $run->{workers} }) {
        close $w->{task_w};
        close $w->{result_r};
    }
    waitpid $_->{pid}, 0 for values %{ $run->{workers} };
    %{ $run->{workers} } = ();
}

# How a process ended, in words.
sub describe_status {
    my ($status) = @_;
    return 'signal ' . ($status & 127) if $status & 127;
    return 'exit status ' . ($status >> 8);
}


# Prints a message on standard error, over the progress line.
sub message {
    my ($run, $text) = @_;
    clear_progress($run);
    print STDERR "pm2pif: $text\n";
}

sub clear_progress {
    my ($run) = @_;
    return unless $run->{progress_shown};
    print STDERR "\r\e[K";
    $run->{progress_shown} = 0;
}

# The progress line, while standard error is a terminal.
sub show_progress {
    my ($run, $done, $total, $shown) = @_;
    return if $run->{opt}{quiet} || !-t STDERR;
    my $line = sprintf 'pm2pif: [%d/%d] %d converted, %d failed  %s', $done, $total,
        $run->{stats}{converted}, $run->{stats}{failed}, $shown;
    my $width = ($ENV{COLUMNS} // 80) - 1;
    $line = substr($line, 0, $width) if length $line > $width;
    print STDERR "\r\e[K$line";
    $run->{progress_shown} = 1;
}

# Moves a finished input's files into the output directory (all or none), prints its
# messages and counts it.
sub commit_result {
    my ($run, $r) = @_;
    my $in = $run->{inputs}[ $r->{index} ];
    my $dir = defined $run->{work_root} ? "$run->{work_root}/$r->{index}" : undef;
    if ($r->{status} eq 'ok') {
        if ($run->{opt}{output} eq '-') {
            my @paths = $run->{opt}{'raw-json'} ? ("$dir/data.json") : map {"$dir/pif/$_->{tmp}"} @{ $r->{files} };
            if ($run->{opt}{format} eq 'csv' && $run->{stdout_blocks} + @paths > 1) {
                # A second header line would be read as a row.
                @$r{qw(status message)} = ('failed', 'CSV on standard output takes one block, and this input would make '
                    . ($run->{stdout_blocks} ? 'more' : scalar @paths) . ': give an output directory (-o DIR)');
            } elsif (my @unprinted = grep { !copy_to_stdout($_) } @paths) {
                # Whoever read standard output has stopped reading (pm2pif -o - | head).
                abandon_run($run, 128 + 13) if $!{EPIPE};
                @$r{qw(status message)} = ('failed', "cannot print the @{[ format_spec($run->{opt}{format})->[3] ]} text: $!");
            } else {
                $run->{stdout_blocks} += @paths;
                $run->{stats}{lines} += $r->{lines};
            }
        } else {
            move_into_place($run, $r, $in, $dir);
        }
    }
    remove_tree($dir) if defined $dir && -e $dir;

    if ($r->{status} eq 'ok') {
        $run->{stats}{converted}++;
        $run->{by_kind}{ $r->{kind} }++;
        $run->{stats}{bytes} += $r->{bytes} // 0;
        message($run, "$in->{shown}: " . kind_name($r->{kind}) . ', '
            . plural(scalar @{ $r->{files} }, "@{[ format_spec($run->{opt}{format})->[3] ]} file"))
            if $run->{opt}{verbose};
    } elsif ($r->{status} eq 'skipped') {
        $run->{stats}{skipped}++;
        message($run, "$in->{shown}: skipped: $r->{message}") if $run->{opt}{verbose};
    } else {
        $run->{stats}{failed}++;
        message($run, "$in->{shown}: $r->{message}");
    }
    unless ($run->{opt}{quiet}) {
        message($run, "$in->{shown}: warning: $_") for @{ $r->{warnings} // [] };
    }
}

# Moves an input's files into the output directory, all or none; on failure marks the
# result failed with the reason and leaves no file of it behind.
sub move_into_place {
    my ($run, $r, $in, $dir) = @_;
    my @moves;
    my $number = 0;
    for my $f (@{ $r->{files} }) {
        my $name = !defined $f->{prefix} ? $f->{name}
            : "$f->{prefix}$r->{digest}.$number" . (defined $f->{ext} ? ".$f->{ext}" : '-#-I.pif');
        $number++;
        if (defined $run->{written}{$name}) {
            @$r{qw(status message)} = ('failed', "its output $name was already written for $run->{written}{$name} in this run");
            return;
        }
        # A name with the input's mark is this input's own: a file of that name comes from
        # an earlier run over it and is replaced. Any other name may be another input's.
        push @moves, { from => "$dir/pif/$f->{tmp}", to => "$run->{outdir}/$name", name => $name,
                       replace => defined $f->{prefix} };
    }
    my @done;
    my $undo = sub {
        my ($error) = @_;
        unlink $_->{to} for grep { $_->{made} } @done;
        @$r{qw(status message)} = ('failed', $error);
    };
    for my $move (@moves) {
        if ($move->{replace}) {
            rename $move->{from}, $move->{to} or return $undo->("cannot move $move->{name} into $run->{outdir}: $!");
            # Replaced, not made: an earlier run's file is gone either way.
            $move->{made} = 1;
        } elsif (link $move->{from}, $move->{to}) {
            $move->{made} = 1;
        } elsif ($!{EEXIST}) {
            return $undo->("its output $move->{name} is in $run->{outdir} already, with other content: a duplicate of an"
                . ' earlier input (remove that file to convert this one)')
                unless same_content($move->{from}, $move->{to});
        } else {
            return $undo->("cannot move $move->{name} into $run->{outdir}: $!");
        }
        push @done, $move;
    }
    $run->{written}{ $_->{name} } = $in->{shown} for @moves;
    $run->{stats}{files} += @moves;
    $run->{stats}{lines} += $r->{lines};
}

# Whether two files hold the same octets.
sub same_content {
    my ($a, $b) = @_;
    open my $fa, '<:raw', $a or return 0;
    open my $fb, '<:raw', $b or return 0;
    return 0 unless -s $fa == -s $fb;
    while (1) {
        my $na = read $fa, my $ca, 1 << 16;
        my $nb = read $fb, my $cb, 1 << 16;
        return 0 unless defined $na && defined $nb && $ca eq $cb;
        return 1 if $na == 0;
    }
}

# Prints a file on standard output; false when it did not arrive, with $! set.
sub copy_to_stdout {
    my ($path) = @_;
    open my $fh, '<:raw', $path or return 0;
    local $/ = \(1 << 20);
    while (my $chunk = <$fh>) { print STDOUT $chunk or return 0 }
    # A full disk or a closed reader shows only when the buffer is written: this text is
    # the one that did not arrive.
    return STDOUT->flush ? 1 : 0;
}

# Closes standard output; dies with the reason when what was printed did not arrive.
sub close_stdout {
    close STDOUT or die "cannot write standard output: $!\n";
}

# The summary line: inputs by outcome and kind, what was written, the throughput.
sub summary {
    my ($run, $seconds) = @_;
    my @kinds = map { "$run->{by_kind}{$_} " . kind_name($_) } grep { $run->{by_kind}{$_} } qw(xml ber alcatel);
    my $form = format_spec($run->{opt}{format})->[3];
    my $output = $run->{opt}{'raw-json'} ? 'shown as JSON'
        : $run->{opt}{output} eq '-' ? sprintf('%s of %s on standard output', plural($run->{stats}{lines}, 'line'), $form)
        : sprintf '%s, %s written to %s', plural($run->{stats}{files}, "$form file"), plural($run->{stats}{lines}, 'line'), $run->{opt}{output};
    my $mb = $run->{stats}{bytes} / 1e6;
    message($run, sprintf '%s converted%s, %d failed, %d skipped; %s; %.2f MB in %.2f s (%.2f MB/s)',
        plural($run->{stats}{converted}, 'file'), (@kinds ? ' (' . join(', ', @kinds) . ')' : ''),
        $run->{stats}{failed}, $run->{stats}{skipped}, $output, $mb, $seconds, $seconds > 0 ? $mb / $seconds : 0);
}

1;
