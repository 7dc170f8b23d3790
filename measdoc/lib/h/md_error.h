// error: the per-thread error and warning registry. The innermost failing function sets
// the code and the first words of its thread's message; each caller that fails because of
// it appends its own location, so the message reads like a call trace. Harmless failures
// are demoted to warnings, merged across threads at the end of a run and handed to the
// host one by one. Used by every unit of the module.
#ifndef MEASDOC_MD_ERROR_H
#define MEASDOC_MD_ERROR_H

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>

struct a_taginfo;
struct a_measpair;
struct a_tagcounter;

enum a_errcode : std::uint32_t {
    ERR_NONE = 0,
    ERR_SYSTEM = 1,
    ERR_NULL = 2,
    ERR_TAGNULL = 3,
    ERR_CONDITION = 4,
    ERR_SCOPE_DIFFERENT = 5,
    ERR_SCOPE_DEPTH = 6,
    ERR_SCOPE_EMPTY = 7,
    ERR_INDEX_FEATURE = 8,
    ERR_INDEX_EMPTY = 9,
    ERR_MEM_EMPTY = 10,
    ERR_MEM_CORRUPT = 11,
    ERR_MEM_PAGESIZE = 12,
    ERR_REGEX_NOPATTERN = 13,
    ERR_REGEX_COMPILE = 14,
    ERR_REGEX_STUDY = 15,
    ERR_REGEX_INTERNAL = 16,
    ERR_REGEX_NOMATCH = 17,
    ERR_REGEX_EXEC = 18,
    ERR_REGEX_RANGE = 19,
    ERR_REGEX_OVERFLOW = 20,
    ERR_PARSE_NOMEASINFO = 21,
    ERR_PARSE_NOMEASVALUE = 22,
    ERR_PARSE_NOMEASTYPE = 23,
    ERR_PARSE_EMPTYCOUNTER = 24,
    ERR_PARSE_NOTDN = 25,
    ERR_PARSE_CROSSCHECK = 26,
    ERR_PARSE_COUNTMISMATCH = 27,
    ERR_PARSE_MULTIHEADER = 28,
    ERR_PARSE_BLOCKDESC = 29,
    ERR_PARSE_BADSECTION = 30,
    ERR_PARSE_BADPAIR = 31,
    ERR_PARSE_TSDESC = 32,
    ERR_PARSE_TSVALUE = 33,
    ERR_PARSE_TSMISSING = 34,
    ERR_GLOB_HASHODD = 35,
    ERR_GLOB_INVALID = 36,
    ERR_GLOB_ASSIGNED = 37,
    ERR_THREAD_NODATA = 38,
    ERR_THREAD_NOTAG = 39,
    ERR_IO_NOMARK = 40,
    ERR_XML_BEGINTAG = 41,
    ERR_XML_ENDTAG = 42,
    ERR_XML_EQUAL = 43,
    ERR_XML_MISMATCH = 44,
    ERR_XML_INVALID = 45,
    ERR_XS_CONFIGLIMIT = 46,
};
inline constexpr std::uint32_t error_code_count = 47;

// The text of each code, written after "ERROR: " / "WARN : ".
extern const std::array<std::string_view, error_code_count> errtype_str;

// Room of the message text, terminator included.
inline constexpr std::size_t error_text_size = 1024;

struct a_warninfo;

// One thread's error area.
struct a_errinfo {
    std::uint32_t code;         // 0 = no error
    char* cursor;               // end of the text written so far (NULL: nothing written yet)
    a_warninfo* warnings;       // newest warning of this thread, or NULL
    char text[error_text_size];
};

// One warning (heap); its text follows the record.
struct a_warninfo {
    a_warninfo* next;           // older warning
    std::uint32_t count;        // in the oldest node of a thread's list: warnings in the list
    std::uint32_t code;
    a_warninfo* first;          // the oldest node of the list
    char* text() { return reinterpret_cast<char*>(this + 1); }
    const char* text() const { return reinterpret_cast<const char*>(this + 1); }
};

// Most warnings one thread keeps; later ones are dropped.
inline constexpr std::uint32_t error_max_warnings = 200;

