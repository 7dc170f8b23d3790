// The string index through its public operations: order, shapes and links after inserts
// in any order, the lookup features, duplicates and clones, loading and seeking checked
// against plain lookups, the failure paths, and one writer with many finders at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "md_index.h"
#include "table.h"
#include "test_env.h"

namespace {

// Owns an index for one test.
struct index_ptr {
    a_objhead* h = index_new_stridx();
    ~index_ptr() { index_destroy_stridx(h); }
    a_objhead* operator->() const { return h; }
    operator a_objhead*() const { return h; }
};

std::string key_text(const a_objhead* h, const a_objidx* n) {
    if (n == nullptr) return "(none)";
    if (h->poh_keylen == 0) return n->poi_key;
    std::uint32_t v;
    std::memcpy(&v, n->poi_key, sizeof v);
    return std::to_string(v);
}

// The tree as text: key(left,right), empty for an absent child.
std::string shape(const a_objhead* h, const a_objidx* n) {
    if (n == nullptr) return "";
    if (n->poi_left == nullptr && n->poi_right == nullptr) return key_text(h, n);
    return key_text(h, n) + "(" + shape(h, n->poi_left) + "," + shape(h, n->poi_right) + ")";
}
std::string shape(const a_objhead* h) { return shape(h, *h->poh_rootp); }

// The keys in order; the backward walk must give them reversed.
std::vector<std::string> forward(const a_objhead* h) {
    std::vector<std::string> keys, back;
    for (a_objidx* n = index_first_stridx(h); n != nullptr; n = index_next_stridx(n)) keys.push_back(key_text(h, n));
    for (a_objidx* n = index_last_stridx(h); n != nullptr; n = index_prev_stridx(n)) back.push_back(key_text(h, n));
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, keys);
    return keys;
}

// Heights and parent links agree with the tree's structure; returns the height.
int check_links(const a_objidx* n, const a_objidx* parent = nullptr) {
    if (n == nullptr) return -1;
    EXPECT_EQ(n->poi_parent, parent);
    const int h = 1 + std::max(check_links(n->poi_left, n), check_links(n->poi_right, n));
    EXPECT_EQ(n->poi_height, h);
    return h;
}

class Index : public RuntimeTest {
protected:
    void TearDown() override {
        EXPECT_EQ(main_code(), 0u) << main_text();
        RuntimeTest::TearDown();
    }
    // 4-byte keys, alive for the indexes that do not copy them.
    std::vector<std::uint32_t> store = std::vector<std::uint32_t>(4096);
    std::size_t next = 0;
    const std::uint32_t* num(std::uint32_t v) {
        store[next] = v;
        return &store[next++];
    }
};

