// Pattern conversion of configured expressions and the object-instance map built from
// the example configuration.
#include <gtest/gtest.h>

#include <string>

#include "example_config.h"
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
