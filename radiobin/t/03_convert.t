# Conversions of files made to measure: the header layouts and their checks, the BSS
# number and the period, output paths, the record walk (sections per run of block types,
# empty blocks, pair mode, errors that end the walk) and counter decoding (sizes, byte
# orders, absent values, bytes past the record, repeated groups).
use strict;
use warnings;
use Test::More;
use POSIX qw(PATH_MAX);
BEGIN { $ENV{TZ} = 'UTC' }
use PmBuild ();
use PmTest qw(cases source_dir slurp spew run_command load_config convert_file radiobin_convert header_lines deep_dir);
use AlcatelFile qw(block block_len byte le16);
use radiobin;

my $layout = slurp(source_dir() . '/radiobin/t/expected/convert-layout.cfg');
is(load_config($layout, 0, 9), 0, 'layout loaded');

my $input = PmTest::radiobin_dir() . '/PMRES001.01a.7.';
# Converts the described file (measurement type 11 unless given); checks the code, and
# when given: the whole PIF file, the sections after its header, the log lines (those
# matching `keep`, else all but the release line). Returns (code, path, PIF, log).
sub check {
    my ($label, $desc, %w) = @_;
    my ($rc, $path, $pif, $log) = radiobin_convert({ meas_type => 11, %$desc }, log_level => $w{level} // 3,
                                                   map { exists $w{$_} ? ($_ => $w{$_}) : () } qw(name omc out));
    is($rc, $w{rc} // 0, "$label: code");
    is($pif, $w{pif}, "$label: PIF file") if exists $w{pif};
    is(($pif // '') =~ s/\A(?:.*\n){5}//r, $w{body}, "$label: sections") if exists $w{body};
    my $keep = $w{keep} // qr/^(?!2:File is from a bss version)/;
    is_deeply([grep { /$keep/ } @$log], $w{log}, "$label: log") if $w{log};
    return ($rc, $path, $pif, $log);
}
sub walk   { my ($label, $records, %w) = @_; check($label, { record_size => 80, records => $records,
                                                            meas_type => delete $w{type} // 11 }, %w) }
sub decode { my ($label, $blocks, %w) = @_; check($label, { meas_type => 100, record_size => 120, records => [$blocks] }, %w) }
sub section { my ($name, @lines) = @_; join '', "##START|$name\n", map({ "$_\n" } @lines), "##END|$name\n" }

# --- the header
my $section = section('TYPE_110', 'B|A', '9|513');
my @one = (records => [[ block(110, le16(513), byte(9)) ]]);
check("layout $_", { layout => $_, release => 7, mob_class => -3, mob_inst => 300, @one },
      pif => header_lines(class => -3, inst => 300, release => $_ == 66 ? 0 : 7) . $section) for 66, 72, 74, 76;
check('release 0 frames blocks with 2-byte headers', { layout => 72, release => 0, @one }, pif => header_lines(release => 0) . $section);
check('release 300 is outside 0..9', { release => 300, @one }, rc => -2);
load_config($layout, 3, 5);
check("release $_ outside 3..5", { release => $_, @one }, rc => -2, level => 4, keep => qr/^4:/, log => [
      '4:Config file is valid for releases 3 to 5', "4:Data file '$input' is release $_"]) for 2, 6;
check("release $_ inside 3..5", { release => $_, @one }) for 3, 5;
load_config($layout, 0, 9);

my $short = spew(PmTest::radiobin_dir() . '/short.bin', "\x4C\x00\x00");
is_deeply([(convert_file($short))[0, 3]], [-1, ["2:WARNING : Failed to read system header record in file: $short",
          "2:ERROR: Reading the the PGRH for file $short"]], 'three bytes: -1, no record header');
for (cases('radiobin/t/expected/headers.txt')) {
    my ($label, $fields, $rc, $level, $keep, @log) = @$_;
    check($label, { @one, map { split /=/, $_, 2 } split ' ', $fields }, rc => $rc, level => $level,
          length $keep ? (keep => qr/$keep/) : (), log => [map { s/INPUT/$input/r } @log]);
}
check('header record only', { records => [] }, pif => header_lines());

for (cases('radiobin/t/expected/bss-names.txt')) {
    my ($name, $bss) = @$_;
    my (undef, $path) = check("file name $name", { @one }, name => $name, level => 5, keep => qr/BSS num/i,
        log => [$bss ? () : '3:Warning: BSS num could not be extracted from file', "5:BSS number is $bss"]);
    like($path, qr{/TYPE_11-#-$bss-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-11:00-#-I\.pt\z}, "... BSS $bss in the name");
}

my $header = sub { my ($period, $gmt, $gran) = @_; qr/\n\Q$period\E\|TYPE_11\|1\|2\|5\|7\|OMC1\|NET1\|REG1\|$gmt\|$gran\n/ };
like((check('a quarter hour', { end => '2026-12-05 10:15', @one }))[2], $header->('05Dec2026|10:00|05Dec2026|10:15', 0, 900),
     '... granularity 900');
like((check('a month end', { start => '2026-02-28 23:00', end => '2026-03-01 00:00', @one }))[2],
     $header->('28Feb2026|23:00|01Mar2026|00:00', 0, 3600), '... in the period');
like((check('start month 13', { start_text => '0000001005132026', @one }, level => 1,
            log => ["1:Failed to convert start month(13), setting to 'Jan'"]))[2], qr/\n05Jan2026\|10:00\|05Dec2026\|/, '... Jan');
like((check('end month "1x" reads as 1, as atoi reads it', { end_text => '00000011051x2026', @one }, level => 1, log => []))[2],
     qr/\|05Jan2026\|11:00\|/, '... January');
{
    local $ENV{TZ} = 'XXX-1';
    like((check('one hour east of UTC', { @one }))[2], $header->('05Dec2026|10:00|05Dec2026|11:00', -3600, 3600), '... GMTDIFF');
}
my (undef, $path, $pif) = check('a measurement type without blocks', { meas_type => -5, records => [] }, omc => 'OMC-X',
    rc => -1, level => 1, log => ['1:No Blocks found in Configuration information']);
like($path, qr{/TYPE_-5-#-7-#-OMC-X-#-}, '... the negative type and the OMC name in the file name');
like($pif, qr/\|TYPE_-5\|1\|2\|5\|7\|OMC-X\|NET1\|REG1\|.*\n##END\|HEADER\n\z/, '... and in the header of the file left behind');

# --- output paths are never cut
my $name = 'TYPE_11-#-7-#-OMC1-#-05Dec2026-#-10:00-#-05Dec2026-#-11:00-#-I.pt';
my ($rc, $log);
($rc, $path, $pif) = check('a path of PATH_MAX - 1 characters', { @one }, out => deep_dir(PATH_MAX - 2 - length $name),
                           pif => header_lines() . $section);
is(length $path, PATH_MAX - 1, '... that file');
my $dir = deep_dir(PATH_MAX - 1 - length $name);
($rc, $path, $pif, $log) = check('one character more', { @one }, out => $dir, rc => -1, level => 1);
like($log->[0], qr/^1:ERROR : Output file name longer than the system allows \(4096 characters, 65 in the last part\): /,
     '... says why');
is(run_command('find', $dir =~ s{(/deep\d+)/.*}{$1}r, '-type', 'f')->{out}, '', '... and writes no file');
($rc, $path) = check('a file name of 255 characters', { @one }, omc => 'O' x 194);
is(length($path =~ s{.*/}{}r), 255, '... converts');
(undef, undef, undef, $log) = check('a file name of 256 characters', { @one }, omc => 'O' x 195, rc => -1, level => 1);
like($log->[0], qr/^1:ERROR : Output file name longer .* 256 in the last part/, '... fails');
my $escape = deep_dir(0);  # with the directory the name would lead into
mkdir "$escape/TYPE_11-#-7-#-..";
(undef, undef, undef, $log) = check('an OMC name holding "/"', { @one }, omc => '../up', out => $escape, rc => -1, level => 1);
like($log->[0], qr{^1:ERROR : Output file name '.*/TYPE_11-#-7-#-\.\./up-#-.*' would leave the output directory}, '... fails');
is(run_command('find', $escape, '-type', 'f')->{out}, '', '... and writes no file');

# --- the record walk
# Blocks as the case tables give them (expected/decodes.txt says how), and records of them.
sub data_of { join '', map { /^'(.*)'\z/ ? $1 : /^(\d+)\.\.(\d+)\z/ ? byte($1 .. $2)
                           : /^((?:[0-9a-f]{2})+)(?:\*(\d+))?\z/ ? pack('H*', $1) x ($2 // 1) : die "bad data '$_'\n" } split ' ', $_[0] }
sub blocks_of { [map { my ($type, $len, $data) = /^(\d+)(?:\/(-?\d+))?: ?(.*)\z/ or die "bad block '$_'\n";
                       defined $len ? block_len($type, $len, data_of($data)) : block($type, data_of($data)) } split / ; /, $_[0]] }
sub records_of { [map { s/^seq=(-?\d+) ; // ? { seq => $1, blocks => blocks_of($_) } : blocks_of($_) } split / \/ /, $_[0]] }
for (cases('radiobin/t/expected/walks.txt')) {
    my ($label, $type, $rc, $level, $records, $body, @log) = @$_;
    walk($label, records_of($records), type => $type, rc => $rc, level => $level, $body eq '-' ? () : (body => $body),
         @log ? (log => [grep { $_ ne '(none)' } @log]) : ());
}
walk('a record ending inside a block header: the blocks before it convert',
     [{ raw => pack('vs<', 112, 68) . byte(1) . "\0" x 67 . "\x70\x00", terminate => 0 }], body => section('TYPE_112', 'C', 1));
walk('a record ending with a whole block header: that block is read',
     [{ raw => pack('vs<', 112, 66) . byte(1) . "\0" x 65 . pack('vs<', 119, 8), terminate => 0 }], rc => -1, body => section('TYPE_112', 'C', 1));

mkdir(my $out = PmTest::radiobin_dir() . '/same');
($rc, $path) = check('a long file', { records => [map { [block(111, le16($_), byte($_))] } 1 .. 50] }, out => $out);
my $long = -s $path;
check('the output file replaces an older, longer one', { records => [[block(111, le16(1), byte(1))]] }, out => $out,
      pif => header_lines() . section('TYPE_111', 'B|A', '1|1'));
cmp_ok(-s $path, '<', $long, '... no tail of the older file');
like(join(' ', radiobin::process_file($input, PmTest::radiobin_dir() . '/no/such', 'OMC1', 'NET1', 'REG1')),
     qr{^-1 .*/no/such/TYPE_11-#-7-#-OMC1-#-}, 'an output directory that does not exist: -1, the name still handed back');

# --- counters
# The decoding cases: expected/decodes.txt.
for (cases('radiobin/t/expected/decodes.txt')) {
    my ($label, $level, $keep, $blocks, $body, @log) = @$_;
    decode($label, blocks_of($blocks), level => $level, length $keep ? (keep => qr/$keep/) : (), body => $body,
           @log ? (log => \@log) : ());
}

done_testing;
