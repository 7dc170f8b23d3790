// parse (scope): which elements of a section belong together. It indexes a section's
// elements by name and document order, measures how far apart two elements are in the
// tree, finds the nearest candidate around a position, builds the header indexes that join
// each occurrence of a primary element with its nearest partners, and classifies element
// names into the expansion kinds. Called by the section conversion on the worker that owns
// the section; every index made here is private to that call except the classification,
// which parse_init builds once and the workers only read.
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "md_conf.h"
#include "md_error.h"
#include "md_index.h"
#include "md_parse.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

// Tag types are registry nodes: their keys are the node addresses, compared whole.
constexpr std::uint32_t type_keylen = sizeof(a_objidx*);
constexpr std::uint32_t seq_keylen = sizeof(std::uint32_t);

// Stands in a tag-index node's data once elements of that name were found at different
// depths; otherwise the data is the first element indexed.
a_taginfo mixed_depths{};

// The part of a section this thread converts, or NULL for a whole section.
thread_local a_partscope* part_scope = nullptr;

// The child of the section that holds tag (tag itself at depth 2 or above).
const a_taginfo* part_region(const a_taginfo* tag) {
    while (tag->ti_depth > 2 && tag->ti_parent != nullptr) tag = tag->ti_parent;
    return tag;
}

// Notes when the candidate a part found for element might not be the one the whole section
// would give. Candidates of one name share a depth, so one inside the element's own child
// of the section is nearer than any elsewhere; shared header elements are all in every
// part; and a part from the first block on holds every candidate before its elements.
void note_reach(const a_taginfo* element, const a_taginfo* winner) {
    if (part_scope == nullptr || part_scope->ps_first || winner == nullptr) return;
    const a_taginfo* own = part_region(element);
    const a_taginfo* found = part_region(winner);
    if (own == found) return;
    const bool found_shared = found->ti_seq < part_scope->ps_boundary;
    const bool own_shared = own->ti_seq < part_scope->ps_boundary;
    if (found_shared && (own_shared || winner->ti_depth == 2)) return;
    part_scope->ps_reached = true;
}

// The classification, read concurrently by the workers (find-only, never remembering).
a_objhead* hdrelem_idxroot = nullptr;
// Counts the classifications built and dropped, so that a thread's memory of kinds found
// in one does not outlive it.
std::atomic<std::uint64_t> classification_generation{1};

// The kinds a thread found last, by element name (its registry node) and the attribute
// configured with it (the configuration's own text, one pointer for all pairs of an
// item): the pairs of a section ask for a few combinations over and over.
struct kind_memo {
    std::uint64_t generation = 0;
    const a_objidx* type = nullptr;
    const char* attr = nullptr;
    int kind = 0;
};
thread_local std::array<kind_memo, 8> kind_memos{};
thread_local std::size_t kind_memo_next = 0;

const kind_memo* recall_kind(std::uint64_t generation, const a_objidx* type, const char* attr) {
    for (const kind_memo& m : kind_memos)
        if (m.generation == generation && m.type == type && m.attr == attr) return &m;
    return nullptr;
}

void remember_kind(std::uint64_t generation, const a_objidx* type, const char* attr, int kind) {
    kind_memos[kind_memo_next] = kind_memo{generation, type, attr, kind};
    kind_memo_next = (kind_memo_next + 1) % kind_memos.size();
}
constexpr std::array<int, 4> hdrelem_type = {xcfg_distnameelemnames, xcfg_delimcntrelemnames,
                                             xcfg_normcntrelemnames, xcfg_timestampctrelemnames};

// The elements of one name in a section, gathered before their sequence index is built.
struct type_bucket {
    const a_objidx* type;       // the registry node of the name
    a_objidx* node;             // its node in the tag index
    std::vector<a_taginfo*> tags;
};

// The bucket of tag's name, made (with the name's node in the tag index) on its first
// element; *last is the bucket used before, tried first. NULL (recorded) on failure.
type_bucket* bucket_of(a_objhead* taginfo_idx, std::vector<type_bucket>& buckets, std::size_t* last,
                       a_taginfo* tag) {
    if (*last < buckets.size() && buckets[*last].type == tag->ti_type) return &buckets[*last];
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        if (buckets[i].type == tag->ti_type) {
            *last = i;
            return &buckets[i];
        }
    }
    a_objidx* node = index_find_stridx(taginfo_idx, &tag->ti_type);
    if (node == nullptr) {
        error_set_message("index_find_stridx(taginfo_idx, key)", ERR_NULL);
        return nullptr;
    }
    node->poi_data = tag;
    buckets.push_back(type_bucket{tag->ti_type, node, {}});
    *last = buckets.size() - 1;
    return &buckets.back();
}

