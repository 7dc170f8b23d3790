// The tokenizer and its block reader through whole runs: the element tree (names, texts,
// attributes, depths, order, lines) of small documents and of every sample at block sizes
// down to one byte, which sections are handed over, the syntax errors and their messages,
// the tag-type registry, nesting of any depth, input from a pipe, files that cannot be
// read, and allocation failures at every step.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "test_env.h"

namespace {

constexpr std::uint32_t tiny_sizes[] = {1, 2, 3, 7, 64};

class Tokenizer : public PipelineTest {
protected:
    // Runs the tokenizer over content with no worker (sections converted on this thread),
    // the recorder keeping every section's tree unless release is asked for.
    bool parse(const std::string& content, std::uint32_t blocksize = 0, bool release = false, item_list items = {}) {
        finish();
        recorder::get().reset();
        recorder::get().release = release;
        items.push_back({xcfg_threadnum, {"0"}});
        return run(content, items, blocksize);
    }
    std::string tree() { return dump_tree(xml_get_root()); }
    std::vector<std::string> handed() {
        std::vector<std::string> names;
        for (const auto& s : recorder::get().by_seq()) names.push_back(s.name + "#" + std::to_string(s.seq));
        return names;
    }
};

// Every live block's count equals the tokens of the tree that hold it.
void expect_block_counts(const a_taginfo* root) {
    std::map<const a_blockinfo*, int> holds;
    auto count = [&holds](const a_strmark& m) {
        if (m.blk != nullptr) ++holds[m.blk];
    };
    std::vector<const a_taginfo*> stack{root};
    while (!stack.empty()) {
        const a_taginfo* t = stack.back();
        stack.pop_back();
        count(t->ti_name);
        count(t->ti_text);
        for (const a_attrinfo* a = t->ti_attrs; a != nullptr; a = a->ai_next) {
            count(a->ai_name);
            count(a->ai_value);
        }
        for (const a_taginfo* c = t->ti_child; c != nullptr; c = c->ti_sibling) stack.push_back(c);
    }
    for (const auto& [block, n] : holds) EXPECT_EQ(block->bi_refs, n);
    EXPECT_EQ(io_count_blockinfo(), holds.size());
}

struct tree_case {
    const char* name;
    bool standard;  // texts read as XML means them
    std::string content;
    std::string tree;
    std::vector<std::string> handed;
};

TEST_F(Tokenizer, SmallDocumentsAtEveryBlockSize) {
    const std::vector<tree_case> cases = {
        {"text of parent and child", false, "<a><b>x</b>y</a>", "0 #0 @1 <a> text=[y]\n1 #1 @1 <b> text=[x]\n", {"b#1"}},
        {"declaration and comment", false, "<?xml version='1.0'?><!-- c --><a/>", "0 #0 @1 <a>\n", {}},
        {"outer blanks go, inner stay", false, "<a>  two  words \n</a>", "0 #0 @1 <a> text=[two  words]\n", {}},
        {"tilde", false, "<a>x~y</a>", "0 #0 @1 <a> text=[x_y]\n", {}},
        {"trailing tilde is no content", false, "<a>x ~</a><b>~</b>", "0 #0 @1 <a> text=[x]\n1 #1 @1 <b>\n", {"b#1"}},
        {"NUL in a text", false, std::string("<a>x\0y</a>", 10), "0 #0 @1 <a> text=[x y]\n", {}},
        {"attributes newest first", false, "<a x=1 y='2 3'></a>", "0 #0 @1 <a> y=[2 3] x=[1]\n", {}},
        {"attribute without value, value without attribute", false, "<a =0 x y=\"2\"/>", "0 #0 @1 <a> y=[2] x=[(none)]\n",
         {}},
        {"quotes keep what they hold", false, "<a v=\"x>y\n'z'\" w='\"q\"'/>",
         "0 #0 @1 <a> w=[\"q\"] v=[x>y\n'z']\n", {}},
        {"quoted element name", false, "<\"q n\" k=v></\"q n\">", "0 #0 @1 <q n> k=[v]\n", {}},
        {"blanks inside tags", false, "< a \n x = '1' / >", "0 #0 @1 <a> x=[1]\n", {}},
        {"line feeds counted outside declarations", false, "<a>\n <b\n  c='1'\n >t</b>\n<!-- x\n y -->\n<c/></a>",
         "0 #0 @1 <a>\n1 #1 @2 <b> c=[1] text=[t]\n1 #2 @6 <c>\n", {"b#1", "c#2"}},
        {"text before the root dropped, later piece wins", false, "junk<a>one<b/>two</a> cut off",
         "0 #0 @1 <a> text=[two]\n1 #1 @1 <b>\n", {"b#1"}},
        {"comment holding >", false, "<a><!-- a > b -->t<!---->u</a>", "0 #0 @1 <a> text=[tu]\n", {}},
        {"comments and instructions inside a text join it", false, "<a><b>4<!-- x -->12<?p?>5</b><c> 1 <!---->\n2 </c></a>",
         "0 #0 @1 <a>\n1 #1 @1 <b> text=[4125]\n1 #2 @1 <c> text=[1 2]\n", {"b#1", "c#2"}},
        {"a blank piece adds nothing", false, "<a>4<!---->  <!---->5 <!----> </a>", "0 #0 @1 <a> text=[4 5]\n", {}},
        {"entities stay as written", false, "<a>&amp; &lt;</a>", "0 #0 @1 <a> text=[&amp; &lt;]\n", {}},
        {"CDATA is skipped", false, "<a><![CDATA[890]]></a>", "0 #0 @1 <a>\n", {}},
        {"prefixes stay", false, "<m:a xmlns:m='u'/>", "0 #0 @1 <m:a> xmlns:m=[u]\n", {}},
        {"vertical tab is no blank", false, "<a>\v x</a>", "0 #0 @1 <a> text=[\v x]\n", {}},
        {"second top element becomes a section", false, "<a/><b/>", "0 #0 @1 <a>\n1 #1 @1 <b>\n", {"b#1"}},
        {"end tag without name closes", false, "<a><b></></a>", "0 #0 @1 <a>\n1 #1 @1 <b>\n", {"b#1"}},
        {"deeper elements stay with their section", false, "<r><s><t><u>1</u></t></s><v/></r>",
         "0 #0 @1 <r>\n1 #1 @1 <s>\n2 #2 @1 <t>\n3 #3 @1 <u> text=[1]\n1 #4 @1 <v>\n", {"s#1", "v#4"}},
        {"predefined entities", true, "<a>Gbg&amp;997 &lt;&gt;&quot;&apos;</a>", "0 #0 @1 <a> text=[Gbg&997 <>\"']\n", {}},
        {"character references", true, "<a>&#65;&#x42;&#xe9;&#8364;&#x1F600;&#126;</a>",
         "0 #0 @1 <a> text=[AB\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80_]\n", {}},
        {"references to nothing stay", true, "<a>&foo; &#0; &#xD800; &#x110000; &amp &#; &#x;</a>",
         "0 #0 @1 <a> text=[&foo; &#0; &#xD800; &#x110000; &amp &#; &#x;]\n", {}},
        {"attribute values", true, "<a x='&lt;1&gt;' y=a&amp;b/>", "0 #0 @1 <a> y=[a&b] x=[<1>]\n", {}},
        {"CDATA is text", true, "<a><b><![CDATA[890]]></b></a>", "0 #0 @1 <a>\n1 #1 @1 <b> text=[890]\n", {"b#1"}},
        {"CDATA keeps markup and references", true, "<a>1<![CDATA[<b>&amp;]]]>2</a>", "0 #0 @1 <a> text=[1<b>&amp;]2]\n", {}},
        {"CDATA of blanks or nothing", true, "<a>x<![CDATA[]]>y<![CDATA[ ]]>z<![CDATA[ \n]]]]></a>",
         "0 #0 @1 <a> text=[xy z ]]]\n", {}},
        {"line feeds inside CDATA counted", true, "<a><![CDATA[x\ny]]><b/></a>", "0 #0 @1 <a> text=[x\ny]\n1 #1 @2 <b>\n",
         {"b#1"}},
        {"other declarations still skipped", true, "<!DOCTYPE a><a><![IGNORE[x]><!-- c -->t</a>", "0 #0 @1 <a> text=[t]\n", {}},
        {"namespace prefixes dropped", true, "<mc:a xmlns:mc='u' xmlns='v' mc:k='1' j='2'><mc:b/><c:d></c:d></mc:a>",
         "0 #0 @1 <a> j=[2] k=[1]\n1 #1 @1 <b>\n1 #2 @1 <d>\n", {"b#1", "d#2"}},
    };
    for (const tree_case& c : cases) {
        for (std::uint32_t size : {0u, 1u, 2u, 3u, 7u}) {
            SCOPED_TRACE(std::string(c.name) + ", block size " + std::to_string(size));
            EXPECT_TRUE(parse(c.content, size, false, {{xcfg_xmlstandardtext, {c.standard ? "1" : "0"}}})) << main_text();
            EXPECT_EQ(tree(), c.tree);
            EXPECT_EQ(handed(), c.handed);
            expect_block_counts(xml_get_root());
        }
    }
}

TEST_F(Tokenizer, HandedSectionsAreCompleteWithTheirTypes) {
    ASSERT_TRUE(parse("<r><s a='1'><t>x</t></s><s><u/></s></r>"));
    const auto sections = recorder::get().by_seq();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].dump, "1 #1 @1 <s> a=[1]\n2 #2 @1 <t> text=[x]\n");
    EXPECT_EQ(sections[1].dump, "1 #3 @1 <s>\n2 #4 @1 <u>\n");
    // Every closed element has its registry node; one node per name.
    const a_taginfo* root = xml_get_root();
    ASSERT_NE(root, nullptr);
    const a_taginfo* second = root->ti_child;
    EXPECT_EQ(second->ti_sibling->ti_type, second->ti_type);
    EXPECT_EQ(second->ti_type, xml_getstrtype("s"));
    EXPECT_EQ(second->ti_child->ti_type, xml_getstrtype("u"));
    EXPECT_EQ(root->ti_type, xml_getstrtype("r"));
    EXPECT_EQ(xml_getstrtype("nothing"), nullptr);
    EXPECT_EQ(main_code(), 0u) << main_text();
    // Read as XML means them, types are registered under the local names.
    ASSERT_TRUE(parse("<x:r><x:s/></x:r>", 0, false, {{xcfg_xmlstandardtext, {"1"}}}));
    EXPECT_NE(xml_getstrtype("s"), nullptr);
    EXPECT_EQ(xml_getstrtype("x:s"), nullptr);
}

