// The registry: message texts byte for byte, the call-trace chaining, the length limit,
// demotion to warnings with its caps, and the end-of-run merge across threads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "md_parse.h"
#include "md_xml.h"
#include "runtime_env.h"

namespace {

const auto* const env = ::testing::AddGlobalTestEnvironment(new threaded_runtime);

const std::string here = "error_test.cpp";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { reset_registry(); }
    void TearDown() override { reset_registry(); }
};

std::string funcname(const char* expression) {
    char buffer[64];
    error_get_funcname(expression, buffer, sizeof buffer);
    return buffer;
}

TEST(RegistryLocation, FunctionPartOfTheExpression) {
    EXPECT_EQ(funcname("(a_memblock_ptr)mem_sysmalloc(size)"), "mem_sysmalloc");
    EXPECT_EQ(funcname("meminfo == NULL"), "meminfo == NULL");
    EXPECT_EQ(funcname("mem_init"), "mem_init");
    EXPECT_EQ(funcname("  pthr_mutex_lock(&thr_info.th_memmtx)"), "pthr_mutex_lock");
    EXPECT_EQ(funcname("(int)read(filep->fi_fd, blockp->bi_buff, filep->fi_blocksz)"), "read");
    EXPECT_EQ(funcname("parse_prepare_elems(elem_list, tagtype_idxroot, cfg_type) == NULL"), "parse_prepare_elems");
    EXPECT_EQ(funcname("(a_measpair_ptr)measinfo_idxnode->poi_data"), "measinfo_idxnode->poi_data");
    EXPECT_EQ(funcname("*config != NULL"), "*config != NULL");
    char small[5];
    EXPECT_EQ(error_get_funcname("index_find_stridx(a, b)", small, sizeof small), small + 4);
    EXPECT_STREQ(small, "inde");

    char file[32];
    error_get_filename("/work/x/measdoc/lib/memory.cpp", file, sizeof file);
    EXPECT_STREQ(file, "memory.cpp");
    error_get_filename("index.cpp", file, sizeof file);
    EXPECT_STREQ(file, "index.cpp");
}

TEST_F(Registry, FirstFailureSetsPrefixAndEveryCallAppends) {
    const unsigned l1 = __LINE__ + 1;
    EXPECT_EQ(error_set_message("(a_str)thr_malloc(sizeof(a_char) * len)", ERR_SYSTEM, {err_errno(ENOMEM)}), ERR_SYSTEM);
    const unsigned l2 = __LINE__ + 1;
    error_set_message("parse_strdup(bcp)", ERR_NULL);
    EXPECT_EQ(main_code(), 1u);  // the first code wins
    EXPECT_EQ(main_text(), "ERROR: system error [error desc - Cannot allocate memory] " +
                               location("thr_malloc", here, l1) + location("parse_strdup", here, l2));
    EXPECT_TRUE(error_check_message(ERR_SYSTEM));
    EXPECT_FALSE(error_check_message(ERR_NULL));
}

TEST_F(Registry, EveryDetailKindPrintsItsItem) {
    char name[] = "measInfo";
    a_taginfo tag{};
    tag.ti_name.str = name;
    tag.ti_line = 17;
    char pname[] = "pmSetup";
    char pvalue[] = "12";
    char pattr[] = "p";
    a_measpair pair{pname, pvalue, 0, pattr, &tag, nullptr};
    a_tagcounter counter{41, 300};

    const unsigned line = __LINE__ + 1;
    error_set_message("xml_text", ERR_XML_ENDTAG,
                      {err_int(36), err_int(-5), err_errno(0), err_str("abc"), err_str(nullptr), err_tag(&tag),
                       err_tag(nullptr), err_pcrestr("missing )"), err_pcrestr(nullptr), err_pcreoff(4),
                       err_measpair(&pair), err_measpair(nullptr), err_tagcounter(&counter), err_tagcounter(nullptr)});
    EXPECT_EQ(main_text(),
              "ERROR: xml - unexpected end tag [36] [-5] [abc] [] [tag - measInfo:17] [message - missing )] "
              "[offset - 4] [measurement pair - pmSetup:12:p:] [tag - measInfo:17] [tag counter - 41:300] " +
                  location("xml_text", here, line));
}