// Builds the sequence index of one name from its elements. The walk met them in reverse
// document order, as a rule; they go in ascending, all at once, so that no insert pays
// for rebalancing a tree that grows at one end.
bool load_sequence_index(a_objhead* taginfo_idx, type_bucket& bucket) {
    std::vector<a_taginfo*>& tags = bucket.tags;
    auto by_seq = [](const a_taginfo* a, const a_taginfo* b) { return a->ti_seq < b->ti_seq; };
    if (std::is_sorted(tags.rbegin(), tags.rend(), by_seq))
        std::reverse(tags.begin(), tags.end());
    else
        std::sort(tags.begin(), tags.end(), by_seq);
    a_objhead* seqroot_idx = index_new_child(taginfo_idx);
    if (seqroot_idx == nullptr || !index_set_stridx(seqroot_idx, IDX_KEYLEN, seq_keylen)) {
        error_set_message("index_new_child(taginfo_idx)", ERR_NULL);
        return false;
    }
    std::vector<const void*> keys(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) keys[i] = &tags[i]->ti_seq;
    if (!index_load_stridx(seqroot_idx, keys.data(), reinterpret_cast<void* const*>(tags.data()), tags.size())) {
        error_set_message("index_load_stridx(seqroot_idx, keys, tags, count)", ERR_NULL);
        return false;
    }
    bucket.node->poi_child = seqroot_idx;
    bucket.node->poi_hits = static_cast<std::uint32_t>(tags.size());
    return true;
}

// The element a candidate's data stands for, by kind; records the missing piece.
a_taginfo* candidate_tag(a_scopeinfo* s, a_scopekind kind) {
    void* data = s->psi_idxnode->poi_data;
    switch (kind) {
        case pety_tag:
            if (data == nullptr) break;
            s->psi_tag = static_cast<a_taginfo*>(data);
            return s->psi_tag;
        case pety_measpair:
            if (data == nullptr) {
                error_set_message("(a_measpair_ptr)scopeinfo->psi_idxnode->poi_data", ERR_NULL);
                return nullptr;
            }
            s->psi_measpair = static_cast<a_measpair*>(data);
            if (s->psi_measpair->mmp_tag == nullptr) {
                error_set_message("scopeinfo->psi_measpair->mmp_tag", ERR_NULL);
                return nullptr;
            }
            s->psi_tag = s->psi_measpair->mmp_tag;
            return s->psi_tag;
        case pety_measinfo:
            if (data == nullptr) {
                error_set_message("(a_measinfo_ptr)scopeinfo->psi_idxnode->poi_data", ERR_NULL);
                return nullptr;
            }
            s->psi_measinfo = static_cast<a_measinfo*>(data);
            if (s->psi_measinfo->mmi_tag == nullptr) {
                error_set_message("scopeinfo->psi_measinfo->mmi_tag", ERR_NULL);
                return nullptr;
            }
            s->psi_tag = s->psi_measinfo->mmi_tag;
            return s->psi_tag;
        case pety_measvalue:
            if (data == nullptr) {
                error_set_message("(a_measvalue_ptr)scopeinfo->psi_idxnode->poi_data", ERR_NULL);
                return nullptr;
            }
            s->psi_measvalue = static_cast<a_measvalue*>(data);
            if (s->psi_measvalue->mmv_tag == nullptr) {
                error_set_message("scopeinfo->psi_measvalue->mmv_tag", ERR_NULL);
                return nullptr;
            }
            s->psi_tag = s->psi_measvalue->mmv_tag;
            return s->psi_tag;
    }
    error_set_message("(a_taginfo_ptr)scopeinfo->psi_idxnode->poi_data", ERR_NULL);
    return nullptr;
}

// "name", or "name" + delimiter + "attr", the key of the classification.
void classification_key(std::string& key, const char* name, char delim, const char* attr) {
    key.assign(name);
    if (attr != nullptr) {
        key += delim;
        key += attr;
    }
}

// The delimiter between element and attribute names; NUL recorded as code 4.
char name_delimiter() {
    const char delim = glob_get_delim(xcfg_xmlnameattrdelimiter);
    if (delim == '\0') error_set_message("delim == EOS", ERR_CONDITION);
    return delim;
}

