# The XML path against a double of measdoc (fake/measdoc.pm) that keeps its host interface:
# --raw-json, and measdoc reporting an error, failing to start or taking its process down.
use strict;
use warnings;
use JSON::PP qw(encode_json decode_json);
use Test::More;
use PmBuild ();
use PmTest qw(cases pm2pif scratch sample spew slurp output_files fake_dir summary_of source_dir);

my $fake = { inc => [ fake_dir() ] };

# A file of the layout whose root is $root, telling the double what to do, then the plan's body.
sub fake_xml { my ($path, $root, $plan) = @_; my $body = delete $plan->{body} // '';
               spew($path, qq{<?xml version="1.0"?>\n<$root>\n<!--FAKE } . encode_json($plan) . qq{ -->\n$body</$root>\n}) }

# What the double's measdoc_data returns: two blocks, the first with a suspect row.
my $data = decode_json(slurp(source_dir() . '/bin/t/expected/fake-data.json'));

subtest '--raw-json' => sub {
    my $dir = scratch();
    fake_xml("$dir/a.xml", 'measCollecFile', { data => $data });
    my $run = pm2pif({ %$fake, cwd => $dir }, '--raw-json', 'a.xml', sample('ber/meas-rnc.ber'));
    is_deeply(decode_json($run->{out}), $data, 'standard output holds the hash');
    like($run->{out}, qr/\A\{\n   "0" : \{/, 'pretty, with sorted keys');
    ok(!-e "$dir/out", 'no PIF file and no output directory');
    like($run->{err}, qr/meas-rnc\.ber: --raw-json shows XML files only, and this is a BER file$/m, 'a BER file fails');
    like($run->{err}, qr/1 file converted \(1 XML\), 1 failed, 0 skipped; shown as JSON;/, 'the summary says so');
};

subtest 'failures reported by measdoc' => sub {
    my $dir = scratch();
    local $ENV{FAKE_MEASDOC_LOG} = "$dir/cycles.log";
    # What the double does with each file; the data above unless the plan gives its own. 6-entity
    # is converted by the double, but the second data section of its body has no element measured.
    my $plans = decode_json(slurp(source_dir() . '/bin/t/expected/measdoc-plans.json'));
    fake_xml("$dir/$_.xml", delete $plans->{$_}{root}, { data => $data, %{ $plans->{$_} } }) for keys %$plans;
    my $run = pm2pif({ %$fake, cwd => $dir }, map { "$_.xml" } sort keys %$plans);
    is($run->{status}, 1, 'status 1');
    is_deeply([ grep { !/ converted .* failed/ } split /\n/, $run->{err} ], [ map { $_->[0] } cases('bin/t/expected/measdoc-failures.txt') ],
        'each file with the reason, then measdoc\'s message; a section skipped with its values fails the file');
    is_deeply([ sort keys %{ output_files("$dir/out") } ], [
        'RncFunction_UtranCell-#-4-good-#-0-#-I.pif', 'XMLDATA-#-4-good-#-1-#-I.pif' ], 'only the good file is written');
    my @pids = map { decode_json($_)->{pid} } split /\n/, slurp("$dir/cycles.log");
    is(scalar @pids, 7, 'seven cycles');
    is($pids[0], $pids[2], 'errors in a run leave the process usable');
    isnt($pids[4], $pids[3], 'a failed start-up makes a new process take the next file');
};

subtest 'a process that dies takes only its file' => sub {
    my $dir = scratch();
    fake_xml("$dir/f$_.xml", 'measCollecFile', { data => $data, $_ == 2 ? (crash => 1) : () }) for 1 .. 4;
    for my $jobs (1, 2) {
        my $run = pm2pif({ %$fake, cwd => $dir }, '-j', $jobs, '-o', "out$jobs", map {"f$_.xml"} 1 .. 4);
        like($run->{err}, qr/^pm2pif: f2\.xml: the converting process ended abruptly \(signal 9\)$/m, "-j $jobs: named");
        is_deeply(summary_of($run->{err}), { converted => 3, failed => 1, skipped => 0, files => 6, lines => 3 * (11 + 7) },
            '  the others convert');
    }
};

done_testing;
