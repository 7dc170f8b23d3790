// The BER decoder and element records through their public functions: both walks over the
// crafted octets of expected/walks.txt, the hostile-input limits, the block read-ahead held
// against the tree walk, tree operations, value fills and renderings.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "asn1object.h"
#include "asn1parse.h"
#include "table.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// The octets as a stream: from memory (size unknown, read octet by octet; the octets must
// outlive it) or from a regular file (size known, read ahead in blocks).
using stream = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
stream open_octets(const bytes& b, bool file) {
    if (!file) return stream(fmemopen(const_cast<std::uint8_t*>(b.data()), b.size(), "rb"), std::fclose);
    stream f(std::tmpfile(), std::fclose);
    if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f.get());
    std::rewind(f.get());
    return f;
}

bytes content_of(const asn1_object& rec) {
    return rec.data ? bytes(rec.data.get(), rec.data.get() + asn1_content_size(rec)) : bytes{};
}

// One element as "level class tag [+ constructed] length [=content]", class U/A/C/P and
// "*" for an indefinite length: all that a walk reports of it, compared at once.
std::string describe(const asn1_object& rec, std::uint32_t level) {
    std::string s = std::to_string(level) + "UACP"[rec.asn_class & 3] + std::to_string(rec.tag) +
                    (rec.pc == PC_CONSTRUCTED ? "+ " : " ") + (rec.definite ? std::to_string(rec.length) : "*");
    const bytes content = content_of(rec);
    if (!content.empty()) s += "=";
    for (const std::uint8_t o : content) s += {"0123456789ABCDEF"[o >> 4], "0123456789ABCDEF"[o & 15]};
    return s;
}

// What a walk returned and reported, as the table writes it: "failed octets elements...".
struct walk {
    int failed = 0;
    std::uint32_t prlen = 0;
    std::string seen;
    std::string result() const { return std::to_string(failed) + " " + std::to_string(prlen) + seen; }
};

void record_visit(asn1_object& rec, std::uint32_t level, void* context) {
    auto& seen = *static_cast<std::string*>(context);
    seen += (seen.empty() ? " " : ", ") + describe(rec, level);
}

void flatten(const asn1_object& rec, std::uint32_t level, std::string& out) {
    out += (out.empty() ? " " : ", ") + describe(rec, level);
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) flatten(*c, level + 1, out);
}

walk tree_walk(const bytes& b, asn1_ptr* keep = nullptr) {
    walk w;
    asn1_ptr root = asn1_object_new();
    std::uint32_t indent = 0;
    w.failed = asn1_process(open_octets(b, false).get(), root.get(), &w.prlen, &indent, nullptr);
    flatten(*root, 0, w.seen);
    if (keep) *keep = std::move(root);
    return w;
}


walk stream_walk(std::FILE* f, std::uint32_t start = 0) {
    walk w;
    asn1_object root;
    w.failed = asn1_process(f, &root, &w.prlen, &start, nullptr, record_visit, &w.seen);
    return w;
}

walk stream_walk(const bytes& b, bool from_file = false) { return stream_walk(open_octets(b, from_file).get()); }

bytes operator+(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Identifier, length (long form when asked or needed) and content.
bytes element(const bytes& identifier, const bytes& content, bool long_length = false) {
    const std::size_t n = content.size();
    if (n < 0x80 && !long_length) return identifier + bytes{std::uint8_t(n)} + content;
    return identifier + bytes{0x84, std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)} +
           content;
}

// An outermost definite SEQUENCE: the streaming walk reads it ahead in blocks.
bytes sequence(const bytes& content) { return element({0x30}, content, true); }

TEST(BerWalks, CraftedOctets) {
    const auto cases = test_table::read("walks.txt");
    EXPECT_GE(cases.size(), 22u);
    for (const test_table::row& c : cases) {
        SCOPED_TRACE(c[0]);
        ASSERT_EQ(c.size(), 4u);
        const bytes octets = test_table::octets(c[1]);
        EXPECT_EQ(tree_walk(octets).result(), c[2]);
        const std::string want = c[3] == "=" ? c[2] : c[3];
        EXPECT_EQ(stream_walk(octets).result(), want);
        // Read ahead in blocks from a file: the same elements.
        const walk from_file = stream_walk(octets, true);
        EXPECT_EQ(from_file.failed, want[0] - '0');
        EXPECT_EQ(from_file.seen, want.substr(want.find(' ', 2) == std::string::npos ? want.size() : want.find(' ', 2)));
    }
}

