// Worker threads through whole runs: how many workers each thread number gives, that every
// section is converted once and whole whatever the number of workers (the blocks' order
// is the conversion's test), stack sizes, a worker failing, hand-over refused after a
// failure, warnings merged across threads, pools per section, the reader held back while
// sections wait, shutdown without a run, start-up failures undone, and the error texts.
#include <gtest/gtest.h>

#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test_env.h"

namespace {

using Workers = PipelineTest;

// A root with `count` sections, each with a few children and attributes.
std::string sections(int count) {
    std::string content = "<?xml version=\"1.0\"?>\n<root>\n";
    for (int i = 0; i < count; ++i)
        content += "  <s n=\"" + std::to_string(i) + "\"><v>" + std::to_string(i * 3) + "</v><w k='x'>text " +
                   std::to_string(i) + "</w></s>\n";
    return content + "</root>\n";
}

int workers_in_list() {
    int count = 0;
    for (const a_thrrec* thr = thr_info.th_thrlist; thr != nullptr; thr = thr->tr_next)
        if (thr != &thr_info.th_main) ++count;
    return count;
}

TEST_F(Workers, ThreadNumberAndStackSizeGiveTheWorkers) {
    struct {
        const char *threads, *stack;
        int workers;
        std::size_t stack_size;
    } settings[] = {{"1", "1048576", 1, 1048576},      {"4", "16777216", 4, 3145728}, {"8", "8388608", 8, 8388608},
                    {"12", "99999999999", 2, 3145728}, {"0", "", 0, 0},                {"99999999999", "", 2, 0}};
    for (const auto& s : settings) {
        SCOPED_TRACE(std::string("threadNumber ") + s.threads + ", threadStackSize " + s.stack);
        item_list items{{xcfg_threadnum, {s.threads}}};
        if (*s.stack != '\0') items.push_back({xcfg_threadstacksize, {s.stack}});
        ASSERT_TRUE(start(sections(3), items)) << main_text();
        const int expected = thr_max_num == 0 ? 0 : s.workers;
        EXPECT_EQ(thr_worker_count(), expected);
        EXPECT_EQ(workers_in_list(), expected);
        EXPECT_EQ(thr_info.th_thrlist, &thr_info.th_main);
        std::size_t size = 0;
        EXPECT_EQ(s.stack_size > 0 ? pthr_attr_getstacksize(&thr_info.th_thrattr, &size) : 0, 0);
        EXPECT_EQ(size, s.stack_size);
        finish();  // without a run: the waiting workers are released and joined
        EXPECT_FALSE(posix_inited());
    }
    ASSERT_TRUE(start("<a/>", {}));
    EXPECT_EQ(thr_worker_count(), thr_max_num);  // the default
    EXPECT_TRUE(thr_run_xml());  // a file without sections
    EXPECT_TRUE(recorder::get().sections.empty());
    EXPECT_EQ(thr_worker_count(), 0);  // joined at the end of the run
    // A stack too small for any thread fails start-up, with everything undone.
    EXPECT_FALSE(start("<a/>", {{xcfg_threadstacksize, {"12a"}}}));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Invalid argument] [pthr_attr_setstacksize - thread.cpp:N] ");
    EXPECT_FALSE(posix_inited());
}

TEST_F(Workers, EverySectionOnceAndWhole) {
    constexpr int count = 300;
    for (const char* number : {"0", "1", "4", "12"}) {
        SCOPED_TRACE(std::string("threadNumber ") + number);
        recorder::get().reset();
        ASSERT_TRUE(run(sections(count), {{xcfg_threadnum, {number}}}, 64)) << main_text();
        const auto seen = recorder::get().by_seq();
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(count));
        std::set<std::thread::id> threads;
        for (int i = 0; i < count; ++i) {
            const auto n = [](int k) { return std::to_string(k); };
            const seen_section& one = seen[static_cast<std::size_t>(i)];
            EXPECT_EQ(one.dump, "1 #" + n(1 + 3 * i) + " @" + n(3 + i) + " <s> n=[" + n(i) + "]\n2 #" + n(2 + 3 * i) + " @" +
                                    n(3 + i) + " <v> text=[" + n(i * 3) + "]\n2 #" + n(3 + 3 * i) + " @" + n(3 + i) +
                                    " <w> k=[x] text=[text " + n(i) + "]\n");
            threads.insert(one.thread);
        }
        // Converted on the reading thread without workers, never on it with them.
        const bool inline_conversion = thr_max_num == 0 || std::string(number) == "0";
        EXPECT_EQ(threads.count(std::this_thread::get_id()), inline_conversion ? 1u : 0u);
        EXPECT_EQ(main_code(), 0u) << main_text();
        finish();
    }
}

