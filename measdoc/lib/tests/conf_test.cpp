// The configuration store: both default sets, how values are prepared (element names
// split, numbers converted, patterns compiled with templates and a combined pattern, the
// key/value index), the setting rules, and every accessor's failure value and code.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "md_index.h"
#include "md_regex.h"
#include "pipeline_env.h"

namespace {

class Config : public ::testing::Test {
protected:
    void SetUp() override {
        clear_main_area();
        ASSERT_TRUE(regex_init());
    }
    void TearDown() override {
        EXPECT_TRUE(glob_deinit());
        regex_deinit();
        clear_main_area();
    }
};

std::vector<std::string> names(int type) {
    std::vector<std::string> out;
    for (int i = 0; i < glob_getnum_config(type); ++i) {
        const char* attr = glob_getattr_tagelem(type, i);
        out.push_back(std::string(glob_getname_tagelem(type, i)) + (attr ? std::string("|") + attr : ""));
    }
    return out;
}

std::string code_text() { return without_lines(main_message()); }

TEST_F(Config, OlderLayoutDefaultsWhenNothingIsSet) {
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(main_code(), 0u) << main_message();
    EXPECT_EQ(names(xcfg_measvalelemname), (std::vector<std::string>{"mv"}));
    EXPECT_EQ(names(xcfg_hdrelemnames), (std::vector<std::string>{"vn", "st", "ts", "nedn", "cbt", "sn", "ffv"}));
    EXPECT_EQ(names(xcfg_uniquepifhdrelemnames), (std::vector<std::string>{"mts", "gp", "moid"}));
    EXPECT_EQ(names(xcfg_distnameelemnames), (std::vector<std::string>{"sn", "nedn", "moid"}));
    EXPECT_EQ(names(xcfg_normcntrelemnames), (std::vector<std::string>{"mt", "r"}));
    EXPECT_EQ(names(xcfg_suspectflagelemname), (std::vector<std::string>{"sf"}));
    EXPECT_EQ(glob_getnum_config(xcfg_delimcntrelemnames), 0);
    EXPECT_EQ(glob_getnum_config(xcfg_timestampctrelemnames), 0);
    EXPECT_EQ(glob_get_delim(xcfg_xmlnameattrdelimiter), '.');
    EXPECT_EQ(glob_get_delim(xcfg_counterlistdelimiter), ' ');
    EXPECT_EQ(glob_getnum_value(xcfg_maxcntrnamesz, 0), 60);
    EXPECT_EQ(glob_getnum_value(xcfg_xmldocumenttype, 0), 0);
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), thr_max_num);
    EXPECT_EQ(glob_getnum_value(xcfg_threadstacksize, 0), 3145728);
    // Items without default still have a record after start-up, with no values.
    for (int type : {xcfg_altcntrval, xcfg_xmlfilename, xcfg_outblkdesc, xcfg_altcntrnames, xcfg_altoutblknames}) {
        EXPECT_NE(glob_get_config(type), nullptr) << type;
        EXPECT_EQ(glob_getnum_config(type), 0) << type;
    }
    ASSERT_EQ(glob_getnum_config(xcfg_timestampdesc), 6);
    EXPECT_STREQ(glob_getstr_regex(xcfg_timestampdesc, dcfg_monthdesc),
                 "^20\\d{2}(\\d{2})\\d{2}\\d{2}\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$");
    // The items added later are off unless set: today's results stay.
    for (int type : {xcfg_counterlistwhitespace, xcfg_plainobjectnames, xcfg_qualifiedheadernames})
        EXPECT_EQ(glob_getnum_value(type, 0), 0) << type;
    EXPECT_EQ(glob_getnum_config(xcfg_counterpositionattr), 0);
    EXPECT_EQ(main_code(), 0u) << main_message();
}

