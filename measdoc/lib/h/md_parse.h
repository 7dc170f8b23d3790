// parse: the section conversion. The workers hand every section (a child of the root
// element, with its subtree) to parse_process_all, which turns a header or footer into one
// chain of name/value pairs and a data section into measurement-info blocks with their
// value rows, all taken from the calling worker's pool. Which element belongs to which
// block or row is decided by document scope alone (the nearest candidate in the tree),
// so the configured element names drive the conversion without a fixed schema. The
// records below are what the thread unit collects at the end of a run and the host glue
// exports.
#ifndef MEASDOC_MD_PARSE_H
#define MEASDOC_MD_PARSE_H

#include <cstdint>
#include <vector>

struct a_taginfo;
struct a_objhead;
struct a_objidx;

// One name/value pair.
struct a_measpair {
    char* mmp_name;             // none until expanded
    char* mmp_value;
    std::int32_t mmp_type;      // 0 plain value, 1 distinguished-name part, 2 timestamp part,
                                // no_counter_type an empty counter list (never leaves a section)
    char* mmp_attr;             // attribute whose value the pair takes, or none (element text)
    a_taginfo* mmp_tag;         // the element the pair was made from
    a_measpair* mmp_next;
};

// The type of the pair an empty counter list leaves in a name or value chain: it holds
// the list's place until the counters are matched and is dropped then.
inline constexpr std::int32_t no_counter_type = -1;

struct a_measvalue;

// One measurement-info block: one output block.
struct a_measinfo {
    a_measpair* mmi_commonhdr;  // common header chain (may be shared within a section)
    a_measpair* mmi_meastype;   // counter names, in document order
    a_measvalue* mmi_measvalue; // value records, in document order
    a_taginfo* mmi_tag;         // the block's element (not to be followed once converted)
    a_measinfo* mmi_tail;       // in the first record of a list only: the list's last record
    a_measinfo* mmi_next;
};

// One measurement-value record: one output row.
struct a_measvalue {
    a_measpair* mmv_uniquehdr;  // own header chain (may be shared)
    a_measpair* mmv_measrslt;   // counter pairs, in document order
    a_measpair* mmv_suspect;    // suspect-flag pair, or none
    a_measpair* mmv_instanceobj;// instance pairs (may be shared)
    a_measpair* mmv_blockname;  // chain whose first pair's name is the block name (may be shared)
    a_taginfo* mmv_tag;
    a_measvalue* mmv_next;
};

// The results of the last run.
struct a_measdata {
    a_measpair* md_header;      // pairs of the measurement-header section
    a_measpair* md_footer;      // pairs of the measurement-footer section
    a_measinfo* md_measinfo;    // every block of the run, in document order
};

// Written by the workers (header, footer) and by the end of a run (blocks), read by the
// host glue after the run.
extern a_measdata measdata;

// ---------------------------------------------------------------------------------------
// Section conversion.

// Start-up: zeroes measdata, builds the element classification and installs
// parse_process_all as the workers' section converter. Returns 1, or 0 (recorded; code 4
// "delim == EOS" for an empty xmlNameAttrDelimiter). A second call keeps what exists.
bool parse_init();
// Tear-down: drops the classification, restores the default converter and forgets
// measdata (its records live in the worker pools, which the thread unit releases next).
// Returns 1, or 0 (recorded) when the classification could not be destroyed.
bool parse_deinit();

// The section converter (thr_converter). A data section: the list with the section's
// blocks in front (the first one's mmi_tail naming the last), or the list unchanged when
// the section was skipped (a warning) or failed (the error stays pending). A header or
// footer section: the list unchanged; its chain goes to md_header / md_footer (of several
// such sections the one latest in the document wins). NULL for a section of any other
// kind (code 30) or when the section names are not configured. The section's element
// tree is released in every case.
a_measinfo* parse_process_all(a_measinfo* list, a_taginfo* section);
// The blocks of one data section in document order, or NULL: skipped (code 21, 22 or 23
// left as a warning) or failed (error pending). Either way the section's tree is
// released; on NULL everything the worker took for the section is given back.
a_measinfo* parse_process_data(a_taginfo* section);
// The pair chain of a header (is_header) or footer section, or NULL on failure (the
// worker's allocations for the section given back). A chain may come back with an error
// pending (a value that did not expand): the run then fails, but the chain is whole.
a_measpair* parse_process_header(a_taginfo* section, bool is_header);

