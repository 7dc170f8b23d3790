// Tests of the host unit without Perl, where the Perl tests cannot reach it: an exhausted
// heap while values are queued and committed, and a worker that cannot be made.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "host.h"
#include "test_env.h"

namespace {

int queue(const std::string& value) { return measdoc_add_config(value.c_str(), value.size()); }

std::vector<std::string> strings_of(int type) {
    std::vector<std::string> values;
    for (std::int32_t i = 0; i < glob_getnum_config(type); ++i) values.emplace_back(glob_get_string(type, i));
    return values;
}

// Takes the pending message, as measdoc_error does.
std::string take_error() {
    const char* text = error_get_errmsg();
    return text != nullptr ? text : "";
}

class Host : public ::testing::Test {
protected:
    void TearDown() override {
        mem_set_sysfault(0);
        measdoc_cleanup_config();
        EXPECT_EQ(measdoc_deinit(), 0) << take_error();
        reset_registry();
    }
};

TEST_F(Host, ExhaustedHeapWhileQueuingDiscardsTheQueue) {
    ASSERT_EQ(queue("kept until the failure"), 0);
    mem_set_sysfault(1);  // the node
    EXPECT_EQ(queue("x"), 1);
    EXPECT_EQ(measdoc_pending_config(), 0u);
    std::string message = take_error();
    EXPECT_EQ(message.rfind("ERROR: returned null [mem_sysmalloc - host.cpp:", 0), 0u) << message;

    ASSERT_EQ(queue("kept until the failure"), 0);
    mem_set_sysfault(2);  // the copy of the value
    EXPECT_EQ(queue("x"), 1);
    EXPECT_EQ(measdoc_pending_config(), 0u);
    message = take_error();
    EXPECT_EQ(message.rfind("ERROR: system error ", 0), 0u) << message;
    EXPECT_NE(message.find("[util2_strdup - host.cpp:"), std::string::npos) << message;

    // The queue works again afterwards.
    ASSERT_EQ(queue("y"), 0);
    EXPECT_EQ(measdoc_set_config(xcfg_altcntrval), 0);
    EXPECT_EQ(strings_of(xcfg_altcntrval), (std::vector<std::string>{"y"}));
}

TEST_F(Host, ExhaustedHeapWhileCommittingLeavesTheItemUnset) {
    ASSERT_EQ(queue("a"), 0);
    ASSERT_EQ(queue("b"), 0);
    mem_set_sysfault(1);  // the array of texts
    EXPECT_EQ(measdoc_set_config(xcfg_altcntrval), 1);
    EXPECT_EQ(measdoc_pending_config(), 0u);
    EXPECT_EQ(take_error().rfind("ERROR: returned null [mem_sysmalloc - host.cpp:", 0), 0u);
    EXPECT_EQ(glob_get_config(xcfg_altcntrval), nullptr);

    ASSERT_EQ(queue("a"), 0);
    mem_set_sysfault(2);  // the store's record
    EXPECT_EQ(measdoc_set_config(xcfg_altcntrval), 1);
    EXPECT_NE(take_error().find("[glob_set_config - host.cpp:"), std::string::npos);
    EXPECT_EQ(glob_get_config(xcfg_altcntrval), nullptr);
}

// A worker that cannot be made fails the start-up, which is undone whole: the next cycle
// runs (the failures the host can provoke are the Perl tests' cycle checks).
TEST_F(Host, WorkerThatCannotBeMadeFailsOnlyItsCycle) {
    if (thr_max_num == 0) GTEST_SKIP() << "no workers in this build";
    temp_file good("<mdc><mfh><vn>X</vn></mfh></mdc>");
    ASSERT_EQ(queue(good.path()), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    posix_set_fault(posix_fault_call::create, 2, EAGAIN);
    EXPECT_EQ(measdoc_init(), 1);
    posix_set_fault(posix_fault_call::create, 0, 0);
    EXPECT_FALSE(measdoc_errored());
    EXPECT_FALSE(measdoc_started());
    EXPECT_NE(take_error().find("[pthr_create - thread.cpp:"), std::string::npos);
    EXPECT_EQ(thr_worker_count(), 0);  // the workers made were joined
    EXPECT_EQ(glob_get_config(xcfg_xmlfilename), nullptr);  // and the items released
    ASSERT_EQ(queue(good.path()), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    ASSERT_EQ(measdoc_init(), 0) << take_error();
    EXPECT_EQ(measdoc_run(), 0) << take_error();
}

}  // namespace