TEST_F(Config, DocumentTypeOneSelectsTheCurrentLayout) {
    ASSERT_TRUE(set_item(xcfg_xmldocumenttype, {"1"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_measvalelemname), (std::vector<std::string>{"measValue"}));
    EXPECT_EQ(names(xcfg_hdrelemnames),
              (std::vector<std::string>{"fileHeader|vendorName", "fileSender|elementType", "measCollec|endTime",
                                        "fileHeader|dnPrefix", "managedElement|localDn", "measCollec|beginTime",
                                        "fileHeader|dnPrefix", "fileSender|localDn", "fileHeader|fileFormatVersion"}));
    EXPECT_EQ(names(xcfg_uniquepifhdrelemnames),
              (std::vector<std::string>{"granPeriod|endTime", "granPeriod|duration", "measValue|measObjLdn"}));
    EXPECT_EQ(names(xcfg_delimcntrelemnames), (std::vector<std::string>{"measResults", "measTypes"}));
    EXPECT_EQ(names(xcfg_normcntrelemnames), (std::vector<std::string>{"measType", "r"}));
    EXPECT_EQ(names(xcfg_suspectflagelemname), (std::vector<std::string>{"Suspect"}));
    EXPECT_EQ(names(xcfg_instanceobject), (std::vector<std::string>{"measValue|measObjLdn"}));
    EXPECT_EQ(names(xcfg_measdatelemname), (std::vector<std::string>{"measData"}));
    EXPECT_EQ(names(xcfg_meashdrelemname), (std::vector<std::string>{"fileHeader"}));
    EXPECT_EQ(names(xcfg_measftrelemname), (std::vector<std::string>{"fileFooter"}));
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), thr_max_num);
    EXPECT_EQ(main_code(), 0u) << main_message();
}

TEST_F(Config, OtherDocumentTypesAndHostValuesOverDefaults) {
    ASSERT_TRUE(set_item(xcfg_xmldocumenttype, {"2"}));
    ASSERT_TRUE(set_item(xcfg_measvalelemname, {"row", "line"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_uniquepifblkelemname), (std::vector<std::string>{"mi"}));
    EXPECT_EQ(names(xcfg_measvalelemname), (std::vector<std::string>{"row", "line"}));
}

TEST_F(Config, ItemNamesAndKindsForTheHost) {
    const a_xmlcfginfo* info = glob_get_config_info(xcfg_timestampdesc);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->kind, xkind_regex);
    EXPECT_EQ(info->host_name, "timestampDesc");
    EXPECT_EQ(info->export_key, "i_timestampdaydesc");
    EXPECT_EQ(glob_get_config_info(xcfg_xmldocumenttype)->export_key, "i_xmlDocumentType");
    EXPECT_EQ(glob_get_config_info(xcfg_altoutblknames)->kind, xkind_hash);
    int items = 0;
    for (int type = -1; type <= xcfg_s_last + 4; ++type)
        if (glob_get_config_info(type) != nullptr) ++items;
    EXPECT_EQ(items, 33);
    EXPECT_EQ(glob_get_config_info(xcfg_xmlstandardtext)->export_key, "i_xmlstandardtext");
    for (int marker : {0, 1, 2, 5, 22, 27, 30, 34, 36}) EXPECT_EQ(glob_get_config_info(marker), nullptr) << marker;
}

