// The pattern wrapper: groups and counts, combined patterns of a list, templates with
// references and escapes, replacement bounds, the recorded failures, and lookups on one
// shared list from several threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "md_memory.h"
#include "md_regex.h"
#include "table.h"
#include "test_env.h"

namespace {

// A list of compiled patterns, newest first, released at the end of a test.
struct pattern_list {
    a_pregex* newest = nullptr;
    a_pregex* meta = nullptr;
    std::vector<std::string> texts;  // the records keep pointers into these
    explicit pattern_list(std::vector<std::string> patterns, std::vector<std::string> templates = {})
        : texts(std::move(patterns)) {
        templates.resize(texts.size());
        templ = std::move(templates);
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_TRUE(regex_compile_pregex(&newest, texts[i].c_str(), templ[i].empty() ? nullptr : templ[i].c_str()));
    }
    ~pattern_list() {
        regex_destroy_pregex(meta);
        while (newest != nullptr) {
            a_pregex* older = newest->grx_older;
            regex_destroy_pregex(newest);
            newest = older;
        }
    }
    std::vector<std::string> templ;
};

class Regex : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        ASSERT_TRUE(regex_init());
    }
    void TearDown() override {
        EXPECT_TRUE(regex_deinit());
        RuntimeTest::TearDown();
    }
};

std::string substring(const a_pregex* regex, int item) {
    char buffer[64];
    const char* end = regex_get_pregexstr(regex, buffer, sizeof buffer, item);
    return end != nullptr ? std::string(static_cast<const char*>(buffer), end) : "<null>";
}

std::string replaced(a_pregex* regex, const char* subject, int length = 64) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '#');
    const char* out = regex_replace_pregex(regex, subject, buffer.data(), length);
    return out != nullptr ? std::string(out) : "<null>";
}

TEST_F(Regex, GroupsAndCounts) {
    pattern_list p({"a(b)c"}, {"[$1]"});
    a_pregex* regex = p.newest;
    EXPECT_EQ(regex->grx_size, 6);
    int vector[6];
    ASSERT_TRUE(regex_exec_pregex(regex, vector, "xabcy"));
    EXPECT_EQ(regex->grx_count, 2);
    EXPECT_EQ(substring(regex, 1), "b");
    EXPECT_EQ(substring(regex, 0), "abc");
    EXPECT_EQ(regex_get_pregexlen(regex, 0), 3);
    EXPECT_EQ(replaced(regex, "xabcy"), "x[b]cy");  // the tail starts after the last counted group

    pattern_list q({"(x)?y"});
    int v2[6];
    ASSERT_TRUE(regex_exec_pregex(q.newest, v2, "y"));
    EXPECT_EQ(q.newest->grx_count, 1);  // group 1 unset
    EXPECT_EQ(substring(q.newest, 1), "<null>");
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - substring index out of range [1] [1] [item >= regex->grx_count - regex.cpp:N] ");
    reset_registry();

    // The vector has room for every unescaped parenthesis.
    const std::pair<const char*, int> sizes[] = {{"abc", 3}, {"a(b)c", 6}, {"(?:x)[(]", 9}, {"\\(x\\)", 3}, {"\\\\(x)", 6}};
    for (const auto& [pattern, size] : sizes) EXPECT_EQ(regex_count_subexpression(pattern), size) << pattern;
}

TEST_F(Regex, CombinedPatternTellsWhichMatched) {
    pattern_list p({"foo", "bar"});
    p.meta = regex_meta_pregex(p.newest);
    ASSERT_NE(p.meta, nullptr);
    EXPECT_STREQ(p.meta->grx_pattern, "(bar)|(foo)");
    EXPECT_EQ(p.newest->grx_newer, p.meta);
    EXPECT_EQ(p.meta->grx_older, p.newest);
    EXPECT_EQ(regex_find_pregex(p.newest, "bar"), 0);
    EXPECT_EQ(regex_find_pregex(p.newest, "xfoo"), 1);
    EXPECT_EQ(regex_find_pregex(p.newest->grx_older, "foo"), 1);  // from any entry of the list
    EXPECT_EQ(main_code(), 0u);
    EXPECT_EQ(regex_find_pregex(p.newest, "baz"), -1);
    EXPECT_TRUE(error_check_message(ERR_REGEX_NOMATCH));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - execution returns no match [regex_exec_pregex - regex.cpp:N] "
              "[regex_exec_pregex - regex.cpp:N] ");
    reset_registry();

    EXPECT_EQ(regex_meta_pregex(p.newest), nullptr);  // already has one
    EXPECT_EQ(main_code(), 16u);
    reset_registry();

    pattern_list single({"Counter"});  // no combined pattern: its own match decides
    EXPECT_EQ(regex_find_pregex(single.newest, "pmCounter"), 0);
    EXPECT_EQ(regex_find_pregex(single.newest, "pmOther"), -1);
    EXPECT_TRUE(error_check_message(ERR_REGEX_NOMATCH));
    reset_registry();
}

