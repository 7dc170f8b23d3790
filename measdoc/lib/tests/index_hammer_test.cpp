// A locked index that does not rebalance, written by one thread while others look up
// through find-only duplicates: the way the tokenizer's tag-type registry is shared with
// the workers. Run under ThreadSanitizer this proves the locking discipline.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "md_index.h"
#include "runtime_env.h"

namespace {

const auto* const env = ::testing::AddGlobalTestEnvironment(new threaded_runtime);

constexpr int key_count = 20000;
constexpr int finders = 3;

TEST(IndexHammer, OneWriterManyFinders) {
    reset_registry();
    a_objhead* setter = index_new_stridx();
    ASSERT_NE(setter, nullptr);
    ASSERT_TRUE(index_set_stridx(setter, IDX_KEYLEN, 4));
    ASSERT_TRUE(index_set_stridx(setter, IDX_COPYKEY, 1));
    ASSERT_TRUE(index_set_stridx(setter, IDX_LOCKED, 1));
    ASSERT_TRUE(index_set_stridx(setter, IDX_BALANCE, 0));
    std::vector<a_objhead*> getters;
    for (int i = 0; i < finders; ++i) {
        a_objhead* g = index_dup_stridx(setter);
        ASSERT_NE(g, nullptr);
        index_set_stridx(g, IDX_FINDONLY, 1);
        index_set_stridx(g, IDX_BALANCE, 0);
        index_set_stridx(g, IDX_REMEMBER, static_cast<std::uint32_t>(i % 2));
        getters.push_back(g);
    }

    std::vector<std::uint32_t> keys(key_count);
    for (int i = 0; i < key_count; ++i) keys[i] = static_cast<std::uint32_t>(i) * 2654435761u;
    std::shuffle(keys.begin(), keys.end(), std::mt19937(3));

    std::atomic<int> published{0};  // keys[0 .. published) are in the tree
    std::atomic<bool> failed{false};
    std::thread writer([&] {
        for (int i = 0; i < key_count; ++i) {
            a_objidx* n = index_find_stridx(setter, &keys[i]);
            if (n == nullptr) failed = true;
            if (i % 7 == 0 && index_find_stridx(setter, &keys[i / 2]) == nullptr) failed = true;  // repeats
            published.store(i + 1, std::memory_order_release);
        }
    });
    std::vector<std::thread> readers;
    std::atomic<long> found{0};
    for (int r = 0; r < finders; ++r) {
        readers.emplace_back([&, r] {
            std::mt19937 rng(static_cast<unsigned>(r));
            long hits = 0;
            while (published.load(std::memory_order_acquire) < key_count) {
                const int known = published.load(std::memory_order_acquire);
                if (known == 0) continue;
                const std::uint32_t key = keys[rng() % static_cast<unsigned>(known)];
                a_objidx* n = index_find_stridx(getters[r], &key);
                if (n == nullptr || std::memcmp(n->poi_key, &key, 4) != 0) failed = true;
                ++hits;
                const std::uint32_t other = key ^ 1u;  // mostly a miss: walks down to a leaf
                index_find_stridx(getters[r], &other);
            }
            found += hits;
        });
    }
    writer.join();
    for (auto& t : readers) t.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(main_code(), 0u) << main_text();

    int count = 0;
    std::uint32_t previous = 0;
    for (a_objidx* n = index_first_stridx(setter); n != nullptr; n = index_next_stridx(n), ++count) {
        std::uint32_t v;
        std::memcpy(&v, n->poi_key, 4);
        if (count > 0) {
            EXPECT_LT(previous, v);
        }
        previous = v;
    }
    EXPECT_EQ(count, key_count);
    EXPECT_TRUE(index_destroy_stridx(setter));
}

}  // namespace
