# Every XML sample (bundled and ../shared/samples) through pm2pif, checked against an independent
# reader (XML::LibXML): every counter value and suspect flag reaches a PIF row; only the files
# broken on purpose are refused, each with its reason; -j 2 writes the same bytes.
use strict;
use warnings;
use Digest::MD5 qw(md5_hex);
use File::Basename qw(basename);
use File::Copy qw(copy);
use IO::Uncompress::Gunzip qw(gunzip $GunzipError);
use Test::More;
use PmBuild ();
use PmTest qw(cases pm2pif sample slurp spew work_dir output_files have_measdoc source_dir);

plan skip_all => 'the XML module measdoc cannot be loaded' unless have_measdoc();
plan skip_all => 'XML::LibXML is missing (scripts/install-deps)' unless eval { require XML::LibXML; 1 };

# Files broken on purpose: the reason pm2pif must give.
my %BROKEN = map { $_->[0] => qr/$_->[1]/ } cases('bin/t/expected/broken-xml.txt');

sub decompressed { gunzip($_[0] => \my $plain) or die "$_[0]: $GunzipError"; return $plain }

# [{ name => value }, suspect, the block's counter names] per value row as the standard reads
# them: paired by p when both carry one, else by position; lists split at white space; written
# as measdoc writes them (trimmed, quoted when holding a space, names cut to 60 characters).
sub xml_rows {
    my $text = decompressed($_[0]);
    # A processing instruction before the declaration is kept by some exporters.
    $text =~ s/\A(\s*<\?xml-stylesheet[^>]*\?>\s*)<\?xml\s[^>]*\?>/$1/;
    my $doc = XML::LibXML->load_xml(string => $text, load_ext_dtd => 0, no_network => 1);
    my ($block, $row, $name, $names, $value, $values, $flag) = $doc->documentElement->localname eq 'mdc'
        ? qw(mi mv mt - r - sf) : qw(measInfo measValue measType measTypes r measResults suspect);
    my $kids = sub { my ($node, $local) = @_; grep { $_->nodeType == 1 && $_->localname eq $local } $node->childNodes };
    my $each = sub { my ($node, $one, $list) = @_; (map { [ $_->getAttribute('p'), $_->textContent ] } $kids->($node, $one)),
                     map { [ undef, $_ ] } map { split ' ', $_->textContent } $kids->($node, $list) };
    my $form = sub { my ($text) = @_; $text =~ s/\A[ \t\r\n]+|[ \t\r\n]+\z//g; $text =~ / / ? qq{"$text"} : $text };
    my @rows;
    for my $info ($doc->getElementsByLocalName($block)) {
        my @types = $each->($info, $name, $names);
        my %by_place = map { defined $_->[0] ? ($_->[0] => $_->[1]) : () } @types;
        my $block_names = join '|', sort map { $form->(substr $_->[1], 0, 60) } @types;
        for my $mv ($kids->($info, $row)) {
            my @results = $each->($mv, $value, $values);
            my %counters = map {
                my ($place, $text) = @{ $results[$_] };
                my $counter = (defined $place && %by_place ? $by_place{$place} : ($types[$_] // [])->[1]) // "(no name for value @{[ $_ + 1 ]})";
                ($form->(substr $counter, 0, 60) => $form->($text))
            } 0 .. $#results;
            my ($sf) = $kids->($mv, $flag);
            push @rows, [ \%counters, !!($sf && lc($sf->textContent) eq "true"), $block_names ];
        }
    }
    return \@rows;
}

# The value rows of PIF files { column => field }, under "" the block's counter columns.
sub pif_rows {
    return [ map {
        my @lines = split /\n/;
        my @columns = split /\|/, $lines[6], -1;
        my $counters = join "|", sort grep { !/\A(?:measObjLdn|moid)(?:_|\z)|\A(?:suspect|sf)\z/ } @columns;
        map { my @fields = split /\|/, $_, -1; +{ '' => $counters, map { $columns[$_] => $fields[$_] } 0 .. $#columns } }
            @lines[ 7 .. $#lines - 1 ];
    } @_ ];
}

# The file's rows no PIF row carries: each takes the first unused matching one of its block.
sub missing {
    my ($expected, $got) = @_;
    my (@missing, %used);
    ROW: for my $row (@$expected) {
        my ($counters, $suspect, $names) = @$row;
        for my $at (0 .. $#$got) {
            my $pif = $got->[$at];
            next if $used{$at} || $pif->{''} ne $names || grep { ($pif->{$_} // "\0") ne $counters->{$_} } keys %$counters;
            next if $suspect != (($pif->{suspect} // $pif->{sf} // '') eq 'TRUE');
            $used{$at} = 1 and next ROW;
        }
        push @missing, join(' ', map { "$_=$counters->{$_}" } sort keys %$counters) . ($suspect ? ' suspect' : '');
    }
    return \@missing;
}

# Every sample once (shared directories hold copies), under a name no other one contains.
my @sources = (glob(sample('xml') . '/*.xml*'), glob(sample('broken') . '/*.xml*'),
    map { glob(source_dir() . "/../shared/samples/$_/*.xml*") }
        qw(32435-xml 28532-xml 32401-mdc-xml realworld-32435 realworld-28532));
my $dir = work_dir('in/' => undef);
my (%seen, @inputs);
for my $source (@sources) {
    next if $seen{ md5_hex(decompressed($source)) }++;
    my $name = basename($source);
    my $copy = sprintf '%s/in/f%03d-%s', $dir, scalar @inputs, $name =~ tr/,=+/___/r;
    copy($source, $copy) or die "$copy: $!";
    push @inputs, { name => $name, path => $copy, tag => basename($copy) =~ s/\.xml(?:\.gz)?\z//r };
}
ok(@inputs >= 25, scalar(@inputs) . ' different samples');

my ($run) = map { pm2pif({ cwd => $dir }, '-q', '-j', $_, '-o', "out$_", 'in') } 1, 2;
my $files = output_files("$dir/out1");
is_deeply(output_files("$dir/out2"), $files, 'with -j 2 the same files, byte for byte');
my %failed = map { m{^pm2pif: in/(f\d{3})-[^:]*: (.*)$} ? ($1 => $2) : () } split /\n/, $run->{err};

subtest 'files broken on purpose are refused, each with its reason, then the module\'s words' => sub {
    for my $input (grep { $BROKEN{ $_->{name} } } @inputs) {
        my ($id) = $input->{tag} =~ /\A(f\d{3})/;
        like($failed{$id}, $BROKEN{ $input->{name} }, $input->{name});
        like($failed{$id}, qr/\S \(the XML module: ERROR: .+\)\z/, '  and the module\'s own words after it')
            if $failed{$id} !~ /has no </;
    }
};

subtest 'a section without an element each one needs is named, then measdoc\'s words' => sub {
    my $section = '<measData><managedElement localDn="ME=%d"/><measInfo><measType>c1</measType>'
        . '<measValue measObjLdn="Cell=1">%s</measValue></measInfo></measData>';
    spew("$dir/lacking.xml", '<measCollecFile><fileHeader vendorName="V"/>' . sprintf($section, 1, '<r>1</r>')
        . sprintf($section, 2, '') . '</measCollecFile>');
    like(pm2pif({ cwd => $dir }, '-o', 'lacking', 'lacking.xml')->{err},
        qr/^pm2pif: lacking\.xml: <measData> 2 has no <measResults> or <r> \(expected one in each <measData>\) \(the XML module: ERROR: returned null .*\)$/m,
        'the section and the elements it lacks');
};

for my $input (grep { !$BROKEN{ $_->{name} } } @inputs) {
    my ($tag, $name) = @{$input}{qw(tag name)};
    my ($id) = $tag =~ /\A(f\d{3})/;
    ok(!exists $failed{$id}, "$name converts") or diag $failed{$id};
    my $rows = pif_rows(map { $files->{$_} } grep { index($_, $tag) >= 0 } sort keys %$files);
    is_deeply(missing(xml_rows($input->{path}), $rows), [], "$name: every counter value and suspect flag in a PIF row");
}

done_testing;
