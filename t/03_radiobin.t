# radiobin over broken input: the block-layout file and the sample cut at every tenth
# octet and with bits flipped, lengths and counts that claim more than the file holds,
# megabyte-long lines, names and paths, junk, and paths that hold nothing readable. Every
# call returns one of its documented codes with the reason in the log, without crashing
# or hanging, keeps no file open, and leaves every PIF file it writes well formed: a
# failed conversion keeps what it converted, each section closed.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use BrokenInput qw(cuts flips junk read_file write_file scratch odd_paths guarded source_dir check_leaks_at_exit
    open_descriptors);
BEGIN { check_leaks_at_exit() }

use lib source_dir() . '/radiobin/t/lib';
use AlcatelFile qw(alcatel_file block block_len byte le16);
use Test::More;

use radiobin;

my $dir = scratch();
my $samples = source_dir() . '/samples/alcatel';
my $layout = "$samples/blocks.cfg";
my $sample = "$samples/PMRES011.01a.3.";
my $log = "$dir/radiobin.log";
my $n = 0;

# Log lines written by the code, as "level:message".
sub logged {
    my ($code) = @_;
    unlink $log;
    radiobin::logopen($log, 5);
    my @result = guarded($code);
    my @lines = -f $log ? map { /^\[\d+\] .{24} 5:(\d+) (.*)/ ? "$1:$2" : () } split /\n/, read_file($log) : ();
    return (\@lines, @result);
}

sub load { radiobin::config_initialise($_[0], 0, 9) }