TEST(BerWalks, HostileInputAndEntryPoints) {
    // A length far beyond the file: the tree keeps what is there and counts the rest.
    const bytes hostile{0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xF0, 0x41, 0x42};
    bool complete = true;
    asn1_ptr root = asn1_parse_stream(open_octets(hostile, true).get(), &complete);
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(complete);
    EXPECT_EQ(root->missing, 0xFFFFFFF0u - 2);
    EXPECT_EQ(tree_walk(hostile, &root).failed, 1);
    EXPECT_EQ(root->missing, 0xFFFFFFF0u - 2);
    EXPECT_EQ(stream_walk(hostile, true).failed, 1);
    // Nesting stops at the depth limit, just beyond what is allowed.
    for (const std::size_t depth : {std::size_t{asn1_max_depth} - 1, std::size_t{asn1_max_depth}, std::size_t{500000}}) {
        bytes nested(2 * depth, 0x30);
        for (std::size_t i = 1; i < nested.size(); i += 2) nested[i] = 0x80;
        nested = nested + bytes{0x05, 0x00} + bytes(2 * depth, 0x00);
        EXPECT_EQ(tree_walk(nested).failed, depth >= asn1_max_depth) << depth;
        EXPECT_EQ(stream_walk(nested).failed, depth >= asn1_max_depth) << depth;
    }
    EXPECT_EQ(parse(nullptr), nullptr);
    EXPECT_EQ(parse(""), nullptr);
    EXPECT_EQ(parse("/nonexistent/ber/file"), nullptr);
}

TEST(BerWalks, StartLevelVisitorAndDiagnostics) {
    const bytes octets{0x30, 0x80, 0x02, 0x01, 0x05, 0x00, 0x00};
    const stream in = open_octets(octets, false);
    EXPECT_EQ(stream_walk(in.get(), 3).result(), "0 7 3U16+ *, 4U2 1=05");
    asn1_object root;
    std::uint32_t prlen = 0, indent = 0;
    EXPECT_EQ(asn1_process(in.get(), &root, &prlen, &indent, nullptr, nullptr, nullptr), 1) << "no visitor";

    static std::vector<std::string> said;
    said.clear();
    asn1_set_diagnostic_hook([](const char* text) { said.emplace_back(text); });
    tree_walk({0x30, 0x05, 0x02});
    asn1_set_diagnostic_hook(nullptr);
    tree_walk({0x30, 0x05, 0x02});
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "asn1_process() failed") << "diagnostics reach only an installed hook";
}

// ---- the streaming walk's block read-ahead against the tree walk ----

TEST(BerBlocks, EveryKindOfElementAcrossBlockBoundariesReadsAsTheTreeWalkReadsIt) {
    // Identifiers with continuation octets, long-form lengths, contents of every short
    // size, nested and indefinite lists straddle the block ends; then a content larger
    // than a block.
    bytes content;
    std::uint32_t seed = 7;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    while (content.size() < 200000) {
        const std::uint32_t r = next();
        bytes value((r >> 8) % 18);
        for (auto& o : value) o = static_cast<std::uint8_t>(next() >> 16);
        const bytes kinds[] = {element({0x80}, value), element({0x5F, 0x81, 0x00}, value), element({0x04}, value, true),
                               element({0xA1}, element({0x81}, value)),
                               bytes{0xA2, 0x80} + element({0x81}, value) + element({0x82}, value) + bytes{0, 0},
                               element({0x01}, {std::uint8_t(r)})};
        content = content + kinds[r % 6];
    }
    bytes large(100000);
    for (auto& o : large) o = static_cast<std::uint8_t>(next() >> 24);
    const bytes octets = sequence(content + element({0x04}, large) + element({0x02}, {0x2A}));
    const walk tree = tree_walk(octets);
    ASSERT_EQ(tree.failed, 0);
    for (const bool from_file : {false, true}) {
        const walk s = stream_walk(octets, from_file);
        EXPECT_EQ(s.prlen, octets.size());
        EXPECT_TRUE(s.result() == tree.result()) << "from a file: " << from_file;  // megabytes: not printed
    }
}

