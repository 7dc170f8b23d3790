// The state machine over the measurement file's nesting, fed element by element as the
// streaming walk would: transitions of a regular file, of files without suspectFlag, of
// the further-element states, and the restarts.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "asn1parse.h"
#include "parser.h"
#include "pmalloc.h"

namespace {

struct element {
    std::uint32_t level;
    std::uint32_t tag;
    bool constructed;
    std::string content;
    std::int32_t state;  // expected after the element
};

class StateMachine : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/bermeas_states_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        dir = name;
        conf.output_dir = dir;
        state = perf_data_new(&conf, nullptr);
        ASSERT_TRUE(state);
    }
    void TearDown() override {
        state.reset();
        std::filesystem::remove_all(dir);
    }
    // A fresh state and directory for the next case of a table.
    void renew() {
        TearDown();
        SetUp();
    }
    // Feeds the elements; returns the state after each.
    std::vector<std::int32_t> feed(const std::vector<element>& elements) {
        std::vector<std::int32_t> states;
        for (const element& e : elements) {
            asn1_object rec;
            rec.asn_class = ASN1_CONTEXT;
            rec.pc = e.constructed ? PC_CONSTRUCTED : PC_PRIMITIVE;
            rec.tag = e.tag;
            rec.length = static_cast<std::uint32_t>(e.content.size());
            if (!e.content.empty()) {
                // Room after a short content, as the streaming walk leaves it.
                const std::size_t room = std::max<std::size_t>(e.content.size(), asn1_stream_content_room);
                rec.data = pm_new_zeroed_array<std::uint8_t>(room);
                std::memcpy(rec.data.get(), e.content.data(), e.content.size());
            }
            process_state(rec, e.level, state.get());
            states.push_back(state->previous_state);
        }
        return states;
    }
    static std::vector<std::int32_t> expected(const std::vector<element>& elements) {
        std::vector<std::int32_t> states;
        for (const element& e : elements) states.push_back(e.state);
        return states;
    }
    // Elements up to the first measurement value's first result (state 23).
    static std::vector<element> up_to_first_result() {
        return {
            {0, 16, true, "", 0},          {1, 0, true, "", 1},           {2, 0, false, "\x01", 2},
            {2, 1, false, "a=b", 3},       {2, 2, false, "RNC", 4},       {2, 3, false, "V", 5},
            {2, 4, false, "20261205170000Z", 6},
            {1, 1, true, "", 7},           {2, 16, true, "", 8},          {3, 0, true, "", 9},
            {4, 0, false, "ne", 10},       {4, 1, false, "x=1", 11},      {3, 1, true, "", 13},
            {4, 16, true, "", 14},         {5, 0, false, "20261205174500Z", 15},
            {5, 1, false, "\x03\x84", 16}, {5, 2, true, "", 17},          {6, 19, false, "t1", 18},
            {6, 19, false, "t2", 18},      {5, 3, true, "", 19},          {6, 16, true, "", 20},
            {7, 0, false, "cell=1", 21},   {7, 1, true, "", 22},          {8, 0, false, "\x05", 23},
            {8, 0, false, "\x06", 23},
        };
    }
    static std::vector<element> then(std::vector<element> first, const std::vector<element>& more) {
        first.insert(first.end(), more.begin(), more.end());
        return first;
    }
    config conf;
    std::string dir;
    std::unique_ptr<perf_data> state;
};

TEST_F(StateMachine, RegularFileRunsThroughEveryState) {
    const auto elements = then(up_to_first_result(), {
        {7, 2, false, std::string(1, '\0'), 24},  // suspectFlag FALSE
        {6, 16, true, "", 20},   {7, 0, false, "cell=2", 21}, {7, 1, true, "", 22},
        {8, 2, false, "", 23},   {8, 1, false, "", 23},       {7, 2, false, "\xFF", 24},
        {4, 16, true, "", 14},   {5, 0, false, "2026", 15},   {5, 1, false, "\x3C", 16},
        {5, 2, true, "", 17},    {6, 19, false, "t3", 18},    {5, 3, true, "", 19},
        {6, 16, true, "", 20},   {7, 0, false, "x", 21},      {7, 1, true, "", 22},
        {8, 0, false, "\x01", 23}, {7, 2, false, std::string(1, '\0'), 24},
        {2, 16, true, "", 8},    {3, 0, true, "", 9},         {4, 0, false, "n2", 10},
        {4, 1, false, "d2", 11}, {4, 2, false, "extra", 12},  {3, 1, true, "", 13},
        {4, 16, true, "", 14},   {5, 0, false, "2026", 15},   {5, 1, false, "\x3C", 16},
        {5, 2, true, "", 17},    {6, 19, false, "t4", 18},    {5, 3, true, "", 19},
        {6, 16, true, "", 20},   {7, 0, false, "y", 21},      {7, 1, true, "", 22},
        {8, 0, false, "\x02", 23}, {1, 2, false, "20261205180000Z", 28},
        {2, 16, true, "", 28},   {0, 16, true, "", 0},  // nothing moves after the footer but a new root
    });
    EXPECT_EQ(feed(elements), expected(elements));
    EXPECT_FALSE(state->restarted);
}

