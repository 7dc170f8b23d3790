# The module's surface: version and bootstrap, the host functions, their usage texts and
# the kind of value each returns.
use strict;
use warnings;
use B ();
use PmBuild ();
use PmTest qw(cases sample :measdoc);
use Test::More;

use measdoc;

# name | the parameters its usage text names, when it takes any
my @functions = cases('measdoc/t/expected/host-functions.txt');

subtest 'version, functions and bootstrap' => sub {
    is($measdoc::VERSION, '1.00', 'version');
    is_deeply([sort grep { defined &{"measdoc::$_"} && $_ ne 'bootstrap' } keys %measdoc::],
              [sort map { $_->[0] } @functions],
              'exactly the host functions');
    require XSLoader;
    eval { XSLoader::load('measdoc', '2.00') };
    like($@, qr/^measdoc object version 1\.00 does not match bootstrap parameter 2\.00 /, 'another version refused');
};

# A wrong argument count dies with the usage text and changes nothing.
subtest 'usage texts' => sub {
    set_items(xmlFileName => [sample('xml/boda_A1.xml')]);
    is(measdoc::measdoc_add_config('queued'), 0, 'one value queued');
    for (@functions) {
        my ($name, $params) = @$_;
        my $usage = "measdoc::$name(" . ($params // '') . ')';
        for my $args (defined $params ? ([], ['a', 'b']) : (['x'])) {
            eval { &{ \&{"measdoc::$name"} }(@$args) };
            like($@, qr/^Usage: \Q$usage\E at /, "$usage with " . @$args);
        }
    }
    is(measdoc::measdoc_error(), undef, 'nothing recorded');
    is(measdoc::measdoc_set_altCounterNullValue(), 0, 'the queued value committed now');
    is_deeply([measdoc::measdoc_init(), measdoc::measdoc_configuration()->{i_altcntrval}, measdoc::measdoc_deinit()],
              [0, ['queued'], 0], 'start-up; only the queued value reached the item; stop');
};

subtest 'results are integers, texts or references' => sub {
    my @integers = (measdoc::measdoc_add_config(worked_example()), measdoc::measdoc_set_xmlFileName(),
        measdoc::measdoc_init(), measdoc::measdoc_run(), measdoc::measdoc_block_count());
    is_deeply([map { ref } measdoc::measdoc_data(), measdoc::measdoc_block(0), measdoc::measdoc_data_types(),
               measdoc::measdoc_configuration()], [('HASH') x 4], 'data, a block, types, configuration: hash references');
    is_deeply([map { measdoc::measdoc_block($_) } -1, 1, 2**40], [(undef) x 3], 'no such block: undef');
    is(measdoc::measdoc_warning(), undef, 'no warning left: undef');
    push @integers, measdoc::measdoc_deinit(), measdoc::measdoc_set_xmlFileName();
    is_deeply([map { my $f = B::svref_2object(\$_)->FLAGS; ($f & B::SVf_IOK) && !($f & B::SVf_POK) ? $_ : "not $_" } @integers],
              [0, 0, 0, 0, 1, 0, 0], 'add_config, a setter, init, run, block count, deinit, a setter with nothing queued:'
              . ' Perl integers');
};

done_testing();
