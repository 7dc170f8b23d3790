# The output forms besides PIF: for inputs of every kind each form carries the counter
# values of the PIF files of the same inputs and keeps its own grammar (CSV read back,
# line protocol with its escaping, VES events with the fields a listener requires); times
# and values as the forms write them (in-process, Pm2pif::Format); standard input and
# output in a pipe; the README's command spread with GNU parallel.
use strict;
use warnings;
use File::Copy qw(copy);
use JSON::PP qw(encode_json decode_json);
use Scalar::Util qw(looks_like_number);
use Test::More;
use PmBuild ();
use PmTest qw(pm2pif scratch sample spew slurp gzip_file build_dir source_dir);
use Pm2pif::Format qw(epoch_of seconds_of csv_line json_value);

BEGIN { $ENV{TZ} = 'UTC' }

my $dir = scratch();
copy(sample('alcatel/blocks.cfg'), "$dir/blocks.cfg") or die;
spew("$dir/c.json", encode_json({ alcatel => { blockLayout => 'blocks.cfg', omcName => 'OMC1' } }));

# Kind => inputs, and the period of their first row: begin, end, granularity.
my %KINDS = (
    xml     => [ [ sample('xml/boda_A2.xml'), sample('xml/onapPM_A20181002.0000-1000-0015-1000_5G.xml') ],
                 [ '2000-03-01T11:59:30Z', '2000-03-01T12:14:30Z', 900 ] ],
    mdc     => [ [ sample('xml/mdc-bsc.xml') ], [ '2026-12-05T10:00:00Z', '2026-12-05T10:15:00Z', 900 ] ],
    ber     => [ [ sample('ber/meas-rnc.ber') ], [ '2026-12-05T14:30:00Z', '2026-12-05T14:45:00Z', 900 ] ],
    alcatel => [ [ sample('alcatel/PMRES011.01a.3.') ], [ '2026-12-05T10:00:00Z', '2026-12-05T10:15:00Z', 900 ] ],
);
my $NOT_COUNTER = qr/\A(?:measObjLdn_.*|moid_.*|OBJ_ID|suspect|sf|suspectFlag)\z/s;

sub files_of { my ($d, $re) = @_; opendir my $dh, $d or die "$d: $!"; map {"$d/$_"} sort grep {/$re/} readdir $dh }
sub value { my ($v) = @_; $v = join ',', @$v if ref $v eq 'ARRAY'; looks_like_number($v) ? 0 + $v : $v }
sub plain { $_[0] =~ s/\A"(.*\s.*)"\z/$1/sr }

# The counter values of PIF files as sorted "name=value" texts, and the counter names.
sub pif_values {
    my (@values, %names);
    for my $text (map { slurp($_) } @_) {
        while ($text =~ /^##START\|(?!HEADER).*\n(.*)\n((?:(?!##END).*\n)*)/mg) {
            my ($head, $rows) = ($1, $2);
            my @columns = map { plain($_) } split /\|/, $head, -1;
            for my $row (split /\n/, $rows) {
                my @f = split /\|/, $row, -1;
                for my $c (grep { $columns[$_] !~ $NOT_COUNTER } 0 .. $#columns) {
                    $names{ $columns[$c] } = 1;
                    push @values, "$columns[$c]=" . value(plain($f[$c])) if $f[$c] ne '';
                }
            }
        }
    }
    return ([ sort @values ], \%names);
}