// Ranking of header-index records: more elements, then deeper, then a later first one.
bool ranks_lower(const a_parseelem* a, const a_parseelem* b) {
    if (a->pel_count != b->pel_count) return a->pel_count < b->pel_count;
    if (a->pel_depth != b->pel_depth) return a->pel_depth < b->pel_depth;
    return a->pel_seq < b->pel_seq;
}

// The records of one header index: on the stack for the usual few names.
class elem_records {
public:
    explicit elem_records(int count) : count_(count) {
        if (count_ > static_cast<int>(small_.size())) {
            large_.resize(static_cast<std::size_t>(count_));
            large_list_.resize(static_cast<std::size_t>(count_));
        }
        a_parseelem* records = count_ > static_cast<int>(small_.size()) ? large_.data() : small_.data();
        a_parseelem** list = list_data();
        for (int i = 0; i < count_; ++i) list[i] = &records[i];
    }
    a_parseelem** list_data() {
        return count_ > static_cast<int>(small_.size()) ? large_list_.data() : small_list_.data();
    }

private:
    int count_;
    std::array<a_parseelem, 16> small_{};
    std::array<a_parseelem*, 16> small_list_{};
    std::vector<a_parseelem> large_;
    std::vector<a_parseelem*> large_list_;
};

}  // namespace

a_objhead* parse_index_taginfo(a_taginfo* section) {
    if (section == nullptr) {
        error_set_message("parse_index_taginfo", ERR_TAGNULL);
        return nullptr;
    }
    a_objhead* taginfo_idx = index_new_stridx();
    if (taginfo_idx == nullptr) {
        error_set_message("index_new_stridx()", ERR_NULL);
        return nullptr;
    }
    if (!index_set_stridx(taginfo_idx, IDX_KEYLEN, type_keylen)) {
        error_set_message("index_set_stridx(taginfo_idx, IDX_KEYLEN, keylen)", ERR_NULL);
        index_destroy_stridx(taginfo_idx);
        return nullptr;
    }
    // Depth first over the section's subtree, without recursion: down to the first child,
    // else on to the next sibling, climbing while a subtree is done; never past the
    // section itself (its siblings are other sections).
    std::vector<type_bucket> buckets;
    std::size_t last = 0;
    a_taginfo* tag = section;
    while (tag != nullptr) {
        // An element without a registered name cannot be any configured element.
        if (xml_gettagtype(tag) != nullptr) {
            type_bucket* bucket = bucket_of(taginfo_idx, buckets, &last, tag);
            if (bucket == nullptr) {
                index_destroy_stridx(taginfo_idx);
                return nullptr;
            }
            auto* first = static_cast<a_taginfo*>(bucket->node->poi_data);
            if (first != &mixed_depths && first->ti_depth != tag->ti_depth) bucket->node->poi_data = &mixed_depths;
            bucket->tags.push_back(tag);
        }
        if (tag->ti_child != nullptr) {
            tag = tag->ti_child;
            continue;
        }
        // By depth rather than by address: a part's stand-in for the section is not its
        // children's parent.
        while (tag->ti_depth > section->ti_depth && tag->ti_sibling == nullptr) tag = tag->ti_parent;
        tag = tag->ti_depth > section->ti_depth ? tag->ti_sibling : nullptr;
    }
    for (type_bucket& bucket : buckets) {
        if (!load_sequence_index(taginfo_idx, bucket)) {
            index_destroy_stridx(taginfo_idx);
            return nullptr;
        }
    }
    index_set_stridx(taginfo_idx, IDX_FINDONLY, 1);
    index_set_stridx(taginfo_idx, IDX_REMEMBER, 1);
    return taginfo_idx;
}

std::int32_t parse_get_scope(const a_taginfo* a, const a_taginfo* b) {
    if (a == nullptr || b == nullptr) {
        error_set_message("parse_get_scope", ERR_TAGNULL);
        return NOSCOPE;
    }
    const a_taginfo* deep = a->ti_depth >= b->ti_depth ? a : b;
    const a_taginfo* other = deep == a ? b : a;
    while (deep != nullptr && deep->ti_depth > other->ti_depth) deep = deep->ti_parent;
    if (deep == other) return 0;
    std::int32_t count = 0;
    while (deep != nullptr && other != nullptr) {
        deep = deep->ti_parent;
        other = other->ti_parent;
        ++count;
        if (deep == other && deep != nullptr) return count;
    }
    error_set_message("parse_get_scope", ERR_SCOPE_DIFFERENT);
    return NOSCOPE;
}