// Kinds of detail, numbered as the message layout knows them.
enum a_errdetail_type : std::uint32_t {
    ERRD_UNKNOWN = 0,           // ends the detail list
    ERRD_INT = 1,               // [v]
    ERRD_ERRNO = 2,             // [error desc - system text]; nothing for a value below 1
    ERRD_ACHAR = 3,
    ERRD_CHAR = 4,
    ERRD_ASTR = 5,              // [text]; [] for NULL
    ERRD_CHARPTR = 6,
    ERRD_TAGINFO = 7,           // [tag - name:line]; nothing for NULL
    ERRD_PCRESTR = 8,           // [message - text]; nothing for NULL
    ERRD_PCREOFF = 9,           // [offset - n]
    ERRD_MEASPAIR = 10,         // [measurement pair - name:value:attr:] then its tag's item
    ERRD_TAGCOUNTER = 11,       // [tag counter - line:tags]; nothing for NULL
};

// One detail of a message: its kind fixes how the value is printed.
struct a_errdetail {
    a_errdetail_type type;
    union {
        long long num;
        const char* str;
        const a_taginfo* tag;
        const a_measpair* pair;
        const a_tagcounter* counter;
    };
};

constexpr a_errdetail err_int(long long v) { a_errdetail d{ERRD_INT, {}}; d.num = v; return d; }
constexpr a_errdetail err_errno(int v) { a_errdetail d{ERRD_ERRNO, {}}; d.num = v; return d; }
constexpr a_errdetail err_str(const char* v) { a_errdetail d{ERRD_ASTR, {}}; d.str = v; return d; }
constexpr a_errdetail err_tag(const a_taginfo* v) { a_errdetail d{ERRD_TAGINFO, {}}; d.tag = v; return d; }
constexpr a_errdetail err_pcrestr(const char* v) { a_errdetail d{ERRD_PCRESTR, {}}; d.str = v; return d; }
constexpr a_errdetail err_pcreoff(long long v) { a_errdetail d{ERRD_PCREOFF, {}}; d.num = v; return d; }
constexpr a_errdetail err_measpair(const a_measpair* v) { a_errdetail d{ERRD_MEASPAIR, {}}; d.pair = v; return d; }
constexpr a_errdetail err_tagcounter(const a_tagcounter* v) {
    a_errdetail d{ERRD_TAGCOUNTER, {}}; d.counter = v; return d;
}

// Where a call was made. Filled at the caller's site through the default argument (the
// standard's source_location is missing from some of the compilers we build with).
struct a_srcloc {
    const char* file;
    unsigned line;
    static constexpr a_srcloc current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
        return a_srcloc{file, line};
    }
};

// Records a failure in the calling thread's area: the first failure of a chain sets the
// code and starts the text with "ERROR: " and the code's text; every call then appends
// its details and a location item naming the function of `expression` and the caller's
// file and line. Never fails: what does not fit in 1023 characters is cut. Returns code.
a_errcode error_set_message(std::string_view expression, a_errcode code,
                            std::initializer_list<a_errdetail> details = {},
                            a_srcloc where = a_srcloc::current());

// code 0: a query. Otherwise, when code is the area's current code: clears it, first
// turning the message into a warning when as_warning is set (unless this thread already
// keeps error_max_warnings warnings or its newest warning has the same code). Returns the
// area's code before the call.
std::uint32_t error_clear_message(std::uint32_t code, bool as_warning);

// True when the calling thread's current code is code.
bool error_check_message(std::uint32_t code);

// End of a run, on the reading thread after the workers were joined: with no published
// error, merges every thread's warnings into the module's list (duplicates dropped,
// greatest text first) and empties the threads' lists; otherwise makes the published
// error the reading thread's message. Returns 1, or 0 when the merge failed (recorded;
// the warnings then stay in the threads' lists).
bool error_get_message();

// The pending message of the calling (reading) thread, returned once: its code is
// cleared. NULL when nothing is pending.
const char* error_get_errmsg();
// Text of the head of the module's warning list, or NULL.
const char* error_get_warnmsg();
// Removes the head of the module's warning list (nothing when empty).
void error_pop_warnmsg();

// Frees the warning list of one area (thread records being released).
void error_free_warnings(a_errinfo* area);
// Frees the module's merged warning list.
void error_free_warnmsgs();

// The calling thread's area: its record's under th_key, else th_main's.
a_errinfo* error_get_area();

// Function part of a location item: the expression without leading blanks and cast, cut
// before the "(" that follows a leading name, else whole. Writes at most size-1 bytes and
// a terminator; returns the end of the written text.
char* error_get_funcname(std::string_view expression, char* buffer, std::size_t size);
// The part of path after its last "/", written as above; returns the end.
char* error_get_filename(std::string_view path, char* buffer, std::size_t size);

#endif