TEST_F(Regex, CombinedPatternDropsOwnGroupsOutsideClasses) {
    pattern_list p({"^pm(.*)$", "a[(]\\(b(c|d)"});
    p.meta = regex_meta_pregex(p.newest);
    ASSERT_NE(p.meta, nullptr);
    EXPECT_STREQ(p.meta->grx_pattern, "(a[(]\\(bc|d)|(^pm.*$)");
    EXPECT_EQ(regex_find_pregex(p.newest, "pmX"), 1);
    EXPECT_EQ(regex_find_pregex(p.newest, "a((bc"), 0);

    pattern_list empty_match({"x*", "q"});
    empty_match.meta = regex_meta_pregex(empty_match.newest);
    ASSERT_NE(empty_match.meta, nullptr);
    EXPECT_EQ(regex_find_pregex(empty_match.newest, "abc"), 1);  // "x*" matched, but only empty text

    pattern_list bad({"()+x", "c"});  // without its parentheses the quantifier repeats nothing
    EXPECT_EQ(regex_meta_pregex(bad.newest), nullptr);
    EXPECT_EQ(main_code(), 14u);
    EXPECT_NE(main_text().find("[regex_compile_pregex - regex.cpp:"), std::string::npos);
    reset_registry();
}

TEST_F(Regex, TemplateReferencesAndEscapes) {
    pattern_list p({"^(pm)(\\w+)$"}, {"$2\\x41\\t$1"});
    int vector[9];
    ASSERT_TRUE(regex_exec_pregex(p.newest, vector, "pmSetup"));
    char out[64];
    auto expand = [&](const char* templ) {
        char* end = regex_replace_str(p.newest, templ, out, out + sizeof out);
        return std::string(out, end);
    };
    const std::vector<test_table::row> cases = test_table::read("templates.txt");
    EXPECT_EQ(cases.size(), 9U);
    for (const test_table::row& c : cases) EXPECT_EQ(expand(c[0].c_str()), test_table::unescaped(c[1])) << c[0];
    EXPECT_EQ(main_code(), 0u);
    EXPECT_EQ(expand("<$3>"), "<>");  // beyond the pattern's groups
    EXPECT_EQ(main_code(), 19u);
    reset_registry();
    EXPECT_EQ(expand("$01"), "pm");

    char small[4];
    char* end = regex_replace_str(p.newest, "$2", small, small + sizeof small);
    EXPECT_EQ(end, small + 3);
    EXPECT_STREQ(small, "Set");
    char none = 'x';  // no room at all: not even a terminator is written
    EXPECT_EQ(regex_replace_str(p.newest, "$2", &none, &none), &none);
    EXPECT_EQ(none, 'x');
}

