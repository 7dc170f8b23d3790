// Section conversion through whole runs: the worked example of the older layout, blocks
// and rows of several sections, counters matched by position, sections skipped with a
// warning or failing the run, header and footer sections, the association of every item
// with the block or row nearest in scope, and the scope machinery itself (distances,
// nearest candidates, header indexes, the element classification), each result the same
// for every number of workers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "md_index.h"
#include "parse_env.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The document of the worked example, set-0 names.
const std::string worked_example = R"(<?xml version="1.0"?>
<mdc>
  <mfh><ffv>1</ffv><sn>SubNetwork=1</sn><st>RNC</st><vn>X</vn><cbt>20050301140000.0+0100</cbt></mfh>
  <md>
    <neid><nedn>SubNetwork=1,ManagedElement=1</nedn></neid>
    <mi>
      <mts>20050301141500.0+0100</mts><gp>900</gp><mt>attA</mt><mt>attB</mt>
      <mv><moid>ManagedElement=1,UtranCell=C1</moid><r>1</r><r>2</r><sf>FALSE</sf></mv>
    </mi>
  </md>
  <mff><ts>20050301141500.0+0100</ts></mff>
</mdc>
)";

// A data section of the older layout: nedn value, then the blocks' texts.
std::string md(const std::string& nedn, const std::string& blocks) {
    return "<md><neid><nedn>" + nedn + "</nedn></neid>" + blocks + "</md>";
}

// A block: its counter names and its rows (each row: moid, values, suspect text or "").
struct row_spec {
    std::string moid;
    std::vector<std::string> values;
    std::string suspect;
};
std::string mi(const std::vector<std::string>& names, const std::vector<row_spec>& rows, const std::string& mts = "M") {
    std::string out = "<mi><mts>" + mts + "</mts><gp>900</gp>";
    for (const auto& n : names) out += "<mt>" + n + "</mt>";
    for (const auto& r : rows) {
        out += "<mv><moid>" + r.moid + "</moid>";
        for (const auto& v : r.values) out += "<r>" + v + "</r>";
        if (!r.suspect.empty()) out += "<sf>" + r.suspect + "</sf>";
        out += "</mv>";
    }
    return out + "</mi>";
}

std::string mdc(const std::string& sections) {
    return "<mdc><mfh><cbt>C</cbt><sn>SubNetwork=1</sn><ffv>1</ffv></mfh>" + sections + "<mff><ts>T</ts></mff></mdc>";
}

class Conversion : public ::testing::Test {
protected:
    // Converts with every number of workers (and tiny blocks once): all results must be
    // the same; the one with the default number is returned.
    conversion convert_everywhere(const std::string& content, const item_list& items = {}) {
        conversion first = cycle_.run(content, items);
        for (int threads : thread_numbers()) {
            conversion c = cycle_.run(content, items, threads);
            EXPECT_EQ(c.ok, first.ok) << threads << " workers";
            EXPECT_EQ(c.dump, first.dump) << threads << " workers";
            EXPECT_EQ(without_lines(c.error), without_lines(first.error)) << threads << " workers";
            EXPECT_EQ(c.warnings.size(), first.warnings.size()) << threads << " workers";
        }
        conversion tiny = cycle_.run(content, items, 4, 3);
        EXPECT_EQ(tiny.dump, first.dump) << "3-byte blocks";
        return first;
    }
    conversion convert(const std::string& content, const item_list& items = {}) { return cycle_.run(content, items); }

    converter_cycle cycle_;
};

