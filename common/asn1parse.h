// asn1parse: a small BER decoder over a stdio stream. Each step reads identifier, length
// or content octets and adds the octets it consumed to a caller-owned counter. Two walks:
// the tree form (bertree) links every element under the root; the streaming form
// (BerMeas) hands each element to a visitor and keeps nothing.
// Every step returns 0 for success and 1 for failure; failures are not reported to
// anyone (see dprint).
#ifndef PM_COMMON_ASN1PARSE_H
#define PM_COMMON_ASN1PARSE_H

#include <cstdint>
#include <cstdio>

#include "asn1object.h"

// Deepest nesting either walk accepts; a measurement file needs 9 levels. Deeper input
// fails the walk instead of exhausting the stack.
inline constexpr std::uint32_t asn1_max_depth = 256;

// Failure texts go to dprint, which normally discards them. A test or a debugging session
// can install a hook to see them; the decoder never shows or logs them itself.
using asn1_diagnostic_hook = void (*)(const char* text);
void asn1_set_diagnostic_hook(asn1_diagnostic_hook hook);
void dprint_text(const char* text);
template <class... Args>
void dprint(const char* format, Args... args);

// Reads the identifier octet and the tag number. Fails at end of file.
int get_asn1_type(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen);
// Tag number from the first identifier octet and up to four continuation octets.
int get_asn1_tag(std::FILE* stream, unsigned first_octet, std::uint32_t* tag, std::uint32_t* prlen);
// Length octets; a constructed element with 0x80 has an indefinite length.
int get_asn1_length(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen);
// Short or long definite form. Fails on more than four significant length octets.
int get_asn1_definite_length(std::FILE* stream, unsigned first_octet, std::uint32_t* length,
                             std::uint32_t* prlen);
// Content of a primitive element with a non-zero length into a new `data` buffer. Fails
// without allocating when the stream is a file with fewer octets left than the length.
int get_asn1_data(std::FILE* stream, asn1_object* rec, std::uint32_t* count,
                  const asn1_dialect& dialect = asn1_tree_dialect);

// Tree form: decodes one element and all its descendants into `rec`. On failure the
// children decoded so far stay linked; the child that failed is not.
int asn1_process(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                 int* endfound, const asn1_dialect& dialect = asn1_tree_dialect);

// Streaming form: the visitor sees each element in document order, a constructed element
// before its children (at its own level), a primitive one after its content was read.
// The record is valid only during the call; its content is released right after.
// The octets of a definite-length outermost element are read ahead in blocks, never past
// its announced end: the stream is left right after the element, as the tree form leaves it.
// A content of at most asn1_stream_content_room octets is given in a buffer of at least
// that many, so that a visitor may load it as one block of fixed size (the octets after
// `length` are unspecified).
inline constexpr std::uint32_t asn1_stream_content_room = 16;
using asn1_visitor = void (*)(asn1_object& rec, std::uint32_t level, void* context);
int asn1_process(std::FILE* stream, asn1_object* rec, std::uint32_t* prlen, std::uint32_t* indent,
                 int* endfound, asn1_visitor visitor, void* context,
                 const asn1_dialect& dialect = asn1_stream_dialect);

// Decodes the first element of a file into a tree. Returns the root even when the walk
// failed (then *complete is false); NULL only for a NULL or empty path, a file that
// cannot be opened, or an exhausted heap.
asn1_ptr parse(const char* path, bool* complete = nullptr);
// The same over an open stream (which stays open).
asn1_ptr asn1_parse_stream(std::FILE* stream, bool* complete = nullptr);

// ---- implementation of the template ----
extern asn1_diagnostic_hook g_asn1_diagnostic_hook;

template <class... Args>
void dprint(const char* format, Args... args) {
    if (!g_asn1_diagnostic_hook) return;
    char buffer[2048];
    if constexpr (sizeof...(Args) == 0) {
        std::snprintf(buffer, sizeof buffer, "%s", format);
    } else {
        std::snprintf(buffer, sizeof buffer, format, args...);
    }
    dprint_text(buffer);
}

#endif