// A large data section is converted in parts while it is still being read: each part is
// the section's shared header elements (its children before the first block) with a run
// of consecutive blocks. A part's result is only kept when it is what the whole section
// would give; these record what that takes.
struct a_partrank {
    std::int32_t pr_count;      // elements of one listed name in the part
    std::int32_t pr_shared;     // of those, elements before the first block of the section
    std::int32_t pr_depth;
    std::int32_t pr_seq;        // ti_seq of the first of them
};
struct a_partscope {
    std::uint32_t ps_boundary = 0;  // ti_seq of the section's first block
    bool ps_first = false;          // the part starts with the section's first block
    bool ps_reached = false;        // an element's nearest candidate may lie outside the part
    std::vector<std::vector<a_partrank>> ps_ranks;  // per name list prepared, per listed name
};
// How a child of the root element and one of its children take part in that: 0 the section
// is converted whole, 1 the child is a block, 2 it is another child (a shared header
// element before the first block).
int parse_part_kind(const a_taginfo* section, const a_taginfo* child);
// The blocks of one part in document order, or NULL when the part cannot be converted on
// its own (failed, skipped, or an association reached outside it; whatever it recorded
// stays for the caller to drop). shell stands for the section with the part's children;
// the element tree is left as it is.
a_measinfo* parse_process_part(a_taginfo* shell, a_partscope* scope);
// Whether the header indexes of every part were ranked as the whole section's would be:
// the same primary, partners and counter form. 1 when they agree.
bool parse_parts_agree(const std::vector<const a_partscope*>& parts);
// Makes scope the calling thread's part under conversion (NULL: a whole section).
void parse_set_partscope(a_partscope* scope);

// The block / row index of a section: one record per occurrence of the block (row)
// element, keyed by the element's sequence number, each record's mmi_next (mmv_next)
// naming the next one in document order. NULL on failure; *none (when given) tells that
// the section has no such element (code 2 pending).
a_objhead* parse_create_measinfo(a_objhead* tag_index, bool* none = nullptr);
a_objhead* parse_create_measvalue(a_objhead* tag_index, bool* none = nullptr);
// The record of the smallest key (the first block of the section), or NULL.
a_measinfo* parse_get_measinfo(const a_objhead* index);
// All chains of a header index joined in document order into one; more than one chain
// leaves the warning "parse - found multiple header data" (code 28). NULL when empty.
a_measpair* parse_get_commonheader(const a_objhead* index);

// The assignments. Each walks its item index from the last node to the first and gives
// every item the partner nearest in scope (see parse_find_scope); lists built by putting
// items at the front thus come out in document order. Each returns 1, or 0 (recorded).
bool parse_merge_commonheader(a_objhead* measinfo_idx, a_objhead* header_idx);   // mmi_commonhdr
bool parse_merge_uniqueheader(a_objhead* measvalue_idx, a_objhead* header_idx);  // mmv_uniquehdr
bool parse_merge_headers(a_objhead* measinfo_idx, a_objhead* measvalue_idx);     // rows into blocks
bool parse_merge_meastype(a_objhead* measinfo_idx, a_objhead* meastype_idx);     // counter names
bool parse_merge_measrslt(a_objhead* measvalue_idx, a_objhead* measrslt_idx);    // counter values
bool parse_merge_blockname(a_objhead* measvalue_idx, a_objhead* blockname_idx);  // mmv_blockname
bool parse_merge_instanceobj(a_objhead* measvalue_idx, a_objhead* instance_idx); // mmv_instanceobj
bool parse_merge_suspect(a_objhead* measvalue_idx, a_objhead* suspect_idx);      // mmv_suspect
// Names every counter value after the counter name at the same position of its block.
// With counterPositionAttribute, a row whose first value carries that attribute pairs
// its values with the names of equal attribute value instead and takes them in the
// block's name order (names without a value have none in the row). Placeholders of
// empty lists are dropped first. Returns 1, or 0 with code 27 when a row's values and its
// block's names differ in number (a row without values is left alone), or when a
// numbered row has a value without position, with a position no name or several names
// have, or with a position given twice.
bool parse_merge_typerslt(a_measinfo* first_block);

// ---------------------------------------------------------------------------------------
// Association by document scope.

// No scope: the elements share no ancestor (or one of them is missing).
inline constexpr std::int32_t NOSCOPE = 2147483647;

