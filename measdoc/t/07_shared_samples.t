# Published sample files that stay out of the repository for their licence: read from
# ../shared/samples next to the checkout when it is there. They carry the standard's
# annex example in both layouts.
use strict;
use warnings;

use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;

use measdoc;
use MeasdocTest;

my $mdc = shared_sample('32401-mdc-xml', 'teed_mdc_c3_1.xml');
plan skip_all => 'the shared samples are not next to the checkout' unless $mdc;

sub convert {
    my ($file, @items) = @_;
    my $result = cycle($file, @items);
    is($result->{run}, 0, 'run') or diag($result->{error});
    is_deeply($result->{warnings}, [], 'no warning');
    return $result->{data};
}

my @names = qw(attTCHSeizures succTCHSeizures attImmediateAssignProcs succImmediateAssignProcs);
my @rows = (
    [997, [234, 345, 567, 789]],
    [998, [890, 901, 123, 234]],
    [999, [456, 567, 678, 789]],
);

# The counters of the annex example's rows, the object's components under prefix.
sub annex_rows {
    my ($prefix, $flag) = @_;
    my %block;
    for my $i (0 .. $#rows) {
        my ($cell, $values) = @{ $rows[$i] };
        my %counters;
        @counters{@names} = @$values;
        $counters{"${prefix}_RncFunction"} = 'RF-1';
        $counters{"${prefix}_UtranCell"} = "Gbg-$cell";
        $counters{$flag} = 'TRUE' if $cell == 999;
        $block{$i} = { pifData => \%counters };
    }
    return %block;
}

my $dn = 'DC=a1.companyNN.com,SubNetwork=1,IRPAgent=1,SubNetwork=CountryNN,MeContext=MEC-Gbg1,ManagedElement=RNC-Gbg-1';
my %dn_parts = (DC => 'a1.companyNN.com', SubNetwork => '1', IRPAgent => '1', SubNetwork_1 => 'CountryNN',
    MeContext => 'MEC-Gbg1', ManagedElement => 'RNC-Gbg-1');

subtest 'the older layout' => sub {
    my %header = (
        ffv => '"32.401 V5.0"', st => 'RNC', vn => '"Company NN"', cbt => '20210301141500', ts => '20210301143000',
        (map { ("sn_$_" => $dn_parts{$_}, "nedn_$_" => $dn_parts{$_}) } keys %dn_parts),
    );
    my $expected = {
        commonHeaderData => { 0 => \%header },
        dataTypeDict => {
            (map { $_ => '0' } qw(ffv st vn cbt ts mts gp)),
            (map { ("sn_$_" => '1', "nedn_$_" => '1') } keys %dn_parts),
            moid_RncFunction => '1', moid_UtranCell => '1',
        },
        0 => {
            internalHeaderData => { mts => '20210301143000', gp => '900', moid_RncFunction => 'RF-1',
                                    moid_UtranCell => 'Gbg-999' },
            blockName => 'RncFunction_UtranCell',
            annex_rows('moid', 'sf'),
        },
    };
    my $data = convert($mdc);
    is_deeply($data, $expected, 'the whole result');
    my $numbered = shared_sample('32401-mdc-xml', 'teed_mdc_c3_2.xml');
    is_deeply(convert($numbered), $expected, 'the same with numbered counters: the numbers are not read')
        if $numbered;
};

subtest 'the measCollecFile layout' => sub {
    my $file = shared_sample('32435-xml', 'teed_meas_c4_2.xml') or plan skip_all => 'not there';
    my $data = convert($file, xmlDocumentType => ['1'], measureTypeElementSeq => ['measType'],
        measurementResultsElementSeq => ['r'], suspectFlagElementName => ['suspect'],
        distinguishedNameElementNames => ['measValue.measObjLdn']);
    my %expected = annex_rows('measObjLdn', 'suspect');
    is_deeply({ map { $_ => $data->{0}{$_} } keys %expected }, \%expected, 'the counters of every row');
    is($data->{0}{blockName}, 'RncFunction_UtranCell', 'block name');
    is($data->{commonHeaderData}{0}{dnPrefix}, 'DC=a1.companyNN.com,SubNetwork=1,IRPAgent=1', 'a header field');
};

done_testing();
