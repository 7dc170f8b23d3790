# measdoc_block_pif and measdoc_block_json: a block of a real run rendered as its PIF file,
# with the columns in their groups, fields a row lacks left empty, and the fields a PIF line
# cannot carry refused rather than written; and its rows as the JSON text a pretty,
# canonical encoder writes, declined where that encoder's own output is needed.
use strict;
use warnings;

use PmBuild ();
use Test::More;

use JSON::PP ();
use measdoc;
use PmTest qw(:measdoc);

# Two blocks: counters named out of order, a row without a value and without its suspect
# flag; the second block's value is given by the caller.
sub two_blocks {
    my ($value) = @_;
    return write_file('render.xml', <<"XML");
<?xml version="1.0" encoding="UTF-8"?>
<mdc>
  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh>
  <md>
    <neid><nedn>SubNetwork=1,ManagedElement=1</nedn></neid>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>900</gp><mt>zeta</mt><mt>attA</mt>
      <mv><moid>ManagedElement=1,UtranCell=C2</moid><r>1</r><r>2</r><sf>TRUE</sf></mv>
      <mv><moid>ManagedElement=1,UtranCell=C1</moid><r>3</r><r></r></mv>
    </mi>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>300</gp><mt>b</mt>
      <mv><moid>ManagedElement=1,Cell=X</moid><r>$value</r></mv>
    </mi>
  </md>
  <mff><ts>20050301141500.0+0100</ts></mff>
</mdc>
XML
}

# Each block's rendering ([types, suspect] per call), taken between run and tear-down.
sub rendered {
    my ($file, @calls) = @_;
    set_items(xmlFileName => [$file], threadNumber => [default_threads()]);
    measdoc::measdoc_init() == 0 && measdoc::measdoc_run() == 0 or die measdoc::measdoc_error();
    my $types = measdoc::measdoc_data_types();
    my @results;
    for my $call (@calls) {
            my ($number, $typed, $suspect, $fixed) = @$call;
        push @results, @$call > 3 ? measdoc::measdoc_block_json($number, $types, $suspect, $fixed)
                                  : measdoc::measdoc_block_pif($number, $typed ? $types : undef, $suspect);
    }
    measdoc::measdoc_deinit() == 0 or die measdoc::measdoc_error();
    return @results;
}

my $HEADER = "## Parser Intermediate File\n##START|HEADER\n"
    . "cbt|ffv|nedn_ManagedElement|nedn_SubNetwork|sn_SubNetwork|st|ts|vn|gp|moid_ManagedElement|moid_UtranCell|mts\n"
    . "20050301140000.0+0100|1|1|1|1|RNC|20050301141500.0+0100|X|900|1|C1|20050301141500.0+0100\n"
    . "##END|HEADER\n##START|ManagedElement_UtranCell\n";

subtest 'a block as its PIF file' => sub {
    my ($full, $plain, $second, $past, $before) =
        rendered(two_blocks('7'), [0, 1, 'sf'], [0, 0, undef], [1, 1, 'sf'], [2, 1, 'sf'], [-1, 1, 'sf']);
    is_deeply($full, {
        name => 'ManagedElement_UtranCell', lines => 10, identity => [qw(moid_ManagedElement moid_UtranCell)],
        text => $HEADER . "moid_ManagedElement|moid_UtranCell|attA|zeta|sf\n1|C2|2|1|TRUE\n1|C1||3|\n"
            . "##END|ManagedElement_UtranCell\n",
    }, 'object names, counters, suspect flag; each group sorted; what a row lacks is empty');
    is($plain->{text}, $HEADER . "attA|moid_ManagedElement|moid_UtranCell|sf|zeta\n2|1|C2|TRUE|1\n|1|C1||3\n"
        . "##END|ManagedElement_UtranCell\n", 'without types or flag: one sorted group');
    is_deeply($plain->{identity}, [], 'no object names without types');
    like($second->{text}, qr/\n##START\|ManagedElement_Cell\nmoid_Cell\|moid_ManagedElement\|b\nX\|1\|7\n##END\|ManagedElement_Cell\n\z/,
         'the second block: a flag no row has is no column');
    is($past, undef, 'no block past the last');
    is($before, undef, 'no block before the first');
};

