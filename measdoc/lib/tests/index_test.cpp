// The string index through its public operations: order and walks, hits, the lookup
// features, fixed-length keys, the shapes that the rebalancing procedure produces,
// duplicates, children, clones and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "md_index.h"
#include "runtime_env.h"

namespace {

const auto* const env = ::testing::AddGlobalTestEnvironment(new threaded_runtime);

// Owns an index for one test.
struct index_ptr {
    a_objhead* h;
    index_ptr() : h(index_new_stridx()) {}
    ~index_ptr() { index_destroy_stridx(h); }
    a_objhead* operator->() const { return h; }
    operator a_objhead*() const { return h; }
};

std::string key_text(const a_objhead* h, const a_objidx* n) {
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

std::vector<std::string> forward(const a_objhead* h) {
    std::vector<std::string> keys;
    for (a_objidx* n = index_first_stridx(h); n != nullptr; n = index_next_stridx(n)) keys.push_back(key_text(h, n));
    return keys;
}
std::vector<std::string> backward(const a_objhead* h) {
    std::vector<std::string> keys;
    for (a_objidx* n = index_last_stridx(h); n != nullptr; n = index_prev_stridx(n)) keys.push_back(key_text(h, n));
    return keys;
}

// Heights and parent links agree with the tree's structure.
int check_links(const a_objidx* n, const a_objidx* parent) {
    if (n == nullptr) return -1;
    EXPECT_EQ(n->poi_parent, parent);
    const int h = 1 + std::max(check_links(n->poi_left, n), check_links(n->poi_right, n));
    EXPECT_EQ(n->poi_height, h);
    return h;
}

class Index : public ::testing::Test {
protected:
    void SetUp() override { reset_registry(); }
    void TearDown() override {
        EXPECT_EQ(main_code(), 0u) << main_text();
        reset_registry();
    }
    // Keeps 4-byte keys alive for the indexes that do not copy them.
    std::vector<std::uint32_t> store = std::vector<std::uint32_t>(4096);
    const std::uint32_t* num(std::uint32_t v) {
        store[next_] = v;
        return &store[next_++];
    }

private:
    std::size_t next_ = 0;
};

TEST_F(Index, WalksInKeyOrderBothWays) {
    index_ptr idx;
    for (const char* k : {"b", "a", "c"}) ASSERT_NE(index_find_stridx(idx, k), nullptr);
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(backward(idx), (std::vector<std::string>{"c", "b", "a"}));
    // Unsigned bytes: a high byte sorts after ASCII, a prefix before its extensions.
    for (const char* k : {"\xc3\xa9", "ab", "abc", ""}) index_find_stridx(idx, k);
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"", "a", "ab", "abc", "b", "c", "\xc3\xa9"}));
}

TEST_F(Index, FindOrInsertCountsHits) {
    index_ptr idx;
    a_objidx* first = index_find_stridx(idx, "measInfo");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->poi_data, nullptr);  // fresh
    EXPECT_EQ(first->poi_hits, 1u);
    first->poi_data = idx.h;
    std::string again = "measInfo";  // equal text, other storage
    EXPECT_EQ(index_find_stridx(idx, again.c_str()), first);
    EXPECT_EQ(first->poi_hits, 2u);
    EXPECT_EQ(forward(idx).size(), 1u);
}

TEST_F(Index, FindOnlyNearestAndRemember) {
    index_ptr idx;
    for (const char* k : {"d", "b", "f"}) index_find_stridx(idx, k);
    ASSERT_TRUE(index_set_stridx(idx, IDX_FINDONLY, 1));
    EXPECT_EQ(index_find_stridx(idx, "c"), nullptr);
    EXPECT_EQ(forward(idx).size(), 3u);
    a_objidx* d = index_find_stridx(idx, "d");
    EXPECT_EQ(d->poi_hits, 1u);  // find-only lookups do not count

    ASSERT_TRUE(index_set_stridx(idx, IDX_NEAREST, 1));
    a_objidx* near = index_find_stridx(idx, "c");  // would hang under "b"
    ASSERT_NE(near, nullptr);
    EXPECT_STREQ(near->poi_key, "b");
    EXPECT_STREQ(index_find_stridx(idx, "z")->poi_key, "f");

    index_set_stridx(idx, IDX_FINDONLY, 0);
    index_set_stridx(idx, IDX_NEAREST, 0);
    ASSERT_TRUE(index_set_stridx(idx, IDX_REMEMBER, 1));
    a_objidx* f = index_find_stridx(idx, "f");
    EXPECT_EQ(f->poi_hits, 2u);
    EXPECT_EQ(idx->poh_last, f);
    EXPECT_EQ(index_find_stridx(idx, "f"), f);  // served from the remembered node
    EXPECT_EQ(f->poi_hits, 2u);
    EXPECT_EQ(index_find_stridx(idx, "b")->poi_hits, 2u);
    EXPECT_STREQ(idx->poh_last->poi_key, "b");
}

