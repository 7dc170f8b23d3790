// Test helpers: the part of the thread unit's start-up that the runtime needs (active
// locks, the thread key, the heap lock), and a clean registry between tests.
#ifndef MEASDOC_TESTS_RUNTIME_ENV_H
#define MEASDOC_TESTS_RUNTIME_ENV_H

#include <gtest/gtest.h>

#include <string>

#include "md_error.h"
#include "md_memory.h"
#include "md_posix.h"
#include "md_thread.h"

// Empties the reading thread's area and every warning list.
inline void reset_registry() {
    error_free_warnings(&thr_info.th_main.tr_error);
    error_free_warnmsgs();
    thr_info.th_main.tr_error.code = 0;
    thr_info.th_main.tr_error.cursor = nullptr;
    thr_info.th_main.tr_error.text[0] = '\0';
    thr_info.th_error = nullptr;
    thr_info.th_thrlist = nullptr;
}

// Locks acting as they do while workers run.
class threaded_runtime : public ::testing::Environment {
public:
    void SetUp() override {
        posix_init();
        ASSERT_EQ(pthr_mutexattr_init(&thr_info.th_mutattr), 0);
        ASSERT_EQ(pthr_mutexattr_settype(&thr_info.th_mutattr, PTHREAD_MUTEX_NORMAL), 0);
        ASSERT_EQ(pthr_key_create(&thr_info.th_key, nullptr), 0);
        ASSERT_EQ(pthr_mutex_init(&thr_info.th_memmtx, &thr_info.th_mutattr), 0);
    }
    void TearDown() override {
        reset_registry();
        pthr_mutex_destroy(&thr_info.th_memmtx);
        pthr_key_delete(thr_info.th_key);
        pthr_mutexattr_destroy(&thr_info.th_mutattr);
        posix_deinit();
    }
};

// The reading thread's current message.
inline std::string main_text() { return thr_info.th_main.tr_error.text; }
inline std::uint32_t main_code() { return thr_info.th_main.tr_error.code; }

// text with the line number of every location item replaced by N, for messages recorded
// inside the library, whose lines move with its sources.
inline std::string without_lines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] != ':') continue;
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        if (j > i + 1 && j < text.size() && text[j] == ']' && i >= 4 && text.compare(i - 4, 4, ".cpp") == 0) {
            out += 'N';
            i = j - 1;
        }
    }
    return out;
}

// Text of a location item for a call made at `line` of `file`.
inline std::string location(const std::string& function, const std::string& file, unsigned line) {
    return "[" + function + " - " + file + ":" + std::to_string(line) + "] ";
}

#endif
