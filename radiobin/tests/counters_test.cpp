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
