// Decoder and element-record behaviour through the public functions: both walks over
// crafted octets, the hostile-input limits, tree operations, value fills and renderings.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "asn1object.h"
#include "asn1parse.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// A read stream over its own copy of the octets.
struct memstream {
    bytes held;
    std::FILE* f;
    explicit memstream(bytes b) : held(std::move(b)), f(fmemopen(held.data(), held.size(), "rb")) {}
    ~memstream() {
        if (f) std::fclose(f);
    }
};

// A regular file holding the octets, removed at the end of the test.
struct tempfile {
    std::string path;
    explicit tempfile(const bytes& b) {
        char name[] = "/tmp/ber_test_XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            if (!b.empty() && write(fd, b.data(), b.size()) != static_cast<ssize_t>(b.size())) path.clear();
            close(fd);
        }
    }
    ~tempfile() {
        if (!path.empty()) unlink(path.c_str());
    }
};

struct tree_result {
    asn1_ptr root;
    int failed;
    std::uint32_t prlen;
};

tree_result decode_tree(const bytes& b) {
    memstream m(b);
    tree_result r{asn1_object_new(), 0, 0};
    std::uint32_t indent = 0;
    r.failed = asn1_process(m.f, r.root.get(), &r.prlen, &indent, nullptr);
    return r;
}

struct visit {
    std::uint32_t asn_class, pc, tag, length, level;
    bytes content;
};

struct stream_result {
    std::vector<visit> visits;
    int failed;
    std::uint32_t prlen;
};

void record_visit(asn1_object& rec, std::uint32_t level, void* context) {
    auto* visits = static_cast<std::vector<visit>*>(context);
    bytes content;
    if (rec.data) content.assign(rec.data.get(), rec.data.get() + asn1_content_size(rec));
    visits->push_back({rec.asn_class, rec.pc, rec.tag, rec.length, level, content});
}

stream_result decode_stream(const bytes& b, const asn1_dialect& dialect = asn1_stream_dialect) {
    memstream m(b);
    stream_result r{{}, 0, 0};
    asn1_object root;
    asn1_object_init(root);
    std::uint32_t indent = 0;
    r.failed = asn1_process(m.f, &root, &r.prlen, &indent, nullptr, record_visit, &r.visits, dialect);
    return r;
}

std::vector<const asn1_object*> children_of(const asn1_object& rec) {
    std::vector<const asn1_object*> out;
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) out.push_back(c);
    return out;
}

bytes content_of(const asn1_object& rec) {
    return rec.data ? bytes(rec.data.get(), rec.data.get() + asn1_content_size(rec)) : bytes{};
}

// Wraps content in `depth` nested indefinite-length SEQUENCEs.
bytes nested_indefinite(std::size_t depth) {
    bytes b;
    for (std::size_t i = 0; i < depth; ++i) {
        b.push_back(0x30);
        b.push_back(0x80);
    }
    b.push_back(0x05);
    b.push_back(0x00);
    for (std::size_t i = 0; i < depth; ++i) {
        b.push_back(0x00);
        b.push_back(0x00);
    }
    return b;
}

}  // namespace

// ---- identifiers, tags and lengths ----

TEST(BerHeader, ClassFormAndLowTag) {
    auto r = decode_tree({0xA3, 0x03, 0x81, 0x01, 0x07});
    ASSERT_EQ(r.failed, 0);
    EXPECT_EQ(r.root->asn_class, ASN1_CONTEXT);
    EXPECT_EQ(r.root->pc, PC_CONSTRUCTED);
    EXPECT_EQ(r.root->tag, 3u);
    EXPECT_EQ(r.root->length, 3u);
    auto kids = children_of(*r.root);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0]->asn_class, ASN1_CONTEXT);
    EXPECT_EQ(kids[0]->tag, 1u);
    EXPECT_EQ(kids[0]->parent, r.root.get());
    EXPECT_EQ(r.prlen, 5u);
}

TEST(BerHeader, MultiOctetTags) {
    auto r = decode_tree({0x1F, 0x81, 0x00, 0x01, 0x41});
    ASSERT_EQ(r.failed, 0);
    EXPECT_EQ(r.root->tag, 128u);
    EXPECT_EQ(r.prlen, 5u);

    // Five continuation octets: the tag stops after four and the fifth is the length.
    auto s = decode_tree({0x1F, 0x81, 0x81, 0x81, 0x81, 0x01, 0x41});
    ASSERT_EQ(s.failed, 0);
    EXPECT_EQ(s.root->tag, 2113665u);
    EXPECT_EQ(s.root->length, 1u);
    EXPECT_EQ(content_of(*s.root), bytes({0x41}));

    EXPECT_EQ(decode_tree({0x1F, 0x81}).failed, 1);  // tag cut off
}