// How the data of a candidate index node is read.
enum a_scopekind : int {
    pety_tag = 1,           // an element
    pety_measpair = 2,      // a pair chain: its first pair's element
    pety_measinfo = 3,      // a block: its mmi_tag
    pety_measvalue = 4,     // a row: its mmv_tag
};

// One candidate of a scope search.
struct a_scopeinfo {
    a_objidx* psi_idxnode;      // set by the caller
    a_taginfo* psi_tag;
    a_measpair* psi_measpair;
    a_measinfo* psi_measinfo;
    a_measvalue* psi_measvalue;
    std::uint32_t psi_seq;      // psi_tag's ti_seq
    std::int32_t psi_scope;     // scope distance to the searched element
};

// One configured element name while a header index is built.
struct a_parseelem {
    std::int32_t pel_count;     // elements of this name in the section (0: none)
    std::int32_t pel_depth;     // their ti_depth
    std::int32_t pel_seq;       // ti_seq of the first of them
    const char* pel_attr;       // attribute configured with the name, or NULL
    a_objhead* pel_seqidx;      // the section's elements of this name, by ti_seq
    a_objidx* pel_seqidxnode;   // where the next partner search starts
};

// The index of all elements of a section: keyed by tag type (the registry node), each
// node counting its elements (poi_hits) and holding in poi_child an index of them by
// ti_seq whose node data is the element. Find-only once built. NULL on failure.
a_objhead* parse_index_taginfo(a_taginfo* section);
// Levels between the shallower of a and b and their lowest common ancestor: 0 when one
// contains the other (or they are the same), 1 for siblings, 2 for cousins. NOSCOPE with
// code 3 (an element missing) or code 5 (no common ancestor).
std::int32_t parse_get_scope(const a_taginfo* a, const a_taginfo* b);
// Completes a candidate whose psi_idxnode is set: its record and element by kind, its
// sequence number and its scope to element. NULL (recorded) when the node, its data or
// the record's element is missing; a failed scope is NOSCOPE with the error pending.
a_scopeinfo* parse_fill_scopevalues(a_scopeinfo* scopeinfo, const a_taginfo* element, a_scopekind kind);
// The candidate nearest in scope to element of an index ordered by ti_seq whose
// candidates are all of one depth, node being any of them (the nearer to element's
// position, the shorter the walk): the last candidate at or before element's position
// when no later one is nearer, else the first one after it. The result depends neither
// on node nor on the index's shape. NULL on failure (recorded).
a_objidx* parse_find_scope(a_objidx* node, const a_taginfo* element, a_scopekind kind);
// The header index of an element-name item: the most frequent listed element (then the
// deepest, then the one whose first occurrence is latest) is primary, and each of its
// occurrences, keyed by its ti_seq, holds a chain of pairs: itself, then the nearest
// element of every other listed name that occurs in the section (attribute names as
// configured; no names or values yet), except one nearer to another occurrence of the
// primary: that pair keeps no element and gives nothing. NULL on failure, also (code 2) when none of the
// names occurs in the section, which *none (when given) then tells.
a_objhead* parse_index_header(a_objhead* tag_index, int item, bool* none = nullptr);
// The index of the counter names (values) of a section: like a header index of the item,
// but when elements of several of its names occur, each of them is an entry of its own
// (a chain of one pair), so that blocks of either counter form keep their counters.
// NULL on failure, also (code 2) when none of the names occurs, which *none then tells.
a_objhead* parse_index_counters(a_objhead* tag_index, int item, bool* none = nullptr);
// The steps of parse_index_header. prepare fills one record per value of the item (NULL
// on failure; code 6 when one name occurs at different depths); sort ranks them (primary
// first) and returns the primary's sequence index, NULL when it has no elements; create
// replaces the data of every node of index (a copy of that sequence index) by its chain.
a_parseelem** parse_prepare_elems(a_parseelem** elem_list, a_objhead* tag_index, int item);
a_objhead* parse_sort_elems(a_parseelem** elem_list, int count);
bool parse_create_elems(a_objhead* index, a_parseelem** elem_list, int count);

// The classification of element names into expansion kinds, built at start-up from the
// items distinguishedNameElementNames (13), delimitedCounterElementNames (14),
// normalCounterElementNames (15) and timestampCounterElementNames (16); read-only
// afterwards, shared by the workers.
bool parse_init_globtype();
bool parse_deinit_globtype();
// The item (13 to 16) that lists the pair's element with the pair's attribute, or 0.
int parse_get_globtype(const a_measpair* pair);

