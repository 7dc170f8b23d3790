package OrderedHash;
# A tied hash that iterates in insertion order, as a host passes configuration whose
# order matters:  tie my %h, 'OrderedHash', key => value, ...;
use strict;
use warnings;

sub TIEHASH {
    my ($class, @pairs) = @_;
    my $self = bless { keys => [], values => {} }, $class;
    while (my ($k, $v) = splice @pairs, 0, 2) { $self->STORE($k, $v) }
    return $self;
}
sub STORE {
    my ($self, $k, $v) = @_;
    push @{ $self->{keys} }, $k unless exists $self->{values}{$k};
    $self->{values}{$k} = $v;
}
sub FETCH    { $_[0]{values}{ $_[1] } }
sub EXISTS   { exists $_[0]{values}{ $_[1] } }
sub DELETE   { my ($s, $k) = @_; @{ $s->{keys} } = grep { $_ ne $k } @{ $s->{keys} }; delete $s->{values}{$k} }
sub CLEAR    { my $s = shift; $s->{keys} = []; $s->{values} = {} }
sub FIRSTKEY { my $s = shift; $s->{at} = 0; $s->{keys}[0] }
sub NEXTKEY  { my $s = shift; $s->{keys}[ ++$s->{at} ] }
sub SCALAR   { scalar @{ $_[0]{keys} } }

1;