TEST_F(Index, ShapesAfterInsertsInAnyOrder) {
    const std::vector<test_table::row> cases = test_table::read("index_shapes.txt");
    EXPECT_EQ(cases.size(), 6U);
    for (const test_table::row& c : cases) {
        const bool balance = c[1] == "1";
        std::vector<std::uint32_t> keys;
        std::istringstream texts(c[2]);
        for (std::uint32_t v = 0; texts >> v;) keys.push_back(v);
        index_ptr idx;
        index_set_stridx(idx, IDX_KEYLEN, 4);
        index_set_stridx(idx, IDX_BALANCE, balance);
        for (std::uint32_t v : keys) ASSERT_NE(index_find_stridx(idx, num(v)), nullptr);
        EXPECT_EQ(shape(idx), c[3]) << c[0];
        if (balance) check_links(*idx->poh_rootp);  // heights are kept for balancing only
        index_set_stridx(idx, IDX_FINDONLY, 1);
        for (std::uint32_t v : keys) EXPECT_EQ(key_text(idx, index_find_stridx(idx, &v)), std::to_string(v));
    }

    // Unsigned bytes: a high byte sorts after ASCII, a prefix before its extensions.
    index_ptr text;
    for (const char* k : {"b", "a", "c", "\xc3\xa9", "ab", "abc", ""}) index_find_stridx(text, k);
    EXPECT_EQ(forward(text), (std::vector<std::string>{"", "a", "ab", "abc", "b", "c", "\xc3\xa9"}));

    // Keys of any other fixed length compare as numbers in the host's byte order.
    constexpr std::size_t low_byte = std::endian::native == std::endian::big ? 1 : 0;
    std::vector<std::array<unsigned char, 3>> three(5);
    index_ptr odd;
    index_set_stridx(odd, IDX_KEYLEN, 3);
    for (std::size_t i = 0; std::uint32_t v : {0x010203u, 0x030201u, 0x000300u, 0x020100u, 0x000003u}) {
        std::memcpy(three[i].data(), reinterpret_cast<const unsigned char*>(&v) + low_byte, 3);
        index_find_stridx(odd, three[i++].data());
    }
    std::vector<std::uint32_t> order;
    for (a_objidx* n = index_first_stridx(odd); n != nullptr; n = index_next_stridx(n))
        std::memcpy(reinterpret_cast<unsigned char*>(&order.emplace_back(0)) + low_byte, n->poi_key, 3);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0x3, 0x300, 0x010203, 0x020100, 0x030201}));

    // Many keys sharing leading bytes (the prefix hint): a search tree of logarithmic height.
    std::mt19937 rng(7);
    index_ptr fixed;
    index_set_stridx(fixed, IDX_KEYLEN, 4);
    std::vector<std::uint32_t> values;
    for (int i = 0; i < 2000; ++i) {
        values.push_back(rng() % 5000 * 65537u);
        ASSERT_NE(index_find_stridx(fixed, num(values.back())), nullptr);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    std::vector<std::string> value_texts;
    for (std::uint32_t v : values) value_texts.push_back(std::to_string(v));
    EXPECT_EQ(forward(fixed), value_texts);
    EXPECT_LT(check_links(*fixed->poh_rootp), 20);
}

TEST_F(Index, LookupFeatures) {
    index_ptr idx;
    index_set_stridx(idx, IDX_COPYKEY, 1);
    char buffer[16] = "d";
    a_objidx* d = index_find_stridx(idx, buffer);
    std::strcpy(buffer, "zz");  // the copied key outlives the caller's buffer
    EXPECT_STREQ(d->poi_key, "d");
    EXPECT_EQ(d->poi_data, nullptr);
    for (const char* k : {"b", "f", "d"}) index_find_stridx(idx, k);
    EXPECT_EQ(d->poi_hits, 2u);
    EXPECT_EQ(forward(idx).size(), 3u);

    ASSERT_TRUE(index_set_stridx(idx, IDX_FINDONLY, 1));
    EXPECT_EQ(index_find_stridx(idx, "c"), nullptr);
    EXPECT_EQ(index_find_stridx(idx, "d"), d);
    EXPECT_EQ(d->poi_hits, 2u);  // find-only lookups do not count
    ASSERT_TRUE(index_set_stridx(idx, IDX_NEAREST, 1));
    EXPECT_STREQ(index_find_stridx(idx, "c")->poi_key, "b");  // would hang under "b"
    EXPECT_STREQ(index_find_stridx(idx, "z")->poi_key, "f");

    index_set_stridx(idx, IDX_FINDONLY, 0);
    index_set_stridx(idx, IDX_NEAREST, 0);
    ASSERT_TRUE(index_set_stridx(idx, IDX_REMEMBER, 1));
    a_objidx* f = index_find_stridx(idx, "f");
    EXPECT_EQ(f->poi_hits, 2u);
    EXPECT_EQ(index_find_stridx(idx, "f"), f);  // served from the remembered node
    EXPECT_EQ(f->poi_hits, 2u);
    EXPECT_EQ(index_find_stridx(idx, "b")->poi_hits, 2u);

    // Key features are frozen once the tree has nodes; unknown features are ignored.
    EXPECT_TRUE(index_set_stridx(idx, IDX_COPYKEY, 1));
    EXPECT_TRUE(index_set_stridx(idx, 99, 1));
    EXPECT_FALSE(index_set_stridx(idx, IDX_KEYLEN, 4));
    EXPECT_EQ(idx->poh_keylen, 0u);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: index - cannot change this feature now, already has nodes [index_set_stridx - index.cpp:N] ");
    reset_registry();
    EXPECT_FALSE(index_set_stridx(idx, IDX_COPYKEY, 0));
    EXPECT_EQ(main_code(), 8u);
    reset_registry();
}

