package Pm2pif::Modules;
# Loading the converting modules once per process, and their log files: forwarding what
# a module logged for one input, and reading its reasons back.
use strict;
use warnings;
use Exporter 'import';
use Pm2pif::Config qw(ber_config_hash);
use Pm2pif::Util qw(one_line short_error);

our $VERSION = '1.00';
our @EXPORT_OK = qw(load_module forward_log log_messages);

# Loads a converting module once per process, and configures BerMeas once loaded.
# Returns false when it cannot be loaded, with the reason in the run's load_error.
sub load_module {
    my ($run, $name) = @_;
    unless (exists $run->{loaded}{$name}) {
        $run->{loaded}{$name} = eval "require $name; 1" ? 1 : 0;
        ($run->{load_error}{$name} = $@ // '') =~ s/\n.*//s;
        $run->{load_error}{$name} =~ s/ \(\@INC contains:.*//s;
        $run->{load_error}{$name} = short_error($run->{load_error}{$name});
        if ($run->{loaded}{$name} && $name eq 'BerMeas') {
            BerMeas::set_config(ber_config_hash($run->{config}{ber}));
        }
    }
    return $run->{loaded}{$name};
}

# Appends what a module logged for one input to the module's log in the log directory,
# in one write so that processes do not interleave their lines. Returns false, with a
# warning for the input, when that log cannot take it.
sub forward_log {
    my ($run, $from, $name, $r) = @_;
    open my $in, '<:raw', $from or return 1;
    my $text = do { local $/; <$in> } // '';
    close $in;
    return 1 if $text eq '';
    my $ok = open my $out, '>>:raw', "$run->{logdir}/$name";
    $ok &&= (syswrite($out, $text) // -1) == length $text;
    $ok &&= close $out;
    push @{ $r->{warnings} }, "cannot write $run->{logdir}/$name: $!; what the module logged for this file is lost"
        unless $ok;
    return $ok;
}

# The messages this process wrote to a module log from octet $from on, up to $level.
# Lines read "[pid] ctime conflevel:level message"; a message may span lines.
sub log_messages {
    my ($log, $from, $level) = @_;
    open my $fh, '<:raw', $log or return;
    seek $fh, $from, 0;
    my $text = do { local $/; <$fh> } // '';
    my @parts = split /^\[(\d+)\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} \d+:(\d+) /m, $text;
    shift @parts;
    my @messages;
    while (my ($pid, $lvl, $msg) = splice @parts, 0, 3) {
        push @messages, one_line($msg) if $pid == $$ && $lvl <= $level && $msg =~ /\S/;
    }
    return @messages;
}

1;
