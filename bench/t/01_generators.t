# The generated inputs: the same parameters give the same bytes, the BER writer encodes
# exactly what samples/ber/MeasFile.pm encodes, the XML files carry every row in both
# counter styles (the baselines' test reads both layouts), and each converter accepts what
# its generator writes, with every row accounted for.
use strict;
use warnings;
use PmBuild ();
use List::Util qw(sum0);
use Test::More;
use PmTest qw(source_dir build_dir scratch slurp spew run_command);
use lib map { source_dir() . $_ } qw(/bench/lib /samples/ber /radiobin/t/lib);
use BenchData qw(meas_content ber_octets ber_description xml_meas_collec xml_mdc alcatel_bytes);
use MeasFile qw(encode_meas_file);

my ($dir, $steps) = (scratch(), source_dir() . '/bench/steps');
my @perl = ($^X, '-I' . build_dir() . '/perl/lib');
sub xml_text { my ($writer, $content, @style) = @_; my $text = ''; $writer->($content, sub { $text .= $_[0] }, @style); $text }
sub rows_of { map { @{ $_->{rows} } } map { @{ $_->{infos} } } @{ $_[0]{nes} } }

# Value lines of a PIF file's data sections, by section name.
sub value_lines { my ($text, %lines) = (slurp($_[0]));
                  $lines{$1} += () = $2 =~ /\n/g while $text =~ /^##START\|(?!HEADER\n)(.+)\n.*\n((?:(?!##).*\n)*)/mg; \%lines }

my %p = (ne => 2, infos => 3, rows => 10, counters => 6);
my $generated = sub { ber_octets(meas_content(%p, missing => 1)) . xml_text(\&xml_mdc, meas_content(%p)) };
is($generated->(), $generated->(), 'same BER and XML');
isnt(ber_octets(meas_content(%p, seed => 1)), ber_octets(meas_content(%p)), 'another seed, other BER');
is(alcatel_bytes(records => 3, groups => 2), alcatel_bytes(records => 3, groups => 2), 'same Alcatel bytes');

# Every length form up to three octets, with missing values and suspect flags in it.
for my $rows (60, 800) {
    my $content = meas_content(ne => 2, infos => $rows > 60 ? 1 : 4, rows => $rows, counters => 20, missing => 1);
    ok((grep { !defined } map { @{ $_->{values} } } rows_of($content)) && (grep { $_->{suspect} } rows_of($content)),
       "$rows rows: some values missing, some rows suspect");
    is(unpack('H*', ber_octets($content)), unpack('H*', encode_meas_file(ber_description($content))), "$rows rows: same octets");
}

my $content = meas_content(ne => 1, infos => 3, rows => 4, counters => 20, compound => 10);
my @values = map { @{ $_->{values} } } rows_of($content);
is_deeply([ grep { $values[$_] =~ /^\d+(?:,\d+){1,3}\z/ } 0 .. $#values ], [ map { ($_ * 20 + 9, $_ * 20 + 19) } 0 .. 11 ],
          'compound values of two to four parts in every tenth counter, and only there');
for my $style (qw(listed indexed)) {
    my $text = xml_text(\&xml_meas_collec, $content, style => $style);
    is_deeply([ map { scalar(() = $text =~ /$_/g) } qr/<measData>/, qr/<measValue /, qr/<measResults>/, qr/<r p=/ ],
              [ 1, 12, $style eq 'listed' ? (12, 0) : (0, 240) ], "$style: one section, every row, its counter style");
}

$content = meas_content(ne => 2, infos => 4, rows => 30, counters => 20, missing => 1);
mkdir "$dir/ber";
my $r = run_command(@perl, "$steps/bermeas.pl", spew("$dir/meas.ber", ber_octets($content)), "$dir/ber");
like($r->{out}, qr/^BENCH-SECONDS \d/m, 'BerMeas converts a generated file and reports its time');
my @lines = map { values %{ value_lines($_) } } my @pif = glob "$dir/ber/*.pif";
is_deeply([ scalar @pif, sum0(@lines) ], [ 8, scalar(grep { !$_->{suspect} } rows_of($content)) ],
          'one PIF file per measurement-info block, every row without suspect flag a value line');

mkdir "$dir/alcatel";
$r = run_command(@perl, "$steps/radiobin.pl", source_dir() . '/samples/alcatel/blocks.cfg',
                 spew("$dir/PMRES011.01a.3.", alcatel_bytes(records => 4, groups => 3)), "$dir/alcatel");
my ($pif) = $r->{out} =~ /^BENCH-OUTPUT (.+)$/m;
is_deeply($pif && value_lines($pif), { TYPE_110 => 4 * 3 * 3, TYPE_111 => 4 * 3, TYPE_112 => 4 * 3 * (8 + 5) },
          'radiobin: three cells, their traffic and 13 timeslots per group of every record');
done_testing;