TEST(BerHeader, DefiniteLengthForms) {
    auto r = decode_tree({0x04, 0x82, 0x00, 0x02, 0xAA, 0xBB});
    ASSERT_EQ(r.failed, 0);
    EXPECT_EQ(r.root->length, 2u);
    EXPECT_EQ(r.prlen, 6u);

    // A lone 0x80 on a primitive element is a definite length of 0.
    auto z = decode_tree({0x04, 0x80});
    ASSERT_EQ(z.failed, 0);
    EXPECT_TRUE(z.root->definite);
    EXPECT_EQ(z.root->length, 0u);
    EXPECT_EQ(z.root->data, nullptr);

    // Leading zero octets do not count; a fifth significant octet fails the element.
    auto lead = decode_tree({0x04, 0x86, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x41});
    ASSERT_EQ(lead.failed, 0);
    EXPECT_EQ(lead.root->length, 1u);
    EXPECT_EQ(decode_tree({0x04, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00, 0x41}).failed, 1);
    EXPECT_EQ(decode_stream({0x04, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00, 0x41}).failed, 1);
    EXPECT_EQ(decode_tree({0x04, 0x82, 0x00}).failed, 1);  // length cut off
}

TEST(BerHeader, HugeDeclaredLengthFailsOnFilesAndStreams) {
    const bytes hostile{0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xF0, 0x41, 0x42};
    tempfile file(hostile);
    ASSERT_FALSE(file.path.empty());
    bool complete = true;
    asn1_ptr root = parse(file.path.c_str(), &complete);
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(complete);
    // The tree keeps the octets the file holds and counts the rest as missing.
    EXPECT_EQ(content_of(*root), bytes({0x41, 0x42}));
    EXPECT_EQ(root->missing, 0xFFFFFFF0u - 2);

    // Unknown size (memory stream): the buffer grows only with what is really there.
    auto r = decode_tree(hostile);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(content_of(*r.root), bytes({0x41, 0x42}));
    EXPECT_EQ(r.root->missing, 0xFFFFFFF0u - 2);
    EXPECT_EQ(decode_stream(hostile).failed, 1);

    // A large element that is really there is read whole.
    bytes big{0x04, 0x83, 0x01, 0x00, 0x00};
    big.resize(big.size() + 0x10000, 0x5A);
    tempfile bigfile(big);
    asn1_ptr bigroot = parse(bigfile.path.c_str(), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(bigroot->length, 0x10000u);
    auto m = decode_tree(big);
    EXPECT_EQ(m.failed, 0);
    EXPECT_EQ(content_of(*m.root), bytes(0x10000, 0x5A));
}

TEST(BerHeader, ShortContentRead) {
    // The tree form keeps what was read, and no more; the streaming form drops the buffer.
    auto r = decode_tree({0x04, 0x04, 0x41, 0x42});
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(content_of(*r.root), bytes({0x41, 0x42}));
    EXPECT_EQ(r.root->missing, 2u);
    EXPECT_EQ(decode_tree({0x04, 0x02, 0x41, 0x42}).root->missing, 0u);
    auto s = decode_stream({0x04, 0x04, 0x41, 0x42});
    EXPECT_EQ(s.failed, 1);
    EXPECT_TRUE(s.visits.empty());
    // Walked in the tree's reading, a cut element at any depth is shown with the octets
    // read before the walk fails.
    auto t = decode_stream({0x30, 0x06, 0x02, 0x01, 0x05, 0x04, 0x04, 0x41}, asn1_tree_dialect);
    EXPECT_EQ(t.failed, 1);
    ASSERT_EQ(t.visits.size(), 3u);
    EXPECT_EQ(t.visits[2].level, 1u);
    EXPECT_EQ(t.visits[2].length, 4u);
    EXPECT_EQ(t.visits[2].content, bytes({0x41}));
}

// ---- the tree walk ----

TEST(BerTree, IndefiniteSequenceEndsAtMarker) {
    auto r = decode_tree({0x30, 0x80, 0x02, 0x01, 0x05, 0x04, 0x00, 0x00, 0x00, 0xFF});
    ASSERT_EQ(r.failed, 0);
    EXPECT_FALSE(r.root->definite);
    EXPECT_EQ(r.root->length, 0u);
    auto kids = children_of(*r.root);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(kids[0]->tag, ASN1_TAG_INTEGER);
    EXPECT_EQ(kids[1]->tag, 4u);
    EXPECT_EQ(r.prlen, 9u);  // marker counted, trailing octet not read
}

TEST(BerTree, NestedDefiniteCountsEveryOctet) {
    // SEQUENCE { [0] { INTEGER 1, PrintableString "ab" }, NULL }
    auto r = decode_tree({0x30, 0x0B, 0xA0, 0x07, 0x02, 0x01, 0x01, 0x13, 0x02, 0x61, 0x62, 0x05, 0x00});
    ASSERT_EQ(r.failed, 0);
    EXPECT_EQ(r.prlen, 13u);
    auto top = children_of(*r.root);
    ASSERT_EQ(top.size(), 2u);
    auto inner = children_of(*top[0]);
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(content_of(*inner[1]), bytes({0x61, 0x62}));
    EXPECT_EQ(top[1]->tag, 5u);
}

TEST(BerTree, TruncatedInputKeepsDecodedChildren) {
    auto r = decode_tree({0x30, 0x10, 0x02, 0x01, 0x01, 0x02, 0x01, 0x02, 0x04, 0x05, 0x41});
    EXPECT_EQ(r.failed, 1);
    auto kids = children_of(*r.root);
    ASSERT_EQ(kids.size(), 2u);  // the element that failed is not linked
    EXPECT_EQ(content_of(*kids[1]), bytes({0x02}));
}

TEST(BerTree, DialectDifferences) {
    // BOOLEAN of length 2, then end of contents, then one more octet.
    const bytes boolean{0x30, 0x80, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x00};
    auto t = decode_tree(boolean);
    ASSERT_EQ(t.failed, 0);
    EXPECT_EQ(t.prlen, 8u);
    ASSERT_EQ(children_of(*t.root).size(), 1u);
    EXPECT_EQ(content_of(*children_of(*t.root)[0]), bytes({0xFF, 0x00}));
    auto s = decode_stream(boolean);
    ASSERT_EQ(s.failed, 0);
    EXPECT_EQ(s.prlen, 7u);  // one content octet, then 00 00 ends the SEQUENCE
    ASSERT_EQ(s.visits.size(), 2u);
    EXPECT_EQ(s.visits[1].content, bytes({0xFF, 0x00}));  // buffer of `length`, one octet read

    // A primitive UNIVERSAL 0 with content: an element in the tree, a marker in the stream.
    const bytes zero{0x30, 0x80, 0x00, 0x01, 0x41, 0x00, 0x00};
    auto tz = decode_tree(zero);
    ASSERT_EQ(tz.failed, 0);
    ASSERT_EQ(children_of(*tz.root).size(), 1u);
    EXPECT_EQ(content_of(*children_of(*tz.root)[0]), bytes({0x41}));
    auto sz = decode_stream(zero);
    ASSERT_EQ(sz.failed, 0);
    EXPECT_EQ(sz.prlen, 4u);
    EXPECT_EQ(sz.visits.size(), 1u);

    EXPECT_EQ(asn1_tag_label(1, asn1_tree_dialect), "Boolean");
    EXPECT_EQ(asn1_tag_label(1, asn1_stream_dialect), "BOOLEAN");
    EXPECT_EQ(asn1_tag_label(19), "PrintableString");
    EXPECT_EQ(asn1_tag_label(28), "");
}

TEST(BerTree, MarkerOutsideIndefiniteParentFails) {
    EXPECT_EQ(decode_tree({0x00, 0x00}).failed, 1);
    EXPECT_EQ(decode_tree({0x30, 0x02, 0x00, 0x00}).failed, 1);
    EXPECT_EQ(decode_stream({0x30, 0x02, 0x00, 0x00}).failed, 1);
}

TEST(BerTree, DeepNestingFailsWithoutExhaustingTheStack) {
    // A megabyte of 30 80: the walk stops at the depth limit.
    bytes hostile;
    for (int i = 0; i < 512 * 1024; ++i) {
        hostile.push_back(0x30);
        hostile.push_back(0x80);
    }
    EXPECT_EQ(decode_tree(hostile).failed, 1);
    EXPECT_EQ(decode_stream(hostile).failed, 1);

    // Just within the limit decodes; one more level fails.
    EXPECT_EQ(decode_tree(nested_indefinite(asn1_max_depth - 1)).failed, 0);
    EXPECT_EQ(decode_tree(nested_indefinite(asn1_max_depth)).failed, 1);
    EXPECT_EQ(decode_stream(nested_indefinite(asn1_max_depth - 1)).failed, 0);
    EXPECT_EQ(decode_stream(nested_indefinite(asn1_max_depth)).failed, 1);
}

TEST(BerTree, ParseEntryPoints) {
    EXPECT_EQ(parse(nullptr), nullptr);
    EXPECT_EQ(parse(""), nullptr);
    EXPECT_EQ(parse("/nonexistent/ber/file"), nullptr);

    tempfile empty(bytes{});
    bool complete = true;
    asn1_ptr root = parse(empty.path.c_str(), &complete);
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(complete);
    EXPECT_EQ(root->asn_class, ASN1_UNIVERSAL);
    EXPECT_EQ(root->pc, PC_PRIMITIVE);
    EXPECT_EQ(root->tag, 0u);
    EXPECT_EQ(root->length, 0u);

    // Only the first element is decoded.
    tempfile two(bytes{0x02, 0x01, 0x07, 0x02, 0x01, 0x08});
    root = parse(two.path.c_str(), &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(content_of(*root), bytes({0x07}));
    EXPECT_EQ(root->next, nullptr);
}

TEST(BerTree, DiagnosticsReachOnlyAnInstalledHook) {
    static std::vector<std::string> seen;
    seen.clear();
    asn1_set_diagnostic_hook([](const char* text) { seen.emplace_back(text); });
    decode_tree({0x30, 0x05, 0x02});
    asn1_set_diagnostic_hook(nullptr);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "asn1_process() failed");
    seen.clear();
    decode_tree({0x30, 0x05, 0x02});
    EXPECT_TRUE(seen.empty());
}

// ---- the streaming walk ----

TEST(BerStream, VisitsInDocumentOrderWithLevels) {
    // [1] { SEQUENCE { [0] "ab", [1] { [0] 05 } }, [2] 01 }
    const bytes b{0xA1, 0x0F, 0x30, 0x0A, 0x80, 0x02, 0x61, 0x62, 0xA1, 0x04, 0x80, 0x02, 0x00, 0x05,
                  0x82, 0x01, 0x01};
    auto s = decode_stream(b);
    ASSERT_EQ(s.failed, 0);
    EXPECT_EQ(s.prlen, b.size());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tag_level;
    for (const auto& v : s.visits) tag_level.emplace_back(v.tag, v.level);
    EXPECT_EQ(tag_level, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                             {1, 0}, {16, 1}, {0, 2}, {1, 2}, {0, 3}, {2, 1}}));
    EXPECT_EQ(s.visits[2].content, bytes({0x61, 0x62}));
    EXPECT_EQ(s.visits[4].content, bytes({0x00, 0x05}));
    EXPECT_TRUE(s.visits[1].content.empty());  // constructed: no content
}

