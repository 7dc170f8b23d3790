// index: the module's one associative container, an ordered AVL tree of byte-string keys
// with a user pointer per node, whose nodes live in a pool released as a whole. Used for
// configuration lookups, the tokenizer's tag types, warning de-duplication and the parse
// side's element indexes. The main operation is find-or-insert; features tune it.
#ifndef MEASDOC_MD_INDEX_H
#define MEASDOC_MD_INDEX_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "md_memory.h"

struct a_objidx {
    const char* poi_key;        // the caller's key, or its copy in the pool
    std::uint32_t poi_lcp;      // leading key bytes (by significance) shared with the parent
    std::uint32_t poi_hits;     // 1 at insertion, +1 per later find-or-insert of the key
    std::int32_t poi_height;    // leaf 0; an absent child counts -1
    void* poi_data;             // user data, NULL in a fresh node
    void* poi_child;            // second user word (a child index), NULL in a fresh node
    a_objidx* poi_left;
    a_objidx* poi_right;
    a_objidx* poi_parent;       // NULL at the root
};

struct a_objhead {
    std::uint32_t poh_nobalance;
    std::uint32_t poh_keylen;   // 0: NUL-terminated keys; N: N-byte keys compared as integers
    std::uint32_t poh_copykey;
    std::uint32_t poh_findonly;
    std::uint32_t poh_remember;
    std::uint32_t poh_locked;
    std::uint32_t poh_nearest;
    a_meminfo poh_meminfo;      // own pool, when the index owns one
    a_meminfo* poh_memp;        // pool of header, nodes and key copies
    a_objidx* poh_last;         // remembered node
    a_objidx* poh_root;         // own root
    a_objidx** poh_rootp;       // where the root is kept (shared by duplicates)
    pthread_mutex_t poh_lock;   // own mutex
    pthread_mutex_t* poh_lockp; // mutex in use (shared by duplicates)
};

// Feature numbers of index_set_stridx.
enum a_idxfeature : int {
    IDX_KEYLEN = 1,     // frozen once the tree has nodes
    IDX_FINDONLY = 2,   // lookups never insert
    IDX_NEAREST = 3,    // a failed find-only lookup gives the last node visited
    IDX_BALANCE = 4,    // 0 turns rebalancing off
    IDX_REMEMBER = 5,   // the last result is tried first
    IDX_COPYKEY = 6,    // inserted keys are copied into the pool; frozen once populated
    IDX_LOCKED = 7,     // links are read and written under the index's mutex
};

// A new empty index with its own pool, root and mutex; NULL on failure (recorded).
a_objhead* index_new_stridx();
// Sets a feature. Returns 1, or 0 (code 8, feature unchanged) when a frozen feature would
// change. Unknown feature numbers are ignored.
bool index_set_stridx(a_objhead* header, int feature, std::uint32_t value);
// Find-or-insert (find only with IDX_FINDONLY). A fresh node has poi_data NULL. NULL when
// nothing is found or on failure (recorded); a failed insert leaves the tree unchanged.
a_objidx* index_find_stridx(a_objhead* header, const void* key);
// Smallest / largest node, in-order successor / predecessor; NULL at the ends. No lock.
a_objidx* index_first_stridx(const a_objhead* header);
a_objidx* index_last_stridx(const a_objhead* header);
a_objidx* index_next_stridx(const a_objidx* node);
a_objidx* index_prev_stridx(const a_objidx* node);
// Releases the index's mutex and pool when it owns them (duplicates and children release
// with their source's pool). NULL is accepted. Returns 1, or 0 on failure (recorded).
bool index_destroy_stridx(a_objhead* header);
// A second header on the same tree, mutex and pool, with the same key length, lock and
// key-copy settings and its own lookup features; NULL on failure.
a_objhead* index_dup_stridx(a_objhead* header);
// A new empty index with its own root and mutex whose header, nodes and keys come from
// parent's pool; released with it. NULL on failure.
a_objhead* index_new_child(a_objhead* parent);
// An independent copy of the tree with its own pool: same shape, keys copied again when
// the source copies keys, lcp, hits, height and data taken over, poi_child not. Key length
// and key copying as the source, other features off. NULL on failure (nothing left over).
a_objhead* index_clone_stridx(const a_objhead* source);
// Builds the tree of an empty index at once from count keys in ascending order, each
// greater than the one before, with data[i] the data of key i and one hit per node: the
// shape that inserting the keys level by level gives, which no rebalancing changes, at
// the cost of one pass. Keys are copied when the index copies keys. Returns 1, or 0
// (recorded) with the tree still empty: code 8 for an index that has nodes, code 4 for
// keys out of order, or a failed allocation.
bool index_load_stridx(a_objhead* header, const void* const* keys, void* const* data, std::size_t count);
// Where a run of find-only, nearest lookups of descending keys stands: zero-filled
// before the first lookup of the run; the key it points at must stay valid between
// lookups.
struct a_objseek {
    const void* os_key;         // the key looked up last
    a_objidx* os_below;         // the greatest node whose key is at most os_key
    a_objidx* os_above;         // the node after it
    std::uint32_t os_started;
};
// The node that index_find_stridx gives for key on this index when it is find-only and
// nearest, without searching when the keys of the run come in descending order: a
// search for an absent key ends on the deeper of the two nodes around it, which the run
// reaches by stepping back through the tree. A key above the one before starts the run
// again with a search. NULL on failure (recorded) or for an empty index.
a_objidx* index_seek_stridx(a_objhead* header, a_objseek* seek, const void* key);
// *link, read under the index's mutex when the index is locked; NULL on lock failure.
a_objidx* index_getsafe_stridx(a_objhead* header, a_objidx* const* link);
// Key order: keylen 0 compares NUL-terminated strings as unsigned bytes (pos gets the
// bytes examined); keylen N compares N bytes as a native unsigned integer starting at
// significance position *pos (pos gets the position of the difference, or N-1). Returns
// the difference of the first differing bytes, 0 when equal.
int index_cmp_stridx(const void* a, const void* b, std::uint32_t keylen, std::uint32_t* pos);
// Rebalances upward from node after an insert; returns the new root.
a_objidx* index_balance_stridx(a_objhead* header, a_objidx* node);
// Lift node's left / right child into its place; return the lifted node.
a_objidx* index_singlerotate_leftidx(a_objhead* header, a_objidx* node);
a_objidx* index_singlerotate_rightidx(a_objhead* header, a_objidx* node);

#endif
