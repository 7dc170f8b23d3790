// asn1object: element records, linking, value fills, renderings and the diagnostic print.
// Used by the decoder (asn1parse), by bertree for the whole-file tree and by BerMeas for
// the one-element records of its streaming walk.
#include "asn1object.h"

#include <cinttypes>
#include <cstdlib>
#include <vector>

#include "asn1parse.h"
#include "pmalloc.h"

std::string_view asn1_tag_label(std::uint32_t tag, const asn1_dialect& dialect) {
    if (tag >= g_tagLabel.size()) return {};
    if (tag == ASN1_TAG_BOOLEAN) return dialect.boolean_label;
    return g_tagLabel[tag];
}

asn1_object::~asn1_object() {
    if (!children && !next) return;
    // Unlink everything below and after this record into a work list so that each record
    // is destroyed with no links of its own: no recursion, whatever the depth or width.
    std::vector<asn1_ptr> pending;
    if (children) pending.push_back(std::move(children));
    if (next) pending.push_back(std::move(next));
    while (!pending.empty()) {
        asn1_ptr rec = std::move(pending.back());
        pending.pop_back();
        if (rec->children) pending.push_back(std::move(rec->children));
        if (rec->next) pending.push_back(std::move(rec->next));
    }
}

asn1_ptr asn1_object_new() {
    asn1_ptr rec = pm_new<asn1_object>();
    if (!rec) dprint("Out of memory");
    return rec;
}

void asn1_object_delete(asn1_ptr& rec) { rec.reset(); }
void asn1_object_delete_recursive(asn1_ptr& rec) { rec.reset(); }
void delete_asn1_objects(asn1_ptr& rec) { rec.reset(); }

int asn1_object_append_child(asn1_object* parent, asn1_ptr& child) {
    if (!parent || !child) return 1;
    child->parent = parent;
    asn1_ptr* slot = &parent->children;
    while (*slot) slot = &(*slot)->next;
    *slot = std::move(child);
    return 0;
}

int asn1_object_prepend_child(asn1_object* parent, asn1_ptr& child) {
    if (!parent || !child) return 1;
    child->parent = parent;
    child->next = std::move(parent->children);
    parent->children = std::move(child);
    return 0;
}

int asn1_object_insert_child(asn1_object* parent, asn1_ptr& child, int index) {
    if (!parent || !child || !parent->children) return 1;
    asn1_object* reached = parent->children.get();
    for (int i = 0; i < index && reached; ++i) reached = reached->next.get();
    if (!reached) return 1;
    child->parent = parent;
    child->next = std::move(reached->next);
    reached->next = std::move(child);
    return 0;
}

int asn1_object_append_constructed_child(asn1_object* parent, asn1_ptr& child) {
    if (!parent || !child) return 1;
    const std::uint32_t length = child->length;
    asn1_object_append_child(parent, child);
    parent->length += length;
    return 0;
}