TEST(BerStream, StartLevelIsTheCallersAndMarkersAreNotVisited) {
    memstream m({0x30, 0x80, 0x02, 0x01, 0x05, 0x00, 0x00});
    std::vector<visit> visits;
    asn1_object root;
    std::uint32_t prlen = 0, indent = 3;
    ASSERT_EQ(asn1_process(m.f, &root, &prlen, &indent, nullptr, record_visit, &visits), 0);
    ASSERT_EQ(visits.size(), 2u);
    EXPECT_EQ(visits[0].level, 3u);
    EXPECT_EQ(visits[1].level, 4u);
    EXPECT_EQ(indent, 3u);
    EXPECT_EQ(prlen, 7u);

    std::uint32_t p = 0, i = 0;
    EXPECT_EQ(asn1_process(m.f, &root, &p, &i, nullptr, nullptr, nullptr), 1);  // visitor required
}

TEST(BerStream, EachVisitSeesOnlyItsOwnContent) {
    // SEQUENCE { OCTET STRING FF x5, OCTET STRING of 5000 octets, [0] 07, BOOLEAN with
    // length 2 (one octet read, the second stays zero) }
    bytes b{0x30, 0x82, 0x13, 0x99, 0x04, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x82, 0x13, 0x88};
    for (int i = 0; i < 5000; ++i) b.push_back(static_cast<std::uint8_t>(i));
    for (std::uint8_t o : {0x80, 0x01, 0x07, 0x01, 0x02, 0x01}) b.push_back(o);
    auto s = decode_stream(b);
    ASSERT_EQ(s.failed, 0);
    ASSERT_EQ(s.visits.size(), 5u);
    EXPECT_EQ(s.visits[1].content, bytes(5, 0xFF));
    EXPECT_EQ(s.visits[2].content.size(), 5000u);
    EXPECT_EQ(s.visits[2].content[4999], static_cast<std::uint8_t>(4999 % 256));
    EXPECT_EQ(s.visits[3].content, bytes{0x07});
    EXPECT_EQ(s.visits[4].content, bytes({0x01, 0x00})) << "nothing of an earlier element may show through";
}

