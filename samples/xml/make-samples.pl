#!/usr/bin/perl
# Writes invented XML measurement files for the measdoc tests, demo and benchmarks.
#
#   make-samples.pl                    rewrites gen_mdc.xml (older layout) and
#                                      gen_meascollec.xml (current layout) beside itself
#   make-samples.pl --rows N [--layout mdc|meascollec] [--blocks B]
#                                      prints a file of N value rows in B blocks
#                                      (default 100 blocks) to standard output
#
# The small files hold what the conversion has to get right: several data sections and
# blocks, suspect flags set, cleared and absent, NULL values, distinguished names with
# repeated components and values with blanks. Everything is deterministic.
use strict;
use warnings;
use File::Basename qw(dirname);

my %opt = (layout => 'mdc', blocks => 100);
while (@ARGV) {
    my $arg = shift @ARGV;
    if ($arg eq '--rows' || $arg eq '--layout' || $arg eq '--blocks') {
        defined(my $value = shift @ARGV) or die "$arg needs a value\n";
        $opt{substr($arg, 2)} = $value;
    } else {
        die "usage: $0 [--rows N [--layout mdc|meascollec] [--blocks B]]\n";
    }
}

# Counter value of row r, counter c: mostly numbers, now and then a NULL.
sub value_of {
    my ($r, $c) = @_;
    return "NULL" if ($r * 7 + $c * 3) % 13 == 0;
    return ($r * 131 + $c * 17) % 100000;
}

# Suspect flag of row r: set, cleared or absent.
sub suspect_of {
    my ($r) = @_;
    return $r % 5 == 0 ? 'TRUE' : $r % 5 == 1 ? 'FALSE' : undef;
}

sub mdc_file {
    my ($sections) = @_;    # [ [ne, [ [counters, rows], ... ] ], ... ]
    my $out = qq{<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE mdc SYSTEM "MeasDataCollection.dtd">\n<mdc>\n};
    $out .= "  <mfh>\n    <ffv>32.401 V5.0</ffv>\n"
          . "    <sn>DC=example.org,SubNetwork=1,SubNetwork=North,ManagedElement=RNC-1</sn>\n"
          . "    <st>RNC</st>\n    <vn>Example Vendor</vn>\n    <cbt>20240301141500.0+0100</cbt>\n  </mfh>\n";
    my $row = 0;
    for my $section (@$sections) {
        my ($ne, $blocks) = @$section;
        $out .= "  <md>\n    <neid>\n      <neun>$ne</neun>\n"
              . "      <nedn>DC=example.org,SubNetwork=1,SubNetwork=North,ManagedElement=$ne</nedn>\n    </neid>\n";
        for my $block (@$blocks) {
            my ($counters, $rows) = @$block;
            $out .= "    <mi>\n      <mts>20240301143000.0+0100</mts>\n      <gp>900</gp>\n";
            $out .= "      <mt>$_</mt>\n" for @$counters;
            for (1 .. $rows) {
                $out .= "      <mv>\n        <moid>RncFunction=1,UtranCell=$ne-$row,UtranRelation=1,UtranRelation=2</moid>\n";
                $out .= "        <r>" . value_of($row, $_) . "</r>\n" for 0 .. $#$counters;
                my $sf = suspect_of($row);
                $out .= "        <sf>$sf</sf>\n" if defined $sf;
                $out .= "      </mv>\n";
                ++$row;
            }
            $out .= "    </mi>\n";
        }
        $out .= "  </md>\n";
    }
    $out .= "  <mff>\n    <ts>20240301143000.0+0100</ts>\n  </mff>\n</mdc>\n";
    return $out;
}

sub meascollec_file {
    my ($sections) = @_;
    my $out = qq{<?xml version="1.0" encoding="UTF-8"?>\n}
            . qq{<measCollecFile xmlns="http://www.3gpp.org/ftp/specs/archive/32_series/32.435#measCollec">\n}
            . qq{  <fileHeader fileFormatVersion="32.435 V10.0" vendorName="Example Vendor" dnPrefix="DC=example.org,SubNetwork=1">\n}
            . qq{    <fileSender localDn="SubNetwork=North,ManagedElement=RNC-1" elementType="RNC"/>\n}
            . qq{    <measCollec beginTime="2024-03-01T14:00:00+01:00"/>\n  </fileHeader>\n};
    my $row = 0;
    for my $section (@$sections) {
        my ($ne, $blocks) = @$section;
        $out .= qq{  <measData>\n    <managedElement localDn="SubNetwork=North,ManagedElement=$ne" userLabel="$ne"/>\n};
        my $job = 1;
        for my $block (@$blocks) {
            my ($counters, $rows) = @$block;
            $out .= qq{    <measInfo measInfoId="job$job">\n      <job jobId="$job"/>\n}
                  . qq{      <granPeriod duration="PT900S" endTime="2024-03-01T14:15:00+01:00"/>\n}
                  . qq{      <repPeriod duration="PT900S"/>\n      <measTypes>@$counters</measTypes>\n};
            for (1 .. $rows) {
                $out .= qq{      <measValue measObjLdn="RncFunction=1,UtranCell=$ne-$row,UtranRelation=1,UtranRelation=2">\n};
                $out .= "        <measResults>" . join(' ', map { value_of($row, $_) } 0 .. $#$counters) . "</measResults>\n";
                my $sf = suspect_of($row);
                $out .= "        <suspect>" . lc($sf) . "</suspect>\n" if defined $sf;
                $out .= "      </measValue>\n";
                ++$row;
            }
            $out .= "    </measInfo>\n";
            ++$job;
        }
        $out .= "  </measData>\n";
    }
    $out .= qq{  <fileFooter>\n    <measCollec endTime="2024-03-01T14:15:00+01:00"/>\n  </fileFooter>\n</measCollecFile>\n};
    return $out;
}

if (defined $opt{rows}) {
    my ($rows, $blocks) = ($opt{rows}, $opt{blocks});
    die "--rows and --blocks must be positive\n" unless $rows > 0 && $blocks > 0;
    my @counters = map { "pmCounter$_" } 1 .. 10;
    my @list;
    for my $b (0 .. $blocks - 1) {
        my $n = int($rows / $blocks) + ($b < $rows % $blocks ? 1 : 0);
        push @list, [\@counters, $n] if $n > 0;
    }
    my $sections = [ [ 'RNC-1', \@list ] ];
    print $opt{layout} eq 'meascollec' ? meascollec_file($sections) : mdc_file($sections);
    exit 0;
}

my $sections = [
    [ 'RNC-1', [ [ [qw(pmRrcConnEstabAtt pmRrcConnEstabSucc pmNoOfRab)], 3 ],
                 [ [qw(pmHoAtt pmHoSucc)], 2 ] ] ],
    [ 'RNC-2', [ [ [qw(pmRrcConnEstabAtt pmRrcConnEstabSucc pmNoOfRab)], 2 ] ] ],
];
my $dir = dirname($0);
for ([ 'gen_mdc.xml', mdc_file($sections) ], [ 'gen_meascollec.xml', meascollec_file($sections) ]) {
    my ($name, $content) = @$_;
    open my $fh, '>', "$dir/$name" or die "$dir/$name: $!\n";
    print $fh $content;
    close $fh or die "$dir/$name: $!\n";
}
