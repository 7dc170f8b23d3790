# The output forms besides PIF for inputs of every kind, line protocol's escaping, times and
# values as the forms write them, standard input and output in a pipe, GNU parallel.
use strict;
use warnings;
use File::Copy qw(copy);
use JSON::PP qw(decode_json);
use Test::More;
use PmBuild ();
use PmTest qw(cases pm2pif sample spew slurp work_dir build_dir source_dir);
use Pm2pif::Format qw(epoch_of seconds_of csv_line json_value);

BEGIN { $ENV{TZ} = 'UTC' }

# The inputs are named relative to the run's directory: the forms carry the name as given.
my %KINDS = (xml => [ 'xml/boda_A2.xml', 'xml/onapPM_A20181002.0000-1000-0015-1000_5G.xml' ],
    mdc => [ 'xml/mdc-bsc.xml' ], ber => [ 'ber/meas-rnc.ber' ], alcatel => [ 'alcatel/PMRES011.01a.3.' ]);
# Blanks, commas, equals signs, quotes and a backslash in names and values.
my $dir = work_dir('blocks.cfg' => \'alcatel/blocks.cfg', 'c.json' => { alcatel => { blockLayout => 'blocks.cfg', omcName => 'OMC1' } },
    'esc.xml' => slurp(source_dir() . '/bin/t/expected/escapes.xml'), map { ($_ => \$_) } map {@$_} values %KINDS);
my $expected = source_dir() . '/bin/t/expected/formats';
sub files_of { my ($d, $re) = @_; opendir my $dh, $d or die "$d: $!"; map {"$d/$_"} sort grep {/$re/} readdir $dh }
sub contents { +{ map { s{.*/}{}r => slurp($_) } files_of($_[0], qr/\.(?:csv|jsonl|json|lp)\z/) } }

# Checked when written: every counter value of the inputs' PIF files, in each form's grammar.
subtest 'every form for every kind, as checked' => sub {
    for my $kind (sort keys %KINDS) {
        for my $form (qw(csv influx json jsonl ves)) {
            my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '--format', $form, '-o', "$form-$kind", @{ $KINDS{$kind} });
            if ($ENV{PM_WRITE_EXPECTED}) {    # renews the files after a change meant to alter them
                mkdir "$expected/$kind-$form";
                unlink files_of("$expected/$kind-$form", qr/\A[^.]/);
                copy($_, "$expected/$kind-$form/") for files_of("$dir/$form-$kind", qr/\.(?:csv|jsonl|json|lp)\z/);
            }
            is_deeply(contents("$dir/$form-$kind"), contents("$expected/$kind-$form"), "$kind as $form") or diag $run->{err};
        }
    }
};

subtest 'times and values as the forms write them' => sub {
    for (cases('bin/t/expected/times.txt')) {
        my ($epoch, @text) = @$_;
        is(epoch_of(@text), length $epoch ? $epoch : undef, "epoch of (@text)");
    }
    is_deeply([ map { seconds_of($_) } qw(900 PT900S PT15M PT1H P1DT1S PT0.5S 15m) ], [ 900, 900, 900, 3600, 86401, 0.5, undef ],
        'granularity: seconds or an ISO 8601 duration');
    is(csv_line('a', 'b,c', 'say "x"', "l\n2", undef), qq{a,"b,c","say ""x""","l\n2",\r\n}, 'CSV quoting');
    is_deeply([ map { json_value($_) } '12', '-1.5e3', '86,87,2', 'a,1', '', '007' ], [ 12, -1500, [ 86, 87, 2 ], 'a,1', undef, '007' ],
        'JSON values: numbers, lists of numbers, texts, null');
};

subtest 'line protocol escapes blanks, commas and equals signs; VES and JSON name the object' => sub {
    my $run = pm2pif({ cwd => $dir }, '-o', '-', '--format', 'influx', 'esc.xml');
    is($run->{out}, 'RncFunction_UtranCell,measObjLdn_RncFunction=R\ 1,measObjLdn_UtranCell=x\ y,ne=RNC\ a\=1\,b\ 2\\\\'
        . ' c\ 1=5,c2="a \"b\" c" 1796465700000000000' . "\n", 'one line, escaped') or diag $run->{err};
    pm2pif({ cwd => $dir }, '-o', 'ves', '--format', 'ves', 'esc.xml');
    my ($event) = map { decode_json(slurp($_)) } files_of("$dir/ves", qr/\.json\z/);
    my $info = $event->{event}{perf3gppFields}{measDataCollection}{measInfoList}[0];
    is_deeply([ $info->{measInfoId}{sMeasInfoId}, $info->{measValuesList}[0]{measObjInstId} ],
        [ 'm 1', 'RncFunction=R 1,UtranCell=x y' ], 'VES: the block\'s id and the object\'s name');
    $run = pm2pif({ cwd => $dir }, '--json', 'esc.xml');
    is(decode_json($run->{out})->[0]{counters}{c2}, 'a "b" c', '--json: texts without added quotes');
};

subtest 'standard input and output in a pipe' => sub {
    my $file = pm2pif({ cwd => $dir }, '-o', '-', '--format', 'influx', sample('ber/meas-utran.ber'));
    my $pipe = pm2pif({ cwd => $dir, stdin => sample('ber/meas-utran.ber.gz') }, '-o', '-', '--format', 'influx', '-');
    is($pipe->{status}, 0, 'compressed BER from standard input') or diag $pipe->{err};
    ok($file->{out} ne '' && $pipe->{out} eq $file->{out}, '  the lines the file gives');
    my $csv = pm2pif({ cwd => $dir }, '-o', '-', '--format', 'csv', sample('xml/mdc-bsc.xml'));
    is($csv->{status}, 1, 'CSV of two blocks on standard output fails');
    like($csv->{err}, qr/CSV on standard output takes one block, and this input would make 2: give an output directory/,
        '  saying why');
};

SKIP: {
    skip 'GNU parallel (Debian package parallel) is not installed', 1
        unless grep { -x "$_/parallel" } split /:/, $ENV{PATH};
    # parallel is a Perl program too, and it exits at once under the thread sanitizer's preload.
    skip 'GNU parallel does not run with the thread sanitizer preloaded', 1 if ($ENV{PM_SANITIZED} // '') eq 'thread';
    subtest 'spread with GNU parallel, the names of two shares do not collide' => sub {
        spew("$dir/hosts", ":\n:\n");
        spew("$dir/list", join '', map {"$_\n"} sample('xml/boda_A2.xml'), sample('xml/mdc-bsc.xml'),
            sample('ber/meas-rnc.ber'), sample('alcatel/PMRES011.01a.3.'), sample('ber/meas-utran.ber'));
        my $pm2pif = "$^X -I" . build_dir() . '/perl/lib ' . source_dir() . '/bin/pm2pif';
        # The README's command, with a share of 2 files per call.
        system("cd $dir && parallel --will-cite --sshloginfile hosts -n 2 $pm2pif -q -j 4 -c $dir/c.json --format jsonl"
            . " -o $dir/spread < list") == 0 or return fail('parallel ran');
        pm2pif({ cwd => $dir }, '-q', '-c', 'c.json', '--format', 'jsonl', '-o', 'one', split /\n/, slurp("$dir/list"));
        my ($spread, $once) = map { contents("$dir/$_") } qw(spread one);
        is(scalar keys %$spread, 5, 'a file per input');
        is_deeply($spread, $once, 'the names and contents of one run');
    };
}

done_testing;
