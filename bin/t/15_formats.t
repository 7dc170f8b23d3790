# The output forms besides PIF: for inputs of every kind each form carries the counter
# values of the PIF files of the same inputs, and keeps its own grammar (CSV read back,
# line protocol with its escaping, the VES field names); standard input and output in a
# pipe; bad use; the README's command spread with GNU parallel.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use File::Copy qw(copy);
use JSON::PP qw(encode_json decode_json);
use Scalar::Util qw(looks_like_number);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp gzip_file build_dir source_dir);

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

# The counter values of PIF files as sorted "name=value" texts, and the names.
sub pif_values {
    my (@values, %names);
    for my $file (@_) {
        my @lines = split /\n/, slurp($file);
        my @columns;
        for my $i (0 .. $#lines) {
            next unless $lines[$i] =~ /\A##START\|(?!HEADER)/;
            @columns = map { s/\A"(.*\s.*)"\z/$1/sr } split /\|/, $lines[ $i + 1 ], -1;
            for my $row (@lines[ $i + 2 .. $#lines ]) {
                last if $row =~ /\A##END/;
                my @f = split /\|/, $row, -1;
                for my $c (grep { $columns[$_] !~ $NOT_COUNTER } 0 .. $#columns) {
                    $names{ $columns[$c] } = 1;
                    push @values, "$columns[$c]=" . value($f[$c] =~ s/\A"(.*\s.*)"\z/$1/sr) if $f[$c] ne '';
                }
            }
        }
    }
    return ([ sort @values ], \%names);
}

# Line protocol: measurement, tags, fields, a time stamp; commas and blanks escaped in
# names, equals signs too in keys and tag values.
my $KEY  = qr/(?:\\[ ,=\\]|[^\\ ,=\n])+/;
my $MEAS = qr/(?:\\[ ,\\]|[^\\ ,\n])+/;
my $FIELD_VALUE = qr/-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?|"(?:[^"\\]|\\["\\])*"|true|false/;
my $LINE = qr/\A($MEAS)((?:,$KEY=$KEY)*) ($KEY=$FIELD_VALUE(?:,$KEY=$FIELD_VALUE)*) (\d+)\z/;
sub unescape { $_[0] =~ s/\\([ ,=\\])/$1/gr }

sub influx_lines {
    my @lines;
    for my $line (map { split /\n/, slurp($_) } @_) {
        my ($meas, $tags, $fields, $time) = $line =~ $LINE or return (undef, $line);
        my (%f, %t);
        $f{ unescape($1) } = $2 while $fields =~ /\G($KEY)=($FIELD_VALUE),?/g;
        $t{ unescape($1) } = unescape($2) while $tags =~ /\G,($KEY)=($KEY)/g;
        push @lines, { meas => unescape($meas), tags => \%t,
                       fields => \%f, time => $time };
    }
    return \@lines;
}

# VES: the field names a 7.x listener knows, and those it requires.
my %VES_HEADER = map { $_ => 1 } qw(domain eventId eventName lastEpochMicrosec priority reportingEntityName
    sequence sourceName startEpochMicrosec version vesEventListenerVersion);
sub ves_problem {
    my ($event) = @_;
    my $h = $event->{event}{commonEventHeader} // return 'no commonEventHeader';
    my @keys = sort keys %$h;
    return "header fields @keys" unless "@keys" eq join ' ', sort keys %VES_HEADER;
    return "domain $h->{domain}" unless $h->{domain} eq 'perf3gpp' && $h->{vesEventListenerVersion} =~ /\A7\./;
    return "eventName $h->{eventName}" unless $h->{eventName} =~ /\Aperf3gpp_.+_pmMeasResult\z/;
    my $p = $event->{event}{perf3gppFields};
    return 'perf3gppFields' unless $p->{perf3gppFieldsVersion} && $p->{measDataCollection};
    my $c = $p->{measDataCollection};
    return 'measDataCollection' unless exists $c->{granularityPeriod} && exists $c->{measuredEntityDn}
        && ref $c->{measInfoList} eq 'ARRAY';
    for my $info (@{ $c->{measInfoList} }) {
        return 'measInfo' unless $info->{measInfoId}{sMeasInfoId} && ref $info->{measTypes}{sMeasTypesList} eq 'ARRAY';
        for my $v (@{ $info->{measValuesList} }) {
            return 'measValues' unless defined $v->{measObjInstId} && $v->{suspectFlag} =~ /\A(?:true|false)\z/;
            for my $r (@{ $v->{measResults} }) {
                my @value = grep { !/\Ap\z/ } keys %$r;
                return 'measResult ' . encode_json($r)
                    unless $r->{p} =~ /\A[1-9]\d*\z/ && @value == 1
                        && $value[0] =~ /\A(?:iValue|rValue|sValue|isNull)\z/;
            }
        }
    }
    return undef;
}

# Form => the counter values of its files as "name=value" texts and the rows; dies on a
# file that breaks its grammar.
my %READ = (
    csv => sub {
        my ($names, @files) = @_;
        my (@values, $rows);
        for my $file (@files) {
            my $csv = Text::CSV->new({ binary => 1, strict => 1 });
            open my $fh, '<:raw', $file or die;
            my $header = $csv->getline($fh);
            die "$file: no begin,end,granularity" unless "@$header[0..2]" eq 'begin end granularity';
            while (my $row = $csv->getline($fh)) {
                $rows++;
                push @values, map {"$header->[$_]=" . value($row->[$_])}
                    grep { $names->{ $header->[$_] } && $row->[$_] ne '' } 3 .. $#$header;
            }
            die "$file: " . ($csv->error_diag)[2] unless $csv->eof;
        }
        return ([ sort @values ], $rows);
    },
    jsonl => sub {
        my ($names, @files) = @_;
        my @rows = map { decode_json($_) } map { split /\n/, slurp($_) } @files;
        return (json_values(@rows), \@rows);
    },
    json => sub {
        my ($names, @files) = @_;
        my @rows = map { @{ decode_json(slurp($_)) } } @files;
        return (json_values(@rows), \@rows);
    },
    influx => sub {
        my ($names, @files) = @_;
        my ($lines, $bad) = influx_lines(@files);
        die "not line protocol: $bad" unless $lines;
        return ([ sort map { my $f = $_->{fields};
            map { "$_=" . value($f->{$_} =~ s/\A"(.*)"\z/$1/sr =~ s/\\(["\\])/$1/gr) } grep { $_ ne 'suspect' } keys %$f
        } @$lines ], $lines);
    },
    ves => sub {
        my ($names, @files) = @_;
        my @values;
        for my $event (map { decode_json(slurp($_)) } @files) {
            my $problem = ves_problem($event);
            die "not a VES event: $problem" if defined $problem;
            for my $info (@{ $event->{event}{perf3gppFields}{measDataCollection}{measInfoList} }) {
                my @types = @{ $info->{measTypes}{sMeasTypesList} };
                for my $r (map { @{ $_->{measResults} } } @{ $info->{measValuesList} }) {
                    my ($v) = grep {defined} @$r{qw(iValue rValue sValue)};
                    push @values, "$types[ $r->{p} - 1 ]=" . value($v) if defined $v;
                }
            }
        }
        return ([ sort @values ], undef);
    },
);

sub json_values {
    my @rows = @_;
    my @keys = map { join ' ', sort keys %$_ } @rows;
    die "row fields $keys[0]" if grep { $_ ne 'begin block counters end file granularity object suspect' } @keys;
    return [ sort map { my $c = $_->{counters}; map { "$_=" . value($c->{$_}) } grep { defined $c->{$_} } keys %$c }
        @rows ];
}

SKIP: {
    skip 'Text::CSV (libtext-csv-perl) is not installed', 1 unless eval { require Text::CSV; 1 };
    subtest 'every form carries the values of the PIF files, for every kind' => sub {
        for my $kind (sort keys %KINDS) {
            my ($inputs, $period) = @{ $KINDS{$kind} };
            my $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '-o', "pif-$kind", @$inputs);
            is($run->{status}, 0, "$kind: PIF") or diag $run->{err};
            my ($expected, $names) = pif_values(files_of("$dir/pif-$kind", qr/\.(?:pif|pt)\z/));
            ok(@$expected > 5, "  with values");
            for my $form (sort keys %READ) {
                $run = pm2pif({ cwd => $dir }, '-c', 'c.json', '--format', $form, '-o', "$form-$kind", @$inputs);
                is($run->{status}, 0, "  $form") or diag $run->{err};
                my @files = files_of("$dir/$form-$kind", qr/\.(?:csv|jsonl|json|lp)\z/);
                my ($values, $rows) = eval { $READ{$form}->($names, @files) };
                is_deeply($values, $expected, "    every value, as in the PIF files") or diag $@;
                is_deeply([ @{ $rows->[0] }{qw(begin end granularity)} ], $period, '    the period')
                    if $form eq 'jsonl';
            }
        }
        my $rows = $READ{jsonl}->({}, files_of("$dir/jsonl-xml", qr/5G.*\.jsonl\z/));
        my @lists = map { grep { ref eq 'ARRAY' } values %{ $_->{counters} } } @$rows;
        ok(@lists && !(grep { grep { !looks_like_number($_) } @$_ } @lists), 'a compound value is a list of numbers');
    };
}

subtest 'line protocol escapes blanks, commas and equals signs; VES and JSON name the object' => sub {
    spew("$dir/esc.xml", '<measCollecFile><fileHeader fileFormatVersion="32.435 V10.0" vendorName="V V">'
        . '<fileSender elementType="RNC"/><measCollec beginTime="2026-12-05T10:00:00Z"/></fileHeader><measData>'
        . '<managedElement localDn="RNC a=1,b 2\\"/><measInfo measInfoId="m 1"><job jobId="1"/>'
        . '<granPeriod duration="PT900S" endTime="2026-12-05T10:15:00Z"/><measType p="1">c 1</measType>'
        . '<measType p="2">c2</measType><measValue measObjLdn="RncFunction=R 1,UtranCell=x y"><r p="1">5</r>'
        . '<r p="2">a "b" c</r></measValue></measInfo></measData>'
        . '<fileFooter><measCollec endTime="2026-12-05T10:15:00Z"/></fileFooter></measCollecFile>');
    my $run = pm2pif({ cwd => $dir }, '-o', '-', '--format', 'influx', 'esc.xml');
    is($run->{status}, 0, 'converted') or diag $run->{err};
    is($run->{out}, 'RncFunction_UtranCell,measObjLdn_RncFunction=R\ 1,measObjLdn_UtranCell=x\ y,ne=RNC\ a\=1\,b\ 2\\\\'
        . ' c\ 1=5,c2="a \"b\" c" 1796465700000000000' . "\n", 'one line, escaped');
    $run = pm2pif({ cwd => $dir }, '-o', 'ves', '--format', 'ves', 'esc.xml');
    my ($event) = map { decode_json(slurp($_)) } files_of("$dir/ves", qr/\.json\z/);
    my $info = $event->{event}{perf3gppFields}{measDataCollection}{measInfoList}[0];
    is_deeply([ $info->{measInfoId}{sMeasInfoId}, $info->{measValuesList}[0]{measObjInstId} ],
        [ 'm 1', 'RncFunction=R 1,UtranCell=x y' ], 'VES: the block\'s id and the object\'s name');
    $run = pm2pif({ cwd => $dir }, '--json', 'esc.xml');
    is($run->{out}, pm2pif({ cwd => $dir }, '--format', 'json', '-o', '-', 'esc.xml')->{out},
        '--json is --format json -o -');
    is(decode_json($run->{out})->[0]{counters}{c2}, 'a "b" c', '  texts without added quotes');
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

subtest 'bad use: status 2 and the reason' => sub {
    for my $case ([ [qw(--format xls)], qr/--format wants csv, influx, json, jsonl, pif, ves, not 'xls'/ ],
                  [ [qw(-o - --format pif)], qr/--format pif writes a file per block, which standard output cannot/ ],
                  [ [qw(-o - --format ves)], qr/--format ves writes a document per input/ ],
                  [ [qw(--json --format csv)], qr/--json is --format json, and --format says csv/ ],
                  [ [qw(- -)], qr/standard input \(-\) can be read once/ ]) {
        my $run = pm2pif({ cwd => $dir }, @{ $case->[0] }, 'x');
        is($run->{status}, 2, "@{ $case->[0] }");
        like($run->{err}, $case->[1], '  saying why');
    }
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
        my $one = pm2pif({ cwd => $dir }, '-q', '-c', 'c.json', '--format', 'jsonl', '-o', 'one',
            split /\n/, slurp("$dir/list"));
        my %spread = map { s{.*/}{}r => slurp($_) } files_of("$dir/spread", qr/\.jsonl\z/);
        my %once   = map { s{.*/}{}r => slurp($_) } files_of("$dir/one", qr/\.jsonl\z/);
        is(scalar keys %spread, 5, 'a file per input');
        is_deeply(\%spread, \%once, 'the names and contents of one run');
    };
}

done_testing;
