// The runtime below the parse side: fixed-width numbers, the pools and the locked heap on
// their failure paths, and the error registry's texts, limits and demotion to warnings.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "md_util.h"
#include "test_env.h"

namespace {

class Runtime : public RuntimeTest {};

TEST_F(Runtime, CompareTellsEqualityOnlyAndFoldsBitFive) {
    struct {
        const char *a, *b;
        int cmp, casecmp;
    } cases[] = {{"abc", "abd", -1, -1}, {"abd", "abc", -1, -1}, {"abc", "abc", 0, 0},   {"", "", 0, 0},
                 {"ab", "abc", -1, -1},  {"abc", "ab", -1, -1},  {"Meas", "mEAS", -1, 0}, {"@[", "`{", -1, 0},
                 // A blank folds onto the terminator: the comparison must end there all the same.
                 {"a", "a ", -1, -1},    {"a ", "a", -1, -1},    {"a\0b", "a b", -1, -1}, {"a b", "a\0b", -1, -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(util_strcmp(c.a, c.b), c.cmp) << c.a << "|" << c.b;
        EXPECT_EQ(util_strcasecmp(c.a, c.b), c.casecmp) << c.a << "|" << c.b;
    }
}

// Requests come aligned and rounded up to the grain, one after the other while the block
// has room; the block size grows when asked, never shrinks.
TEST_F(Runtime, PoolServesAlignedRoundedRequests) {
    a_meminfo pool{};
    ASSERT_TRUE(mem_init(&pool));
    auto take = [&pool](std::size_t size) { return static_cast<char*>(mem_malloc(&pool, size)); };
    char* a = take(1);
    char* b = take(0);
    char* c = take(mem_grain + 1);
    char* d = take(1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % mem_grain, 0u);
    EXPECT_EQ(b, a + mem_grain);  // one byte takes a grain, zero bytes nothing
    EXPECT_EQ(c, b);
    EXPECT_EQ(d, c + 2 * mem_grain);
    // What fits exactly is served in place; the next request opens a block.
    a_memblock* full = pool.mei_block;
    char* cur = full->cur;
    EXPECT_EQ(take(static_cast<std::size_t>(full->end - cur)), cur);
    EXPECT_EQ(full->next, nullptr);
    take(1);
    EXPECT_EQ(pool.mei_block->next, full);
    const std::uint32_t page = pool.mei_pagesz;
    ASSERT_TRUE(mem_set_blocksize(&pool, 16 * page));
    EXPECT_EQ(pool.mei_pagesz, 16 * page);
    ASSERT_TRUE(mem_set_blocksize(&pool, 16));  // never smaller again
    EXPECT_EQ(pool.mei_pagesz, 16 * page);
    EXPECT_TRUE(mem_destroy(&pool, false));
}

TEST_F(Runtime, FixedWidthNumbersPadOrRefuse) {
    struct {
        int width;
        std::int64_t value;
        const char* text;  // "" : nothing written
    } cases[] = {{4, 7, "0007"},     {2, 123, ""},      {3, 123, "123"},   {1, 0, "0"},     {0, 123, "123"},
                 {0, 0, "0"},        {-4, 123, "123"},  {-4, 1234, ""},    {~11, INT_MAX, "2147483647"},
                 {0, -42, "-42"},    {4, -7, "-007"},   {2, -7, "-7"},     {2, -10, ""},    {-3, -7, "-7"},
                 {-3, -70, ""},      {0, INT64_MIN, "-9223372036854775808"}};
    for (const auto& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        const char* end = util_int2decnstr(buffer, c.width, c.value);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(end - buffer)), c.text) << c.width << " " << c.value;
        if (end == buffer) {
            EXPECT_EQ(buffer[0], '#');  // nothing written
        }
    }
    const char* stamp = "20050301x";
    const char* pos = stamp;
    EXPECT_EQ(util_decnstr2int(&pos, 4, -1), 2005);
    EXPECT_EQ(util_decnstr2int(&pos, 2, -1), 3);
    EXPECT_EQ(pos, stamp + 6);
    EXPECT_EQ(util_decnstr2int(&pos, 3, -1), -1);  // "x" is no digit: nothing consumed
    EXPECT_EQ(util_decnstr2int(&pos, 9, -7), -7);  // the end comes first
    EXPECT_EQ(util_decnstr2int(&pos, 0, -1), 0);
    EXPECT_EQ(pos, stamp + 6);
}