TEST_F(Workers, DeepSectionReleasedOnASmallStack) {
    // Released by a worker with a stack of 1 MiB: any recursion per level would overflow it.
    constexpr int depth = 300000;
    std::string content = "<r><s>";
    for (int i = 0; i < depth; ++i) content += "<a>";
    for (int i = 0; i < depth; ++i) content += "</a>";
    content += "</s></r>";
    thr_set_converter(nullptr);
    EXPECT_TRUE(run(content, {{xcfg_threadnum, {"1"}}, {xcfg_threadstacksize, {"1048576"}}})) << main_text();
}

TEST_F(Workers, WorkerFailingOnItsFirstSection) {
    for (const char* number : {"0", "1", "4"}) {
        SCOPED_TRACE(std::string("threadNumber ") + number);
        recorder::get().reset();
        recorder::get().fail_first = true;
        EXPECT_FALSE(run(sections(200), {{xcfg_threadnum, {number}}}));
        const std::string message = main_text();
        EXPECT_EQ(message.rfind("ERROR: parse - section data contains invalid tag name [tag - s:", 0), 0u) << message;
        EXPECT_NE(message.find("[recording_converter - test_env.h:"), std::string::npos) << message;
        EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_PARSE_BADSECTION));
        // Alone, the failing thread stops at once: nothing more is converted.
        if (std::string(number) != "4" || thr_max_num == 0) {
            EXPECT_EQ(recorder::get().sections.size(), 1u);
        }
        finish();
    }
}

TEST_F(Workers, HandOverRefusedOncePublished) {
    ASSERT_TRUE(start("<a/>", {{xcfg_threadnum, {"2"}}}));
    a_taginfo section{};
    section.ti_depth = 2;
    EXPECT_TRUE(thr_add_task(&section));  // not a section: nothing to do
    a_errinfo failed{};
    failed.code = ERR_SYSTEM;
    auto publish = [](a_errinfo* area) {  // as a worker does: the workers read it meanwhile
        ASSERT_EQ(pthr_mutex_lock(&thr_info.th_errmtx), 0);
        thr_info.th_error = area;
        ASSERT_EQ(pthr_mutex_unlock(&thr_info.th_errmtx), 0);
    };
    publish(&failed);
    section.ti_depth = 1;
    EXPECT_FALSE(thr_add_task(&section));
    EXPECT_EQ(without_lines(main_text()), "ERROR: condition error [thr_info.th_error != NULL - thread.cpp:N] ");
    publish(nullptr);
    EXPECT_EQ(thr_info.th_data, nullptr);
}

// Demotes one warning per section, of three kinds over all sections.
a_measinfo* warning_converter(a_measinfo* list, a_taginfo* section) {
    const auto code = static_cast<a_errcode>(ERR_PARSE_NOMEASINFO + section->ti_seq / 3 % 3);
    error_set_message("warning_converter", code);
    error_clear_message(code, true);
    xml_free_taginfo(section);
    return list;
}

TEST_F(Workers, WarningsMergedAcrossThreads) {
    thr_set_converter(warning_converter);
    ASSERT_TRUE(run(sections(60), {{xcfg_threadnum, {"4"}}})) << main_text();
    std::vector<std::string> warnings;
    for (const char* w = error_get_warnmsg(); w != nullptr; w = error_get_warnmsg()) {
        warnings.push_back(without_lines(w));
        error_pop_warnmsg();
    }
    const std::string tail = "[warning_converter - thread_test.cpp:N] ";
    // Each text once, whichever threads gave it, greatest first.
    EXPECT_EQ(warnings, (std::vector<std::string>{"WARN : parse - measurement value not found " + tail,
                                                  "WARN : parse - measurement type not found " + tail,
                                                  "WARN : parse - measurement information not found " + tail}));
}

// Allocates for a section, abandons it, and checks the pool went back to its mark.
std::atomic<int> session_failures{0};
a_measinfo* session_converter(a_measinfo* list, a_taginfo* section) {
    auto* thr = static_cast<a_thrrec*>(pthr_getspecific(thr_info.th_key));
    const a_memblock* mark = thr->tr_meminfo.mei_block;
    auto* big = static_cast<unsigned char*>(thr_malloc(3 * 65536));
    if (big == nullptr || big[0] != 0 || big[3 * 65535] != 0) ++session_failures;  // zero-filled
    // Back to the mark: the block current when the section began (none for the thread's
    // first section, whose pool is then empty again).
    if (!thr_destroy_session() || (thr->tr_meminfo.mei_block != mark && thr->tr_meminfo.mei_block != nullptr))
        ++session_failures;
    xml_free_taginfo(section);
    return list;
}

