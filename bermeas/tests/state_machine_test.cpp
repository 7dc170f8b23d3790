// The state machine over the measurement file's nesting, fed element by element as the
// streaming walk would, through the sequences of expected/states.txt (a regular file,
// files without suspectFlag or with empty lists, further elements, restarts), and the PIF
// files its manager writes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asn1parse.h"
#include "parser.h"
#include "pifmanager.h"
#include "pmalloc.h"
#include "table.h"

namespace {

class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/bermeas_test_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        conf.output_dir = dir = name;
        state = perf_data_new(&conf, nullptr);
        ASSERT_TRUE(state);
    }
    void TearDown() override {
        state.reset();
        std::filesystem::remove_all(dir);
    }
    // Feeds one element written as in states.txt; returns the state after it.
    std::string feed(const std::string& token) {
        const std::size_t dot = token.find('.'), end = token.find_first_not_of("0123456789+", dot + 1);
        const std::size_t arrow = token.rfind('>');
        asn1_object rec;
        rec.asn_class = ASN1_CONTEXT;
        rec.tag = std::stoul(token.substr(dot + 1));
        rec.pc = token[std::min(end, arrow) - 1] == '+' ? PC_CONSTRUCTED : PC_PRIMITIVE;
        std::string content = end < arrow ? token.substr(end + 1, arrow - end - 1) : "";
        if (end < arrow && token[end] == '=') {
            const auto octets = test_table::octets(content);
            content.assign(octets.begin(), octets.end());
        }
        rec.length = static_cast<std::uint32_t>(content.size());
        if (!content.empty()) {
            // Room after a short content, as the streaming walk leaves it.
            rec.data = pm_new_zeroed_array<std::uint8_t>(std::max<std::size_t>(content.size(), asn1_stream_content_room));
            std::memcpy(rec.data.get(), content.data(), content.size());
        }
        process_state(rec, std::stoul(token), state.get());
        return token.substr(0, arrow + 1) + std::to_string(state->previous_state);
    }
    // Files of the output directory by name, with their text.
    std::vector<std::pair<std::string, std::string>> files() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ostringstream text;
            text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
            out.emplace_back(entry.path().filename().string(), text.str());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // One measurement value through the manager: its object, values and line.
    void measurement_value(pif_manager* pm, std::string_view class_name, const std::vector<std::string>& values) {
        pif_manager_set_new_meas_obj_inst_id(pm);
        pif_manager_set_object_counter_name_list(pm, char_list{"OBJ_ID"});
        pif_manager_set_block_name(pm, class_name, *state);
        for (const std::string& v : values) pif_manager_add_counter_value(pm, v);
        pif_manager_write_counters(pm);
    }
    config conf;
    std::string dir;
    std::unique_ptr<perf_data> state;
};

TEST_F(Conversion, StateSequences) {
    const auto cases = test_table::read("states.txt");
    ASSERT_GE(cases.size(), 21u);
    std::vector<std::string> first;
    for (std::istringstream in(cases[0][1]); in >> first.emplace_back();) {}
    first.pop_back();
    for (const test_table::row& c : cases) {
        TearDown();
        SetUp();
        std::vector<std::string> want;
        for (std::istringstream in(c[1]); in >> want.emplace_back();) {
            if (want.back()[0] != '@') continue;
            const std::size_t n = std::stoul(want.back().substr(1));
            want.pop_back();
            want.insert(want.end(), first.begin(), first.begin() + n);
        }
        want.pop_back();
        testing::internal::CaptureStdout();
        std::vector<std::string> got;
        for (const std::string& token : want) got.push_back(feed(token));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.size() > 2 ? c[2] + "\n" : "") << c[0];
        EXPECT_EQ(got, want) << c[0];
        EXPECT_EQ(state->restarted, c.size() > 2) << c[0];
        EXPECT_TRUE(c.size() == 2 || state->pif) << c[0] << ": a new PIF manager after the restart";
    }
}

TEST_F(Conversion, FieldsOfEveryLengthAreJoinedExactly) {
    // Lengths on both sides of the short-copy size, long ones held on the heap, and empty
    // fields first, last and between.
    std::unique_ptr<pif_manager> owner = pif_manager_new(&conf);
    std::vector<std::string> first;
    std::string line;
    const std::string header_value(100, 'h');
    pif_manager_set_new_meas_info_seq(owner.get());
    pif_manager_add_header_name_value(owner.get(), "long", &header_value);
    for (std::size_t n = 0; n <= 40; ++n) {
        first.push_back(std::string(n, static_cast<char>('a' + n % 26)));
        line += first.back() + (n < 40 ? "|" : "\n");
        pif_manager_add_counter_name(owner.get(), "c" + std::to_string(n));
    }
    measurement_value(owner.get(), "Cell", first);
    measurement_value(owner.get(), "Cell", {"", "1234567890123456", "x", std::string(300, 'L'), ""});
    ASSERT_TRUE(pif_manager_delete(owner));
    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].second.find("long\n" + header_value + "\n##END|HEADER\n"), std::string::npos);
    line += "|1234567890123456|x|" + std::string(300, 'L') + "|\n##END|Cell\n";
    EXPECT_NE(written[0].second.find("\n" + line), std::string::npos) << written[0].second;
}

TEST_F(Conversion, EachBlockIsNamedByItsOwnObjectAndFields) {
    conf.pif_filename_fields = {"senderType", "vendorName"};
    std::unique_ptr<pif_manager> owner = pif_manager_new(&conf);
    state->header.sender_type = "RNC-with-a-long-sender-type";
    state->header.vendor_name = "V";
    for (const char* class_name : {"UtranCellWithALongName", "Cell"}) {
        // The second block has a shorter class and one name field fewer: nothing of the
        // first block's names may remain.
        pif_manager_set_new_meas_info_seq(owner.get());
        pif_manager_add_counter_name(owner.get(), "c");
        measurement_value(owner.get(), class_name, {class_name});
        state->header.sender_type.reset();
    }
    ASSERT_TRUE(pif_manager_delete(owner));
    const std::vector<std::pair<std::string, std::string>> want{
        {"Cell-#-V-#-" + std::to_string(g_count - 1) + "-#-I.pif", "##START|Cell\nOBJ_ID|c\nCell\n##END|Cell\n"},
        {"UtranCellWithALongName-#-RNC-with-a-long-sender-type-#-V-#-" + std::to_string(g_count - 2) + "-#-I.pif",
         "##START|UtranCellWithALongName\nOBJ_ID|c\nUtranCellWithALongName\n##END|UtranCellWithALongName\n"}};
    const auto written = files();
    ASSERT_EQ(written.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(written[i].first, want[i].first);
        EXPECT_NE(written[i].second.find(want[i].second), std::string::npos) << written[i].second;
    }
}

}  // namespace