TEST_F(Runtime, ExhaustedHeapIsRecordedWithItsTrace) {
    char* copy = util2_strdup("measInfo");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "measInfo");
    mem_sysfree(copy);
    mem_set_sysfault(1);
    EXPECT_EQ(util2_strdup("x"), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [mem_sysmalloc - util2.cpp:N] ");
    reset_registry();

    a_meminfo pool{};
    ASSERT_TRUE(mem_init(&pool));
    mem_malloc(&pool, 100);
    const a_memblock* block = pool.mei_block;
    char* cur = block->cur;
    mem_set_sysfault(1);
    EXPECT_EQ(mem_malloc(&pool, 2 * pool.mei_pagesz), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] "
              "[mem_sysmalloc - memory.cpp:N] [mem_new_memblock - memory.cpp:N] ");
    EXPECT_EQ(pool.mei_block, block);  // the chain as it was
    EXPECT_EQ(block->cur, cur);
    reset_registry();
    EXPECT_NE(mem_malloc(&pool, 2 * pool.mei_pagesz), nullptr);  // still usable
    EXPECT_EQ(mem_malloc(&pool, SIZE_MAX - 2), nullptr);          // refused, not wrapped
    EXPECT_EQ(main_code(), 1u);
    EXPECT_TRUE(mem_destroy(&pool, false));
}

TEST_F(Runtime, PoolDescriptorsAndPageSize) {
    a_meminfo pool{};
    EXPECT_TRUE(mem_destroy(&pool, false));
    EXPECT_TRUE(mem_destroy(&pool, true));
    EXPECT_FALSE(mem_set_blocksize(&pool, 65536));  // not initialised
    EXPECT_EQ(without_lines(main_text()), "ERROR: memory - thread info block is empty [meminfo == NULL - memory.cpp:N] ");
    reset_registry();
    EXPECT_FALSE(mem_destroy(nullptr, false));
    EXPECT_EQ(without_lines(main_text()), "ERROR: memory - thread info block is empty [meminfo == NULL - memory.cpp:N] ");
    reset_registry();
    a_memblock fake{};
    a_meminfo broken{};
    broken.mei_separator = &fake;
    EXPECT_FALSE(mem_destroy(&broken, true));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: memory - thread info block corrupted "
              "[block == NULL && meminfo->mei_separator != NULL - memory.cpp:N] ");
    reset_registry();

    mem_set_pagesize(256);
    ASSERT_TRUE(mem_init(&pool));
    mem_set_pagesize(0);
    EXPECT_EQ(pool.mei_pagesz, mem_fallback_pagesz);
    EXPECT_EQ(main_code(), 0u);  // never fatal
    ASSERT_TRUE(error_get_message());
    ASSERT_NE(error_get_warnmsg(), nullptr);
    EXPECT_EQ(without_lines(error_get_warnmsg()), "WARN : memory - pagesize too small [256] [mem_init - memory.cpp:N] ");
    EXPECT_TRUE(mem_destroy(&pool, false));
}

TEST_F(Runtime, HeapLockFailuresAreRecordedAndLeakNothing) {
    posix_set_fault(posix_fault_call::mutex_lock, 1, EINVAL);
    EXPECT_EQ(mem_sysmalloc(64), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Invalid argument] [pthr_mutex_lock - memory.cpp:N] ");
    reset_registry();
    // The unlock fails after the heap has served: the caller sees a failure and owns
    // nothing (the sanitizer build's leak check watches this).
    posix_set_fault(posix_fault_call::mutex_unlock, 1, EPERM);
    EXPECT_EQ(mem_sysmalloc(64), nullptr);
    EXPECT_EQ(main_code(), 1u);
    reset_registry();
    void* p = mem_sysmalloc(32);
    ASSERT_NE(p, nullptr);
    posix_set_fault(posix_fault_call::mutex_lock, 1, EINVAL);
    mem_sysfree(p);  // recorded, and freed all the same
    EXPECT_EQ(main_code(), 1u);
    reset_registry();

    a_meminfo pool{};
    posix_set_fault(posix_fault_call::mutex_lock, 1, EAGAIN);
    EXPECT_FALSE(mem_init(&pool));
    EXPECT_EQ(pool.mei_block, nullptr);
    // One location per function on the way out, innermost first.
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Resource temporarily unavailable] "
              "[pthr_mutex_lock - memory.cpp:N] [error desc - Resource temporarily unavailable] "
              "[mem_sysmalloc - memory.cpp:N] [mem_new_memblock - memory.cpp:N] ");
}

