// Value expansion through whole runs of small older-layout files: distinguished names
// with repeated components, timestamps, delimited lists, renames, NULL values, cut and
// quoted counter names, block names with their fallback, instance pairs, suspect flags,
// and header attributes that an element does not carry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "parse_env.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A file with one data section holding the blocks given.
std::string file_with(const std::string& blocks, const std::string& header = "<cbt>C</cbt>") {
    return "<mdc><mfh>" + header + "</mfh><md><neid><nedn>A=1</nedn></neid>" + blocks + "</md></mdc>";
}
// A block: its counter-name elements and rows, as XML.
std::string block(const std::string& names, const std::string& rows, const std::string& mts = "M") {
    return "<mi><mts>" + mts + "</mts><gp>900</gp>" + names + rows + "</mi>";
}
// A row with the given inner XML after its moid.
std::string row(const std::string& inner, const std::string& moid = "C=1", const std::string& attrs = "") {
    return "<mv" + attrs + "><moid>" + moid + "</moid>" + inner + "</mv>";
}
std::string mts(std::initializer_list<const char*> names) {
    std::string out;
    for (const char* n : names) out += std::string("<mt>") + n + "</mt>";
    return out;
}
std::string rs(std::initializer_list<const char*> values) {
    std::string out;
    for (const char* v : values) out += std::string("<r>") + v + "</r>";
    return out;
}

class Expansion : public ::testing::Test {
protected:
    conversion convert(const std::string& content, const item_list& items = {}) { return cycle_.run(content, items); }
    // The only row of the only block.
    static const row_view& only_row(const conversion& c) {
        static const row_view none;
        if (c.data.blocks.size() != 1 || c.data.blocks[0].rows.size() != 1) {
            ADD_FAILURE() << "not one block of one row:\n" << c.dump << c.error;
            return none;
        }
        return c.data.blocks[0].rows[0];
    }
    converter_cycle cycle_;
};

// -------------------------------------------------------------------------------------

TEST_F(Expansion, DistinguishedNameBecomesOneTypedPairPerComponent) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}), "SubNetwork=1,ManagedElement=RNC01"))));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].common, ElementsAre("nedn_A=1/1"));
    EXPECT_THAT(only_row(c).instance, ElementsAre("moid_SubNetwork=1/1", "moid_ManagedElement=RNC01/1"));
}

TEST_F(Expansion, RepeatedComponentNamesAreNumbered) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}), "A=1,A=2,B=3,A=4"))));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).instance, ElementsAre("moid_A=1/1", "moid_A_1=2/1", "moid_B=3/1", "moid_A_2=4/1"));

    // Long names count their repeats the same way.
    std::string dn;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        const std::string attr = i % 2 == 0 ? "X" : "Y";
        dn += (i > 0 ? "," : "") + attr + "=" + std::to_string(i);
        const int earlier = i / 2;
        expected.push_back("moid_" + attr + (earlier > 0 ? "_" + std::to_string(earlier) : "") + "=" +
                           std::to_string(i) + "/1");
    }
    const conversion l = convert(file_with(block(mts({"a"}), row(rs({"1"}), dn))));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(only_row(l).instance, expected);
}

TEST_F(Expansion, DistinguishedNameValuesAreQuotedAndLoseFurtherEqualSigns) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}), "A=x y,B=1=2=3"))));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).instance, ElementsAre("moid_A=\"x y\"/1", "moid_B=123/1"));
}

TEST_F(Expansion, DistinguishedNameWithOddPiecesFailsTheRun) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}), "a=1,b"))));
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - inconsistent name and value pair [a=1,b]"));
}

