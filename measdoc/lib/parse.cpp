// parse: the section conversion. The thread unit calls parse_process_all on a worker for
// every child of the root element; a header or footer section becomes one pair chain in
// measdata, a data section becomes measurement-info blocks with their value rows, returned
// for the thread unit to collect. The driver indexes the section, builds blocks and rows
// from the configured element names, expands every value and assigns each item to the
// block or row nearest to it in the tree. Everything it keeps is in the worker's pool;
// a skipped or failed section gives all of it back. The host glue calls parse_init and
// parse_deinit. A large data section may instead come in parts (parse_process_part), each
// the section's shared header elements with a run of its blocks.
#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string_view>
#include <vector>

#include "md_conf.h"
#include "md_error.h"
#include "md_index.h"
#include "md_parse.h"
#include "md_thread.h"
#include "md_xml.h"

namespace {

// Of several header (footer) sections the one latest in the document wins, whichever
// worker finishes last. Leaf lock, held for one store.
std::mutex section_chain_lock;
struct section_chain_seq {
    bool set = false;
    std::uint32_t seq = 0;
};
section_chain_seq header_seq;
section_chain_seq footer_seq;

void store_section_chain(bool is_header, std::uint32_t seq, a_measpair* chain) {
    std::lock_guard<std::mutex> guard(section_chain_lock);
    section_chain_seq& slot = is_header ? header_seq : footer_seq;
    if (slot.set && seq < slot.seq) return;
    slot.set = true;
    slot.seq = seq;
    (is_header ? measdata.md_header : measdata.md_footer) = chain;
}

// The element tree goes with the section: records must not lead back into it.
void forget_tags(a_measpair* chain) {
    for (; chain != nullptr; chain = chain->mmp_next) chain->mmp_tag = nullptr;
}

void forget_tags(a_measinfo* blocks) {
    for (a_measinfo* block = blocks; block != nullptr; block = block->mmi_next) {
        block->mmi_tag = nullptr;
        forget_tags(block->mmi_commonhdr);
        forget_tags(block->mmi_meastype);
        for (a_measvalue* row = block->mmi_measvalue; row != nullptr; row = row->mmv_next) {
            row->mmv_tag = nullptr;
            forget_tags(row->mmv_uniquehdr);
            forget_tags(row->mmv_measrslt);
            forget_tags(row->mmv_suspect);
            forget_tags(row->mmv_instanceobj);
            forget_tags(row->mmv_blockname);
        }
    }
}

// The indexes of one section's conversion; whatever is left is destroyed on the way out.
struct section_indexes {
    a_objhead* tag_idxroot = nullptr;
    a_objhead* measinfo_idxroot = nullptr;
    a_objhead* header_idxroot = nullptr;
    a_objhead* measvalue_idxroot = nullptr;
    a_objhead* uniquehdr_idxroot = nullptr;
    a_objhead* meastype_idxroot = nullptr;
    a_objhead* measrslt_idxroot = nullptr;
    a_objhead* suspect_idxroot = nullptr;
    a_objhead* blockname_idxroot = nullptr;
    a_objhead* instance_idxroot = nullptr;

    section_indexes() = default;
    section_indexes(const section_indexes&) = delete;
    section_indexes& operator=(const section_indexes&) = delete;
    ~section_indexes() { destroy_all(); }