my $KEY   = qr/(?:\\[ ,=\\]|[^\\ ,=\n])+/;
my $FIELD = qr/-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?|"(?:[^"\\]|\\["\\])*"|true|false/;
sub unescape { $_[0] =~ s/\\([ ,=\\"])/$1/gr }
sub json_counters {
    my @rows = @_;
    die 'row fields' if grep { join(' ', sort keys %$_) ne 'begin block counters end file granularity object suspect' } @rows;
    return ([ sort map { my $c = $_->{counters}; map { "$_=" . value($c->{$_}) } grep { defined $c->{$_} } keys %$c } @rows ],
        \@rows);
}

# Form => the counter values of its files as "name=value" texts, and its rows; dies on a
# file that breaks its grammar.
my %READ = (
    csv => sub {
        my ($names, @files) = @_;
        my @values;
        for my $file (@files) {
            my $csv = Text::CSV->new({ binary => 1, strict => 1 });
            open my $fh, '<:raw', $file or die;
            my $header = $csv->getline($fh);
            die "$file: no begin,end,granularity" unless "@$header[0..2]" eq 'begin end granularity';
            while (my $row = $csv->getline($fh)) {
                push @values, map {"$header->[$_]=" . value($row->[$_])}
                    grep { $names->{ $header->[$_] } && $row->[$_] ne '' } 3 .. $#$header;
            }
            die "$file: " . ($csv->error_diag)[2] unless $csv->eof;
        }
        return [ sort @values ];
    },
    jsonl  => sub { shift; json_counters(map { decode_json($_) } map { split /\n/, slurp($_) } @_) },
    json   => sub { shift; json_counters(map { @{ decode_json(slurp($_)) } } @_) },
    influx => sub {
        my ($names, @files) = @_;
        my @values;
        for my $line (map { split /\n/, slurp($_) } @files) {
            my ($fields) = $line =~ /\A(?:\\[ ,\\]|[^\\ ,\n])+(?:,$KEY=$KEY)* ((?:$KEY=$FIELD,?)+) \d+\z/
                or die "not line protocol: $line";
            while ($fields =~ /\G($KEY)=($FIELD),?/g) {
                push @values, unescape($1) . '=' . value(unescape($2 =~ s/\A"(.*)"\z/$1/sr)) if $1 ne 'suspect';
            }
        }
        return [ sort @values ];
    },
    ves => sub {
        my ($names, @files) = @_;
        my @values;
        for my $event (map { decode_json(slurp($_))->{event} } @files) {
            my $header = join ' ', sort keys %{ $event->{commonEventHeader} };
            die "header: $header" unless $header eq 'domain eventId eventName lastEpochMicrosec priority '
                . 'reportingEntityName sequence sourceName startEpochMicrosec version vesEventListenerVersion';
            die 'eventName' unless $event->{commonEventHeader}{eventName} =~ /\Aperf3gpp_.+_pmMeasResult\z/;
            for my $info (@{ $event->{perf3gppFields}{measDataCollection}{measInfoList} }) {
                my @types = @{ $info->{measTypes}{sMeasTypesList} };
                for my $row (@{ $info->{measValuesList} }) {
                    die 'suspectFlag' unless $row->{suspectFlag} =~ /\A(?:true|false)\z/;
                    for my $r (@{ $row->{measResults} }) {
                        die 'measResult' unless scalar(keys %$r) == 2;
                        my ($v) = map { $r->{$_} } grep { exists $r->{$_} } qw(iValue rValue sValue);
                        push @values, "$types[ $r->{p} - 1 ]=" . value($v) if defined $v;
                    }
                }
            }
        }
        return [ sort @values ];
    },
);

SKIP: {
    skip 'Text::CSV (libtext-csv-perl) is not installed', 1 unless eval { require Text::CSV; 1 };
    subtest 'every form carries the values of the PIF files, for every kind' => sub {
        for my $kind (sort keys %KINDS) {
            my ($inputs, $period) = @{ $KINDS{$kind} };
            my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '-o', "pif-$kind", @$inputs);
            my ($expected, $names) = pif_values(files_of("$dir/pif-$kind", qr/\.(?:pif|pt)\z/));
            ok(@$expected > 5, "$kind: PIF values") or diag $run->{err};
            for my $form (sort keys %READ) {
                $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '--format', $form, '-o', "$form-$kind", @$inputs);
                my ($values, $rows) = eval { $READ{$form}->($names, files_of("$dir/$form-$kind", qr/\.(?:csv|jsonl|json|lp)\z/)) };
                is_deeply($values, $expected, "  $form: every value, as in the PIF files") or diag $@, $run->{err};
                is_deeply([ @{ $rows->[0] }{qw(begin end granularity)} ], $period, '    the period') if $form eq 'jsonl';
            }
        }
        my (undef, $rows) = $READ{jsonl}->({}, files_of("$dir/jsonl-xml", qr/5G.*\.jsonl\z/));
        my @lists = map { grep { ref eq 'ARRAY' } values %{ $_->{counters} } } @$rows;
        ok(@lists && !(grep { grep { !looks_like_number($_) } @$_ } @lists), 'a compound value is a list of numbers');
    };
}

subtest 'times and values as the forms write them' => sub {
    my @times = (
        [ ['2026-12-05T10:15:00Z'], 1796465700 ], [ ['2026-12-05T11:15:00+01:00'], 1796465700 ],
        [ ['2026-12-05T10:15:00.5'], 1796465700.5 ], [ ['20261205101500'], 1796465700 ],
        [ ['20261205091500-0100'], 1796465700 ], [ [ '05Dec2026', '10:15:00' ], 1796465700 ],
        [ [ '05Dec2026', '10:15' ], 1796465700 ], [ ['2000-03-01T00:00:00Z'], 951868800 ],
        [ [ '05Dex2026', '10:15' ], undef ], [ ['yesterday'], undef ], [ [''], undef ],
    );
    is(epoch_of(@{ $_->[0] }), $_->[1], "epoch of (@{ $_->[0] })") for @times;
    is_deeply([ map { seconds_of($_) } qw(900 PT900S PT15M PT1H P1DT1S PT0.5S 15m) ], [ 900, 900, 900, 3600, 86401, 0.5, undef ],
        'granularity: seconds or an ISO 8601 duration');
    is(csv_line('a', 'b,c', 'say "x"', "l\n2", undef), qq{a,"b,c","say ""x""","l\n2",\r\n}, 'CSV quoting');
    is_deeply([ map { json_value($_) } '12', '-1.5e3', '86,87,2', 'a,1', '', '007' ], [ 12, -1500, [ 86, 87, 2 ], 'a,1', undef, '007' ],
        'JSON values: numbers, lists of numbers, texts, null');
};

subtest 'line protocol escapes blanks, commas and equals signs; VES and JSON name the object' => sub {
    spew("$dir/esc.xml", '<measCollecFile><fileHeader fileFormatVersion="32.435 V10.0" vendorName="V V">'
        . '<fileSender elementType="RNC"/><measCollec beginTime="2026-12-05T10:00:00Z"/></fileHeader><measData>'
        . '<managedElement localDn="RNC a=1,b 2\\"/><measInfo measInfoId="m 1"><job jobId="1"/>'
        . '<granPeriod duration="PT900S" endTime="2026-12-05T10:15:00Z"/><measType p="1">c 1</measType>'
        . '<measType p="2">c2</measType><measValue measObjLdn="RncFunction=R 1,UtranCell=x y"><r p="1">5</r>'
        . '<r p="2">a "b" c</r></measValue></measInfo></measData>'
        . '<fileFooter><measCollec endTime="2026-12-05T10:15:00Z"/></fileFooter></measCollecFile>');
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
    gzip_file(sample('ber/meas-rnc.ber'), "$dir/rnc.gz");
    my $file = pm2pif({ cwd => $dir }, '-o', '-', '--format', 'influx', sample('ber/meas-rnc.ber'));
    my $pipe = pm2pif({ cwd => $dir, stdin => "$dir/rnc.gz" }, '-o', '-', '--format', 'influx', '-');
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
        my %spread = map { s{.*/}{}r => slurp($_) } files_of("$dir/spread", qr/\.jsonl\z/);
        my %once   = map { s{.*/}{}r => slurp($_) } files_of("$dir/one", qr/\.jsonl\z/);
        is(scalar keys %spread, 5, 'a file per input');
        is_deeply(\%spread, \%once, 'the names and contents of one run');
    };
}

done_testing;
