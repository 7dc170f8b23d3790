// The configuration store where the host's tests do not reach it: the key/value index,
// an exhausted heap while values are copied and defaults made, and every accessor's
// failure value. (The default sets, every setter and the set-once rule are the Perl
// tests' configuration checks.)
#include <gtest/gtest.h>

#include <cerrno>
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

std::string code_text() { return without_lines(main_text()); }

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
        {"set_config past the last", !glob_set_config(xcfg_s_last + 1, nullptr)},
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
    reset_registry();
    EXPECT_EQ(glob_get_regex(xcfg_timestampdesc, nullptr, 0), nullptr);  // a pattern, but nowhere to copy it
    EXPECT_EQ(code_text(), "ERROR: condition error [33] [0] [record == NULL - conf.cpp:N] ");
}

}  // namespace