TEST_F(Index, FourByteKeysInNumericOrder) {
    index_ptr idx;
    ASSERT_TRUE(index_set_stridx(idx, IDX_KEYLEN, 4));
    for (std::uint32_t v : {65536u, 1u, 256u}) index_find_stridx(idx, num(v));
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"1", "256", "65536"}));

    // Many values that share leading bytes exercise the prefix hint on the way down.
    std::mt19937 rng(7);
    std::vector<std::uint32_t> values;
    for (int i = 0; i < 2000; ++i) values.push_back(rng() % 5000 * 65537u);
    for (std::uint32_t v : values) ASSERT_NE(index_find_stridx(idx, num(v)), nullptr);
    std::vector<std::uint32_t> expected = values;
    expected.insert(expected.end(), {1u, 256u, 65536u});
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    std::vector<std::string> expected_text;
    for (std::uint32_t v : expected) expected_text.push_back(std::to_string(v));
    EXPECT_EQ(forward(idx), expected_text);
    check_links(*idx->poh_rootp, nullptr);
    index_set_stridx(idx, IDX_FINDONLY, 1);
    for (std::uint32_t v : values) {
        a_objidx* n = index_find_stridx(idx, &v);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(key_text(idx, n), std::to_string(v));
    }
}

TEST_F(Index, FrozenFeaturesOnceTheTreeHasNodes) {
    index_ptr idx;
    EXPECT_TRUE(index_set_stridx(idx, IDX_KEYLEN, 4));
    EXPECT_TRUE(index_set_stridx(idx, IDX_KEYLEN, 0));
    index_find_stridx(idx, "x");
    EXPECT_TRUE(index_set_stridx(idx, IDX_KEYLEN, 0));
    EXPECT_TRUE(index_set_stridx(idx, IDX_COPYKEY, 0));
    EXPECT_TRUE(index_set_stridx(idx, 99, 1));  // unknown: ignored

    const unsigned none = main_code();
    EXPECT_EQ(none, 0u);
    EXPECT_FALSE(index_set_stridx(idx, IDX_KEYLEN, 4));
    EXPECT_EQ(idx->poh_keylen, 0u);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: index - cannot change this feature now, already has nodes [index_set_stridx - index.cpp:N] ");
    reset_registry();
    EXPECT_FALSE(index_set_stridx(idx, IDX_COPYKEY, 1));
    EXPECT_EQ(idx->poh_copykey, 0u);
    EXPECT_EQ(main_code(), 8u);
    reset_registry();
}

TEST_F(Index, BalancingShapes) {
    index_ptr balanced;
    index_set_stridx(balanced, IDX_KEYLEN, 4);
    for (std::uint32_t v : {1u, 2u, 3u}) index_find_stridx(balanced, num(v));
    EXPECT_EQ(shape(balanced), "2(1,3)");
    check_links(*balanced->poh_rootp, nullptr);

    index_ptr chain;
    index_set_stridx(chain, IDX_KEYLEN, 4);
    index_set_stridx(chain, IDX_BALANCE, 0);
    for (std::uint32_t v : {1u, 2u, 3u}) index_find_stridx(chain, num(v));
    EXPECT_EQ(shape(chain), "1(,2(,3))");
    index_set_stridx(chain, IDX_FINDONLY, 1);
    for (std::uint32_t v : {1u, 2u, 3u}) EXPECT_NE(index_find_stridx(chain, &v), nullptr);
}

