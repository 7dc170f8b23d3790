package measdoc;

=head1 NAME

measdoc - convert 3GPP XML measurement files into nested Perl hashes

=head1 SYNOPSIS

    use measdoc;

    # One cycle per file: queue the values of an item, then commit them with its setter.
    measdoc::measdoc_add_config('/spool/in/A20261205.1430+0100-1445+0100_RNC01.xml');
    measdoc::measdoc_set_xmlFileName();
    measdoc::measdoc_add_config('1');                  # the measCollecFile layout
    measdoc::measdoc_set_xmlDocumentType();

    measdoc::measdoc_init() == 0 or die measdoc::measdoc_error();
    my $failed = measdoc::measdoc_run() != 0;
    my $error  = measdoc::measdoc_error();             # undef after a clean run
    while (defined(my $warning = measdoc::measdoc_warning())) { warn "$warning\n" }
    my $data = measdoc::measdoc_data() unless $failed;
    measdoc::measdoc_deinit();

    for my $block (grep { /^\d+$/ } keys %$data) {
        my $header = $data->{commonHeaderData}{$block};
        for my $row (grep { /^\d+$/ } keys %{ $data->{$block} }) {
            my $counters = $data->{$block}{$row}{pifData};
            ...
        }
    }

=head1 DESCRIPTION

C<measdoc> reads measurement collection files in the 3GPP XML layouts, the current one
(C<measCollecFile> with C<measInfo>, C<measTypes>, C<measValue>, C<measResults>) and the
older one with abbreviated element names (C<mdc> with C<mi>, C<mt>, C<mv>, C<r>), and
returns their content as nested hashes: the header fields of every measurement-info block,
and per block one hash of counter names and values for each measured object.

Which elements are headers, blocks, rows, counter names and counter values is
configuration (L</CONFIGURATION>), with a complete default set for each layout. The file
is read and tokenized on the calling thread while up to eight worker threads convert its
sections (the children of the root element). A large data section, as a file of one
network element has it, is converted in parts while the rest of it is still being read:
its blocks go to several workers, each with the section's elements written before them.
A part's result is kept only when the whole section would join its elements the same way;
otherwise the section is converted whole. A section whose elements before its blocks hold
elements of their own (the C<neid> of an C<mdc> file) is converted whole from the start.
The result does not depend on the number of workers. The module is also built without
worker threads, converting every section on the calling thread; its default
C<threadNumber> is then 0.

Elements are joined by their place in the tree: a block takes the header fields, a row
its block, its counter values and its object name, from the candidate nearest in the tree.
Of several equally near candidates the last one written before the element wins (the
first one after it only when none comes before): a block takes the network element
written before it.

The module keeps one configuration and one result per process. Call it from one
interpreter thread only.

=head1 FUNCTIONS

All functions live in package C<measdoc> and are called with their full names; none is
exported. Each dies with C<Usage: measdoc::NAME(ARGS)> when called with the wrong number
of arguments; nothing else makes them die. Results that are numbers are Perl integers.

=head2 The cycle

=over 4

=item measdoc_add_config(value)

Queues a copy of C<value> for the next setter. Returns 0, or 1 when the value cannot be
stored (out of memory, or a value holding a NUL character); all values queued so far are
then discarded.

=item measdoc_set_I<item>()

The 33 setters, one per configuration item (L</CONFIGURATION>), for example
C<measdoc_set_xmlFileName()>. Each commits the queued values, in the order they were
queued, to its item, and empties the queue. Returns 0 when the values were committed, and
also when nothing was queued (the item keeps what it had). Returns 1 when the item was
already set in this cycle or the module is started (C<measdoc_error> then gives
C<global - attempt to set an assigned config item>), when an earlier error is still
pending (fetch it with C<measdoc_error> first), when memory runs out, and at once,
without touching the queue, while the module has failed.

=item measdoc_init()

