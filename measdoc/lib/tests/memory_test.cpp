// Pools and the locked heap: block growth, marks, release, the page-size fallback and
// the recorded failures, with the locks acting as they do under the worker threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "runtime_env.h"

namespace {

const auto* const env = ::testing::AddGlobalTestEnvironment(new threaded_runtime);

std::vector<a_memblock*> chain(const a_meminfo& pool) {
    std::vector<a_memblock*> blocks;
    for (a_memblock* b = pool.mei_block; b != nullptr; b = b->next) blocks.push_back(b);
    return blocks;
}

std::size_t block_size(const a_memblock* b) {
    return static_cast<std::size_t>(b->end - reinterpret_cast<const char*>(b));
}

constexpr std::size_t header = (sizeof(a_memblock) + mem_grain - 1) / mem_grain * mem_grain;

class MemoryPool : public ::testing::Test {
protected:
    void SetUp() override { reset_registry(); }
    void TearDown() override {
        mem_destroy(&pool, false);
        mem_set_pagesize(0);
        reset_registry();
    }
    a_meminfo pool{};
};

TEST_F(MemoryPool, InitGivesOnePageSizedBlock) {
    ASSERT_TRUE(mem_init(&pool));
    const long page = sysconf(_SC_PAGESIZE);
    EXPECT_EQ(pool.mei_pagesz, static_cast<std::uint32_t>(page));
    EXPECT_EQ(pool.mei_align, mem_grain);
    ASSERT_EQ(chain(pool).size(), 1u);
    EXPECT_EQ(block_size(pool.mei_block), static_cast<std::size_t>(page));
    EXPECT_EQ(pool.mei_block->cur, reinterpret_cast<char*>(pool.mei_block) + header);
    EXPECT_EQ(pool.mei_separator, nullptr);
}

TEST_F(MemoryPool, SmallRequestsAreAlignedAndRoundedUp) {
    ASSERT_TRUE(mem_init(&pool));
    char* a = static_cast<char*>(mem_malloc(&pool, 1));
    char* b = static_cast<char*>(mem_malloc(&pool, 0));
    char* c = static_cast<char*>(mem_malloc(&pool, 0));
    char* d = static_cast<char*>(mem_malloc(&pool, mem_grain + 1));
    char* e = static_cast<char*>(mem_malloc(&pool, 1));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % mem_grain, 0u);
    EXPECT_EQ(b, a + mem_grain);  // one byte consumes a grain
    EXPECT_EQ(c, b);              // zero bytes consume nothing
    EXPECT_EQ(e, d + 2 * mem_grain);
    EXPECT_EQ(chain(pool).size(), 1u);
}

TEST_F(MemoryPool, LargeRequestGetsExactBlockInFront) {
    ASSERT_TRUE(mem_init(&pool));
    a_memblock* first = pool.mei_block;
    const std::size_t two_pages = 2 * pool.mei_pagesz;
    char* big = static_cast<char*>(mem_malloc(&pool, two_pages));
    ASSERT_NE(big, nullptr);
    auto blocks = chain(pool);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1], first);
    EXPECT_EQ(block_size(blocks[0]), header + two_pages);
    EXPECT_EQ(big, reinterpret_cast<char*>(blocks[0]) + header);
    // The exact block is full: the next small request opens another page-sized block, and
    // the first block's free tail is not searched again.
    char* small = static_cast<char*>(mem_malloc(&pool, 8));
    blocks = chain(pool);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(block_size(blocks[0]), pool.mei_pagesz);
    EXPECT_EQ(small, reinterpret_cast<char*>(blocks[0]) + header);
}

TEST_F(MemoryPool, UnalignedLargeRequestLeavesTailForNextOne) {
    ASSERT_TRUE(mem_init(&pool));
    const std::size_t request = 2 * pool.mei_pagesz - header - mem_grain;
    mem_malloc(&pool, pool.mei_pagesz);  // fills what is left of the first block
    ASSERT_NE(mem_malloc(&pool, request), nullptr);
    const auto blocks = chain(pool);
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(block_size(blocks[0]), header + request);
}