a_scopeinfo* parse_fill_scopevalues(a_scopeinfo* scopeinfo, const a_taginfo* element, a_scopekind kind) {
    if (scopeinfo == nullptr || scopeinfo->psi_idxnode == nullptr) {
        error_set_message("parse_fill_scopevalues", ERR_SCOPE_EMPTY);
        return nullptr;
    }
    const a_taginfo* tag = candidate_tag(scopeinfo, kind);
    if (tag == nullptr) return nullptr;
    scopeinfo->psi_seq = tag->ti_seq;
    scopeinfo->psi_scope = parse_get_scope(tag, element);
    return scopeinfo;
}

namespace {

// The candidate parse_find_scope gives, or NULL (recorded). scope_only: the caller reads no
// more of it than its scope, and a search like that never reaches outside the part: a
// candidate in the element's own child of the section is nearer than any elsewhere and
// always in the part, and every candidate elsewhere lies as near as any other (its way to
// the element passes through the section).
a_objidx* find_nearest(a_objidx* node, const a_taginfo* element, a_scopekind kind, bool scope_only) {
    if (element == nullptr) {
        error_set_message("parse_find_scope", ERR_TAGNULL);
        return nullptr;
    }
    const std::uint32_t s = element->ti_seq;
    // The sequence number of a candidate, or none (recorded) when its data is broken.
    auto seq_of = [kind](a_objidx* candidate, std::uint32_t* seq) {
        a_scopeinfo info{};
        info.psi_idxnode = candidate;
        const a_taginfo* tag = candidate_tag(&info, kind);
        if (tag == nullptr) {
            error_set_message("parse_fill_scopevalues(curr_scope, header_tag, envtype)", ERR_NULL);
            return false;
        }
        *seq = tag->ti_seq;
        return true;
    };
    if (node == nullptr) {
        error_set_message("parse_find_scope", ERR_SCOPE_EMPTY);
        return nullptr;
    }
    // Candidates share one name and so one depth: the last one at or before the element
    // is at least as near in scope as any earlier one, the first one after it as any
    // later one. Only these two compete, wherever the search starts.
    a_objidx* before = nullptr;
    a_objidx* after = nullptr;
    std::uint32_t seq = 0;
    if (!seq_of(node, &seq)) return nullptr;
    if (seq <= s) {
        before = node;
        for (after = index_next_stridx(before); after != nullptr; after = index_next_stridx(after)) {
            if (!seq_of(after, &seq)) return nullptr;
            if (seq > s) break;
            before = after;
        }
    } else {
        after = node;
        for (before = index_prev_stridx(after); before != nullptr; before = index_prev_stridx(before)) {
            if (!seq_of(before, &seq)) return nullptr;
            if (seq <= s) break;
            after = before;
        }
    }
    a_scopeinfo near_before{};
    a_scopeinfo near_after{};
    near_before.psi_idxnode = before;
    near_after.psi_idxnode = after;
    if ((before != nullptr && parse_fill_scopevalues(&near_before, element, kind) == nullptr) ||
        (after != nullptr && parse_fill_scopevalues(&near_after, element, kind) == nullptr)) {
        error_set_message("parse_fill_scopevalues(next_scope, header_tag, envtype)", ERR_NULL);
        return nullptr;
    }
    // Of equally near ones the candidate before the element wins: what precedes a block
    // or row in the document is what it was written under.
    a_objidx* winner = after;
    const a_taginfo* winner_tag = near_after.psi_tag;
    if (before != nullptr && (after == nullptr || near_before.psi_scope <= near_after.psi_scope)) {
        winner = before;
        winner_tag = near_before.psi_tag;
    }
    if (!scope_only) note_reach(element, winner_tag);
    return winner;
}

}  // namespace

a_objidx* parse_find_scope(a_objidx* node, const a_taginfo* element, a_scopekind kind) {
    return find_nearest(node, element, kind, false);
}