Fills in the defaults of the items not set, prepares every item (element names split,
numbers converted, patterns compiled) and starts the conversion machinery: the worker
threads, the tokenizer and the reader, which opens the file of C<xmlFileName>. Returns 0,
or 1 on failure, with the reason in C<measdoc_error>: no C<xmlFileName>, a file that
cannot be opened, no memory or threads.

A failed C<measdoc_init> stops again what it started (the worker threads end, the file
is closed, every item is released), so the next cycle can begin at once: its first
C<measdoc_add_config>, setter, C<measdoc_init> or C<measdoc_deinit> drops the message if
it was not fetched. Only when that stop fails as well, or C<measdoc_deinit> fails, is the
module failed for the rest of the process: every setter, C<measdoc_init> and
C<measdoc_deinit> then return 1 and C<measdoc_run> returns -1, all without doing
anything.

A pattern that does not compile, or an odd number of texts for
C<altOutputBlockNames>, does not fail C<measdoc_init>: the error stays pending and the
following C<measdoc_run> fails with it.

=item measdoc_run()

Converts the file. Returns 0 when the conversion finished without error, -1 when an error
is pending (its text comes from C<measdoc_error>), when the module is not started
(C<measdoc_init> not called, or C<measdoc_deinit> called since), and while the module has
failed. A section of the file that has no blocks, rows or counter names is skipped with a
warning; any other fault in a section fails the whole run. Call it once per cycle: the file
is read once.

=item measdoc_deinit()

Stops the machinery and releases every item and every result, so that the next cycle can
set the items again and call C<measdoc_init>. Fetch data, error and warnings before: an
error or warning not fetched ends with the cycle. Returns 0, or 1 on failure (the module
has failed then) and while the module has failed.

=item measdoc_error()

The text of the pending error, or undef. The text is returned once: a second call returns
undef. It reads like a call trace, innermost first, for example

    ERROR: parse - type and result counters do not match [measurement pair - ...] ...

=item measdoc_warning()

The text of the next warning of the last run (C<WARN : ...>), or undef when none is left;
each is returned once, so call it until it returns undef. Warnings are kept once per text,
in descending order of their texts.

=item measdoc_data()

A reference to a new hash of the results of the last run (L</RESULTS>). It can be fetched
again until the next run or C<measdoc_deinit>; what it returns belongs to the caller.

=item measdoc_block_count()

The number of measurement-info blocks in the results of the last run (0 before a run and
after C<measdoc_deinit>).

=item measdoc_block(number)

The results of block I<number> (C<0> to C<measdoc_block_count() - 1>) alone, for a host
that handles one block at a time and drops it before fetching the next: a reference to a
new hash of the shape of C<measdoc_data>'s with only that block, under its number, and
C<commonHeaderData> holding only its entry; it has no C<dataTypeDict> (fetch that once with
C<measdoc_data_types>). Both entries equal those of C<measdoc_data>. undef when there is
no such block.

    my $types = measdoc::measdoc_data_types();
    for my $n (0 .. measdoc::measdoc_block_count() - 1) {
        my $block = measdoc::measdoc_block($n);
        my ($header, $rows) = ($block->{commonHeaderData}{$n}, $block->{$n});
        ...
    }

=item measdoc_block_pif(number, types, suspect)

Block I<number> rendered as the text of its PIF file, for a host that writes the octets and
keeps no hash of the rows; I<types> is the hash C<measdoc_data_types> returned (undef: no
field is an object name), I<suspect> the name of the suspect-flag field or undef. Returns a
reference to a new hash:

=over 4

=item * C<name>: the block's name (that of the last row naming one, C<XMLDATA> when
none does);

