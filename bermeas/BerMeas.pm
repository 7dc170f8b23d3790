package BerMeas;

=head1 NAME

BerMeas - convert 3GPP ASN.1 (BER) measurement files into PIF files

=head1 SYNOPSIS

    use BerMeas;

    BerMeas::set_config({
        DIRECTORY_HEADER_FIELDS => { NETWORK_ID => '\/NETWORK_?([^\/]+)\/?' },
        FILENAME_HEADER_FIELDS  => { FILENAME => '^(.+)$' },
        ASN1_3GPP_FILENAME_VALIDATION => {
            StartDate => '^\w{1}(\d{8}).+$',
        },
        ASN1_ALTERNATIVE_COUNTER_NULL_VALUE => '-9999',
        ASN1_OBJECT_INSTANCE_ID_DESCRIPTION => { Cell => 'cell=(\d+)' },
        ASN1_ALT_OBJECT_INSTANCE_ID_NAMES   => { Cell => ['OBJ_ID'] },
        ASN1_HEADER_INFO_FOR_PIF_FILENAME   => [qw(senderType measTimeStamp_Date
                                                   measTimeStamp_Time granularityPeriod)],
    });

    my $ok = BerMeas::process_file('/spool/in/0001.ber',
        '/data/NETWORK_east/A20261205.1430+0100-1445+0100_RNC01.ber', '/spool/pif');

    BerMeas::delete_config();

=head1 DESCRIPTION

C<BerMeas> reads measurement collection files in the 3GPP ASN.1 layout, encoded with the
Basic Encoding Rules (definite or indefinite lengths), and writes one Parser Intermediate
File (PIF) per measurement-info block of the file.

The module keeps one configuration between C<set_config> and C<delete_config> and
converts one file per C<process_file> call. It is not thread-safe: call it from one
interpreter thread.

=head1 FUNCTIONS

=over 4

=item set_config(rootHashref)

Copies the configuration hash (see L</CONFIGURATION>). When a configuration is already
held, the call changes nothing: call C<delete_config> first to replace it. A value that
is not a hash reference gives a configuration without entries. Returns nothing.

=item process_file(filename, origFilename, outputDir)

Converts the file C<filename>. C<origFilename> is the name under which the file arrived
(with its directory): it is checked against the validation patterns and supplies the
directory and file-name header fields. PIF files are written into C<outputDir>, which
must exist.

Returns true after a complete conversion. Returns false, and leaves the reason in the
log, when an argument is empty, no configuration is held, the file name is refused, the
file cannot be opened or decoded, the file holds no measurement collection (its first
element is no SEQUENCE that opens with the file header: an XML file, say), an element
could not be placed in the measurement file layout (the conversion then starts over at
that element), or a PIF file could not be written (also when its name, which is never
shortened, is longer than the system allows). A file whose collection holds no
measurement values converts to no PIF file and returns true. The PIF file being written when decoding fails, or when an element cannot be
placed, is left without its end line: a file that ends without one is not whole.

=item delete_config()

Releases the configuration.

=item pattern_error(pattern)

Why a configured pattern would not compile in a conversion: it is rewritten as
C<process_file> rewrites patterns (enclosing single quotes dropped, C<\d> and C<\w>
spelled out, cut to 1023 characters) and compiled as a POSIX extended regular expression.
Returns the C library's reason as text, or undef when the pattern compiles. A conversion
skips a pattern that does not compile without a word, so a host checks its patterns with
this before C<set_config>.

=back

Each function dies with a C<Usage: BerMeas::...> message when called with the wrong
number of arguments.

=head1 CONFIGURATION

The hash given to C<set_config> may hold these keys; any other key is ignored, and so are
values of the wrong kind (numbers, undefined values, references where a string is
expected). Patterns are POSIX extended regular expressions. They may be enclosed in
single quotes, which are removed, and may use C<\d> (a digit) and C<\w> (a letter, digit
or underscore); other escapes such as C<\/>, C<\.>, C<\-> stand for the character itself.

