// Tests of the host unit without Perl: what the Perl tests cannot reach (an exhausted heap
// while values are queued and committed, a worker that cannot be made) and the cycle rules
// that guard the library (runs outside a started module, failed start-ups and runs and the
// cycle after them).
#include <gtest/gtest.h>

#include <cstdlib>
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

TEST_F(Host, ValueHoldingANulIsRefused) {
    ASSERT_EQ(queue("a"), 0);
    const std::string value("data.xml\0.bak", 13);
    EXPECT_EQ(measdoc_add_config(value.c_str(), value.size()), 1);
    EXPECT_EQ(measdoc_pending_config(), 0u);
    EXPECT_EQ(take_error().rfind("ERROR: condition error [13] ", 0), 0u);
}

TEST_F(Host, RunNeedsAStartedModule) {
    EXPECT_EQ(measdoc_run(), -1);
    EXPECT_EQ(take_error().rfind("ERROR: condition error [!measdoc_started() - host.cpp:", 0), 0u);

    temp_file file("<mdc><mfh><vn>X</vn></mfh></mdc>");
    ASSERT_EQ(queue(file.path()), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    ASSERT_EQ(measdoc_init(), 0) << take_error();
    EXPECT_TRUE(measdoc_started());
    EXPECT_EQ(measdoc_run(), 0) << take_error();
    ASSERT_EQ(measdoc_deinit(), 0);
    EXPECT_FALSE(measdoc_started());
    EXPECT_EQ(measdoc_run(), -1);
    EXPECT_NE(take_error().find("!measdoc_started()"), std::string::npos);
    for (int cycle = 0; cycle < 2; ++cycle) {  // cycles repeat
        ASSERT_EQ(queue(file.path()), 0);
        ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0) << cycle;
        ASSERT_EQ(measdoc_init(), 0) << take_error();
        EXPECT_EQ(measdoc_run(), 0) << take_error();
        ASSERT_EQ(measdoc_deinit(), 0) << take_error();
    }
}

// A cycle that failed, read or not, leaves nothing behind for the next one: a gateway
// goes on with its next file.
TEST_F(Host, FailedStartUpIsUndoneAndTheNextCycleRuns) {
    temp_file good("<mdc><mfh><vn>X</vn></mfh></mdc>");
    ASSERT_EQ(queue("/nonexistent/measdoc/input.xml"), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    EXPECT_EQ(measdoc_init(), 1);
    EXPECT_FALSE(measdoc_errored());
    EXPECT_FALSE(measdoc_started());
    EXPECT_EQ(thr_worker_count(), 0);  // the workers were joined
    EXPECT_EQ(glob_get_config(xcfg_xmlfilename), nullptr);  // and the items released
    const std::string message = take_error();
    EXPECT_NE(message.find("[error desc - No such file or directory]"), std::string::npos) << message;
    EXPECT_NE(message.find("[io_init - host.cpp:"), std::string::npos) << message;

    // Unread this time: the next cycle's first value drops it.
    ASSERT_EQ(queue("/nonexistent/measdoc/input.xml"), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    ASSERT_EQ(measdoc_init(), 1);
    ASSERT_EQ(queue(good.path()), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0) << take_error();
    ASSERT_EQ(measdoc_init(), 0) << take_error();
    EXPECT_EQ(measdoc_run(), 0) << take_error();
    ASSERT_EQ(measdoc_deinit(), 0);

    // Or a stop after the failure drops it.
    ASSERT_EQ(queue("/nonexistent/measdoc/input.xml"), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    ASSERT_EQ(measdoc_init(), 1);
    EXPECT_EQ(measdoc_deinit(), 0);
    EXPECT_EQ(error_get_errmsg(), nullptr);

    // A worker that cannot be made fails the start-up the same way.
    if (thr_max_num > 0) {
        ASSERT_EQ(queue(good.path()), 0);
        ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
        posix_set_fault(posix_fault_call::create, 2, EAGAIN);
        EXPECT_EQ(measdoc_init(), 1);
        posix_set_fault(posix_fault_call::create, 0, 0);
        EXPECT_FALSE(measdoc_errored());
        EXPECT_NE(take_error().find("[pthr_create - thread.cpp:"), std::string::npos);
        EXPECT_EQ(thr_worker_count(), 0);
    }
}

TEST_F(Host, UnreadRunErrorEndsWithItsCycle) {
    temp_file bad("<mdc><md><mi></x></mi></md></mdc>", "bad.xml");
    temp_file good("<mdc><mfh><vn>X</vn></mfh></mdc>");
    ASSERT_EQ(queue(bad.path()), 0);
    ASSERT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    ASSERT_EQ(measdoc_init(), 0) << take_error();
    ASSERT_EQ(measdoc_run(), -1);
    ASSERT_EQ(measdoc_deinit(), 0);
    EXPECT_EQ(error_get_errmsg(), nullptr);
    ASSERT_EQ(queue(good.path()), 0);
    EXPECT_EQ(measdoc_set_config(xcfg_xmlfilename), 0);
    EXPECT_EQ(measdoc_init(), 0) << take_error();
    EXPECT_EQ(measdoc_run(), 0) << take_error();
}

}  // namespace
