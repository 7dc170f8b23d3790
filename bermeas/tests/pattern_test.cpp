// Pattern conversion of configured expressions and the object-instance map built from
// the example configuration.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "example_config.h"
#include "fastmatch.h"
#include "objmap.h"
#include "util.h"

namespace {

TEST(ConvertRegexPattern, RemovesQuotesAndExpandsShorthands) {
    EXPECT_EQ(convert_regex_pattern("'cp=(\\d+)'"), "cp=([0-9]+)");
    EXPECT_EQ(convert_regex_pattern("^(\\w{1}).+$"), "^([A-Za-z0-9_]{1}).+$");
    EXPECT_EQ(convert_regex_pattern("'a"), "a");
    EXPECT_EQ(convert_regex_pattern("a'"), "a");
    EXPECT_EQ(convert_regex_pattern("'"), "");
    EXPECT_EQ(convert_regex_pattern("\\d\\d"), "[0-9][0-9]");
    // Other escapes stay for the matcher, which reads them as the character itself.
    EXPECT_EQ(convert_regex_pattern("\\/x\\.\\-\\,"), "\\/x\\.\\-\\,");
    EXPECT_EQ(convert_regex_pattern(""), "");
    EXPECT_EQ(convert_regex_pattern(std::string("a\\d\0\\d", 5)), "a[0-9]");
}

TEST(ConvertRegexPattern, StopsExpandingWhenTheBufferWouldOverflow) {
    // Capacity 12: 11 characters. "\d\d" becomes "[0-9]\d" (7), then "[0-9][0-9]" (10).
    EXPECT_EQ(convert_regex_pattern("\\d\\d", 12), "[0-9][0-9]");
    EXPECT_EQ(convert_regex_pattern("\\d\\d\\d", 12), "[0-9]\\d\\d");
    // \w grows by ten: it does not fit after the \d expansion.
    EXPECT_EQ(convert_regex_pattern("\\d\\w", 12), "[0-9]\\w");
    EXPECT_EQ(convert_regex_pattern("abcdef", 4), "abc");
    EXPECT_EQ(convert_regex_pattern("abc", 0), "");
}

using conditions = std::vector<literal_condition>;

TEST(RequiredLiterals, OfObjectDescriptions) {
    EXPECT_EQ(pattern_required_literals("cell=([0-9]+)"), (conditions{{"cell="}}));
    EXPECT_EQ(pattern_required_literals("(rnc)"), (conditions{{"rnc"}}));
    EXPECT_EQ(pattern_required_literals("(cs|ps)"), (conditions{{"cs", "ps"}}));
    EXPECT_EQ(pattern_required_literals("stm-1line=([0-9]+)\\.([0-9]+)"), (conditions{{"stm-1line="}, {"."}}));
    EXPECT_EQ(pattern_required_literals("cell=([0-9]+)\\-cell=([0-9]+)"), (conditions{{"cell="}, {"-cell="}}));
}

TEST(RequiredLiterals, OnlyWhatEveryMatchContains) {
    EXPECT_EQ(pattern_required_literals("a?b*c"), (conditions{{"c"}}));
    EXPECT_EQ(pattern_required_literals("ab+c"), (conditions{{"ab"}, {"bc"}}));
    EXPECT_EQ(pattern_required_literals("ab+?c"), (conditions{{"a"}, {"c"}}));
    EXPECT_EQ(pattern_required_literals("a{2}b"), (conditions{{"b"}}));
    EXPECT_EQ(pattern_required_literals("(ab)*x(yz)+"), (conditions{{"x"}, {"yz"}}));
    EXPECT_EQ(pattern_required_literals("x.y[ab]z"), (conditions{{"x"}, {"y"}, {"z"}}));
    EXPECT_EQ(pattern_required_literals("[]x]y[^]q]w[[:digit:]]v"), (conditions{{"y"}, {"w"}, {"v"}}));
    EXPECT_EQ(pattern_required_literals("^ab$"), (conditions{{"ab"}}));
    EXPECT_EQ(pattern_required_literals("a\\wb\\1"), (conditions{{"a"}, {"b"}})) << "GNU escapes are operators";
    EXPECT_EQ(pattern_required_literals("a\\(b\\)"), (conditions{{"a(b)"}}));
    EXPECT_EQ(pattern_required_literals("(long|x)y"), (conditions{{"long", "x"}, {"y"}}));
    EXPECT_EQ(pattern_required_literals("(a|b(c|dd))"), (conditions{{"a", "b"}}));
}

TEST(RequiredLiterals, NothingWhenInDoubt) {
    for (const char* pattern : {"a|", "(|a)", "*a", "a)b", "(a", "a{1", "[ab", "a\\", "", ".*", "\xc3\xa9"}) {
        EXPECT_EQ(pattern_required_literals(pattern), conditions{}) << pattern;
    }
}

// The literal check is only a shortcut: on any pattern and text, search must answer
// exactly as the matcher alone.
TEST(PosixPattern, LiteralCheckNeverChangesAnAnswer) {
    static constexpr std::array<const char*, 24> tokens = {
        "a", "b", "c", "=", "-", ".", "\\.", "[ab]", "[^a]", "(", ")", "|", "*", "+", "?", "{1,2}",
        "^", "$", "\\w", "(a|b)", "(cs|ps)", "ab", "\\(", "[[:digit:]]"};
    static constexpr std::string_view alphabet = "abc=.-sp1(";
    std::mt19937 rng(20261205);
    int compared = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string pattern;
        const int length = 1 + static_cast<int>(rng() % 7);
        for (int i = 0; i < length; ++i) pattern += tokens[rng() % tokens.size()];
        posix_pattern filtered;
        regex_t plain;
        if (regcomp(&plain, pattern.c_str(), REG_EXTENDED) != 0) {
            EXPECT_FALSE(filtered.compile(pattern));
            continue;
        }
        ASSERT_TRUE(filtered.compile(pattern)) << pattern;
        for (int t = 0; t < 40; ++t) {
            std::string text;
            const int size = static_cast<int>(rng() % 9);
            for (int i = 0; i < size; ++i) text += alphabet[rng() % alphabet.size()];
            std::array<regmatch_t, 4> groups{};
            const bool expected = regexec(&plain, text.c_str(), groups.size(), groups.data(), 0) == 0;
            EXPECT_EQ(filtered.search(text.c_str(), groups), expected) << "pattern " << pattern << ", text " << text;
            ++compared;
        }
        regfree(&plain);
    }
    EXPECT_GT(compared, 50000);
}