namespace {

// Content of an INTEGER: two's complement in the fewest octets that hold one bit more
// than the magnitude, most significant first. The magnitude is taken in 64 bits so the
// most negative 32-bit value encodes like every other (-2^31 -> FF 80 00 00 00).
int fill_integer(asn1_object& child, std::int32_t value) {
    const std::int64_t v = value;
    std::uint64_t magnitude = static_cast<std::uint64_t>(v < 0 ? -v : v);
    unsigned bits = 1;
    while (magnitude) {
        ++bits;
        magnitude >>= 1;
    }
    const unsigned count = (bits + 7) / 8;
    auto octets = pm_new_array<std::uint8_t>(count);
    if (!octets) {
        dprint("Out of memory");
        return 1;
    }
    const std::uint64_t pattern = static_cast<std::uint64_t>(v);
    for (unsigned i = 0; i < count; ++i) octets[i] = static_cast<std::uint8_t>(pattern >> (8 * (count - 1 - i)));
    child.data = std::move(octets);
    child.length = count;
    return 0;
}

int fill_string(asn1_object& child, std::string_view text) {
    if (text.empty()) {
        child.data.reset();
        child.length = 0;
        return 0;
    }
    auto octets = pm_new_array<std::uint8_t>(text.size());
    if (!octets) {
        dprint("Out of memory");
        return 1;
    }
    std::copy(text.begin(), text.end(), octets.get());
    child.data = std::move(octets);
    child.length = static_cast<std::uint32_t>(text.size());
    return 0;
}

enum class link_kind { append, prepend, insert };

int fill_and_link(asn1_object* parent, asn1_ptr& child, link_kind how, int index,
                  int (*fill)(asn1_object&, const void*), const void* value) {
    if (!parent || !child) return 1;
    if (how == link_kind::insert) {
        // Check the position first so that a failed insert leaves the parent unchanged.
        const asn1_object* reached = parent->children.get();
        for (int i = 0; i < index && reached; ++i) reached = reached->next.get();
        if (!reached) return 1;
    }
    if (fill(*child, value)) return 1;
    parent->length += child->length;
    switch (how) {
        case link_kind::append: return asn1_object_append_child(parent, child);
        case link_kind::prepend: return asn1_object_prepend_child(parent, child);
        case link_kind::insert: return asn1_object_insert_child(parent, child, index);
    }
    return 1;
}

int fill_integer_thunk(asn1_object& child, const void* value) {
    return fill_integer(child, *static_cast<const std::int32_t*>(value));
}
int fill_string_thunk(asn1_object& child, const void* value) {
    return fill_string(child, *static_cast<const std::string_view*>(value));
}
int fill_boolean_thunk(asn1_object& child, const void* value) {
    auto octet = pm_new_array<std::uint8_t>(1);
    if (!octet) {
        dprint("Out of memory");
        return 1;
    }
    octet[0] = *static_cast<const bool*>(value) ? 0x01 : 0x00;
    child.data = std::move(octet);
    child.length = 1;
    return 0;
}

}  // namespace

int asn1_object_append_boolean_child(asn1_object* parent, asn1_ptr& child, bool value) {
    return fill_and_link(parent, child, link_kind::append, 0, fill_boolean_thunk, &value);
}
int asn1_object_append_integer_child(asn1_object* parent, asn1_ptr& child, std::int32_t value) {
    return fill_and_link(parent, child, link_kind::append, 0, fill_integer_thunk, &value);
}
int asn1_object_append_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text) {
    return fill_and_link(parent, child, link_kind::append, 0, fill_string_thunk, &text);
}
int asn1_object_prepend_integer_child(asn1_object* parent, asn1_ptr& child, std::int32_t value) {
    return fill_and_link(parent, child, link_kind::prepend, 0, fill_integer_thunk, &value);
}
int asn1_object_prepend_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text) {
    return fill_and_link(parent, child, link_kind::prepend, 0, fill_string_thunk, &text);
}
int asn1_object_insert_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text,
                                    int index) {
    return fill_and_link(parent, child, link_kind::insert, index, fill_string_thunk, &text);
}

int asn1_object_get_index(const asn1_object* rec) {
    if (!rec) return -1;
    if (!rec->parent) return 0;
    int index = 0;
    for (const asn1_object* c = rec->parent->children.get(); c; c = c->next.get(), ++index) {
        if (c == rec) return index;
    }
    dprint("Cannot determine index in asn1_object_get_index()\n");
    return -1;
}

int is_all_printable(const std::uint8_t* bytes, std::size_t count) {
    if (!bytes) return 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) return 0;
    }
    return 1;
}

void copy_int_data(std::int32_t& out, const std::uint8_t* octets, std::size_t count) {
    if (!octets || count == 0 || count > 4) return;
    std::uint32_t value = octets[0] & 0x7Fu;
    for (std::size_t k = 1; k < count; ++k) value = (value << 8) | octets[k];
    std::int64_t result = value;
    if (octets[0] & 0x80) result -= std::int64_t{1} << (8 * count - 1);
    out = static_cast<std::int32_t>(result);
}

