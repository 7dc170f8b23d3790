// Test helpers of the library's tests: a clean registry, the locks the runtime units need
// without thr_init, temporary files and the samples, a pipeline started and stopped in the
// host glue's order, a recording converter, and views of the tree and of measdata that
// tests compare.
#ifndef MEASDOC_TESTS_TEST_ENV_H
#define MEASDOC_TESTS_TEST_ENV_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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
#include "md_regex.h"
#include "md_thread.h"
#include "md_xml.h"

namespace fs = std::filesystem;

// Empties the reading thread's area and every warning list.
inline void reset_registry() {
    error_free_warnings(&thr_info.th_main.tr_error);
    error_free_warnmsgs();
    thr_info.th_main.tr_error.code = 0;
    thr_info.th_main.tr_error.cursor = nullptr;
    thr_info.th_main.tr_error.text[0] = '\0';
    thr_info.th_error = nullptr;
    thr_info.th_thrlist = nullptr;
}

inline std::string main_text() { return thr_info.th_main.tr_error.text; }
inline std::uint32_t main_code() { return thr_info.th_main.tr_error.code; }

// text with the line number of every location item replaced by N: the lines of messages
// recorded inside the library move with its sources.
inline std::string without_lines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] != ':') continue;
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        if (j > i + 1 && j < text.size() && text[j] == ']' && i >= 4 && text.compare(i - 4, 4, ".cpp") == 0) {
            out += 'N';
            i = j - 1;
        }
    }
    return out;
}

// The units below the thread unit, tested without thr_init: the locks act as they do
// while workers run.
class RuntimeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        posix_init();
        ASSERT_EQ(pthr_mutexattr_init(&thr_info.th_mutattr), 0);
        ASSERT_EQ(pthr_mutexattr_settype(&thr_info.th_mutattr, PTHREAD_MUTEX_NORMAL), 0);
        ASSERT_EQ(pthr_key_create(&thr_info.th_key, nullptr), 0);
        ASSERT_EQ(pthr_mutex_init(&thr_info.th_memmtx, &thr_info.th_mutattr), 0);
    }
    static void TearDownTestSuite() {
        reset_registry();
        pthr_mutex_destroy(&thr_info.th_memmtx);
        pthr_key_delete(thr_info.th_key);
        pthr_mutexattr_destroy(&thr_info.th_mutattr);
        posix_deinit();
    }
    void SetUp() override { reset_registry(); }
    void TearDown() override {
        mem_set_sysfault(0);
        reset_registry();
    }
};

// A file in the temporary directory, removed with the object.
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
    struct scratch_dir {  // removed with the test program
        fs::path path = fs::temp_directory_path() / ("measdoc-samples-" + std::to_string(getpid()));
        ~scratch_dir() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const scratch_dir scratch;
    static std::vector<std::string> files = [] {
        std::vector<std::string> list;
        fs::create_directories(scratch.path);
        for (const auto& entry : fs::directory_iterator(MEASDOC_SAMPLES_DIR)) {
            const fs::path p = entry.path();
            if (p.extension() == ".xml") list.push_back(p.string());
            if (p.extension() == ".gz") {
                const fs::path out = scratch.path / p.stem();
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
// with depth, sequence, line, name, attributes (as kept: newest first) and text.
inline std::string dump_tree(const a_taginfo* tag) {
    std::string out;
    std::vector<const a_taginfo*> stack;
    if (tag != nullptr) stack.push_back(tag);
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
    return out;
}

// What the recording converter saw of one section.
struct seen_section {
    std::string name;
    std::uint32_t seq;
    std::string dump;
    std::thread::id thread;
};

// The recording converter's state. Per test: release the tree (as the parse side does)
// or keep it, fail on the first section.
struct recorder {
    std::mutex lock;
    std::vector<seen_section> sections;
    bool release = true;
    bool fail_first = false;
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
        failed = false;
    }
    std::vector<seen_section> by_seq() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<seen_section> copy = sections;
        std::sort(copy.begin(), copy.end(), [](const auto& a, const auto& b) { return a.seq < b.seq; });
        return copy;
    }
};

// Records the section, releases it unless asked to keep it, and fails the first section
// when asked to.
inline a_measinfo* recording_converter(a_measinfo* list, a_taginfo* section) {
    recorder& r = recorder::get();
    bool fail = false;
    {
        std::lock_guard<std::mutex> g(r.lock);
        r.sections.push_back({section->ti_name.str ? section->ti_name.str : "", section->ti_seq, dump_tree(section),
                              std::this_thread::get_id()});
        if (r.fail_first && !r.failed) fail = r.failed = true;
    }
    if (fail) error_set_message("recording_converter", ERR_PARSE_BADSECTION, {err_tag(section)});
    if (r.release) xml_free_taginfo(section);
    return fail ? nullptr : list;
}

// Configuration items: item number and values.
using item_list = std::vector<std::pair<int, std::vector<std::string>>>;

// The number of the item the host sets by NAME; xcfg_undef for no such item.
inline int item_number(std::string_view name) {
    for (int type = xcfg_s_start; type <= xcfg_s_last; ++type) {
        const a_xmlcfginfo* info = glob_get_config_info(type);
        if (info != nullptr && info->host_name == name) return type;
    }
    return xcfg_undef;
}

inline bool set_item(int type, const std::vector<std::string>& values) {
    std::vector<const char*> texts;
    for (const auto& v : values) texts.push_back(v.c_str());
    texts.push_back(nullptr);
    return glob_set_config(type, texts.data());
}

// Runs of the module without the parse side, in the host glue's order, converted by the
// recording converter; at the end of each run every block and every worker must be gone.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_registry();
        recorder::get().reset();
        thr_set_converter(recording_converter);
        ASSERT_TRUE(regex_init());
    }
    void TearDown() override {
        finish();
        thr_set_converter(nullptr);
        regex_deinit();
        mem_set_sysfault(0);
        reset_registry();
    }
    // Starts configuration, threads, tokenizer and reader on a file (the file name set
    // first, then the items); false when any step fails.
    bool start_file(const std::string& path, const item_list& items = {}, std::uint32_t blocksize = 0) {
        finish();
        io_set_blocksize(blocksize);
        started_ = true;
        bool ok = set_item(xcfg_xmlfilename, {path});
        for (const auto& [type, values] : items) ok = ok && set_item(type, values);
        return ok && glob_init() && thr_init() && xml_init() && io_init();
    }
    bool start(const std::string& content, const item_list& items = {}, std::uint32_t blocksize = 0) {
        finish();
        file_ = std::make_unique<temp_file>(content);
        return start_file(file_->path(), items, blocksize);
    }
    bool run(const std::string& content, const item_list& items = {}, std::uint32_t blocksize = 0) {
        const bool ok = start(content, items, blocksize);
        EXPECT_TRUE(ok) << main_text();
        return ok && thr_run_xml();
    }
    // Stops everything in the reverse order; each step must succeed.
    void finish() {
        if (!started_) return;
        started_ = false;
        bool ok = xml_deinit();
        ok = io_deinit() && ok;
        ok = thr_deinit() && ok;
        EXPECT_TRUE(glob_deinit() && ok) << main_text();
        io_set_blocksize(0);
        EXPECT_EQ(io_count_blockinfo(), 0u);
        EXPECT_EQ(thr_worker_count(), 0);
        reset_registry();
    }

    std::unique_ptr<temp_file> file_;
    bool started_ = false;
};

