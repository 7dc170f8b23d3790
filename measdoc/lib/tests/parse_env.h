// Test helpers for the section conversion: a whole cycle in the host glue's order
// (configuration, threads, tokenizer, reader, parser; then the reverse), and views of
// measdata that keep only what the host sees (named pairs) in a form tests compare.
#ifndef MEASDOC_TESTS_PARSE_ENV_H
#define MEASDOC_TESTS_PARSE_ENV_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "md_parse.h"
#include "md_regex.h"
#include "pipeline_env.h"

// A named pair as the host sees it: "name=value", with the type when asked for.
inline std::string pair_text(const a_measpair* p, bool with_type = false) {
    std::string out = std::string(p->mmp_name) + "=" + (p->mmp_value != nullptr ? p->mmp_value : "(null)");
    if (with_type) out += "/" + std::to_string(p->mmp_type);
    return out;
}

// The named pairs of a chain, in chain order.
inline std::vector<std::string> pairs_of(const a_measpair* chain, bool with_type = false) {
    std::vector<std::string> out;
    for (; chain != nullptr; chain = chain->mmp_next)
        if (chain->mmp_name != nullptr) out.push_back(pair_text(chain, with_type));
    return out;
}

struct row_view {
    std::vector<std::string> unique;    // with types
    std::vector<std::string> values;
    std::vector<std::string> instance;
    std::string blockname;
    std::vector<std::string> suspect;
};

struct block_view {
    std::vector<std::string> common;    // with types
    std::vector<std::string> types;     // counter names
    std::vector<row_view> rows;
};

struct data_view {
    std::vector<std::string> header;    // with types
    std::vector<std::string> footer;
    std::vector<block_view> blocks;
};

inline data_view view_measdata() {
    data_view v;
    v.header = pairs_of(measdata.md_header, true);
    v.footer = pairs_of(measdata.md_footer, true);
    for (const a_measinfo* b = measdata.md_measinfo; b != nullptr; b = b->mmi_next) {
        block_view bv;
        bv.common = pairs_of(b->mmi_commonhdr, true);
        for (const a_measpair* t = b->mmi_meastype; t != nullptr; t = t->mmp_next)
            bv.types.push_back(t->mmp_name != nullptr ? t->mmp_name : "(null)");
        for (const a_measvalue* r = b->mmi_measvalue; r != nullptr; r = r->mmv_next) {
            row_view rv;
            rv.unique = pairs_of(r->mmv_uniquehdr, true);
            rv.values = pairs_of(r->mmv_measrslt);
            rv.instance = pairs_of(r->mmv_instanceobj, true);
            if (r->mmv_blockname != nullptr && r->mmv_blockname->mmp_name != nullptr)
                rv.blockname = r->mmv_blockname->mmp_name;
            rv.suspect = pairs_of(r->mmv_suspect);
            bv.rows.push_back(rv);
        }
        v.blocks.push_back(bv);
    }
    return v;
}

inline std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) out += (out.empty() ? "" : " ") + s;
    return out;
}

// The whole result as text, for comparing runs.
inline std::string dump_measdata() {
    const data_view v = view_measdata();
    std::string out = "header: " + join(v.header) + "\nfooter: " + join(v.footer) + "\n";
    for (std::size_t i = 0; i < v.blocks.size(); ++i) {
        const block_view& b = v.blocks[i];
        out += "block " + std::to_string(i) + ": " + join(b.common) + "\n  types: " + join(b.types) + "\n";
        for (std::size_t j = 0; j < b.rows.size(); ++j) {
            const row_view& r = b.rows[j];
            out += "  row " + std::to_string(j) + " [" + r.blockname + "] " + join(r.unique) + "\n    " +
                   join(r.values) + "\n    " + join(r.instance) + " " + join(r.suspect) + "\n";
        }
    }
    return out;
}

// The outcome of one conversion: run result, the message, the warnings and the data.
struct conversion {
    bool started = false;
    bool ok = false;
    std::string error;
    std::vector<std::string> warnings;
    std::string dump;
    data_view data;
};

// One cycle over a file: the items are set, the module started, the file converted, the
// results and messages captured, the module stopped. Each stop is checked.
class converter_cycle {
public:
    // threads < 0: the configuration's default.
    conversion run_file(const std::string& path, item_list items = {}, int threads = -1, std::uint32_t blocksize = 0) {
        conversion c;
        clear_main_area();
        io_set_blocksize(blocksize);
        if (threads >= 0) items.push_back({xcfg_threadnum, {std::to_string(threads)}});
        bool ok = regex_init() && set_item(xcfg_xmlfilename, {path});
        for (const auto& [type, values] : items) ok = ok && set_item(type, values);
        ok = ok && glob_init() && thr_init() && xml_init() && io_init() && parse_init();
        c.started = ok;
        if (ok) {
            c.ok = thr_run_xml();
            c.data = view_measdata();
            c.dump = dump_measdata();
        }
        if (const char* e = error_get_errmsg(); e != nullptr) c.error = e;
        for (const char* w = error_get_warnmsg(); w != nullptr; w = error_get_warnmsg()) {
            c.warnings.push_back(w);
            error_pop_warnmsg();
        }
        bool stopped = parse_deinit();
        stopped = xml_deinit() && stopped;
        stopped = io_deinit() && stopped;
        stopped = thr_deinit() && stopped;
        stopped = glob_deinit() && stopped;
        stopped = regex_deinit() && stopped;
        EXPECT_TRUE(stopped) << main_message();
        // The records go with the worker pools: nothing may lead to them any more.
        EXPECT_EQ(measdata.md_measinfo, nullptr);
        EXPECT_EQ(measdata.md_header, nullptr);
        EXPECT_EQ(measdata.md_footer, nullptr);
        EXPECT_EQ(io_count_blockinfo(), 0u);
        io_set_blocksize(0);
        clear_main_area();
        return c;
    }
    conversion run(const std::string& content, item_list items = {}, int threads = -1, std::uint32_t blocksize = 0) {
        temp_file file(content);
        return run_file(file.path(), std::move(items), threads, blocksize);
    }
};

// The thread numbers every result must be the same for.
inline const std::vector<int>& thread_numbers() {
    static const std::vector<int> numbers{0, 1, 2, 4, 8};
    return numbers;
}

#endif