TEST(SimplePattern, OnlyPatternsWithOneWayToMatch) {
    for (const char* pattern : {"cell=([0-9]+)", "stm-1line=([0-9]+)\\.([0-9]+)", "(rnc)", "cell=([0-9]+)-(Other)",
                                "a[bc]d", "x+y", "([^=]+)=([0-9]+)"}) {
        EXPECT_TRUE(simple_pattern::make(pattern)) << pattern;
    }
    for (const char* pattern : {"([a-z]+)a", "[0-9]+[0-9]", "x+x", "(cs|ps)", "((a))", "(ab)+", "a*", "a?", "a.b",
                                "^a", "a$", "a{2}", "\\w", "()", "(a", "a)", "", "[ab"}) {
        EXPECT_FALSE(simple_pattern::make(pattern)) << pattern;
    }
}

TEST(SimplePattern, LeavesOtherThanPrintableAsciiToTheMatcher) {
    const auto cell = simple_pattern::make("cell=([0-9]+)");
    ASSERT_TRUE(cell);
    std::array<regmatch_t, 2> groups{};
    bool decided = false;
    EXPECT_TRUE(cell->search("x cell=42", groups, decided));
    EXPECT_TRUE(decided);
    EXPECT_EQ(groups[1].rm_so, 7);
    EXPECT_EQ(groups[1].rm_eo, 9);
    EXPECT_FALSE(cell->search("cell=\xc3\xa9", groups, decided));
    EXPECT_FALSE(decided);
    EXPECT_FALSE(cell->search("cell=\t4", groups, decided));
    EXPECT_FALSE(decided);
}

// A simple pattern must find what the library's matcher finds, with the same groups.
TEST(PosixPattern, SimplePatternsMatchLikeTheLibrary) {
    static constexpr std::array<const char*, 16> parts = {
        "a", "b", "=", "-", "\\.", "[0-9]+", "[a-c]+", "[^=]+", "x+", "[0-9]", "(", ")", "c", "1", "[[:digit:]]+", "[b-]"};
    static constexpr std::string_view alphabet = "abc=.-x1290 ";
    std::mt19937 rng(4242);
    int simple = 0;
    for (int n = 0; n < 4000; ++n) {
        std::string pattern;
        const int length = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < length; ++i) pattern += parts[rng() % parts.size()];
        regex_t plain;
        if (regcomp(&plain, pattern.c_str(), REG_EXTENDED) != 0) continue;
        posix_pattern fast;
        ASSERT_TRUE(fast.compile(pattern));
        if (simple_pattern::make(pattern)) ++simple;
        for (int t = 0; t < 30; ++t) {
            std::string text;
            const int size = static_cast<int>(rng() % 12);
            for (int i = 0; i < size; ++i) text += alphabet[rng() % alphabet.size()];
            std::array<regmatch_t, 5> want{}, got{};
            const bool expected = regexec(&plain, text.c_str(), want.size(), want.data(), 0) == 0;
            ASSERT_EQ(fast.search(text.c_str(), got), expected) << "pattern " << pattern << ", text '" << text << "'";
            if (!expected) continue;
            for (std::size_t g = 0; g < want.size(); ++g) {
                EXPECT_EQ(got[g].rm_so, want[g].rm_so) << "group " << g << " of " << pattern << " in '" << text << "'";
                EXPECT_EQ(got[g].rm_eo, want[g].rm_eo) << "group " << g << " of " << pattern << " in '" << text << "'";
            }
        }
        regfree(&plain);
    }
    EXPECT_GT(simple, 500) << "the generator must produce simple patterns";
}