a_parseelem** parse_prepare_elems(a_parseelem** elem_list, a_objhead* tag_index, int item) {
    const std::int32_t num = glob_getnum_config(item);
    for (std::int32_t i = 0; i < num; ++i) {
        a_parseelem* elem = elem_list[i];
        const char* name = glob_getname_tagelem(item, i);
        if (name == nullptr) {
            error_set_message("glob_getname_tagelem(cfg_type, i)", ERR_NULL);
            return nullptr;
        }
        a_objidx* tagtype = xml_getstrtype(name);
        if (tagtype == nullptr) continue;  // no such element seen in the document yet
        a_objidx* tagtype_idxnode = index_find_stridx(tag_index, &tagtype);
        if (tagtype_idxnode == nullptr) continue;  // none in this section
        elem->pel_seqidx = static_cast<a_objhead*>(tagtype_idxnode->poi_child);
        if (elem->pel_seqidx == nullptr) {
            error_set_message("(a_objhead_ptr)tagtype_idxnode->child", ERR_NULL);
            return nullptr;
        }
        elem->pel_seqidxnode = index_first_stridx(elem->pel_seqidx);
        const auto* first = elem->pel_seqidxnode != nullptr
                                ? static_cast<const a_taginfo*>(elem->pel_seqidxnode->poi_data)
                                : nullptr;
        if (first == nullptr) {
            error_set_message("elem_list[i]->pel_seqidxnode->poi_data", ERR_NULL);
            return nullptr;
        }
        if (tagtype_idxnode->poi_data == &mixed_depths) {
            error_set_message("parse_prepare_elems", ERR_SCOPE_DEPTH, {err_tag(first)});
            return nullptr;
        }
        elem->pel_count = static_cast<std::int32_t>(tagtype_idxnode->poi_hits);
        elem->pel_depth = first->ti_depth;
        elem->pel_seq = static_cast<std::int32_t>(first->ti_seq);
        elem->pel_attr = glob_getattr_tagelem(item, i);
    }
    return elem_list;
}

a_objhead* parse_sort_elems(a_parseelem** elem_list, int count) {
    if (count < 1) return nullptr;
    // An exchange sort: which of equally ranked records leads is part of the result (the
    // primary's attribute names the first pair), so the order is kept exactly so.
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (ranks_lower(elem_list[i], elem_list[j])) std::swap(elem_list[i], elem_list[j]);
    return elem_list[0]->pel_count > 0 ? elem_list[0]->pel_seqidx : nullptr;
}

bool parse_create_elems(a_objhead* index, a_parseelem** elem_list, int count) {
    int partners = 0;
    while (partners + 1 < count && elem_list[partners + 1]->pel_count > 0) ++partners;
    const std::size_t pairs = static_cast<std::size_t>(partners) + 1;
    std::size_t nodes = 0;
    for (const a_objidx* n = index_first_stridx(index); n != nullptr; n = index_next_stridx(n)) ++nodes;
    // The chains of all primaries in one piece of the pool.
    a_measpair* chains = nullptr;
    if (nodes > 0) {
        chains = static_cast<a_measpair*>(thr_malloc(sizeof(a_measpair) * pairs * nodes));
        if (chains == nullptr) {
            error_set_message("(a_measpair_ptr)thr_malloc(sizeof(a_measpair))", ERR_SYSTEM, {err_errno(errno)});
            return false;
        }
    }
    // Per partner name, where the search for the primary nearest to its last partner
    // ended: partners come in document order, so these only move forward.
    std::vector<a_objidx*> owner_cursor(pairs, index_first_stridx(elem_list[0]->pel_seqidx));
    for (a_objidx* first_tag_idxnode = index_first_stridx(index); first_tag_idxnode != nullptr;
         first_tag_idxnode = index_next_stridx(first_tag_idxnode)) {
        auto* primary = static_cast<a_taginfo*>(first_tag_idxnode->poi_data);
        if (primary == nullptr) {
            error_set_message("(a_taginfo_ptr)first_tag_idxnode->poi_data", ERR_NULL);
            return false;
        }
        a_measpair* chain = chains;
        chains += pairs;
        chain[0].mmp_tag = primary;
        chain[0].mmp_attr = const_cast<char*>(elem_list[0]->pel_attr);  // never written through
        for (int j = 1; j <= partners; ++j) {
            a_parseelem* elem = elem_list[j];
            // Each search starts where the previous primary's ended: one pass over all
            // primaries moves through every partner index once.
            a_objidx* found = parse_find_scope(elem->pel_seqidxnode, primary, pety_tag);
            if (found == nullptr) {
                error_set_message("parse_find_scope(curr_idxnode, header_tags[first], pety_tag)", ERR_NULL);
                return false;
            }
            elem->pel_seqidxnode = found;
            auto* partner = static_cast<a_taginfo*>(found->poi_data);
            // A partner nearer to another primary is that one's (a block's job seen from a
            // block without one): the primary goes without it rather than take a stranger's.
            a_objidx* owner = find_nearest(owner_cursor[static_cast<std::size_t>(j)], partner, pety_tag, true);
            if (owner == nullptr) {
                error_set_message("parse_find_scope(owner_idxnode, partner_tag, pety_tag)", ERR_NULL);
                return false;
            }
            owner_cursor[static_cast<std::size_t>(j)] = owner;
            const std::int32_t own_scope = parse_get_scope(primary, partner);
            const std::int32_t owner_scope = parse_get_scope(static_cast<const a_taginfo*>(owner->poi_data), partner);
            chain[j].mmp_tag = own_scope <= owner_scope ? partner : nullptr;
            chain[j].mmp_attr = const_cast<char*>(elem->pel_attr);
            chain[j - 1].mmp_next = &chain[j];
        }
        first_tag_idxnode->poi_data = chain;
    }
    return true;
}