subtest 'fields a PIF line cannot carry' => sub {
    for my $bad ("x|y", "a\rb", "a\nb") {
        my ($clean, $refused, $json) = rendered(two_blocks($bad), [0, 1, 'sf'], [1, 1, 'sf'], [1, 1, 'sf', {}]);
        (my $shown = $bad) =~ s/([\r\n])/sprintf '\\x%02x', ord $1/ge;
        ok(defined $clean->{text}, "$shown: the other block is written");
        is_deeply($refused, { name => 'ManagedElement_Cell', bad => $bad }, "$shown: the block is refused with the field");
        is_deeply($json, $refused, "$shown: refused as JSON too");
    }
};

my %FIXED = (begin => '"B"', block => '"K"', end => 'null', file => '"F"', granularity => '900');
my $ENCODER = JSON::PP->new->utf8->canonical->pretty;

subtest 'a block as JSON rows' => sub {
    my ($head, $rows, $second) = rendered(two_blocks('86,87,2'), [0, 1, 'sf', undef], [0, 1, 'sf', \%FIXED],
                                          [1, 1, 'sf', \%FIXED]);
    is_deeply($head, {
        name => 'ManagedElement_UtranCell',
        header => [qw(cbt ffv nedn_ManagedElement nedn_SubNetwork sn_SubNetwork st ts vn gp moid_ManagedElement
                      moid_UtranCell mts)],
        values => [qw(20050301140000.0+0100 1 1 1 1 RNC 20050301141500.0+0100 X 900 1 C1 20050301141500.0+0100)],
    }, 'without fixed texts: the header the host needs');
    my %row = (begin => 'B', block => 'K', end => undef, file => 'F', granularity => 900);
    my $expected = $ENCODER->encode([
        { %row, counters => { attA => 2, zeta => 1 }, object => { moid_ManagedElement => '1', moid_UtranCell => 'C2' },
          suspect => JSON::PP::true() },
        { %row, counters => { attA => undef, zeta => 3 }, object => { moid_ManagedElement => '1', moid_UtranCell => 'C1' },
          suspect => JSON::PP::false() },
    ]);
    is("[\n$rows->{text}\n]\n", $expected, 'rows as the encoder writes them');
    is($rows->{lines} + 2, $expected =~ tr/\n//, 'their line count');
    my $list = $ENCODER->encode([{ %row, counters => { b => [86, 87, 2] }, object => { moid_Cell => 'X',
        moid_ManagedElement => '1' }, suspect => undef }]);
    is("[\n$second->{text}\n]\n", $list, 'a compound value as a list; no flag column, no flag');
    is($second->{lines} + 2, $list =~ tr/\n//, 'lines of a list');
};

subtest 'values left to the host encoder' => sub {
    my @cases = (['1.5', 0], ['1e3', 0], ['-0', 0], ['1,2.5', 0], ["caf\xc3\xa9", 0], ["a\tb", 0],
                 ['1234567890123456789', 0], ['-42', 1], ['a "b" \\', 1], ['1,,2', 1], ['123456789012345678', 1], ['x y', 1]);
    for my $case (@cases) {
        my ($value, $written) = @$case;
        my ($block) = rendered(two_blocks($value), [1, 1, 'sf', \%FIXED]);
        is(defined $block->{text}, !!$written, "$value: " . ($written ? 'written' : 'declined'));
        next unless $written;
        my $number = $value =~ /\A-?\d+\z/;
        # measdoc quotes a text with blanks; the quotes are no part of the value.
        my $text = JSON::PP->new->allow_nonref->encode($value);
        like($block->{text}, $number ? qr/"b" : \Q$value\E\n/ : qr/"b" : \Q$text\E\n/,
             "$value: as the encoder writes it");
    }
};

done_testing();