# What is wrong with the form of a PIF file, or nothing: a failed conversion too leaves its
# header section and every section it began closed, for the result code alone to tell.
sub pif_fault {
    my ($pif) = @_;
    return 'does not end with a line feed' if length $pif && $pif !~ /\n\z/;
    my @lines = split /\n/, $pif;
    return 'has no whole header section'
        unless @lines >= 5 && $lines[1] eq '##START|HEADER' && $lines[4] eq '##END|HEADER'
            && ($lines[2] =~ tr/|//) == ($lines[3] =~ tr/|//);
    my $open;
    for my $line (@lines[5 .. $#lines]) {
        if ($line =~ /^##START\|(.*)/) {
            return "begins $1 inside $open" if defined $open;
            $open = $1;
        } elsif ($line =~ /^##END\|(.*)/) {
            return "ends $1, which is not open" unless defined $open && $open eq $1;
            undef $open;
        } elsif (!defined $open) {
            return 'has a line outside any section';
        }
    }
    return defined $open ? "leaves $open open" : '';
}

# One conversion of the file at $path: returns a list of complaints.
sub convert_complaints {
    my ($path, %arg) = @_;
    my $out = $arg{out} // "$dir/out" . ++$n;
    mkdir $out unless defined $arg{out};
    my ($lines, $rc, $second) = logged(sub {
        radiobin::process_file($path, $out, $arg{omc} // 'OMC1', $arg{network} // 'NET1', $arg{region} // 'REG1')
    });
    my @c;
    push @c, "code $rc" unless grep { $rc eq $_ } 0, -1, -2, 3;
    push @c, 'converted' if $arg{fails} && $rc == 0;
    # Failures are said at level 1 or 2; a release out of range at 4.
    push @c, 'failed without a logged reason' if $rc != 0 && !grep { /^[124]:/ } @$lines;
    if (defined $second && $second ne $rc) {
        push @c, "second value $second is no path in $out" unless index($second, "$out/") == 0;
        if (-f $second) {
            my $fault = pif_fault(read_file($second));
            push @c, "the PIF file left behind $fault" if $fault;
            unlink $second;
        }
    } elsif (!defined $second) {
        push @c, 'no second value';
    }
    rmdir $out unless defined $arg{out};
    return @c;
}

# Runs the variants of the file, returns how many had complaints (the first few are shown).
sub run_variants {
    my ($variants, %expect) = @_;
    my $bad = 0;
    for my $v (@$variants) {
        my ($label, $octets) = @$v;
        # The BSS number comes from the name, so every variant keeps the sample's name.
        my $variant = "$dir/variant" . ++$n;
        mkdir $variant or die "$variant: $!\n";
        my $path = write_file("$variant/PMRES011.01a.3.", $octets);
        my @c = convert_complaints($path, %expect);
        next unless @c;
        diag "$label: @c" if ++$bad <= 3;
    }
    return $bad;
}

my $descriptors = open_descriptors();

subtest 'block-layout files' => sub {
    my $text = read_file($layout);
    my ($bad, $loaded) = (0, 0);
    my $long_name = 'BLOCK 110 COUNTER := "' . ('c' x 0x100000) . "\" OFFSET := 0 SIZE := 1 END\n";
    for my $v (cuts($text), flips($text, 80, 21), ['junk', junk(65536, 5)],
               ['a megabyte-long counter name', $long_name], ['a megabyte-long comment', '#' . ('x' x 0x100000)],
               ['a megabyte-long line of clauses', 'BLOCK 110 ' . ('AND ' x 0x40000) . "END\n"]) {
        my ($label, $octets) = @$v;
        my $path = write_file("$dir/layout" . ++$n, $octets);
        my ($lines, $rc) = logged(sub { load($path) });
        $loaded++ if $rc == 0;
        my @c;
        push @c, "code $rc" unless $rc == 0 || $rc == 2;
        push @c, 'refused without a logged reason' if $rc == 2 && !grep { /^1:ERROR/ } @$lines;
        # Whatever was loaded must serve a conversion without harm.
        push @c, convert_complaints($sample) if $rc == 0;
        next unless @c;
        diag "$label: @c" if ++$bad <= 3;
    }
    is($bad, 0, 'every layout loads (0) or is refused (2) with a reason, and a loaded one converts');
    cmp_ok($loaded, '>', 0, 'some of them load');
    for my $case (odd_paths(), ['no name', ''], ['a megabyte-long name', "$dir/" . ('n' x 0x100000)]) {
        my ($label, $path) = @$case;
        my ($lines, $rc) = logged(sub { load($path) });
        ok($rc == 2 && grep({ /^1:ERROR/ } @$lines), "$label: refused with a reason");
    }
};

is(load($layout), 0, 'the sample layout loads');

subtest 'the sample cut and flipped' => sub {
    my $octets = read_file($sample);
    is(convert_complaints($sample), 0, 'the intact sample converts');
    is(run_variants([cuts($octets)], fails => 1), 0, 'every cut fails with a reason');
    is(run_variants([flips($octets, 120, 31)]), 0, 'every flipped copy converts or fails with a reason');
};

subtest 'lengths and counts that claim too much' => sub {
    my $cells = [ block(110, byte(1), le16(2), pack 'a16', 'X') ];
    my %file = (layout => 76, release => 5, meas_type => 11);
    my @variants = (
        ['a block longer than its record', alcatel_file(%file, records => [ [ block_len(110, 32767, byte(1)) ] ])],
        ['a negative block length', alcatel_file(%file, records => [ [ block_len(110, -1, byte(1)) ] ])],
        ['a record count of 65535', alcatel_file(%file, records => [$cells], num_records => 65535)],
        ['a file size of 4 GiB', alcatel_file(%file, records => [$cells], file_size => 0xFFFFFFFF)],
        ['a file size of 0', alcatel_file(%file, records => [$cells], file_size => 0)],
        ['a record count of 0', alcatel_file(%file, records => [$cells], num_records => 0)],
        ['records shorter than their header', alcatel_file(%file, records => [$cells], record_size => 80,
                                                           num_records => 40, file_size => 160)],
        ['junk', junk(65536, 9)],
        ['junk after a valid header', substr(read_file($sample), 0, 76) . junk(76 * 3, 13)],
    );
    is(run_variants(\@variants), 0, 'each converts or fails with a reason');
};

subtest 'paths, names and directories' => sub {
    for my $case (odd_paths()) {
        my ($label, $path) = @$case;
        is_deeply([convert_complaints($path, fails => 1)], [], "$label: fails with a reason");
    }
    my $long = 'x' x 0x100000;
    is_deeply([convert_complaints("$dir/$long", fails => 1)], [], 'a megabyte-long input name');
    is_deeply([convert_complaints($sample, out => "$dir/no/such", fails => 1)], [], 'an output directory that does not exist');
    is_deeply([convert_complaints($sample, out => write_file("$dir/plain", ''), fails => 1)], [],
              'an output directory that is a file');
    is_deeply([convert_complaints($sample, out => "$dir/$long", fails => 1)], [], 'a megabyte-long output directory');
    is_deeply([convert_complaints($sample, omc => $long, fails => 1)], [], 'a megabyte-long OMC name: no such file name');
    is_deeply([convert_complaints($sample, network => $long, region => $long)], [],
              'megabyte-long network and region: converted, they are header values');
};

subtest 'the log' => sub {
    radiobin::logopen($dir, 5);
    is((radiobin::process_file($sample, $dir, 'OMC1', 'NET1', 'REG1'))[0], 0, 'a directory as the log: lines are lost, the conversion is not');
    my @warned;
    {
        local $SIG{__WARN__} = sub { push @warned, @_ };
        radiobin::logopen("$dir/" . ('l' x 0x100000), 5);
    }
    like("@warned", qr/^radiobin::logopen: the log file name \(1048\d+ characters\) is longer than a path may be/,
         'a megabyte-long log name: logopen warns');
    is((radiobin::process_file($sample, $dir, 'OMC1', 'NET1', 'REG1'))[0], 0, '... and the conversion goes on');
    is(radiobin::constant('x' x 0x100000, 1), 0, 'constant takes anything');
};

is(open_descriptors(), $descriptors, 'no file left open');

done_testing;
