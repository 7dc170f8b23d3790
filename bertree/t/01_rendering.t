# Every rendering rule of the tree print, byte for byte, with and without indentation.
# The cases are in expected/rendering.txt: "@@ name | octets in hex", the print, then
# "@@ -i" and the indented print.
use strict;
use warnings;
use PmBuild ();
use Test::More;
use PmTest qw(source_dir slurp bertree octet_file);

my (undef, @parts) = split /^@@ (.*)\n/m, slurp(source_dir() . '/bertree/t/expected/rendering.txt');
while (my ($head, $plain, undef, $indented) = splice @parts, 0, 4) {
    my ($name, $hex) = split / \| /, $head;
    my $file = octet_file(pack 'H*', $hex // '');
    is_deeply(bertree($file), { status => 0, signal => 0, out => $plain, err => '' }, $name);
    is(bertree('-i', $file)->{out}, $indented, "$name (-i)");
}
done_testing;
