// The conversion driver without Perl: zelpaal's process_file_v3 over the engine linked
// into this program, as the module uses it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "config.h"
#include "logmsg.h"
#include "test_support.h"
#include "zelpaal.h"

using test_support::path_of;

namespace {

// A layout-76 header record for a file of `records` records of `size` bytes.
std::string header_record(std::uint32_t size, std::uint16_t records, std::uint16_t file_records) {
    std::string h = {76, 0, 0, 0, 12, 1};
    std::string pgrh(70, '\0');
    pgrh[0] = 5;                               // release
    pgrh[24] = 11;                             // measurement type
    const std::uint32_t file_size = size * file_records;
    pgrh[26] = static_cast<char>((file_size >> 16) & 0xFF);
    pgrh[27] = static_cast<char>(file_size >> 24);
    pgrh[28] = static_cast<char>(file_size & 0xFF);
    pgrh[29] = static_cast<char>((file_size >> 8) & 0xFF);
    pgrh[30] = static_cast<char>(records & 0xFF);
    pgrh[31] = static_cast<char>(records >> 8);
    pgrh.replace(32, 16, "0000001005122026");
    pgrh.replace(48, 16, "0000001105122026");
    h += pgrh;
    h.resize(size, '\xFF');
    return h;
}

class Convert : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string cfg = path_of("convert.cfg");
        test_support::write_file(cfg, "BLOCK 111 COUNTER := \"a\" OFFSET := 0 SIZE := 2 END\n");
        log_ = path_of("convert.log");
        logopen(log_, LOG_INPUT);
        ASSERT_EQ(config_initialise(cfg.c_str(), 0, 9), 0);
        setenv("TZ", "UTC", 1);
    }
    void TearDown() override { logopen("", LOG_ERROR); }
    std::string log_;
};

TEST_F(Convert, OneRecord) {
    std::string file = header_record(80, 2, 2);
    std::string rec = {14, 0, 0, 0, 12, 1, 111, 0, 2, 0, 0x34, 0x12};
    rec.resize(80, '\xFF');
    const std::string in = path_of("PMRES001.01a.4.");
    test_support::write_file(in, file + rec);
    std::string out_name;
    EXPECT_EQ(process_file_v3(in.c_str(), test_support::scratch_dir().c_str(), "OMC", out_name, "N", "R"), PROCESS_OK);
    ASSERT_FALSE(out_name.empty());
    const std::string pif = test_support::read_file(out_name);
    EXPECT_NE(pif.find("##START|TYPE_111\nA\n4660\n##END|TYPE_111\n"), std::string::npos) << pif;
    free_allocated_memory(out_name);
    EXPECT_TRUE(out_name.empty());
}

TEST_F(Convert, RecordCountZeroIsRejected) {
    const std::string in = path_of("PMRES001.01a.5.");
    test_support::write_file(in, header_record(80, 0, 1));
    std::string out_name;
    EXPECT_EQ(process_file_v3(in.c_str(), test_support::scratch_dir().c_str(), "OMC", out_name, "N", "R"),
              PROCESS_FAILED);
    EXPECT_TRUE(out_name.empty());
    EXPECT_EQ(test_support::count_lines_with(log_, "record count of 0"), 1);
}

}  // namespace