TEST_F(Registry, UnknownDetailEndsTheList) {
    a_errdetail unknown{ERRD_UNKNOWN, {}};
    const unsigned line = __LINE__ + 1;
    error_set_message("glob_getnum_config", ERR_GLOB_INVALID, {err_int(1), unknown, err_int(2)});
    EXPECT_EQ(main_text(), "ERROR: global - requested configuration is invalid [1] " +
                               location("glob_getnum_config", here, line));
}

TEST_F(Registry, TextStopsAt1023Characters) {
    const std::string long_text(300, 'x');
    for (int i = 0; i < 10; ++i) error_set_message("f", ERR_NULL, {err_str(long_text.c_str())});
    const std::string full = main_text();
    EXPECT_EQ(full.size(), 1023u);
    EXPECT_EQ(full.rfind("ERROR: returned null [xxx", 0), 0u);
    error_set_message("g", ERR_SYSTEM, {err_int(1)});
    EXPECT_EQ(main_text(), full);
    EXPECT_EQ(thr_info.th_main.tr_error.text[1023], '\0');
}

TEST_F(Registry, ClearOnlyTheCurrentCode) {
    EXPECT_EQ(error_clear_message(0, false), 0u);
    error_set_message("f", ERR_CONDITION);
    EXPECT_EQ(error_clear_message(0, false), 4u);  // a query
    EXPECT_EQ(error_clear_message(5, false), 4u);  // another code: no change
    EXPECT_EQ(main_code(), 4u);
    EXPECT_EQ(error_clear_message(4, false), 4u);
    EXPECT_EQ(main_code(), 0u);
    ASSERT_TRUE(error_get_message());
    EXPECT_EQ(error_get_warnmsg(), nullptr);  // cleared, not demoted
    // After clearing, the next failure starts a new text.
    const unsigned line = __LINE__ + 1;
    error_set_message("g", ERR_NULL);
    EXPECT_EQ(main_text(), "ERROR: returned null " + location("g", here, line));
}

TEST_F(Registry, DemotedErrorKeepsItsItems) {
    const unsigned line = __LINE__ + 1;
    error_set_message("mem_init", ERR_MEM_PAGESIZE, {err_int(256)});
    EXPECT_EQ(error_clear_message(12, true), 12u);
    EXPECT_EQ(main_code(), 0u);
    ASSERT_NE(thr_info.th_main.tr_error.warnings, nullptr);
    EXPECT_EQ(std::string(thr_info.th_main.tr_error.warnings->text()),
              "WARN : memory - pagesize too small [256] " + location("mem_init", here, line));
    EXPECT_EQ(error_get_errmsg(), nullptr);
}

TEST_F(Registry, WarningCapAndRepeatedCodes) {
    // Alternate codes so that none repeats its predecessor; keep going past the cap.
    for (int i = 0; i < 230; ++i) {
        const a_errcode code = i % 2 ? ERR_REGEX_STUDY : ERR_MEM_PAGESIZE;
        error_set_message("w", code, {err_int(i)});
        error_clear_message(code, true);
    }
    const a_warninfo* newest = thr_info.th_main.tr_error.warnings;
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->first->count, 200u);
    EXPECT_NE(std::string(newest->text()).find(" [199] "), std::string::npos);  // the 200th kept

    reset_registry();
    error_set_message("a", ERR_REGEX_STUDY, {err_int(1)});
    error_clear_message(ERR_REGEX_STUDY, true);
    error_set_message("a", ERR_REGEX_STUDY, {err_int(2)});  // same code as the newest: dropped
    error_clear_message(ERR_REGEX_STUDY, true);
    error_set_message("a", ERR_MEM_PAGESIZE, {err_int(3)});
    error_clear_message(ERR_MEM_PAGESIZE, true);
    error_set_message("a", ERR_REGEX_STUDY, {err_int(4)});  // differs from the newest again: kept
    error_clear_message(ERR_REGEX_STUDY, true);
    ASSERT_TRUE(error_get_message());
    std::vector<std::string> texts;
    for (const char* t = error_get_warnmsg(); t != nullptr; t = error_get_warnmsg()) {
        texts.push_back(t);
        error_pop_warnmsg();
    }
    ASSERT_EQ(texts.size(), 3u);
    for (const auto& t : texts) EXPECT_EQ(t.find("[2]"), std::string::npos);
}