struct error_case {
    const char* name;
    std::string content;
    std::string message;
};

TEST_F(Tokenizer, SyntaxErrorsAndTheirMessages) {
    const std::string utf16_message = "ERROR: xml - invalid data file [UTF-16 encoded, not UTF-8] [xml_parse - xml.cpp:N] ";
    const std::vector<error_case> cases = {
        {"end tag of another element", "<a><b></c></a>",
         "ERROR: xml - closing tag does not match [tag - b:1] [tag - c:1] [xml_match_tag - xml.cpp:N] "},
        {"first element failing: not a measurement file", "<a></b>",
         "ERROR: xml - invalid data file [xml_parse - xml.cpp:N] "},
        {"first element failing on an equal sign", "<a x=1=2>", "ERROR: xml - invalid data file [xml_parse - xml.cpp:N] "},
        {"equal sign in a value", "<r><a x=1=2></a></r>",
         "ERROR: xml - unexpected equal sign [tag counter - 0:2] [xml_attr_val - xml.cpp:N] "},
        {"equal sign in a name", "<r>\n<a=1></a></r>",
         "ERROR: xml - unexpected equal sign [tag counter - 1:2] [xml_tag_name - xml.cpp:N] "},
        {"end of tag in a text", "<r><a>1 > 0</a></r>",
         "ERROR: xml - unexpected end tag [tag counter - 0:2] [xml_text - xml.cpp:N] "},
        {"tag in a tag", "<r><a <b/></a></r>", "ERROR: xml - unexpected end tag [tag counter - 0:2] [xml_tag - xml.cpp:N] "},
        {"content after an end tag's name", "<r><a></a b></r>",
         "ERROR: xml - unexpected end tag [tag counter - 0:2] [xml_tag - xml.cpp:N] "},
        {"end tag with nothing open", "</a>", "ERROR: xml - invalid data file [xml_parse - xml.cpp:N] "},
        {"empty file", "", "ERROR: xml - invalid data file [tag counter - 0:0] [xml_parse - xml.cpp:N] "},
        {"no element at all", "  just text\n", "ERROR: xml - invalid data file [tag counter - 1:0] [xml_parse - xml.cpp:N] "},
        {"cut off in a section", "<a><b>x</b><c>y",
         "ERROR: xml - invalid data file [tag counter - 0:3] [tag - c:1] [xml_parse - xml.cpp:N] "},
        {"cut off in a tag", "<a>\n<b k='v", "ERROR: xml - invalid data file [tag counter - 1:2] [tag - b:2] [xml_parse - xml.cpp:N] "},
        {"root never closed", "<a><b/>", "ERROR: xml - invalid data file [tag counter - 0:2] [tag - a:1] [xml_parse - xml.cpp:N] "},
        {"UTF-16, little end first", std::string("\xFF\xFE<\0a\0/\0>\0", 10), utf16_message},
        {"UTF-16, big end first", std::string("\xFE\xFF\0<\0a\0/\0>", 10), utf16_message},
        {"UTF-16 without byte-order mark", std::string("\0<\0a\0/\0>", 8), utf16_message},
    };
    for (const error_case& c : cases) {
        for (std::uint32_t size : {0u, 1u, 3u}) {
            SCOPED_TRACE(std::string(c.name) + ", block size " + std::to_string(size));
            for (const char* standard : {"0", "1"}) {
                EXPECT_FALSE(parse(c.content, size, false, {{xcfg_xmlstandardtext, {standard}}}));
                EXPECT_EQ(without_lines(main_text()), c.message);
            }
        }
    }
    EXPECT_FALSE(parse("<a><b>x</b><c>y"));  // a cut-off file keeps what was handed over
    EXPECT_EQ(handed(), (std::vector<std::string>{"b#1"}));
}