// ---------------------------------------------------------------------------------------
// Value expansion. Pairs made by the header indexes point at an element and optionally an
// attribute; these give them names and values (private copies from the worker's pool).
// The section-level ones return 1, or 0 (recorded). The header expansions go on past a
// pair that fails and return 1; the recorded error stays pending and fails the run.

bool parse_expand_headerpair(a_measpair* chain);
bool parse_expand_commonheader(a_objhead* measinfo_idx);
bool parse_expand_uniqueheader(a_objhead* measvalue_idx);
bool parse_expand_meastype(a_objhead* meastype_idx);
bool parse_expand_measrslt(a_objhead* measrslt_idx);
bool parse_expand_blockname(a_objhead* blockname_idx);
bool parse_expand_instanceobj(a_objhead* instance_idx);
bool parse_expand_suspect(a_objhead* suspect_idx);

// A copy of text in the worker's pool with room to spare for quoting in place and short
// suffixes; NULL (recorded) on failure.
char* parse_strdup(const char* text);
// The first attribute of element named attribute (byte for byte); NULL when absent or
// when attribute is NULL or empty.
const char* parse_get_attrval(const a_taginfo* element, const char* attribute);
// value, except: NULL gives def, and "NULL" in any case gives the first value of
// altCounterNullValue when that item has one. NULL (recorded) on failure.
const char* parse_find_altvalue(const char* value, const char* def);
// Renames the pair's name through altCounterNames (the pattern whose match starts first,
// then the first listed); no matching pattern leaves it unchanged. Returns 1, or 0
// (recorded) with the name unchanged.
bool parse_find_altcounter(a_measpair* pair);
// The pairs of a distinguished name such as "A=1,B=2": prefix_A = 1, prefix_B = 2, in
// order, a repeated name suffixed "_1", "_2", ...; values quoted. With plainObjectNames a
// component without "=" is a pair named by the prefix alone ("10896" gives prefix =
// 10896). NULL (recorded) on failure, code 31 (without plainObjectNames) when the pieces
// between "," and "=" are odd in number.
a_measpair* parse_get_distname(const char* prefix, const char* text);
// Expands a pair in place into the pairs of the distinguished name it holds (renamed,
// type 1): the pair takes the first, the last links to the pair's old successor. An
// empty name under plainObjectNames leaves the pair without name: no pairs. Returns 1,
// or 0 (recorded) with the pair unchanged.
bool parse_expand_distname(a_measpair* pair);
// Block names: the attribute names of a distinguished name joined with "_" (a component
// without "=" giving prefix, when one is given: plainObjectNames; an empty name then
// gives prefix alone); the groups captured by the first outputBlockDescription pattern
// joined with "_" (empty when it captures none). Blanks become "_". NULL (recorded) on
// failure.
char* parse_get_distblock(const char* text, const char* prefix = nullptr);
char* parse_get_regblock(const char* text);
// One pair per piece of text cut at the counter-list delimiter (empty pieces included),
// or, with counterListWhiteSpace, per run of characters other than space, tab, CR and LF;
// the piece copied as the pair's name. NULL (recorded) on failure, code 24 for a text
// without any piece.
a_measpair* parse_get_delimcounter(const char* text);
// Replaces the pair by the run of its delimited pieces, as counter names (is_name:
// renamed, cut, quoted) or values (NULL replaced, quoted, no name); *last (when given)
// gets the run's last pair. A list that is all white space under counterListWhiteSpace
// leaves the pair as a placeholder of type no_counter_type. Returns 1, or 0 (recorded).
bool parse_expand_delimcounter(a_measpair* pair, bool is_name, a_measpair** last = nullptr);
// Replaces a timestamp pair by name_Date ("01Mar2005") and name_Time ("14:30:00"), both
// type 2. Returns 1, or 0 (recorded) with the pair unchanged.
bool parse_expand_timestamp(a_measpair* pair);
// Field (0 day to 5 second) of a timestamp through the timestampDesc pattern of that
// field; -1 (recorded) on failure.
int parse_get_timestampvalue(const char* text, int field);
// "DDMonYYYY" / "HH:MM:SS" in the worker's pool, or NULL (recorded, code 33 for values
// out of range).
char* parse_get_timestampdate(const char* text);
char* parse_get_timestamptime(const char* text);

#endif