TEST_F(Regex, ReplacementMustFitWhole) {
    pattern_list p({"Cell(\\d+)"}, {"C$1"});
    EXPECT_EQ(replaced(p.newest, "pmCell12x"), "pmC12x");
    EXPECT_EQ(replaced(p.newest, "pmCell12x", 7), "pmC12x");  // exactly fits with its terminator
    EXPECT_EQ(replaced(p.newest, "pmCell12x", 6), "<null>");  // the tail does not fit
    EXPECT_EQ(main_code(), 20u);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - substring buffer overflow [6] [regex_replace_pregex - regex.cpp:N] ");
    reset_registry();
    pattern_list longer({"(b)"}, {"$1$1$1$1$1$1"});
    for (auto [subject, length] : {std::pair{"pmCell12x", 2}, {"ab", 6}}) {  // before the match; a cut expansion
        EXPECT_EQ(replaced(subject[0] == 'p' ? p.newest : longer.newest, subject, length), "<null>");
        EXPECT_EQ(main_code(), 20u);
        reset_registry();
    }
    EXPECT_EQ(replaced(longer.newest, "ab", 8), "abbbbbb");

    EXPECT_EQ(replaced(p.newest, "nothing"), "<null>");
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - execution returns no match [regex_exec_pregex - regex.cpp:N] "
              "[regex_exec_pregex - regex.cpp:N] ");
    reset_registry();

    pattern_list plain({"x"});  // no template: the match is removed
    EXPECT_EQ(replaced(plain.newest, "axb"), "ab");
}

TEST_F(Regex, CompileFailuresLeaveTheListUnchanged) {
    a_pregex* list = nullptr;
    ASSERT_TRUE(regex_compile_pregex(&list, "ok", nullptr));
    a_pregex* head = list;
    EXPECT_FALSE(regex_compile_pregex(&list, "ab(c", nullptr));
    EXPECT_EQ(list, head);
    EXPECT_EQ(head->grx_newer, nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - pattern compilation failed [ab(c] [offset - 4] "
              "[message - missing closing parenthesis] [pcre2_compile - regex.cpp:N] ");
    reset_registry();

    EXPECT_FALSE(regex_compile_pregex(&list, nullptr, nullptr));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: pregex - pattern string not found [regex_compile_pregex - regex.cpp:N] ");
    reset_registry();
    EXPECT_FALSE(regex_compile_pregex(nullptr, "abc", nullptr));
    EXPECT_EQ(without_lines(main_text()), "ERROR: condition error [list == NULL - regex.cpp:N] ");
    reset_registry();

    // The pattern library allocates through the module's heap: an exhausted heap shows.
    mem_set_sysfault(1);
    EXPECT_FALSE(regex_compile_pregex(&list, "abc", nullptr));
    mem_set_sysfault(0);
    EXPECT_EQ(list, head);
    EXPECT_EQ(main_code(), 14u);
    reset_registry();
    regex_destroy_pregex(head);
    regex_destroy_pregex(nullptr);

    int vector[3];
    EXPECT_FALSE(regex_exec_pregex(nullptr, vector, "x"));
    EXPECT_EQ(main_code(), 0u);  // nothing recorded for missing arguments
}

TEST_F(Regex, SharedListServesManyThreads) {
    pattern_list p({"^(\\w+)Fail$", "^(\\w+)Succ$", "^(\\w+)Att$"});
    p.meta = regex_meta_pregex(p.newest);
    ASSERT_NE(p.meta, nullptr);
    const a_pregex shared_copy = *p.newest;
    std::vector<int> wrong(4, 0);
    auto round = [&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                a_pregex mine = shared_copy;  // what the parse side does with a configured pattern
                const char* names[] = {"rrcAtt", "rrcSucc", "rrcFail"};
                int vector[6];
                EXPECT_TRUE(regex_exec_pregex(&mine, vector, names[0]));  // match space for fewer groups first
                for (int i = 0; i < 2000; ++i) {
                    const int which = (i + t) % 3;
                    if (regex_find_pregex(&mine, names[which]) != which) ++wrong[t];
                }
            });
        }
        for (auto& t : threads) t.join();
    };
    round();
    // The match space a thread grew goes with the thread, the outgrown one at once.
    const std::size_t in_use = mem_sysblocks_in_use();
    round();
    EXPECT_EQ(mem_sysblocks_in_use(), in_use);
    for (int w : wrong) EXPECT_EQ(w, 0);
    // Its match space is reused: another match of as many groups takes no heap trip.
    std::thread([&] {
        int vector[12];
        EXPECT_TRUE(regex_exec_pregex(p.meta, vector, "rrcAtt"));
        mem_set_sysfault(1);
        EXPECT_TRUE(regex_exec_pregex(p.meta, vector, "rrcSucc"));
        EXPECT_EQ(mem_set_sysfault(0), 1U);
    }).join();
}

}  // namespace