TEST_F(Runtime, FirstFailureSetsThePrefixAndEveryCallAppends) {
    const std::string here = "runtime_test.cpp:N] ";
    error_set_message("(a_str)thr_malloc(sizeof(a_char) * len)", ERR_SYSTEM, {err_errno(ENOMEM)});
    EXPECT_EQ(error_set_message("parse_strdup(bcp)", ERR_NULL), ERR_NULL);
    EXPECT_EQ(main_code(), 1u);  // the first code wins
    EXPECT_EQ(without_lines(main_text()), "ERROR: system error [error desc - Cannot allocate memory] [thr_malloc - " +
                                              here + "[parse_strdup - " + here);
    EXPECT_TRUE(error_check_message(ERR_SYSTEM));
    EXPECT_FALSE(error_check_message(ERR_NULL));
    reset_registry();

    char name[] = "measInfo", pname[] = "pmSetup", pvalue[] = "12", pattr[] = "p";
    a_taginfo tag{};
    tag.ti_name.str = name;
    tag.ti_line = 17;
    a_measpair pair{pname, pvalue, 0, pattr, &tag, nullptr};
    a_tagcounter counter{41, 300};
    a_errdetail unknown{ERRD_UNKNOWN, {}};
    error_set_message("xml_text", ERR_XML_ENDTAG,
                      {err_int(36), err_int(-5), err_errno(0), err_str("abc"), err_str(nullptr), err_tag(&tag),
                       err_tag(nullptr), err_pcrestr("missing )"), err_pcrestr(nullptr), err_pcreoff(4),
                       err_measpair(&pair), err_measpair(nullptr), err_tagcounter(&counter), err_tagcounter(nullptr),
                       unknown, err_int(2)});
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: xml - unexpected end tag [36] [-5] [abc] [] [tag - measInfo:17] [message - missing )] "
              "[offset - 4] [measurement pair - pmSetup:12:p:] [tag - measInfo:17] [tag counter - 41:300] "
              "[xml_text - " + here);
    reset_registry();

    // The text stops at 1023 characters, and stays as it is once full.
    const std::string long_text(300, 'x');
    for (int i = 0; i < 10; ++i) error_set_message("f", ERR_NULL, {err_str(long_text.c_str())});
    const std::string full = main_text();
    EXPECT_EQ(full.size(), 1023u);
    EXPECT_EQ(full.rfind("ERROR: returned null [xxx", 0), 0u);
    error_set_message("g", ERR_SYSTEM, {err_int(1)});
    EXPECT_EQ(main_text(), full);

    // A location's parts come from the expression's and the path's own text only.
    char part[16];
    for (const char* cut : {"   f(x)", "(c)   f(x)"})  // blanks beyond the view are not its own
        EXPECT_EQ(error_get_funcname(std::string_view(cut, 3), part, sizeof part), part) << cut;
    EXPECT_EQ(error_get_funcname(" (a_str) thr_malloc(n)", part, sizeof part), part + 10);
    EXPECT_STREQ(part, "thr_malloc");
    EXPECT_EQ(error_get_filename(std::string_view("lib/x.cpp/y", 9), part, 4), part + 3);
    EXPECT_STREQ(part, "x.c");
}

TEST_F(Runtime, ClearingAndDemotingTheCurrentCode) {
    EXPECT_EQ(error_clear_message(0, false), 0u);
    error_set_message("f", ERR_CONDITION);
    EXPECT_EQ(error_clear_message(0, false), 4u);  // a query
    EXPECT_EQ(error_clear_message(5, false), 4u);  // another code: no change
    EXPECT_EQ(error_clear_message(4, false), 4u);
    EXPECT_EQ(main_code(), 0u);
    ASSERT_TRUE(error_get_message());
    EXPECT_EQ(error_get_warnmsg(), nullptr);  // cleared, not demoted
    error_set_message("g", ERR_NULL);
    EXPECT_EQ(without_lines(main_text()), "ERROR: returned null [g - runtime_test.cpp:N] ");  // a new text
    reset_registry();

    error_set_message("mem_init", ERR_MEM_PAGESIZE, {err_int(256)});
    EXPECT_EQ(error_clear_message(12, true), 12u);
    EXPECT_EQ(main_code(), 0u);
    ASSERT_NE(thr_info.th_main.tr_error.warnings, nullptr);
    EXPECT_EQ(without_lines(thr_info.th_main.tr_error.warnings->text()),
              "WARN : memory - pagesize too small [256] [mem_init - runtime_test.cpp:N] ");
    EXPECT_EQ(error_get_errmsg(), nullptr);
}

TEST_F(Runtime, WarningsStopAtTheCapAndDropARepeatOfTheNewest) {
    for (int i = 0; i < 230; ++i) {  // alternating, so that none repeats its predecessor
        const a_errcode code = i % 2 ? ERR_REGEX_STUDY : ERR_MEM_PAGESIZE;
        error_set_message("w", code, {err_int(i)});
        error_clear_message(code, true);
    }
    const a_warninfo* newest = thr_info.th_main.tr_error.warnings;
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->first->count, 200u);
    EXPECT_NE(std::string(newest->text()).find(" [199] "), std::string::npos);  // the 200th kept
    reset_registry();

    for (auto [code, item] : {std::pair{ERR_REGEX_STUDY, 1}, {ERR_REGEX_STUDY, 2}, {ERR_MEM_PAGESIZE, 3},
                              {ERR_REGEX_STUDY, 4}}) {
        error_set_message("a", code, {err_int(item)});
        error_clear_message(code, true);
    }
    ASSERT_TRUE(error_get_message());
    std::vector<std::string> texts;
    for (const char* t = error_get_warnmsg(); t != nullptr; t = error_get_warnmsg()) {
        texts.push_back(t);
        error_pop_warnmsg();
    }
    ASSERT_EQ(texts.size(), 3u);
    for (const auto& t : texts) EXPECT_EQ(t.find("[2]"), std::string::npos);
}

}  // namespace