TEST_F(Index, DuplicatesShareAndClonesCopy) {
    index_ptr setter;
    index_set_stridx(setter, IDX_COPYKEY, 1);
    index_set_stridx(setter, IDX_LOCKED, 1);
    a_objhead* getter = index_dup_stridx(setter);
    ASSERT_NE(getter, nullptr);
    index_set_stridx(getter, IDX_FINDONLY, 1);
    EXPECT_EQ(index_find_stridx(getter, "measValue"), nullptr);
    a_objidx* n = index_find_stridx(setter, "measValue");
    EXPECT_EQ(index_find_stridx(getter, "measValue"), n);
    EXPECT_TRUE(index_destroy_stridx(getter));  // releases nothing: the setter still works
    EXPECT_EQ(index_find_stridx(setter, "measValue"), n);

    int payload = 5;
    for (const char* k : {"m", "f", "t", "a", "h"}) index_find_stridx(setter, k)->poi_data = &payload;
    index_find_stridx(setter, "m")->poi_child = setter.h;
    a_objhead* clone = index_clone_stridx(setter);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(shape(clone), shape(setter));
    for (a_objidx *s = index_first_stridx(setter), *c = index_first_stridx(clone); s != nullptr;
         s = index_next_stridx(s), c = index_next_stridx(c)) {
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c->poi_key, s->poi_key);  // copied again
        EXPECT_EQ(std::tuple(c->poi_hits, c->poi_height, c->poi_data, c->poi_child),
                  std::tuple(s->poi_hits, s->poi_height, s->poi_data, static_cast<a_objhead*>(nullptr)));
    }
    index_find_stridx(clone, "z");
    EXPECT_EQ(forward(setter).size(), 6u);
    EXPECT_EQ(forward(clone).size(), 7u);
    EXPECT_TRUE(index_destroy_stridx(clone));

    // A child index lives in its parent's pool and goes with it (the leak check sees it).
    a_objhead* child = index_new_child(setter);
    ASSERT_NE(child, nullptr);
    for (const char* k : {"9", "4", "7"}) index_find_stridx(child, k);
    EXPECT_EQ(forward(child), (std::vector<std::string>{"4", "7", "9"}));
}

