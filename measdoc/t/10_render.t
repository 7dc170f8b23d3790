# measdoc_block_pif: a block of a real run rendered as its PIF file, with the columns in
# their groups, fields a row lacks left empty, and the fields a PIF line cannot carry
# refused rather than written.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

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
        my ($number, $typed, $suspect) = @$call;
        push @results, measdoc::measdoc_block_pif($number, $typed ? $types : undef, $suspect);
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
        my ($clean, $refused) = rendered(two_blocks($bad), [0, 1, 'sf'], [1, 1, 'sf']);
        (my $shown = $bad) =~ s/([\r\n])/sprintf '\\x%02x', ord $1/ge;
        ok(defined $clean->{text}, "$shown: the other block is written");
        is_deeply($refused, { name => 'ManagedElement_Cell', bad => $bad }, "$shown: the block is refused with the field");
    }
};

done_testing();