// The rotation is chosen by whether the heavy child has an inner child, not by which of
// its children is taller; these shapes pin that procedure down.
TEST_F(Index, RebalancingFollowsTheInnerChildRule) {
    index_ptr outer;
    index_set_stridx(outer, IDX_KEYLEN, 4);
    for (std::uint32_t v : {50u, 30u, 70u, 20u, 40u, 10u}) index_find_stridx(outer, num(v));
    EXPECT_EQ(shape(outer), "40(30(20(10,),),50(,70))");
    check_links(*outer->poh_rootp, nullptr);

    index_ptr ascending;
    index_set_stridx(ascending, IDX_KEYLEN, 4);
    for (std::uint32_t v = 1; v <= 6; ++v) index_find_stridx(ascending, num(v));
    EXPECT_EQ(shape(ascending), "3(2(1,),4(,5(,6)))");
    check_links(*ascending->poh_rootp, nullptr);

    index_ptr zigzag;  // inner inserts: classic double rotations
    index_set_stridx(zigzag, IDX_KEYLEN, 4);
    for (std::uint32_t v : {30u, 10u, 20u}) index_find_stridx(zigzag, num(v));
    EXPECT_EQ(shape(zigzag), "20(10,30)");
    for (std::uint32_t v : {40u, 35u}) index_find_stridx(zigzag, num(v));
    EXPECT_EQ(shape(zigzag), "20(10,35(30,40))");
}

TEST_F(Index, RandomInsertsKeepASearchTree) {
    index_ptr idx;
    std::mt19937 rng(11);
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("k" + std::to_string(rng() % 2000));
    index_set_stridx(idx, IDX_COPYKEY, 1);
    for (const auto& k : keys) ASSERT_NE(index_find_stridx(idx, k.c_str()), nullptr);
    std::vector<std::string> expected = keys;
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(forward(idx), expected);
    const int height = check_links(*idx->poh_rootp, nullptr);
    EXPECT_LT(height, 40);  // far from a chain of 2000
}

TEST_F(Index, CopiedKeysOutliveTheCallersBuffer) {
    index_ptr idx;
    index_set_stridx(idx, IDX_COPYKEY, 1);
    char buffer[16] = "sn";
    a_objidx* n = index_find_stridx(idx, buffer);
    EXPECT_NE(n->poi_key, buffer);
    std::strcpy(buffer, "zz");
    EXPECT_STREQ(n->poi_key, "sn");

    index_ptr fixed;
    index_set_stridx(fixed, IDX_KEYLEN, 4);
    index_set_stridx(fixed, IDX_COPYKEY, 1);
    std::uint32_t v = 9;
    a_objidx* m = index_find_stridx(fixed, &v);
    v = 10;
    EXPECT_EQ(key_text(fixed, m), "9");
}

TEST_F(Index, DuplicatesShareOneTree) {
    index_ptr setter;
    index_set_stridx(setter, IDX_COPYKEY, 1);
    index_set_stridx(setter, IDX_LOCKED, 1);
    index_set_stridx(setter, IDX_BALANCE, 0);
    a_objhead* getter = index_dup_stridx(setter);
    ASSERT_NE(getter, nullptr);
    EXPECT_EQ(getter->poh_copykey, 1u);
    EXPECT_EQ(getter->poh_locked, 1u);
    EXPECT_EQ(getter->poh_nobalance, 0u);  // lookup features are its own
    index_set_stridx(getter, IDX_FINDONLY, 1);
    index_set_stridx(getter, IDX_BALANCE, 0);

    EXPECT_EQ(index_find_stridx(getter, "measValue"), nullptr);
    a_objidx* n = index_find_stridx(setter, "measValue");
    EXPECT_EQ(index_find_stridx(getter, "measValue"), n);
    EXPECT_EQ(forward(getter), (std::vector<std::string>{"measValue"}));
    EXPECT_TRUE(index_destroy_stridx(getter));  // releases nothing: the setter still works
    EXPECT_EQ(index_find_stridx(setter, "measValue"), n);
}

