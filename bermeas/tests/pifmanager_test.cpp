// PIF files as the manager writes them: value lines with fields of every length, and the
// names of blocks whose measured objects follow one another.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "parser.h"
#include "pifmanager.h"

namespace {

class PifManager : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/bermeas_pif_XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        dir = name;
        conf.output_dir = dir;
        pm = pif_manager_new(&conf);
        ASSERT_TRUE(pm);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Files of the directory by name, with their text.
    std::vector<std::pair<std::string, std::string>> files() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            out.emplace_back(entry.path().filename().string(), text.str());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // One measurement value: the measured object, its values, then the line.
    void measurement_value(std::string_view class_name, const std::vector<std::string>& values) {
        pif_manager_set_new_meas_obj_inst_id(pm.get());
        pif_manager_set_object_counter_name_list(pm.get(), char_list{"OBJ_ID"});
        pif_manager_set_block_name(pm.get(), class_name, state);
        for (const std::string& v : values) pif_manager_add_counter_value(pm.get(), v);
        pif_manager_write_counters(pm.get());
    }

    config conf;
    std::string dir;
    perf_data state;
    std::unique_ptr<pif_manager> pm;
};

TEST_F(PifManager, FieldsOfEveryLengthAreJoinedExactly) {
    // Lengths on both sides of the short-copy size, long ones held on the heap, and empty
    // fields first, last and between.
    std::vector<std::string> first;
    std::string expected_line;
    for (std::size_t n = 0; n <= 40; ++n) {
        first.push_back(std::string(n, static_cast<char>('a' + n % 26)));
        expected_line += first.back() + (n < 40 ? "|" : "\n");
    }
    const std::vector<std::string> second{"", "1234567890123456", "x", std::string(300, 'L'), ""};
    const std::string header_value(100, 'h');

    pif_manager_set_new_meas_info_seq(pm.get());
    pif_manager_add_header_name_value(pm.get(), "long", &header_value);
    for (std::size_t i = 0; i < first.size(); ++i) pif_manager_add_counter_name(pm.get(), "c" + std::to_string(i));
    measurement_value("Cell", first);
    measurement_value("Cell", second);
    ASSERT_TRUE(pif_manager_delete(pm));

    const auto written = files();
    ASSERT_EQ(written.size(), 1u);
    const std::string& text = written[0].second;
    EXPECT_NE(text.find("long\n" + header_value + "\n##END|HEADER\n"), std::string::npos);
    const std::string second_line = "|1234567890123456|x|" + std::string(300, 'L') + "|\n";
    EXPECT_NE(text.find("\n" + expected_line + second_line + "##END|Cell\n"), std::string::npos) << text;
}

TEST_F(PifManager, EachBlockIsNamedByItsOwnObjectAndFields) {
    conf.pif_filename_fields = {"senderType", "vendorName"};
    state.header.sender_type = "RNC-with-a-long-sender-type";
    state.header.vendor_name = "V";
    pif_manager_set_new_meas_info_seq(pm.get());
    pif_manager_add_counter_name(pm.get(), "c");
    measurement_value("UtranCellWithALongName", {"1"});

    // The next block has a shorter class and one name field fewer: nothing of the first
    // block's names may remain.
    state.header.sender_type.reset();
    pif_manager_set_new_meas_info_seq(pm.get());
    pif_manager_add_counter_name(pm.get(), "c");
    measurement_value("Cell", {"2"});
    ASSERT_TRUE(pif_manager_delete(pm));

    const auto written = files();
    ASSERT_EQ(written.size(), 2u);
    const std::string first_count = std::to_string(g_count - 2);
    const std::string second_count = std::to_string(g_count - 1);
    std::vector<std::string> names{written[0].first, written[1].first};
    std::sort(names.begin(), names.end());
    std::vector<std::string> want{"Cell-#-V-#-" + second_count + "-#-I.pif",
                                  "UtranCellWithALongName-#-RNC-with-a-long-sender-type-#-V-#-" + first_count +
                                      "-#-I.pif"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);
    for (const auto& [name, text] : written) {
        const bool is_cell = name.rfind("Cell-", 0) == 0;
        EXPECT_NE(text.find(is_cell ? "##START|Cell\nOBJ_ID|c\n2\n##END|Cell\n"
                                    : "##START|UtranCellWithALongName\nOBJ_ID|c\n1\n##END|UtranCellWithALongName\n"),
                  std::string::npos)
            << text;
    }
}

}  // namespace