    // Destroys one index; false (recorded with expression) on failure.
    static bool destroy(a_objhead*& index, const char* expression) {
        a_objhead* doomed = index;
        index = nullptr;
        if (index_destroy_stridx(doomed)) return true;
        error_set_message(expression, ERR_NULL);
        return false;
    }
    void destroy_all() {
        destroy(tag_idxroot, "index_destroy_stridx(tag_idxroot)");
        destroy(measinfo_idxroot, "index_destroy_stridx(measinfo_idxroot)");
        destroy(header_idxroot, "index_destroy_stridx(header_idxroot)");
        destroy(measvalue_idxroot, "index_destroy_stridx(measvalue_idxroot)");
        destroy(uniquehdr_idxroot, "index_destroy_stridx(uniquehdr_idxroot)");
        destroy(meastype_idxroot, "index_destroy_stridx(meastype_idxroot)");
        destroy(measrslt_idxroot, "index_destroy_stridx(measrslt_idxroot)");
        destroy(suspect_idxroot, "index_destroy_stridx(suspect_idxroot)");
        destroy(blockname_idxroot, "index_destroy_stridx(blockname_idxroot)");
        destroy(instance_idxroot, "index_destroy_stridx(instance_idxroot)");
    }
};

// Skip or fail: the indexes go, the worker gets back what it took for the section, the
// tree is released. Whatever was recorded stays (a warning after a skip, the error after
// a failure).
template <typename Result>
Result* abandon(a_taginfo* section, section_indexes& indexes) {
    indexes.destroy_all();
    thr_destroy_session();
    xml_free_taginfo(section);
    return nullptr;
}

// Leaves the warning text for a missing element kind; the section is skipped.
void warn_missing(const char* expression, a_errcode code, const a_taginfo* section) {
    error_clear_message(ERR_NULL, false);
    error_set_message(expression, code, {err_tag(section)});
    error_clear_message(code, true);
}

// The element an item node stands for, by kind, or NULL (recorded).
a_taginfo* item_tag(const a_objidx* node, a_scopekind kind) {
    switch (kind) {
        case pety_measinfo: {
            const auto* block = static_cast<const a_measinfo*>(node->poi_data);
            if (block == nullptr) {
                error_set_message("(a_measinfo_ptr)measinfo_idxnode->poi_data", ERR_NULL);
                return nullptr;
            }
            if (block->mmi_tag == nullptr) error_set_message("measinfo_node->mmi_tag", ERR_NULL);
            return block->mmi_tag;
        }
        case pety_measvalue: {
            const auto* row = static_cast<const a_measvalue*>(node->poi_data);
            if (row == nullptr) {
                error_set_message("(a_measvalue_ptr)measvalue_idxnode->poi_data", ERR_NULL);
                return nullptr;
            }
            if (row->mmv_tag == nullptr) error_set_message("measvalue_node->mmv_tag", ERR_NULL);
            return row->mmv_tag;
        }
        case pety_measpair:
        case pety_tag:
            break;
    }
    const auto* pair = static_cast<const a_measpair*>(node->poi_data);
    if (pair == nullptr) {
        error_set_message("(a_measpair_ptr)item_idxnode->poi_data", ERR_NULL);
        return nullptr;
    }
    if (pair->mmp_tag == nullptr) error_set_message("item_pair->mmp_tag", ERR_NULL);
    return pair->mmp_tag;
}

// How one assignment reads its indexes and what it says when it fails.
struct assignment {
    a_scopekind item_kind;
    a_scopekind partner_kind;
    const char* items_desc;     // detail of an empty item index
    const char* lookup_text;
    const char* scope_text;
    bool cross_check;           // a failed lookup also records code 26
};

// Walks the items from the last to the first; for each, looks up its position in the
// partner index and lets effect(item node, partner node) act on the partner nearest in
// scope.
template <typename Effect>
bool assign(a_objhead* items, a_objhead* partners, const assignment& how, Effect effect) {
    a_objidx* item_node = items != nullptr ? index_last_stridx(items) : nullptr;
    if (item_node == nullptr) {
        error_set_message("index_last_stridx(item_idxroot)", ERR_INDEX_EMPTY, {err_str(how.items_desc)});
        return false;
    }
    index_set_stridx(partners, IDX_FINDONLY, 1);
    index_set_stridx(partners, IDX_NEAREST, 1);
    a_objseek nearest{};
    for (; item_node != nullptr; item_node = index_prev_stridx(item_node)) {
        const a_taginfo* tag = item_tag(item_node, how.item_kind);
        if (tag == nullptr) return false;
        // Items come in descending order: the lookups move back through the partners.
        a_objidx* partner = index_seek_stridx(partners, &nearest, &tag->ti_seq);
        if (partner == nullptr) {
            error_set_message(how.lookup_text, ERR_NULL);
            if (how.cross_check) error_set_message("parse_merge_headers", ERR_PARSE_CROSSCHECK);
            return false;
        }
        partner = parse_find_scope(partner, tag, how.partner_kind);
        if (partner == nullptr) {
            error_set_message(how.scope_text, ERR_NULL);
            return false;
        }
        effect(item_node, partner);
    }
    return true;
}

// Puts the item's own run of pairs (its first pair up to the run end its expansion left
// in the node) at the front of *list.
void prepend_run(const a_objidx* item_node, a_measpair** list) {
    auto* first = static_cast<a_measpair*>(item_node->poi_data);
    auto* last = item_node->poi_child != nullptr ? static_cast<a_measpair*>(item_node->poi_child) : first;
    last->mmp_next = *list;
    *list = first;
}

// Steps 1 to 12 of a data section fill the indexes; each returns false when the section
// is not to be converted further (skip or fail, as recorded).
bool index_data_section(a_taginfo* section, section_indexes& x) {
    x.tag_idxroot = parse_index_taginfo(section);
    if (x.tag_idxroot == nullptr) {
        error_set_message("parse_index_taginfo(tag)", ERR_NULL);
        return false;
    }
    bool none = false;
    x.measinfo_idxroot = parse_create_measinfo(x.tag_idxroot, &none);
    if (x.measinfo_idxroot == nullptr) {
        if (none) warn_missing("parse_create_measinfo(tag_idxroot)", ERR_PARSE_NOMEASINFO, section);
        return false;
    }
    x.header_idxroot = parse_index_header(x.tag_idxroot, xcfg_hdrelemnames);
    if (x.header_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_hdrelemnames)", ERR_NULL);
        return false;
    }
    if (!parse_merge_commonheader(x.measinfo_idxroot, x.header_idxroot)) {
        error_set_message("parse_merge_commonheader(measinfo_idxroot, header_idxroot)", ERR_NULL);
        return false;
    }
    if (!section_indexes::destroy(x.header_idxroot, "index_destroy_stridx(header_idxroot)")) return false;