// A tree of sorted keys loaded at once has the shape of midpoint-first inserts; lookups
// and runs of seeks give, key for key, what a find-only nearest lookup gives, on trees of
// every shape the index makes.
TEST_F(Index, LoadingAndSeekingAgreeWithLookups) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const std::uint32_t count = round < 8 ? std::vector<std::uint32_t>{0, 1, 2, 3, 6, 7, 100, 1000}[round]
                                              : 1 + static_cast<std::uint32_t>(rng() % 300);
        std::vector<std::uint32_t>& keys = store;
        keys.resize(count);
        for (std::uint32_t i = 0; i < count; ++i) keys[i] = i * 3 + 1;
        std::vector<const void*> key_ptrs;
        std::vector<void*> data;
        for (std::uint32_t& k : keys) {
            key_ptrs.push_back(&k);
            data.push_back(&k);
        }
        index_ptr loaded, inserted;
        index_set_stridx(loaded, IDX_KEYLEN, 4);
        index_set_stridx(inserted, IDX_KEYLEN, 4);
        ASSERT_TRUE(index_load_stridx(loaded, key_ptrs.data(), data.data(), count));
        check_links(*loaded->poh_rootp);
        switch (round % 4) {
            case 0: {  // midpoints level by level: no rotation ever
                std::vector<std::pair<std::uint32_t, std::uint32_t>> level{{0, count}}, below;
                while (!level.empty()) {
                    below.clear();
                    for (auto [lo, hi] : level) {
                        if (lo >= hi) continue;
                        const std::uint32_t mid = lo + (hi - lo) / 2;
                        index_find_stridx(inserted, key_ptrs[mid]);
                        below.emplace_back(lo, mid);
                        below.emplace_back(mid + 1, hi);
                    }
                    level.swap(below);
                }
                EXPECT_EQ(shape(loaded), shape(inserted));
                break;
            }
            case 1:  // descending, as the tokenizer meets elements
                for (auto it = key_ptrs.rbegin(); it != key_ptrs.rend(); ++it) index_find_stridx(inserted, *it);
                break;
            default:  // random order, with and without balancing
                index_set_stridx(inserted, IDX_BALANCE, round % 4 == 2);
                std::shuffle(key_ptrs.begin(), key_ptrs.end(), rng);
                for (const void* k : key_ptrs) index_find_stridx(inserted, k);
                break;
        }
        for (a_objidx* l = index_first_stridx(loaded); l != nullptr; l = index_next_stridx(l)) {
            EXPECT_EQ(l->poi_hits, 1u);
            EXPECT_EQ(l->poi_data, l->poi_key);  // each key's own data
        }
        for (a_objhead* h : {loaded.h, inserted.h}) {
            index_set_stridx(h, IDX_FINDONLY, 1);
            index_set_stridx(h, IDX_NEAREST, 1);
        }
        // Every key from above the largest down to 0, now and then one higher than the
        // one before, which starts a new run.
        a_objseek seek{};
        for (std::uint32_t k = count * 3 + 2;; --k) {
            const std::uint32_t probes[] = {k, k + static_cast<std::uint32_t>(rng() % 40)};
            for (int i = 0; i < (rng() % 50 == 0 ? 2 : 1); ++i) {
                const std::uint32_t& p = probes[i];
                a_objidx* found = index_find_stridx(inserted, &p);
                ASSERT_EQ(index_seek_stridx(inserted, &seek, &p), found) << p;
                // A nearest lookup ends where the walk ends: alike on trees of one shape.
                const std::string same_shape = round % 4 == 0 ? key_text(inserted, found) : "";
                ASSERT_EQ(round % 4 == 0 ? key_text(loaded, index_find_stridx(loaded, &p)) : "", same_shape) << p;
            }
            if (k == 0) break;
        }
    }
}