TEST_F(Workers, AbandonedSectionLeavesNothingInThePool) {
    thr_set_converter(session_converter);
    session_failures = 0;
    ASSERT_TRUE(run(sections(40), {{xcfg_threadnum, {"3"}}})) << main_text();
    EXPECT_EQ(session_failures.load(), 0);
}

// A slow converter that notes how many sections wait on the stack while it works.
std::atomic<std::uint32_t> most_waiting{0};
a_measinfo* slow_converter(a_measinfo* list, a_taginfo* section) {
    if (pthr_mutex_lock(&thr_info.th_datamtx) == 0) {
        std::uint32_t waiting = 0;
        for (const a_xmldata* d = thr_info.th_data; d != nullptr; d = d->xd_next) ++waiting;
        pthr_mutex_unlock(&thr_info.th_datamtx);
        std::uint32_t seen = most_waiting.load();
        while (waiting > seen && !most_waiting.compare_exchange_weak(seen, waiting)) {
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return recording_converter(list, section);
}

TEST_F(Workers, ReaderWaitsWhileAsManySectionsWaitAsThereAreWorkers) {
    if (thr_max_num == 0) GTEST_SKIP() << "no workers in this build";
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        recorder::get().reset();
        most_waiting = 0;
        thr_set_converter(slow_converter);
        // The tokenizer is far faster than this converter: unchecked, it would stack up
        // nearly every section before the first is done.
        ASSERT_TRUE(run(sections(80), {{xcfg_threadnum, {std::to_string(workers)}}})) << main_text();
        EXPECT_EQ(recorder::get().sections.size(), 80u);
        EXPECT_GE(most_waiting.load(), 1u);
        // One more than the workers: the reader pushes, then waits.
        EXPECT_LE(most_waiting.load(), static_cast<std::uint32_t>(workers) + 1);
        finish();
    }
}

TEST_F(Workers, PoolNeedsAThreadRecord) {
    std::thread stranger([] {
        // Not a thread of the module: no record, no pool (recorded in the main area, as the
        // registry does for any thread without record).
        EXPECT_EQ(thr_malloc(8), nullptr);
        EXPECT_FALSE(thr_destroy_session());
    });
    stranger.join();
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: condition error [thr == NULL - thread.cpp:N] [thr == NULL - thread.cpp:N] ");
}

TEST_F(Workers, StartUpFailuresAreUndone) {
    if (thr_max_num == 0) GTEST_SKIP() << "no workers in this build";
    ASSERT_TRUE(set_item(xcfg_threadnum, {"4"}));
    ASSERT_TRUE(glob_init());
    posix_set_fault(posix_fault_call::create, 3, EAGAIN);  // the third worker cannot start
    EXPECT_FALSE(thr_init());
    posix_set_fault(posix_fault_call::create, 0, 0);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Resource temporarily unavailable] [pthr_create - thread.cpp:N] ");
    EXPECT_EQ(thr_worker_count(), 0);
    EXPECT_FALSE(posix_inited());
    reset_registry();

    posix_set_fault(posix_fault_call::mutex_init, 2, ENOMEM);  // th_peermtx
    EXPECT_FALSE(thr_init());
    posix_set_fault(posix_fault_call::mutex_init, 0, 0);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [pthr_mutex_init - thread.cpp:N] ");
    reset_registry();

    // Nothing was left behind: start-up works again.
    ASSERT_TRUE(thr_init());
    EXPECT_EQ(thr_worker_count(), 4);
    EXPECT_TRUE(thr_deinit());
    EXPECT_TRUE(glob_deinit());
}

// The system's error texts that messages quote: cut to the buffer, and refused without one.
TEST(Posix, ErrorTextsFitTheirBuffer) {
    const std::string expected = std::strerror(EINVAL);
    std::array<char, 64> text{};
    EXPECT_EQ(posix_strerror(EINVAL, text.data(), text.size()), 0);
    EXPECT_EQ(std::string(text.data()), expected);
    std::array<char, 4> small{};
    EXPECT_EQ(posix_strerror(EINVAL, small.data(), small.size()), 0);
    EXPECT_EQ(std::string(small.data()), expected.substr(0, small.size() - 1));
    EXPECT_EQ(posix_strerror(EINVAL, nullptr, text.size()), -1);
    EXPECT_EQ(posix_strerror(EINVAL, text.data(), 0), -1);
}

}  // namespace