TEST(BerBlocks, ReadAheadStopsAtTheOutermostElementAndChecksWhatTheFileHolds) {
    bytes content;
    for (int i = 0; i < 5000; ++i) content = content + element({0x80}, {0x01, 0x02});
    const bytes first = sequence(content);
    const stream in = open_octets(first + element({0x02}, {0x07}), true);
    EXPECT_EQ(stream_walk(in.get()).failed, 0);
    EXPECT_EQ(std::ftell(in.get()), static_cast<long>(first.size()));
    EXPECT_EQ(stream_walk(in.get()).result(), "0 3 0U2 1=07");
    // A large declared length counts the octets already read ahead.
    for (const std::size_t held : {std::size_t{70000}, std::size_t{69999}}) {
        content.clear();
        for (int i = 0; i < 100; ++i) content = content + element({0x80}, {0x05});
        const walk s = stream_walk(sequence(content + bytes{0x04, 0x83, 0x01, 0x11, 0x70} + bytes(held, 0x33)), true);
        EXPECT_EQ(s.failed, held == 70000 ? 0 : 1) << held;
        EXPECT_EQ(s.seen.find("1U4 70000=3333") != std::string::npos, held == 70000) << held;
    }
    // A BOOLEAN is read as its first octet, however long, where the file shows it holds the
    // length; from a stream of unknown size a long one is refused. The rest: NULLs of 5 octets.
    const bytes flag = sequence(bytes{0x01, 0x83, 0x01, 0x11, 0x71, 0xFF} + bytes(70000, 0x05));
    EXPECT_EQ(stream_walk(flag, true).result().substr(0, 33), "0 70012 0U16+ 70006, 1U1 70001=FF");
    EXPECT_EQ(stream_walk(flag, false).failed, 1);
}

// ---- tree operations, value fills and renderings (the print is the fuzz target's) ----

std::string child_tags(const asn1_object& rec) {
    std::string out;
    for (const asn1_object* c = rec.children.get(); c; c = c->next.get()) out += std::to_string(c->tag);
    return out;
}

TEST(BerObject, LinkingIndexAndRelease) {
    asn1_ptr parent = asn1_object_new(), kids[4], orphan = asn1_object_new(), none;
    for (std::uint32_t i = 0; i < 4; ++i) (kids[i] = asn1_object_new())->tag = i + 1;
    const asn1_object *pa = kids[0].get(), *pd = kids[3].get();
    EXPECT_EQ(asn1_object_insert_child(parent.get(), orphan, 0), 1);  // no children yet
    EXPECT_EQ(asn1_object_append_child(parent.get(), kids[0]), 0);
    EXPECT_EQ(kids[0], nullptr) << "the parent owns it";
    EXPECT_EQ(asn1_object_append_child(parent.get(), kids[1]), 0);
    EXPECT_EQ(asn1_object_prepend_child(parent.get(), kids[2]), 0);
    EXPECT_EQ(asn1_object_insert_child(parent.get(), kids[3], 0), 0);
    EXPECT_EQ(child_tags(*parent), "3412");
    EXPECT_EQ(asn1_object_get_index(pd), 1);
    EXPECT_EQ(asn1_object_get_index(pa), 2);
    EXPECT_EQ(asn1_object_get_index(parent.get()), 0);
    EXPECT_EQ(asn1_object_get_index(nullptr), -1);
    EXPECT_EQ(asn1_object_insert_child(parent.get(), orphan, 9), 1);  // runs off the end
    ASSERT_NE(orphan, nullptr) << "a failed insert leaves the record with the caller";
    orphan->parent = parent.get();  // claims a parent that does not list it
    EXPECT_EQ(asn1_object_get_index(orphan.get()), -1);
    orphan->parent = nullptr;
    EXPECT_EQ(asn1_object_append_child(nullptr, orphan), 1);
    EXPECT_EQ(asn1_object_append_child(parent.get(), none), 1);
    // A million siblings are released without recursion.
    asn1_ptr* tail = &parent->children;
    for (int i = 0; i < 1'000'000; ++i) tail = &(*tail = asn1_object_new())->next;
    asn1_object_delete_recursive(parent);
    EXPECT_EQ(parent, nullptr);
    asn1_object rec;
    rec.tag = 9;
    rec.children = asn1_object_new();
    asn1_object_init(rec);
    EXPECT_EQ(describe(rec, 0), "0U0 0");
    EXPECT_EQ(rec.children, nullptr);
}