    x.measvalue_idxroot = parse_create_measvalue(x.tag_idxroot, &none);
    if (x.measvalue_idxroot == nullptr) {
        if (none) warn_missing("parse_create_measvalue(tag_idxroot)", ERR_PARSE_NOMEASVALUE, section);
        return false;
    }
    x.uniquehdr_idxroot = parse_index_header(x.tag_idxroot, xcfg_uniquepifhdrelemnames);
    if (x.uniquehdr_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_uniquepifhdrelemnames)", ERR_NULL);
        return false;
    }
    if (!parse_merge_uniqueheader(x.measvalue_idxroot, x.uniquehdr_idxroot)) {
        error_set_message("parse_merge_uniqueheader(measvalue_idxroot, uniquehdr_idxroot)", ERR_NULL);
        return false;
    }
    if (!section_indexes::destroy(x.uniquehdr_idxroot, "index_destroy_stridx(uniquehdr_idxroot)")) return false;

    x.meastype_idxroot = parse_index_counters(x.tag_idxroot, xcfg_meastypelemseq, &none);
    if (x.meastype_idxroot == nullptr) {
        if (none)
            warn_missing("parse_index_header(tag_idxroot, xcfg_meastypelemseq)", ERR_PARSE_NOMEASTYPE, section);
        else
            error_set_message("parse_index_header(tag_idxroot, xcfg_meastypelemseq)", ERR_NULL);
        return false;
    }
    x.measrslt_idxroot = parse_index_counters(x.tag_idxroot, xcfg_measrsltelemseq);
    if (x.measrslt_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_measrsltelemseq)", ERR_NULL);
        return false;
    }
    x.suspect_idxroot = parse_index_header(x.tag_idxroot, xcfg_suspectflagelemname, &none);
    if (x.suspect_idxroot == nullptr) {
        if (!none) {
            error_set_message("parse_index_header(tag_idxroot, xcfg_suspectflagelemname)", ERR_NULL);
            return false;
        }
        error_clear_message(ERR_NULL, false);  // rows without suspect flag
    }
    x.blockname_idxroot = parse_index_header(x.tag_idxroot, xcfg_outblkelemname);
    if (x.blockname_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_outblkelemname)", ERR_NULL);
        return false;
    }
    x.instance_idxroot = parse_index_header(x.tag_idxroot, xcfg_instanceobject);
    if (x.instance_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_instanceobject)", ERR_NULL);
        return false;
    }
    return section_indexes::destroy(x.tag_idxroot, "index_destroy_stridx(tag_idxroot)");
}

