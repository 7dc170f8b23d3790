// asn1object: the BER element record, its tree operations, value fills and text
// renderings, and the label tables. The decoder (asn1parse) fills these records; bertree
// prints trees of them and BerMeas reads them one at a time from its streaming visitor.
#ifndef PM_COMMON_ASN1OBJECT_H
#define PM_COMMON_ASN1OBJECT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Identifier classes (bits 8-7 of the identifier octet).
inline constexpr std::uint32_t ASN1_UNIVERSAL = 0;
inline constexpr std::uint32_t ASN1_APPLICATION = 1;
inline constexpr std::uint32_t ASN1_CONTEXT = 2;
inline constexpr std::uint32_t ASN1_PRIVATE = 3;

inline constexpr std::uint32_t PC_PRIMITIVE = 0;
inline constexpr std::uint32_t PC_CONSTRUCTED = 1;

// UNIVERSAL tag numbers the system gives meaning to.
inline constexpr std::uint32_t ASN1_TAG_EOC = 0;
inline constexpr std::uint32_t ASN1_TAG_BOOLEAN = 1;
inline constexpr std::uint32_t ASN1_TAG_INTEGER = 2;
inline constexpr std::uint32_t ASN1_TAG_SEQUENCE = 16;

// The two deliverables that decode BER read a few things differently: bertree shows a
// file exactly as encoded, while BerMeas follows the measurement file's own conventions.
// Every such difference lives here so that both use one decoder.
struct asn1_dialect {
    // BerMeas reads a UNIVERSAL BOOLEAN as exactly one content octet, whatever its length.
    bool boolean_one_octet;
    // End of contents: bertree wants UNIVERSAL tag 0 with length 0; BerMeas takes any
    // primitive UNIVERSAL tag 0 (its content is then not read).
    bool eoc_ignores_length;
    // On a short content read BerMeas drops the buffer (data becomes NULL); bertree keeps
    // what was read, and the count of octets missing, so that the partial element can be
    // shown as it stands.
    bool free_on_failed_read;
    // Label of UNIVERSAL tag 1.
    std::string_view boolean_label;
};

inline constexpr asn1_dialect asn1_tree_dialect{false, false, false, "Boolean"};
inline constexpr asn1_dialect asn1_stream_dialect{true, true, true, "BOOLEAN"};

inline constexpr std::array<std::string_view, 4> g_classLabel{
    "UNIVERSAL", "APPLICATION", "CONTEXT", "PRIVATE"};

inline constexpr std::array<std::string_view, 28> g_tagLabel{
    "RESERVEDBER", "Boolean", "Integer", "BitString", "OctetString", "Null", "OID",
    "ODType", "External", "Real", "Enumeration", "UNUSED11", "RESERVED12", "RESERVED13",
    "RESERVED14", "RESERVED15", "SEQUENCE", "SET", "NumericString", "PrintableString",
    "T61String", "VideotexString", "IA5String", "UTCTime", "GeneralizedTime",
    "GraphicString", "VisibleString", "GeneralString"};

// Label of a UNIVERSAL tag number 0-27 in the given dialect; "" beyond the table.
std::string_view asn1_tag_label(std::uint32_t tag, const asn1_dialect& dialect = asn1_tree_dialect);

// One BER element. Children form a singly linked list owned through `children` and
// `next`; destroying a record destroys its children and following siblings without
// recursion, so arbitrarily long sibling lists are safe.
struct asn1_object {
    std::uint32_t asn_class = ASN1_UNIVERSAL;
    std::uint32_t pc = PC_PRIMITIVE;
    std::uint32_t tag = 0;
    bool definite = true;
    std::uint32_t length = 0;
    // Content octets the input ended before (tree form only; the streaming form drops a
    // cut element's content).
    std::uint32_t missing = 0;
    std::unique_ptr<std::uint8_t[]> data;  // primitive content, `length - missing` bytes, or NULL
    asn1_object* parent = nullptr;
    std::unique_ptr<asn1_object> children;
    std::unique_ptr<asn1_object> next;