bool copy_string_data(std::string& out, const std::uint8_t* octets, std::size_t count) {
    if (!octets || count == 0) return false;
    if (is_all_printable(octets, count)) {
        out.assign(reinterpret_cast<const char*>(octets), count);
        return true;
    }
    if (count <= 4) {
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < count; ++k) value = (value << 8) | octets[k];
        out = std::to_string(static_cast<std::int32_t>(value));
        return true;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * count);
    for (std::size_t k = 0; k < count; ++k) {
        text.push_back(hex[octets[k] >> 4]);
        text.push_back(hex[octets[k] & 0x0F]);
    }
    out = std::move(text);
    return true;
}

namespace {

void print_blanks(std::FILE* out, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) std::fputs("  ", out);
}

void print_content(const asn1_object& rec, std::FILE* out, const asn1_dialect& dialect) {
    const std::uint8_t* octets = rec.data.get();
    const std::size_t count = asn1_content_size(rec);
    std::string text;
    const std::uint32_t tag = rec.asn_class == ASN1_UNIVERSAL ? rec.tag : UINT32_MAX;
    if (tag == ASN1_TAG_BOOLEAN) {
        std::fprintf(out, "%.*s: %s", static_cast<int>(asn1_tag_label(tag, dialect).size()),
                     asn1_tag_label(tag, dialect).data(), octets[0] ? "true" : "false");
    } else if (tag == ASN1_TAG_INTEGER) {
        std::int32_t value = 0;
        copy_int_data(value, octets, count);
        std::fprintf(out, "%s: %" PRId32, "Integer", value);
    } else if ((tag >= 18 && tag <= 22) || (tag >= 25 && tag <= 27)) {
        copy_string_data(text, octets, count);
        std::fprintf(out, "%.*s: %s", static_cast<int>(g_tagLabel[tag].size()), g_tagLabel[tag].data(),
                     text.c_str());
    } else {
        std::fputs("Data: ", out);
        for (std::size_t i = 0; i < count; ++i) {
            if (octets[i] < 0x80 && octets[i] >= 0x20 && octets[i] < 0x7F) {
                std::fputc(octets[i], out);
            } else {
                std::fprintf(out, "%%%02X", octets[i]);
            }
        }
    }
    std::fputc('\n', out);
}

}  // namespace

void asn1_object_print(const asn1_object* rec, std::uint32_t level, std::FILE* out,
                       const asn1_dialect& dialect) {
    if (!rec || !out) return;
    // Explicit stack of (record, level): printing must not recurse per nesting level.
    struct frame {
        const asn1_object* rec;
        std::uint32_t level;
        bool closing;
    };
    std::vector<frame> stack{{rec, level, false}};
    while (!stack.empty()) {
        const frame f = stack.back();
        stack.pop_back();
        if (f.closing) {
            print_blanks(out, f.level);
            std::fputs("}\n", out);
            continue;
        }
        const asn1_object& r = *f.rec;
        print_blanks(out, f.level);
        const std::string_view cls = g_classLabel[r.asn_class & 3];
        std::fprintf(out, "[%.*s %" PRIu32 " %c %" PRIu32 "] {\n", static_cast<int>(cls.size()), cls.data(),
                     r.tag, r.pc == PC_CONSTRUCTED ? 'C' : 'P', r.length);
        if (r.pc == PC_PRIMITIVE && asn1_content_size(r) > 0) {
            print_blanks(out, f.level + 1);
            print_content(r, out, dialect);
        }
        stack.push_back({f.rec, f.level, true});
        // Children pushed in reverse so the first child is printed first.
        std::vector<const asn1_object*> kids;
        for (const asn1_object* c = r.children.get(); c; c = c->next.get()) kids.push_back(c);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back({*it, f.level + 1, false});
    }
}