TEST(BerObject, ValueFillsAndTheirReading) {
    const std::pair<std::int32_t, bytes> cases[] = {{0, {0x00}},         {127, {0x7F}},        {128, {0x00, 0x80}},
                                                    {-1, {0xFF}},        {-128, {0xFF, 0x80}}, {256, {0x01, 0x00}},
                                                    {INT32_MAX, {0x7F, 0xFF, 0xFF, 0xFF}}, {INT32_MIN, {0xFF, 0x80, 0, 0, 0}}};
    asn1_ptr parent = asn1_object_new();
    std::uint32_t total = 0;
    for (const auto& [value, octets] : cases) {
        asn1_ptr child = asn1_object_new();
        const asn1_object* raw = child.get();
        ASSERT_EQ(asn1_object_append_integer_child(parent.get(), child, value), 0);
        EXPECT_EQ(content_of(*raw), octets) << value;
        std::int32_t back = 12345;
        copy_int_data(back, raw->data.get(), raw->length);
        EXPECT_EQ(back, raw->length <= 4 ? value : 12345) << value;
        EXPECT_EQ(parent->length, total += std::uint32_t(octets.size()));
    }
    asn1_ptr flag = asn1_object_new(), s1 = asn1_object_new(), s2 = asn1_object_new(), s3 = asn1_object_new();
    const asn1_object* raw2 = s2.get();
    ASSERT_EQ(asn1_object_append_boolean_child(parent.get(), flag, true), 0);
    ASSERT_EQ(asn1_object_prepend_string_child(parent.get(), s1, "abc"), 0);
    ASSERT_EQ(asn1_object_insert_string_child(parent.get(), s2, "", 0), 0);
    EXPECT_EQ(describe(*raw2, 1), "1U0 0");
    EXPECT_EQ(asn1_object_get_index(raw2), 1);
    EXPECT_EQ(asn1_object_insert_string_child(parent.get(), s3, "xyz", 1000), 1);
    EXPECT_EQ(parent->length, total + 4) << "a boolean, three characters, nothing for \"\" or a failed insert";
    asn1_ptr seq = asn1_object_new(), top = asn1_object_new();
    seq->pc = PC_CONSTRUCTED;
    seq->length = 7;
    ASSERT_EQ(asn1_object_append_constructed_child(top.get(), seq), 0);
    EXPECT_EQ(top->length, 7u);

    const std::pair<bytes, const char*> texts[] = {{{'N', 'E', '1'}, "NE1"}, {{0x01, 0x00}, "256"},
                                                   {{0x80, 0x00, 0x00, 0x01}, "-2147483647"},
                                                   {{0x00, 0x0A, 0x7F, 0x80, 0xAB, 0xFF}, "000A7F80ABFF"}};
    for (const auto& [octets, want] : texts) {
        std::string out;
        EXPECT_TRUE(copy_string_data(out, octets.data(), octets.size()) && out == want) << want;
    }
    std::string out = "unchanged";
    EXPECT_FALSE(copy_string_data(out, texts[0].first.data(), 0) || copy_string_data(out, nullptr, 3) || out != "unchanged");
    const std::uint8_t o[] = {0xFF, 0x7F, 0x80, 0x01, 0x02};
    std::int32_t v = 0;
    copy_int_data(v, o + 2, 3);
    EXPECT_EQ(v, -8388350);  // 0x800102 sign-extended
    copy_int_data(v, o + 1, 1);
    EXPECT_EQ(v, 127);
}

TEST(BerRender, LabelsAndTheDiagnosticPrint) {
    EXPECT_EQ(is_all_printable(nullptr, 0), 0);
    EXPECT_EQ(asn1_tag_label(1, asn1_stream_dialect), "BOOLEAN");
    EXPECT_EQ(asn1_tag_label(28), "");
    asn1_ptr root;
    ASSERT_EQ(tree_walk(test_table::octets("300E 0101FF 0201FE 13026869 84020A41"), &root).failed, 0);
    char* printed = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&printed, &size);
    asn1_object_print(root.get(), 0, out);
    std::fclose(out);
    EXPECT_STREQ(printed,
                 "[UNIVERSAL 16 C 14] {\n  [UNIVERSAL 1 P 1] {\n    Boolean: true\n  }\n"
                 "  [UNIVERSAL 2 P 1] {\n    Integer: -2\n  }\n  [UNIVERSAL 19 P 2] {\n    PrintableString: hi\n  }\n"
                 "  [CONTEXT 4 P 2] {\n    Data: %0AA\n  }\n}\n");
    std::free(printed);
}

}  // namespace
