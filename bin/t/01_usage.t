# The command line as a user meets it: the manual, and command lines and configuration files
# that stop pm2pif with status 2 before anything is converted (checked in-process, a few run).
use strict;
use warnings;
use Test::More;
use PmBuild ();
use Pod::Checker;
use Pm2pif ();
use Pm2pif::Config qw(load_config xml_items);
use PmTest qw(cases pm2pif scratch sample spew work_dir source_dir);

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
    for my $case (cases('bin/t/expected/refused-options.txt')) {
        my @args = map { $_ eq "''" ? '' : $_ } split ' ', $case->[0];
        like(eval { Pm2pif::parse_options([@args]); '' } // $@, qr/$case->[1]/, "(@args)");
    }
    is(Pm2pif::parse_options([qw(--max-decompressed 3K x)])->{'max-decompressed'}, 3 << 10, 'K is 2^10');
    is_deeply([ @{ Pm2pif::parse_options(['--json', 'x']) }{qw(format output)} ], [ 'json', '-' ], '--json is -f json -o -');
};

subtest 'configuration files that cannot be used' => sub {
    my $dir = scratch();
    my $n = 0;
    for my $case (cases('bin/t/expected/refused-configs.txt')) {
        my ($text, $reason) = @$case;
        my $config = "$dir/config" . ++$n . '.json';
        spew($config, $text) if length $text;
        like(eval { load_config($config); '' } // $@, qr/$reason/, length $text ? $text : 'a missing file');
    }
};

subtest 'a refusal reaches the user: status 2, the reason, nothing converted' => sub {
    my $dir = work_dir('bad.json' => '{"xml": ', 'layout.json' => '{"alcatel": {"blockLayout": "missing.cfg"}}', taken => '');
    for my $case (cases('bin/t/expected/refused-runs.txt')) {
        my $run = pm2pif({ cwd => $dir }, map { $_ eq 'BER' ? sample('ber/meas-rnc.ber') : $_ } split ' ', $case->[0]);
        is($run->{status}, 2, "status 2 for ($case->[0])");
        like($run->{err}, qr/$case->[1]/, '  with the reason');
    }
    is_deeply([ glob "$dir/out/*.pif" ], [], 'nothing converted');
};

subtest 'XML items: the layout, then the items for every file, then the root\'s own' => sub {
    my $config = load_config(work_dir('c.json' => { xml => { threadNumber => 2, altCounterNullValue => 0,
        mdc => { threadNumber => '3' }, statsFile => { altOutputBlockNames => { B => 'b', A => 'a' } } } }) . '/c.json');
    is_deeply([ @{ xml_items($config, 'mdc') }{qw(xmlDocumentType threadNumber altCounterNullValue)} ], [ ['0'], ['3'], ['0'] ],
        'mdc: its layout\'s type, its own thread count, the null value of every file');
    is_deeply(xml_items($config, 'statsFile')->{altOutputBlockNames}, [qw(A a B b)], 'a map as sorted pairs');
};

done_testing;