TEST_F(Conversion, WorkedExampleOfTheOlderLayout) {
    const conversion c = convert_everywhere(worked_example);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.warnings, IsEmpty());
    // The element that occurs last leads the header chain.
    EXPECT_THAT(c.data.header, ElementsAre("cbt=20050301140000.0+0100/0", "vn=X/0", "st=RNC/0", "sn_SubNetwork=1/1",
                                           "ffv=1/0"));
    EXPECT_THAT(c.data.footer, ElementsAre("ts=20050301141500.0+0100/0"));
    ASSERT_EQ(c.data.blocks.size(), 1u);
    const block_view& b = c.data.blocks[0];
    EXPECT_THAT(b.common, ElementsAre("nedn_SubNetwork=1/1", "nedn_ManagedElement=1/1"));
    EXPECT_THAT(b.types, ElementsAre("attA", "attB"));
    ASSERT_EQ(b.rows.size(), 1u);
    const row_view& r = b.rows[0];
    EXPECT_THAT(r.unique, ElementsAre("moid_ManagedElement=1/1", "moid_UtranCell=C1/1", "gp=900/0",
                                      "mts=20050301141500.0+0100/0"));
    EXPECT_EQ(r.blockname, "ManagedElement_UtranCell");
    EXPECT_THAT(r.instance, ElementsAre("moid_ManagedElement=1/1", "moid_UtranCell=C1/1"));
    EXPECT_THAT(r.values, ElementsAre("attA=1", "attB=2"));
    EXPECT_THAT(r.suspect, ElementsAre("sf=FALSE"));
}

TEST_F(Conversion, RowsBelongToTheirBlockAndTakeItsCounterNames) {
    const std::string doc = mdc(md("A=1", mi({"a", "b"}, {{"C=1", {"1", "2"}, ""}, {"C=2", {"3", "4"}, ""},
                                                        {"C=3", {"5", "6"}, ""}}) +
                                               mi({"x", "y"}, {{"C=4", {"7", "8"}, ""}, {"C=5", {"9", "10"}, ""},
                                                               {"C=6", {"11", "12"}, ""}})));
    const conversion c = convert_everywhere(doc);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.data.blocks.size(), 2u);
    const auto& first = c.data.blocks[0].rows;
    const auto& second = c.data.blocks[1].rows;
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_THAT(first[0].values, ElementsAre("a=1", "b=2"));
    EXPECT_THAT(first[2].values, ElementsAre("a=5", "b=6"));
    EXPECT_THAT(second[0].values, ElementsAre("x=7", "y=8"));
    EXPECT_THAT(second[2].values, ElementsAre("x=11", "y=12"));
    EXPECT_THAT(first[1].instance, ElementsAre("moid_C=2/1"));
    EXPECT_THAT(second[1].instance, ElementsAre("moid_C=5/1"));
}

TEST_F(Conversion, CountersMatchByPositionWhateverTheirNumbering) {
    const std::string doc = mdc(md("A=1", R"(<mi><mts>M</mts><gp>1</gp>
        <mt p="3">a</mt><mt p="1">b</mt><mt p="2">c</mt>
        <mv><moid>C=1</moid><r p="2">1</r><r p="3">2</r><r p="1">3</r></mv></mi>)"));
    const conversion c = convert(doc);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].rows[0].values, ElementsAre("a=1", "b=2", "c=3"));
}

TEST_F(Conversion, RowWithTooFewValuesFailsTheRun) {
    const conversion c = convert(mdc(md("A=1", mi({"a", "b", "c"}, {{"C=1", {"1", "2"}, ""}}))));
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - type and result counters do not match"));
    EXPECT_THAT(c.error, HasSubstr("[tag - mv:1]"));
}

TEST_F(Conversion, RowWithoutValuesIsKeptWithoutCounters) {
    const conversion c = convert(mdc(md("A=1", mi({"a"}, {{"C=1", {}, "TRUE"}, {"C=2", {"5"}, ""}}))));
    ASSERT_TRUE(c.ok) << c.error;
    const auto& rows = c.data.blocks[0].rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_THAT(rows[0].values, IsEmpty());
    EXPECT_THAT(rows[0].suspect, ElementsAre("sf=TRUE"));
    EXPECT_THAT(rows[1].values, ElementsAre("a=5"));
}

