# The shape of measdoc_data, checked on records made by hand (MeasdocRecords, a test-only
# module that runs the module's own export on them): which pairs go where, which win, and
# what is left out.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use PmBuild ();  # the build's test-only modules, also under a plain prove
use MeasdocRecords;

sub export { MeasdocRecords::export_data(@_) }

subtest 'no block' => sub {
    is_deeply(export({}), { commonHeaderData => {}, dataTypeDict => {} }, 'nothing at all');
    is_deeply(export({ header => [['vn', 'X', 0]], footer => [['ts', '1', 0]] }),
        { commonHeaderData => {}, dataTypeDict => {} }, 'header and footer alone give no entry');
};

# The records of the file of the older layout that the other tests convert.
subtest 'one block, one row' => sub {
    my $records = {
        header => [['cbt', '20050301140000.0+0100', 0], ['vn', 'X', 0], ['st', 'RNC', 0],
                   ['sn_SubNetwork', '1', 1], ['ffv', '1', 0]],
        footer => [['ts', '20050301141500.0+0100', 0]],
        blocks => [{
            common => [['nedn_SubNetwork', '1', 1], ['nedn_ManagedElement', '1', 1]],
            rows => [{
                unique => [['moid_ManagedElement', '1', 1], ['moid_UtranCell', 'C1', 1], ['gp', '900', 0],
                           ['mts', '20050301141500.0+0100', 0]],
                results => [['attA', '1'], ['attB', '2']],
                instances => [['moid_ManagedElement', '1', 1], ['moid_UtranCell', 'C1', 1]],
                suspect => [['sf', 'FALSE']],
                blockname => [['ManagedElement_UtranCell', undef]],
            }],
        }],
    };
    is_deeply(export($records), {
        commonHeaderData => {
            0 => { cbt => '20050301140000.0+0100', vn => 'X', st => 'RNC', sn_SubNetwork => '1', ffv => '1',
                   ts => '20050301141500.0+0100', nedn_SubNetwork => '1', nedn_ManagedElement => '1' },
        },
        dataTypeDict => {
            cbt => '0', vn => '0', st => '0', sn_SubNetwork => '1', ffv => '0', ts => '0',
            nedn_SubNetwork => '1', nedn_ManagedElement => '1',
            moid_ManagedElement => '1', moid_UtranCell => '1', gp => '0', mts => '0',
        },
        0 => {
            internalHeaderData => { moid_ManagedElement => '1', moid_UtranCell => 'C1', gp => '900',
                                    mts => '20050301141500.0+0100' },
            blockName => 'ManagedElement_UtranCell',
            0 => { pifData => { attA => '1', attB => '2', moid_ManagedElement => '1', moid_UtranCell => 'C1',
                                sf => 'FALSE' } },
        },
    }, 'every pair in its place');
};

subtest 'which pair wins' => sub {
    my $data = export({
        header => [['a', 'header', 0], ['b', 'header', 0], ['c', 'header', 0]],
        footer => [['b', 'footer', 2]],
        blocks => [
            { common => [['c', 'block 0', 1]] },
            { common => [['a', 'block 1', 0], ['a', 'block 1 again', 1]] },
        ],
    });
    is_deeply($data->{commonHeaderData}, {
        0 => { a => 'header', b => 'footer', c => 'block 0' },
        1 => { a => 'block 1 again', b => 'footer', c => 'header' },
    }, 'footer over header, block over both, later over earlier; each block on its own');
    is_deeply($data->{dataTypeDict}, { a => '1', b => '2', c => '0' },
        'one dictionary for the file: the pair filled in last wins (block 1 refills the header)');

    my $row = export({ blocks => [{ rows => [{
        results => [['x', 'result'], ['y', 'result'], ['z', 'result']],
        instances => [['y', 'instance'], ['z', 'instance']],
        suspect => [['z', 'suspect']],
    }] }] })->{0}{0}{pifData};
    is_deeply($row, { x => 'result', y => 'instance', z => 'suspect' }, 'counters, then instances, then suspect');
};

subtest 'the last row of a block gives its header and name' => sub {
    my $data = export({ blocks => [{ rows => [
        { unique => [['u', 'first', 0], ['only_first', '1', 0]], blockname => [['FIRST', undef]] },
        { unique => [['u', 'second', 2]], blockname => [['SECOND', undef], ['IGNORED', undef]] },
        { unique => [['u', 'third', 0]] },
    ] }] });
    is_deeply($data->{0}{internalHeaderData}, { u => 'third' }, 'the last row\'s header, not merged');
    is($data->{0}{blockName}, 'SECOND', 'the last named block name; only the first pair counts');
    is_deeply([sort grep { /^\d+$/ } keys %{ $data->{0} }], [0, 1, 2], 'every row');
    is_deeply($data->{dataTypeDict}, { u => '0', only_first => '0' }, 'every row\'s header reaches the dictionary');
    is_deeply($data->{0}{0}, { pifData => {} }, 'a row without counters');
};

subtest 'unnamed pairs and missing values' => sub {
    my $data = export({
        header => [[undef, 'no name', 1], ['h', undef, 0]],
        blocks => [{ rows => [{
            unique => [[undef, 'x', 2]],
            results => [['c', undef], [undef, '5']],
            blockname => [[undef, 'unnamed']],
        }] }],
    });
    is_deeply($data->{commonHeaderData}{0}, { h => '' }, 'an unnamed pair is skipped, a missing value is empty');
    is_deeply($data->{dataTypeDict}, { h => '0' }, 'nor does it reach the dictionary');
    is_deeply($data->{0}{internalHeaderData}, {}, 'row header');
    ok(!exists $data->{0}{blockName}, 'an unnamed block name is no block name');
    is_deeply($data->{0}{0}{pifData}, { c => '' }, 'counters');
};

subtest 'numbering' => sub {
    my $data = export({ blocks => [({ rows => [({}) x 12] }, {}) x 6] });
    is_deeply([sort { $a <=> $b } grep { /^\d+$/ } keys %$data], [0 .. 11], 'blocks 0 to 11');
    is_deeply([sort { $a <=> $b } keys %{ $data->{commonHeaderData} }], [0 .. 11], 'one header entry each');
    is_deeply([sort { $a <=> $b } grep { /^\d+$/ } keys %{ $data->{10} }], [0 .. 11], 'rows 0 to 11');
    is_deeply($data->{1}, {}, 'a block without rows has neither header nor name');
    is_deeply($data->{commonHeaderData}{1}, {}, 'nor common header');
};

subtest 'texts are passed as bytes' => sub {
    my $data = export({ blocks => [{ common => [["n\xc3\xa4me", "v\x{00}alue \"quoted\"", 0]] }] });
    is_deeply($data->{commonHeaderData}{0}, { "n\xc3\xa4me" => 'v' }, 'up to the terminator, no decoding');
};

done_testing();