// Step 13: expansions and assignments, in an order where every chain is complete before
// a row or block takes it.
bool convert_data_section(section_indexes& x) {
    auto failed = [](const char* expression) {
        error_set_message(expression, ERR_CONDITION);
        return false;
    };
    if (!parse_expand_commonheader(x.measinfo_idxroot)) return failed("!parse_expand_commonheader(measinfo_idxroot)");
    if (!parse_expand_uniqueheader(x.measvalue_idxroot))
        return failed("!parse_expand_uniqueheader(measvalue_idxroot)");
    // A header value that did not expand fails the run; converting the rest would only
    // bury its message under follow-up failures.
    if (error_clear_message(0, false) != 0) return false;
    if (!parse_merge_headers(x.measinfo_idxroot, x.measvalue_idxroot))
        return failed("!parse_merge_headers(measinfo_idxroot, measvalue_idxroot)");
    if (!parse_expand_meastype(x.meastype_idxroot)) return failed("!parse_expand_meastype(meastype_idxroot)");
    if (!parse_merge_meastype(x.measinfo_idxroot, x.meastype_idxroot))
        return failed("!parse_merge_meastype(measinfo_idxroot, meastype_idxroot)");
    if (!parse_expand_measrslt(x.measrslt_idxroot)) return failed("!parse_expand_measrslt(measrslt_idxroot)");
    if (!parse_merge_measrslt(x.measvalue_idxroot, x.measrslt_idxroot))
        return failed("!parse_merge_measrslt(measvalue_idxroot, measrslt_idxroot)");
    if (!parse_expand_blockname(x.blockname_idxroot)) return failed("!parse_expand_blockname(blockname_idxroot)");
    if (!parse_merge_blockname(x.measvalue_idxroot, x.blockname_idxroot))
        return failed("!parse_merge_blockname(measvalue_idxroot, blockname_idxroot)");
    if (!section_indexes::destroy(x.blockname_idxroot, "index_destroy_stridx(blockname_idxroot)")) return false;
    if (!parse_expand_instanceobj(x.instance_idxroot)) return failed("!parse_expand_instanceobj(instance_idxroot)");
    if (!parse_merge_instanceobj(x.measvalue_idxroot, x.instance_idxroot))
        return failed("!parse_merge_instanceobj(measvalue_idxroot, instance_idxroot)");
    if (!section_indexes::destroy(x.instance_idxroot, "index_destroy_stridx(instance_idxroot)")) return false;
    if (x.suspect_idxroot != nullptr) {
        if (!parse_expand_suspect(x.suspect_idxroot)) return failed("!parse_expand_suspect(suspect_idxroot)");
        if (!parse_merge_suspect(x.measvalue_idxroot, x.suspect_idxroot))
            return failed("!parse_merge_suspect(measvalue_idxroot, suspect_idxroot)");
        if (!section_indexes::destroy(x.suspect_idxroot, "index_destroy_stridx(suspect_idxroot)")) return false;
    }
    return section_indexes::destroy(x.meastype_idxroot, "index_destroy_stridx(meastype_idxroot)") &&
           section_indexes::destroy(x.measrslt_idxroot, "index_destroy_stridx(measrslt_idxroot)") &&
           section_indexes::destroy(x.measvalue_idxroot, "index_destroy_stridx(measvalue_idxroot)") &&
           section_indexes::destroy(x.measinfo_idxroot, "index_destroy_stridx(measinfo_idxroot)");
}

// Blocks (rows) of a section from its block (row) element occurrences.
template <typename Record, typename Fill>
a_objhead* create_records(a_objhead* tag_index, int item, bool* none, const char* index_text,
                          const char* alloc_text, Fill fill) {
    a_objhead* index = parse_index_header(tag_index, item, none);
    if (index == nullptr) {
        error_set_message(index_text, ERR_NULL);
        return nullptr;
    }
    Record* next = nullptr;
    Record* tail = nullptr;
    for (a_objidx* node = index_last_stridx(index); node != nullptr; node = index_prev_stridx(node)) {
        const auto* pair = static_cast<const a_measpair*>(node->poi_data);
        if (pair == nullptr || pair->mmp_tag == nullptr) {
            error_set_message(pair == nullptr ? "(a_measpair_ptr)measinfo_idxnode->poi_data"
                                              : "(a_taginfo_ptr)pair->mmp_tag",
                              ERR_NULL);
            index_destroy_stridx(index);
            return nullptr;
        }
        auto* record = static_cast<Record*>(thr_malloc(sizeof(Record)));
        if (record == nullptr) {
            error_set_message(alloc_text, ERR_NULL);
            index_destroy_stridx(index);
            return nullptr;
        }
        if (tail == nullptr) tail = record;
        fill(record, pair->mmp_tag, next, tail);
        node->poi_data = record;
        next = record;
    }
    return index;
}

// Empty counter lists hold their place in a chain only until names and values meet.
void drop_empty_lists(a_measpair** chain) {
    while (*chain != nullptr) {
        if ((*chain)->mmp_type == no_counter_type)
            *chain = (*chain)->mmp_next;
        else
            chain = &(*chain)->mmp_next;
    }
}

// The attribute that numbers counter names and results, or NULL when they pair by order.
const char* counter_position_attribute() {
    if (glob_getnum_config(xcfg_counterpositionattr) < 1) return nullptr;
    const char* name = glob_get_string(xcfg_counterpositionattr, 0);
    return name != nullptr && name[0] != '\0' ? name : nullptr;
}