=item * C<text>: the banner C<## Parser Intermediate File>, the header section
(C<##START|HEADER>, the names line, the values line, C<##END|HEADER>), then
C<##START|>I<name>, the columns line, one line per row in row order and C<##END|>I<name>,
each line ended by a line feed. The header holds the fields of C<commonHeaderData> in sorted
order, then the fields of C<internalHeaderData> it lacks, sorted; an internal field's value
overrides. The columns are every field of any row: those I<types> marks C<1> (the parts of
the measured object's name), then the others, each group sorted, then I<suspect> when a row
has it; a row's missing field is empty. Fields are joined by C<|>;

=item * C<lines>: the number of lines of the text;

=item * C<identity>: a reference to an array of the columns marked C<1> in I<types>, in
column order.

=back

When a field (the name included) holds a C<|>, a carriage return or a line feed, which a PIF
line cannot carry, the hash holds only C<name> and C<bad>, the first such field in the
order above. undef when there is no such block.

    my $types = measdoc::measdoc_data_types();
    for my $n (0 .. measdoc::measdoc_block_count() - 1) {
        my $pif = measdoc::measdoc_block_pif($n, $types, 'suspect');
        die "cannot write $pif->{bad}" if defined $pif->{bad};
        print {$fh} $pif->{text};
    }

=item measdoc_block_json(number, types, suspect, fixed)

The rows of block I<number> as JSON text, for a host that writes one JSON list of row
objects per file; I<types> and I<suspect> as for C<measdoc_block_pif>. Called twice per
block. With I<fixed> undef it returns a reference to a new hash of the block's C<name> and
of C<header> and C<values>, arrays of the header's names and values as
C<measdoc_block_pif> orders them, from which the host works out the fixed texts. With
I<fixed> a reference to a hash of the JSON texts the host encoded for C<begin>, C<block>,
C<end>, C<file> and C<granularity>, it returns a reference to a new hash of C<name> and
C<bad> when C<measdoc_block_pif> would refuse the block, else of C<text> and C<lines>: one
object per row, the keys C<begin>, C<block>, C<counters> (each
column but the identity and suspect ones, under its name: C<null> when empty, a number, a
list of numbers for a value like C<86,87,2>, else a text), C<end>, C<file>, C<granularity>,
C<object> (the identity columns, as texts) and C<suspect> (C<true> for C<TRUE> in any case,
C<false> otherwise, C<null> without the column), laid out as a canonical, pretty encoder
writes the elements of a list (three blanks per level, C<" : "> between key and value),
separated by a comma and a line feed, without a line feed before the first or after the
last; C<lines> is the number of lines the text spans. A field written in double quotes
that holds a blank loses the quotes. The text is empty for a block without rows. The hash
is empty when the block holds what the host's encoder must write itself: a text of octets
other than printable ASCII, or a number with a fraction, an exponent, more than 18 digits
or C<-0>. undef when there is no such block.

=item measdoc_data_types()

A reference to a new hash equal to the C<dataTypeDict> entry of C<measdoc_data>: one
entry per header field name of the whole file, however many blocks it has.

=item measdoc_configuration()

A reference to a new hash of the effective configuration: after C<measdoc_init>, every item
with its defaults and prepared values. Each item that has values appears under its export
key (table below) as a reference to an array of texts:

=over 4

=item * character, number, string and pattern items: one text per value (numbers as
their decimal value, patterns without any replacement template);

=item * element-name items: two texts per value, the element name and the attribute name
(the empty text when there is none);

=item * C<altOutputBlockNames>: two texts per pair, key and value.

=back

Items without values have no key.

=back

=head1 CONFIGURATION

Each item is a list of texts, set at most once per cycle before C<measdoc_init>, by
queuing its values with C<measdoc_add_config> and calling its setter
C<measdoc_set_>I<item>. Items that are not set take the defaults below. Element-name
values name an element, or an attribute of an element as C<element.attribute> (the
separator is C<xmlNameAttrDelimiter>): C<measValue.measObjLdn> is the attribute
C<measObjLdn> of C<measValue>.

Two default sets exist, chosen by C<xmlDocumentType>: set 1 for the value 1 (the
C<measCollecFile> layout), set 0 for any other value (the older abbreviated layout).
Set C<xmlDocumentType> to 1 for current files.

=head2 Characters

=over 4

=item xmlNameAttrDelimiter (export key C<i_xmlnameattrdelimiter>; default C<.>)

Separates element and attribute in element-name values. Only its first character counts.

=item counterListDelimiter (C<i_counterlistdelimiter>; default one space)

Separates the counters of a delimited counter list such as C<measTypes>.

=back

=head2 Element names

=over 4

=item headerElementNames (C<i_hdrelemnames>)

Header fields of the file header and footer and of each block. Set 0: C<vn>, C<st>, C<ts>,
C<nedn>, C<cbt>, C<sn>, C<ffv>. Set 1: C<fileHeader.vendorName>,
C<fileSender.elementType>, C<measCollec.endTime>, C<fileHeader.dnPrefix>,
C<managedElement.localDn>, C<measCollec.beginTime>, C<fileHeader.dnPrefix>,
C<fileSender.localDn>, C<fileHeader.fileFormatVersion>.

=item uniquePifHeaderElementNames (C<i_uniquepifhdrelemnames>)

Header fields of each row. Set 0: C<mts>, C<gp>, C<moid>. Set 1: C<granPeriod.endTime>,
C<granPeriod.duration>, C<measValue.measObjLdn>.

=item uniquePIFBlockElementName (C<i_uniquepifblkelemname>)

The element of which each occurrence is one block. Set 0: C<mi>; set 1: C<measInfo>.

=item measurementValueElementName (C<i_measvalelemname>)

The element of which each occurrence is one row. Set 0: C<mv>; set 1: C<measValue>.

=item measureTypeElementSeq (C<i_meastypelemseq>)

The elements holding the counter names of a block. Set 0: C<mt>; set 1: C<measTypes>.
When the elements of several listed names occur in one data section (blocks with
C<measTypes> and blocks with C<measType>), every one of them gives its block's names in
document order.

=item measurementResultsElementSeq (C<i_measrsltelemseq>)

The elements holding the counter values of a row, matched to the names by position (or
by C<counterPositionAttribute>). Set 0: C<r>; set 1: C<measResults>. Several listed
names are read as for C<measureTypeElementSeq>.

=item suspectFlagElementName (C<i_suspectflagelemname>)

The element holding a row's suspect flag (exported as C<TRUE> or C<FALSE>). Set 0: C<sf>;
set 1: C<Suspect>. Note the capital: files of the C<measCollecFile> and C<measDataFile>
layouts write C<suspect>, so set this item to C<suspect> for them; with the default their
flags are not read.

=item distinguishedNameElementNames (C<i_distnameelemnames>)

Values split as distinguished names: C<nedn> holding C<SubNetwork=1,ManagedElement=1> gives
C<nedn_SubNetwork> = 1 and C<nedn_ManagedElement> = 1; a name repeated within one value
gets C<_1>, C<_2> appended. Set 0: C<sn>, C<nedn>, C<moid>. Set 1:
C<fileHeader.vendorName>, C<fileHeader.dnPrefix>, C<managedElement.localDn>,
C<measValue.measObjLdn>.

=item delimitedCounterElementNames (C<i_delimcntrelemnames>)

Values split at C<counterListDelimiter> into several counters. Set 0: none; set 1:
C<measResults>, C<measTypes>.

=item normalCounterElementNames (C<i_normcntrelemnames>)

Values taken whole. Set 0: C<mt>, C<r>; set 1: C<measType>, C<r>.

=item timestampCounterElementNames (C<i_timestampctrelemnames>)

Values split into C<NAME_Date> (C<05Mar2005>) and C<NAME_Time> (C<14:30:00>) by the
C<timestampDesc> patterns. Default: none.

=item measurementDataElementName (C<i_measdatelemname>)

The data sections. Set 0: C<md>; set 1: C<measData>.

=item measurementHeaderElementName (C<i_meashdrelemname>)

The file header. Set 0: C<mfh>; set 1: C<fileHeader>.

=item measurementFooterElementName (C<i_measftrelemname>)

The file footer. Set 0: C<mff>; set 1: C<fileFooter>.

=item outputBlockElementName (C<i_outblkelemname>)

The value that names a row's output block: the attribute names of a distinguished name
joined with C<_> (C<ManagedElement_UtranCell>), or what C<outputBlockDescription>
captures. Set 0: C<moid>; set 1: C<measValue.measObjLdn>.

=item instanceObject (C<i_instanceobject>)

The distinguished name whose components become instance counters of each row. Set 0:
C<moid>; set 1: C<measValue.measObjLdn>.

=back

=head2 Numbers

=over 4

=item maxCounterNameSize (C<i_maxcntrnamesz>; default 60)

Counter names are cut to this many characters. 0, or a value that is no number (which
reads as 0), cuts nothing.

=item xmlDocumentType (C<i_xmlDocumentType>; default 0)

1 selects default set 1, any other value set 0.

=item threadNumber (C<i_threadnum>; default 4, 0 in the build without worker threads)

Worker threads, 1 to 8; 0 converts every section on the calling thread; larger values
give 2.

=item threadStackSize (C<i_threadStackSize>; default 3145728)

Stack size of each worker in bytes; above 8 MiB the default is used.

=item counterListWhiteSpace (C<i_counterlistwhitespace>; default 0)

1 splits delimited counter lists at runs of spaces, tabs, carriage returns and line
feeds instead of at C<counterListDelimiter>, as XML lists are written: a list wrapped
over lines or with several spaces between its items gives one counter per item, and
white space at its start or end gives none. A list that is empty or all white space
stands for no counter (a row whose only list is empty has no values).

=item plainObjectNames (C<i_plainobjectnames>; default 0)

1 accepts distinguished-name values whose components lack C<=>, such as
C<measObjLdn="10896"> or C<PLMN=1,MRBTS=1900,PLMN-PLMN/MCC-244/MNC-08>: such a component
becomes a pair named by the value's own name alone (C<measObjLdn> = C<10896>; a second
one C<measObjLdn_1>), and in a block name it stands as that name
(C<PLMN_MRBTS_measObjLdn>). An empty value gives no instance pairs, the row keeping its
counters, and the block name is the value's name alone (C<measObjLdn>). With 0 such a
value fails the file.

=item qualifiedHeaderNames (C<i_qualifiedheadernames>; default 0)

1 names every header field read from an attribute (not those split as distinguished
names) after its element as well: C<element> C<xmlNameAttrDelimiter> C<attribute>, as it
is configured (C<fileSender.localDn>, C<measCollec.endTime>, C<granPeriod.endTime>;
timestamps C<granPeriod.endTime_Date>). With 0 the field is named by the attribute
alone, and of equal names from different elements only one survives in
C<commonHeaderData>.

=item xmlStandardText (C<i_xmlstandardtext>; default 0)

1 reads texts as XML means them: the entities C<&amp;>, C<&lt;>, C<&gt;>, C<&quot;>,
C<&apos;> and character references such as C<&#233;> and C<&#xE9;> are decoded (to UTF-8)
in texts and attribute values, a CDATA section is text (C<< <r><![CDATA[890]]></r> >>
gives 890), and element and attribute names lose their namespace prefix
(C<mc:measInfo> is C<measInfo>), with the namespace declarations C<xmlns> and
C<xmlns:>I<prefix> ignored. A reference that names no character stays as written. Any
other value takes texts as written, as the module always did.

=back

Number values are read as decimal digits; a value with any other character reads as 0.

=head2 Texts

=over 4

=item altCounterNullValue (C<i_altcntrval>; default none)

Replaces counter values C<NULL> (in any case).

=item xmlFileName (C<i_xmlfilename>; no default, required)

The file to convert.

=item counterPositionAttribute (C<i_counterpositionattr>; default none)

The attribute that numbers counter names and values, for example C<p>
(C<< <measType p="2"> >> and C<< <r p="2"> >>). A row whose first value carries it takes
each value under the name with the same attribute value, whatever the order of the
values, and lists them in the block's name order; names without a value in the row have
none there. A value without the attribute, with a number no name (or more than one
name) has, or with a number given twice fails the file (code 27, with the reason). Rows
whose values do not carry it, and every row when the item is not set, match values to
names by position.

=back

=head2 Patterns

Perl-compatible regular expressions.

=over 4

=item outputBlockDescription (C<i_outblkdesc>; default none)

Its first pattern derives block names: the captured groups joined with C<_>.

=item altCounterNames (C<i_altcntrnames>; default none)

Renames counter and header names: each value is a pattern, optionally followed by C<[]>
and a replacement template with C<$1>-style references (C<^pm(.*)$[]$1> turns
C<pmRrcConnEstab> into C<RrcConnEstab>). The pattern matching earliest in the name wins.
A reference to a group that took part in no match or matched nothing gives the empty
text. A name that no pattern matches by itself keeps its name.

=item timestampDesc (C<i_timestampdaydesc>)

Exactly six patterns, each capturing one field of a timestamp in its group: day, month,
year, hour, minute, second. The defaults read C<YYYYMMDDhhmmss.f+zzzz>, for example
C<^20\d{2}\d{2}(\d{2})\d{2}\d{2}\d{2}\.\d+?\+\d{4}?$> for the day.

=back

=head2 Pairs

=over 4

=item altOutputBlockNames (C<i_altoutblknames>; default none)

Block name, replacement block name, block name, replacement, ... (an even number of
texts).

=back

=head1 RESULTS

C<measdoc_data> returns:

    {
        commonHeaderData => {
            '0' => { NAME => VALUE, ... },    # header fields of block 0
            '1' => { ... },
        },
        dataTypeDict => { NAME => TYPE, ... },
        '0' => {                              # block 0
            internalHeaderData => { NAME => VALUE, ... },
            blockName          => 'ManagedElement_UtranCell',
            '0' => { pifData => { COUNTER => VALUE, ... } },   # row 0
            '1' => { pifData => { ... } },
        },
        '1' => { ... },
    }

=over 4

=item commonHeaderData

One hash per block, keyed by the block's number (C<0>, C<1>, ... in document order): the
header fields of the file header, then of the file footer, then of the block itself; a
field of the block overrides one of the same name from the file.

=item dataTypeDict

For every header field of C<commonHeaderData> and C<internalHeaderData>, its kind: C<0> a
plain value, C<1> a component of a distinguished name, C<2> the date or time part of a
timestamp.

=item the blocks C<0>, C<1>, ...

Each holds its rows under their numbers (in document order), each row's counters under
C<pifData>: counter name to value, then the instance counters of the row's measured object
and the suspect flag. C<internalHeaderData> and C<blockName> are those of the block's last
row: the row header fields (period end, duration, measured object) and the name of the
output block. A block without rows has neither.

=back

C<commonHeaderData> and C<dataTypeDict> are always present, empty when the file has no
block. Texts are returned as the file holds them (bytes; entities are not decoded unless
C<xmlStandardText> is 1); values with a space are enclosed in double quotes. A text split by
comments or processing instructions is one text (C<< <r>4<!-- x -->12</r> >> gives 412).
Files must be UTF-8 (or ASCII): a UTF-16 file fails with
C<xml - invalid data file [UTF-16 encoded, not UTF-8]>.

=head1 MESSAGES

Errors and warnings read C<ERROR: > or C<WARN : >, the kind of failure, then bracketed
details and the places it passed through. Warnings of a run include
C<parse - measurement information not found>, C<parse - measurement value not found> and
C<parse - measurement type not found> (a data section skipped),
C<parse - found multiple header data> (several header chains joined) and
C<parse - reading block description failed> (a row given the block name C<BLOCKNAME>).

=cut

use strict;
use warnings;

our $VERSION = '1.00';

require XSLoader;
XSLoader::load('measdoc', $VERSION);

1;
