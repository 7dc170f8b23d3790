package SlowMoves;
# Test aid for the pm2pif tests: loaded before pm2pif is compiled (perl -MSlowMoves), it
# makes every rename and link take $ENV{SLOW_MOVES} seconds, so that a signal can be sent
# while an input's files are being moved into place.
use strict;
use warnings;

our $VERSION = '1.00';

my $delay = $ENV{SLOW_MOVES} // 0.05;

BEGIN {
    *CORE::GLOBAL::rename = sub { select undef, undef, undef, $delay; CORE::rename($_[0], $_[1]) };
    *CORE::GLOBAL::link   = sub { select undef, undef, undef, $delay; CORE::link($_[0], $_[1]) };
}

1;
