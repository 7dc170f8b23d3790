# The baselines the XML and BER benchmarks compare against: results compared whatever their
# order, the XML::LibXML and XML::Twig converters (and, on the measCollecFile, the Go and
# Python ones) on the small files in data/ whose results, written out by hand, expected/
# holds, the converters agreeing on generated files, and the Convert::ASN1 decode.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(source_dir build_dir scratch slurp spew run_command);
use lib source_dir() . '/bench/lib';
use BenchData qw(meas_content ber_octets xml_meas_collec xml_mdc);
use MeasXml qw(canonical go_converter result_rows rows_text go_rows csv_rows);

my ($t, $steps, $dir) = (source_dir() . '/bench/t', source_dir() . '/bench/steps', scratch());
my %a = (commonHeaderData => { 0 => { h => 'x' }, 1 => { h => 'y' } }, 0 => { n => 'A', 0 => { c => 1 } }, 1 => { n => 'B' });
my %b = (commonHeaderData => { 0 => { h => 'y' }, 1 => { h => 'x' } }, 0 => { n => 'B' }, 1 => { n => 'A', 0 => { c => '1' } });
is(canonical(\%a), canonical(\%b), 'results compare equal whatever the block order and number form');
$b{commonHeaderData}{0}{h} = 'x';
isnt(canonical(\%a), canonical(\%b), 'but not with a block under another block\'s header');
isnt(rows_text({ c => 1 }, { c => 3 }), rows_text({ c => 1, d => 2 }, { c => 3 }), 'a row without one of its values');

sub dump_of { my $r = run_command($^X, "$steps/$_[0]", $_[1], '--dump'); die "$_[0]: $r->{err}" if $r->{status}; $r->{out} }
sub python { run_command('/usr/bin/python3', @_) }

SKIP: {
    skip 'XML::LibXML and XML::Twig are installed by bench/install-bench-deps', 1
        unless eval { require XML::LibXML; require XML::Twig; 1 };
    # In collec.xml the footer's measCollec has no begin time: the header's stays; its end
    # time, which the header lacks, comes from the footer.
    for my $name (qw(collec mdc)) {
        my ($file, $expected) = ("$t/data/$name.xml", MeasXml::read_json("$t/expected/$name.json"));
        is(dump_of($_, $file), canonical($expected) . "\n", "$name: $_") for qw(xml-libxml.pl xml-twig.pl);
        next unless $name eq 'collec';
        # The row baselines hold the rows, and fail on results that do not pair up.
        my ($rows, $broken) = (rows_text(result_rows($expected)), spew("$dir/broken.xml", slurp($file) =~ s{1 2<}{1<}r));
        my ($go, $why) = go_converter(build_dir());
        SKIP: {
            skip $why, 2 unless $go;
            is(rows_text(go_rows(spew("$dir/go.json", run_command($go, $file)->{out}))), $rows, 'Go converter');
            isnt(run_command($go, $broken)->{status}, 0, 'Go converter: results that do not pair up fail');
        }
        SKIP: {
            skip 'python3-lxml is installed by bench/install-bench-deps', 2 if python('-c', 'import lxml.etree')->{status};
            python("$steps/lxml-csv.py", $file, $dir);
            is(rows_text(csv_rows($dir)), $rows, 'Python lxml converter');
            isnt(python("$steps/lxml-csv.py", $broken, $dir)->{status}, 0, 'Python: results that do not pair up fail');
        }
    }
    my $content = meas_content(ne => 6, infos => 4, rows => 5, counters => 8);
    for my $writer ([ collec => \&xml_meas_collec ], [ mdc => \&xml_mdc ]) {
        my $text = '';
        $writer->[1]->($content, sub { $text .= $_[0] });
        my $libxml = dump_of('xml-libxml.pl', spew("$dir/generated.xml", $text));
        ok($libxml =~ /pmRrcCounter08Of00/ && dump_of('xml-twig.pl', "$dir/generated.xml") eq $libxml,
           "$writer->[0]: the two converters agree on a generated file");
    }
}
my $ber = spew("$dir/meas.ber", ber_octets(meas_content(ne => 2, infos => 3, rows => 7, counters => 5, missing => 1)));
like(run_command($^X, "$steps/convert-asn1.pl", $ber)->{out}, qr/^BENCH-VALUES 42$/m, 'Convert::ASN1 decodes all 42 values');
done_testing;
