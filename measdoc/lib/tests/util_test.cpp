// String and number primitives: the results that differ from the C library's namesakes
// and the fixed-width number fields the parse side builds on.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "md_util.h"
#include "runtime_env.h"

namespace {

TEST(UtilCompare, EqualityOnlyNoOrder) {
    EXPECT_EQ(util_strcmp("abc", "abd"), -1);
    EXPECT_EQ(util_strcmp("abd", "abc"), -1);
    EXPECT_EQ(util_strcmp("abc", "abc"), 0);
    EXPECT_EQ(util_strcmp("", ""), 0);
    EXPECT_EQ(util_strcmp("ab", "abc"), -1);
    EXPECT_EQ(util_strcmp("abc", "ab"), -1);
}

TEST(UtilCompare, CaseFoldIgnoresBitFive) {
    EXPECT_EQ(util_strcasecmp("Meas", "mEAS"), 0);
    EXPECT_EQ(util_strcasecmp("@[", "`{"), 0);  // punctuation that differs only in bit 5
    EXPECT_EQ(util_strcasecmp("meas", "mea"), -1);
    // A space folds onto the terminator; the texts still differ in length.
    EXPECT_EQ(util_strcasecmp("a", "a "), -1);
    EXPECT_EQ(util_strcasecmp("a ", "a"), -1);
    EXPECT_EQ(util_strcasecmp("", ""), 0);
}

TEST(UtilCopy, StrcpyReturnsEndForAppending) {
    char buffer[16];
    char* end = util_strcpy(buffer, "ab");
    EXPECT_EQ(end, buffer + 2);
    EXPECT_EQ(*end, '\0');
    end = util_strcpy(end, "cd");
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(util_strlen(buffer), 4u);
}

// Writes value with width into a buffer prefilled with '#'; returns what was written and
// the returned end's offset.
std::pair<std::string, long> decimal(int width, std::int64_t value) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    const char* end = util_int2decnstr(buffer, width, value);
    if (end == buffer) return {std::string(buffer, 1), 0};  // nothing written: still '#'
    return {std::string(buffer, static_cast<std::size_t>(end - buffer)), end - buffer};
}

TEST(UtilInt2Decnstr, FixedWidthPadsOrRefuses) {
    EXPECT_EQ(decimal(4, 7), (std::pair<std::string, long>{"0007", 4}));
    EXPECT_EQ(decimal(2, 123), (std::pair<std::string, long>{"#", 0}));
    EXPECT_EQ(decimal(3, 123), (std::pair<std::string, long>{"123", 3}));
    EXPECT_EQ(decimal(1, 0), (std::pair<std::string, long>{"0", 1}));
}

TEST(UtilInt2Decnstr, NaturalAndBoundedWidth) {
    EXPECT_EQ(decimal(0, 123), (std::pair<std::string, long>{"123", 3}));
    EXPECT_EQ(decimal(0, 0), (std::pair<std::string, long>{"0", 1}));
    EXPECT_EQ(decimal(-4, 123), (std::pair<std::string, long>{"123", 3}));  // room for three
    EXPECT_EQ(decimal(-4, 1234), (std::pair<std::string, long>{"#", 0}));
    EXPECT_EQ(decimal(~11, INT_MAX), (std::pair<std::string, long>{"2147483647", 10}));
}

TEST(UtilInt2Decnstr, NegativeValuesCountTheSign) {
    EXPECT_EQ(decimal(0, -42), (std::pair<std::string, long>{"-42", 3}));
    EXPECT_EQ(decimal(4, -7), (std::pair<std::string, long>{"-007", 4}));
    EXPECT_EQ(decimal(2, -7), (std::pair<std::string, long>{"-7", 2}));
    EXPECT_EQ(decimal(2, -10), (std::pair<std::string, long>{"#", 0}));
    EXPECT_EQ(decimal(-3, -7), (std::pair<std::string, long>{"-7", 2}));
    EXPECT_EQ(decimal(-3, -70), (std::pair<std::string, long>{"#", 0}));
    EXPECT_EQ(decimal(0, INT64_MIN), (std::pair<std::string, long>{"-9223372036854775808", 20}));
}

TEST(UtilDecnstr2Int, ReadsExactlyTheDigitsAsked) {
    const char* text = "2009x";
    const char* pos = text;
    EXPECT_EQ(util_decnstr2int(&pos, 4, -1), 2009);
    EXPECT_EQ(pos, text + 4);
    pos = text;
    EXPECT_EQ(util_decnstr2int(&pos, 5, -1), -1);  // "x" is no digit
    EXPECT_EQ(pos, text);
    EXPECT_EQ(util_decnstr2int(&pos, 9, -7), -7);  // the end comes first
    EXPECT_EQ(pos, text);
    EXPECT_EQ(util_decnstr2int(&pos, 0, -1), 0);
    EXPECT_EQ(pos, text);
    const char* stamp = "20050301141500";
    pos = stamp;
    EXPECT_EQ(util_decnstr2int(&pos, 4, -1), 2005);
    EXPECT_EQ(util_decnstr2int(&pos, 2, -1), 3);
    EXPECT_EQ(util_decnstr2int(&pos, 2, -1), 1);
}

TEST(UtilInPlace, QuotesOnlyTextsWithSpaces) {
    char spaced[8] = "a b";
    EXPECT_STREQ(util_addquotes(spaced), "\"a b\"");
    char plain[8] = "ab";
    EXPECT_STREQ(util_addquotes(plain), "ab");
}

TEST(UtilInPlace, BlanksBecomeUnderscores) {
    char text[] = "a b\tc\nd\fe\rf\vg";
    EXPECT_STREQ(util_strusws(text), "a_b_c_d_e_f\vg");
}

TEST(Util2Strdup, CopiesOrRecordsExhaustion) {
    reset_registry();
    char* copy = util2_strdup("measInfo");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "measInfo");
    mem_sysfree(copy);

    mem_set_sysfault(1);
    EXPECT_EQ(util2_strdup("x"), nullptr);
    EXPECT_EQ(main_code(), 1u);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [mem_sysmalloc - util2.cpp:N] ");
    reset_registry();
}

}  // namespace
