// Test helpers for the units that run a conversion: temporary input files, the sample
// files, a pipeline started and stopped in the module's order (configuration, threads,
// tokenizer, reader), a converter that records the sections it gets, and a canonical dump
// of an element tree for comparing runs.
#ifndef MEASDOC_TESTS_PIPELINE_ENV_H
#define MEASDOC_TESTS_PIPELINE_ENV_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "md_conf.h"
#include "md_error.h"
#include "md_io.h"
#include "md_memory.h"
#include "md_parse.h"
#include "md_posix.h"
#include "md_thread.h"
#include "md_xml.h"
#include "runtime_env.h"

namespace fs = std::filesystem;

// A file in the test's temporary directory, removed with the object.
class temp_file {
public:
    explicit temp_file(const std::string& content, const std::string& name = "input.xml") {
        static int serial = 0;
        path_ = (fs::temp_directory_path() /
                 ("measdoc-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + "-" + name))
                    .string();
        std::ofstream out(path_, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ~temp_file() { std::remove(path_.c_str()); }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every XML sample: the bundled ones (gzipped ones unpacked into a temporary directory)
// and, when the shared sample directory is next to the checkout, the ones that stay out
// of the repository.
inline std::vector<std::string> xml_samples() {
    // Removed with the test program.
    struct scratch_dir {
        fs::path path = fs::temp_directory_path() / ("measdoc-samples-" + std::to_string(getpid()));
        ~scratch_dir() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const scratch_dir scratch;
    static std::vector<std::string> files = [] {
        std::vector<std::string> list;
        const fs::path unpacked = scratch.path;
        fs::create_directories(unpacked);
        for (const auto& entry : fs::directory_iterator(MEASDOC_SAMPLES_DIR)) {
            const fs::path p = entry.path();
            if (p.extension() == ".xml") list.push_back(p.string());
            if (p.extension() == ".gz") {
                const fs::path out = unpacked / p.stem();
                const std::string command = "gzip -dc '" + p.string() + "' > '" + out.string() + "'";
                if (std::system(command.c_str()) == 0) list.push_back(out.string());
            }
        }
        for (const char* dir : {"32435-xml", "32401-mdc-xml"}) {
            const fs::path shared = fs::path(MEASDOC_SHARED_SAMPLES_DIR) / dir;
            if (!fs::is_directory(shared)) continue;
            for (const auto& entry : fs::directory_iterator(shared))
                if (entry.path().filename().string().rfind("teed_", 0) == 0) list.push_back(entry.path().string());
        }
        std::sort(list.begin(), list.end());
        return list;
    }();
    return files;
}

// Canonical text of an element and its subtree in document order: one line per element
// with depth, sequence, line, name, text and attributes (as kept: newest first).
inline void dump_tree(const a_taginfo* tag, std::string& out) {
    std::vector<const a_taginfo*> stack{tag};
    while (!stack.empty()) {
        const a_taginfo* t = stack.back();
        stack.pop_back();
        out += std::to_string(t->ti_depth) + " #" + std::to_string(t->ti_seq) + " @" + std::to_string(t->ti_line) +
               " <" + (t->ti_name.str ? t->ti_name.str : "(null)") + ">";
        for (const a_attrinfo* a = t->ti_attrs; a != nullptr; a = a->ai_next)
            out += std::string(" ") + (a->ai_name.str ? a->ai_name.str : "(null)") + "=[" +
                   (a->ai_value.str ? a->ai_value.str : "(none)") + "]";
        if (t->ti_text.str != nullptr) out += std::string(" text=[") + t->ti_text.str + "]";
        out += "\n";
        // The child list is newest first: pushed in that order, the oldest comes off first.
        for (const a_taginfo* c = t->ti_child; c != nullptr; c = c->ti_sibling) stack.push_back(c);
    }
}

inline std::string dump_tree(const a_taginfo* tag) {
    std::string out;
    if (tag != nullptr) dump_tree(tag, out);
    return out;
}

// What a test converter saw of one section.
struct seen_section {
    std::string name;
    std::uint32_t seq;
    std::int32_t depth;
    std::string dump;
    std::thread::id thread;
};

// The recording converter: keeps a dump of every section it gets. Optional behaviour per
// test: release the tree (as the parse side does) or keep it, fail on the first section,
// and make blocks whose order the end of the run must keep.
struct recorder {
    std::mutex lock;
    std::vector<seen_section> sections;
    bool release = true;
    bool fail_first = false;
    int blocks_per_section = 0;
    bool failed = false;

    static recorder& get() {
        static recorder r;
        return r;
    }
    void reset() {
        std::lock_guard<std::mutex> g(lock);
        sections.clear();
        release = true;
        fail_first = false;
        blocks_per_section = 0;
        failed = false;
    }
    std::vector<seen_section> by_seq() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<seen_section> copy = sections;
        std::sort(copy.begin(), copy.end(), [](const auto& a, const auto& b) { return a.seq < b.seq; });
        return copy;
    }
};

// Each made block names its section and its place in it ("seq.k") in mmi_meastype.
inline a_measinfo* recording_converter(a_measinfo* list, a_taginfo* section) {
    recorder& r = recorder::get();
    seen_section seen{section->ti_name.str ? section->ti_name.str : "", section->ti_seq, section->ti_depth,
                      dump_tree(section), std::this_thread::get_id()};
    bool fail = false;
    {
        std::lock_guard<std::mutex> g(r.lock);
        r.sections.push_back(seen);
        if (r.fail_first && !r.failed) fail = r.failed = true;
    }
    if (fail) {
        error_set_message("recording_converter", ERR_PARSE_BADSECTION, {err_tag(section)});
        if (r.release) xml_free_taginfo(section);
        return nullptr;
    }
    a_measinfo* first = nullptr;
    a_measinfo* last = nullptr;
    for (int k = 0; k < r.blocks_per_section; ++k) {
        auto* block = static_cast<a_measinfo*>(thr_malloc(sizeof(a_measinfo)));
        auto* pair = static_cast<a_measpair*>(thr_malloc(sizeof(a_measpair)));
        auto* text = static_cast<char*>(thr_malloc(24));
        if (block == nullptr || pair == nullptr || text == nullptr) return nullptr;
        std::snprintf(text, 24, "%u.%d", seen.seq, k);
        pair->mmp_value = text;
        block->mmi_meastype = pair;
        if (last != nullptr)
            last->mmi_next = block;
        else
            first = block;
        last = block;
    }
    if (first != nullptr) {
        first->mmi_tail = last;
        last->mmi_next = list;
    }
    if (r.release) xml_free_taginfo(section);
    return first != nullptr ? first : list;
}

// Does nothing: the tree stays whole for the test to inspect after the run.
inline a_measinfo* keeping_converter(a_measinfo* list, a_taginfo*) { return list; }

// Configuration items for a pipeline: item number and values.
using item_list = std::vector<std::pair<int, std::vector<std::string>>>;

inline bool set_item(int type, const std::vector<std::string>& values) {
    std::vector<const char*> texts;
    for (const auto& v : values) texts.push_back(v.c_str());
    texts.push_back(nullptr);
    return glob_set_config(type, texts.data());
}

// The reading thread's registry area, cleared.
inline void clear_main_area() {
    a_errinfo* area = &thr_info.th_main.tr_error;
    error_free_warnings(area);
    area->code = 0;
    area->cursor = nullptr;
    area->text[0] = '\0';
    thr_info.th_error = nullptr;
}

inline std::string main_message() { return thr_info.th_main.tr_error.text; }

// The module's start and end around one file, in the host glue's order.
class pipeline {
public:
    // Sets the items (the file name first), then starts configuration, threads, tokenizer
    // and reader. False when any step fails.
    bool start(const std::string& file, const item_list& items = {}) {
        stopped_ = false;
        if (!set_item(xcfg_xmlfilename, {file})) return false;
        for (const auto& [type, values] : items)
            if (!set_item(type, values)) return false;
        return glob_init() && thr_init() && xml_init() && io_init();
    }
    bool run() { return thr_run_xml(); }
    // Stops everything in the reverse order; true when every step succeeded.
    bool stop() {
        if (stopped_) return true;
        stopped_ = true;
        bool ok = xml_deinit();
        ok = io_deinit() && ok;
        ok = thr_deinit() && ok;
        ok = glob_deinit() && ok;
        return ok;
    }
    ~pipeline() { stop(); }

private:
    bool stopped_ = true;
};

#endif
