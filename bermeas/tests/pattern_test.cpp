// Configured expressions: their conversion for the matcher and what the shortcuts make of
// them (expected/patterns.txt), both shortcuts held against the library's matcher on
// generated patterns, and object-map groups.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "fastmatch.h"
#include "objmap.h"
#include "table.h"
#include "util.h"

namespace {

// The conditions as the table writes them: "a, b or c" is {{"a"}, {"b", "c"}}.
std::string written(const std::vector<literal_condition>& conditions) {
    std::string out;
    for (const literal_condition& alternatives : conditions) {
        out += out.empty() ? "" : ", ";
        for (std::size_t i = 0; i < alternatives.size(); ++i) out += (i ? " or " : "") + alternatives[i];
    }
    return out.empty() ? "-" : out;
}

TEST(Patterns, ConversionRequiredLiteralsAndSimpleOnes) {
    const auto cases = test_table::read("patterns.txt");
    EXPECT_GE(cases.size(), 58u);
    for (const test_table::row& c : cases) {
        if (c[0] == "convert") {
            EXPECT_EQ(convert_regex_pattern(c[1], c.size() > 3 ? std::stoul(c[3]) : pattern_buffer_size), c[2]) << c[1];
        } else if (c[0] == "literals") {
            EXPECT_EQ(written(pattern_required_literals(c[1])), c[2]) << c[1];
        } else {
            EXPECT_EQ(simple_pattern::make(c[1]) ? "yes" : "no", c[2]) << c[1];
        }
    }
    EXPECT_EQ(convert_regex_pattern(std::string("a\\d\0\\d", 5)), "a[0-9]") << "up to a NUL";
    EXPECT_EQ(convert_regex_pattern("'"), "");
    EXPECT_EQ(convert_regex_pattern("abc", 0), "");
    EXPECT_EQ(written(pattern_required_literals("")), "-");
    EXPECT_FALSE(simple_pattern::make(""));
}

// Patterns made of `parts` and texts over `alphabet`: the shortcuts must answer exactly as
// the library's matcher alone, groups included. Returns how many patterns were simple.
template <std::size_t N>
int compare_with_library(const std::array<const char*, N>& parts, std::string_view alphabet, unsigned seed,
                         int patterns, int max_parts, int max_text) {
    std::mt19937 rng(seed);
    int simple = 0;
    for (int n = 0; n < patterns; ++n) {
        std::string pattern;
        for (int i = 1 + static_cast<int>(rng() % max_parts); i > 0; --i) pattern += parts[rng() % parts.size()];
        posix_pattern fast;
        regex_t plain;
        if (regcomp(&plain, pattern.c_str(), REG_EXTENDED) != 0) {
            EXPECT_FALSE(fast.compile(pattern)) << pattern;
            continue;
        }
        EXPECT_TRUE(fast.compile(pattern)) << pattern;
        simple += simple_pattern::make(pattern) != nullptr;
        for (int t = 0; t < 30; ++t) {
            std::string text;
            for (int i = static_cast<int>(rng() % max_text); i > 0; --i) text += alphabet[rng() % alphabet.size()];
            std::array<regmatch_t, 5> want{}, got{};
            const bool expected = regexec(&plain, text.c_str(), want.size(), want.data(), 0) == 0;
            EXPECT_EQ(fast.search(text.c_str(), got), expected) << "pattern " << pattern << ", text '" << text << "'";
            for (std::size_t g = 0; expected && g < want.size(); ++g) {
                EXPECT_EQ(got[g].rm_so, want[g].rm_so) << "group " << g << " of " << pattern << " in '" << text << "'";
                EXPECT_EQ(got[g].rm_eo, want[g].rm_eo) << "group " << g << " of " << pattern << " in '" << text << "'";
            }
        }
        regfree(&plain);
        if (testing::Test::HasFailure()) break;
    }
    return simple;
}

TEST(PosixPattern, LiteralCheckNeverChangesAnAnswer) {
    static constexpr std::array<const char*, 24> tokens = {
        "a", "b", "c", "=", "-", ".", "\\.", "[ab]", "[^a]", "(", ")", "|", "*", "+", "?", "{1,2}",
        "^", "$", "\\w", "(a|b)", "(cs|ps)", "ab", "\\(", "[[:digit:]]"};
    compare_with_library(tokens, "abc=.-sp1(", 20261205, 3000, 7, 9);
}

TEST(PosixPattern, SimplePatternsMatchLikeTheLibrary) {
    static constexpr std::array<const char*, 16> parts = {
        "a", "b", "=", "-", "\\.", "[0-9]+", "[a-c]+", "[^=]+", "x+", "[0-9]", "(", ")", "c", "1", "[[:digit:]]+", "[b-]"};
    EXPECT_GT(compare_with_library(parts, "abc=.-x1290 ", 4242, 4000, 6, 12), 500)
        << "the generator must produce simple patterns";
}

TEST(SimplePattern, LeavesOtherThanPrintableTextToTheMatcher) {
    const auto cell = simple_pattern::make("cell=([0-9]+)");
    ASSERT_TRUE(cell);
    std::array<regmatch_t, 2> groups{};
    bool decided = false;
    EXPECT_TRUE(cell->search("~ cell=42", groups, decided));
    EXPECT_TRUE(decided);
    EXPECT_EQ(groups[1].rm_so, 7);
    EXPECT_EQ(groups[1].rm_eo, 9);
    EXPECT_TRUE(cell->search(std::string_view("cell=4299", 7), groups, decided));  // digits past the view
    EXPECT_EQ(groups[1].rm_eo, 7);                                                  // are not its own
    for (const char* text : {"cell=\xc3\xa9", "cell=\t4"}) {
        EXPECT_FALSE(cell->search(text, groups, decided));
        EXPECT_FALSE(decided) << "left to the matcher: " << text;
    }
}

TEST(ObjectMap, GroupsEndAtTheFirstThatDidNotTakePartAndOverlongOnesAreEmpty) {
    config conf;
    object_map map{&conf, {}};
    object_map_add_pattern(map, "Pair", "a=([0-9]+)(,b=([0-9]+))?(x)?", {"A", "B_PART", "B", "X", "Y"}, true);
    object_map_add_pattern(map, "Long", "id=(.*)", {"ID"}, true);
    const struct {
        std::string text;
        char_list columns, values;
    } cases[] = {
        {"a=1", {"A"}, {"1"}},
        {"a=1,b=2", {"A", "B_PART", "B"}, {"1", ",b=2", "2"}},
        {"id=" + std::string(1022, 'x'), {"ID"}, {std::string(1022, 'x')}},
        {"id=" + std::string(1023, 'x'), {"ID"}, {""}},
    };
    for (const auto& c : cases) {
        std::string_view class_name;
        char_list columns, values;
        object_map_translate(&map, class_name, c.text, columns, values);
        EXPECT_EQ(columns, c.columns) << c.text.substr(0, 10);
        EXPECT_EQ(values, c.values) << c.text.substr(0, 10);
    }
}

}  // namespace