// A named pair as the host sees it: "name=value", with the type when asked for.
inline std::vector<std::string> pairs_of(const a_measpair* chain, bool with_type = false) {
    std::vector<std::string> out;
    for (; chain != nullptr; chain = chain->mmp_next) {
        if (chain->mmp_name == nullptr) continue;
        std::string text = std::string(chain->mmp_name) + "=" + (chain->mmp_value != nullptr ? chain->mmp_value : "(null)");
        if (with_type) text += "/" + std::to_string(chain->mmp_type);
        out.push_back(text);
    }
    return out;
}

inline std::string join(const std::vector<std::string>& items, const std::string& separator = " ") {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i > 0 ? separator : "") + items[i];
    return out;
}

// What the host sees of one row, block and run, in a form tests compare.
struct row_view {
    std::vector<std::string> unique;  // with types
    std::vector<std::string> values;
    std::vector<std::string> instance;
    std::string blockname;
    std::vector<std::string> suspect;
};

struct block_view {
    std::vector<std::string> common;  // with types
    std::vector<std::string> types;   // counter names
    std::vector<row_view> rows;
};

struct data_view {
    std::vector<std::string> header;  // with types
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
            row_view rv{pairs_of(r->mmv_uniquehdr, true), pairs_of(r->mmv_measrslt), pairs_of(r->mmv_instanceobj, true),
                        "", pairs_of(r->mmv_suspect)};
            if (r->mmv_blockname != nullptr && r->mmv_blockname->mmp_name != nullptr)
                rv.blockname = r->mmv_blockname->mmp_name;
            bv.rows.push_back(rv);
        }
        v.blocks.push_back(bv);
    }
    return v;
}

// The whole result as text, for comparing runs.
inline std::string dump_measdata(const data_view& v) {
    std::string out = "header: " + join(v.header) + "\nfooter: " + join(v.footer) + "\n";
    for (std::size_t i = 0; i < v.blocks.size(); ++i) {
        const block_view& b = v.blocks[i];
        out += "block " + std::to_string(i) + ": " + join(b.common) + "\n  types: " + join(b.types) + "\n";
        for (const row_view& r : b.rows)
            out += "  row [" + r.blockname + "] " + join(r.unique) + "\n    " + join(r.values) + "\n    " +
                   join(r.instance) + " " + join(r.suspect) + "\n";
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

// One whole cycle over a file: items set, module started, file converted, results and
// messages captured, module stopped. Each stop is checked, and that nothing is left.
// threads < 0: the configuration's default.
inline conversion convert_file(const std::string& path, item_list items = {}, int threads = -1,
                               std::uint32_t blocksize = 0) {
    conversion c;
    reset_registry();
    io_set_blocksize(blocksize);
    if (threads >= 0) items.push_back({xcfg_threadnum, {std::to_string(threads)}});
    bool ok = regex_init() && set_item(xcfg_xmlfilename, {path});
    for (const auto& [type, values] : items) ok = ok && set_item(type, values);
    ok = ok && glob_init() && thr_init() && xml_init() && io_init() && parse_init();
    c.started = ok;
    if (ok) {
        c.ok = thr_run_xml();
        c.data = view_measdata();
        c.dump = dump_measdata(c.data);
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
    EXPECT_TRUE(stopped) << main_text();
    // The records go with the worker pools: nothing may lead to them any more.
    EXPECT_EQ(measdata.md_measinfo, nullptr);
    EXPECT_EQ(measdata.md_header, nullptr);
    EXPECT_EQ(measdata.md_footer, nullptr);
    EXPECT_EQ(io_count_blockinfo(), 0u);
    io_set_blocksize(0);
    reset_registry();
    return c;
}

inline conversion convert(const std::string& content, item_list items = {}, int threads = -1,
                          std::uint32_t blocksize = 0) {
    temp_file file(content);
    return convert_file(file.path(), std::move(items), threads, blocksize);
}

// The thread numbers every result must be the same for.
constexpr int thread_numbers[] = {0, 1, 2, 4, 8};

#endif