TEST_F(Config, ElementNamesSplitAtTheFirstDelimiter) {
    ASSERT_TRUE(set_item(xcfg_hdrelemnames, {"managedElement.localDn", "measInfo", "abc.", ".x", "a.b.c"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_hdrelemnames),
              (std::vector<std::string>{"managedElement|localDn", "measInfo", "abc", "|x", "a|b.c"}));
}

TEST_F(Config, AnotherDelimiterOrNone) {
    ASSERT_TRUE(set_item(xcfg_xmlnameattrdelimiter, {"#"}));
    ASSERT_TRUE(set_item(xcfg_hdrelemnames, {"a.b#c", "#"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_hdrelemnames), (std::vector<std::string>{"a.b|c", ""}));
    ASSERT_TRUE(glob_deinit());

    ASSERT_TRUE(set_item(xcfg_xmlnameattrdelimiter, {""}));
    ASSERT_TRUE(set_item(xcfg_hdrelemnames, {"a.b"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_hdrelemnames), (std::vector<std::string>{"a.b"}));
}

TEST_F(Config, NumbersOverTheirWholeText) {
    ASSERT_TRUE(set_item(xcfg_maxcntrnamesz, {"12a", "3145728", "", "007", "99999999999999999999999", "2147483648"}));
    ASSERT_TRUE(glob_init());
    const std::vector<std::int32_t> expected{0, 3145728, 0, 7, INT32_MAX, INT32_MAX};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(glob_getnum_value(xcfg_maxcntrnamesz, i), expected[i]) << i;
    EXPECT_EQ(main_code(), 0u) << main_message();
}

TEST_F(Config, PatternsWithTemplatesAndTheCombinedPattern) {
    ASSERT_TRUE(set_item(xcfg_altcntrnames, {"^pm(.*)$[]x$1", "a\\[]b", "[ab]c[]y", "^q$[]"}));
    ASSERT_TRUE(set_item(xcfg_outblkdesc, {"^x(\\d)$"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(main_code(), 0u) << main_message();
    EXPECT_STREQ(glob_getstr_regex(xcfg_altcntrnames, 0), "^pm(.*)$");
    EXPECT_STREQ(glob_getstr_regex(xcfg_altcntrnames, 1), "a\\[]b");
    EXPECT_STREQ(glob_getstr_regex(xcfg_altcntrnames, 2), "[ab]c");
    EXPECT_STREQ(glob_getstr_regex(xcfg_altcntrnames, 3), "^q$");

    a_pregex copy{};
    ASSERT_EQ(glob_get_regex(xcfg_altcntrnames, &copy, 0), &copy);
    EXPECT_STREQ(copy.grx_replace, "x$1");
    char buffer[64];
    EXPECT_STREQ(regex_replace_pregex(&copy, "pmRrcConn", buffer, sizeof buffer), "xRrcConn");
    ASSERT_NE(glob_get_regex(xcfg_altcntrnames, &copy, 1), nullptr);
    EXPECT_EQ(copy.grx_replace, nullptr);
    ASSERT_NE(glob_get_regex(xcfg_altcntrnames, &copy, 3), nullptr);
    EXPECT_STREQ(copy.grx_replace, "");

    // Value 0 is the newest pattern of the list; the combined pattern tells which matched.
    ASSERT_NE(glob_get_regex(xcfg_altcntrnames, &copy, 0), nullptr);
    EXPECT_EQ(regex_find_pregex(&copy, "pmX"), 0);
    EXPECT_EQ(regex_find_pregex(&copy, "bc"), 2);
    EXPECT_EQ(regex_find_pregex(&copy, "q"), 3);
    EXPECT_NE(glob_get_config(xcfg_altcntrnames)->xcf_extra, nullptr);
    // One pattern alone gets no combined pattern.
    EXPECT_NE(glob_get_config(xcfg_timestampdesc)->xcf_extra, nullptr);
    EXPECT_EQ(glob_get_config(xcfg_outblkdesc)->xcf_extra, nullptr);
    ASSERT_NE(glob_get_regex(xcfg_outblkdesc, &copy, 0), nullptr);
    EXPECT_EQ(regex_find_pregex(&copy, "x1"), 0);
}

TEST_F(Config, PatternThatDoesNotCompileStaysPendingAndIsNeverHandedOut) {
    ASSERT_TRUE(set_item(xcfg_altcntrnames, {"a", "(", "c"}));
    ASSERT_TRUE(glob_init());  // start-up succeeds; the error waits for the run
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_REGEX_COMPILE));
    EXPECT_NE(code_text().find("[regex_compile_pregex - conf.cpp:N] "), std::string::npos) << main_message();
    clear_main_area();

    // Compiled from the last value: "c" has its pattern, "(" and "a" none.
    a_pregex copy{};
    EXPECT_NE(glob_get_regex(xcfg_altcntrnames, &copy, 2), nullptr);
    EXPECT_EQ(glob_get_regex(xcfg_altcntrnames, &copy, 0), nullptr);
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_REGEX_NOPATTERN));
    EXPECT_EQ(glob_get_config(xcfg_altcntrnames)->xcf_extra, nullptr);
    EXPECT_STREQ(glob_getstr_regex(xcfg_altcntrnames, 1), "(");
}

TEST_F(Config, KeyValuePairs) {
    ASSERT_TRUE(set_item(xcfg_altoutblknames, {"A", "B", "C", "D", "A", "E"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(main_code(), 0u) << main_message();
    ASSERT_EQ(glob_getnum_config(xcfg_altoutblknames), 3);
    EXPECT_STREQ(glob_getkey_hash(xcfg_altoutblknames, 0), "A");
    EXPECT_STREQ(glob_getval_hash(xcfg_altoutblknames, 0), "B");
    EXPECT_STREQ(glob_getkey_hash(xcfg_altoutblknames, 1), "C");
    EXPECT_STREQ(glob_getval_hash(xcfg_altoutblknames, 1), "D");
    a_objhead* idx = glob_getindex_hash(xcfg_altoutblknames);
    ASSERT_NE(idx, nullptr);
    a_objidx* node = index_find_stridx(idx, "A");
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(static_cast<const char*>(node->poi_data), "E");  // a repeated key keeps the later value
    EXPECT_EQ(index_find_stridx(idx, "B"), nullptr);  // find-only: a miss inserts nothing
    EXPECT_EQ(index_find_stridx(idx, "B"), nullptr);
}

TEST_F(Config, OddKeyValueListStaysPendingWithoutIndex) {
    ASSERT_TRUE(set_item(xcfg_altoutblknames, {"A", "B", "C"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(code_text(),
              "ERROR: global - hash argument keys-values do not match [glob_prepare_hash - conf.cpp:N] ");
    clear_main_area();
    EXPECT_EQ(glob_getnum_config(xcfg_altoutblknames), 3);
    EXPECT_EQ(glob_getindex_hash(xcfg_altoutblknames), nullptr);
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_GLOB_INVALID));
    clear_main_area();
    // The texts still read as pairs where they exist.
    EXPECT_STREQ(glob_getkey_hash(xcfg_altoutblknames, 1), "C");
    EXPECT_EQ(glob_getval_hash(xcfg_altoutblknames, 1), nullptr);
    EXPECT_EQ(main_code(), 0u);
}

TEST_F(Config, AnItemIsSetOncePerCycle) {
    ASSERT_TRUE(set_item(xcfg_threadnum, {"2"}));
    EXPECT_FALSE(set_item(xcfg_threadnum, {"3"}));
    EXPECT_EQ(code_text(), "ERROR: global - attempt to set an assigned config item [glob_set_config - conf.cpp:N] ");
    clear_main_area();
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), 2);
    EXPECT_FALSE(set_item(xcfg_maxcntrnamesz, {"5"}));  // defaulted at start-up: set as well
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_GLOB_ASSIGNED));
    clear_main_area();

    // Released, the items can be set again.
    ASSERT_TRUE(glob_deinit());
    EXPECT_EQ(glob_get_config(xcfg_threadnum), nullptr);
    ASSERT_TRUE(set_item(xcfg_threadnum, {"3"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), 3);
}

TEST_F(Config, SettingIsRefusedForNoItemAndWhileAnErrorIsPending) {
    EXPECT_FALSE(set_item(xcfg_s_tag, {"x"}));
    EXPECT_EQ(code_text(), "ERROR: returned null [glob_get_config_ptr - conf.cpp:N] ");
    clear_main_area();
    EXPECT_FALSE(set_item(xcfg_s_last + 1, {"x"}));
    EXPECT_FALSE(glob_set_config(-1, nullptr));
    clear_main_area();

    error_set_message("earlier", ERR_SYSTEM);
    EXPECT_FALSE(set_item(xcfg_threadnum, {"3"}));
    EXPECT_EQ(glob_get_config(xcfg_threadnum), nullptr);
    clear_main_area();

    // An empty list sets the item with no values.
    ASSERT_TRUE(glob_set_config(xcfg_altcntrval, nullptr));
    EXPECT_EQ(glob_getnum_config(xcfg_altcntrval), 0);
}

TEST_F(Config, CopiesTheHostsTexts) {
    std::string value = "abc";
    ASSERT_TRUE(set_item(xcfg_altcntrval, {value}));
    const char* texts[] = {value.c_str(), nullptr};
    ASSERT_TRUE(glob_set_config(xcfg_xmlfilename, texts));
    value[0] = 'X';
    ASSERT_TRUE(glob_init());
    EXPECT_STREQ(glob_get_string(xcfg_xmlfilename, 0), "abc");
    EXPECT_STREQ(glob_get_string(xcfg_altcntrval, 0), "abc");
}

TEST_F(Config, HeapExhaustionWhileCopying) {
    mem_set_sysfault(2);  // the record succeeds, the first text copy fails
    EXPECT_FALSE(set_item(xcfg_altcntrval, {"a", "b"}));
    mem_set_sysfault(0);
    EXPECT_EQ(code_text(), "ERROR: system error [error desc - Cannot allocate memory] "
                           "[mem_sysmalloc - util2.cpp:N] [util2_strdup - conf.cpp:N] ");
    EXPECT_EQ(glob_get_config(xcfg_altcntrval), nullptr);
    clear_main_area();

    mem_set_sysfault(1);
    EXPECT_EQ(glob_generate_config(nullptr), nullptr);
    mem_set_sysfault(0);
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_SYSTEM));
    clear_main_area();

    // A default that cannot be made fails start-up at once, naming its table.
    ASSERT_TRUE(set_item(xcfg_xmldocumenttype, {"1"}));
    mem_set_sysfault(1);
    EXPECT_FALSE(glob_init());
    mem_set_sysfault(0);
    EXPECT_NE(code_text().find("[glob_generate_config - conf.cpp:N] "), std::string::npos)
        << main_message();
}

TEST_F(Config, EveryAccessorFailsOutsideItsKindAndRange) {
    ASSERT_TRUE(set_item(xcfg_counterlistdelimiter, {";", ","}));
    ASSERT_TRUE(glob_init());
    clear_main_area();

    struct probe {
        const char* what;
        bool failed;
    };
    a_pregex copy{};
    const std::vector<probe> probes = {
        {"getnum_config 0", glob_getnum_config(0) == -1},
        {"getnum_config 1", glob_getnum_config(1) == -1},
        {"getnum_config past the last", glob_getnum_config(xcfg_s_last + 1) == -1},
        {"getnum_config 1000", glob_getnum_config(1000) == -1},
        {"get_delim number", glob_get_delim(xcfg_maxcntrnamesz) == '\0'},
        {"get_delim two values", glob_get_delim(xcfg_counterlistdelimiter) == '\0'},
        {"getname_tagelem number", glob_getname_tagelem(xcfg_threadnum, 0) == nullptr},
        {"getname_tagelem range", glob_getname_tagelem(xcfg_measvalelemname, 1) == nullptr},
        {"getname_tagelem negative", glob_getname_tagelem(xcfg_measvalelemname, -1) == nullptr},
        {"getattr_tagelem string", glob_getattr_tagelem(xcfg_xmlfilename, 0) == nullptr},
        {"getnum_value tag", glob_getnum_value(xcfg_hdrelemnames, 0) == -1},
        {"getnum_value range", glob_getnum_value(xcfg_threadnum, 1) == -1},
        {"get_string regex", glob_get_string(xcfg_timestampdesc, 0) == nullptr},
        {"get_string range", glob_get_string(xcfg_xmlfilename, 0) == nullptr},
        {"get_regex hash", glob_get_regex(xcfg_altoutblknames, &copy, 0) == nullptr},
        {"get_regex range", glob_get_regex(xcfg_timestampdesc, &copy, 6) == nullptr},
        {"getstr_regex char", glob_getstr_regex(xcfg_xmlnameattrdelimiter, 0) == nullptr},
        {"getindex_hash regex", glob_getindex_hash(xcfg_altcntrnames) == nullptr},
        {"getindex_hash no pairs", glob_getindex_hash(xcfg_altoutblknames) == nullptr},
        {"getkey_hash range", glob_getkey_hash(xcfg_altoutblknames, 0) == nullptr},
        {"getval_hash marker", glob_getval_hash(xcfg_s_hash, 0) == nullptr},
    };
    for (const probe& p : probes) EXPECT_TRUE(p.failed) << p.what;
    // Every probe recorded code 36; the first one opened the message.
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_GLOB_INVALID));
    EXPECT_EQ(code_text().rfind("ERROR: global - requested configuration is invalid [0] [glob_getnum_config - conf.cpp:N] ", 0),
              0u)
        << main_message();
    EXPECT_NE(code_text().find("[9] [1] [glob_getname_tagelem - conf.cpp:N] "), std::string::npos);
    clear_main_area();

    // Markers are no request for values: 0 without a record.
    EXPECT_EQ(glob_getnum_config(xcfg_s_tag), 0);
    EXPECT_EQ(glob_getnum_config(xcfg_s_char), 0);
    EXPECT_EQ(glob_getnum_config(xcfg_s_hash), 0);
    EXPECT_EQ(main_code(), 0u);
    EXPECT_EQ(glob_get_config_ptr(xcfg_s_regex), nullptr);
    EXPECT_EQ(glob_get_config_ptr(99), nullptr);
}

TEST_F(Config, StartUpTwiceChangesNothing) {
    ASSERT_TRUE(set_item(xcfg_altcntrnames, {"^a$", "^b$"}));
    ASSERT_TRUE(glob_init());
    const a_xmlconfig* before = glob_get_config(xcfg_altcntrnames);
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_get_config(xcfg_altcntrnames), before);
    EXPECT_EQ(names(xcfg_measvalelemname), (std::vector<std::string>{"mv"}));
}

}  // namespace