TEST_F(Index, ChildIndexesLiveInTheParentsPool) {
    index_ptr parent;
    index_set_stridx(parent, IDX_KEYLEN, 4);
    a_objidx* type = index_find_stridx(parent, num(3));
    a_objhead* child = index_new_child(parent);
    ASSERT_NE(child, nullptr);
    index_set_stridx(child, IDX_KEYLEN, 4);
    type->poi_child = child;
    for (std::uint32_t seq : {9u, 4u, 7u}) index_find_stridx(child, num(seq));
    EXPECT_EQ(forward(child), (std::vector<std::string>{"4", "7", "9"}));
    EXPECT_EQ(forward(parent), (std::vector<std::string>{"3"}));
    // No destroy of the child: the parent's pool takes it along (the leak check sees it).
}

TEST_F(Index, ClonesAreIndependentCopies) {
    index_ptr source;
    index_set_stridx(source, IDX_COPYKEY, 1);
    int payload = 5;
    for (const char* k : {"m", "f", "t", "a", "h"}) index_find_stridx(source, k)->poi_data = &payload;
    index_find_stridx(source, "f");
    index_find_stridx(source, "m")->poi_child = source.h;
    index_set_stridx(source, IDX_REMEMBER, 1);

    a_objhead* clone = index_clone_stridx(source);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(shape(clone), shape(source));
    EXPECT_EQ(clone->poh_copykey, 1u);
    EXPECT_EQ(clone->poh_remember, 0u);
    for (a_objidx *s = index_first_stridx(source), *c = index_first_stridx(clone); s != nullptr;
         s = index_next_stridx(s), c = index_next_stridx(c)) {
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c, s);
        EXPECT_NE(c->poi_key, s->poi_key);  // copied again
        EXPECT_EQ(c->poi_hits, s->poi_hits);
        EXPECT_EQ(c->poi_height, s->poi_height);
        EXPECT_EQ(c->poi_lcp, s->poi_lcp);
        EXPECT_EQ(c->poi_data, &payload);
        EXPECT_EQ(c->poi_child, nullptr);
    }
    index_find_stridx(clone, "z");
    EXPECT_EQ(forward(source).size(), 5u);
    EXPECT_EQ(forward(clone).size(), 6u);
    EXPECT_TRUE(index_destroy_stridx(clone));

    index_ptr shared;  // without key copies the clone points at the same keys
    const char* key = "k";
    index_find_stridx(shared, key);
    a_objhead* plain = index_clone_stridx(shared);
    EXPECT_EQ(index_first_stridx(plain)->poi_key, key);
    index_destroy_stridx(plain);

    index_ptr empty;
    a_objhead* none = index_clone_stridx(empty);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(index_first_stridx(none), nullptr);
    index_destroy_stridx(none);
}

// The keys of a range in the order a level-by-level walk of its midpoint tree meets them.
std::vector<std::uint32_t> level_order(std::uint32_t count) {
    std::vector<std::uint32_t> order;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> level, next;
    if (count > 0) level.emplace_back(0, count);
    while (!level.empty()) {
        next.clear();
        for (auto [lo, hi] : level) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            order.push_back(mid * 3 + 1);
            if (lo < mid) next.emplace_back(lo, mid);
            if (mid + 1 < hi) next.emplace_back(mid + 1, hi);
        }
        level.swap(next);
    }
    return order;
}