// A visitor may keep a content buffer for itself; the walk then reads the next content
// into a buffer of its own.
void take_content(asn1_object& rec, std::uint32_t, void* context) {
    auto* kept = static_cast<std::vector<std::unique_ptr<std::uint8_t[]>>*>(context);
    if (rec.data) kept->push_back(std::move(rec.data));
}

TEST(BerStream, VisitorMayTakeTheContent) {
    memstream m({0x30, 0x09, 0x04, 0x01, 0x0A, 0x04, 0x01, 0x0B, 0x04, 0x01, 0x0C});
    std::vector<std::unique_ptr<std::uint8_t[]>> kept;
    asn1_object root;
    std::uint32_t prlen = 0, indent = 0;
    ASSERT_EQ(asn1_process(m.f, &root, &prlen, &indent, nullptr, take_content, &kept), 0);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0][0], 0x0A);
    EXPECT_EQ(kept[1][0], 0x0B);
    EXPECT_EQ(kept[2][0], 0x0C);
}

TEST(BerStream, LongFormsAmongShortOnes) {
    // SEQUENCE { [PRIVATE 128] with a long-form length, INTEGER 5, [0] indefinite { NULL } }
    const bytes b{0x30, 0x10, 0xDF, 0x81, 0x00, 0x81, 0x03, 0x61, 0x62, 0x63, 0x02, 0x01,
                  0x05, 0xA0, 0x80, 0x05, 0x00, 0x00, 0x00};
    auto s = decode_stream(b);
    ASSERT_EQ(s.failed, 0);
    EXPECT_EQ(s.prlen, b.size());
    ASSERT_EQ(s.visits.size(), 5u);
    EXPECT_EQ(s.visits[1].asn_class, ASN1_PRIVATE);
    EXPECT_EQ(s.visits[1].tag, 128u);
    EXPECT_EQ(s.visits[1].content, bytes({0x61, 0x62, 0x63}));
    EXPECT_EQ(s.visits[2].content, bytes{0x05});
    EXPECT_EQ(s.visits[3].tag, 0u);
    EXPECT_EQ(s.visits[3].pc, PC_CONSTRUCTED);
    EXPECT_EQ(s.visits[4].tag, 5u);
    auto t = decode_tree(b);
    ASSERT_EQ(t.failed, 0);
    EXPECT_EQ(t.prlen, b.size());
    ASSERT_EQ(children_of(*t.root).size(), 3u);
    EXPECT_EQ(content_of(*children_of(*t.root)[0]), bytes({0x61, 0x62, 0x63}));
}

