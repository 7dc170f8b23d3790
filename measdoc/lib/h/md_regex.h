// regex: compiled patterns behind a small record, with what the pattern library lacks:
// lists of patterns tried as one through a combined pattern that tells which one matched,
// replacement templates with $n references and backslash escapes, and error recording.
// The configuration compiles patterns at start-up; the parse side executes its own copies
// of the records (a record keeps its last match, so one record serves one thread).
#ifndef MEASDOC_MD_REGEX_H
#define MEASDOC_MD_REGEX_H

#include <cstdint>

struct pcre2_real_code_8;

struct a_pregex {
    std::int32_t grx_size;      // ints in a match vector: 3 * (1 + unescaped "(")
    std::int32_t grx_count;     // after a match: 1 + last non-empty substring (0 if none)
    int* grx_vector;            // vector of the last execution (caller's storage)
    const char* grx_replace;    // replacement template, or NULL (caller's storage)
    const char* grx_subject;    // subject of the last execution (caller's storage)
    const char* grx_pattern;    // pattern text (caller's storage; the record's own for a combined one)
    pcre2_real_code_8* grx_code;
    std::uint32_t grx_jit;      // 1 when the pattern was compiled to machine code
    a_pregex* grx_older;        // compiled before it into the list; combined: the list's newest
    a_pregex* grx_newer;        // compiled after it; for the newest: the combined pattern
    char* grx_metatext;         // text owned by a combined pattern; NULL for others
};

// Routes the pattern library's allocations through mem_sysmalloc/mem_sysfree. Returns 1,
// or 0 (recorded) when the library's contexts cannot be made.
bool regex_init();
// Releases what regex_init made; compiled patterns stay usable. Returns 1.
bool regex_deinit();

// Compiles pattern (options 0, default tables) with its replacement template (both kept
// by pointer) as the newest entry of *list. Returns 1, or 0 (recorded) with the list
// unchanged. A failed machine-code compilation is only a warning.
bool regex_compile_pregex(a_pregex** list, const char* pattern, const char* replacement);
// Frees one record and its compiled pattern; NULL accepted.
void regex_destroy_pregex(a_pregex* regex);
// Builds the combined pattern of the list whose newest entry is newest; its group i tells
// that pattern i-1 (0 = newest) matched. NULL on failure (recorded).
a_pregex* regex_meta_pregex(a_pregex* newest);
// Matches subject from its start; vector holds regex->grx_size ints. Returns 1, or 0
// (code 17 no match, 18 failure; nothing recorded for NULL arguments).
bool regex_exec_pregex(a_pregex* regex, int* vector, const char* subject);
// Length of substring item of the last match; 0 with code 19 when out of range.
int regex_get_pregexlen(const a_pregex* regex, int item);
// Copies substring item (at most size-1 bytes) with a terminator; returns the terminator,
// or NULL (code 19 out of range, code 20 no room at all).
char* regex_get_pregexstr(const a_pregex* regex, char* buffer, int size, int item);
// Which pattern of regex's list matches subject: 0 = newest. -1 when none does (codes
// 17 and 2 recorded). The list's records are not written to.
int regex_find_pregex(const a_pregex* regex, const char* subject);
// Writes into buffer (capacity length): subject before the match, the expanded template,
// subject from the end of the last counted substring on. Returns buffer, or NULL (code 2
// after the execution's code; code 20 when the result does not fit).
char* regex_replace_pregex(a_pregex* regex, const char* subject, char* buffer, int length);
// Expands a template against the last match of regex into out; writing stops one byte
// before out_end (a terminator is written there or earlier). A reference to a group of
// the pattern that is unset or empty gives nothing; one beyond the pattern's groups gives
// nothing and records code 19. Returns the end written.
char* regex_replace_str(const a_pregex* regex, const char* templ, char* out, char* out_end);
// Reads one escape sequence starting at text (the character after a backslash): *value
// gets its character (0 for sequences that stand for none). Returns the position after it.
const char* regex_get_escape(const char* text, int* value);
// 3 * (1 + number of unescaped "(") of pattern.
int regex_count_subexpression(const char* pattern);

#endif