    asn1_object() = default;
    asn1_object(const asn1_object&) = delete;
    asn1_object& operator=(const asn1_object&) = delete;
    ~asn1_object();
};

using asn1_ptr = std::unique_ptr<asn1_object>;

// A fresh heap record; NULL when the heap is exhausted ("Out of memory").
asn1_ptr asn1_object_new();
// Resets a record to the fresh state, releasing its content and any linked records.
// Inline: the streaming walk resets its one child record for every element of a file.
inline void asn1_object_init(asn1_object& rec) {
    rec.children.reset();
    rec.next.reset();
    rec.data.reset();
    rec.asn_class = ASN1_UNIVERSAL;
    rec.pc = PC_PRIMITIVE;
    rec.tag = 0;
    rec.definite = true;
    rec.length = 0;
    rec.missing = 0;
    rec.parent = nullptr;
}

// Content octets the record holds: its length, less any the input did not have.
inline std::size_t asn1_content_size(const asn1_object& rec) { return rec.data ? rec.length - rec.missing : 0; }
// Releases a record, its content and everything linked under and after it.
void asn1_object_delete(asn1_ptr& rec);
void asn1_object_delete_recursive(asn1_ptr& rec);
void delete_asn1_objects(asn1_ptr& rec);

// Linking. Each takes the child by reference: when the child is linked the tree owns it
// and `child` is left empty; when nothing is linked (NULL parent, or an insert position
// that does not exist) the caller keeps it. Results: 0 linked, 1 not linked.
int asn1_object_append_child(asn1_object* parent, asn1_ptr& child);
int asn1_object_prepend_child(asn1_object* parent, asn1_ptr& child);
// Links the child right after the child reached by walking `index` steps from the first,
// so index 0 makes it the second child.
int asn1_object_insert_child(asn1_object* parent, asn1_ptr& child, int index);
// Appends and adds the child's length to the parent's.
int asn1_object_append_constructed_child(asn1_object* parent, asn1_ptr& child);

// Value fills: encode the value into the child, add its content length to the parent's,
// then link. 1 (nothing changed) for NULL arguments or an exhausted heap.
int asn1_object_append_boolean_child(asn1_object* parent, asn1_ptr& child, bool value);
int asn1_object_append_integer_child(asn1_object* parent, asn1_ptr& child, std::int32_t value);
int asn1_object_append_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text);
int asn1_object_prepend_integer_child(asn1_object* parent, asn1_ptr& child, std::int32_t value);
int asn1_object_prepend_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text);
int asn1_object_insert_string_child(asn1_object* parent, asn1_ptr& child, std::string_view text,
                                    int index);

// Position among the parent's children from 0; 0 without parent; -1 for NULL or when the
// record is missing from its parent's list.
int asn1_object_get_index(const asn1_object* rec);

// Diagnostic print of a tree: "[class tag C|P length] {" per element, content by
// UNIVERSAL tag, children indented one level deeper.
void asn1_object_print(const asn1_object* rec, std::uint32_t level, std::FILE* out = stdout,
                       const asn1_dialect& dialect = asn1_tree_dialect);

// 1 when every byte is 0x20-0x7E; 0 for NULL; 1 for an empty non-NULL range.
int is_all_printable(const std::uint8_t* bytes, std::size_t count);

// Two's-complement value of 1-4 octets into `out`; `out` unchanged for 0 or more than 4.
void copy_int_data(std::int32_t& out, const std::uint8_t* octets, std::size_t count);

// Text rendering of content octets: printable bytes as they are; 1-4 other octets as their
// big-endian value printed as a signed 32-bit decimal; longer ones as upper-case hex pairs.
// Returns false and leaves `out` unchanged when there is no content.
bool copy_string_data(std::string& out, const std::uint8_t* octets, std::size_t count);

#endif