Entries of a hash are used in the hash's iteration order. Where the order matters (the
object-instance description, the order of header fields), pass a tied hash that keeps
its insertion order.

=over 4

=item DIRECTORY_HEADER_FIELDS

Hash: header field name to a pattern (or to an array of patterns, of which the first is
used). The field's value is group 1 of the pattern matched against the directory part of
C<origFilename> (up to and including its last C</>). A field whose pattern does not match
is left out.

=item FILENAME_HEADER_FIELDS

The same, matched against the file-name part of C<origFilename>.

=item ASN1_3GPP_FILENAME_VALIDATION

Hash: label to pattern. Every pattern must match the file-name part of C<origFilename>,
otherwise the file is refused and nothing is written.

=item ASN1_ALTERNATIVE_COUNTER_NULL_VALUE

String written for a result that carries no value (C<noValue>); without it such a result
is an empty field. At most 1022 characters are kept.

=item ASN1_OBJECT_INSTANCE_ID_DESCRIPTION

Hash: object class name to pattern. A measured object's instance identifier is matched
against the patterns in order; the first match names its class, which names the PIF
block and the file, and the pattern's groups become its leading columns. An identifier
that no pattern matches gets the class C<OBJ> with the single column C<OBJ_ID> holding
the whole identifier. A class without alternative names gets no columns and is named
after its pattern's text before the first C<=> (C<NodeBFddE=(\d+)> gives C<NodeBFddE>).

The same translation turns senderName, nEUserName and nEDistinguishedName into header
fields: a described text gives C<senderName_COLUMN> with the first group's value; a text
C<name=value> gives C<senderName_name> with C<value>.

=item ASN1_ALT_OBJECT_INSTANCE_ID_NAMES

Hash: object class name to an array of column names (or one name) for the groups 1, 2, ...
of the class's pattern.

=item ASN1_HEADER_INFO_FOR_PIF_FILENAME

Array of the fields that make up the PIF file name after the class name, in order:
C<senderType>, C<vendorName>, C<measTimeStamp>, C<measTimeStamp_Date>,
C<measTimeStamp_Time>, C<granularityPeriod>, C<COLLECTION_INTERVAL_MINS>, or the header
name derived from senderName, nEUserName or nEDistinguishedName (such as
C<senderName_managedElementId>). Fields without a value are left out.

=back

=head1 FILES

=over 4

=item PIF files

One per measurement-info block, in C<outputDir>, named
C<CLASS-#-FIELD1-#-...-#-N-#-I.pif>: the object class, the configured file-name fields
(with C</> written as C<_>) and a counter that runs through all conversions of the process
and starts at 0 in each new process (files of the same name are overwritten). For
example C<Cell-#-RNC-#-RNC01-#-05Dec2026-#-17:45:00-#-900-#-7-#-I.pif>.

Each file holds the banner C<## Parser Intermediate File>, a C<HEADER> section (file
format version, sender, vendor, collection begin date and time, network element names,
the directory and file-name header fields, measurement time stamp date and time,
granularity period in seconds and the collection interval in minutes) and one data block
named after the object class: a column line (object columns, measurement types,
C<suspectFlag>) and one line per measurement value not flagged suspect, ending in C<00>.
Integer results are written as unsigned decimals (up to 4294967295), reals as decimal
numbers (C<99.5>, C<1e+20>), results without value as the configured null value or an
empty field. A file whose decoding fails part-way keeps what was written; the file being
written then has no C<##END> line.

=item bermeas.log

Appended in the current working directory by every conversion: one line per step, each
starting with the process id, the time, the log level and the message level (1 error,
2 refused file, 3 progress).

=back

=head1 PROGRAM

C<bermeas-convert FILE> converts one file with the built-in example configuration into
the directory C<inter_d> (created when missing) and exits with 0 after a complete
conversion, 1 otherwise.

=cut

use strict;
use warnings;
use XSLoader;

our $VERSION = '0.01';
XSLoader::load('BerMeas', $VERSION);

1;