TEST_F(Tokenizer, EverySampleGivesTheSameTreeAtEveryBlockSize) {
    const auto samples = xml_samples();
    ASSERT_GE(samples.size(), 20u);
    for (const std::string& sample : samples) {
        SCOPED_TRACE(sample);
        const std::string content = read_file(sample);
        ASSERT_TRUE(parse(content)) << main_text();
        const std::string natural = tree();
        const auto natural_handed = handed();
        EXPECT_GE(natural_handed.size(), 1u);
        for (std::uint32_t size : tiny_sizes) {
            SCOPED_TRACE("block size " + std::to_string(size));
            ASSERT_TRUE(parse(content, size)) << main_text();
            EXPECT_EQ(tree(), natural);
            EXPECT_EQ(handed(), natural_handed);
            expect_block_counts(xml_get_root());
        }
    }
}

TEST_F(Tokenizer, SectionsReleasedAsTheyArrive) {
    // Released at hand-over, a section's blocks go at once: what stays is what the root
    // and the reader need.
    std::string content = "<r>";
    for (int i = 0; i < 200; ++i) content += "<s n='" + std::to_string(i) + "'><v>" + std::to_string(i * 7) + "</v></s>\n";
    content += "</r>";
    ASSERT_TRUE(parse(content, 16, true)) << main_text();
    EXPECT_EQ(recorder::get().sections.size(), 200u);
    EXPECT_EQ(io_count_blockinfo(), 1u);  // the root's name
    expect_block_counts(xml_get_root());
}