TEST_F(MemoryPool, KeepDestroyReturnsToTheMark) {
    ASSERT_TRUE(mem_init(&pool));
    mem_malloc(&pool, 16);
    ASSERT_TRUE(mem_init(&pool));  // marks
    a_memblock* mark = pool.mei_block;
    EXPECT_EQ(pool.mei_separator, mark);
    char* after_mark = static_cast<char*>(mem_malloc(&pool, 16));
    for (int i = 0; i < 4; ++i) mem_malloc(&pool, pool.mei_pagesz);
    EXPECT_EQ(chain(pool).size(), 5u);
    char* mark_cur = mark->cur;

    ASSERT_TRUE(mem_destroy(&pool, true));
    ASSERT_EQ(chain(pool).size(), 1u);
    EXPECT_EQ(pool.mei_block, mark);
    EXPECT_EQ(mark->cur, mark_cur);  // what was taken from the mark block stays taken
    EXPECT_GT(mark->cur, after_mark);
    // The mark survives: a second session drops back to the same block.
    mem_malloc(&pool, 3 * pool.mei_pagesz);
    ASSERT_TRUE(mem_destroy(&pool, true));
    EXPECT_EQ(pool.mei_block, mark);
}

TEST_F(MemoryPool, KeepDestroyWithoutMarkEmptiesThePool) {
    ASSERT_TRUE(mem_init(&pool));
    mem_malloc(&pool, 3 * pool.mei_pagesz);
    ASSERT_TRUE(mem_destroy(&pool, true));
    EXPECT_EQ(pool.mei_block, nullptr);
    EXPECT_EQ(pool.mei_separator, nullptr);
    // An emptied pool starts again on the next request.
    char* p = static_cast<char*>(mem_malloc(&pool, 10));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(chain(pool).size(), 1u);
    EXPECT_EQ(main_code(), 0u);
}

TEST_F(MemoryPool, ZeroFilledPoolServesFirstRequest) {
    ASSERT_NE(mem_malloc(&pool, 24), nullptr);
    EXPECT_EQ(pool.mei_align, mem_grain);
    EXPECT_EQ(chain(pool).size(), 1u);
}

TEST_F(MemoryPool, DestroyOfEmptyAndBrokenDescriptors) {
    EXPECT_TRUE(mem_destroy(&pool, false));
    EXPECT_TRUE(mem_destroy(&pool, true));
    EXPECT_EQ(main_code(), 0u);

    EXPECT_FALSE(mem_destroy(nullptr, false));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: memory - thread info block is empty [meminfo == NULL - memory.cpp:N] ");
    reset_registry();

    a_memblock fake{};
    a_meminfo broken{};
    broken.mei_separator = &fake;
    EXPECT_FALSE(mem_destroy(&broken, true));
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: memory - thread info block corrupted "
              "[block == NULL && meminfo->mei_separator != NULL - memory.cpp:N] ");
}

TEST_F(MemoryPool, TinyPageSizeFallsBackWithWarning) {
    mem_set_pagesize(256);
    ASSERT_TRUE(mem_init(&pool));
    EXPECT_EQ(pool.mei_pagesz, mem_fallback_pagesz);
    EXPECT_EQ(block_size(pool.mei_block), mem_fallback_pagesz);
    EXPECT_EQ(main_code(), 0u);  // never fatal
    ASSERT_TRUE(error_get_message());
    ASSERT_NE(error_get_warnmsg(), nullptr);
    EXPECT_EQ(without_lines(error_get_warnmsg()), "WARN : memory - pagesize too small [256] [mem_init - memory.cpp:N] ");
}