// ---- tree operations ----

TEST(BerObject, LinkingAndIndex) {
    asn1_ptr parent = asn1_object_new();
    asn1_ptr a = asn1_object_new(), b = asn1_object_new(), c = asn1_object_new(), d = asn1_object_new();
    a->tag = 1;
    b->tag = 2;
    c->tag = 3;
    d->tag = 4;
    asn1_object* pa = a.get();
    asn1_object* pd = d.get();

    asn1_ptr orphan = asn1_object_new();
    EXPECT_EQ(asn1_object_insert_child(parent.get(), orphan, 0), 1);  // no children yet
    EXPECT_NE(orphan, nullptr);                                        // still the caller's

    EXPECT_EQ(asn1_object_append_child(parent.get(), a), 0);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(asn1_object_append_child(parent.get(), b), 0);
    EXPECT_EQ(asn1_object_prepend_child(parent.get(), c), 0);  // 3 1 2
    EXPECT_EQ(asn1_object_insert_child(parent.get(), d, 0), 0);  // 3 4 1 2
    std::vector<std::uint32_t> tags;
    for (auto* k : children_of(*parent)) tags.push_back(k->tag);
    EXPECT_EQ(tags, (std::vector<std::uint32_t>{3, 4, 1, 2}));
    EXPECT_EQ(asn1_object_get_index(pd), 1);
    EXPECT_EQ(asn1_object_get_index(pa), 2);
    EXPECT_EQ(asn1_object_get_index(parent.get()), 0);
    EXPECT_EQ(asn1_object_get_index(nullptr), -1);

    EXPECT_EQ(asn1_object_insert_child(parent.get(), orphan, 9), 1);  // walk runs off the end
    EXPECT_NE(orphan, nullptr);
    orphan->parent = parent.get();  // claims a parent that does not list it
    EXPECT_EQ(asn1_object_get_index(orphan.get()), -1);
    orphan->parent = nullptr;

    asn1_ptr none;
    EXPECT_EQ(asn1_object_append_child(nullptr, orphan), 1);
    EXPECT_EQ(asn1_object_append_child(parent.get(), none), 1);
}

TEST(BerObject, ValueFills) {
    struct {
        std::int32_t value;
        bytes octets;
    } cases[] = {{0, {0x00}},
                 {127, {0x7F}},
                 {128, {0x00, 0x80}},
                 {-1, {0xFF}},
                 {-128, {0xFF, 0x80}},
                 {256, {0x01, 0x00}},
                 {INT32_MAX, {0x7F, 0xFF, 0xFF, 0xFF}},
                 {INT32_MIN, {0xFF, 0x80, 0x00, 0x00, 0x00}}};
    asn1_ptr parent = asn1_object_new();
    std::uint32_t total = 0;
    for (const auto& c : cases) {
        asn1_ptr child = asn1_object_new();
        asn1_object* raw = child.get();
        ASSERT_EQ(asn1_object_append_integer_child(parent.get(), child, c.value), 0);
        EXPECT_EQ(content_of(*raw), c.octets) << c.value;
        std::int32_t back = 12345;
        copy_int_data(back, raw->data.get(), raw->length);
        if (raw->length <= 4) {
            EXPECT_EQ(back, c.value);
        }
        total += static_cast<std::uint32_t>(c.octets.size());
        EXPECT_EQ(parent->length, total);
    }

    asn1_ptr flag = asn1_object_new();
    asn1_object* rawflag = flag.get();
    ASSERT_EQ(asn1_object_append_boolean_child(parent.get(), flag, true), 0);
    EXPECT_EQ(content_of(*rawflag), bytes({0x01}));
    EXPECT_EQ(parent->length, total + 1);

    asn1_ptr s1 = asn1_object_new(), s2 = asn1_object_new(), s3 = asn1_object_new();
    asn1_object* raw2 = s2.get();
    ASSERT_EQ(asn1_object_prepend_string_child(parent.get(), s1, "abc"), 0);
    ASSERT_EQ(asn1_object_insert_string_child(parent.get(), s2, "", 0), 0);
    EXPECT_EQ(raw2->data, nullptr);
    EXPECT_EQ(raw2->length, 0u);
    EXPECT_EQ(parent->length, total + 4);  // the empty string adds nothing
    EXPECT_EQ(asn1_object_get_index(raw2), 1);
    // A failed insert changes nothing, not even the parent's length.
    EXPECT_EQ(asn1_object_insert_string_child(parent.get(), s3, "xyz", 1000), 1);
    EXPECT_EQ(parent->length, total + 4);

    asn1_ptr seq = asn1_object_new();
    seq->pc = PC_CONSTRUCTED;
    seq->length = 7;
    asn1_ptr top = asn1_object_new();
    ASSERT_EQ(asn1_object_append_constructed_child(top.get(), seq), 0);
    EXPECT_EQ(top->length, 7u);
}

