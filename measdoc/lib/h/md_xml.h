// xml: the element records of the tokenizer, which the registry prints in its messages
// and the parse side walks.
#ifndef MEASDOC_MD_XML_H
#define MEASDOC_MD_XML_H

#include <cstdint>

#include "md_io.h"

struct a_objidx;
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

#endif