TEST_F(MemoryPool, FailedGrowthLeavesChainAsItWas) {
    ASSERT_TRUE(mem_init(&pool));
    mem_malloc(&pool, 100);
    const auto before = chain(pool);
    char* cur = pool.mei_block->cur;
    mem_set_sysfault(1);
    EXPECT_EQ(mem_malloc(&pool, 2 * pool.mei_pagesz), nullptr);
    EXPECT_EQ(chain(pool), before);
    EXPECT_EQ(pool.mei_block->cur, cur);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] "
              "[mem_sysmalloc - memory.cpp:N] [mem_new_memblock - memory.cpp:N] ");
    // Still usable afterwards.
    reset_registry();
    EXPECT_NE(mem_malloc(&pool, 2 * pool.mei_pagesz), nullptr);
}

TEST_F(MemoryPool, LargerBlocksOnceAsked) {
    EXPECT_FALSE(mem_set_blocksize(&pool, 65536));  // not initialised
    EXPECT_EQ(main_code(), 10u);
    reset_registry();
    ASSERT_TRUE(mem_init(&pool));
    const std::uint32_t page = pool.mei_pagesz;
    ASSERT_TRUE(mem_set_blocksize(&pool, 16));  // never below the page size
    EXPECT_EQ(pool.mei_pagesz, page);
    ASSERT_TRUE(mem_set_blocksize(&pool, 16 * page));
    mem_malloc(&pool, page);  // does not fit the first page: a large block follows it
    EXPECT_EQ(chain(pool).size(), 2u);
    EXPECT_EQ(block_size(pool.mei_block), 16 * page);
    for (int i = 0; i < 14; ++i) mem_malloc(&pool, page);  // all in that block
    EXPECT_EQ(chain(pool).size(), 2u);
    EXPECT_EQ(block_size(chain(pool).back()), page);  // the first block as it was
}

TEST_F(MemoryPool, ImpossibleSizeIsRefusedNotWrapped) {
    ASSERT_TRUE(mem_init(&pool));
    const auto before = chain(pool);
    EXPECT_EQ(mem_malloc(&pool, SIZE_MAX - 2), nullptr);
    EXPECT_EQ(chain(pool), before);
    EXPECT_EQ(main_code(), 1u);
}

TEST(MemoryHeap, LockFailuresAreRecordedAndLeakNothing) {
    reset_registry();
    posix_set_fault(posix_fault_call::mutex_lock, 1, EINVAL);
    EXPECT_EQ(mem_sysmalloc(64), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Invalid argument] [pthr_mutex_lock - memory.cpp:N] ");
    reset_registry();

    // The unlock fails after the heap has served: the caller sees a failure and owns
    // nothing (the leak check of the sanitizer build watches this).
    posix_set_fault(posix_fault_call::mutex_unlock, 1, EPERM);
    EXPECT_EQ(mem_sysmalloc(64), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Operation not permitted] [pthr_mutex_unlock - memory.cpp:N] ");
    reset_registry();

    void* p = mem_sysmalloc(32);
    ASSERT_NE(p, nullptr);
    posix_set_fault(posix_fault_call::mutex_lock, 1, EINVAL);
    mem_sysfree(p);  // recorded, and freed all the same
    EXPECT_EQ(main_code(), 1u);
    reset_registry();
}

TEST(MemoryHeap, InitRecordsTheTraceOfAFailedFirstBlock) {
    reset_registry();
    a_meminfo pool{};
    posix_set_fault(posix_fault_call::mutex_lock, 1, EAGAIN);
    EXPECT_FALSE(mem_init(&pool));
    EXPECT_EQ(pool.mei_block, nullptr);
    // One location per function on the way out, innermost first.
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Resource temporarily unavailable] "
              "[pthr_mutex_lock - memory.cpp:N] [error desc - Resource temporarily unavailable] "
              "[mem_sysmalloc - memory.cpp:N] [mem_new_memblock - memory.cpp:N] ");
    reset_registry();
}

}  // namespace
