# Names are octets: non-ASCII octets of input names, block names and BER name fields reach
# the PIF file names unchanged, and what would break a name ("/", a line break, the
# separator "-#-") is written safely.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp output_names fake_dir);

BEGIN { $ENV{TZ} = 'UTC' }

subtest 'a BER name field of non-ASCII octets' => sub {
    my $dir = scratch();
    (my $ber = slurp(sample('ber/meas-rnc.ber'))) =~ s/\x82\x03RNC/\x82\x03R\xC3\x87/ or die 'no sender type RNC';
    spew("$dir/r\xE9.ber", $ber);
    my $run = pm2pif({ cwd => $dir }, "r\xE9.ber");
    is($run->{status}, 0, 'converts') or diag $run->{err};
    is_deeply([ map { /\A(.*)-#-[0-9a-f]{8}\.(\d)-#-I\.pif\z/ ? "$1 $2" : $_ } @{ output_names("$dir/out") } ],
        [ map {"OBJ-#-R\xC3\x87-#-05Dec2026-#-14:45:00-#-900 $_"} 0, 1 ], 'the octets are in the names as they came');
};

subtest 'XML input and block names' => sub {
    my $dir = scratch();
    # The double decodes its JSON: escapes give it the octets measdoc would return.
    my $block = '"C\u00c3\u0087/x-#-y"';
    spew("$dir/r\xE9-#-a\nb.xml", qq{<mdc><!--FAKE {"data": {"0": {"blockName": $block, "0": {"pifData": {"c": "1"}}}}} --></mdc>\n});
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir }, "r\xE9-#-a\nb.xml");
    is($run->{status}, 0, 'converts') or diag $run->{err};
    my ($name) = @{ output_names("$dir/out") };
    like($name, qr/\AC\xC3\x87_x-_-y-#-r\xE9-_-a_b-#-[0-9a-f]{8}\.0-#-I\.pif\z/,
        'octets kept; "/" and a line feed as "_", "-#-" as "-_-"');
};

done_testing;