TEST_F(Conversion, SectionsWithoutBlocksRowsOrNamesAreSkippedWithAWarning) {
    struct {
        std::string section;
        const char* warning;
    } cases[] = {
        {"<md><neid><nedn>A=1</nedn></neid><x>1</x></md>", "WARN : parse - measurement information not found [tag - md:1]"},
        {"<md><neid><nedn>A=1</nedn></neid><mi><mts>M</mts><mt>a</mt></mi></md>",
         "WARN : parse - measurement value not found [tag - md:1]"},
        {"<md><neid><nedn>A=1</nedn></neid><mi><mv><moid>C=1</moid><mts>M</mts><r>1</r></mv></mi></md>",
         "WARN : parse - measurement type not found [tag - md:1]"},
    };
    for (const auto& k : cases) {
        // The good section after the skipped one still converts.
        const conversion c = convert_everywhere(mdc(k.section + md("A=2", mi({"a"}, {{"C=1", {"1"}, ""}}))));
        ASSERT_TRUE(c.ok) << c.error;
        ASSERT_EQ(c.warnings.size(), 1u) << k.warning;
        EXPECT_THAT(c.warnings[0], HasSubstr(k.warning));
        ASSERT_EQ(c.data.blocks.size(), 1u);
        EXPECT_THAT(c.data.blocks[0].common, ElementsAre("nedn_A=2/1"));
    }
}

TEST_F(Conversion, RowsWithoutSuspectElementHaveNoFlagAndNoWarning) {
    const conversion c = convert(mdc(md("A=1", mi({"a"}, {{"C=1", {"1"}, ""}}))));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.warnings, IsEmpty());
    EXPECT_THAT(c.data.blocks[0].rows[0].suspect, IsEmpty());
}

TEST_F(Conversion, FirstSuspectElementOfARowStays) {
    const std::string doc = mdc(md("A=1", "<mi><mts>M</mts><mt>a</mt><mv><moid>C=1</moid><r>1</r>"
                                          "<sf>TRUE</sf><sf>FALSE</sf></mv></mi>"));
    const conversion c = convert(doc);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].rows[0].suspect, ElementsAre("sf=TRUE"));
}

TEST_F(Conversion, RootChildOfUnknownKindFailsTheRun) {
    const conversion c = convert("<mdc><mfh><cbt>C</cbt></mfh><other><x/></other></mdc>");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - section data contains invalid tag name [tag - other:1]"));
}

TEST_F(Conversion, DataSectionWithoutAnyHeaderElementFailsTheRun) {
    const conversion c = convert("<mdc><md><mi><mts>M</mts><mt>a</mt><mv><moid>C=1</moid><r>1</r></mv></mi></md></mdc>");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: returned null [parse_sort_elems"));
    EXPECT_THAT(c.error, HasSubstr("[parse_index_header"));
}

TEST_F(Conversion, HeaderWithItsLeadingElementTwiceIsJoinedWithAWarning) {
    const conversion c = convert_everywhere(
        "<mdc><mfh><g><ffv>1</ffv><cbt>C1</cbt></g><g><ffv>2</ffv><cbt>C2</cbt></g></mfh>" +
        md("A=1", mi({"a"}, {{"C=1", {"1"}, ""}})) + "</mdc>");
    ASSERT_TRUE(c.ok) << c.error;
    // Each cbt with the ffv of its own group, the chains in document order.
    EXPECT_THAT(c.data.header, ElementsAre("cbt=C1/0", "ffv=1/0", "cbt=C2/0", "ffv=2/0"));
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_THAT(c.warnings[0], HasSubstr("WARN : parse - found multiple header data [2]"));
}

TEST_F(Conversion, HeaderWithEveryNameOnceGivesOneChain) {
    const conversion c = convert(worked_example);
    EXPECT_THAT(c.warnings, IsEmpty());
}

TEST_F(Conversion, HeaderOrFooterWithoutHeaderElementFailsTheRun) {
    const conversion c = convert("<mdc><mfh><cbt>C</cbt></mfh><mff><zz>1</zz></mff></mdc>");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: returned null [parse_sort_elems"));
}

TEST_F(Conversion, BlocksOfAllSectionsComeInDocumentOrder) {
    std::string sections;
    for (int i = 0; i < 12; ++i)
        sections += md("A=" + std::to_string(i), mi({"a"}, {{"C=" + std::to_string(i), {std::to_string(i)}, ""}}) +
                                                     mi({"b"}, {{"C=x", {"x" + std::to_string(i)}, ""}}));
    const conversion c = convert_everywhere(mdc(sections));
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.data.blocks.size(), 24u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_THAT(c.data.blocks[2 * i].common, ElementsAre("nedn_A=" + std::to_string(i) + "/1"));
        EXPECT_THAT(c.data.blocks[2 * i].rows[0].values, ElementsAre("a=" + std::to_string(i)));
        EXPECT_THAT(c.data.blocks[2 * i + 1].rows[0].values, ElementsAre("b=x" + std::to_string(i)));
    }
}

TEST_F(Conversion, OfSeveralHeaderSectionsTheLastInTheDocumentWins) {
    std::string doc = "<mdc>";
    for (int i = 0; i < 6; ++i) doc += "<mfh><cbt>C" + std::to_string(i) + "</cbt></mfh>" + md("A=1", mi({"a"}, {{"C=1", {"1"}, ""}}));
    doc += "<mff><ts>T1</ts></mff><mff><ts>T2</ts></mff></mdc>";
    const conversion c = convert_everywhere(doc);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.header, ElementsAre("cbt=C5/0"));
    EXPECT_THAT(c.data.footer, ElementsAre("ts=T2/0"));
}

