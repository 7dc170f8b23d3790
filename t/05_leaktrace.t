# The host functions of the three modules leave no Perl value behind: every call, on
# good input and on input that fails, and every wrong argument count, is traced with
# Test::LeakTrace (values created during the call that outlive it).
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use BrokenInput qw(write_file scratch source_dir);

use PmBuild ();
use PmTest qw(example_config rnc_file_name);
use Test::More;
use Test::LeakTrace;

use BerMeas;
use measdoc;
use radiobin;

my $dir = scratch();
chdir $dir or die "$dir: $!\n";
mkdir "$dir/out";
my $ber = source_dir() . '/samples/ber/meas-rnc.ber';
my $junk = write_file("$dir/junk", "\x30\x84\x7f\xff\xff\xff" . 'x' x 100);

subtest 'BerMeas' => sub {
    my $config = example_config();
    no_leaks_ok { BerMeas::set_config($config); BerMeas::delete_config() } 'set_config and delete_config';
    no_leaks_ok { BerMeas::set_config({ DIRECTORY_HEADER_FIELDS => [1], FILENAME_HEADER_FIELDS => { F => [undef, \1] } });
                  BerMeas::delete_config() } 'a configuration of the wrong kinds';
    BerMeas::set_config($config);
    no_leaks_ok { my $ok = BerMeas::process_file($ber, rnc_file_name(), "$dir/out") } 'a conversion';
    no_leaks_ok { my $ok = BerMeas::process_file($junk, rnc_file_name(), "$dir/out") } 'a conversion that fails';
    no_leaks_ok { my $ok = BerMeas::process_file($ber, 'refused', "$dir/out") } 'a refused name';
    no_leaks_ok { my $ok = BerMeas::process_file($ber, rnc_file_name(), '') } 'an empty output directory';
    no_leaks_ok { eval { BerMeas::process_file($ber) } } 'a wrong argument count';
    no_leaks_ok { eval { BerMeas::set_config() } } 'set_config without its argument';
    BerMeas::delete_config();
};

subtest 'radiobin' => sub {
    my $layout = source_dir() . '/samples/alcatel/blocks.cfg';
    my $sample = source_dir() . '/samples/alcatel/PMRES011.01a.3.';
    no_leaks_ok { radiobin::logopen("$dir/radiobin.log", 5) } 'logopen';
    no_leaks_ok { my $rc = radiobin::config_initialise($layout, 0, 9) } 'config_initialise';
    no_leaks_ok { my $rc = radiobin::config_initialise($junk, 0, 9) } 'config_initialise that fails';
    radiobin::config_initialise($layout, 0, 9);
    no_leaks_ok { my @r = radiobin::process_file($sample, "$dir/out", 'OMC', 'N', 'R') } 'a conversion';
    no_leaks_ok { my @r = radiobin::process_file($junk, "$dir/out", 'OMC', 'N', 'R') } 'a conversion that fails';
    no_leaks_ok { my @r = radiobin::process_file($sample, "$dir/no/such", 'OMC', 'N', 'R') } 'an output that cannot be written';
    no_leaks_ok { my $v = radiobin::constant('x', 1) } 'constant';
    no_leaks_ok { eval { &radiobin::process_file($sample) } } 'a wrong argument count';
};

subtest 'measdoc' => sub {
    my $good = source_dir() . '/samples/xml/gen_mdc.xml';
    my $cycle = sub {
        my ($file) = @_;
        measdoc::measdoc_add_config($file);
        measdoc::measdoc_set_xmlFileName();
        measdoc::measdoc_add_config($_) for '^pm(.*)$[]$1', '(';
        measdoc::measdoc_set_altCounterNames();
        measdoc::measdoc_init();
        my $run = measdoc::measdoc_run();
        my $error = measdoc::measdoc_error();
        my @warnings;
        while (defined(my $w = measdoc::measdoc_warning())) { push @warnings, $w }
        my $data = measdoc::measdoc_data();
        my @blocks = map { measdoc::measdoc_block($_) } 0 .. measdoc::measdoc_block_count();
        my $types = measdoc::measdoc_data_types();
        my $configuration = measdoc::measdoc_configuration();
        measdoc::measdoc_deinit();
    };
    no_leaks_ok { $cycle->($good) } 'a whole cycle';
    no_leaks_ok { $cycle->($junk) } 'a whole cycle on a file that fails';
    no_leaks_ok { measdoc::measdoc_add_config("a\0b"); my $e = measdoc::measdoc_error() } 'a value refused';
    no_leaks_ok { measdoc::measdoc_add_config('x'); measdoc::measdoc_set_threadNumber();
                  measdoc::measdoc_add_config('y'); measdoc::measdoc_set_threadNumber();
                  my $e = measdoc::measdoc_error(); measdoc::measdoc_init(); measdoc::measdoc_deinit() }
        'a setting refused';
    no_leaks_ok { eval { measdoc::measdoc_add_config() }; eval { measdoc::measdoc_run(1) } } 'wrong argument counts';
};

chdir '/';
done_testing;