TEST_F(Tokenizer, NestingOfAnyDepth) {
    constexpr int depth = 1000000;
    std::string content = "<r><s>";
    content.reserve(static_cast<std::size_t>(depth) * 7 + 20);
    for (int i = 0; i < depth; ++i) content += "<a>";
    for (int i = 0; i < depth; ++i) content += "</a>";
    content += "</s><s>";
    for (int i = 0; i < depth; ++i) content += "<a>";  // cut off: the tree is released at the end
    thr_set_converter(nullptr);                        // the default releases each section
    EXPECT_FALSE(parse(content));
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_XML_INVALID));
    EXPECT_EQ(tag_counter.xtc_tags, 2u * depth + 3u);
}

TEST_F(Tokenizer, ReaderOfPipesAndItsFailures) {
    // A pipe hands over what its writer has written so far: blocks fill over several
    // reads, and a short read is no end of the file.
    const fs::path fifo = fs::temp_directory_path() / ("measdoc-fifo-" + std::to_string(getpid()));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string content = "<r>";
    for (int i = 0; i < 300; ++i) content += "<v>" + std::to_string(i) + "</v>";
    content += "</r>";
    ASSERT_TRUE(parse(content, 64));
    const std::string whole = tree();
    std::thread writer([&] {
        std::FILE* out = std::fopen(fifo.c_str(), "wb");
        for (std::size_t at = 0; out != nullptr && at < content.size(); at += 5) {
            std::fwrite(content.data() + at, 1, std::min<std::size_t>(5, content.size() - at), out);
            std::fflush(out);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (out != nullptr) std::fclose(out);
    });
    EXPECT_TRUE(start_file(fifo.string(), {{xcfg_threadnum, {"0"}}}, 64) && thr_run_xml()) << main_text();
    writer.join();
    EXPECT_EQ(tree(), whole);
    fs::remove(fifo);

    // A file that is not there; a directory, which opens but cannot be read.
    EXPECT_FALSE(start_file("/nonexistent/measdoc/input.xml"));
    EXPECT_EQ(without_lines(main_text()), "ERROR: system error [error desc - No such file or directory] [open - io.cpp:N] ");
    EXPECT_FALSE(start_file(fs::temp_directory_path().string()));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Is a directory] [read - io.cpp:N] [io_read_blockinfo - io.cpp:N] ");
}

TEST_F(Tokenizer, AllocationFailureAtEveryStep) {
    const std::string content = "<?xml version='1.0'?>\n<r><s k='v1' l=\"v2\">text one</s>\n<s><t>two</t></s></r>";
    bool completed = false;
    for (unsigned fault = 1; !completed && fault < 400; ++fault) {
        SCOPED_TRACE("allocation " + std::to_string(fault));
        finish();
        recorder::get().reset();
        mem_set_sysfault(fault);
        const bool ok = start(content, {{xcfg_threadnum, {"0"}}}, 3) && thr_run_xml();
        // A failure anywhere is recorded and fails the run; the first countdown that runs
        // out no more is a run that never met its fault.
        completed = ok;
        if (!ok) {
            EXPECT_NE(main_code(), 0u);
        }
        mem_set_sysfault(0);
    }
    EXPECT_TRUE(completed);
}

}  // namespace
