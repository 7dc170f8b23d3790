// conf: every setting of the module. 33 items, each a list of texts that the host may set
// once per cycle before start-up; the rest take built-in defaults from one of two sets
// (the current and the older layout). glob_init fills in the defaults and prepares the
// values once (element names split, numbers converted, patterns compiled, key/value pairs
// indexed); during a run the parse side, the reader and the thread unit only read them.
#ifndef MEASDOC_MD_CONF_H
#define MEASDOC_MD_CONF_H

#include <cstdint>
#include <string_view>

struct a_pregex;
struct a_objhead;

// Item numbers and the markers that group them by kind. The number is what the host
// setters and every accessor take.
enum a_xmlcfgtype : int {
    xcfg_undef = 0,
    xcfg_s_start = 1,
    xcfg_s_char = 2,
    xcfg_xmlnameattrdelimiter = 3,
    xcfg_counterlistdelimiter = 4,
    xcfg_s_tag = 5,
    xcfg_hdrelemnames = 6,
    xcfg_uniquepifhdrelemnames = 7,
    xcfg_uniquepifblkelemname = 8,
    xcfg_measvalelemname = 9,
    xcfg_meastypelemseq = 10,
    xcfg_measrsltelemseq = 11,
    xcfg_suspectflagelemname = 12,
    xcfg_distnameelemnames = 13,
    xcfg_delimcntrelemnames = 14,
    xcfg_normcntrelemnames = 15,
    xcfg_timestampctrelemnames = 16,
    xcfg_measdatelemname = 17,
    xcfg_meashdrelemname = 18,
    xcfg_measftrelemname = 19,
    xcfg_outblkelemname = 20,
    xcfg_instanceobject = 21,
    xcfg_s_number = 22,
    xcfg_maxcntrnamesz = 23,
    xcfg_xmldocumenttype = 24,
    xcfg_threadnum = 25,
    xcfg_threadstacksize = 26,
    xcfg_s_strings = 27,
    xcfg_altcntrval = 28,
    xcfg_xmlfilename = 29,
    xcfg_s_regex = 30,
    xcfg_outblkdesc = 31,
    xcfg_altcntrnames = 32,
    xcfg_timestampdesc = 33,
    xcfg_s_hash = 34,
    xcfg_altoutblknames = 35,
    xcfg_s_end = 36,
    // Items added after the original set keep the numbers above unchanged.
    xcfg_counterlistwhitespace = 37,
    xcfg_counterpositionattr = 38,
    xcfg_plainobjectnames = 39,
    xcfg_qualifiedheadernames = 40,
    xcfg_xmlstandardtext = 41,
    xcfg_s_last = 41,
};

// The six patterns of timestampDesc, by the field each one captures.
enum a_timestampdesc : int {
    dcfg_daydesc = 0,
    dcfg_monthdesc = 1,
    dcfg_yeardesc = 2,
    dcfg_hourdesc = 3,
    dcfg_mindesc = 4,
    dcfg_secdesc = 5,
};

// How an item's values are prepared and read.
enum a_xmlcfgkind : int {
    xkind_none = 0,     // a marker or no item
    xkind_char,
    xkind_tag,          // element names, split into element and attribute
    xkind_number,
    xkind_string,
    xkind_regex,
    xkind_hash,
};

// What the host interface needs to know of an item.
struct a_xmlcfginfo {
    a_xmlcfgkind kind;
    std::string_view host_name;     // the setter is "measdoc_set_" + host_name
    std::string_view export_key;    // key of the item in the exported configuration
};

// One value of an item. xs_text is the text copied from the host (owned by the record);
// preparation cuts it in place and fills the second word by kind.
struct a_xmlslot {
    char* xs_text;              // element name / pattern (cut before "[]") / the text
    union {
        char* xs_attr;          // element names: attribute name, or NULL
        std::int32_t xs_num;    // numbers
        a_pregex* xs_regex;     // patterns: compiled, or NULL when compilation failed
    };
};

// One item's values (heap, one allocation with its slots right behind it).
struct a_xmlconfig {
    std::int32_t xcf_count;     // values; the key/value item once prepared: pairs
    std::int32_t xcf_texts;     // texts held in xcf_slot (pairs keep key 2i, value 2i+1)
    void* xcf_extra;            // combined pattern of a pattern item, or key/value index
    a_xmlslot* xcf_slot;        // xcf_texts slots
};

// Fills in the defaults of the items the host left empty and prepares every item.
// Returns 1; 0 (recorded) only when a default cannot be made. A pattern that does not
// compile or an odd key/value list is recorded and left pending while start-up still
// succeeds: the next run then fails at once with that error. A second call while the
// items are prepared changes nothing and returns 1.
bool glob_init();
// Releases every item (values, compiled patterns, indexes); the items can be set again.
// Returns 1, or 0 when an index could not be destroyed (recorded; everything else is
// still released).
bool glob_deinit();

// Sets an item from a NULL-terminated array of texts (copied). Returns 1, or 0 when type
// names no item (code 2), the item is already set (code 37), an error is pending, or the
// copy fails (codes 1 and 2); the item is unchanged then.
bool glob_set_config(int type, const char* const* values);
// A new record holding copies of the texts up to the NULL, or NULL (recorded).
a_xmlconfig* glob_generate_config(const char* const* values);
// The item's slot, NULL for markers and numbers that name no item.
a_xmlconfig** glob_get_config_ptr(int type);
// The item's record, NULL for no item or an empty slot.
a_xmlconfig* glob_get_config(int type);
// Kind, host name and export key of an item; NULL for markers and out-of-range numbers.
const a_xmlcfginfo* glob_get_config_info(int type);

// Accessors, used after glob_init. Each records code 36 and returns the failure value
// given when the type is not of its kind or the index is outside 0 to count-1.
// Number of values; 0 for markers and items without record; -1 outside 2 to 35 and 37
// to xcfg_s_last.
std::int32_t glob_getnum_config(int type);
// First character of the only value of a character item; NUL on failure.
char glob_get_delim(int type);
// Element name / attribute name (NULL when none) of value i; NULL on failure.
const char* glob_getname_tagelem(int type, int item);
const char* glob_getattr_tagelem(int type, int item);
// Integer value i of a number item; -1 on failure. Texts with a non-digit give 0,
// values beyond 2147483647 give 2147483647.
std::int32_t glob_getnum_value(int type, int item);
// Text i of a string item; NULL on failure.
const char* glob_get_string(int type, int item);
// Copies compiled pattern i into *record (the caller executes its own copy: a record
// keeps its last match) and returns record; NULL on failure, also (code 13) when that
// pattern did not compile at start-up.
a_pregex* glob_get_regex(int type, a_pregex* record, int item);
// Pattern text i (before any "[]"); NULL on failure.
const char* glob_getstr_regex(int type, int item);
// The find-only index key -> value text of the key/value item; NULL when it has none.
a_objhead* glob_getindex_hash(int type);
// Key / value of pair i; NULL on failure or when the text is missing (odd list).
const char* glob_getkey_hash(int type, int item);
const char* glob_getval_hash(int type, int item);

#endif