TEST(BerObject, LongSiblingListsAndResetReleaseWithoutRecursion) {
    asn1_ptr parent = asn1_object_new();
    asn1_ptr* tail = &parent->children;
    for (int i = 0; i < 1'000'000; ++i) {
        *tail = asn1_object_new();
        tail = &(*tail)->next;
    }
    asn1_object_delete_recursive(parent);
    EXPECT_EQ(parent, nullptr);

    asn1_object rec;
    rec.tag = 9;
    rec.children = asn1_object_new();
    asn1_object_init(rec);
    EXPECT_EQ(rec.tag, 0u);
    EXPECT_EQ(rec.children, nullptr);
    EXPECT_TRUE(rec.definite);
}

// ---- renderings ----

TEST(BerRender, Printable) {
    const std::uint8_t text[] = {'a', ' ', '~'};
    const std::uint8_t del[] = {'a', 0x7F};
    const std::uint8_t high[] = {0xC3, 0xA9};
    EXPECT_EQ(is_all_printable(nullptr, 0), 0);
    EXPECT_EQ(is_all_printable(text, 0), 1);
    EXPECT_EQ(is_all_printable(text, 3), 1);
    EXPECT_EQ(is_all_printable(del, 2), 0);
    EXPECT_EQ(is_all_printable(high, 2), 0);
}

TEST(BerRender, IntegerData) {
    std::int32_t v = 42;
    const std::uint8_t o[] = {0xFF, 0x7F, 0x80, 0x01, 0x02};
    copy_int_data(v, o, 0);
    EXPECT_EQ(v, 42);
    copy_int_data(v, o, 5);
    EXPECT_EQ(v, 42);
    copy_int_data(v, o, 1);
    EXPECT_EQ(v, -1);
    copy_int_data(v, o, 2);
    EXPECT_EQ(v, -129);
    copy_int_data(v, o + 1, 1);
    EXPECT_EQ(v, 127);
    copy_int_data(v, o + 2, 3);
    EXPECT_EQ(v, -8388350);  // 0x800102 sign-extended
}

TEST(BerRender, StringData) {
    std::string out = "unchanged";
    const std::uint8_t text[] = {'N', 'E', '1'};
    const std::uint8_t four[] = {0x80, 0x00, 0x00, 0x01};
    const std::uint8_t two[] = {0x01, 0x00};
    const std::uint8_t six[] = {0x00, 0x0A, 0x7F, 0x80, 0xAB, 0xFF};
    EXPECT_FALSE(copy_string_data(out, text, 0));
    EXPECT_FALSE(copy_string_data(out, nullptr, 3));
    EXPECT_EQ(out, "unchanged");
    ASSERT_TRUE(copy_string_data(out, text, 3));
    EXPECT_EQ(out, "NE1");
    ASSERT_TRUE(copy_string_data(out, two, 2));
    EXPECT_EQ(out, "256");
    ASSERT_TRUE(copy_string_data(out, four, 4));
    EXPECT_EQ(out, "-2147483647");
    ASSERT_TRUE(copy_string_data(out, six, 6));
    EXPECT_EQ(out, "000A7F80ABFF");
}

TEST(BerRender, DiagnosticPrint) {
    auto r = decode_tree({0x30, 0x0E, 0x01, 0x01, 0xFF, 0x02, 0x01, 0xFE, 0x13, 0x02, 0x68, 0x69, 0x84, 0x02,
                          0x0A, 0x41});
    ASSERT_EQ(r.failed, 0);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    asn1_object_print(r.root.get(), 0, out);
    std::fclose(out);
    EXPECT_STREQ(text,
                 "[UNIVERSAL 16 C 14] {\n"
                 "  [UNIVERSAL 1 P 1] {\n"
                 "    Boolean: true\n"
                 "  }\n"
                 "  [UNIVERSAL 2 P 1] {\n"
                 "    Integer: -2\n"
                 "  }\n"
                 "  [UNIVERSAL 19 P 2] {\n"
                 "    PrintableString: hi\n"
                 "  }\n"
                 "  [CONTEXT 4 P 2] {\n"
                 "    Data: %0AA\n"
                 "  }\n"
                 "}\n");
    std::free(text);
}

// ---- streaming walk over an outermost element of known length (read ahead in blocks) ----