// A block's counter names by their position value, built when its first numbered row
// needs them. Names without the attribute cannot be found; a value shared by two names
// is kept once and marked, so that a result naming it fails rather than picking one.
struct name_positions {
    struct entry {
        std::string_view position;
        std::size_t order;          // the name's place in the block
        a_measpair* name;
        bool shared;
    };
    bool ready = false;
    std::vector<entry> entries;
    std::size_t count = 0;          // names of the block
    std::vector<a_measpair*> slots; // one row's results in the block's name order

    void build(a_measpair* names, const char* attribute) {
        ready = true;
        for (a_measpair* name = names; name != nullptr; name = name->mmp_next, ++count) {
            const char* value = parse_get_attrval(name->mmp_tag, attribute);
            if (value != nullptr) entries.push_back(entry{value, count, name, false});
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const entry& a, const entry& b) { return a.position < b.position; });
        std::size_t kept = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (kept > 0 && entries[kept - 1].position == entries[i].position) {
                entries[kept - 1].shared = true;
                continue;
            }
            entries[kept++] = entries[i];
        }
        entries.resize(kept);
    }
    const entry* find(std::string_view position) const {
        auto at = std::lower_bound(entries.begin(), entries.end(), position,
                                   [](const entry& e, std::string_view p) { return e.position < p; });
        return at != entries.end() && at->position == position ? &*at : nullptr;
    }
};

// Names a numbered row's results after the names of equal position and puts them in the
// block's name order; names without a result have no value in the row. Returns 1, or 0
// with code 27 for a result without a position, with a position no name (or more than
// one name) has, or with a position another result of the row has already.
bool pair_by_position(name_positions& names, a_measvalue* row, const char* attribute) {
    names.slots.assign(names.count, nullptr);
    for (a_measpair* value = row->mmv_measrslt; value != nullptr; value = value->mmp_next) {
        const char* position = parse_get_attrval(value->mmp_tag, attribute);
        const name_positions::entry* name = position != nullptr ? names.find(position) : nullptr;
        const char* problem = position == nullptr           ? "result without position"
                              : name == nullptr             ? "no counter name has the position of the result"
                              : name->shared                ? "counter names share the position of the result"
                              : names.slots[name->order] != nullptr ? "results share a position"
                                                                    : nullptr;
        if (problem != nullptr) {
            error_set_message("parse_merge_typerslt", ERR_PARSE_COUNTMISMATCH,
                              {err_str(problem), err_str(attribute), err_str(position), err_tag(value->mmp_tag),
                               err_tag(row->mmv_tag)});
            return false;
        }
        value->mmp_name = name->name->mmp_name;
        names.slots[name->order] = value;
    }
    a_measpair** link = &row->mmv_measrslt;
    for (a_measpair* value : names.slots) {
        if (value == nullptr) continue;
        *link = value;
        link = &value->mmp_next;
    }
    *link = nullptr;
    return true;
}

}  // namespace

bool parse_init() {
    measdata = a_measdata{};
    {
        std::lock_guard<std::mutex> guard(section_chain_lock);
        header_seq = section_chain_seq{};
        footer_seq = section_chain_seq{};
    }
    if (!parse_init_globtype()) {
        error_set_message("parse_init_globtype()", ERR_NULL);
        return false;
    }
    thr_set_converter(parse_process_all);
    return true;
}

bool parse_deinit() {
    thr_set_converter(nullptr);
    // The records live in the worker pools, which go right after this.
    measdata = a_measdata{};
    if (!parse_deinit_globtype()) {
        error_set_message("parse_deinit_globtype()", ERR_NULL);
        return false;
    }
    return true;
}

a_measinfo* parse_process_all(a_measinfo* list, a_taginfo* section) {
    static constexpr struct {
        int item;
        const char* text;
    } names[] = {{xcfg_measdatelemname, "glob_getname_tagelem(xcfg_measdatelemname, 0)"},
                 {xcfg_meashdrelemname, "glob_getname_tagelem(xcfg_meashdrelemname, 0)"},
                 {xcfg_measftrelemname, "glob_getname_tagelem(xcfg_measftrelemname, 0)"}};
    a_objidx* types[3] = {};
    for (int i = 0; i < 3; ++i) {
        const char* name = glob_getname_tagelem(names[i].item, 0);
        if (name == nullptr) {
            error_set_message(names[i].text, ERR_NULL);
            xml_free_taginfo(section);
            return nullptr;
        }
        types[i] = xml_getstrtype(name);
    }
    a_objidx* section_type = xml_gettagtype(section);
    if (section_type != nullptr && section_type == types[0]) {
        a_measinfo* blocks = parse_process_data(section);
        if (blocks == nullptr) return list;
        if (list != nullptr) {
            blocks->mmi_tail->mmi_next = list;
            blocks->mmi_tail = list->mmi_tail;
        }
        return blocks;
    }
    if (section_type != nullptr && (section_type == types[1] || section_type == types[2])) {
        parse_process_header(section, section_type == types[1]);
        return list;
    }
    error_set_message("parse_process_all", ERR_PARSE_BADSECTION, {err_tag(section)});
    xml_free_taginfo(section);
    return nullptr;
}

