// util, util2: the module's own string, memory and number primitives. Several differ from
// their C library namesakes on purpose (comparisons only tell equal from different,
// copies return the end for appending); callers rely on these results.
#ifndef MEASDOC_MD_UTIL_H
#define MEASDOC_MD_UTIL_H

#include <cstddef>
#include <cstdint>

// Bytes before the terminator.
std::size_t util_strlen(const char* text);
// Copies source with its terminator; returns the terminator written in destination.
char* util_strcpy(char* destination, const char* source);
// 0 when byte-wise equal, -1 otherwise (no ordering).
int util_strcmp(const char* a, const char* b);
// As util_strcmp with bit 5 of every byte ignored (folds ASCII case, and pairs a few
// punctuation marks that differ only in that bit).
int util_strcasecmp(const char* a, const char* b);
void util_memzero(void* area, std::size_t size);
// The areas must not overlap.
void util_memcpy(void* destination, const void* source, std::size_t size);

// Writes value in decimal and a terminator; returns the terminator. width > 0: exactly
// width characters, zero-padded (a minus sign counts in them); width 0: natural width;
// width < 0: at most -width-1 characters (callers pass ~room). A value that does not fit
// writes nothing and returns buffer.
char* util_int2decnstr(char* buffer, int width, std::int64_t value);
// Reads exactly digits decimal digits at *position: their value, with *position moved
// past them; fallback (position unchanged) when a non-digit or the end comes first; 0
// for digits <= 0.
std::int64_t util_decnstr2int(const char** position, int digits, std::int64_t fallback);

// Encloses a text holding a space in double quotes, in place: the buffer needs two spare
// bytes. A text without a space is unchanged. Returns text.
char* util_addquotes(char* text);
// Replaces every tab, line feed, form feed, carriage return and space by "_", in place.
// Returns text.
char* util_strusws(char* text);

// A heap copy (mem_sysmalloc), or NULL with the failure recorded.
char* util2_strdup(const char* text);

#endif
