# What the configuration does with a file and the name it arrived under: validation of
# that name, header fields from its directory and file name, the object-instance map
# (order, alternative names, quotes and shorthands, patterns that do not compile), the
# null value, values of the wrong kind, PIF file names, the file counter and long paths.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use PmTest qw(cases scratch sample slurp ordered example_config log_lines bermeas_convert one_block_file deep_dir);
use BerMeas;

my $dir = scratch();
chdir $dir or die;
my $rnc = sample('ber/meas-rnc.ber');
my $cell = ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
                   ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => 'OBJ_ID' });

# Converts under the configuration; returns (result, the first PIF file's name, its
# lines, the log lines the conversion wrote).
sub with_config {
    my ($config, %file) = @_;
    BerMeas::set_config($config);
    my $before = () = log_lines();
    my ($ok, undef, $files) = bermeas_convert(name => $file{name}, out => $file{out},
        $file{input} ? (input => $file{input}) : (octets => one_block_file(values => [['x', [1]]], %file)));
    BerMeas::delete_config();
    my ($name) = sort keys %$files;
    return ($ok, $name, [split /\n/, $name ? $files->{$name} : ''], [log_lines($before)]);
}

my $refused = '2 Filename validation failed. Not compliant with 3GPP specifications';
my $neighbour = ordered(Neighbour_A => 'cell=(\d+)-rnc=(\d+)\,cell=(\d+)', RNC => '(rnc)');
my %neighbour_alt = (Neighbour_A => [qw(OCELL_ID ARNC_ID ACELL_ID)]);
my @null = (values => [['x', [1, 'null']]], types => [qw(a b)]);
my @cases = (
    # label, configuration, file, what comes out
    (map { ["refused name $_", example_config(), { input => $rnc, name => $_ }, ok => 0,
            log => ["3 Validating filename: $_", $refused]] } map { $_->[0] } cases('bermeas/t/expected/refused-names.txt')),
    ['a name without directory is validated whole', example_config(), { input => $rnc, name => 'B20261205.1430+0100' }],
    ['directories are not validated', example_config(), { input => $rnc, name => '/x/y.1/A20261205.1430.ber' }],
    ['no directory, no TYPE: no such fields', example_config(), { name => 'E20261205.1430+0100_RNC.ber' },
     header => slurp("$ENV{PM_SOURCE_DIR}/bermeas/t/expected/plain-header.txt") =~ s/\n\z//r],
    ['a name ending in "/": no directory field, an empty group gives none',
     ordered(DIRECTORY_HEADER_FIELDS => { DIR => '(data)' }, FILENAME_HEADER_FIELDS => { ALL => '(.*)' }),
     { name => '/data/' }, header => qr/\A(?!.*(?:DIR|ALL))/s],
    ['directory and file-name fields', ordered(DIRECTORY_HEADER_FIELDS => { DIR => '(data)' },
     FILENAME_HEADER_FIELDS => { ALL => '(.*)' }), { name => '/data/x' }, header => qr/\|DIR\|ALL\|.*\n.*\|data\|x\|/],
    ['PIF file name fields in configured order, unknown ones left out, "/" made "_"',
     ordered(%$cell, ASN1_HEADER_INFO_FOR_PIF_FILENAME => [qw(vendorName senderName_managedElementId nEUserName
         nEDistinguishedName_managedElementId measTimeStamp COLLECTION_INTERVAL_MINS unknownField senderType)]),
     { sender => 'managedElementId=RNC/01', time_stamp => '20261205174500+0100', values => [['cell=3', [1]]] },
     name => qr{\ACell-#-Example Networks-#-RNC_01-#-RNC01-#-RNC01-#-20261205174500\+0100-#-15-#-RNC-#-\d+-#-I\.pif\z},
     header => qr{\n1\|RNC/01\|}],
    ['the first matching description names the class: a class without alternative names takes no columns',
     ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(RNC => '(rnc)', Neighbour_A => $neighbour->{Neighbour_A}),
             ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => \%neighbour_alt), { values => [['cell=5-rnc=3,cell=7', [1]]] },
     block => ['##START|RNC', 'c1|suspectFlag', '1|00', '##END|RNC']],
    ['in the other order the neighbour is described and names the file',
     ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => $neighbour, ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => \%neighbour_alt),
     { values => [['cell=5-rnc=3,cell=7', [1]]] }, name => qr/\ANeighbour_A-#-/,
     block => ['##START|Neighbour_A', 'OCELL_ID|ARNC_ID|ACELL_ID|c1|suspectFlag', '5|3|7|1|00', '##END|Neighbour_A']],
    ['one alternative name instead of an array names group 1', ordered(
         ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Slot => 'slot=(\d+)\.(\d+)' }, ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Slot => 'SLOT' }),
     { values => [['slot=4.2', [7]]] }, block => ['##START|Slot', 'SLOT|c1|suspectFlag', '4|7|00', '##END|Slot']],
    ['quotes removed, \d and \w expanded', ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Processor => q{'cp=(\d+)-(\w+)'} },
         ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Processor => [qw(CP NAME)] }), { values => [['cp=12-main_1', [1]]] },
     block => ['##START|Processor', 'CP|NAME|c1|suspectFlag', '12|main_1|1|00', '##END|Processor']],
    ['patterns that do not compile drop their class or field silently', ordered(
         ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => ordered(Broken => 'cell=(\d+', Cell => 'cell=(\d+)'),
         ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { Cell => 'OBJ_ID' }, FILENAME_HEADER_FIELDS => ordered(BAD => '(', GOOD => '^(A)')),
     { values => [['cell=9', [1]]] }, header => qr/\A(?!.*BAD).*\|GOOD\|/,
     block => ['##START|Cell', 'OBJ_ID|c1|suspectFlag', '9|1|00', '##END|Cell']],
    ['a text no pattern describes falls back to OBJ', {}, { values => [['Some Unit=7', [1]], ['x', [2]]] },
     block => ['##START|OBJ', 'OBJ_ID|c1|suspectFlag', 'Some Unit=7|1|00', 'x|2|00', '##END|OBJ']],
    (map { ["null value $_->[0]", { ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => $_->[0] }, {@null},
            block => ['##START|OBJ', 'OBJ_ID|a|b|suspectFlag', "x|1|$_->[1]|00", '##END|OBJ']] }
        ['NULL', 'NULL'], [-1, -1], ['n' x 2000, 'n' x 1022]),
    ['no null value: an empty field', {}, {@null}, block => ['##START|OBJ', 'OBJ_ID|a|b|suspectFlag', 'x|1||00', '##END|OBJ']],
    ['a number is no pattern', { ASN1_3GPP_FILENAME_VALIDATION => { Check => 12345 } }, {}],
    ['the same as a string is', { ASN1_3GPP_FILENAME_VALIDATION => { Check => '12345' } }, {}, ok => 0],
    ['the first string of an array is the pattern',
     { ASN1_3GPP_FILENAME_VALIDATION => { Check => [undef, {}, 12345, '^Z', '^A'] } }, {}, ok => 0],
    ['an array where a hash belongs is skipped', { ASN1_3GPP_FILENAME_VALIDATION => ['^Z'] }, {}],
    ['only strings name file fields', { ASN1_HEADER_INFO_FOR_PIF_FILENAME => [undef, 7, ['senderType'], 'vendorName'] },
     {}, name => qr/\AOBJ-#-Example Networks-#-\d+-#-I\.pif\z/],
    ['a string where an array belongs is skipped', { ASN1_HEADER_INFO_FOR_PIF_FILENAME => 'vendorName' }, {},
     name => qr/\AOBJ-#-\d+-#-I\.pif\z/],
    ['a directory of 3000 characters: the whole name', $cell, { out => deep_dir(3000), values => [['cell=3', [1]]] },
     name => qr/\ACell-#-\d+-#-I\.pif\z/],
    # The host may hand a text as octets or as characters (a string marked UTF-8): either
    # way the module works on its UTF-8 octets, as the file system and the input file do.
    (map { my ($c, $form) = ($_, utf8::is_utf8($_) ? 'characters' : 'octets');
           mkdir "$dir/out\xC3\x87-$form" or die;
           ["names are octets, given as $form", ordered(ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { "Cell$c" => 'cell=(\d+)' },
                ASN1_ALT_OBJECT_INSTANCE_ID_NAMES => { "Cell$c" => "OBJ_$c" },
                ASN1_HEADER_INFO_FOR_PIF_FILENAME => ['senderName_managedElementId']),
            { sender => "managedElementId=R\xC3\x87", values => [['cell=3', [1]], ["R\xC3\x87=5", [2]]], out => "$dir/out$c-$form" },
            name => qr/\ACell\xC3\x87-#-R\xC3\x87-#-\d+-#-I\.pif\z/, header => qr/\n1\|R\xC3\x87\|/,
            block => ["##START|Cell\xC3\x87", "OBJ_\xC3\x87|c1|suspectFlag", '3|1|00', "R\xC3\x87=5|2|00", "##END|Cell\xC3\x87"]] }
        "\xC3\x87", do { utf8::upgrade(my $c = "\xC7"); $c }),
    (map { my ($sender, $field, $value) = @$_;
           ["senderName $sender", $cell, { sender => $sender }, header => qr/\A[^|]*\|\Q$field\E\|.*\n[^|]*\|\Q$value\E\|/] }
        cases('bermeas/t/expected/sender-names.txt')),
);
for my $case (@cases) {
    my ($label, $config, $file, %want) = @$case;
    my ($ok, $name, $lines, $log) = with_config($config, %$file);
    is($ok ? 1 : 0, $want{ok} // 1, "$label: result");
    is_deeply([$name, $log], [undef, $want{log}], "$label: no PIF file, the log says why") if $want{log};
    like($name, $want{name}, "$label: file name") if $want{name};
    is_deeply([@$lines[5 .. $#$lines]], $want{block}, "$label: block") if $want{block};
    (ref $want{header} ? \&like : \&is)->(join("\n", map { $_ // '' } @$lines[2, 3]), $want{header}, "$label: header")
        if $want{header};
}

subtest 'the counter runs on across conversions and blocks' => sub {
    BerMeas::set_config($cell);
    my $file = one_block_file(values => [['cell=3', [1]]]);
    my (undef, $out, $files) = bermeas_convert(octets => $file);
    my ($n) = join(' ', keys %$files) =~ /\ACell-#-(\d+)-#-I\.pif\z/ or fail('one Cell file');
    (undef, undef, $files) = bermeas_convert(octets => $file, out => $out);
    is_deeply([sort keys %$files], ["Cell-#-$n-#-I.pif", 'Cell-#-' . ($n + 1) . '-#-I.pif'], 'next conversion, next number');
    (undef, undef, $files) = bermeas_convert(input => $rnc);
    is_deeply([sort keys %$files], ['OBJ-#-' . ($n + 2) . '-#-I.pif', 'OBJ-#-' . ($n + 3) . '-#-I.pif'], 'one per block');
    BerMeas::delete_config();
};

chdir '/';
done_testing();