TEST_F(Index, FailedOperationsLeaveNothingBehind) {
    index_ptr source;
    index_set_stridx(source, IDX_COPYKEY, 1);
    index_set_stridx(source, IDX_LOCKED, 1);
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) keys.push_back(std::string(40, static_cast<char>('a' + i % 26)) + std::to_string(i));
    for (const auto& k : keys) index_find_stridx(source, k.c_str());
    // Each heap request of a clone fails in turn; a clone that fails leaves nothing.
    for (unsigned fault = 1;; ++fault) {
        mem_set_sysfault(fault);
        a_objhead* clone = index_clone_stridx(source);
        mem_set_sysfault(0);
        if (clone != nullptr) {
            EXPECT_EQ(forward(clone), forward(source));
            index_destroy_stridx(clone);
            break;
        }
        EXPECT_NE(main_code(), 0u);
        reset_registry();
        ASSERT_LT(fault, 50u);
    }
    const auto before = forward(source);
    const std::string big(3 * 8192, 'q');
    mem_set_sysfault(1);
    EXPECT_EQ(index_find_stridx(source, big.c_str()), nullptr);
    EXPECT_EQ(forward(source), before);  // a failed insert links nothing
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [mem_sysmalloc - memory.cpp:N] "
              "[mem_new_memblock - memory.cpp:N] [error desc - Cannot allocate memory] "
              "[mem_malloc - index.cpp:N] ");
    reset_registry();
    mem_set_sysfault(1);
    EXPECT_EQ(index_new_stridx(), nullptr);
    EXPECT_EQ(main_code(), 1u);
    reset_registry();

    // A lock failure ends a lookup without inserting, at the root or below it.
    for (unsigned call : {1u, 2u}) {
        posix_set_fault(posix_fault_call::mutex_lock, call, EINVAL);
        EXPECT_EQ(index_find_stridx(source, "b"), nullptr);
        EXPECT_EQ(without_lines(main_text()),
                  "ERROR: system error [error desc - Invalid argument] [pthr_mutex_lock - index.cpp:N] ");
        reset_registry();
        EXPECT_EQ(forward(source), before);
    }
    EXPECT_EQ(index_getsafe_stridx(source, source->poh_rootp), *source->poh_rootp);

    // Loading refuses keys out of order or twice, and a tree that has nodes.
    std::vector<const void*> keys_in = {"a", "b", "b", "c"};
    std::vector<void*> data(4, nullptr);
    index_ptr loaded;
    for (int round = 0; round < 2; ++round, std::swap(keys_in[2], keys_in[3])) {  // a b b c, a b c b
        EXPECT_FALSE(index_load_stridx(loaded, keys_in.data(), data.data(), keys_in.size()));
        EXPECT_EQ(main_code(), 4u);
        EXPECT_EQ(index_first_stridx(loaded), nullptr);
        reset_registry();
    }
    EXPECT_FALSE(index_load_stridx(source, keys_in.data(), data.data(), 1));
    EXPECT_EQ(main_code(), 8u);
    reset_registry();
    posix_set_fault(posix_fault_call::mutex_init, 1, EAGAIN);
    EXPECT_EQ(index_new_stridx(), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Resource temporarily unavailable] [pthr_mutex_init - index.cpp:N] ");
    reset_registry();
}

// A locked index that does not rebalance, written by one thread while others look up
// through find-only duplicates: how the tokenizer's tag-type registry is shared with the
// workers. Under ThreadSanitizer this proves the locking.
TEST_F(Index, OneWriterManyFinders) {
    constexpr int key_count = 20000;
    constexpr int finders = 3;
    index_ptr setter;
    for (auto [feature, value] : {std::pair{IDX_KEYLEN, 4}, {IDX_COPYKEY, 1}, {IDX_LOCKED, 1}, {IDX_BALANCE, 0}})
        ASSERT_TRUE(index_set_stridx(setter, feature, static_cast<std::uint32_t>(value)));
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
            if (index_find_stridx(setter, &keys[i]) == nullptr) failed = true;
            if (i % 7 == 0 && index_find_stridx(setter, &keys[i / 2]) == nullptr) failed = true;  // repeats
            published.store(i + 1, std::memory_order_release);
        }
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < finders; ++r) {
        readers.emplace_back([&, r] {
            std::mt19937 rng(static_cast<unsigned>(r));
            for (int known; (known = published.load(std::memory_order_acquire)) < key_count;) {
                if (known == 0) continue;
                const std::uint32_t key = keys[rng() % static_cast<unsigned>(known)];
                a_objidx* n = index_find_stridx(getters[static_cast<std::size_t>(r)], &key);
                if (n == nullptr || std::memcmp(n->poi_key, &key, 4) != 0) failed = true;
                const std::uint32_t other = key ^ 1u;  // mostly a miss: walks down to a leaf
                index_find_stridx(getters[static_cast<std::size_t>(r)], &other);
            }
        });
    }
    writer.join();
    for (auto& t : readers) t.join();
    EXPECT_FALSE(failed);
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> expected;
    for (std::uint32_t k : keys) expected.push_back(std::to_string(k));
    EXPECT_EQ(forward(setter), expected);
    for (a_objhead* g : getters) index_destroy_stridx(g);
}

}  // namespace
