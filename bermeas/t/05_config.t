# What each configuration value does, and which values are skipped: the object-instance
# map (order, alternative names, quotes and shorthands, patterns that do not compile),
# header patterns, the null value and the PIF file-name list.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use BerMeas;
use BerMeasTest qw(work_dir ordered convert one_block_file);

work_dir();

# Converts one block with the given configuration; returns (ok, the one PIF file's name,
# its lines).
sub with_config {
    my ($config, %file) = @_;
    BerMeas::set_config($config);
    my ($ok, undef, $files) = convert(octets => one_block_file(%file), name => $file{name});
    BerMeas::delete_config();
    my ($name) = keys %$files;
    return ($ok, $name, [split /\n/, $name ? $files->{$name} : '']);
}

sub block_of { my ($lines) = @_; return [@$lines[5 .. $#$lines]] }

subtest 'the first matching description names the class; order is the hash order' => sub {
    my @ids = (['cell=5-rnc=3,cell=7', [1]]);
    my %alt = (Neighbour_A => [qw(OCELL_ID ARNC_ID ACELL_ID)]);
    my (undef, $name, $lines) = with_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(RNC => '(rnc)', Neighbour_A => 'cell=(\d+)-rnc=(\d+)\,cell=(\d+)'),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => \%alt), values => \@ids);
    is_deeply(block_of($lines), ['##START|RNC', 'c1|suspectFlag', '1|00', '##END|RNC'],
              'the class without alternative names takes no columns');
    (undef, $name, $lines) = with_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(Neighbour_A => 'cell=(\d+)-rnc=(\d+)\,cell=(\d+)', RNC => '(rnc)'),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => \%alt), values => \@ids);
    is_deeply(block_of($lines), ['##START|Neighbour_A', 'OCELL_ID|ARNC_ID|ACELL_ID|c1|suspectFlag', '5|3|7|1|00',
                                 '##END|Neighbour_A'], 'in the other order the neighbour is described');
    like($name, qr/\ANeighbour_A-#-/, 'and names the file');
};

subtest 'alternative names may be one name instead of an array' => sub {
    my (undef, undef, $lines) = with_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(Slot => 'slot=(\d+)\.(\d+)'),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Slot => 'SLOT' }),
        values => [['slot=4.2', [7]]]);
    is_deeply([@{ block_of($lines) }[1, 2]], ['SLOT|c1|suspectFlag', '4|7|00'], 'it names group 1');
};

subtest 'quotes and the \d and \w shorthands' => sub {
    my (undef, undef, $lines) = with_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(Processor => q{'cp=(\d+)-(\w+)'}),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Processor => [qw(CP NAME)] }),
        values => [['cp=12-main_1', [1]]]);
    is_deeply([@{ block_of($lines) }[0 .. 2]], ['##START|Processor', 'CP|NAME|c1|suspectFlag', '12|main_1|1|00'],
              'quotes removed, shorthands expanded');
};

subtest 'patterns that do not compile drop their class without a message' => sub {
    my ($ok, undef, $lines) = with_config(ordered(
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(Broken => 'cell=(\d+', Cell => 'cell=(\d+)'),
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' },
        FILENAME_HEADER_FIELDS              => ordered(BAD => '(', GOOD => '^(A)')),
        values => [['cell=9', [1]]]);
    ok($ok, 'converted');
    is($lines->[5], '##START|Cell', 'the next class describes the text');
    like($lines->[2], qr/\|GOOD\|/, 'the header field with a good pattern is there');
    unlike($lines->[2], qr/BAD/, 'the other is left out');
};

subtest 'a text no pattern describes falls back to OBJ' => sub {
    my (undef, undef, $lines) = with_config({}, values => [['Some Unit=7', [1]], ['x', [2]]]);
    is_deeply(block_of($lines), ['##START|OBJ', 'OBJ_ID|c1|suspectFlag', 'Some Unit=7|1|00', 'x|2|00', '##END|OBJ'],
              'the whole text in OBJ_ID');
};

subtest 'the null value stands for missing results' => sub {
    my @values = (['x', [1, 'null']]);
    my (undef, undef, $lines) = with_config({ ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'NULL' }, values => \@values,
                                            types => [qw(a b)]);
    is($lines->[7], 'x|1|NULL|00', 'configured text');
    (undef, undef, $lines) = with_config({ ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => -1 }, values => \@values,
                                         types => [qw(a b)]);
    is($lines->[7], 'x|1|-1|00', 'a number is taken by its text');
    (undef, undef, $lines) = with_config({}, values => \@values, types => [qw(a b)]);
    is($lines->[7], 'x|1||00', 'none configured: an empty field');
    (undef, undef, $lines) = with_config({ ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => 'n' x 2000 }, values => \@values,
                                         types => [qw(a b)]);
    is($lines->[7], 'x|1|' . ('n' x 1022) . '|00', 'cut to 1022 characters');
};

subtest 'values of the wrong kind are skipped' => sub {
    my ($ok) = with_config({ ASN1_3GPP_FILENAME_VALIDATION => { Check => 12345 } }, values => [['x', [1]]]);
    ok($ok, 'a number is no pattern');
    ($ok) = with_config({ ASN1_3GPP_FILENAME_VALIDATION => { Check => '12345' } }, values => [['x', [1]]]);
    ok(!$ok, 'the same as a string is');
    ($ok) = with_config({ ASN1_3GPP_FILENAME_VALIDATION => { Check => [undef, {}, 12345, '^Z', '^A'] } },
                        values => [['x', [1]]]);
    ok(!$ok, 'the first string of an array is the pattern');
    ($ok) = with_config({ ASN1_3GPP_FILENAME_VALIDATION => [ '^Z' ] }, values => [['x', [1]]]);
    ok($ok, 'an array where a hash belongs is skipped');

    my (undef, $name) = with_config({ ASN1_HEADER_INFO_FOR_PIF_FILENAME => [undef, 7, ['senderType'], 'vendorName'] },
                                    values => [['x', [1]]]);
    like($name, qr/\AOBJ-#-Example Networks-#-\d+-#-I\.pif\z/, 'only strings name file fields');
    (undef, $name) = with_config({ ASN1_HEADER_INFO_FOR_PIF_FILENAME => 'vendorName' }, values => [['x', [1]]]);
    like($name, qr/\AOBJ-#-\d+-#-I\.pif\z/, 'a string where an array belongs is skipped');
};

subtest 'header names and values from senderName and the network element names' => sub {
    my @cases = (
        ['managedElementId=RNC01', 'senderName_managedElementId', 'RNC01', 'name=value'],
        ['RNC 01 north', 'senderName', 'RNC_01_north', 'no "=": blanks become "_"'],
        ['cell=44', 'senderName_OBJ_ID', '44', 'described by the object map'],
        ['a=b=c', 'senderName_a', 'b=c', 'split at the first "="'],
        ['100%', 'senderName', '100%', 'a "%" is an ordinary character'],
    );
    for my $case (@cases) {
        my ($sender, $name, $value, $what) = @$case;
        my (undef, undef, $lines) = with_config(
            ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
                    ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => 'OBJ_ID' }),
            sender => $sender, values => [['x', [1]]]);
        my @names = split /\|/, $lines->[2];
        my @values = split /\|/, $lines->[3];
        is_deeply([$names[1], $values[1]], [$name, $value], $what);
    }
};

done_testing();
