// index: ordered AVL string index with find-or-insert, duplicates sharing one tree,
// child indexes in a parent's pool and independent clones. Used by the configuration,
// the tokenizer's tag-type registry, the warning merge and the parse side.
#include "md_index.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "md_error.h"
#include "md_posix.h"
#include "md_thread.h"

namespace {

constexpr bool big_endian = std::endian::native == std::endian::big;

int height(const a_objidx* node) { return node != nullptr ? node->poi_height : -1; }

// Keys of 4 and 8 bytes (sequence numbers, tag types) are compared as one native integer:
// its order is the order of the bytes by significance, and the position of the difference
// is the number of leading bytes that its highest differing bit leaves equal. Every byte
// is compared, so the caller's hint only tells where the answer cannot lie.
template <typename Word>
int compare_words(const void* a, const void* b, std::uint32_t* pos) {
    Word x;
    Word y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    constexpr std::uint32_t bytes = sizeof(Word);
    const Word diff = x ^ y;
    if (diff == 0) {
        *pos = bytes - 1;
        return 0;
    }
    const std::uint32_t p = static_cast<std::uint32_t>(std::countl_zero(diff)) / 8;
    *pos = p;
    const unsigned shift = 8 * (bytes - 1 - p);
    return static_cast<int>((x >> shift) & 0xff) - static_cast<int>((y >> shift) & 0xff);
}

inline int compare_keys(const void* a, const void* b, std::uint32_t keylen, std::uint32_t* pos) {
    if (keylen == 4) return compare_words<std::uint32_t>(a, b, pos);
    if (keylen == 8) return compare_words<std::uint64_t>(a, b, pos);
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    if (keylen == 0) {
        std::uint32_t i = 0;
        while (x[i] == y[i] && x[i] != '\0') ++i;
        *pos = i + 1;
        return static_cast<int>(x[i]) - static_cast<int>(y[i]);
    }
    for (std::uint32_t p = *pos; p < keylen; ++p) {
        const std::uint32_t i = big_endian ? p : keylen - 1 - p;
        if (x[i] != y[i]) {
            *pos = p;
            return static_cast<int>(x[i]) - static_cast<int>(y[i]);
        }
    }
    *pos = keylen - 1;
    return 0;
}

void fix_height(a_objidx* node) { node->poi_height = 1 + std::max(height(node->poi_left), height(node->poi_right)); }

// The prefix hint of node below its (new) parent.
void relink_lcp(const a_objhead* header, a_objidx* node) {
    if (node->poi_parent == nullptr) return;
    std::uint32_t pos = 0;
    compare_keys(node->poi_parent->poi_key, node->poi_key, header->poh_keylen, &pos);
    node->poi_lcp = pos;
}

bool lock_index(a_objhead* header) {
    if (!header->poh_locked) return true;
    const int retval = pthr_mutex_lock(header->poh_lockp);
    if (retval == 0) return true;
    error_set_message("pthr_mutex_lock(hdr->poh_lockp)", ERR_SYSTEM, {err_errno(retval)});
    return false;
}

bool unlock_index(a_objhead* header) {
    if (!header->poh_locked) return true;
    const int retval = pthr_mutex_unlock(header->poh_lockp);
    if (retval == 0) return true;
    error_set_message("pthr_mutex_unlock(hdr->poh_lockp)", ERR_SYSTEM, {err_errno(retval)});
    return false;
}

// Reads a link (under the lock when the index is locked). False on a lock failure, which
// must not be mistaken for an absent child.
bool read_link(a_objhead* header, a_objidx* const* link, a_objidx** out) {
    if (!header->poh_locked) {
        *out = *link;
        return true;
    }
    if (!lock_index(header)) return false;
    *out = *link;
    return unlock_index(header);
}

const pthread_mutexattr_t* mutex_attributes() {
    // Before the thread unit has set up the attributes (configuration at start-up) the
    // defaults serve: the lock calls are inert then anyway.
    return posix_inited() ? &thr_info.th_mutattr : nullptr;
}

// Allocation from an index's pool; a locked index's pool is shared with other threads.
void* pool_alloc(a_objhead* header, std::size_t size) {
    if (!lock_index(header)) return nullptr;
    void* ptr = mem_malloc(header->poh_memp, size);
    const int saved = errno;
    if (!unlock_index(header)) return nullptr;  // the bytes stay in the pool, unused
    errno = saved;
    return ptr;
}

// A copy of key in the pool (caller holds the lock where there is one), or NULL recorded.
const char* copy_key(a_objhead* header, const void* key) {
    a_meminfo* meminfo = header->poh_memp;
    if (header->poh_keylen != 0) {
        const std::size_t bytes = header->poh_keylen;
        void* copy = mem_malloc(meminfo, bytes);
        if (copy == nullptr) {
            error_set_message("(a_anyptr)mem_malloc(meminfo, sizeof(a_char) * bytes )", ERR_SYSTEM, {err_errno(errno)});
            return nullptr;
        }
        std::memcpy(copy, key, bytes);
        return static_cast<const char*>(copy);
    }
    const std::size_t len = std::strlen(static_cast<const char*>(key)) + 1;
    void* copy = mem_malloc(meminfo, len);
    if (copy == nullptr) {
        error_set_message("(a_str)mem_malloc(meminfo, sizeof(a_char) * len)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    std::memcpy(copy, key, len);
    return static_cast<const char*>(copy);
}

a_objidx* new_node(a_objhead* header, const void* key) {
    auto* node = static_cast<a_objidx*>(mem_malloc(header->poh_memp, sizeof(a_objidx)));
    if (node == nullptr) {
        error_set_message("(a_objidx_ptr)mem_malloc(header->poh_memp, sizeof(a_objidx))", ERR_SYSTEM,
                          {err_errno(errno)});
        return nullptr;
    }
    std::memset(node, 0, sizeof *node);
    node->poi_key = static_cast<const char*>(key);
    if (header->poh_copykey) {
        node->poi_key = copy_key(header, key);
        if (node->poi_key == nullptr) return nullptr;  // the node's bytes stay unused in the pool
    }
    node->poi_hits = 1;
    return node;
}

void init_owned_mutex(a_objhead* header, bool* ok) {
    header->poh_lockp = &header->poh_lock;
    const int retval = pthr_mutex_init(header->poh_lockp, mutex_attributes());
    if (retval != 0) {
        error_set_message("pthr_mutex_init(header->poh_lockp, &thr_info.th_mutattr)", ERR_SYSTEM,
                          {err_errno(retval)});
        *ok = false;
    }
}

// count zero-filled nodes in one piece of the index's pool (caller holds the lock where
// there is one); NULL recorded.
a_objidx* node_array(a_objhead* header, std::size_t count) {
    if (count > SIZE_MAX / sizeof(a_objidx)) {
        error_set_message("(a_objidx_ptr)mem_malloc(header->poh_memp, sizeof(a_objidx))", ERR_SYSTEM, {err_errno(ENOMEM)});
        return nullptr;
    }
    auto* nodes = static_cast<a_objidx*>(mem_malloc(header->poh_memp, sizeof(a_objidx) * count));
    if (nodes == nullptr) {
        error_set_message("(a_objidx_ptr)mem_malloc(header->poh_memp, sizeof(a_objidx))", ERR_SYSTEM,
                          {err_errno(errno)});
        return nullptr;
    }
    std::memset(static_cast<void*>(nodes), 0, sizeof(a_objidx) * count);
    return nodes;
}

// Sets the height of every node below root, children before parents, walking the links
// alone.
void set_heights(a_objidx* root) {
    a_objidx* node = root;
    a_objidx* came = nullptr;
    while (node != nullptr) {
        if (came == node->poi_parent && node->poi_left != nullptr) {
            came = node;
            node = node->poi_left;
        } else if ((came == node->poi_parent || came == node->poi_left) && node->poi_right != nullptr) {
            came = node;
            node = node->poi_right;
        } else {
            fix_height(node);
            came = node;
            node = node->poi_parent;
        }
    }
}

}  // namespace

int index_cmp_stridx(const void* a, const void* b, std::uint32_t keylen, std::uint32_t* pos) {
    return compare_keys(a, b, keylen, pos);
}

a_objhead* index_new_stridx() {
    a_meminfo meminfo{};
    if (!mem_init(&meminfo)) {
        error_set_message("mem_init(&meminfo)", ERR_NULL);
        return nullptr;
    }
    auto* header = static_cast<a_objhead*>(mem_malloc(&meminfo, sizeof(a_objhead)));
    if (header == nullptr) {
        error_set_message("(a_objhead_ptr)mem_malloc(&meminfo, sizeof(a_objhead))", ERR_SYSTEM, {err_errno(errno)});
        mem_destroy(&meminfo, false);
        return nullptr;
    }
    std::memset(static_cast<void*>(header), 0, sizeof *header);
    header->poh_meminfo = meminfo;
    header->poh_memp = &header->poh_meminfo;
    header->poh_rootp = &header->poh_root;
    bool ok = true;
    init_owned_mutex(header, &ok);
    if (!ok) {
        a_meminfo pool = header->poh_meminfo;
        mem_destroy(&pool, false);
        return nullptr;
    }
    return header;
}

bool index_set_stridx(a_objhead* header, int feature, std::uint32_t value) {
    if (header == nullptr) {
        error_set_message("header == NULL", ERR_CONDITION);
        return false;
    }
    const bool populated = *header->poh_rootp != nullptr;
    switch (feature) {
        case IDX_KEYLEN:
            if (value != header->poh_keylen && populated) {
                error_set_message("index_set_stridx", ERR_INDEX_FEATURE);
                return false;
            }
            header->poh_keylen = value;
            break;
        case IDX_FINDONLY: header->poh_findonly = value; break;
        case IDX_NEAREST: header->poh_nearest = value; break;
        case IDX_BALANCE: header->poh_nobalance = value == 0; break;
        case IDX_REMEMBER: header->poh_remember = value; break;
        case IDX_COPYKEY:
            if (value != header->poh_copykey && populated) {
                error_set_message("index_set_stridx", ERR_INDEX_FEATURE);
                return false;
            }
            header->poh_copykey = value;
            break;
        case IDX_LOCKED: header->poh_locked = value; break;
        default: break;
    }
    return true;
}

a_objidx* index_getsafe_stridx(a_objhead* header, a_objidx* const* link) {
    a_objidx* value = nullptr;
    return read_link(header, link, &value) ? value : nullptr;
}

a_objidx* index_find_stridx(a_objhead* header, const void* key) {
    if (header == nullptr || key == nullptr) {
        error_set_message(header == nullptr ? "header == NULL" : "key == NULL", ERR_CONDITION);
        return nullptr;
    }
    const std::uint32_t keylen = header->poh_keylen;
    if (header->poh_remember && header->poh_last != nullptr) {
        std::uint32_t pos = 0;
        if (compare_keys(header->poh_last->poi_key, key, keylen, &pos) == 0) return header->poh_last;
    }

    a_objidx* node = nullptr;
    if (!read_link(header, header->poh_rootp, &node)) return nullptr;
    a_objidx* parent = nullptr;
    a_objidx** slot = header->poh_rootp;  // where a new node would be linked
    std::uint32_t hint = 0;
    std::uint32_t pos = 0;
    a_objidx* result = nullptr;
    while (node != nullptr) {
        // Bytes more significant than the hint are equal to this node's (fixed keys); at
        // the root the hint is 0.
        if (node->poi_lcp < hint) hint = node->poi_lcp;
        pos = hint;
        const int cmp = compare_keys(node->poi_key, key, keylen, &pos);
        if (cmp == 0) {
            result = node;
            break;
        }
        hint = pos;
        parent = node;
        slot = cmp < 0 ? &node->poi_right : &node->poi_left;
        if (!read_link(header, slot, &node)) return nullptr;
    }

    if (result != nullptr) {
        if (!header->poh_findonly) ++result->poi_hits;
    } else if (header->poh_findonly) {
        result = header->poh_nearest ? parent : nullptr;
    } else {
        if (!lock_index(header)) return nullptr;
        a_objidx* fresh = new_node(header, key);
        if (fresh == nullptr) {
            unlock_index(header);
            return nullptr;
        }
        fresh->poi_lcp = pos;  // 0 at the root: nothing was compared
        fresh->poi_parent = parent;
        *slot = fresh;  // linked only now that it is complete
        if (!unlock_index(header)) return nullptr;
        if (!header->poh_nobalance) *header->poh_rootp = index_balance_stridx(header, fresh);
        result = fresh;
    }
    if (header->poh_remember) header->poh_last = result;
    return result;
}

namespace {

using child_link = a_objidx* a_objidx::*;

// Lifts node's child on the `near` side into its place; the lifted node's child on the
// `far` side moves under node. The two rotations are this with the sides swapped.
a_objidx* rotate(a_objhead* header, a_objidx* node, child_link near, child_link far) {
    a_objidx* lifted = node->*near;
    a_objidx* parent = node->poi_parent;
    node->*near = lifted->*far;
    if (node->*near != nullptr) {
        (node->*near)->poi_parent = node;
        relink_lcp(header, node->*near);
    }
    lifted->*far = node;
    node->poi_parent = lifted;
    relink_lcp(header, node);
    lifted->poi_parent = parent;
    if (parent == nullptr)
        *header->poh_rootp = lifted;
    else if (parent->poi_left == node)
        parent->poi_left = lifted;
    else
        parent->poi_right = lifted;
    relink_lcp(header, lifted);
    fix_height(node);
    fix_height(lifted);
    return lifted;
}

}  // namespace

a_objidx* index_singlerotate_leftidx(a_objhead* header, a_objidx* node) {
    return rotate(header, node, &a_objidx::poi_left, &a_objidx::poi_right);
}

a_objidx* index_singlerotate_rightidx(a_objhead* header, a_objidx* node) {
    return rotate(header, node, &a_objidx::poi_right, &a_objidx::poi_left);
}

a_objidx* index_balance_stridx(a_objhead* header, a_objidx* node) {
    a_objidx* child = node;
    a_objidx* ancestor = node->poi_parent;
    while (ancestor != nullptr) {
        const int left = height(ancestor->poi_left);
        const int right = height(ancestor->poi_right);
        a_objidx* top = ancestor;
        // The presence of the child's inner grandchild alone chooses the double rotation.
        if (child == ancestor->poi_left && left - right == 2) {
            if (child->poi_right != nullptr) index_singlerotate_rightidx(header, child);
            top = index_singlerotate_leftidx(header, ancestor);
        } else if (child == ancestor->poi_right && right - left == 2) {
            if (child->poi_left != nullptr) index_singlerotate_leftidx(header, child);
            top = index_singlerotate_rightidx(header, ancestor);
        }
        fix_height(top);
        child = top;
        ancestor = top->poi_parent;
    }
    return child;
}

a_objidx* index_first_stridx(const a_objhead* header) {
    if (header == nullptr) return nullptr;
    a_objidx* node = *header->poh_rootp;
    if (node == nullptr) return nullptr;
    while (node->poi_left != nullptr) node = node->poi_left;
    return node;
}

a_objidx* index_last_stridx(const a_objhead* header) {
    if (header == nullptr) return nullptr;
    a_objidx* node = *header->poh_rootp;
    if (node == nullptr) return nullptr;
    while (node->poi_right != nullptr) node = node->poi_right;
    return node;
}

a_objidx* index_next_stridx(const a_objidx* node) {
    if (node == nullptr) return nullptr;
    if (node->poi_right != nullptr) {
        a_objidx* next = node->poi_right;
        while (next->poi_left != nullptr) next = next->poi_left;
        return next;
    }
    const a_objidx* from = node;
    a_objidx* up = node->poi_parent;
    while (up != nullptr && from == up->poi_right) {
        from = up;
        up = up->poi_parent;
    }
    return up;
}

a_objidx* index_prev_stridx(const a_objidx* node) {
    if (node == nullptr) return nullptr;
    if (node->poi_left != nullptr) {
        a_objidx* prev = node->poi_left;
        while (prev->poi_right != nullptr) prev = prev->poi_right;
        return prev;
    }
    const a_objidx* from = node;
    a_objidx* up = node->poi_parent;
    while (up != nullptr && from == up->poi_left) {
        from = up;
        up = up->poi_parent;
    }
    return up;
}

bool index_destroy_stridx(a_objhead* header) {
    if (header == nullptr) return true;
    if (header->poh_lockp == &header->poh_lock) {
        const int retval = pthr_mutex_destroy(header->poh_lockp);
        if (retval != 0) {
            // Still held by someone: releasing the pool under them would be worse than
            // keeping it.
            error_set_message("pthr_mutex_destroy(header->poh_lockp)", ERR_SYSTEM, {err_errno(retval)});
            return false;
        }
    }
    if (header->poh_memp == &header->poh_meminfo && !mem_destroy(header->poh_memp, false)) {
        error_set_message("mem_destroy(header->poh_memp, FALSE)", ERR_NULL);
        return false;
    }
    return true;
}

a_objhead* index_dup_stridx(a_objhead* header) {
    if (header == nullptr) {
        error_set_message("header == NULL", ERR_CONDITION);
        return nullptr;
    }
    auto* dup = static_cast<a_objhead*>(pool_alloc(header, sizeof(a_objhead)));
    if (dup == nullptr) {
        error_set_message("(a_objhead_ptr)mem_malloc(header->poh_memp, sizeof(a_objhead))", ERR_SYSTEM,
                          {err_errno(errno)});
        return nullptr;
    }
    std::memset(static_cast<void*>(dup), 0, sizeof *dup);
    dup->poh_keylen = header->poh_keylen;
    dup->poh_locked = header->poh_locked;
    dup->poh_copykey = header->poh_copykey;
    dup->poh_memp = header->poh_memp;
    dup->poh_rootp = header->poh_rootp;
    dup->poh_lockp = header->poh_lockp;
    return dup;
}

a_objhead* index_new_child(a_objhead* parent) {
    if (parent == nullptr) {
        error_set_message("parent == NULL", ERR_CONDITION);
        return nullptr;
    }
    auto* child = static_cast<a_objhead*>(pool_alloc(parent, sizeof(a_objhead)));
    if (child == nullptr) {
        error_set_message("(a_objhead_ptr)mem_malloc(parent->poh_memp, sizeof(a_objhead))", ERR_SYSTEM,
                          {err_errno(errno)});
        return nullptr;
    }
    std::memset(static_cast<void*>(child), 0, sizeof *child);
    child->poh_memp = parent->poh_memp;
    child->poh_rootp = &child->poh_root;
    bool ok = true;
    init_owned_mutex(child, &ok);
    return ok ? child : nullptr;  // a failed child's bytes go with the parent's pool
}

a_objhead* index_clone_stridx(const a_objhead* source) {
    if (source == nullptr) {
        error_set_message("source == NULL", ERR_CONDITION);
        return nullptr;
    }
    a_objhead* clone = index_new_stridx();
    if (clone == nullptr) {
        error_set_message("index_new_stridx()", ERR_NULL);
        return nullptr;
    }
    clone->poh_keylen = source->poh_keylen;
    clone->poh_copykey = source->poh_copykey;

    std::size_t count = 0;
    for (const a_objidx* n = index_first_stridx(source); n != nullptr; n = index_next_stridx(n)) ++count;
    if (count == 0) return clone;
    // All nodes in one piece of the pool: one heap request instead of one per page.
    a_objidx* nodes = node_array(clone, count);
    if (nodes == nullptr) {
        index_destroy_stridx(clone);
        error_set_message("index_clone_stridx", ERR_NULL);
        return nullptr;
    }
    std::size_t used = 0;
    auto copy = [clone, nodes, &used](const a_objidx* original, a_objidx* parent) -> a_objidx* {
        a_objidx* node = &nodes[used++];
        node->poi_key = original->poi_key;
        if (clone->poh_copykey) {
            node->poi_key = copy_key(clone, original->poi_key);
            if (node->poi_key == nullptr) return nullptr;
        }
        node->poi_lcp = original->poi_lcp;
        node->poi_hits = original->poi_hits;
        node->poi_height = original->poi_height;
        node->poi_data = original->poi_data;
        node->poi_parent = parent;
        return node;
    };

    // Pre-order walk over the source by its parent links, building the same shape.
    const a_objidx* from = *source->poh_rootp;
    a_objidx* to = copy(from, nullptr);
    if (to == nullptr) {
        index_destroy_stridx(clone);
        error_set_message("index_clone_stridx", ERR_NULL);
        return nullptr;
    }
    clone->poh_root = to;
    const a_objidx* came = nullptr;
    while (from != nullptr) {
        const a_objidx* next = nullptr;
        bool left = false;
        if (came == from->poi_parent && from->poi_left != nullptr) {
            next = from->poi_left;
            left = true;
        } else if ((came == from->poi_parent || came == from->poi_left) && from->poi_right != nullptr) {
            next = from->poi_right;
        }
        if (next == nullptr) {  // this subtree is done: climb
            came = from;
            from = from->poi_parent;
            to = to->poi_parent;
            continue;
        }
        a_objidx* node = copy(next, to);
        if (node == nullptr) {
            index_destroy_stridx(clone);
            error_set_message("index_clone_stridx", ERR_NULL);
            return nullptr;
        }
        (left ? to->poi_left : to->poi_right) = node;
        came = from;
        from = next;
        to = node;
    }
    return clone;
}

bool index_load_stridx(a_objhead* header, const void* const* keys, void* const* data, std::size_t count) {
    if (header == nullptr || (count > 0 && (keys == nullptr || data == nullptr))) {
        error_set_message(header == nullptr ? "header == NULL" : "keys == NULL", ERR_CONDITION);
        return false;
    }
    if (*header->poh_rootp != nullptr) {
        error_set_message("index_load_stridx", ERR_INDEX_FEATURE);
        return false;
    }
    const std::uint32_t keylen = header->poh_keylen;
    for (std::size_t i = 1; i < count; ++i) {
        std::uint32_t pos = 0;
        if (compare_keys(keys[i - 1], keys[i], keylen, &pos) >= 0) {
            error_set_message("index_load_stridx", ERR_CONDITION, {err_int(static_cast<long long>(i))});
            return false;
        }
    }
    if (count == 0) return true;
    if (!lock_index(header)) return false;
    a_objidx* nodes = node_array(header, count);
    bool ok = nodes != nullptr;
    for (std::size_t i = 0; ok && i < count; ++i) {
        nodes[i].poi_key = header->poh_copykey ? copy_key(header, keys[i]) : static_cast<const char*>(keys[i]);
        nodes[i].poi_hits = 1;
        nodes[i].poi_data = data[i];
        ok = nodes[i].poi_key != nullptr;
    }
    if (!ok) {
        unlock_index(header);  // what was taken stays unused in the pool
        error_set_message("index_load_stridx", ERR_NULL);
        return false;
    }
    // Midpoints of ever smaller ranges: sibling subtrees differ in size by one at most, so
    // in height by one at most. Ranges wait on an explicit stack, children after parents.
    struct range {
        std::size_t lo;
        std::size_t hi;  // one past
        a_objidx* parent;
        bool left;
    };
    range pending[2 * 64];
    std::size_t top = 0;
    pending[top++] = {0, count, nullptr, false};
    a_objidx* root = nullptr;
    while (top > 0) {
        const range r = pending[--top];
        a_objidx* node = &nodes[r.lo + (r.hi - r.lo) / 2];
        node->poi_parent = r.parent;
        if (r.parent == nullptr)
            root = node;
        else
            (r.left ? r.parent->poi_left : r.parent->poi_right) = node;
        const std::size_t mid = static_cast<std::size_t>(node - nodes);
        if (mid + 1 < r.hi) pending[top++] = {mid + 1, r.hi, node, false};
        if (r.lo < mid) pending[top++] = {r.lo, mid, node, true};
    }
    // Heights from the leaves up: in key order every node's children are nearer the ends
    // of its range, so one pass per level would do; a post-order pass does it at once.
    set_heights(root);
    for (std::size_t i = 0; i < count; ++i) relink_lcp(header, &nodes[i]);
    *header->poh_rootp = root;  // linked only now that it is complete
    return unlock_index(header);
}

a_objidx* index_seek_stridx(a_objhead* header, a_objseek* seek, const void* key) {
    if (header == nullptr || seek == nullptr || key == nullptr) {
        error_set_message(header == nullptr ? "header == NULL" : "key == NULL", ERR_CONDITION);
        return nullptr;
    }
    const std::uint32_t keylen = header->poh_keylen;
    std::uint32_t pos = 0;
    if (!seek->os_started || compare_keys(key, seek->os_key, keylen, &pos) > 0) {
        a_objidx* node = index_find_stridx(header, key);
        seek->os_started = node != nullptr;
        seek->os_key = key;
        if (node == nullptr) return nullptr;
        pos = 0;
        if (compare_keys(node->poi_key, key, keylen, &pos) <= 0) {
            seek->os_below = node;
            seek->os_above = index_next_stridx(node);
        } else {
            seek->os_above = node;
            seek->os_below = index_prev_stridx(node);
        }
        return node;
    }
    seek->os_key = key;
    a_objidx* below = seek->os_below;
    a_objidx* above = seek->os_above;
    for (;;) {
        if (below == nullptr) break;
        pos = 0;
        if (compare_keys(below->poi_key, key, keylen, &pos) <= 0) break;
        above = below;
        below = index_prev_stridx(below);
    }
    seek->os_below = below;
    seek->os_above = above;
    if (below == nullptr) return above;  // below every key: the search ends on the first node
    pos = 0;
    if (above == nullptr || compare_keys(below->poi_key, key, keylen, &pos) == 0) return below;
    // Of two neighbours the higher one is the leftmost node of the lower one's right
    // subtree when there is one, else an ancestor of the lower one.
    return below->poi_right != nullptr ? above : below;
}
