# Host functions: usage texts, result values, arguments the C library would misread,
# and the log: its line, its level filter, and names it cannot take.
use strict;
use warnings;
use Errno qw(EINVAL);
use POSIX qw(PATH_MAX);
use Test::More;
BEGIN { $ENV{TZ} = 'UTC' }
use PmBuild ();
use PmTest qw(cases sample slurp deep_dir fresh_log log_messages load_config);
use radiobin;

is($radiobin::VERSION, '0.01', 'module version');
for (cases('radiobin/t/expected/usages.txt')) {
    my ($f, $args, @args) = @$_;
    eval { no strict 'refs'; &{"radiobin::$f"}(@args) };
    like($@, qr/^Usage: radiobin::\Q$f$args\E/, "$f with the wrong number of arguments croaks with its usage");
}
$! = 0;
is_deeply([radiobin::constant('ANY_NAME', 7), $! + 0], [0, EINVAL], 'constant returns 0 and sets errno to EINVAL');

my $dir = PmTest::radiobin_dir();
my $log = fresh_log(1);
is(radiobin::config_initialise('', 0, 9), 2, 'no configuration file name fails');
like(slurp($log), qr/^\[$$\] \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4} 1:1 ERROR: Config data must be supplied\n\z/,
     'log line: pid, ctime text, configured and message level, message, line feed');
is(radiobin::config_initialise("$dir/missing.cfg", 0, 9), 2, 'a missing configuration file fails');
is_deeply(log_messages($log), ['1:ERROR: Config data must be supplied', "1:WARNING : Failed to open file $dir/missing.cfg",
          "1:ERROR: Configuration file read error.\n"], 'the log keeps its level and drops the lines of level 8');

my $sample = sample('alcatel/PMRES011.01a.3.');
$log = fresh_log(2);
# A NUL would make the C library see a shorter text: another file, a cut header value.
is_deeply([map { [&radiobin::process_file(@$_)] } ["$dir/nothing.bin", $dir, 'O', 'N', 'R'],
              ["$sample\0.other", $dir, 'O', 'N', 'R'], [$sample, $dir, "O\0X", 'N', 'R']], [([-1, -1]) x 3],
          'a missing input file, arguments holding a NUL: -1 twice, no file named');
is_deeply([map { s/(not converted): .*/$1/sr } @{ log_messages($log) }], ["2:WARNING : Failed to open file: $dir/nothing.bin",
          ('2:WARNING : An argument holds a NUL character, file not converted') x 2], '... logged at level 2');
$log = fresh_log(1);
radiobin::process_file("$dir/nothing.bin", $dir, 'O', 'N', 'R');
ok(!-e $log, '... and not at level 1');
$log = fresh_log(1);
is(radiobin::config_initialise(sample('alcatel/blocks.cfg') . "\0x", 0, 9), 2, 'a configuration file name holding a NUL: refused');
is_deeply(log_messages($log), ['1:ERROR: Config file name holds a NUL character'], '... logged');
radiobin::logopen("$dir/no/such/dir/x.log", 9);
is(load_config(qq{BLOCK 1 COUNTER := "a" OFFSET := 0 SIZE := 1 END\n}), 0, 'a log that cannot be opened stops nothing');

subtest 'log file names are never cut' => sub {
    my ($deep, @warned) = (deep_dir(PATH_MAX - 11));
    local $SIG{__WARN__} = sub { push @warned, @_ };
    for my $name ("$dir/" . ('L' x 250), "$deep/" . ('l' x 9), "$deep/" . ('l' x 10), "$dir/L\0x") {
        radiobin::logopen($name, 1), radiobin::config_initialise('', 0, 0);
    }
    is_deeply([map { log_messages($_) } "$dir/" . ('L' x 250), "$deep/" . ('l' x 9)],
              [(['1:ERROR: Config data must be supplied']) x 2],
              'names of 250 characters in one part and PATH_MAX - 1 in all: the whole name');
    my $why = 'radiobin::logopen: the log file name';
    like($warned[0] // '', qr/^$why \(4096 characters\) is longer than a path may be; no log file is written /,
         'a name longer than a path may be: logopen warns');
    like($warned[1] // '', qr/^$why \(\d+ characters\) holds a NUL character; /, 'a name holding a NUL: logopen warns');
    opendir my $dh, $deep or die "$deep: $!";
    is_deeply([sort grep { !/^\.\.?\z/ } readdir $dh], ['l' x 9], '... and writes no file under a shorter name');
    ok(!-e "$dir/L" && !-e substr("$dir/" . ('L' x 250), 0, 199), '... nor before a NUL');
};

done_testing;