TEST_F(StateMachine, ValueWithoutSuspectFlagEndsAtTheNextElement) {
    for (const auto& next : std::vector<std::vector<element>>{
             {{6, 16, true, "", 20}, {7, 0, false, "cell=2", 21}},  // next measurement value
             {{4, 16, true, "", 14}, {5, 0, false, "2026", 15}},    // next measurement info
             {{2, 16, true, "", 8}, {3, 0, true, "", 9}},           // next measurement data
             {{1, 2, false, "20261205180000Z", 28}},                // footer
             {{5, 9, false, "", 25}, {1, 2, false, "", 28}},        // a further measInfo element
         }) {
        renew();
        const auto elements = then(up_to_first_result(), next);
        EXPECT_EQ(feed(elements), expected(elements));
        EXPECT_FALSE(state->restarted);
    }
}

TEST_F(StateMachine, EmptyListsAreLeftForTheNextElement) {
    const auto block = [](std::vector<element> tail) {
        std::vector<element> head = up_to_first_result();
        head.resize(16);  // up to granularityPeriod (state 16)
        return then(head, tail);
    };
    for (const auto& elements : std::vector<std::vector<element>>{
             // no measTypes: measValues follows
             block({{5, 2, true, "", 17}, {5, 3, true, "", 19}, {6, 16, true, "", 20}, {7, 0, false, "x", 21},
                    {7, 1, true, "", 22}, {8, 0, false, "\x01", 23}, {1, 2, false, "", 28}}),
             // no measValues: the next measInfo, measData or the footer follows
             block({{5, 2, true, "", 17}, {6, 19, false, "t", 18}, {5, 3, true, "", 19}, {4, 16, true, "", 14}}),
             block({{5, 2, true, "", 17}, {6, 19, false, "t", 18}, {5, 3, true, "", 19}, {2, 16, true, "", 8}}),
             block({{5, 2, true, "", 17}, {6, 19, false, "t", 18}, {5, 3, true, "", 19}, {1, 2, false, "", 28}}),
             // no measResults: suspectFlag or the next value follows
             then(up_to_first_result(), {{6, 16, true, "", 20}, {7, 0, false, "y", 21}, {7, 1, true, "", 22},
                                         {7, 2, false, "", 24}, {6, 16, true, "", 20}, {7, 0, false, "z", 21},
                                         {7, 1, true, "", 22}, {6, 16, true, "", 20}}),
         }) {
        renew();
        EXPECT_EQ(feed(elements), expected(elements));
        EXPECT_FALSE(state->restarted);
    }
    // no measInfo at all: the next measData or the footer follows
    for (const element& after : {element{2, 16, true, "", 8}, element{1, 2, false, "", 28}}) {
        renew();
        std::vector<element> elements = up_to_first_result();
        elements.resize(13);  // up to measInfo (state 13)
        elements.push_back(after);
        EXPECT_EQ(feed(elements), expected(elements));
    }
}

TEST_F(StateMachine, FurtherElementsAfterAValue) {
    const auto elements = then(up_to_first_result(), {
        {7, 2, false, std::string(1, '\0'), 24}, {5, 4, false, "", 25}, {6, 0, false, "", 26},
        {6, 0, false, "", 27}, {4, 16, true, "", 13}, {4, 16, true, "", 14},
    });
    EXPECT_EQ(feed(elements), expected(elements));
}

TEST_F(StateMachine, UnplaceableElementRestartsAtZero) {
    struct restart_case {
        std::vector<element> tail;
        std::string said;
    };
    const std::vector<restart_case> cases{
        {{{7, 2, false, std::string(1, '\0'), 24}, {7, 3, false, "", 0}}, "ERROR 1 !!! indent: 7, tag: 3\n"},
        {{{9, 5, false, "", 0}}, "ERROR 1 !!! indent: 9, tag: 5\n"},  // a value's end without flag, then nowhere
        {{{7, 2, false, "", 24}, {5, 4, false, "", 25}, {7, 0, false, "", 0}}, "ERROR 2 !!!\n"},
        {{{7, 2, false, "", 24}, {5, 4, false, "", 25}, {6, 0, false, "", 26}, {3, 0, false, "", 0}},
         "ERROR 3 !!!\n"},
        {{{7, 2, false, "", 24}, {5, 4, false, "", 25}, {6, 0, false, "", 26}, {6, 0, false, "", 27},
          {6, 0, false, "", 0}},
         "ERROR 4 !!!\n"},
    };
    for (const restart_case& c : cases) {
        renew();
        const auto elements = then(up_to_first_result(), c.tail);
        testing::internal::CaptureStdout();
        const auto states = feed(elements);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.said);
        EXPECT_EQ(states, expected(elements));
        EXPECT_TRUE(state->restarted);
        EXPECT_TRUE(state->pif) << "a new PIF manager after the restart";
    }
}

TEST_F(StateMachine, ElementsThatFitNoRuleAreIgnored) {
    const std::vector<element> elements{
        {0, 16, true, "", 0}, {3, 0, true, "", 0}, {1, 0, true, "", 1}, {4, 0, false, "", 1},
        {2, 0, false, "\x01", 2},
    };
    EXPECT_EQ(feed(elements), expected(elements));
    EXPECT_EQ(state->header.file_format_version, 1u);
}

}  // namespace