TEST_F(Conversion, EachBlockTakesTheHeaderNearestInScope) {
    // Two network elements in one section, each with its own blocks.
    const std::string doc = mdc(
        "<md><ne><nedn>A=1</nedn>" + mi({"a"}, {{"C=1", {"1"}, ""}}) + mi({"b"}, {{"C=2", {"2"}, ""}}) +
        "</ne><ne><nedn>A=2</nedn>" + mi({"c"}, {{"C=3", {"3"}, ""}}) + "</ne></md>");
    const conversion c = convert_everywhere(doc);
    ASSERT_TRUE(c.ok) << c.error;
    ASSERT_EQ(c.data.blocks.size(), 3u);
    EXPECT_THAT(c.data.blocks[0].common, ElementsAre("nedn_A=1/1"));
    EXPECT_THAT(c.data.blocks[1].common, ElementsAre("nedn_A=1/1"));
    EXPECT_THAT(c.data.blocks[2].common, ElementsAre("nedn_A=2/1"));
}

TEST_F(Conversion, RowsTakeTheHeadersOfTheirOwnBlock) {
    // The second block's period comes right after the first block's last row in the
    // document, but lies farther away in the tree.
    const std::string doc = mdc(md("A=1", mi({"a"}, {{"C=1", {"1"}, ""}, {"C=2", {"2"}, ""}}, "M1") +
                                              mi({"a"}, {{"C=3", {"3"}, ""}}, "M2")));
    const conversion c = convert_everywhere(doc);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].rows[1].unique, ElementsAre("moid_C=2/1", "gp=900/0", "mts=M1/0"));
    EXPECT_THAT(c.data.blocks[1].rows[0].unique, ElementsAre("moid_C=3/1", "gp=900/0", "mts=M2/0"));
}

TEST_F(Conversion, CounterNamesOutsideTheRowsBlockAreNotTaken) {
    // Names listed after the rows of their block still name them; a block's names never
    // reach another block.
    const std::string doc = mdc(md("A=1", "<mi><mts>M</mts><mv><moid>C=1</moid><r>1</r></mv><mt>late</mt></mi>" +
                                              mi({"b"}, {{"C=2", {"2"}, ""}})));
    const conversion c = convert(doc);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].rows[0].values, ElementsAre("late=1"));
    EXPECT_THAT(c.data.blocks[1].rows[0].values, ElementsAre("b=2"));
}

// -------------------------------------------------------------------------------------
// The scope machinery on hand-made trees.

struct tree {
    std::vector<std::unique_ptr<a_taginfo>> tags;
    a_taginfo* add(a_taginfo* parent, std::uint32_t seq) {
        tags.push_back(std::make_unique<a_taginfo>());
        a_taginfo* t = tags.back().get();
        t->ti_seq = seq;
        t->ti_parent = parent;
        t->ti_depth = parent != nullptr ? parent->ti_depth + 1 : 0;
        return t;
    }
};

class Scope : public ::testing::Test {
protected:
    void SetUp() override { clear_main_area(); }
    void TearDown() override { clear_main_area(); }
};