TEST_F(Expansion, VendorNameWithoutEqualSignFailsTheCurrentLayoutDefaults) {
    // The current layout's defaults read the vendor name as a distinguished name: the run
    // fails, although the header chain is built.
    const std::string doc = R"(<measCollecFile><fileHeader vendorName="Company NN" dnPrefix="DC=a" fileFormatVersion="1">
        <measCollec beginTime="B"/></fileHeader><fileFooter><measCollec endTime="E"/></fileFooter></measCollecFile>)";
    const conversion c = convert(doc, {{xcfg_xmldocumenttype, {"1"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - inconsistent name and value pair [Company NN]"));
    EXPECT_THAT(c.data.header, ElementsAre("beginTime=B/0", "dnPrefix_DC=a/1", "dnPrefix_DC=a/1", "fileFormatVersion=1/0"));
}

TEST_F(Expansion, HeaderAttributesAnElementLacksAreLeftOut) {
    // Header and footer both hold a measCollec; each carries one of the two times. Neither
    // section's missing time may hide the other's.
    const std::string doc = R"(<measCollecFile><fileHeader fileFormatVersion="1">
        <measCollec beginTime="B"/></fileHeader><fileFooter><measCollec endTime="E"/></fileFooter></measCollecFile>)";
    const conversion c = convert(doc, {{xcfg_xmldocumenttype, {"1"}}, {xcfg_distnameelemnames, {"x"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.header, ElementsAre("beginTime=B/0", "fileFormatVersion=1/0"));
    EXPECT_THAT(c.data.footer, ElementsAre("endTime=E/0"));
}

// -------------------------------------------------------------------------------------

class Timestamp : public Expansion {
protected:
    // The unique header of a row whose mts holds value.
    conversion with_mts(const std::string& value, item_list items = {}) {
        items.push_back({xcfg_timestampctrelemnames, {"mts"}});
        return convert(file_with(block(mts({"a"}), row(rs({"1"})), value)), items);
    }
};

TEST_F(Timestamp, SplitsIntoDateAndTime) {
    conversion c = with_mts("20050301143000.0+0100");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).unique, ElementsAre("moid_C=1/1", "gp=900/0", "mts_Date=01Mar2005/2", "mts_Time=14:30:00/2"));
    c = with_mts("20051231235959.0+0000");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).unique, ElementsAre("moid_C=1/1", "gp=900/0", "mts_Date=31Dec2005/2", "mts_Time=23:59:59/2"));
}

TEST_F(Timestamp, FieldsOutOfRangeFailTheRun) {
    struct {
        const char* value;
        const char* detail;
    } cases[] = {{"20051332000000.0+0000", ""}, {"20051301000000.0+0000", "[13]"}, {"20050100000000.0+0000", "[0]"},
                 {"20050132000000.0+0000", "[32]"}, {"20050101240000.0+0000", "[24]"},
                 {"20050101006000.0+0000", "[60]"}, {"20050101000060.0+0000", "[60]"}};
    for (const auto& k : cases) {
        const conversion c = with_mts(k.value);
        EXPECT_FALSE(c.ok) << k.value;
        EXPECT_THAT(c.error, HasSubstr(std::string("ERROR: parse - invalid timestamp value ") + k.detail)) << k.value;
    }
}

TEST_F(Timestamp, TextThePatternsDoNotReadFailsTheRun) {
    const conversion c = with_mts("2005-03-01T14:30:00");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: pregex - execution returns no match"));
    EXPECT_THAT(c.error, HasSubstr("[2005-03-01T14:30:00] [0] [parse_get_timestampvalue"));
}

TEST_F(Timestamp, YearsOfTwoDigitsAreOfThisCenturyAndOthersAreRefused) {
    // Patterns for YYMMDDhhmmss, then the same with a four-digit year.
    const item_list two_digits = {{xcfg_timestampdesc,
                                   {R"(^\d{4}(\d{2}))", R"(^\d{2}(\d{2}))", R"(^(\d{2}))", R"(^\d{6}(\d{2}))",
                                    R"(^\d{8}(\d{2}))", R"(^\d{10}(\d{2}))"}}};
    conversion c = with_mts("990301143000", two_digits);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).unique, ElementsAre("moid_C=1/1", "gp=900/0", "mts_Date=01Mar2099/2", "mts_Time=14:30:00/2"));

    const item_list four_digits = {{xcfg_timestampdesc,
                                    {R"(^\d{6}(\d{2}))", R"(^\d{4}(\d{2}))", R"(^(\d{4}))", R"(^\d{8}(\d{2}))",
                                     R"(^\d{10}(\d{2}))", R"(^\d{12}(\d{2}))"}}};
    for (const char* value : {"19990301143000", "21000301143000"}) {
        c = with_mts(value, four_digits);
        EXPECT_FALSE(c.ok) << value;
        EXPECT_THAT(c.error, HasSubstr("ERROR: parse - invalid timestamp value")) << value;
    }
}

