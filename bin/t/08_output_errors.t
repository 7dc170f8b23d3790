# Output that does not arrive is a failure: standard output on a full disk, and a module
# log that cannot be written still lets the module's reason reach the message.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use JSON::PP qw(encode_json);
use Test::More;
use Pm2pifTest qw(pm2pif scratch sample spew slurp fake_dir summary_of output_files);

plan skip_all => 'no /dev/full' unless -c '/dev/full';

subtest 'standard output on a full disk' => sub {
    my $dir = scratch();
    spew("$dir/a.xml", qq{<measCollecFile><!--FAKE {"data": {"0": {"blockName": "B"}}} --></measCollecFile>\n});
    my $run = pm2pif({ inc => [ fake_dir() ], cwd => $dir, stdout => '/dev/full' }, '--raw-json', 'a.xml');
    is($run->{status}, 1, '--raw-json fails');
    like($run->{err}, qr/^pm2pif: a\.xml: cannot print the JSON text: No space left on device$/m, '  naming the file');
    is(summary_of($run->{err} =~ s/shown as JSON/0 PIF files, 0 lines/r)->{failed}, 1, '  and counting it');
    for my $option ('--version', '--help') {
        $run = pm2pif({ stdout => '/dev/full' }, $option);
        is($run->{status}, 2, "$option fails");
        like($run->{err}, qr/^pm2pif: cannot write standard output: No space left on device$/m, '  saying why');
    }
};

subtest 'module logs that cannot be written' => sub {
    my $dir = scratch();
    mkdir "$dir/logs" or die;
    symlink '/dev/full', "$dir/logs/$_" or die for qw(bermeas.log radiobin.log);
    spew("$dir/validate.json", encode_json({ ber => { ASN1_3GPP_FILENAME_VALIDATION => { A => '^A\d{8}' } },
        alcatel => { blockLayout => sample('alcatel/blocks.cfg'), maxRelease => 2 } }));
    my $run = pm2pif({ cwd => $dir }, '-c', 'validate.json', '--log-dir', 'logs', sample('ber/meas-rnc.ber'),
        sample('alcatel/PMRES011.01a.3.'));
    is($run->{status}, 1, 'the files fail');
    like($run->{err}, qr/meas-rnc\.ber: Filename validation failed\. Not compliant with 3GPP specifications$/m,
        'BerMeas\'s reason reaches the message');
    like($run->{err}, qr/PMRES011\.01a\.3\.: radiobin result -2 \(release outside the configured range\): \S.*release/mi,
        'and radiobin\'s');
    like($run->{err}, qr/meas-rnc\.ber: warning: cannot write \S+bermeas\.log: No space left on device/m,
        'with a warning that the log lost it');
};

done_testing;