a_measinfo* parse_process_data(a_taginfo* section) {
    section_indexes x;
    if (!index_data_section(section, x)) return abandon<a_measinfo>(section, x);
    a_measinfo* measinfo_list = parse_get_measinfo(x.measinfo_idxroot);
    if (!convert_data_section(x)) return abandon<a_measinfo>(section, x);
    if (!parse_merge_typerslt(measinfo_list)) {
        error_set_message("!parse_merge_typerslt(measinfo_list)", ERR_CONDITION);
        return abandon<a_measinfo>(section, x);
    }
    xml_free_taginfo(section);
    forget_tags(measinfo_list);
    return measinfo_list;
}

int parse_part_kind(const a_taginfo* section, const a_taginfo* child) {
    // Blocks named by a list of names are whichever of them is most frequent, which only
    // the whole section tells.
    if (glob_getnum_config(xcfg_uniquepifblkelemname) != 1) return 0;
    const char* data_name = glob_getname_tagelem(xcfg_measdatelemname, 0);
    const char* block_name = glob_getname_tagelem(xcfg_uniquepifblkelemname, 0);
    // By name: a section's type is only registered when it ends.
    auto named = [](const a_taginfo* tag, const char* name) {
        return name != nullptr && tag->ti_name.str != nullptr && std::string_view(tag->ti_name.str) == name;
    };
    if (!named(section, data_name)) return 0;
    return named(child, block_name) ? 1 : 2;
}

a_measinfo* parse_process_part(a_taginfo* shell, a_partscope* scope) {
    struct part_guard {
        explicit part_guard(a_partscope* s) { parse_set_partscope(s); }
        ~part_guard() { parse_set_partscope(nullptr); }
        part_guard(const part_guard&) = delete;
        part_guard& operator=(const part_guard&) = delete;
    } guard(scope);
    section_indexes x;
    if (!index_data_section(shell, x)) return nullptr;
    a_measinfo* measinfo_list = parse_get_measinfo(x.measinfo_idxroot);
    if (!convert_data_section(x) || !parse_merge_typerslt(measinfo_list) || scope->ps_reached) return nullptr;
    forget_tags(measinfo_list);
    return measinfo_list;
}

a_measpair* parse_process_header(a_taginfo* section, bool is_header) {
    const std::uint32_t seq = section->ti_seq;
    section_indexes x;
    x.tag_idxroot = parse_index_taginfo(section);
    if (x.tag_idxroot == nullptr) {
        error_set_message("parse_index_taginfo(tag)", ERR_NULL);
        store_section_chain(is_header, seq, nullptr);
        return abandon<a_measpair>(section, x);
    }
    x.header_idxroot = parse_index_header(x.tag_idxroot, xcfg_hdrelemnames);
    if (x.header_idxroot == nullptr) {
        error_set_message("parse_index_header(tag_idxroot, xcfg_hdrelemnames)", ERR_NULL);
        store_section_chain(is_header, seq, nullptr);
        return abandon<a_measpair>(section, x);
    }
    a_measpair* header_pair = parse_get_commonheader(x.header_idxroot);
    parse_expand_headerpair(header_pair);
    if (!section_indexes::destroy(x.header_idxroot, "index_destroy_stridx(header_idxroot)") ||
        !section_indexes::destroy(x.tag_idxroot, "index_destroy_stridx(tag_idxroot)")) {
        store_section_chain(is_header, seq, nullptr);
        return abandon<a_measpair>(section, x);
    }
    xml_free_taginfo(section);
    forget_tags(header_pair);
    store_section_chain(is_header, seq, header_pair);
    return header_pair;
}

