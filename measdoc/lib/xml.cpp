// xml: the tokenizer and the tag-type registry. xml_parse runs on the reading thread
// (called by thr_run_xml) and hands the root's children to the thread unit as they close;
// the parse side reads the elements and the registry, and releases each section's tree
// with xml_free_taginfo when it is done with it.
//
// The scanners keep one rule: a position is dereferenced only after io_eof_blockinfo has
// said it lies inside the current block, so no byte beyond the data read is ever looked at.
#include "md_xml.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "md_conf.h"
#include "md_error.h"
#include "md_index.h"
#include "md_memory.h"
#include "md_thread.h"

a_tagcounter tag_counter{};
a_taginfo* tag_info = nullptr;
a_objhead* tag_typesetter = nullptr;
a_objhead* tag_typegetter = nullptr;

namespace {

// The root element's end tag has been read.
bool root_closed = false;
// The element whose text the last text piece set, for as long as only comments and
// processing instructions follow the piece: the next piece continues that text (a value
// split by a comment is one value). Whether blanks ended that piece.
a_taginfo* text_owner = nullptr;
bool text_blank_after = false;
// Texts read as XML means them (xmlStandardText 1): references decoded, CDATA sections
// as text, namespace prefixes dropped. Taken from the configuration at start-up.
bool standard_text = false;
// The tokenizer's own find-only view of the registry, without the lock: the tokenizer is
// the registry's only writer, so its reads need no protection from its writes, and the
// lock is left to the inserts that the workers' lookups must not see half done.
a_objhead* tag_typefinder = nullptr;

enum : unsigned char {
    cls_blank = 1,      // NUL, tab, line feed, form feed, carriage return, space
    cls_name_end = 2,   // ends a name: a blank, "<", ">", "/"
    cls_value_end = 4,  // ends an unquoted value: the same
};

constexpr std::array<unsigned char, 256> char_class = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned char c : {'\0', '\t', '\n', '\f', '\r', ' '}) table[c] = cls_blank | cls_name_end | cls_value_end;
    for (unsigned char c : {'<', '>', '/'}) table[c] = cls_name_end | cls_value_end;
    return table;
}();

bool is_blank(char c) { return (char_class[static_cast<unsigned char>(c)] & cls_blank) != 0; }
bool ends_name(char c) { return (char_class[static_cast<unsigned char>(c)] & cls_name_end) != 0; }

// The records below a section (its descendants and their attributes) come from slabs
// of the heap that belong to the section and go back together when it is released: one
// heap request per slab instead of two per element, and none from the worker that
// releases it. The records of the root and of the sections themselves are heap records of
// their own, since a released section's record stays in the root's child list.
struct a_tagslab {
    a_tagslab* next;    // the slab filled before this one
    char* cur;          // first free byte
    char* end;
};

struct a_tagarena {
    const a_taginfo* section;
    a_tagslab* slabs;   // newest first
    std::size_t next_size;
    a_tagarena* next;   // the live arenas, for the section that releases its own
    a_tagarena* prev;
};

constexpr std::size_t first_slab_size = 4096;
constexpr std::size_t max_slab_size = 256 * 1024;

// The live arenas: the reading thread adds one per section it starts, the thread that
// releases a section takes its arena out. Leaf lock, held for one list operation.
std::mutex arena_lock;
a_tagarena* arenas = nullptr;
// The arena of the section being read (reading thread only; cleared when the section
// leaves for the workers and when the tree is released, never by the thread that drops it).
a_tagarena* open_arena = nullptr;

constexpr std::size_t record_align = alignof(std::max_align_t);

constexpr std::size_t round_record(std::size_t size) { return (size + record_align - 1) / record_align * record_align; }

// A new arena for section, listed; NULL when the heap is exhausted (errno set).
a_tagarena* new_arena(const a_taginfo* section) {
    auto* arena = static_cast<a_tagarena*>(mem_sysmalloc(sizeof(a_tagarena)));
    if (arena == nullptr) return nullptr;
    *arena = a_tagarena{section, nullptr, first_slab_size, nullptr, nullptr};
    std::lock_guard<std::mutex> guard(arena_lock);
    arena->next = arenas;
    if (arenas != nullptr) arenas->prev = arena;
    arenas = arena;
    return arena;
}