TEST_F(Index, LoadingSortedKeysGivesTheShapeOfLevelOrderInserts) {
    for (std::uint32_t count : {0u, 1u, 2u, 3u, 6u, 7u, 100u, 1000u}) {
        SCOPED_TRACE(count);
        std::vector<std::uint32_t> keys(count);
        std::vector<const void*> key_ptrs;
        std::vector<void*> data;
        for (std::uint32_t i = 0; i < count; ++i) keys[i] = i * 3 + 1;
        for (std::uint32_t& k : keys) {
            key_ptrs.push_back(&k);
            data.push_back(&k);
        }
        index_ptr loaded;
        index_set_stridx(loaded, IDX_KEYLEN, 4);
        ASSERT_TRUE(index_load_stridx(loaded, key_ptrs.data(), data.data(), count));

        index_ptr inserted;  // balancing on: the order alone keeps every rotation away
        index_set_stridx(inserted, IDX_KEYLEN, 4);
        for (std::uint32_t k : level_order(count)) index_find_stridx(inserted, num(k));

        EXPECT_EQ(shape(loaded), shape(inserted));
        check_links(*loaded->poh_rootp, nullptr);
        for (a_objidx *l = index_first_stridx(loaded), *i = index_first_stridx(inserted); l != nullptr;
             l = index_next_stridx(l), i = index_next_stridx(i)) {
            EXPECT_EQ(l->poi_lcp, i->poi_lcp);
            EXPECT_EQ(l->poi_hits, 1u);
            EXPECT_EQ(l->poi_data, l->poi_key);  // each key's own data
        }
        // Lookups, nearest ones included, find their way as in any tree of the index.
        index_set_stridx(loaded, IDX_FINDONLY, 1);
        index_set_stridx(loaded, IDX_NEAREST, 1);
        index_set_stridx(inserted, IDX_FINDONLY, 1);
        index_set_stridx(inserted, IDX_NEAREST, 1);
        for (std::uint32_t k = 0; count > 0 && k < count * 3 + 2; ++k)
            EXPECT_EQ(key_text(loaded, index_find_stridx(loaded, &k)), key_text(inserted, index_find_stridx(inserted, &k)));
    }
}

TEST_F(Index, LoadingRefusesUnsortedKeysAndPopulatedIndexes) {
    std::vector<std::string> words = {"a", "b", "b", "c"};
    std::vector<const void*> keys;
    std::vector<void*> data;
    for (auto& w : words) {
        keys.push_back(w.c_str());
        data.push_back(&w);
    }
    index_ptr idx;
    EXPECT_FALSE(index_load_stridx(idx, keys.data(), data.data(), keys.size()));  // "b" twice
    EXPECT_EQ(main_code(), 4u);
    EXPECT_EQ(index_first_stridx(idx), nullptr);
    reset_registry();
    std::swap(keys[2], keys[3]);  // a b c b
    EXPECT_FALSE(index_load_stridx(idx, keys.data(), data.data(), keys.size()));
    EXPECT_EQ(main_code(), 4u);
    reset_registry();

    // Texts copied where the index copies keys; no second load over a tree.
    index_set_stridx(idx, IDX_COPYKEY, 1);
    ASSERT_TRUE(index_load_stridx(idx, keys.data(), data.data(), 3));
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_NE(index_first_stridx(idx)->poi_key, keys[0]);
    EXPECT_FALSE(index_load_stridx(idx, keys.data(), data.data(), 1));
    EXPECT_EQ(main_code(), 8u);
    reset_registry();
    EXPECT_EQ(forward(idx).size(), 3u);
    // Inserting into a loaded tree goes on as usual.
    ASSERT_NE(index_find_stridx(idx, "d"), nullptr);
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"a", "b", "c", "d"}));
    check_links(*idx->poh_rootp, nullptr);
}

