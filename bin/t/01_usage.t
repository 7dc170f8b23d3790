# The command line as a user meets it: the manual, and command lines and configuration
# files that cannot be used, which stop pm2pif with status 2 before anything is converted.
# The checks themselves run in-process (Pm2pif::parse_options, Pm2pif::Config); a few
# runs show how a refusal reaches the user.
use strict;
use warnings;
use Test::More;
use PmBuild ();
use Pod::Checker;
use Pm2pif ();
use Pm2pif::Config qw(load_config xml_items);
use PmTest qw(pm2pif scratch sample spew source_dir);

subtest 'manual and version' => sub {
    my $help = pm2pif('--help');
    is($help->{status}, 0, '--help succeeds');
    like($help->{out}, qr/^$_$/m, "it prints the manual: $_") for 'NAME', 'CONFIGURATION', 'EXIT STATUS';
    is(pm2pif('--version')->{out}, "pm2pif 1.00\n", '--version');
    my $checker = Pod::Checker->new(-warnings => 2);
    open my $null, '>', '/dev/null' or die;
    $checker->parse_from_file(source_dir() . '/bin/pm2pif', $null);
    is($checker->num_errors + $checker->num_warnings, 0, 'the POD has no errors and no warnings');
};

subtest 'command lines that are refused' => sub {
    my @cases = (
        [ [],                                 qr/no input files/ ],
        [ [qw(-j 0 x)],                       qr/--jobs wants a number of processes from 1 on, not '0'/ ],
        [ [qw(-j two x)],                     qr/--jobs wants a number/ ],
        [ [qw(--kind asn1 x)],                qr/--kind wants xml, ber or alcatel, not 'asn1'/ ],
        [ [ '-o', '', 'x' ],                  qr/--output is empty/ ],
        [ [qw(--format xls x)],               qr/--format wants csv, influx, json, jsonl, pif, ves, not 'xls'/ ],
        [ [qw(-o - --format pif x)],          qr/--format pif writes a file per block, which standard output cannot/ ],
        [ [qw(-o - --format ves x)],          qr/--format ves writes a document per input/ ],
        [ [qw(--json --format csv x)],        qr/--json is --format json, and --format says csv/ ],
        [ [qw(--json --raw-json x)],          qr/--json and --raw-json exclude each other/ ],
        [ [qw(--raw-json -o d x)],            qr/--raw-json prints on standard output: --output must be -, not 'd'/ ],
        [ [qw(- -)],                          qr/standard input \(-\) can be read once/ ],
        [ [qw(--max-decompressed lots x)],    qr/--max-decompressed wants a size in octets/ ],
    );
    for my $case (@cases) {
        my ($args, $reason) = @$case;
        like(eval { Pm2pif::parse_options([@$args]); '' } // $@, $reason, "(@$args)");
    }
    is(Pm2pif::parse_options([qw(--max-decompressed 3K x)])->{'max-decompressed'}, 3 << 10, 'K is 2^10');
    is_deeply([ @{ Pm2pif::parse_options(['--json', 'x']) }{qw(format output)} ], [ 'json', '-' ], '--json is -f json -o -');
};

subtest 'configuration files that cannot be used' => sub {
    my $dir = scratch();
    my @cases = (
        [ undef,                                        qr/cannot read: No such file/ ],
        [ '{"xml": ',                                   qr/not valid JSON/ ],
        [ '[1, 2]',                                     qr/the top level must be an object/ ],
        [ '{"asn1": {}}',                               qr/unknown section "asn1"/ ],
        [ '{"xml": {"threadNumbers": 2}}',              qr/xml\.threadNumbers is neither an XML item/ ],
        [ '{"xml": {"xmlFileName": "x.xml"}}',          qr/xml\.xmlFileName cannot be set/ ],
        [ '{"xml": {"mdc": {"bogus": 1}}}',             qr/xml\.mdc\.bogus is no XML item/ ],
        [ '{"xml": {"altOutputBlockNames": ["a"]}}',    qr/must pair up/ ],
        [ '{"xml": {"threadNumber": "two"}}',           qr/xml\.threadNumber: "two" is no whole number/ ],
        [ '{"xml": {"mdc": {"threadNumber": 99}}}',     qr/xml\.mdc\.threadNumber: 99 is outside 0 to 8/ ],
        [ '{"ber": {"ASN1_FILENAME": {}}}',             qr/unknown key ber\.ASN1_FILENAME/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": "x"}}',   qr/must be an object or a list of \[name, value\] pairs/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": {"A": null}}}', qr/FILENAME_HEADER_FIELDS\.A: the value must be a text/ ],
        [ '{"ber": {"ASN1_HEADER_INFO_FOR_PIF_FILENAME": "senderType"}}', qr/must be a list of field names/ ],
        [ '{"ber": {"ASN1_OBJECT_INSTANCE_ID_DESCRIPTION": [["RNC", "(rnc)"], ["Cell", "cell=(\\\\d+"]]}}',
            qr/ber\.ASN1_OBJECT_INSTANCE_ID_DESCRIPTION\.Cell: the pattern "cell=\(\\d\+" does not compile: Unmatched \( or \\\(/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": {"T": ["[z-a]", "("]}}}', qr/FILENAME_HEADER_FIELDS\.T: .*"\[z-a\]".*: Invalid range end/ ],
        [ '{"alcatel": {"maxRelease": "nine"}}',        qr/alcatel\.maxRelease must be a whole number/ ],
        [ '{"alcatel": {"minRelease": 5, "maxRelease": 4}}', qr/minRelease is above alcatel\.maxRelease/ ],
    );
    my $n = 0;
    for my $case (@cases) {
        my ($text, $reason) = @$case;
        my $config = "$dir/config" . ++$n . '.json';
        spew($config, $text) if defined $text;
        like(eval { load_config($config); '' } // $@, $reason, $text // 'a missing file');
    }
};

subtest 'a refusal reaches the user: status 2, the reason, nothing converted' => sub {
    my $dir = scratch();
    spew("$dir/bad.json", '{"xml": ');
    spew("$dir/layout.json", '{"alcatel": {"blockLayout": "missing.cfg"}}');
    spew("$dir/taken", '');
    my $ber = sample('ber/meas-rnc.ber');
    for my $case ([ [ '-j', 0, $ber ], qr/\Apm2pif: --jobs wants .*\nUsage: pm2pif \[OPTIONS\] FILE\|DIR\.\.\.\n/ ],
                  [ [ '-c', 'bad.json', $ber ], qr/\Apm2pif: configuration bad\.json: not valid JSON/ ],
                  [ [ '-c', 'layout.json', $ber ],
                    qr/\Apm2pif: configuration layout\.json: the block-layout file \S+missing\.cfg was not loaded: .*Failed to open file/ ],
                  [ [ '-o', 'taken/out', $ber ], qr/\Apm2pif: cannot create the output directory taken\/out: / ]) {
        my $run = pm2pif({ cwd => $dir }, @{ $case->[0] });
        is($run->{status}, 2, "status 2 for (@{ $case->[0] })");
        like($run->{err}, $case->[1], '  with the reason');
    }
    is_deeply([ glob "$dir/out/*.pif" ], [], 'nothing converted');
};

subtest 'XML items: the layout, then the items for every file, then the root\'s own' => sub {
    my $dir = scratch();
    spew("$dir/c.json", '{"xml": {"threadNumber": 2, "altCounterNullValue": 0, "mdc": {"threadNumber": "3"},'
        . ' "statsFile": {"altOutputBlockNames": {"B": "b", "A": "a"}}}}');
    my $config = load_config("$dir/c.json");
    is_deeply([ @{ xml_items($config, 'mdc') }{qw(xmlDocumentType threadNumber altCounterNullValue)} ], [ ['0'], ['3'], ['0'] ],
        'mdc: its layout\'s type, its own thread count, the null value of every file');
    is_deeply(xml_items($config, 'statsFile')->{altOutputBlockNames}, [qw(A a B b)], 'a map as sorted pairs');
};

done_testing;