TEST_F(Timestamp, FieldLongerThanNineDigitsIsRefused) {
    const item_list greedy = {{xcfg_timestampdesc,
                               {R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))", R"(^(\d+))"}}};
    const conversion c = with_mts("12345678901", greedy);
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - invalid timestamp value [11]"));
}

TEST_F(Timestamp, DescriptionsMustBeSixOneGroupPatterns) {
    conversion c = with_mts("20050301143000.0+0100", {{xcfg_timestampdesc, {"^(20)"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - required description for timestamp missing [1]"));
    c = with_mts("20050301143000.0+0100",
                 {{xcfg_timestampdesc, {"^(20)(05)", "^(20)", "^(20)", "^(20)", "^(20)", "^(20)"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - invalid timestamp description [3]"));
}

TEST_F(Timestamp, ElementWithoutTextFailsTheRun) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"})), "")), {{xcfg_timestampctrelemnames, {"mts"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - counter value is empty [tag - mts:1]"));
}

// -------------------------------------------------------------------------------------

class DelimitedList : public Expansion {
protected:
    conversion with_lists(const std::string& names, const std::string& values, item_list items = {}) {
        items.push_back({xcfg_delimcntrelemnames, {"mt", "r"}});
        items.push_back({xcfg_normcntrelemnames, {"none"}});
        return convert(file_with(block("<mt>" + names + "</mt>", row("<r>" + values + "</r>"))), items);
    }
};

TEST_F(DelimitedList, PiecesBecomeCountersInOrder) {
    const conversion c = with_lists("a b c", "1 2 3");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].types, ElementsAre("a", "b", "c"));
    EXPECT_THAT(only_row(c).values, ElementsAre("a=1", "b=2", "c=3"));
}

TEST_F(DelimitedList, EmptyPiecesAreKeptAtBothEndsAndBetween) {
    const conversion c = with_lists(",a,,b,", ",1,,2,", {{xcfg_counterlistdelimiter, {","}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(c.data.blocks[0].types, ElementsAre("", "a", "", "b", ""));
    EXPECT_THAT(only_row(c).values, ElementsAre("=", "a=1", "=", "b=2", "="));
}

TEST_F(DelimitedList, ListsOfDifferentLengthFailTheRun) {
    const conversion c = with_lists("a b c", "1 2");
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - type and result counters do not match [measurement pair - c:"));
}

TEST_F(DelimitedList, EmptyDelimiterFailsTheRun) {
    const conversion c = with_lists("a b", "1 2", {{xcfg_counterlistdelimiter, {""}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("[delimiter == EOS"));
}

TEST_F(DelimitedList, ListWithoutTextFailsTheRun) {
    const conversion c = convert(file_with(block("<mt>a</mt>", row("<r/>"))),
                                 {{xcfg_delimcntrelemnames, {"mt", "r"}}, {xcfg_normcntrelemnames, {"none"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - counter value is empty [tag - r:1]"));
}

TEST_F(DelimitedList, PiecesAreRenamedCutAndFreedOfNull) {
    const conversion c = with_lists("pmA pmBbbbbbb", "NULL null",
                                    {{xcfg_altcntrnames, {"^pm(.*)$[]$1"}},
                                     {xcfg_maxcntrnamesz, {"4"}},
                                     {xcfg_altcntrval, {"0"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("A=0", "Bbbb=0"));
}

// -------------------------------------------------------------------------------------

TEST_F(Expansion, CounterNamesAreRenamed) {
    const conversion c = convert(file_with(block(mts({"pmRrcConnEstab", "other"}), row(rs({"1", "2"})))),
                                 {{xcfg_altcntrnames, {"^pm(.*)$[]$1"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("RrcConnEstab=1", "other=2"));
}

TEST_F(Expansion, OfSeveralRenamesTheEarliestMatchThenTheFirstListedApplies) {
    const conversion c = convert(file_with(block(mts({"pmAtt", "xAtt", "pmX"}), row(rs({"1", "2", "3"})))),
                                 {{xcfg_altcntrnames, {"Att$[]Attempts", "^pm[]", "X$[]Y"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("Att=1", "xAttempts=2", "X=3"));
}

TEST_F(Expansion, RenameReferringToAnUnsetOrEmptyGroupGivesItNothing) {
    const conversion c = convert(file_with(block(mts({"pmAb", "pmZ", "pmCZ", "other"}), row(rs({"1", "2", "3", "4"})))),
                                 {{xcfg_altcntrnames, {"^pm(.*?)(Z)?$[]$1$2"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("Ab=1", "Z=2", "CZ=3", "other=4"));
}

TEST_F(Expansion, RenamePickedByTheCombinedPatternButNotMatchingLeavesTheName) {
    // Combined, the first pattern reads "^a|bc$" and takes "ax", which it does not match.
    const conversion c = convert(file_with(block(mts({"ax", "bc", "pmQ"}), row(rs({"1", "2", "3"})))),
                                 {{xcfg_altcntrnames, {"^(a|b)c$[]X$1", "^pm[]"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("ax=1", "Xbc=2", "Q=3"));
}

TEST_F(Expansion, RenameMayMakeANameMuchLonger) {
    const conversion c = convert(file_with(block(mts({"ab"}), row(rs({"1"})))),
                                 {{xcfg_altcntrnames, {"^(.*)$[]vendor_counter_$1_$1"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("vendor_counter_ab_ab=1"));
}

TEST_F(Expansion, RenamesApplyToHeaderInstanceAndSuspectNames) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}) + "<sf>TRUE</sf>", "X=1"))),
                                 {{xcfg_altcntrnames, {"^moid_(.*)$[]obj_$1", "^sf$[]suspect", "^gp$[]period"}}});
    ASSERT_TRUE(c.ok) << c.error;
    const row_view& r = only_row(c);
    EXPECT_THAT(r.instance, ElementsAre("obj_X=1/1"));
    EXPECT_THAT(r.suspect, ElementsAre("suspect=TRUE"));
    EXPECT_THAT(r.unique, ElementsAre("obj_X=1/1", "period=900/0", "mts=M/0"));
}

TEST_F(Expansion, NullValuesTakeTheConfiguredReplacement) {
    const std::string doc = file_with(block(mts({"a", "b", "c", "d"}), row(rs({"NULL", "null", "nULl", "NULLx"}) + "<r/>")));
    // Five values for four names: the empty fifth one must not vanish.
    conversion c = convert(doc, {{xcfg_altcntrval, {"0"}}});
    EXPECT_FALSE(c.ok);
    const std::string fitting = file_with(block(mts({"a", "b", "c", "d", "e"}),
                                                row(rs({"NULL", "null", "nULl", "NULLx"}) + "<r/>")));
    c = convert(fitting, {{xcfg_altcntrval, {"0"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("a=0", "b=0", "c=0", "d=NULLx", "e="));
    c = convert(fitting);
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("a=NULL", "b=null", "c=nULl", "d=NULLx", "e="));
    // Header values too.
    c = convert(file_with(block(mts({"a"}), row(rs({"1"})), "NULL")), {{xcfg_altcntrval, {"-"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).unique, ElementsAre("moid_C=1/1", "gp=900/0", "mts=-/0"));
}

TEST_F(Expansion, LongCounterNamesAreCut) {
    const std::string long_name(70, 'x');
    conversion c = convert(file_with(block("<mt>" + long_name + "</mt>", row(rs({"1"})))));
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre(std::string(60, 'x') + "=1"));
    c = convert(file_with(block(mts({"abcdefgh"}), row(rs({"1"})))), {{xcfg_maxcntrnamesz, {"5"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("abcde=1"));
    // 0, and a value that is no number, cut nothing.
    for (const char* none : {"0", "12a", ""}) {
        c = convert(file_with(block("<mt>" + long_name + "</mt>", row(rs({"1"})))), {{xcfg_maxcntrnamesz, {none}}});
        ASSERT_TRUE(c.ok) << c.error;
        EXPECT_THAT(only_row(c).values, ElementsAre(long_name + "=1")) << none;
    }
}

TEST_F(Expansion, NamesAndValuesWithBlanksAreQuoted) {
    // The counter name from an attribute holding a blank; cut before it is quoted.
    const conversion c = convert(file_with(block(R"(<mt n="a b"/><mt n="cd efgh"/>)", row(rs({"1 2", "3"})))),
                                 {{xcfg_meastypelemseq, {"mt.n"}}, {xcfg_maxcntrnamesz, {"5"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(only_row(c).values, ElementsAre("\"a b\"=\"1 2\"", "\"cd ef\"=3"));
}

TEST_F(Expansion, CounterNameElementWithoutTextFailsTheRun) {
    const conversion c = convert(file_with(block("<mt/>", row(rs({"1"})))));
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - counter value is empty [tag - mt:1]"));
}

// -------------------------------------------------------------------------------------

class BlockName : public Expansion {
protected:
    conversion two_rows(const item_list& items, const std::string& first = "SubNetwork=1,ManagedElement=RNC01,UtranCell=C1",
                        const std::string& attrs = "") {
        return convert(file_with(block(mts({"a"}), row(rs({"1"}), first, attrs) + row(rs({"2"}), "X=2"))), items);
    }
    static std::vector<std::string> names(const conversion& c) {
        std::vector<std::string> out;
        for (const auto& b : c.data.blocks)
            for (const auto& r : b.rows) out.push_back(r.blockname);
        return out;
    }
};

TEST_F(BlockName, DistinguishedNameGivesItsAttributeNames) {
    conversion c = two_rows({});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(names(c), ElementsAre("SubNetwork_ManagedElement_UtranCell", "X"));
    c = two_rows({{xcfg_altoutblknames, {"SubNetwork_ManagedElement_UtranCell", "UtranCell"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(names(c), ElementsAre("UtranCell", "X"));
}

TEST_F(BlockName, DescriptionPatternJoinsItsGroups) {
    const conversion c = two_rows({{xcfg_outblkdesc, {R"(^([^=]+)=[^,]*,(?:.*,)?(\w+)=\w+$)"}}}, "Sub Net=1,Cell=2");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(names(c), ElementsAre("Sub_Net_Cell", "BLOCKNAME"));
    // The second row's name matches nothing: the default name and a warning.
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_THAT(c.warnings[0], HasSubstr("WARN : parse - reading block description failed [measurement pair - "));
}

TEST_F(BlockName, UnderivableNamesTakeTheDefaultAndItsAlternative) {
    // A pattern that captures nothing, and rows whose attribute is missing.
    conversion c = two_rows({{xcfg_outblkdesc, {"^(x)?.*$"}}, {xcfg_altoutblknames, {"BLOCKNAME", "Other"}}});
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(names(c), ElementsAre("Other", "Other"));
    EXPECT_EQ(c.warnings.size(), 1u);  // one per thread and code
    c = two_rows({{xcfg_outblkelemname, {"mv.label"}}}, "A=1", R"( label="my	block x")");
    ASSERT_TRUE(c.ok) << c.error;
    EXPECT_THAT(names(c), ElementsAre("my_block_x", "BLOCKNAME"));
}

TEST_F(BlockName, InstanceObjectMustBeADistinguishedName) {
    const conversion c = two_rows({{xcfg_instanceobject, {"gp"}}});
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: parse - instance object value is not of DN [0] [tag - gp:1]"));
}

// -------------------------------------------------------------------------------------

TEST_F(Expansion, SuspectFlagIsTrueOnlyForTrue) {
    const std::string doc = file_with(block(mts({"a"}), row(rs({"1"}) + "<sf>true</sf>", "C=1") +
                                                            row(rs({"2"}) + "<sf>yes</sf>", "C=2") +
                                                            row(rs({"3"}) + R"(<sf v="TRUE">no</sf>)", "C=3")));
    const conversion c = convert(doc, {{xcfg_suspectflagelemname, {"sf.v"}}});
    ASSERT_TRUE(c.ok) << c.error;
    const auto& rows = c.data.blocks[0].rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_THAT(rows[0].suspect, ElementsAre("sf=TRUE"));
    EXPECT_THAT(rows[1].suspect, ElementsAre("sf=FALSE"));
    EXPECT_THAT(rows[2].suspect, ElementsAre("sf=FALSE"));  // the attribute is not read
}

TEST_F(Expansion, SuspectElementWithoutTextFailsTheRun) {
    const conversion c = convert(file_with(block(mts({"a"}), row(rs({"1"}) + "<sf/>"))));
    EXPECT_FALSE(c.ok);
    EXPECT_THAT(c.error, HasSubstr("ERROR: returned null [tag - sf:1] [suspect_tag->ti_text.str"));
}

}  // namespace