namespace {

// What ranks a part's header index, kept to compare with the whole section's.
void record_ranks(a_parseelem* const* elem_list, std::int32_t num) {
    std::vector<a_partrank>& ranks = part_scope->ps_ranks.emplace_back();
    for (std::int32_t i = 0; i < num; ++i) {
        const a_parseelem* elem = elem_list[i];
        std::int32_t shared = 0;
        if (elem->pel_count > 0) {
            for (const a_objidx* n = index_first_stridx(elem->pel_seqidx);
                 n != nullptr && static_cast<const a_taginfo*>(n->poi_data)->ti_seq < part_scope->ps_boundary;
                 n = index_next_stridx(n))
                ++shared;
        }
        ranks.push_back(a_partrank{elem->pel_count, shared, elem->pel_depth, elem->pel_seq});
    }
}

// The shape a header index of these ranks takes: the names in ranked order, how many of
// them come with the primary, and whether one, several or none of them occur.
std::vector<std::int32_t> rank_shape(const std::vector<a_partrank>& ranks) {
    const int count = static_cast<int>(ranks.size());
    std::vector<a_parseelem> elems(ranks.size());
    std::vector<a_parseelem*> list(ranks.size());
    std::vector<std::int32_t> shape;
    int present = 0;
    for (int i = 0; i < count; ++i) {
        const a_partrank& r = ranks[static_cast<std::size_t>(i)];
        elems[static_cast<std::size_t>(i)] = a_parseelem{r.pr_count, r.pr_depth, r.pr_seq, nullptr, nullptr, nullptr};
        list[static_cast<std::size_t>(i)] = &elems[static_cast<std::size_t>(i)];
        if (r.pr_count > 0) ++present;
    }
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (ranks_lower(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]))
                std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
    for (const a_parseelem* e : list) {
        shape.push_back(static_cast<std::int32_t>(e - elems.data()));
        shape.push_back(e->pel_count > 0 ? 1 : 0);
    }
    shape.push_back(std::min(present, 2));
    return shape;
}

// The item's element records, prepared against the section's tag index: its element list
// and the number of elements in *num, or NULL (recorded) when the item cannot be read or
// an element cannot be prepared.
a_parseelem** prepare_item_elems(std::optional<elem_records>& records, a_objhead* tag_index, int item,
                                 std::int32_t* num) {
    *num = glob_getnum_config(item);
    if (*num == -1) {
        error_set_message("num == -1", ERR_CONDITION);
        return nullptr;
    }
    a_parseelem** elem_list = records.emplace(*num).list_data();
    if (parse_prepare_elems(elem_list, tag_index, item) == nullptr) {
        error_set_message("parse_prepare_elems(elem_list, tagtype_idxroot, cfg_type) == NULL", ERR_CONDITION);
        return nullptr;
    }
    if (part_scope != nullptr) record_ranks(elem_list, *num);
    return elem_list;
}