TEST_F(Scope, DistanceCountsLevelsUpToTheCommonAncestor) {
    tree t;
    a_taginfo* root = t.add(nullptr, 0);
    a_taginfo* a = t.add(root, 1);
    a_taginfo* a1 = t.add(a, 2);
    a_taginfo* a11 = t.add(a1, 3);
    a_taginfo* a2 = t.add(a, 4);
    a_taginfo* b = t.add(root, 5);
    a_taginfo* b1 = t.add(b, 6);
    EXPECT_EQ(parse_get_scope(a, a11), 0);   // grandchild
    EXPECT_EQ(parse_get_scope(a11, a), 0);
    EXPECT_EQ(parse_get_scope(a1, a1), 0);   // itself
    EXPECT_EQ(parse_get_scope(a1, a2), 1);   // siblings
    EXPECT_EQ(parse_get_scope(a1, b1), 2);   // cousins
    EXPECT_EQ(parse_get_scope(a11, b1), 2);  // from the shallower one's level
    EXPECT_EQ(main_code(), 0u);
}

TEST_F(Scope, ElementsWithoutCommonAncestorHaveNoScope) {
    tree t;
    a_taginfo* one = t.add(t.add(nullptr, 0), 1);
    a_taginfo* other = t.add(t.add(nullptr, 0), 1);
    EXPECT_EQ(parse_get_scope(one, other), NOSCOPE);
    EXPECT_THAT(main_text(), HasSubstr("ERROR: tags are not from same scope"));
    clear_main_area();
    EXPECT_EQ(parse_get_scope(one, nullptr), NOSCOPE);
    EXPECT_THAT(main_text(), HasSubstr("ERROR: tag is null"));
}

TEST_F(Scope, NearestCandidateLooksAroundThePosition) {
    // Candidates 10 (a cousin of the searched element 25), 20 (its sibling) and 30 (its
    // child); 40 lies beyond the first candidate past the position and is never looked at.
    tree t;
    a_taginfo* root = t.add(nullptr, 0);
    a_taginfo* c10 = t.add(t.add(root, 1), 10);
    a_taginfo* y = t.add(root, 15);
    a_taginfo* c20 = t.add(y, 20);
    a_taginfo* e = t.add(y, 25);
    a_taginfo* c30 = t.add(e, 30);
    a_taginfo* c40 = t.add(y, 40);
    a_objhead* index = index_new_stridx();
    ASSERT_NE(index, nullptr);
    ASSERT_TRUE(index_set_stridx(index, IDX_KEYLEN, 4));
    for (a_taginfo* c : {c10, c20, c30, c40}) index_find_stridx(index, &c->ti_seq)->poi_data = c;
    auto node_of = [&](a_taginfo* c) {
        index_set_stridx(index, IDX_FINDONLY, 1);
        a_objidx* n = index_find_stridx(index, &c->ti_seq);
        index_set_stridx(index, IDX_FINDONLY, 0);
        return n;
    };
    EXPECT_EQ(parse_find_scope(node_of(c20), e, pety_tag), node_of(c30));
    EXPECT_EQ(parse_find_scope(node_of(c30), e, pety_tag), node_of(c30));
    EXPECT_EQ(parse_find_scope(node_of(c10), e, pety_tag), node_of(c30));
    // From 40 (another sibling), the search goes back past 30 to 20 and stops there.
    EXPECT_EQ(parse_find_scope(node_of(c40), e, pety_tag), node_of(c30));
    EXPECT_EQ(main_code(), 0u);
    EXPECT_EQ(parse_find_scope(nullptr, e, pety_tag), nullptr);
    EXPECT_THAT(main_text(), HasSubstr("ERROR: scope - info index node is empty"));
    index_destroy_stridx(index);
}

TEST_F(Scope, EqualScopesGoToTheLastCandidateBeforeTheElementFromAnyStart) {
    // Siblings 10, 20, 40, 50 of the element 25, all equally near: 20 wins whichever
    // candidate the search starts from; 10 is never nearer than 20.
    tree t;
    a_taginfo* y = t.add(t.add(nullptr, 0), 5);
    std::vector<a_taginfo*> siblings;
    for (std::uint32_t seq : {10u, 20u, 40u, 50u}) siblings.push_back(t.add(y, seq));
    a_taginfo* e = t.add(y, 25);
    a_objhead* index = index_new_stridx();
    ASSERT_NE(index, nullptr);
    ASSERT_TRUE(index_set_stridx(index, IDX_KEYLEN, 4));
    std::vector<a_objidx*> nodes;
    for (a_taginfo* c : siblings) {
        nodes.push_back(index_find_stridx(index, &c->ti_seq));
        nodes.back()->poi_data = c;
    }
    for (a_objidx* start : nodes) EXPECT_EQ(parse_find_scope(start, e, pety_tag), nodes[1]);
    // Nothing before the element: the first one after it.
    a_taginfo* early = t.add(y, 3);
    for (a_objidx* start : nodes) EXPECT_EQ(parse_find_scope(start, early, pety_tag), nodes[0]);
    index_destroy_stridx(index);
}