// A run of seeks gives, key for key, what a find-only nearest lookup gives: on trees of
// every shape the index makes (balanced inserts in any order, no balancing, loading).
TEST_F(Index, SeekingDescendingKeysFindsWhatTheSearchFinds) {
    std::mt19937 rng(5);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        index_ptr idx;
        index_set_stridx(idx, IDX_KEYLEN, 4);
        std::vector<std::uint32_t> keys;
        const int count = 1 + static_cast<int>(rng() % 300);
        for (int i = 0; i < count; ++i) keys.push_back(static_cast<std::uint32_t>(rng() % 1000) * 2 + 1);
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        std::vector<std::uint32_t>& stored = store;
        stored.assign(keys.begin(), keys.end());
        std::vector<const void*> key_ptrs;
        std::vector<void*> data(stored.size(), nullptr);
        for (std::uint32_t& k : stored) key_ptrs.push_back(&k);
        switch (round % 4) {
            case 0:  // loaded at once
                ASSERT_TRUE(index_load_stridx(idx, key_ptrs.data(), data.data(), key_ptrs.size()));
                break;
            case 1:  // descending inserts, as the tokenizer meets elements
                for (auto it = key_ptrs.rbegin(); it != key_ptrs.rend(); ++it) index_find_stridx(idx, *it);
                break;
            case 2:  // random order
                std::shuffle(key_ptrs.begin(), key_ptrs.end(), rng);
                for (const void* k : key_ptrs) index_find_stridx(idx, k);
                break;
            default:  // no balancing: long chains
                index_set_stridx(idx, IDX_BALANCE, 0);
                std::shuffle(key_ptrs.begin(), key_ptrs.end(), rng);
                for (const void* k : key_ptrs) index_find_stridx(idx, k);
                break;
        }
        index_set_stridx(idx, IDX_FINDONLY, 1);
        index_set_stridx(idx, IDX_NEAREST, 1);
        // Every key from above the largest down to 0: present ones, gaps, both ends;
        // now and then one higher than the one before, which starts a new run.
        a_objseek seek{};
        std::vector<std::uint32_t> probes;
        for (std::uint32_t k = 2002;; --k) {
            probes.push_back(k);
            if (rng() % 50 == 0) probes.push_back(k + static_cast<std::uint32_t>(rng() % 40));
            if (k == 0) break;
        }
        for (const std::uint32_t& k : probes) {
            a_objidx* sought = index_seek_stridx(idx, &seek, &k);
            ASSERT_EQ(sought, index_find_stridx(idx, &k)) << "key " << k;
        }
    }
    index_ptr empty;
    a_objseek seek{};
    std::uint32_t k = 1;
    index_set_stridx(empty, IDX_FINDONLY, 1);
    index_set_stridx(empty, IDX_NEAREST, 1);
    EXPECT_EQ(index_seek_stridx(empty, &seek, &k), nullptr);
}

TEST_F(Index, FailedOperationsLeaveNothingBehind) {
    index_ptr source;
    index_set_stridx(source, IDX_COPYKEY, 1);
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) keys.push_back(std::string(40, 'a' + i % 26) + std::to_string(i));
    for (const auto& k : keys) index_find_stridx(source, k.c_str());
    // Fail each heap request of a clone in turn; a clone that fails leaves nothing.
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

    // A failed insert links nothing.
    const auto before = forward(source);
    const std::string big(3 * 8192, 'q');
    mem_set_sysfault(1);
    EXPECT_EQ(index_find_stridx(source, big.c_str()), nullptr);
    mem_set_sysfault(0);
    EXPECT_EQ(forward(source), before);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [mem_sysmalloc - memory.cpp:N] "
              "[mem_new_memblock - memory.cpp:N] [error desc - Cannot allocate memory] "
              "[mem_malloc - index.cpp:N] ");
    reset_registry();

    mem_set_sysfault(1);
    EXPECT_EQ(index_new_stridx(), nullptr);
    mem_set_sysfault(0);
    EXPECT_EQ(main_code(), 1u);
    reset_registry();
}

TEST_F(Index, LockFailureEndsALookupWithoutInserting) {
    index_ptr idx;
    index_set_stridx(idx, IDX_LOCKED, 1);
    index_find_stridx(idx, "a");
    posix_set_fault(posix_fault_call::mutex_lock, 1, EINVAL);
    EXPECT_EQ(index_find_stridx(idx, "b"), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Invalid argument] [pthr_mutex_lock - index.cpp:N] ");
    reset_registry();
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"a"}));
    // Failing on the link read below the root, too.
    posix_set_fault(posix_fault_call::mutex_lock, 2, EINVAL);
    EXPECT_EQ(index_find_stridx(idx, "b"), nullptr);
    EXPECT_EQ(forward(idx), (std::vector<std::string>{"a"}));
    reset_registry();
    EXPECT_EQ(index_getsafe_stridx(idx, idx->poh_rootp), index_first_stridx(idx));

    posix_set_fault(posix_fault_call::mutex_init, 1, EAGAIN);
    EXPECT_EQ(index_new_stridx(), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Resource temporarily unavailable] "
              "[pthr_mutex_init - index.cpp:N] ");
    reset_registry();
}

}  // namespace