// size zero-filled bytes from the open arena, or NULL (errno set) when the heap is
// exhausted.
void* arena_record(std::size_t size) {
    a_tagarena* arena = open_arena;
    if (arena == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    const std::size_t need = round_record(size);
    a_tagslab* slab = arena->slabs;
    if (slab == nullptr || static_cast<std::size_t>(slab->end - slab->cur) < need) {
        const std::size_t header = round_record(sizeof(a_tagslab));
        const std::size_t bytes = std::max(arena->next_size, header + need);
        auto* raw = static_cast<char*>(mem_sysmalloc(bytes));
        if (raw == nullptr) return nullptr;
        slab = reinterpret_cast<a_tagslab*>(raw);
        *slab = a_tagslab{arena->slabs, raw + header, raw + bytes};
        arena->slabs = slab;
        arena->next_size = std::min(arena->next_size * 2, max_slab_size);
    }
    void* record = slab->cur;
    slab->cur += need;
    std::memset(record, 0, size);
    return record;
}

// Takes the arena of section out of the list and returns its slabs to the heap.
void drop_arena(const a_taginfo* section) {
    a_tagarena* arena = nullptr;
    {
        std::lock_guard<std::mutex> guard(arena_lock);
        for (arena = arenas; arena != nullptr && arena->section != section; arena = arena->next) {
        }
        if (arena == nullptr) return;
        if (arena->prev != nullptr) arena->prev->next = arena->next;
        if (arena->next != nullptr) arena->next->prev = arena->prev;
        if (arenas == arena) arenas = arena->next;
    }
    // open_arena is the reading thread's alone: it forgets the arena when the section
    // closes or the tree is released (a worker dropping a section never touches it).
    for (a_tagslab* slab = arena->slabs; slab != nullptr;) {
        a_tagslab* older = slab->next;
        mem_sysfree(slab);
        slab = older;
    }
    mem_sysfree(arena);
}

// Whether an element's record and attributes are heap records of their own (the root and
// the sections) rather than parts of a section's arena.
bool own_records(const a_taginfo* tag) { return tag->ti_depth <= 1; }

// Moves past the byte at pos without looking at it (declarations, bytes already counted or
// overwritten). False at the end of the input.
bool skip(char*& pos) {
    ++pos;
    return !io_eof_blockinfo(&pos);
}

// Moves past the byte at pos, counting it when it is a line feed.
bool pass(char*& pos) {
    if (*pos == '\n') ++tag_counter.xtc_line;
    return skip(pos);
}

// Overwrites the byte at pos with a terminator (counted first) and moves past it.
bool terminate_and_pass(char*& pos) {
    if (*pos == '\n') ++tag_counter.xtc_line;
    *pos = '\0';
    return skip(pos);
}

void record_tag_error(const char* expression, a_errcode code) {
    error_set_message(expression, code, {err_tagcounter(&tag_counter)});
}

// A quoted token from the opening quote at pos: the closing quote becomes its terminator
// (*quote_end, when asked for, receives its place); line feeds inside are counted, NUL
// bytes become spaces.
char* read_quoted(char* pos, a_strmark* value, char** quote_end = nullptr) {
    const char quote = *pos;
    if (!skip(pos)) return nullptr;
    io_start_markinfo(pos);  // also drops a token begun before the quote
    // The reader moves past the closing quote before the caller sees the token: it needs
    // its hold even when it is only to be compared.
    mark_info.mi_disabled = 0;
    while (*pos != quote) {
        if (*pos == '\0') *pos = ' ';
        if (!pass(pos)) return nullptr;
    }
    pos = io_end_markinfo(value, pos);
    if (pos == nullptr) return nullptr;
    *pos = '\0';
    if (quote_end != nullptr) *quote_end = pos;
    return skip(pos) ? pos : nullptr;
}

// A name, up to a blank, "<", ">" or "/" (and "=" for an attribute name). A part in
// quotes restarts the token after the opening quote and ends it at the closing one. An
// "=" ends an attribute name; in an element name it is an error (code 43, recorded under
// `where`). Leaves name empty when nothing is read. *name_end (when asked for) receives
// the byte after the name's last: the byte the caller terminates it with, or the closing
// quote, already its terminator. With compare_only, an unquoted name takes no hold on its
// block: it must be used before the reader moves on.
char* read_name(char* pos, a_strmark* name, bool equal_ends, const char* where, char** name_end = nullptr,
                bool compare_only = false) {
    pos = xml_skip_ws(pos);
    if (pos == nullptr) return nullptr;
    if (ends_name(*pos) || (equal_ends && *pos == '=')) return pos;
    if (compare_only) io_disable_markinfo();
    io_start_markinfo(pos);
    for (;;) {
        const char c = *pos;
        if (ends_name(c)) break;
        if (c == '=') {
            if (equal_ends) break;
            record_tag_error(where, ERR_XML_EQUAL);
            io_cancel_markinfo();
            return nullptr;
        }
        if (c == '"' || c == '\'') return read_quoted(pos, name, name_end);
        if (!skip(pos)) return nullptr;
    }
    pos = io_end_markinfo(name, pos);
    if (name_end != nullptr) *name_end = pos;
    return pos;
}

// Markup opened by "!" or "?": declarations, processing instructions and document types
// end at the first ">"; comments at the first "-->", so that a ">" inside a comment does
// not leak its rest into the element's text. Nothing is counted inside. skip_markup_rest
// goes on from inside such markup (a comment's "--" already passed).
char* skip_markup_rest(char* pos, bool comment) {
    int dashes = 0;
    while (*pos != '>' || (comment && dashes < 2)) {
        dashes = *pos == '-' ? dashes + 1 : 0;
        if (!skip(pos)) return nullptr;
    }
    return skip(pos) ? pos : nullptr;
}

// What follows "<!": a comment ("--" first) or a declaration.
char* skip_bang_rest(char* pos) {
    if (*pos != '-') return skip_markup_rest(pos, false);
    if (!skip(pos)) return nullptr;
    if (*pos != '-') return skip_markup_rest(pos, false);
    if (!skip(pos)) return nullptr;
    return skip_markup_rest(pos, true);
}

char* skip_declaration(char* pos) {
    if (*pos != '!') return skip_markup_rest(pos, false);
    if (!skip(pos)) return nullptr;
    return skip_bang_rest(pos);
}

// End of a text piece that is not terminated yet: its first NUL or "<" (the "<" that ended
// it becomes its terminator only when the markup after it is read).
const char* piece_end(const char* text) {
    while (*text != '\0' && *text != '<') ++text;
    return text;
}

// A text piece's length, when only its end tells it (most pieces never need it).
constexpr std::size_t unknown_length = SIZE_MAX;

// Gives the open element the text piece of length bytes at piece.str, blanks before and
// after it removed. A piece that follows the element's text across comments (and CDATA
// sections) only continues it (one blank between them when either side had blanks); any
// other replaces it. Returns false (recorded) when the joined text cannot be allocated;
// the piece is released then.
bool add_text_piece(a_strmark piece, std::size_t length, bool blank_before, bool blank_after) {
    a_taginfo* tag = tag_info;
    if (text_owner != tag || tag->ti_text.str == nullptr) {
        io_free_markinfo(&tag->ti_text);
        tag->ti_text = piece;
    } else {
        const std::size_t old_length = std::strlen(tag->ti_text.str);
        const std::size_t gap = text_blank_after || blank_before ? 1 : 0;
        if (length == unknown_length) length = static_cast<std::size_t>(piece_end(piece.str) - piece.str);
        a_blockinfo* joined = io_new_blockinfo(old_length + gap + length);
        if (joined == nullptr) {
            error_set_message("io_new_blockinfo(old_length + gap + length)", ERR_NULL);
            io_free_markinfo(&piece);
            return false;
        }
        char* out = joined->bi_buff;
        std::memcpy(out, tag->ti_text.str, old_length);
        if (gap != 0) out[old_length] = ' ';
        std::memcpy(out + old_length + gap, piece.str, length);
        joined->bi_len = old_length + gap + length;
        joined->bi_end = out + joined->bi_len;
        *joined->bi_end = '\0';
        io_free_markinfo(&tag->ti_text);
        io_free_markinfo(&piece);
        tag->ti_text = a_strmark{out, joined};
    }
    text_owner = tag;
    text_blank_after = blank_after;
    return true;
}

// A CDATA section's content, from pos (after "<![CDATA[") to "]]>": a piece of the open
// element's text, taken as it stands apart from blanks around it (no references; "~" and
// NUL as in any text). Line feeds inside are counted.
char* read_cdata(char* pos) {
    bool blank_before = false;
    while (is_blank(*pos) && *pos != '\0') {
        blank_before = true;
        if (!pass(pos)) return nullptr;
    }
    io_start_markinfo(pos);
    // The token ends before the last two "]" of the run that ">" closes: the tentative end
    // moves along a run of "]" to the one before the newest.
    int brackets = 0;
    char* last_bracket = nullptr;
    a_blockinfo* last_bracket_block = nullptr;
    for (;;) {
        const char c = *pos;
        if (c == '>' && brackets >= 2) break;
        if (c == ']') {
            if (brackets > 0) {
                mark_info.mi_maybe = last_bracket;
                mark_info.mi_endblk = last_bracket_block;
            }
            ++brackets;
            last_bracket = pos;
            last_bracket_block = xml_file.fi_currblk;
        } else {
            brackets = 0;
            io_maybenot_markinfo();
            if (c == '\n')
                ++tag_counter.xtc_line;
            else if (c == '\0')
                *pos = ' ';
            else if (c == '~')
                *pos = '_';
        }
        if (!skip(pos)) return nullptr;  // cut off: the file fails as unfinished
    }
    a_strmark text{};
    if (io_end_markinfo(&text, pos) == nullptr) return nullptr;
    std::size_t length = std::strlen(text.str);
    bool blank_after = false;
    while (length > 0 && is_blank(text.str[length - 1])) {
        blank_after = true;
        --length;
    }
    text.str[length] = '\0';
    if (length == 0 || tag_info == nullptr) {
        io_free_markinfo(&text);
        if (blank_before || blank_after) text_blank_after = true;
    } else if (!add_text_piece(text, length, blank_before, blank_after)) {
        return nullptr;
    }
    return skip(pos) ? pos : nullptr;
}

// Markup opened by "!" when texts are read as XML: a CDATA section is text, the rest is
// skipped as without it.
char* read_bang_markup(char* pos) {
    if (!skip(pos)) return nullptr;
    if (*pos != '[') return skip_bang_rest(pos);
    for (const char* expected = "[CDATA["; *expected != '\0'; ++expected) {
        if (*pos != *expected) return skip_markup_rest(pos, false);
        if (!skip(pos)) return nullptr;
    }
    return read_cdata(pos);
}

constexpr std::uint32_t max_code_point = 0x10FFFF;

// Writes code point cp as UTF-8 at out; returns the end.
char* put_utf8(char* out, std::uint32_t cp) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

struct a_entity {
    const char* name;   // between "&" and ";"
    char value;
};
constexpr a_entity predefined_entities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};

