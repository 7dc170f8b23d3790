// Byte-order conversions and the decoder's limits on blocks the record walk cannot
// produce from a well-framed file (zero-length data, values at the very record end).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config.h"
#include "counters.h"
#include "logmsg.h"
#include "output.h"
#include "test_support.h"

namespace {

TEST(ByteOrder, Conversions) {
    const std::uint8_t b[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    const std::uint8_t sh[2] = {0x34, 0x12};
    EXPECT_EQ(to_sh(sh, 0), 4660);
    EXPECT_EQ(to_sh(sh, 1), 13330);
    EXPECT_EQ(to_lg(b, 0), 0x02010403u);
    EXPECT_EQ(to_lg(b, 1), 16909060u);
    EXPECT_EQ(to_6b(b, 1), 0x03040506u);
    EXPECT_EQ(to_6b(b, 0), 0x04030605u);
    const std::uint8_t top[6] = {0x00, 0x00, 0x00, 0x80, 0x00, 0x00};
    EXPECT_EQ(to_6b(top, 0), 0x80000000u);
}

counter_details counter(const char* name, std::uint8_t size, std::uint16_t offset, int repeat = REPEAT_NONE,
                        std::uint16_t count = 0) {
    counter_details c;
    c.name = name;
    c.size = size;
    c.offset = offset;
    c.repeat = repeat;
    c.repeat_count = count;
    return c;
}

TEST(PrintCounters, GroupOfLengthZeroInAnEmptyBlockFails) {
    block_details block;
    block.block_num = 77;
    // Chain order: end counter first.
    block.counters.push_front(counter("GA", 1, 0, REPEAT_FIRST));
    block.counters.push_front(counter("GEND", 1, 0, REPEAT_LAST, 3));
    std::vector<std::uint8_t> record(16, 0x01);
    OutputStoreInit();
    EXPECT_EQ(print_cntrs(block, 6, 0, 4, record), -1);
    EXPECT_EQ(OutputLine(), "");
}

TEST(PrintCounters, CellsOfAnEarlierGroupBlockNeverShow) {
    const std::string path = test_support::path_of("groups.pif");
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    block_details block;
    block.block_num = 80;
    // One repetition is 2 bytes long, but G1 stands 3 bytes into it: in a 7-byte block
    // the last repetition is cut short at G1, after GEND of that pass went to row 3.
    block.counters.push_front(counter("G1", 1, 3, REPEAT_FIRST));
    block.counters.push_front(counter("GEND", 1, 2, REPEAT_LAST, 3));
    std::vector<std::uint8_t> record(12);
    for (std::size_t i = 4; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(6 + i);  // data: 10..17
    OutputStoreInit();
    EXPECT_EQ(print_cntrs(block, 0, 8, 4, record), 0);
    EXPECT_EQ(print_cntrs(block, 0, 7, 4, record), 0);
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(test_support::read_file(path),
              "16|17\n14|15\n12|13\n"  // three whole repetitions
              "|16\n12|13\n")           // row 2 of the short block has no GEND value of its own
        << "a cell the block did not write must be empty, not the earlier block's value";
}

TEST(PrintCounters, ValuesAtTheRecordEdge) {
    block_details block;
    block.block_num = 78;
    block.counters.push_front(counter("FIT", 2, 0));
    block.counters.push_front(counter("CUT", 16, 2));
    block.counters.push_front(counter("FAR", 4, 40000));
    // The record ends two bytes after the block data starts: the 16-byte text runs past it.
    std::vector<std::uint8_t> record = {0, 0, 0, 0, 0, 0, 0x4E, 0x00, 0x10, 0x00, 0x05, 0x00};
    OutputStoreInit();
    EXPECT_EQ(print_cntrs(block, 6, 60000, 4, record), 0);
    EXPECT_EQ(OutputLine(), "||5");
    OutputStoreInit();
}

TEST(PrintCounters, BlockBeyondTheRecordStart) {
    block_details block;
    block.block_num = 79;
    block.counters.push_front(counter("A", 1, 0));
    std::vector<std::uint8_t> record(8, 0x07);
    OutputStoreInit();
    EXPECT_EQ(print_cntrs(block, 6, 5, 4, record), 0) << "data starts past the record: no byte is read";
    EXPECT_EQ(OutputLine(), "");
}

}  // namespace
