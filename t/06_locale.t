# The host's locale changes no output: pm2pif converts bundled XML, BER and Alcatel
# samples through measdoc, BerMeas and radiobin under a Turkish and a German locale (case
# and number rules that differ from ASCII's) and must write the same PIF files, octet for
# octet, as under the C locale. A locale that is not installed is skipped with the reason.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use BrokenInput qw(read_file scratch source_dir);
use File::Find qw(find);
use POSIX qw(setlocale LC_ALL);
use Test::More;

my $src = source_dir();
my @samples = map { "$src/samples/$_" } qw(xml/gen_mdc.xml xml/oranRANPM_A20220418.1900-1915_seliitdus00487.xml
                                           ber/meas-utran.ber alcatel/PMRES011.01a.3.);

# The PIF files pm2pif writes for the samples under a locale, as name => content, and its
# exit status.
my $n = 0;
sub convert_under {
    my ($locale) = @_;
    my $out = scratch() . '/out' . ++$n;
    local $ENV{LC_ALL} = $locale;
    local $ENV{LANG} = $locale;
    local $ENV{TZ} = 'UTC';
    local $ENV{PERL5LIB} = join ':', @INC;
    system($^X, "$src/bin/pm2pif", '-q', '-o', $out, '-c', "$src/samples/pm2pif.json", @samples) == -1
        and die "pm2pif: $!\n";
    my $status = $? >> 8;
    my %files;
    find({ no_chdir => 1, wanted => sub {
        $files{ substr $_, length $out } = read_file($_) if -f && /\.(?:pif|pt)\z/ && !m{/\.pm2pif-};
    } }, $out);
    return ($status, \%files);
}

my ($c_status, $c_files) = convert_under('C');
is($c_status, 0, 'C locale: every sample converts');
cmp_ok(scalar keys %$c_files, '>', 3, '... into PIF files of all three modules');

for my $locale (qw(tr_TR.UTF-8 de_DE.UTF-8)) {
    SKIP: {
        my $before = setlocale(LC_ALL);
        my $installed = defined setlocale(LC_ALL, $locale);
        setlocale(LC_ALL, $before);
        skip "locale $locale is not installed (scripts/install-deps generates it)", 2 unless $installed;
        my ($status, $files) = convert_under($locale);
        is($status, $c_status, "$locale: the same exit status");
        my @differ = grep { ($files->{$_} // '') ne $c_files->{$_} } sort keys %$c_files;
        push @differ, grep { !exists $c_files->{$_} } sort keys %$files;
        is_deeply(\@differ, [], "$locale: the same PIF files, octet for octet");
    }
}

done_testing;
