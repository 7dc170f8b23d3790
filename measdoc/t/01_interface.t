# The module's surface: version and bootstrap, the 41 functions, their usage texts and the
# kind of values they return.
use strict;
use warnings;

use B ();
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my @setters = map { "measdoc_set_$_" } qw(
    xmlNameAttrDelimiter counterListDelimiter headerElementNames uniquePifHeaderElementNames
    uniquePIFBlockElementName measurementValueElementName measureTypeElementSeq
    measurementResultsElementSeq suspectFlagElementName distinguishedNameElementNames
    delimitedCounterElementNames normalCounterElementNames timestampCounterElementNames
    measurementDataElementName measurementHeaderElementName measurementFooterElementName
    outputBlockElementName instanceObject maxCounterNameSize xmlDocumentType threadNumber
    threadStackSize altCounterNullValue xmlFileName outputBlockDescription altCounterNames
    timestampDesc altOutputBlockNames counterListWhiteSpace counterPositionAttribute plainObjectNames
    qualifiedHeaderNames xmlStandardText);
my @others = qw(measdoc_init measdoc_run measdoc_deinit measdoc_configuration measdoc_error
    measdoc_warning measdoc_data measdoc_block_count measdoc_data_types);

subtest 'version and functions' => sub {
    is($measdoc::VERSION, '1.00', 'version');
    my @functions = sort grep { defined &{"measdoc::$_"} && $_ ne 'bootstrap' } keys %measdoc::;
    is_deeply(\@functions, [sort('measdoc_add_config', 'measdoc_block', 'measdoc_block_pif', 'measdoc_block_json', @setters,
              @others)], 'exactly the 46 host functions');
    is(scalar @functions, 46, 'count');
};

subtest 'the bootstrap refuses another version' => sub {
    require XSLoader;
    eval { XSLoader::load('measdoc', '2.00') };
    like($@, qr/^measdoc object version 1\.00 does not match bootstrap parameter 2\.00 /, 'with the version message');
    eval { XSLoader::load('measdoc', '1.00') };
    is($@, '', 'the right version loads');
};

# Every function dies with its usage text on a wrong argument count, and does nothing.
subtest 'usage texts' => sub {
    for my $args ([], ['a', 'b']) {
        eval { measdoc::measdoc_add_config(@$args) };
        like($@, qr/^Usage: measdoc::measdoc_add_config\(value\) at /, 'measdoc_add_config with ' . @$args);
        eval { measdoc::measdoc_block(@$args) };
        like($@, qr/^Usage: measdoc::measdoc_block\(number\) at /, 'measdoc_block with ' . @$args);
        eval { measdoc::measdoc_block_pif(@$args) };
        like($@, qr/^Usage: measdoc::measdoc_block_pif\(number, types, suspect\) at /, 'measdoc_block_pif with ' . @$args);
        eval { measdoc::measdoc_block_json(@$args) };
        like($@, qr/^Usage: measdoc::measdoc_block_json\(number, types, suspect, fixed\) at /,
             'measdoc_block_json with ' . @$args);
    }
    for my $name (@setters, @others) {
        my $function = \&{"measdoc::$name"};
        eval { $function->('x') };
        like($@, qr/^Usage: measdoc::\Q$name\E\(\) at /, $name);
    }
};

subtest 'a refused call changes nothing' => sub {
    set_items(xmlFileName => [sample('boda_A1.xml')]);
    is(measdoc::measdoc_add_config('queued'), 0, 'one value queued');
    eval { measdoc::measdoc_add_config('a', 'b') };
    ok($@, 'two arguments refused');
    eval { measdoc::measdoc_set_altCounterNullValue('x') };
    ok($@, 'setter with an argument refused');
    is(measdoc::measdoc_set_altCounterNullValue(), 0, 'the queued value committed now');
    eval { measdoc::measdoc_init(1) };
    ok($@, 'start-up with an argument refused');
    eval { measdoc::measdoc_run(1) };
    like($@, qr/^Usage: measdoc::measdoc_run\(\)/, 'run with an argument refused');
    is(measdoc::measdoc_error(), undef, 'nothing recorded');
    is(measdoc::measdoc_init(), 0, 'start-up');
    is_deeply(measdoc::measdoc_configuration()->{i_altcntrval}, ['queued'], 'only the queued value reached the item');
    is(measdoc::measdoc_deinit(), 0, 'stop');
};

sub is_integer {
    my ($value, $name) = @_;
    my $flags = B::svref_2object(\$value)->FLAGS;
    ok(($flags & B::SVf_IOK) && !($flags & B::SVf_POK), "$name is a Perl integer");
}

subtest 'results are integers, texts or references' => sub {
    is_integer(measdoc::measdoc_add_config(worked_example()), 'measdoc_add_config');
    is_integer(measdoc::measdoc_set_xmlFileName(), 'a setter');
    is_integer(measdoc::measdoc_init(), 'measdoc_init');
    is_integer(measdoc::measdoc_run(), 'measdoc_run');
    is(ref measdoc::measdoc_data(), 'HASH', 'measdoc_data: a hash reference');
    is_integer(measdoc::measdoc_block_count(), 'measdoc_block_count');
    is(ref measdoc::measdoc_block(0), 'HASH', 'measdoc_block: a hash reference');
    is(measdoc::measdoc_block($_), undef, "measdoc_block($_): no such block, undef") for -1, 1, 2**40;
    is(ref measdoc::measdoc_data_types(), 'HASH', 'measdoc_data_types: a hash reference');
    is(ref measdoc::measdoc_configuration(), 'HASH', 'measdoc_configuration: a hash reference');
    is(measdoc::measdoc_warning(), undef, 'no warning left: undef') for 1 .. 2;
    is_integer(measdoc::measdoc_deinit(), 'measdoc_deinit');
    is(measdoc::measdoc_set_xmlFileName(), 0, 'nothing queued');
    is(measdoc::measdoc_set_xmlFileName(), 0, 'still nothing queued');
    is(measdoc::measdoc_set_timestampDesc(), 0, 'another setter with nothing queued');
};

done_testing();