// -------------------------------------------------------------------------------------
// Header indexes and the classification, inside a run: a probing converter hands each
// data section to the test on the reading thread (no workers), where the worker pool and
// the tag registry are at hand.

std::function<void(a_taginfo*)>& probe() {
    static std::function<void(a_taginfo*)> fn;
    return fn;
}

a_measinfo* probing_converter(a_measinfo* list, a_taginfo* section) {
    if (section->ti_name.str != nullptr && std::string(section->ti_name.str) == "md") probe()(section);
    xml_free_taginfo(section);
    return list;
}

// Element names of a header chain, "name" or "name.attr".
std::vector<std::string> chain_names(const a_measpair* chain) {
    std::vector<std::string> out;
    for (; chain != nullptr; chain = chain->mmp_next)
        out.push_back(std::string(chain->mmp_tag->ti_name.str) + (chain->mmp_attr ? std::string(".") + chain->mmp_attr : ""));
    return out;
}

class HeaderIndex : public ::testing::Test {
protected:
    void TearDown() override { probe() = nullptr; }
    // Runs fn on the data section of content with the header names given.
    void on_section(const std::string& content, const std::vector<std::string>& names,
                    const std::function<void(a_taginfo*)>& fn) {
        probe() = [fn](a_taginfo* section) { fn(section); };
        temp_file file(content);
        clear_main_area();
        ASSERT_TRUE(regex_init() && set_item(xcfg_xmlfilename, {file.path()}) && set_item(xcfg_hdrelemnames, names) &&
                    set_item(xcfg_threadnum, {"0"}) &&
                    set_item(xcfg_distnameelemnames, {"e.dn", "e"}) && glob_init() && thr_init() && xml_init() &&
                    io_init() && parse_init());
        thr_set_converter(probing_converter);
        thr_run_xml();
        EXPECT_TRUE(parse_deinit() && xml_deinit() && io_deinit() && thr_deinit() && glob_deinit() && regex_deinit());
        clear_main_area();
    }
    // The chains of the header index of the hdrelemnames item, or the message.
    std::vector<std::vector<std::string>> chains(const std::string& content, const std::vector<std::string>& names,
                                                 std::string* message = nullptr) {
        std::vector<std::vector<std::string>> out;
        on_section(content, names, [&](a_taginfo* section) {
            a_objhead* tags = parse_index_taginfo(section);
            ASSERT_NE(tags, nullptr);
            bool none = false;
            a_objhead* index = parse_index_header(tags, xcfg_hdrelemnames, &none);
            if (index == nullptr && message != nullptr) *message = main_message() + (none ? " (none)" : "");
            for (a_objidx* n = index ? index_first_stridx(index) : nullptr; n != nullptr; n = index_next_stridx(n))
                out.push_back(chain_names(static_cast<a_measpair*>(n->poi_data)));
            index_destroy_stridx(index);
            index_destroy_stridx(tags);
            error_clear_message(main_code(), false);
        });
        return out;
    }
};

TEST_F(HeaderIndex, MostFrequentNameLeadsEachChain) {
    // a once, b three times, c never: three chains of b with the one a.
    const auto c = chains("<r><md><a/><g><b/></g><g><b/></g><g><b/></g></md></r>", {"a", "b", "c"});
    EXPECT_THAT(c, ElementsAre(ElementsAre("b", "a"), ElementsAre("b", "a"), ElementsAre("b", "a")));
}

