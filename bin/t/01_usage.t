# The command line as a user meets it: the manual, usage errors and configuration files
# that cannot be used all stop pm2pif with status 2 before anything is converted.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Pod::Checker;
use Pm2pifTest qw(pm2pif scratch sample spew source_dir);

subtest 'manual and version' => sub {
    my $help = pm2pif('--help');
    is($help->{status}, 0, '--help succeeds');
    like($help->{out}, qr/^NAME\n\s+pm2pif - convert measurement files/m, 'it prints the manual');
    like($help->{out}, qr/^CONFIGURATION$/m, 'with the configuration format');
    like($help->{out}, qr/^EXIT STATUS$/m, 'and the exit status');
    is(pm2pif('--version')->{out}, "pm2pif 1.00\n", '--version');
    my $checker = Pod::Checker->new(-warnings => 2);
    open my $null, '>', '/dev/null' or die;
    $checker->parse_from_file(source_dir() . '/bin/pm2pif', $null);
    is($checker->num_errors, 0, 'the POD has no errors');
    is($checker->num_warnings, 0, 'and no warnings');
};

subtest 'usage errors' => sub {
    my $dir = scratch();
    my $ber = sample('ber/meas-rnc.ber');
    my @cases = (
        [ [],                             qr/no input files/ ],
        [ [ '--bogus', $ber ],            qr/Unknown option: bogus/ ],
        [ [ '-j', '0', $ber ],            qr/--jobs wants a number of processes from 1 on, not '0'/ ],
        [ [ '-j', 'two', $ber ],          qr/--jobs wants a number/ ],
        [ [ '--kind', 'asn1', $ber ],     qr/--kind wants xml, ber or alcatel, not 'asn1'/ ],
        [ [ '-o', '', $ber ],             qr/--output is empty/ ],
    );
    for my $case (@cases) {
        my ($args, $message) = @$case;
        my $run = pm2pif({ cwd => $dir }, @$args);
        is($run->{status}, 2, "status 2 for (@$args)");
        like($run->{err}, $message, '  with the reason');
        like($run->{err}, qr/^Usage: pm2pif \[OPTIONS\] FILE\|DIR\.\.\./m, '  and the usage line');
    }
    ok(!-e "$dir/out", 'nothing was written');
};

subtest 'configuration files that cannot be used' => sub {
    my $dir = scratch();
    my $ber = sample('ber/meas-rnc.ber');
    my @cases = (
        [ undef,                                        qr/cannot read: No such file/ ],
        [ '{"xml": ',                                   qr/not valid JSON/ ],
        [ '[1, 2]',                                     qr/the top level must be an object/ ],
        [ '{"asn1": {}}',                               qr/unknown section "asn1"/ ],
        [ '{"xml": {"threadNumbers": 2}}',              qr/xml\.threadNumbers is neither an XML item/ ],
        [ '{"xml": {"xmlFileName": "x.xml"}}',          qr/xml\.xmlFileName cannot be set/ ],
        [ '{"xml": {"mdc": {"bogus": 1}}}',             qr/xml\.mdc\.bogus is no XML item/ ],
        [ '{"xml": {"headerElementNames": [["a"]]}}',   qr/xml\.headerElementNames: values must be texts/ ],
        [ '{"xml": {"altOutputBlockNames": ["a"]}}',    qr/must pair up/ ],
        [ '{"ber": {"ASN1_FILENAME": {}}}',             qr/unknown key ber\.ASN1_FILENAME/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": "x"}}',   qr/must be an object or a list of \[name, value\] pairs/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": [["A"]]}}', qr/a list must hold \[name, value\] pairs/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": {"A": null}}}', qr/FILENAME_HEADER_FIELDS\.A: the value must be a text/ ],
        [ '{"ber": {"ASN1_HEADER_INFO_FOR_PIF_FILENAME": "senderType"}}', qr/must be a list of field names/ ],
        [ '{"xml": {"threadNumber": "two"}}',           qr/xml\.threadNumber: "two" is no whole number/ ],
        [ '{"xml": {"mdc": {"threadNumber": 99}}}',     qr/xml\.mdc\.threadNumber: 99 is outside 0 to 8/ ],
        [ '{"xml": {"xmlDocumentType": "1 "}}',         qr/xml\.xmlDocumentType: "1 " is no whole number/ ],
        [ '{"ber": {"ASN1_OBJECT_INSTANCE_ID_DESCRIPTION": [["RNC", "(rnc)"], ["Cell", "cell=(\\\\d+"]]}}',
            qr/ber\.ASN1_OBJECT_INSTANCE_ID_DESCRIPTION\.Cell: the pattern "cell=\(\\d\+" does not compile: Unmatched \( or \\\(/ ],
        [ '{"ber": {"FILENAME_HEADER_FIELDS": {"T": ["[z-a]", "("]}}}', qr/FILENAME_HEADER_FIELDS\.T: .*"\[z-a\]".*: Invalid range end/ ],
        [ '{"alcatel": {"maxRelease": "nine"}}',        qr/alcatel\.maxRelease must be a whole number/ ],
        [ '{"alcatel": {"minRelease": 5, "maxRelease": 4}}', qr/minRelease is above alcatel\.maxRelease/ ],
        [ '{"alcatel": {"omc": "OMC1"}}',               qr/unknown key alcatel\.omc/ ],
        [ '{"alcatel": {"blockLayout": "missing.cfg"}}', qr/block-layout file \S+missing\.cfg was not loaded: .*Failed to open file/ ],
    );
    my $n = 0;
    for my $case (@cases) {
        my ($text, $message) = @$case;
        my $config = "$dir/config" . ++$n . '.json';
        spew($config, $text) if defined $text;
        my $run = pm2pif({ cwd => $dir }, '-c', $config, '-o', "out$n", $ber);
        is($run->{status}, 2, 'status 2 for ' . ($text // 'a missing file'));
        like($run->{err}, qr/^pm2pif: configuration \Q$config\E: .*$message/m, '  with the reason');
        ok(!-e "$dir/out$n/OBJ-#-RNC-#-05Dec2026-#-14:45:00-#-900-#-0-#-I.pif", '  and nothing converted');
    }
};

subtest 'an output directory that cannot be made' => sub {
    my $dir = scratch();
    spew("$dir/taken", '');
    my $run = pm2pif({ cwd => $dir }, '-o', 'taken/out', sample('ber/meas-rnc.ber'));
    is($run->{status}, 2, 'status 2');
    like($run->{err}, qr/^pm2pif: cannot create the output directory taken\/out: /m, 'it says which');
};

done_testing;