// The character that the reference at text ("&" ... ";", inside [text, end)) stands for:
// its code point and the position after the ";". False for anything that names no
// character (an unknown name, no ";", NUL, a surrogate, beyond the last code point).
bool read_reference(const char* text, const char* end, std::uint32_t* cp, const char** after) {
    const char* semi = static_cast<const char*>(std::memchr(text, ';', static_cast<std::size_t>(end - text)));
    if (semi == nullptr) return false;
    const char* p = text + 1;
    *after = semi + 1;
    if (*p != '#') {
        const std::size_t length = static_cast<std::size_t>(semi - p);
        for (const a_entity& e : predefined_entities) {
            if (std::strlen(e.name) == length && std::memcmp(e.name, p, length) == 0) {
                *cp = static_cast<unsigned char>(e.value);
                return true;
            }
        }
        return false;
    }
    ++p;
    const bool hex = *p == 'x';
    if (hex) ++p;
    if (p == semi) return false;
    std::uint32_t value = 0;
    for (; p < semi; ++p) {
        const char c = *p;
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        value = value * (hex ? 16 : 10) + digit;
        if (value > max_code_point) return false;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *cp = value;
    return true;
}

// Decodes the predefined entities and character references of [text, end) in place (a
// decoded reference is never longer than the reference) and terminates a text that got
// shorter. A reference that names no character stays as written; a decoded "~" becomes
// "_" as a written one does. Returns the new end.
char* decode_references(char* text, char* end) {
    char* out = static_cast<char*>(std::memchr(text, '&', static_cast<std::size_t>(end - text)));
    if (out == nullptr) return end;
    const char* in = out;
    while (in < end) {
        std::uint32_t cp = 0;
        const char* after = nullptr;
        if (*in == '&' && read_reference(in, end, &cp, &after)) {
            out = put_utf8(out, cp == '~' ? '_' : cp);
            in = after;
        } else {
            *out++ = *in++;
        }
    }
    if (out < end) *out = '\0';
    return out;
}

// The local part of a name of length bytes at *name: the text after its last ":".
void drop_prefix(char** name, std::size_t length) {
    if (*name == nullptr) return;
    for (std::size_t i = length; i > 0; --i) {
        if ((*name)[i - 1] == ':') {
            *name += i;
            return;
        }
    }
}

// Length of an unterminated token: up to its first NUL or byte that ends a name.
std::size_t name_length(const char* name) {
    std::size_t length = 0;
    while (!ends_name(name[length])) ++length;
    return length;
}

// An element's attributes as XML means them: namespace declarations dropped, prefixes of
// the others removed. The tokens are terminated by now.
void standard_attributes(a_taginfo* tag) {
    a_attrinfo** link = &tag->ti_attrs;
    while (*link != nullptr) {
        a_attrinfo* attr = *link;
        const char* name = attr->ai_name.str != nullptr ? attr->ai_name.str : "";
        if (std::strcmp(name, "xmlns") == 0 || std::strncmp(name, "xmlns:", 6) == 0) {
            *link = attr->ai_next;
            io_free_markinfo(&attr->ai_name);
            io_free_markinfo(&attr->ai_value);
            if (own_records(tag)) mem_sysfree(attr);
            continue;
        }
        drop_prefix(&attr->ai_name.str, std::strlen(name));
        link = &attr->ai_next;
    }
}

// Releases the element's tokens and attributes; the attribute records go back to the
// heap unless they are part of the section's arena.
void free_tokens(a_taginfo* tag) {
    io_free_markinfo(&tag->ti_name);
    io_free_markinfo(&tag->ti_text);
    if (own_records(tag)) {
        xml_free_attrinfo(tag->ti_attrs);
    } else {
        for (a_attrinfo* attr = tag->ti_attrs; attr != nullptr; attr = attr->ai_next) {
            io_free_markinfo(&attr->ai_name);
            io_free_markinfo(&attr->ai_value);
        }
    }
    tag->ti_attrs = nullptr;
}

// Releases a record that free_tokens has emptied: a heap record goes back to the heap (a
// section's with its arena); a record of an arena goes with its section.
void free_record(a_taginfo* tag) {
    if (!own_records(tag)) return;
    if (tag->ti_depth == 1) drop_arena(tag);
    mem_sysfree(tag);
}

// A new element under the open one, which it becomes. NULL (recorded) when out of memory.
a_taginfo* start_element() {
    const std::int32_t depth = tag_info != nullptr ? tag_info->ti_depth + 1 : 0;
    a_taginfo* tag = nullptr;
    if (depth <= 1) {
        tag = static_cast<a_taginfo*>(mem_sysmalloc(sizeof(a_taginfo)));
        if (tag != nullptr && depth == 1) {
            open_arena = new_arena(tag);
            if (open_arena == nullptr) {
                const int saved = errno;
                mem_sysfree(tag);
                tag = nullptr;
                errno = saved;
            }
        }
        if (tag != nullptr) std::memset(static_cast<void*>(tag), 0, sizeof *tag);
    } else {
        tag = static_cast<a_taginfo*>(arena_record(sizeof(a_taginfo)));
    }
    if (tag == nullptr) {
        error_set_message("(a_taginfo_ptr)mem_sysmalloc(sizeof(a_taginfo))", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    tag->ti_seq = tag_counter.xtc_tags++;
    tag->ti_line = tag_counter.xtc_line + 1;
    tag->ti_parent = tag_info;
    if (tag_info != nullptr) {
        tag->ti_depth = tag_info->ti_depth + 1;
        tag->ti_sibling = tag_info->ti_child;
        tag_info->ti_child = tag;
    }
    tag_info = tag;
    return tag;
}

bool register_tag(a_taginfo* tagp) {
    a_objidx* node = index_find_stridx(tag_typefinder, tagp->ti_name.str);
    if (node != nullptr) {
        tagp->ti_type = node;
        return true;
    }
    node = index_find_stridx(tag_typesetter, tagp->ti_name.str);
    if (node == nullptr) {
        error_set_message("index_find_stridx(tag_typesetter, tagp->ti_name.str)", ERR_NULL);
        error_set_message("xml_register_tag(*tag_root) == FALSE", ERR_CONDITION);
        return false;
    }
    tagp->ti_type = node;
    return true;
}

// The end tag's name [name, end) against the open element's name.
bool same_name(const a_taginfo* open, const char* name, const char* end) {
    const char* own = open->ti_name.str != nullptr ? open->ti_name.str : "";
    const std::size_t length = static_cast<std::size_t>(end - name);
    return std::strlen(own) == length && std::memcmp(own, name, length) == 0;
}

// Code 44 for an end tag named [name, end) that does not close `open`.
void record_mismatch(const a_taginfo* open, char* name, char* end) {
    if (end != nullptr) {
        if (*end == '\n') ++tag_counter.xtc_line;
        *end = '\0';  // tokenizing stops here: the name can be printed
    }
    a_taginfo closing{};
    closing.ti_name.str = name;
    closing.ti_line = tag_counter.xtc_line + 1;
    error_set_message("xml_match_tag", ERR_XML_MISMATCH, {err_tag(open), err_tag(name != nullptr ? &closing : nullptr)});
}

// Closes the open element; a child of the root leaves for the workers.
bool close_element() {
    a_taginfo* tag = tag_info;
    a_taginfo* parent = tag->ti_parent;
    if (parent == nullptr) {
        root_closed = true;
        return true;
    }
    tag_info = parent;  // the element is the workers' from the hand-over on
    if (tag->ti_depth == 1) open_arena = nullptr;
    if (tag->ti_depth == 2 && !thr_add_block(tag)) {
        error_set_message("thr_add_block(tag)", ERR_NULL);
        return false;
    }
    if (!thr_add_task(tag)) {
        error_set_message("thr_add_task((*tag_root))", ERR_NULL);
        return false;
    }
    return true;
}

// Whether the input starts like UTF-16: a byte-order mark, or a NUL before a "<". Such a
// file would tokenize as NUL-separated single letters. A first byte that cannot start a
// UTF-8 document (0xFF, 0xFE, NUL: dropped or skipped anyway) is passed to look at the
// second; pos moves past it then.
bool utf16_start(char*& pos) {
    const auto first = static_cast<unsigned char>(*pos);
    if (first != 0xFF && first != 0xFE && first != 0) return false;
    if (!skip(pos)) {
        pos = nullptr;
        return false;
    }
    const auto second = static_cast<unsigned char>(*pos);
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF) || (first == 0 && second == '<');
}

}  // namespace

char* xml_skip_ws(char* pos) {
    while (is_blank(*pos))
        if (!pass(pos)) return nullptr;
    return pos;
}

char* xml_text(char* pos) {
    const bool blank_before = is_blank(*pos);
    pos = xml_skip_ws(pos);
    if (pos == nullptr || *pos == '<') {
        if (blank_before) text_blank_after = true;  // blanks between two pieces of a text
        return pos;
    }
    io_start_markinfo(pos);
    bool content = false;
    for (;;) {
        const char c = *pos;
        if (c == '<') break;
        if (c == '>') {
            record_tag_error("xml_text", ERR_XML_ENDTAG);
            io_cancel_markinfo();
            return nullptr;
        }
        if (is_blank(c)) {
            if (c == '\n')
                ++tag_counter.xtc_line;
            else if (c == '\0')
                *pos = ' ';
            io_maybe_markinfo(pos);
        } else if (c == '~') {
            *pos = '_';
        } else {
            content = true;
            io_maybenot_markinfo();
        }
        if (!skip(pos)) return nullptr;  // a text cut off by the end of the file is dropped
    }
    if (!content || tag_info == nullptr) {
        io_cancel_markinfo();
        return pos;
    }
    a_strmark text{};
    const bool blank_after = mark_info.mi_maybe != nullptr;
    pos = io_end_markinfo(&text, pos);
    if (pos == nullptr) return nullptr;
    std::size_t length = unknown_length;
    if (standard_text) {
        const char* end = decode_references(text.str, const_cast<char*>(piece_end(text.str)));
        length = static_cast<std::size_t>(end - text.str);
    }
    return add_text_piece(text, length, blank_before, blank_after) ? pos : nullptr;
}

char* xml_tag_name(char* pos, a_strmark* name) { return read_name(pos, name, false, "xml_tag_name"); }

char* xml_dqouti_str(char* pos, a_strmark* value) { return read_quoted(pos, value); }
char* xml_sqouti_str(char* pos, a_strmark* value) { return read_quoted(pos, value); }

char* xml_attr_name(char* pos, a_taginfo* tag) {
    a_strmark name{};
    pos = read_name(pos, &name, true, "xml_attr_name");
    if (pos == nullptr) return nullptr;
    auto* attr = static_cast<a_attrinfo*>(own_records(tag) ? mem_sysmalloc(sizeof(a_attrinfo))
                                                           : arena_record(sizeof(a_attrinfo)));
    if (attr == nullptr) {
        error_set_message("(a_attrinfo_ptr)mem_sysmalloc(sizeof(a_attrinfo))", ERR_SYSTEM, {err_errno(errno)});
        io_free_markinfo(&name);
        return nullptr;
    }
    attr->ai_name = name;
    attr->ai_value = a_strmark{};
    attr->ai_next = tag->ti_attrs;
    tag->ti_attrs = attr;
    return pos;
}

char* xml_attr_val(char* pos, a_taginfo* tag) {
    pos = xml_skip_ws(pos);
    if (pos == nullptr) return nullptr;
    a_strmark value{};
    const bool quoted = *pos == '"' || *pos == '\'';
    if (quoted) {
        pos = read_quoted(pos, &value);
    } else {
        io_start_markinfo(pos);
        for (;;) {
            const char c = *pos;
            if (ends_name(c)) break;
            if (c == '=') {
                record_tag_error("xml_attr_val", ERR_XML_EQUAL);
                io_cancel_markinfo();
                return nullptr;
            }
            if (!skip(pos)) return nullptr;
        }
        pos = io_end_markinfo(&value, pos);
    }
    if (pos == nullptr) return nullptr;
    if (standard_text && value.str != nullptr) {
        const std::size_t length = quoted ? std::strlen(value.str) : name_length(value.str);
        decode_references(value.str, value.str + length);
    }
    a_attrinfo* attr = tag->ti_attrs;
    if (attr == nullptr) {
        io_free_markinfo(&value);  // a value with no attribute before it
        return pos;
    }
    io_free_markinfo(&attr->ai_value);
    attr->ai_value = value;
    return pos;
}

char* xml_attr_list(char* pos, a_taginfo* tag) {
    bool want_value = false;
    for (;;) {
        const char c = *pos;
        if (is_blank(c)) {
            if (!terminate_and_pass(pos)) return nullptr;
            continue;
        }
        if (c == '=') {
            want_value = true;
            if (!terminate_and_pass(pos)) return nullptr;
            continue;
        }
        if (c == '/' || c == '>' || c == '<') return pos;
        pos = want_value ? xml_attr_val(pos, tag) : xml_attr_name(pos, tag);
        want_value = false;
        if (pos == nullptr) return nullptr;
    }
}

char* xml_tag(char* pos) {
    if (!skip(pos)) return nullptr;  // the "<", already a terminator
    pos = xml_skip_ws(pos);
    if (pos == nullptr) return nullptr;
    if (*pos == '!' && standard_text) return read_bang_markup(pos);
    if (*pos == '!' || *pos == '?') return skip_declaration(pos);
    text_owner = nullptr;  // an element starts or ends: a text after it is a new one

    bool opened = false;
    bool closing = false;
    for (;;) {
        const char c = *pos;
        if (c == '>') break;
        if (is_blank(c)) {
            if (!pass(pos)) return nullptr;
            continue;
        }
        if (c == '<') {
            record_tag_error("xml_tag", ERR_XML_ENDTAG);
            return nullptr;
        }
        if (c == '/') {
            if (closing) {
                record_tag_error("xml_tag", ERR_XML_ENDTAG);
                return nullptr;
            }
            closing = true;
            *pos = '\0';  // ends the open element's name in "<name/>"
            if (!skip(pos)) return nullptr;
            // The end tag's name is only compared, at once: it needs no hold on its block.
            a_strmark name{};
            char* name_end = nullptr;
            pos = read_name(pos, &name, false, "xml_tag_name", &name_end, true);
            if (pos == nullptr) return nullptr;
            a_taginfo* open = tag_info;
            if (open == nullptr) {
                record_mismatch(nullptr, name.str, name_end);
                return nullptr;
            }
            if (standard_text) drop_prefix(&name.str, static_cast<std::size_t>(name_end - name.str));
            if (!register_tag(open)) return nullptr;
            const bool matches = name.str == nullptr || same_name(open, name.str, name_end);
            if (!matches) record_mismatch(open, name.str, name_end);
            io_free_markinfo(&name);  // a quoted name holds its block
            if (!matches) return nullptr;
            continue;
        }
        if (opened || closing) {
            record_tag_error("xml_tag", ERR_XML_ENDTAG);
            return nullptr;
        }
        a_taginfo* tag = start_element();
        if (tag == nullptr) return nullptr;
        opened = true;
        pos = xml_tag_name(pos, &tag->ti_name);
        if (pos == nullptr) return nullptr;
        if (standard_text && tag->ti_name.str != nullptr)
            drop_prefix(&tag->ti_name.str, name_length(tag->ti_name.str));
        if (*pos != '<' && *pos != '>' && *pos != '/') {
            pos = xml_attr_list(pos, tag);
            if (pos == nullptr) return nullptr;
        }
    }
    *pos = '\0';
    if (opened && standard_text) standard_attributes(tag_info);
    if (closing && !close_element()) return nullptr;
    return skip(pos) ? pos : nullptr;
}

bool xml_parse() {
    char* pos = io_get_first_char();
    if (pos == nullptr) {
        error_set_message("io_get_first_char()", ERR_NULL);
        return false;
    }
    if (io_eof_blockinfo(&pos)) pos = nullptr;
    if (pos != nullptr && utf16_start(pos)) {
        error_set_message("xml_parse", ERR_XML_INVALID, {err_str("UTF-16 encoded, not UTF-8")});
        return false;
    }
    while (pos != nullptr) {
        if (*pos == '<') {
            *pos = '\0';  // ends a text before it
            pos = xml_tag(pos);
        } else {
            pos = xml_text(pos);
        }
    }
    io_cancel_markinfo();

    const std::uint32_t code = error_clear_message(0, false);
    if (code == 0) {
        // Input that ends before its document does is not a measurement file either: an
        // empty or truncated file must not pass for one without data.
        const a_taginfo* root = xml_get_root();
        if (root == nullptr) {
            record_tag_error("xml_parse", ERR_XML_INVALID);
            return false;
        }
        if (tag_info != root || !root_closed) {
            error_set_message("xml_parse", ERR_XML_INVALID, {err_tagcounter(&tag_counter), err_tag(tag_info)});
            return false;
        }
        return true;
    }
    if (tag_counter.xtc_tags > 1) return true;  // the error stays and fails the run
    if (code == ERR_XML_ENDTAG || code == ERR_XML_EQUAL || code == ERR_XML_MISMATCH) {
        error_clear_message(code, false);
        error_set_message("xml_parse", ERR_XML_INVALID);
    }
    return false;
}

a_taginfo* xml_get_root() {
    a_taginfo* tag = tag_info;
    while (tag != nullptr && tag->ti_parent != nullptr) tag = tag->ti_parent;
    return tag;
}

bool xml_init() {
    tag_counter = a_tagcounter{};
    text_owner = nullptr;
    standard_text = glob_getnum_config(xcfg_xmlstandardtext) > 0 && glob_getnum_value(xcfg_xmlstandardtext, 0) == 1;
    xml_init_taginfo();
    if (tag_typesetter == nullptr) {
        tag_typesetter = index_new_stridx();
        if (tag_typesetter == nullptr) {
            error_set_message("index_new_stridx()", ERR_NULL);
            return false;
        }
        index_set_stridx(tag_typesetter, IDX_COPYKEY, 1);
        index_set_stridx(tag_typesetter, IDX_LOCKED, 1);
        index_set_stridx(tag_typesetter, IDX_BALANCE, 0);
    }
    if (tag_typefinder == nullptr) {
        tag_typefinder = index_dup_stridx(tag_typesetter);
        if (tag_typefinder == nullptr) {
            error_set_message("index_dup_stridx(tag_typesetter)", ERR_NULL);
            return false;
        }
        index_set_stridx(tag_typefinder, IDX_FINDONLY, 1);
        index_set_stridx(tag_typefinder, IDX_LOCKED, 0);
        // Runs of one element name (a row's values) find their node without a walk.
        index_set_stridx(tag_typefinder, IDX_REMEMBER, 1);
    }
    if (tag_typegetter == nullptr) {
        tag_typegetter = index_dup_stridx(tag_typesetter);
        if (tag_typegetter == nullptr) {
            error_set_message("index_dup_stridx(tag_typesetter)", ERR_NULL);
            return false;
        }
        index_set_stridx(tag_typegetter, IDX_FINDONLY, 1);
        index_set_stridx(tag_typegetter, IDX_BALANCE, 0);
    }
    return true;
}

bool xml_deinit() {
    xml_init_taginfo();
    bool ok = true;
    if (!index_destroy_stridx(tag_typegetter)) {
        error_set_message("index_destroy_stridx(tag_typegetter)", ERR_NULL);
        ok = false;
    }
    tag_typegetter = nullptr;
    tag_typefinder = nullptr;  // a duplicate: released with the registry's pool
    if (!index_destroy_stridx(tag_typesetter)) {
        error_set_message("index_destroy_stridx(tag_typesetter)", ERR_NULL);
        ok = false;
    }
    tag_typesetter = nullptr;
    return ok;
}

void xml_init_taginfo() {
    a_taginfo* root = xml_get_root();
    if (root != nullptr) {
        xml_free_taginfo(root);
        mem_sysfree(root);
    }
    open_arena = nullptr;
    tag_info = nullptr;
    root_closed = false;
}

a_objidx* xml_getstrtype(const char* name) {
    if (tag_typegetter == nullptr || name == nullptr) return nullptr;
    return index_find_stridx(tag_typegetter, name);
}

a_objidx* xml_gettagtype(a_taginfo* tag) {
    if (tag == nullptr) return nullptr;
    if (tag->ti_type == nullptr) tag->ti_type = xml_getstrtype(tag->ti_name.str);
    return tag->ti_type;
}

void xml_free_attrinfo(a_attrinfo* list) {
    while (list != nullptr) {
        a_attrinfo* next = list->ai_next;
        io_free_markinfo(&list->ai_name);
        io_free_markinfo(&list->ai_value);
        mem_sysfree(list);
        list = next;
    }
}

void xml_free_taginfo(a_taginfo* tag) {
    if (tag == nullptr) return;
    // Post-order walk over the links alone: each element is freed once its children are,
    // so the depth of the tree costs no stack.
    a_taginfo* cur = tag->ti_child;
    tag->ti_child = nullptr;
    while (cur != nullptr) {
        if (cur->ti_child != nullptr) {
            a_taginfo* child = cur->ti_child;
            cur->ti_child = nullptr;
            cur = child;
            continue;
        }
        a_taginfo* next = cur->ti_sibling != nullptr ? cur->ti_sibling : cur->ti_parent;
        free_tokens(cur);
        free_record(cur);
        cur = next != tag ? next : nullptr;
    }
    free_tokens(tag);
    // A section's own record stays with its owner; the records below it go now.
    if (tag->ti_depth == 1) drop_arena(tag);
}