// The find-only header index of prepared elements, or NULL (recorded; *none set when no
// element of the list occurs in the section).
a_objhead* index_prepared_header(a_parseelem** elem_list, std::int32_t num, bool* none) {
    a_objhead* first_hdr_idxroot = parse_sort_elems(elem_list, num);
    if (first_hdr_idxroot == nullptr) {
        error_set_message("parse_sort_elems(elem_list, num)", ERR_NULL);
        if (none != nullptr) *none = true;
        return nullptr;
    }
    a_objhead* header_idx = index_clone_stridx(first_hdr_idxroot);
    if (header_idx == nullptr) {
        error_set_message("index_clone_stridx(first_hdr_idxroot)", ERR_NULL);
        return nullptr;
    }
    if (!parse_create_elems(header_idx, elem_list, num)) {
        error_set_message("parse_create_elems(first_hdr_idxroot, elem_list, num)", ERR_NULL);
        index_destroy_stridx(header_idx);
        return nullptr;
    }
    index_set_stridx(header_idx, IDX_FINDONLY, 1);
    return header_idx;
}

}  // namespace

a_objhead* parse_index_header(a_objhead* tag_index, int item, bool* none) {
    if (none != nullptr) *none = false;
    std::optional<elem_records> records;
    std::int32_t num = 0;
    a_parseelem** elem_list = prepare_item_elems(records, tag_index, item, &num);
    return elem_list != nullptr ? index_prepared_header(elem_list, num, none) : nullptr;
}