class ExampleObjectMap : public ::testing::Test {
protected:
    void SetUp() override {
        conf = config_new_for_test();
        ASSERT_TRUE(conf);
        map = object_map_new(conf.get());
        ASSERT_TRUE(map);
    }
    struct result {
        std::string class_name;
        char_list columns;
        char_list values;
    };
    result translate(const std::string& text) const {
        std::string_view class_name;
        result r;
        object_map_translate(map.get(), class_name, text, r.columns, r.values);
        r.class_name = class_name;
        return r;
    }
    std::unique_ptr<config> conf;
    std::unique_ptr<object_map> map;
};

TEST_F(ExampleObjectMap, EveryDescriptionCompiles) { EXPECT_EQ(map->entries.size(), 20u); }

TEST_F(ExampleObjectMap, ClassWithAlternativeNamesGivesColumns) {
    const result r = translate("nodeb=17");
    EXPECT_EQ(r.class_name, "Iub");
    EXPECT_EQ(r.columns, char_list{"OBJ_ID"});
    EXPECT_EQ(r.values, char_list{"17"});
    const result line = translate("stm-1line=1.2.3.4");
    EXPECT_EQ(line.class_name, "STM1_line");
    EXPECT_EQ(line.columns, (char_list{"SWI_PORT", "INFM_ROW", "LINE_SLOT", "LINE_NUM"}));
    EXPECT_EQ(line.values, (char_list{"1", "2", "3", "4"}));
}

TEST_F(ExampleObjectMap, FirstDescriptionInOrderWins) {
    // "(rnc)" comes first and has no alternative names: no columns.
    const result r = translate("cell=5-rnc=3,cell=7");
    EXPECT_EQ(r.class_name, "RNC");
    EXPECT_TRUE(r.columns.empty());
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(translate("cell=5-cgi=262.=1.=77").class_name, "Cell");
}

TEST_F(ExampleObjectMap, ClassWithoutAlternativeNamesIsNamedByItsPattern) {
    const result r = translate("NodeBFddE=4");
    EXPECT_EQ(r.class_name, "NodeBFddE");
    EXPECT_TRUE(r.columns.empty());
}

TEST_F(ExampleObjectMap, UndescribedTextFallsBackToObj) {
    const result r = translate("Unit=7, shelf 2");
    EXPECT_EQ(r.class_name, "OBJ");
    EXPECT_EQ(r.columns, char_list{"OBJ_ID"});
    EXPECT_EQ(r.values, char_list{"Unit=7, shelf 2"});
}

TEST_F(ExampleObjectMap, EmptyTextOrNoMapChangesNothing) {
    std::string_view class_name = "before";
    char_list columns, values;
    object_map_translate(map.get(), class_name, "", columns, values);
    object_map_translate(nullptr, class_name, "cell=1", columns, values);
    EXPECT_EQ(class_name, "before");
    EXPECT_TRUE(columns.empty() && values.empty());
}

TEST(ObjectMap, GroupsEndAtTheFirstThatDidNotTakePart) {
    config conf;
    object_map map{&conf, {}};
    object_map_add_pattern(map, "Pair", "a=([0-9]+)(,b=([0-9]+))?(x)?", {"A", "B_PART", "B", "X", "Y"}, true);
    std::string_view class_name;
    char_list columns, values;
    object_map_translate(&map, class_name, "a=1", columns, values);
    EXPECT_EQ(columns, char_list{"A"});
    columns.clear();
    values.clear();
    object_map_translate(&map, class_name, "a=1,b=2", columns, values);
    EXPECT_EQ(columns, (char_list{"A", "B_PART", "B"}));
    EXPECT_EQ(values, (char_list{"1", ",b=2", "2"}));
}

TEST(ObjectMap, OverlongGroupGivesAnEmptyValue) {
    config conf;
    object_map map{&conf, {}};
    object_map_add_pattern(map, "Long", "id=(.*)", {"ID"}, true);
    std::string_view class_name;
    char_list columns, values;
    object_map_translate(&map, class_name, "id=" + std::string(1022, 'x'), columns, values);
    object_map_translate(&map, class_name, "id=" + std::string(1023, 'x'), columns, values);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].size(), 1022u);
    EXPECT_EQ(values[1], "");
}

TEST(ObjectMap, PatternsThatDoNotCompileAreLeftOut) {
    config conf;
    map_append_value(conf.object_instance_description, "Broken", "cell=(\\d+");
    map_append_value(conf.object_instance_description, "Cell", "cell=(\\d+)");
    map_append_value(conf.object_instance_description, "Empty", "''");
    const auto map = object_map_new(&conf);
    ASSERT_TRUE(map);
    ASSERT_EQ(map->entries.size(), 1u);
    EXPECT_EQ(map->entries[0].name, "cell");  // no alternative names: the text before "="
    EXPECT_EQ(object_map_new(nullptr), nullptr);
}

}  // namespace
