// xml: the tokenizer. It turns the input file into a tree of elements whose names, texts
// and attributes stay token references into the reader's blocks, and hands every child of
// the root element, with its subtree, to the worker threads as soon as its end tag is
// read. It also keeps the registry of tag types: each element name seen is interned once,
// so that the parse side tells element kinds apart by the registry node alone. The
// registry and the error registry's messages are what other units read of it.
#ifndef MEASDOC_MD_XML_H
#define MEASDOC_MD_XML_H

#include <cstdint>

#include "md_io.h"

struct a_objidx;
struct a_objhead;
struct a_attrinfo;

// One element: its place in the document, its tokens and its links in the tree.
struct a_taginfo {
    std::int32_t ti_depth;      // 0 for the root element
    std::uint32_t ti_seq;       // elements started before this one
    std::uint32_t ti_line;      // 1-based line of the start tag's name
    a_objidx* ti_type;          // tag-type registry node of its name
    a_strmark ti_name;
    a_strmark ti_text;          // str NULL when the element has no text
    a_attrinfo* ti_attrs;       // most recently read first
    a_taginfo* ti_sibling;      // the child of the same parent started before
    a_taginfo* ti_child;        // the child started last
    a_taginfo* ti_parent;       // NULL for the root element
};

struct a_attrinfo {
    a_strmark ai_name;
    a_strmark ai_value;         // str NULL until a value is read
    a_attrinfo* ai_next;
};

// Where the tokenizer is: line feeds passed and elements started so far.
struct a_tagcounter {
    std::uint32_t xtc_line;
    std::uint32_t xtc_tags;
};

extern a_tagcounter tag_counter;
// The innermost open element; after a complete document, the root element.
extern a_taginfo* tag_info;
// The tag-type registry (inserts, by the tokenizer) and its find-only duplicate (lookups,
// by any thread).
extern a_objhead* tag_typesetter;
extern a_objhead* tag_typegetter;

// Resets the counters, releases any earlier element tree and creates the registry (kept
// when it exists). Takes xmlStandardText from the configuration: with 1, references in
// texts and attribute values are decoded, CDATA sections are text and namespace prefixes
// and declarations are dropped. Returns 1, or 0 (recorded).
bool xml_init();
// Releases the element tree and the registry. Returns 1, or 0 (recorded).
bool xml_deinit();
// Releases the whole element tree; tag_info becomes NULL.
void xml_init_taginfo();
// Tokenizes the whole file, handing over the root's children as they close. Returns 1,
// or 0 when the file is not a measurement file at all (code 45) or cannot be started;
// any other failure stays recorded (and fails the run) while it returns 1.
bool xml_parse();
// The root element of the tree, or NULL.
a_taginfo* xml_get_root();

// Registry node of a name, NULL when no element of that name has been closed yet.
a_objidx* xml_getstrtype(const char* name);
// The element's registry node, looked up by name and stored when not set yet.
a_objidx* xml_gettagtype(a_taginfo* tag);

// Releases the element's descendants and its own attributes and tokens, leaving its record
// with no children, attributes, name or text for its owner to free. Works without
// recursion, so any nesting depth is safe.
void xml_free_taginfo(a_taginfo* tag);
void xml_free_attrinfo(a_attrinfo* list);

// The scanners. Each takes the current position and returns the position after what it
// consumed, or NULL at the end of the input or after an error (recorded). They advance
// only through io_eof_blockinfo, so block boundaries are crossed transparently.
char* xml_skip_ws(char* pos);
char* xml_text(char* pos);
char* xml_tag(char* pos);
char* xml_tag_name(char* pos, a_strmark* name);
char* xml_attr_list(char* pos, a_taginfo* tag);
char* xml_attr_name(char* pos, a_taginfo* tag);
char* xml_attr_val(char* pos, a_taginfo* tag);
char* xml_dqouti_str(char* pos, a_strmark* value);
char* xml_sqouti_str(char* pos, a_strmark* value);

#endif
