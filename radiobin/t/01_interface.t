# Host functions: loading, prototypes, usage texts, result values and the log line.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Errno qw(EINVAL);
use Test::More;

BEGIN { $ENV{TZ} = 'UTC' }
use_ok('radiobin');
use RadiobinTest qw(scratch fresh_log log_messages slurp load_config);

is($radiobin::VERSION, '0.01', 'module version');
is(prototype(\&radiobin::constant), '$$', 'constant prototype');
is(prototype(\&radiobin::logopen), '$$', 'logopen prototype');
is(prototype(\&radiobin::config_initialise), '$$$', 'config_initialise prototype');
is(prototype(\&radiobin::process_file), '$$$$$', 'process_file prototype');

my %usage = (
    constant => [ 'radiobin::constant(name, arg)', ['x'] ],
    logopen => [ 'radiobin::logopen(log_file_name, log_level)', ['x'] ],
    config_initialise => [ 'radiobin::config_initialise(config_filename, config_min_version, config_max_version)',
                           ['x', 1] ],
    process_file => [ 'radiobin::process_file(in_file, out_dir, omc_name, network_id, region_id)',
                      ['a', 'b', 'c', 'd', 'e', 'f'] ],
);
for my $f (sort keys %usage) {
    my ($text, $args) = @{ $usage{$f} };
    no strict 'refs';
    my $code = \&{"radiobin::$f"};
    eval { $code->(@$args) };
    like($@, qr/^Usage: \Q$text\E/, "$f with the wrong number of arguments croaks with its usage");
}

$! = 0;
my $c = radiobin::constant('ANY_NAME', 7);
my $errno = $! + 0;
is($c, 0, 'constant returns 0');
is($errno, EINVAL, 'constant sets errno to EINVAL');

# Log lines: format, level filter, appended across calls.
my $log = fresh_log(1);
is(radiobin::config_initialise('', 0, 9), 2, 'no configuration file name fails');
my $text = slurp($log);
like($text, qr/^\[$$\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} 1:1 ERROR: Config data must be supplied\n\z/,
     'log line: pid, ctime text, configured and message level, message, line feed');
is(radiobin::config_initialise(scratch() . '/missing.cfg', 0, 9), 2, 'missing configuration file fails');
is_deeply(log_messages($log), ['1:ERROR: Config data must be supplied', '1:WARNING : Failed to open file '
          . scratch() . '/missing.cfg', "1:ERROR: Configuration file read error.\n"],
          'level-1 log keeps level-1 lines and drops the level-8 ones');

$log = fresh_log(2);
my ($rc, $second) = radiobin::process_file(scratch() . '/nothing.bin', scratch(), 'O', 'N', 'R');
is($rc, -1, 'missing input file: -1');
is($second, -1, 'missing input file: the code again as second value');
is_deeply(log_messages($log), ['2:WARNING : Failed to open file: ' . scratch() . '/nothing.bin'],
          'missing input file is logged at level 2');

$log = fresh_log(1);
radiobin::process_file(scratch() . '/nothing.bin', scratch(), 'O', 'N', 'R');
ok(!-e $log, 'a level-2 warning writes nothing at log level 1');

# A log file that cannot be opened loses its lines but does not stop the call.
radiobin::logopen(scratch() . '/no/such/dir/x.log', 9);
is(load_config("BLOCK 1 COUNTER := \"a\" OFFSET := 0 SIZE := 1 END\n"), 0, 'unwritable log: load still works');

# The log name is cut to 199 characters.
my $long = scratch() . '/' . ('L' x 300);
radiobin::logopen($long, 1);
radiobin::config_initialise('', 0, 0);
ok(-e substr($long, 0, 199), 'log file name cut to 199 characters');

# The module's .so finds zelpaal beside it.
my ($so) = grep { -e } map { "$_/auto/radiobin/libzelpaal.so" } @INC;
ok($so, 'libzelpaal.so is installed beside the module');

done_testing;
