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

#include "table.h"
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

// The cases are in expected/trees.txt.
TEST_F(Tokenizer, SmallDocumentsAtEveryBlockSize) {
    const std::vector<test_table::row> cases = test_table::read("trees.txt");
    EXPECT_EQ(cases.size(), 34U);
    for (const test_table::row& c : cases) {
        std::vector<std::string> handed_over;
        std::istringstream names(c[2]);
        for (std::string name; names >> name;) handed_over.push_back(name);
        for (std::uint32_t size : {0u, 1u, 2u, 3u, 7u}) {
            SCOPED_TRACE(c[0] + ", block size " + std::to_string(size));
            EXPECT_TRUE(parse(test_table::unescaped(c[3]), size, false, {{xcfg_xmlstandardtext, {c[1]}}})) << main_text();
            EXPECT_EQ(tree(), test_table::unescaped(c[4]));
            EXPECT_EQ(handed(), handed_over);
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

// The cases are in expected/syntax_errors.txt.
TEST_F(Tokenizer, SyntaxErrorsAndTheirMessages) {
    const std::vector<test_table::row> cases = test_table::read("syntax_errors.txt");
    EXPECT_EQ(cases.size(), 17U);
    for (const test_table::row& c : cases) {
        for (std::uint32_t size : {0u, 1u, 3u}) {
            SCOPED_TRACE(c[0] + ", block size " + std::to_string(size));
            for (const char* standard : {"0", "1"}) {
                EXPECT_FALSE(parse(test_table::unescaped(c[1]), size, false, {{xcfg_xmlstandardtext, {standard}}}));
                EXPECT_EQ(without_lines(main_text()), test_table::unescaped(c[2]));
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