namespace {

bytes& operator+=(bytes& to, const bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
    return to;
}

bytes operator+(bytes a, const bytes& b) { return a += b; }

// Identifier octets, length octets (long form when asked or needed) and content.
bytes element(bytes identifier, const bytes& content, bool long_length = false) {
    bytes b = std::move(identifier);
    const std::size_t n = content.size();
    if (n < 0x80 && !long_length) {
        b.push_back(static_cast<std::uint8_t>(n));
    } else {
        b.push_back(0x84);
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(n >> shift));
    }
    b.insert(b.end(), content.begin(), content.end());
    return b;
}

bytes sequence(const bytes& content) { return element({0x30}, content, true); }

// The tree form's elements in document order, as the streaming form reports them.
void flatten(const asn1_object& rec, std::uint32_t level, std::vector<visit>& out) {
    out.push_back({rec.asn_class, rec.pc, rec.tag, rec.length, level, content_of(rec)});
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) flatten(*c, level + 1, out);
}

stream_result decode_stream_file(std::FILE* f) {
    stream_result r{{}, 0, 0};
    asn1_object root;
    std::uint32_t indent = 0;
    r.failed = asn1_process(f, &root, &r.prlen, &indent, nullptr, record_visit, &r.visits);
    return r;
}

struct open_file {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f;
    explicit open_file(const std::string& path) : f(std::fopen(path.c_str(), "rb"), std::fclose) {}
};

void expect_same_visits(const std::vector<visit>& got, const std::vector<visit>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].asn_class, want[i].asn_class);
        EXPECT_EQ(got[i].pc, want[i].pc);
        EXPECT_EQ(got[i].tag, want[i].tag);
        EXPECT_EQ(got[i].length, want[i].length);
        EXPECT_EQ(got[i].level, want[i].level);
        EXPECT_EQ(got[i].content, want[i].content);
    }
}

}  // namespace

TEST(BerStreamBlocks, ElementsAcrossBlockBoundariesReadAsByTheTreeWalk) {
    // Several blocks of mixed elements, so that identifiers with continuation octets,
    // long-form lengths and short contents of every size straddle the block ends; then a
    // content larger than a block.
    bytes content;
    std::uint32_t seed = 7;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    while (content.size() < 200000) {
        const std::uint32_t r = next();
        bytes value((r >> 8) % 18);
        for (auto& o : value) o = static_cast<std::uint8_t>(next() >> 16);
        switch (r % 4) {
            case 0: content += element({0x80}, value); break;                        // [0] short
            case 1: content += element({0x5F, 0x81, 0x00}, value); break;            // [APPLICATION 128]
            case 2: content += element({0x04}, value, true); break;                  // long-form length
            default: content += element({0xA1}, element({0x81}, value)); break;     // nested
        }
    }
    bytes large(100000);
    for (auto& o : large) o = static_cast<std::uint8_t>(next() >> 24);
    content += element({0x04}, large);
    content += element({0x02}, {0x2A});
    const bytes file_octets = sequence(content);

    const tree_result tree = decode_tree(file_octets);
    ASSERT_EQ(tree.failed, 0);
    std::vector<visit> want;
    flatten(*tree.root, 0, want);

    tempfile file(file_octets);
    open_file f(file.path);
    const stream_result from_file = decode_stream_file(f.f.get());
    EXPECT_EQ(from_file.failed, 0);
    EXPECT_EQ(from_file.prlen, file_octets.size());
    expect_same_visits(from_file.visits, want);

    const stream_result from_memory = decode_stream(file_octets);
    EXPECT_EQ(from_memory.failed, 0);
    expect_same_visits(from_memory.visits, want);
}

TEST(BerStreamBlocks, OctetsAfterTheOutermostElementStayInTheStream) {
    bytes content;
    for (int i = 0; i < 5000; ++i) content += element({0x80}, {0x01, 0x02});
    bytes octets = sequence(content);
    const std::size_t first_size = octets.size();
    octets += element({0x02}, {0x07});
    tempfile file(octets);
    open_file f(file.path);
    EXPECT_EQ(decode_stream_file(f.f.get()).failed, 0);
    EXPECT_EQ(std::ftell(f.f.get()), static_cast<long>(first_size));
    const stream_result second = decode_stream_file(f.f.get());
    EXPECT_EQ(second.failed, 0);
    ASSERT_EQ(second.visits.size(), 1u);
    EXPECT_EQ(second.visits[0].content, bytes{0x07});
}