TEST_F(HeaderIndex, TiesGoToTheDeeperThenTheLaterName) {
    EXPECT_THAT(chains("<r><md><a/><g><b/></g></md></r>", {"a", "b"}), ElementsAre(ElementsAre("b", "a")));
    EXPECT_THAT(chains("<r><md><g><b/></g><a/></md></r>", {"b", "a"}), ElementsAre(ElementsAre("b", "a")));
    EXPECT_THAT(chains("<r><md><a/><b/></md></r>", {"a", "b"}), ElementsAre(ElementsAre("b", "a")));
    EXPECT_THAT(chains("<r><md><b/><a/></md></r>", {"a", "b"}), ElementsAre(ElementsAre("a", "b")));
}

TEST_F(HeaderIndex, PartnersAreTheNearestInScope) {
    // Each b takes the a of its own group, even where another group's a is closer in
    // document order.
    const std::string doc = "<r><md><g><a n='1'/><b/><b/></g><g><b/><a n='2'/></g></md></r>";
    std::vector<std::string> partners;
    on_section(doc, {"a.n", "b"}, [&](a_taginfo* section) {
        a_objhead* tags = parse_index_taginfo(section);
        a_objhead* index = parse_index_header(tags, xcfg_hdrelemnames);
        ASSERT_NE(index, nullptr) << main_message();
        for (a_objidx* n = index_first_stridx(index); n != nullptr; n = index_next_stridx(n)) {
            const a_measpair* p = static_cast<a_measpair*>(n->poi_data);
            ASSERT_NE(p->mmp_next, nullptr);
            partners.push_back(parse_get_attrval(p->mmp_next->mmp_tag, "n"));
        }
        index_destroy_stridx(index);
        index_destroy_stridx(tags);
    });
    EXPECT_THAT(partners, ElementsAre("1", "1", "2"));
}

TEST_F(HeaderIndex, NameAtTwoDepthsIsRefused) {
    std::string message;
    EXPECT_THAT(chains("<r><md><a/><g><a/></g></md></r>", {"a"}, &message), IsEmpty());
    EXPECT_THAT(message, HasSubstr("ERROR: scope - tags are of different depths [tag - a:1]"));
}

TEST_F(HeaderIndex, NoneOfTheNamesGivesNoIndex) {
    std::string message;
    EXPECT_THAT(chains("<r><md><x/></md><y/></r>", {"y", "z"}, &message), IsEmpty());
    EXPECT_THAT(message, HasSubstr("ERROR: returned null [parse_sort_elems"));
    EXPECT_THAT(message, HasSubstr("(none)"));
}

TEST_F(HeaderIndex, ClassificationTellsAttributesApart) {
    // "e.dn" and "e" are listed as distinguished names; "f" is nothing.
    std::vector<int> kinds;
    on_section("<r><md><e dn='A=1' x='2'/><f/></md></r>", {"e"}, [&](a_taginfo* section) {
        a_taginfo* f = section->ti_child;  // newest child first
        a_taginfo* e = f->ti_sibling;
        a_measpair pair{};
        pair.mmp_tag = e;
        for (const char* attr : {"dn", "x", static_cast<const char*>(nullptr)}) {
            pair.mmp_attr = const_cast<char*>(attr);
            kinds.push_back(parse_get_globtype(&pair));
        }
        pair.mmp_tag = f;
        pair.mmp_attr = nullptr;
        kinds.push_back(parse_get_globtype(&pair));
    });
    EXPECT_THAT(kinds, ElementsAre(xcfg_distnameelemnames, 0, xcfg_distnameelemnames, 0));
}

TEST_F(HeaderIndex, EmptyNameDelimiterFailsStartUp) {
    temp_file file("<r/>");
    clear_main_area();
    ASSERT_TRUE(regex_init() && set_item(xcfg_xmlfilename, {file.path()}) && set_item(xcfg_xmlnameattrdelimiter, {""}) &&
                glob_init() && thr_init() && xml_init() && io_init());
    EXPECT_FALSE(parse_init());
    EXPECT_THAT(main_message(), HasSubstr("ERROR: condition error [delim == EOS"));
    EXPECT_TRUE(parse_deinit() && xml_deinit() && io_deinit() && thr_deinit() && glob_deinit() && regex_deinit());
    clear_main_area();
}

}  // namespace