a_objhead* parse_index_counters(a_objhead* tag_index, int item, bool* none) {
    if (none != nullptr) *none = false;
    std::optional<elem_records> records;
    std::int32_t num = 0;
    a_parseelem** elem_list = prepare_item_elems(records, tag_index, item, &num);
    if (elem_list == nullptr) return nullptr;
    int present = 0;
    for (int i = 0; i < num; ++i)
        if (elem_list[i]->pel_count > 0) ++present;
    // One name in the section: its header index is exactly the counter index.
    if (present < 2) return index_prepared_header(elem_list, num, none);

    struct occurrence {
        a_taginfo* tag;
        const char* attr;
    };
    std::vector<occurrence> all;
    for (int i = 0; i < num; ++i) {
        const a_parseelem* elem = elem_list[i];
        if (elem->pel_count <= 0) continue;
        for (const a_objidx* n = index_first_stridx(elem->pel_seqidx); n != nullptr; n = index_next_stridx(n))
            all.push_back(occurrence{static_cast<a_taginfo*>(n->poi_data), elem->pel_attr});
    }
    std::sort(all.begin(), all.end(),
              [](const occurrence& a, const occurrence& b) { return a.tag->ti_seq < b.tag->ti_seq; });
    auto* pairs = static_cast<a_measpair*>(thr_malloc(sizeof(a_measpair) * all.size()));
    if (pairs == nullptr) {
        error_set_message("(a_measpair_ptr)thr_malloc(sizeof(a_measpair))", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    std::vector<const void*> keys(all.size());
    std::vector<void*> data(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        pairs[i].mmp_tag = all[i].tag;
        pairs[i].mmp_attr = const_cast<char*>(all[i].attr);  // never written through
        keys[i] = &all[i].tag->ti_seq;
        data[i] = &pairs[i];
    }
    a_objhead* index = index_new_stridx();
    if (index == nullptr || !index_set_stridx(index, IDX_KEYLEN, seq_keylen) ||
        !index_load_stridx(index, keys.data(), data.data(), all.size())) {
        error_set_message("index_load_stridx(counter_idx, keys, pairs, count)", ERR_NULL);
        index_destroy_stridx(index);
        return nullptr;
    }
    index_set_stridx(index, IDX_FINDONLY, 1);
    return index;
}

bool parse_init_globtype() {
    if (hdrelem_idxroot != nullptr) return true;
    const char delim = name_delimiter();
    if (delim == '\0') return false;
    a_objhead* index = index_new_stridx();
    if (index == nullptr) {
        error_set_message("index_new_stridx()", ERR_NULL);
        return false;
    }
    index_set_stridx(index, IDX_COPYKEY, 1);
    std::string key;
    for (const int type : hdrelem_type) {
        const std::int32_t num = glob_getnum_config(type);
        if (num == -1) {
            error_set_message("num == -1", ERR_CONDITION);
            index_destroy_stridx(index);
            return false;
        }
        for (std::int32_t i = 0; i < num; ++i) {
            const char* name = glob_getname_tagelem(type, i);
            if (name == nullptr) continue;
            classification_key(key, name, delim, glob_getattr_tagelem(type, i));
            a_objidx* node = index_find_stridx(index, key.c_str());
            if (node == nullptr) {
                error_set_message("index_find_stridx(hdrelem_idxroot, key)", ERR_NULL);
                index_destroy_stridx(index);
                return false;
            }
            // The item number as the node's data; a name listed twice keeps the later item.
            node->poi_data = reinterpret_cast<void*>(static_cast<std::intptr_t>(type));
        }
    }
    index_set_stridx(index, IDX_FINDONLY, 1);
    hdrelem_idxroot = index;
    classification_generation.fetch_add(1, std::memory_order_acq_rel);
    return true;
}

bool parse_deinit_globtype() {
    a_objhead* index = hdrelem_idxroot;
    hdrelem_idxroot = nullptr;
    classification_generation.fetch_add(1, std::memory_order_acq_rel);
    if (!index_destroy_stridx(index)) {
        error_set_message("index_destroy_stridx(hdrelem_idxroot)", ERR_NULL);
        return false;
    }
    return true;
}

int parse_get_globtype(const a_measpair* pair) {
    if (pair == nullptr || pair->mmp_tag == nullptr) {
        error_set_message("measpair->mmp_tag", ERR_NULL);
        return 0;
    }
    const char* name = pair->mmp_tag->ti_name.str;
    if (name == nullptr) {
        error_set_message("tag->ti_name.str", ERR_NULL);
        return 0;
    }
    if (hdrelem_idxroot == nullptr) return 0;
    const std::uint64_t generation = classification_generation.load(std::memory_order_acquire);
    const a_objidx* type = pair->mmp_tag->ti_type;
    if (type != nullptr) {
        if (const kind_memo* m = recall_kind(generation, type, pair->mmp_attr); m != nullptr) return m->kind;
    }
    char delim = '\0';
    if (pair->mmp_attr != nullptr) {
        delim = name_delimiter();
        if (delim == '\0') return 0;
    }
    // Keys are short: built on the stack unless a name is unusually long.
    const std::size_t name_len = std::strlen(name);
    const std::size_t attr_len = pair->mmp_attr != nullptr ? std::strlen(pair->mmp_attr) + 1 : 0;
    const a_objidx* node = nullptr;
    if (name_len + attr_len < 256) {
        char key[256];
        std::memcpy(key, name, name_len);
        if (attr_len > 0) {
            key[name_len] = delim;
            std::memcpy(key + name_len + 1, pair->mmp_attr, attr_len - 1);
        }
        key[name_len + attr_len] = '\0';
        node = index_find_stridx(hdrelem_idxroot, key);
    } else {
        std::string key;
        classification_key(key, name, delim, pair->mmp_attr);
        node = index_find_stridx(hdrelem_idxroot, key.c_str());
    }
    const int kind = node != nullptr ? static_cast<int>(reinterpret_cast<std::intptr_t>(node->poi_data)) : 0;
    if (type != nullptr) remember_kind(generation, type, pair->mmp_attr, kind);
    return kind;
}

void parse_set_partscope(a_partscope* scope) { part_scope = scope; }

bool parse_parts_agree(const std::vector<const a_partscope*>& parts) {
    if (parts.empty()) return false;
    const std::size_t lists = parts.front()->ps_ranks.size();
    for (const a_partscope* part : parts)
        if (part->ps_ranks.size() != lists) return false;
    for (std::size_t l = 0; l < lists; ++l) {
        const std::size_t names = parts.front()->ps_ranks[l].size();
        std::vector<a_partrank> whole(names, a_partrank{0, 0, 0, 0});
        for (std::size_t n = 0; n < names; ++n) {
            a_partrank& w = whole[n];
            w.pr_shared = parts.front()->ps_ranks[l][n].pr_shared;
            w.pr_count = w.pr_shared;
            bool seen = false;
            for (const a_partscope* part : parts) {
                if (part->ps_ranks[l].size() != names) return false;
                const a_partrank& r = part->ps_ranks[l][n];
                if (r.pr_shared != w.pr_shared) return false;
                w.pr_count += r.pr_count - r.pr_shared;
                if (r.pr_count == 0) continue;
                // One name at two depths fails the whole section: let it.
                if (seen && r.pr_depth != w.pr_depth) return false;
                if (!seen || r.pr_seq < w.pr_seq) w.pr_seq = r.pr_seq;
                w.pr_depth = r.pr_depth;
                seen = true;
            }
        }
        const std::vector<std::int32_t> shape = rank_shape(whole);
        for (const a_partscope* part : parts)
            if (rank_shape(part->ps_ranks[l]) != shape) return false;
    }
    return true;
}