TEST(BerStreamBlocks, ChildRunningOverItsParentIsReadWhole) {
    // The outer element announces 3 octets, its child 2 + 5: the child is read whole
    // from beyond the announced end and the walk goes on, as on a stream read octet by octet.
    const bytes octets{0x30, 0x03, 0x04, 0x05, 'a', 'b', 'c', 'd', 'e'};
    tempfile file(octets);
    open_file f(file.path);
    const stream_result r = decode_stream_file(f.f.get());
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.prlen, 9u);
    ASSERT_EQ(r.visits.size(), 2u);
    EXPECT_EQ(r.visits[1].content, (bytes{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(decode_stream(octets).prlen, 9u);

    // Running over the end of the file fails.
    const bytes cut{0x30, 0x03, 0x04, 0x05, 'a', 'b'};
    tempfile cut_file(cut);
    open_file g(cut_file.path);
    EXPECT_EQ(decode_stream_file(g.f.get()).failed, 1);
}

TEST(BerStreamBlocks, LargeContentIsCheckedAgainstWhatTheFileHolds) {
    // The check on a large declared length counts the octets already read ahead.
    for (const std::size_t held : {std::size_t{70000}, std::size_t{69999}}) {
        SCOPED_TRACE(held);
        bytes content;
        for (int i = 0; i < 100; ++i) content += element({0x80}, {0x05});
        content += {0x04, 0x83, 0x01, 0x11, 0x70};  // 70000 octets announced
        content.resize(content.size() + held, 0x33);
        tempfile file(sequence(content));
        open_file f(file.path);
        const stream_result r = decode_stream_file(f.f.get());
        EXPECT_EQ(r.failed, held == 70000 ? 0 : 1);
        if (held == 70000) {
            ASSERT_EQ(r.visits.size(), 102u);
            EXPECT_EQ(r.visits.back().content, bytes(70000, 0x33));
        }
    }
}

TEST(BerStreamBlocks, EndOfContentsInHighTagForm) {
    // An indefinite list inside a definite element, closed by a marker written with a
    // continuation octet (tag number 0): the list ends there.
    const bytes inner{0x30, 0x80, 0x02, 0x01, 0x07, 0x1F, 0x00, 0x00};
    const bytes octets = sequence(inner + element({0x02}, {0x08}));
    tempfile file(octets);
    open_file f(file.path);
    const stream_result r = decode_stream_file(f.f.get());
    EXPECT_EQ(r.failed, 0);
    ASSERT_EQ(r.visits.size(), 4u);
    EXPECT_EQ(r.visits[2].level, 2u);
    EXPECT_EQ(r.visits[3].level, 1u);
    EXPECT_EQ(r.visits[3].content, bytes{0x08});
}

TEST(BerStreamBlocks, ShortElementsBesideTheOnesThatNeedTheGeneralSteps) {
    // Runs of short contents (the walk's quick path) broken by every kind it leaves to the
    // general steps: an empty content, a BOOLEAN, 16 and 17
    // octets, a high tag number, a long-form length, and an indefinite list of short
    // contents closed by its marker. Read from a file (in blocks) and from memory.
    bytes inner;
    for (int i = 0; i < 3; ++i) inner += element({0x81}, {static_cast<std::uint8_t>(i)});
    inner += bytes{0x00, 0x00};
    bytes content = element({0x80}, {0x05}) + element({0x80}, {}) + element({0x01}, {0xFF}) +
                    element({0x80}, bytes(16, 0x16)) + element({0x80}, bytes(17, 0x17)) +
                    element({0x9F, 0x40}, {0x01, 0x02}) + element({0x80}, {0x03}, true) +
                    bytes{0xA2, 0x80} + inner + element({0x80}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    for (int i = 0; i < 40; ++i) content += element({0x80}, {static_cast<std::uint8_t>(i)});
    const bytes file_octets = sequence(content);

    const std::vector<std::pair<std::uint32_t, bytes>> want{
        {0, {}},           {1, {0x05}},        {1, {}},         {1, {0xFF}},
        {1, bytes(16, 0x16)}, {1, bytes(17, 0x17)}, {1, {0x01, 0x02}}, {1, {0x03}},
        {1, {}},           {2, {0x00}},        {2, {0x01}},     {2, {0x02}},
        {1, {0x00, 0xFF, 0xFF, 0xFF, 0xFF}}};
    tempfile file(file_octets);
    open_file f(file.path);
    for (const stream_result& r : {decode_stream_file(f.f.get()), decode_stream(file_octets)}) {
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(r.prlen, file_octets.size());
        ASSERT_EQ(r.visits.size(), want.size() + 40);
        for (std::size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(r.visits[i].level, want[i].first);
            EXPECT_EQ(r.visits[i].content, want[i].second);
        }
        EXPECT_EQ(r.visits[6].tag, 64u);
        EXPECT_EQ(r.visits.back().content, bytes{39});
    }
}

TEST(BerStreamBlocks, VisitorMayTakeTheContentOfShortElements) {
    bytes content;
    for (int i = 0; i < 100; ++i) content += element({0x80}, {static_cast<std::uint8_t>(i), 0x00});
    tempfile file(sequence(content));
    open_file f(file.path);
    std::vector<std::unique_ptr<std::uint8_t[]>> kept;
    asn1_object root;
    std::uint32_t prlen = 0, indent = 0;
    ASSERT_EQ(asn1_process(f.f.get(), &root, &prlen, &indent, nullptr, take_content, &kept), 0);
    ASSERT_EQ(kept.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(kept[i][0], i);
}
