// The configuration store: the default sets of both layouts, how values are prepared
// (element names split, numbers read, the key/value index), the setting rules, and every
// accessor's failure value. (Patterns are the renames' and the block names' tests.)
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "md_index.h"
#include "test_env.h"

namespace {

class Config : public ::testing::Test {
protected:
    void SetUp() override {
        reset_registry();
        ASSERT_TRUE(regex_init());
    }
    void TearDown() override {
        EXPECT_TRUE(glob_deinit());
        regex_deinit();
        mem_set_sysfault(0);
        reset_registry();
    }
};

// The element names of an item, "name|attribute" where an attribute is named.
std::string names(int type) {
    std::vector<std::string> out;
    for (int i = 0; i < glob_getnum_config(type); ++i) {
        const char* attr = glob_getattr_tagelem(type, i);
        out.push_back(std::string(glob_getname_tagelem(type, i)) + (attr ? std::string("|") + attr : ""));
    }
    return join(out);
}

std::string code_text() { return without_lines(main_text()); }

TEST_F(Config, DefaultsOfEachLayout) {
    struct {
        const char* layout;
        int type;
        const char* names;
    } cases[] = {
        {"0", xcfg_measvalelemname, "mv"},
        {"0", xcfg_hdrelemnames, "vn st ts nedn cbt sn ffv"},
        {"0", xcfg_uniquepifhdrelemnames, "mts gp moid"},
        {"0", xcfg_distnameelemnames, "sn nedn moid"},
        {"0", xcfg_normcntrelemnames, "mt r"},
        {"0", xcfg_suspectflagelemname, "sf"},
        {"0", xcfg_delimcntrelemnames, ""},
        {"1", xcfg_measvalelemname, "measValue"},
        {"1", xcfg_hdrelemnames,
         "fileHeader|vendorName fileSender|elementType measCollec|endTime fileHeader|dnPrefix managedElement|localDn "
         "measCollec|beginTime fileHeader|dnPrefix fileSender|localDn fileHeader|fileFormatVersion"},
        {"1", xcfg_uniquepifhdrelemnames, "granPeriod|endTime granPeriod|duration measValue|measObjLdn"},
        {"1", xcfg_delimcntrelemnames, "measResults measTypes"},
        {"1", xcfg_normcntrelemnames, "measType r"},
        {"1", xcfg_suspectflagelemname, "Suspect"},
        {"1", xcfg_instanceobject, "measValue|measObjLdn"},
        {"1", xcfg_measdatelemname, "measData"},
        {"1", xcfg_meashdrelemname, "fileHeader"},
        {"1", xcfg_measftrelemname, "fileFooter"},
        {"2", xcfg_uniquepifblkelemname, "mi"},
    };
    for (const char* layout : {"", "0", "1", "2"}) {
        ASSERT_TRUE(*layout == '\0' || set_item(xcfg_xmldocumenttype, {layout}));
        ASSERT_TRUE(glob_init());
        EXPECT_EQ(main_code(), 0u) << main_text();
        for (const auto& c : cases) {
            if (std::string(c.layout) != (*layout != '\0' ? layout : "0")) continue;
            EXPECT_EQ(names(c.type), c.names) << layout;
        }
        EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), thr_max_num);
        ASSERT_TRUE(glob_deinit());
    }
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_getnum_config(xcfg_timestampctrelemnames), 0);
    EXPECT_EQ(glob_get_delim(xcfg_xmlnameattrdelimiter), '.');
    EXPECT_EQ(glob_get_delim(xcfg_counterlistdelimiter), ' ');
    EXPECT_EQ(glob_getnum_value(xcfg_maxcntrnamesz, 0), 60);
    EXPECT_EQ(glob_getnum_value(xcfg_xmldocumenttype, 0), 0);
    EXPECT_EQ(glob_getnum_value(xcfg_threadstacksize, 0), 3145728);
    // Items without default still have a record after start-up, with no values.
    for (int type : {xcfg_altcntrval, xcfg_xmlfilename, xcfg_outblkdesc, xcfg_altcntrnames, xcfg_altoutblknames,
                     xcfg_counterpositionattr}) {
        EXPECT_NE(glob_get_config(type), nullptr) << type;
        EXPECT_EQ(glob_getnum_config(type), 0) << type;
    }
    ASSERT_EQ(glob_getnum_config(xcfg_timestampdesc), 6);
    EXPECT_STREQ(glob_getstr_regex(xcfg_timestampdesc, dcfg_monthdesc),
                 "^20\\d{2}(\\d{2})\\d{2}\\d{2}\\d{2}\\d{2}\\.\\d+?\\+\\d{4}?$");
    // The items added later are off unless set.
    for (int type : {xcfg_counterlistwhitespace, xcfg_plainobjectnames, xcfg_qualifiedheadernames})
        EXPECT_EQ(glob_getnum_value(type, 0), 0) << type;
    // A host value replaces the default; starting twice changes nothing.
    const a_xmlconfig* before = glob_get_config(xcfg_measvalelemname);
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_get_config(xcfg_measvalelemname), before);
    ASSERT_TRUE(glob_deinit());
    ASSERT_TRUE(set_item(xcfg_measvalelemname, {"row", "line"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(names(xcfg_measvalelemname), "row line");
}

TEST_F(Config, ValuesArePreparedByKind) {
    const struct {
        const char* delimiter;  // nullptr: the default
        std::vector<std::string> values;
        const char* names;
    } splits[] = {
        {nullptr, {"managedElement.localDn", "measInfo", "abc.", ".x", "a.b.c"}, "managedElement|localDn measInfo abc |x a|b.c"},
        {"#", {"a.b#c", "#"}, "a.b|c "},
        {"", {"a.b"}, "a.b"},
    };
    for (const auto& c : splits) {
        ASSERT_TRUE(c.delimiter == nullptr || set_item(xcfg_xmlnameattrdelimiter, {c.delimiter}));
        ASSERT_TRUE(set_item(xcfg_hdrelemnames, c.values));
        ASSERT_TRUE(glob_init());
        EXPECT_EQ(names(xcfg_hdrelemnames), c.names);
        ASSERT_TRUE(glob_deinit());
    }
    // Numbers over their whole text, held at the largest.
    ASSERT_TRUE(set_item(xcfg_maxcntrnamesz, {"12a", "3145728", "", "007", "99999999999999999999999", "2147483648"}));
    ASSERT_TRUE(glob_init());
    const std::int32_t expected[] = {0, 3145728, 0, 7, INT32_MAX, INT32_MAX};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(glob_getnum_value(xcfg_maxcntrnamesz, i), expected[i]) << i;
    EXPECT_EQ(main_code(), 0u) << main_text();
}

TEST_F(Config, KeyValuePairsWithTheirIndex) {
    ASSERT_TRUE(set_item(xcfg_altoutblknames, {"A", "B", "C", "D", "A", "E"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(main_code(), 0u) << main_text();
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
    ASSERT_TRUE(glob_deinit());

    // An odd list stays pending, without index.
    ASSERT_TRUE(set_item(xcfg_altoutblknames, {"A", "B", "C"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(code_text(),
              "ERROR: global - hash argument keys-values do not match [glob_prepare_hash - conf.cpp:N] ");
    reset_registry();
    EXPECT_EQ(glob_getnum_config(xcfg_altoutblknames), 3);
    EXPECT_EQ(glob_getindex_hash(xcfg_altoutblknames), nullptr);
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_GLOB_INVALID));
    reset_registry();
    // The texts still read as pairs where they exist.
    EXPECT_STREQ(glob_getkey_hash(xcfg_altoutblknames, 1), "C");
    EXPECT_EQ(glob_getval_hash(xcfg_altoutblknames, 1), nullptr);
    EXPECT_EQ(main_code(), 0u);
}

TEST_F(Config, AnItemIsSetOncePerCycleAndOnlyAnItem) {
    ASSERT_TRUE(set_item(xcfg_threadnum, {"2"}));
    EXPECT_FALSE(set_item(xcfg_threadnum, {"3"}));
    EXPECT_EQ(code_text(), "ERROR: global - attempt to set an assigned config item [glob_set_config - conf.cpp:N] ");
    reset_registry();
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), 2);
    EXPECT_FALSE(set_item(xcfg_maxcntrnamesz, {"5"}));  // defaulted at start-up: set as well
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_GLOB_ASSIGNED));
    reset_registry();

    // Released, the items can be set again.
    ASSERT_TRUE(glob_deinit());
    EXPECT_EQ(glob_get_config(xcfg_threadnum), nullptr);
    ASSERT_TRUE(set_item(xcfg_threadnum, {"3"}));
    ASSERT_TRUE(glob_init());
    EXPECT_EQ(glob_getnum_value(xcfg_threadnum, 0), 3);
    ASSERT_TRUE(glob_deinit());

    // Refused for no item and while an error is pending.
    EXPECT_FALSE(set_item(xcfg_s_tag, {"x"}));
    EXPECT_EQ(code_text(), "ERROR: returned null [glob_get_config_ptr - conf.cpp:N] ");
    reset_registry();
    EXPECT_FALSE(set_item(xcfg_s_last + 1, {"x"}));
    EXPECT_FALSE(glob_set_config(-1, nullptr));
    reset_registry();

    error_set_message("earlier", ERR_SYSTEM);
    EXPECT_FALSE(set_item(xcfg_threadnum, {"3"}));
    EXPECT_EQ(glob_get_config(xcfg_threadnum), nullptr);
    reset_registry();

    // An empty list sets the item with no values.
    ASSERT_TRUE(glob_set_config(xcfg_altcntrval, nullptr));
    EXPECT_EQ(glob_getnum_config(xcfg_altcntrval), 0);
}

TEST_F(Config, HeapExhaustionWhileCopying) {
    mem_set_sysfault(2);  // the record succeeds, the first text copy fails
    EXPECT_FALSE(set_item(xcfg_altcntrval, {"a", "b"}));
    mem_set_sysfault(0);
    EXPECT_EQ(code_text(), "ERROR: system error [error desc - Cannot allocate memory] "
                           "[mem_sysmalloc - util2.cpp:N] [util2_strdup - conf.cpp:N] ");
    EXPECT_EQ(glob_get_config(xcfg_altcntrval), nullptr);
    reset_registry();

    mem_set_sysfault(1);
    EXPECT_EQ(glob_generate_config(nullptr), nullptr);
    mem_set_sysfault(0);
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_SYSTEM));
    reset_registry();

    // A default that cannot be made fails start-up at once, naming its table.
    ASSERT_TRUE(set_item(xcfg_xmldocumenttype, {"1"}));
    mem_set_sysfault(1);
    EXPECT_FALSE(glob_init());
    mem_set_sysfault(0);
    EXPECT_NE(code_text().find("[glob_generate_config - conf.cpp:N] "), std::string::npos)
        << main_text();
}

TEST_F(Config, EveryAccessorFailsOutsideItsKindAndRange) {
    ASSERT_TRUE(set_item(xcfg_counterlistdelimiter, {";", ","}));
    ASSERT_TRUE(glob_init());
    reset_registry();

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
        << main_text();
    EXPECT_NE(code_text().find("[9] [1] [glob_getname_tagelem - conf.cpp:N] "), std::string::npos);
}

}  // namespace