// Worker records, each thread recording under its own key.
struct worker_set {
    std::vector<a_thrrec> records;
    explicit worker_set(std::size_t n) : records(n) {
        for (auto& r : records) std::memset(static_cast<void*>(&r), 0, sizeof r);
        thr_info.th_main.tr_next = records.empty() ? nullptr : &records[0];
        for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].tr_next = &records[i + 1];
        thr_info.th_thrlist = &thr_info.th_main;
    }
    template <class F>
    void run(std::size_t i, F work) {
        std::thread t([&, i] {
            pthr_setspecific(thr_info.th_key, &records[i]);
            work();
        });
        t.join();
    }
    ~worker_set() {
        for (auto& r : records) error_free_warnings(&r.tr_error);
        thr_info.th_main.tr_next = nullptr;
        thr_info.th_thrlist = nullptr;
    }
};

void warn(const char* what, a_errcode code) {
    error_set_message("parse_process_data", code, {err_str(what)});
    error_clear_message(code, true);
}

TEST_F(Registry, MergeDropsDuplicatesAndOrdersDescending) {
    worker_set workers(2);
    warn("b-main", ERR_PARSE_NOMEASINFO);
    workers.run(0, [] {
        warn("same", ERR_PARSE_NOMEASVALUE);
        warn("c-worker", ERR_PARSE_NOMEASTYPE);
    });
    workers.run(1, [] {
        warn("same", ERR_PARSE_NOMEASVALUE);
        warn("a-worker", ERR_PARSE_NOMEASTYPE);
    });
    EXPECT_EQ(main_code(), 0u);  // each worker wrote its own area
    ASSERT_TRUE(error_get_message());
    std::vector<std::string> texts;
    for (const char* t = error_get_warnmsg(); t != nullptr; t = error_get_warnmsg()) {
        texts.push_back(t);
        error_pop_warnmsg();
    }
    ASSERT_EQ(texts.size(), 4u);
    for (std::size_t i = 1; i < texts.size(); ++i) EXPECT_GT(texts[i - 1], texts[i]);
    EXPECT_NE(texts[0].find("measurement value not found [same]"), std::string::npos);
    EXPECT_NE(texts[3].find("measurement information not found [b-main]"), std::string::npos);
    EXPECT_EQ(thr_info.th_main.tr_error.warnings, nullptr);
    EXPECT_EQ(workers.records[0].tr_error.warnings, nullptr);
    EXPECT_EQ(workers.records[1].tr_error.warnings, nullptr);
}

TEST_F(Registry, PublishedWorkerErrorBecomesTheMessage) {
    worker_set workers(1);
    unsigned line = 0;
    workers.run(0, [&line] {
        line = __LINE__ + 1;
        error_set_message("parse_process_all", ERR_PARSE_BADSECTION);
        thr_info.th_error = error_get_area();
    });
    ASSERT_TRUE(error_get_message());
    EXPECT_EQ(thr_info.th_error, &thr_info.th_main.tr_error);
    const char* message = error_get_errmsg();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message), "ERROR: parse - section data contains invalid tag name " +
                                        location("parse_process_all", here, line));
    EXPECT_EQ(error_get_errmsg(), nullptr);  // returned once
    EXPECT_EQ(error_clear_message(0, false), 0u);
}

}  // namespace