a_objhead* parse_create_measinfo(a_objhead* tag_index, bool* none) {
    return create_records<a_measinfo>(
        tag_index, xcfg_uniquepifblkelemname, none, "parse_index_header(tag_idxroot, xcfg_uniquepifblkelemname)",
        "(a_measinfo_ptr)thr_malloc(sizeof(a_measinfo))",
        [](a_measinfo* block, a_taginfo* tag, a_measinfo* next, a_measinfo* tail) {
            block->mmi_tag = tag;
            block->mmi_next = next;
            block->mmi_tail = tail;
        });
}

a_objhead* parse_create_measvalue(a_objhead* tag_index, bool* none) {
    return create_records<a_measvalue>(
        tag_index, xcfg_measvalelemname, none, "parse_index_header(tag_idxroot, xcfg_measvalelemname)",
        "(a_measvalue_ptr)thr_malloc(sizeof(a_measvalue))",
        [](a_measvalue* row, a_taginfo* tag, a_measvalue* next, a_measvalue*) {
            row->mmv_tag = tag;
            row->mmv_next = next;
        });
}

a_measinfo* parse_get_measinfo(const a_objhead* index) {
    const a_objidx* first = index != nullptr ? index_first_stridx(index) : nullptr;
    return first != nullptr ? static_cast<a_measinfo*>(first->poi_data) : nullptr;
}

a_measpair* parse_get_commonheader(const a_objhead* index) {
    a_measpair* joined = nullptr;
    std::int64_t count = 0;
    for (const a_objidx* node = index != nullptr ? index_last_stridx(index) : nullptr; node != nullptr;
         node = index_prev_stridx(node)) {
        auto* chain = static_cast<a_measpair*>(node->poi_data);
        if (chain == nullptr) continue;
        a_measpair* last = chain;
        while (last->mmp_next != nullptr) last = last->mmp_next;
        last->mmp_next = joined;
        joined = chain;
        ++count;
    }
    if (count > 1) {
        error_set_message("parse_get_commonheader", ERR_PARSE_MULTIHEADER, {err_int(count)});
        error_clear_message(ERR_PARSE_MULTIHEADER, true);
    }
    return joined;
}

bool parse_merge_commonheader(a_objhead* measinfo_idx, a_objhead* header_idx) {
    static constexpr assignment how{pety_measinfo, pety_measpair, "measurement info index",
                                    "index_find_stridx(header_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(header_idxnode, measinfo_tag, pety_measpair)", false};
    index_set_stridx(header_idx, IDX_REMEMBER, 0);
    return assign(measinfo_idx, header_idx, how, [](a_objidx* item, a_objidx* partner) {
        static_cast<a_measinfo*>(item->poi_data)->mmi_commonhdr = static_cast<a_measpair*>(partner->poi_data);
    });
}

bool parse_merge_uniqueheader(a_objhead* measvalue_idx, a_objhead* header_idx) {
    static constexpr assignment how{pety_measvalue, pety_measpair, "measurement value index",
                                    "index_find_stridx(uniquehdr_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(uniquehdr_idxnode, measvalue_tag, pety_measpair)", false};
    index_set_stridx(header_idx, IDX_REMEMBER, 0);
    return assign(measvalue_idx, header_idx, how, [](a_objidx* item, a_objidx* partner) {
        static_cast<a_measvalue*>(item->poi_data)->mmv_uniquehdr = static_cast<a_measpair*>(partner->poi_data);
    });
}

bool parse_merge_headers(a_objhead* measinfo_idx, a_objhead* measvalue_idx) {
    static constexpr assignment how{pety_measvalue, pety_measinfo, "measurement value index",
                                    "index_find_stridx(measinfo_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(measinfo_idxnode, measvalue_tag, pety_measinfo)", true};
    return assign(measvalue_idx, measinfo_idx, how, [](a_objidx* item, a_objidx* partner) {
        auto* row = static_cast<a_measvalue*>(item->poi_data);
        auto* block = static_cast<a_measinfo*>(partner->poi_data);
        row->mmv_next = block->mmi_measvalue;
        block->mmi_measvalue = row;
    });
}

bool parse_merge_meastype(a_objhead* measinfo_idx, a_objhead* meastype_idx) {
    static constexpr assignment how{pety_measpair, pety_measinfo, "measurement type index",
                                    "index_find_stridx(measinfo_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(measinfo_idxnode, meastype_tag, pety_measinfo)", false};
    index_set_stridx(measinfo_idx, IDX_REMEMBER, 1);
    const bool ok = assign(meastype_idx, measinfo_idx, how, [](a_objidx* item, a_objidx* partner) {
        prepend_run(item, &static_cast<a_measinfo*>(partner->poi_data)->mmi_meastype);
    });
    index_set_stridx(measinfo_idx, IDX_REMEMBER, 0);
    return ok;
}

