# measdoc_block_pif and measdoc_block_json beyond what pm2pif's golden files show: the
# fields a PIF line cannot carry refused rather than written, and the rows as the exact
# text of a pretty, canonical encoder, declined where only that encoder can write a value.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use JSON::PP ();
use measdoc;
use PmTest qw(:measdoc);

# Two blocks: the first with a row lacking a value and its suspect flag, the second's value given.
sub rendered {
    my ($value, @calls) = @_;
    my $file = write_file('render.xml', '<?xml version="1.0"?><mdc><mfh><ffv>1</ffv><st>RNC</st></mfh><md>'
        . '<neid><nedn>ManagedElement=1</nedn></neid><mi><gp>900</gp><mt>zeta</mt><mt>attA</mt>'
        . '<mv><moid>ManagedElement=1,UtranCell=C2</moid><r>1</r><r>2</r><sf>TRUE</sf></mv>'
        . '<mv><moid>ManagedElement=1,UtranCell=C1</moid><r>3</r><r></r></mv></mi><mi><gp>300</gp><mt>b</mt>'
        . "<mv><moid>ManagedElement=1,Cell=X</moid><r>$value</r></mv></mi></md></mdc>");
    set_items(xmlFileName => [$file], threadNumber => [default_threads()]);
    measdoc::measdoc_init() == 0 && measdoc::measdoc_run() == 0 or die measdoc::measdoc_error();
    my $types = measdoc::measdoc_data_types();
    my @results = map { @$_ > 1 ? measdoc::measdoc_block_json($_->[0], $types, 'sf', $_->[1])
                                : measdoc::measdoc_block_pif($_->[0], $types, 'sf') } @calls;
    measdoc::measdoc_deinit() == 0 or die measdoc::measdoc_error();
    return @results;
}

my %FIXED = (begin => '"B"', block => '"K"', end => 'null', file => '"F"', granularity => '900');
my %ROW = (begin => 'B', block => 'K', end => undef, file => 'F', granularity => 900);
my $ENCODER = JSON::PP->new->utf8->canonical->pretty;

for my $bad ("x|y", "a\rb", "a\nb") {
    my ($clean, $refused, $json) = rendered($bad, [0], [1], [1, \%FIXED]);
    is_deeply([ defined $clean->{text}, $refused, $json ], [ 1, ({ name => 'ManagedElement_Cell', bad => $bad }) x 2 ],
              "the other block is written, this one refused, as JSON too ($bad)");
}

my ($rows, $list) = rendered('86,87,2', [0, \%FIXED], [1, \%FIXED]);
my $expected = $ENCODER->encode([ map { { %ROW, counters => $_->[0], suspect => $_->[2],
    object => { moid_ManagedElement => '1', moid_UtranCell => $_->[1] } } }
    [ { attA => 2, zeta => 1 }, 'C2', JSON::PP::true() ], [ { attA => undef, zeta => 3 }, 'C1', JSON::PP::false() ] ]);
is_deeply([ "[\n$rows->{text}\n]\n", $rows->{lines} + 2 ], [ $expected, $expected =~ tr/\n// ], 'rows as the encoder writes them');
$expected = $ENCODER->encode([{ %ROW, counters => { b => [86, 87, 2] }, object => { moid_Cell => 'X', moid_ManagedElement => '1' },
    suspect => undef }]);
is_deeply([ "[\n$list->{text}\n]\n", $list->{lines} + 2 ], [ $expected, $expected =~ tr/\n// ], 'a list; no flag column, no flag');

# Values only the host's encoder writes right are declined.
for my $case (['1.5', 0], ['1e3', 0], ['-0', 0], ['1,2.5', 0], ["caf\xc3\xa9", 0], ["a\tb", 0], ['1234567890123456789', 0],
              ['0', 1], ['-42', 1], ['a "b" \\', 1], ['1,,2', 1], ['123456789012345678', 1], ['x y', 1]) {
    my ($value, $written) = @$case;
    my ($block) = rendered($value, [1, \%FIXED]);
    my $text = $value =~ /\A-?\d+\z/ ? $value : JSON::PP->new->allow_nonref->encode($value);
    ok($written ? $block->{text} =~ /"b" : \Q$text\E\n/ : !defined $block->{text}, "$value: " . ($written ? 'written' : 'declined'));
}

done_testing();