bool parse_merge_measrslt(a_objhead* measvalue_idx, a_objhead* measrslt_idx) {
    static constexpr assignment how{pety_measpair, pety_measvalue, "measurement result index",
                                    "index_find_stridx(measvalue_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(measvalue_idxnode, measrslt_tag, pety_measvalue)", false};
    index_set_stridx(measvalue_idx, IDX_REMEMBER, 1);
    const bool ok = assign(measrslt_idx, measvalue_idx, how, [](a_objidx* item, a_objidx* partner) {
        prepend_run(item, &static_cast<a_measvalue*>(partner->poi_data)->mmv_measrslt);
    });
    index_set_stridx(measvalue_idx, IDX_REMEMBER, 0);
    return ok;
}

bool parse_merge_blockname(a_objhead* measvalue_idx, a_objhead* blockname_idx) {
    static constexpr assignment how{pety_measvalue, pety_measpair, "measurement value index",
                                    "index_find_stridx(blockname_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(blockname_idxnode, measvalue_tag, pety_measpair)", false};
    index_set_stridx(blockname_idx, IDX_REMEMBER, 0);
    return assign(measvalue_idx, blockname_idx, how, [](a_objidx* item, a_objidx* partner) {
        static_cast<a_measvalue*>(item->poi_data)->mmv_blockname = static_cast<a_measpair*>(partner->poi_data);
    });
}

bool parse_merge_instanceobj(a_objhead* measvalue_idx, a_objhead* instance_idx) {
    static constexpr assignment how{pety_measvalue, pety_measpair, "measurement value index",
                                    "index_find_stridx(instance_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(instance_idxnode, measvalue_tag, pety_measpair)", false};
    index_set_stridx(instance_idx, IDX_REMEMBER, 0);
    return assign(measvalue_idx, instance_idx, how, [](a_objidx* item, a_objidx* partner) {
        static_cast<a_measvalue*>(item->poi_data)->mmv_instanceobj = static_cast<a_measpair*>(partner->poi_data);
    });
}

bool parse_merge_suspect(a_objhead* measvalue_idx, a_objhead* suspect_idx) {
    static constexpr assignment how{pety_measpair, pety_measvalue, "suspect flag index",
                                    "index_find_stridx(measvalue_idxroot, (a_str)&tagtype_seq)",
                                    "parse_find_scope(measvalue_idxnode, suspect_tag, pety_measvalue)", false};
    index_set_stridx(measvalue_idx, IDX_REMEMBER, 1);
    // Walked from the last to the first: the first suspect element of a row is set last.
    const bool ok = assign(suspect_idx, measvalue_idx, how, [](a_objidx* item, a_objidx* partner) {
        auto* pair = static_cast<a_measpair*>(item->poi_data);
        pair->mmp_next = nullptr;  // the row takes the flag alone
        static_cast<a_measvalue*>(partner->poi_data)->mmv_suspect = pair;
    });
    index_set_stridx(measvalue_idx, IDX_REMEMBER, 0);
    return ok;
}

bool parse_merge_typerslt(a_measinfo* first_block) {
    const char* position = counter_position_attribute();
    for (a_measinfo* block = first_block; block != nullptr; block = block->mmi_next) {
        drop_empty_lists(&block->mmi_meastype);
        name_positions names;
        for (a_measvalue* row = block->mmi_measvalue; row != nullptr; row = row->mmv_next) {
            drop_empty_lists(&row->mmv_measrslt);
            a_measpair* measrslt_pair = row->mmv_measrslt;
            if (measrslt_pair == nullptr) continue;
            if (position != nullptr && parse_get_attrval(measrslt_pair->mmp_tag, position) != nullptr) {
                if (!names.ready) names.build(block->mmi_meastype, position);
                if (!pair_by_position(names, row, position)) return false;
                continue;
            }
            a_measpair* meastype_pair = block->mmi_meastype;
            // Names and values match by position alone.
            while (meastype_pair != nullptr && measrslt_pair != nullptr) {
                measrslt_pair->mmp_name = meastype_pair->mmp_name;
                meastype_pair = meastype_pair->mmp_next;
                measrslt_pair = measrslt_pair->mmp_next;
            }
            if (meastype_pair != nullptr || measrslt_pair != nullptr) {
                error_set_message("parse_merge_typerslt", ERR_PARSE_COUNTMISMATCH,
                                  {err_measpair(meastype_pair), err_measpair(measrslt_pair), err_tag(row->mmv_tag)});
                return false;
            }
        }
    }
    return true;
}
