// The block reader: reading in blocks of any size, tokens kept in place or joined across
// boundaries (with and without a tentative end), the file's bytes still passed once each
// and in order, block lifetimes counted against the tokens that hold them, release from
// another thread, and the recorded failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "md_conf.h"
#include "md_io.h"
#include "md_xml.h"
#include "pipeline_env.h"

namespace {

const auto* const env = ::testing::AddGlobalTestEnvironment(new threaded_runtime);

constexpr std::uint32_t block_sizes[] = {1, 2, 3, 7, 64};

// The run's file opened with a forced block size; closed with the object.
class reader {
public:
    reader(const std::string& content, std::uint32_t blocksize) : file_(content) {
        io_set_blocksize(blocksize);
        EXPECT_TRUE(set_item(xcfg_xmlfilename, {file_.path()}));
        opened_ = io_init();
        EXPECT_TRUE(opened_) << thr_info.th_main.tr_error.text;
        pos = opened_ ? io_get_first_char() : nullptr;
        at_end = pos == nullptr || io_eof_blockinfo(&pos);
    }
    ~reader() {
        EXPECT_TRUE(io_deinit());
        EXPECT_TRUE(glob_deinit());
        io_set_blocksize(0);
    }
    // Moves past the current byte; false at the end of the input.
    bool step() {
        ++pos;
        at_end = io_eof_blockinfo(&pos);
        return !at_end;
    }
    char* pos = nullptr;
    bool at_end = true;

private:
    temp_file file_;
    bool opened_ = false;
};

class Reader : public ::testing::Test {
protected:
    void SetUp() override { reset_registry(); }
    void TearDown() override {
        EXPECT_EQ(io_count_blockinfo(), 0u) << "blocks left after the reader closed";
        reset_registry();
    }
};

// A token to capture: [start, end) of the content; with `trailing`, the blanks before
// `end` are cut off through tentative ends, as the tokenizer does for texts.
struct token_spec {
    std::size_t start;
    std::size_t end;
    bool trailing = false;
    bool disabled = false;
};

// Walks the whole content capturing the tokens, as the tokenizer would. Returns the bytes
// passed, in order; refs receive the tokens.
std::string walk(reader& r, const std::vector<token_spec>& tokens, std::vector<a_strmark>& refs) {
    std::string passed;
    std::size_t index = 0;
    std::size_t next = 0;
    bool open = false;
    refs.assign(tokens.size(), a_strmark{});
    while (!r.at_end) {
        if (!open && next < tokens.size() && index == tokens[next].start) {
            if (tokens[next].disabled) io_disable_markinfo();
            io_start_markinfo(r.pos);
            open = true;
        }
        if (open && index == tokens[next].end) {
            char* resume = io_end_markinfo(&refs[next], r.pos);
            EXPECT_NE(resume, nullptr);
            if (resume == nullptr) return passed;
            r.pos = resume;
            passed += *r.pos;
            *r.pos = '\0';  // the tokenizer's terminator (a tentative end has its own already)
            open = false;
            ++next;
        } else {
            if (open && tokens[next].trailing) {
                if (*r.pos == ' ')
                    io_maybe_markinfo(r.pos);
                else
                    io_maybenot_markinfo();
            }
            passed += *r.pos;
        }
        ++index;
        r.step();
    }
    return passed;
}

// Every live block's count equals the tokens that hold it (the reader holds none at the
// end of the input).
void expect_counts_match(const std::vector<a_strmark>& refs) {
    std::map<a_blockinfo*, int> holds;
    for (const a_strmark& ref : refs)
        if (ref.blk != nullptr) ++holds[ref.blk];
    for (const auto& [block, count] : holds) EXPECT_EQ(block->bi_refs, count);
    EXPECT_EQ(io_count_blockinfo(), holds.size());
}

TEST_F(Reader, EmptyFileEndsAtOnce) {
    reader r("", 0);
    EXPECT_TRUE(r.at_end);
    EXPECT_EQ(xml_file.fi_eof, 1u);
    EXPECT_EQ(xml_file.fi_currblk, nullptr);
    EXPECT_EQ(io_count_blockinfo(), 0u);
}

TEST_F(Reader, FileOfExactlyOneBlock) {
    reader r("abcdefgh", 8);
    std::string passed;
    while (!r.at_end) {
        passed += *r.pos;
        r.step();
    }
    EXPECT_EQ(passed, "abcdefgh");
    EXPECT_EQ(xml_file.fi_blkcount, 2u);  // the second read found nothing
    EXPECT_EQ(io_count_blockinfo(), 0u);
}

TEST_F(Reader, NaturalBlockSizeIsTheFileSystems) {
    reader r("<a/>", 0);
    EXPECT_GE(xml_file.fi_blocksz, 512u);
    EXPECT_EQ(std::string(r.pos, 4), "<a/>");
}

TEST_F(Reader, TokensComeBackWholeAtEveryBlockSize) {
    const std::string content = "0123456789abcdefghijklmnopqrstuvwxyz";
    // In one block, across one boundary, across several blocks, one byte, an empty one.
    const std::vector<token_spec> tokens = {{1, 3}, {5, 14}, {15, 16}, {17, 17}, {20, 35}};
    for (std::uint32_t size : block_sizes) {
        SCOPED_TRACE("block size " + std::to_string(size));
        std::vector<a_strmark> refs;
        {
            reader r(content, size);
            EXPECT_EQ(walk(r, tokens, refs), content);
            for (std::size_t i = 0; i < tokens.size(); ++i)
                EXPECT_STREQ(refs[i].str, content.substr(tokens[i].start, tokens[i].end - tokens[i].start).c_str());
            expect_counts_match(refs);
            for (a_strmark& ref : refs) io_free_markinfo(&ref);
            EXPECT_EQ(io_count_blockinfo(), 0u);
        }
    }
}

TEST_F(Reader, TrailingBlanksEndAtTheFirstOfThem) {
    const std::string content = "x ab  cd   <y ef   <";
    const std::vector<token_spec> tokens = {{2, 11, true}, {14, 19, true}};
    for (std::uint32_t size : block_sizes) {
        SCOPED_TRACE("block size " + std::to_string(size));
        std::vector<a_strmark> refs;
        reader r(content, size);
        EXPECT_EQ(walk(r, tokens, refs), content);
        EXPECT_STREQ(refs[0].str, "ab  cd");
        EXPECT_STREQ(refs[1].str, "ef");
        expect_counts_match(refs);
        for (a_strmark& ref : refs) io_free_markinfo(&ref);
    }
}

TEST_F(Reader, DisabledTokenHoldsNoBlock) {
    for (std::uint32_t size : {2u, 64u}) {
        reader r("ab cdefg hi", size);
        std::vector<a_strmark> refs;
        EXPECT_EQ(walk(r, {{3, 8, false, true}, {9, 10}}, refs), "ab cdefg hi");
        EXPECT_EQ(refs[0].blk, nullptr);
        ASSERT_NE(refs[1].blk, nullptr);
        expect_counts_match(refs);
        io_free_markinfo(&refs[1]);
    }
}

TEST_F(Reader, BlockGoesWhenItsLastTokenIsReleased) {
    std::vector<a_strmark> refs;
    reader r("ab cd ef gh", 8);  // "ab cd ef" in the first block
    EXPECT_EQ(walk(r, {{0, 2}, {3, 5}}, refs), "ab cd ef gh");
    EXPECT_EQ(refs[0].blk, refs[1].blk);
    EXPECT_EQ(io_count_blockinfo(), 1u);  // the reader has passed it; two tokens keep it
    io_free_markinfo(&refs[0]);
    EXPECT_EQ(refs[0].str, nullptr);
    EXPECT_EQ(io_count_blockinfo(), 1u);
    EXPECT_STREQ(refs[1].str, "cd");
    io_free_markinfo(&refs[1]);
    EXPECT_EQ(io_count_blockinfo(), 0u);
    io_free_markinfo(&refs[1]);  // a released reference is empty: nothing happens
}

TEST_F(Reader, ReaderKeepsOnlyWhatItNeeds) {
    reader r(std::string(100, 'x'), 4);
    // Without tokens the reader holds just the block it is in.
    for (int i = 0; i < 50; ++i) r.step();
    EXPECT_EQ(io_count_blockinfo(), 1u);
    // An open token keeps every block from its start on.
    io_start_markinfo(r.pos);
    for (int i = 0; i < 20; ++i) r.step();
    EXPECT_EQ(io_count_blockinfo(), 6u);
    io_cancel_markinfo();
    EXPECT_EQ(io_count_blockinfo(), 1u);
    // A token left open at the end of the input is dropped with its blocks.
    io_start_markinfo(r.pos);
    while (r.step()) {
    }
    EXPECT_EQ(io_count_blockinfo(), 0u);
    EXPECT_EQ(mark_info.mi_startblk, nullptr);
}

TEST_F(Reader, RandomTokensKeepCountsExact) {
    std::mt19937 rng(11);
    std::string content;
    for (int i = 0; i < 400; ++i) content += static_cast<char>(i % 7 == 0 ? ' ' : 'a' + rng() % 26);
    for (std::uint32_t size : block_sizes) {
        SCOPED_TRACE("block size " + std::to_string(size));
        std::vector<token_spec> tokens;
        std::size_t at = 0;
        while (true) {
            const std::size_t start = at + rng() % 5;
            const std::size_t end = start + rng() % 23;
            if (end >= content.size()) break;
            tokens.push_back({start, end, rng() % 3 == 0, rng() % 5 == 0});
            at = end + 1;
        }
        std::vector<a_strmark> refs;
        reader r(content, size);
        EXPECT_EQ(walk(r, tokens, refs), content);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (tokens[i].disabled) continue;
            std::string want = content.substr(tokens[i].start, tokens[i].end - tokens[i].start);
            if (tokens[i].trailing) {
                const std::size_t last = want.find_last_not_of(' ');
                want = last == std::string::npos ? want.substr(0, want.find(' ')) : want.substr(0, last + 1);
            }
            EXPECT_STREQ(refs[i].str, want.c_str()) << i;
        }
        expect_counts_match(refs);
        // Released in a scattered order, every block goes with its last token.
        std::shuffle(refs.begin(), refs.end(), rng);
        for (a_strmark& ref : refs) io_free_markinfo(&ref);
        EXPECT_EQ(io_count_blockinfo(), 0u);
    }
}

TEST_F(Reader, TokensReleasedOnAnotherThreadWhileReading) {
    std::string content;
    for (int i = 0; i < 20000; ++i) content += "tok" + std::to_string(i) + " ";
    std::mutex lock;
    std::condition_variable ready;
    std::deque<a_strmark> queue;
    bool finished = false;
    std::thread releaser([&] {
        for (;;) {
            std::unique_lock<std::mutex> g(lock);
            ready.wait(g, [&] { return !queue.empty() || finished; });
            if (queue.empty()) return;
            a_strmark ref = queue.front();
            queue.pop_front();
            g.unlock();
            io_free_markinfo(&ref);
        }
    });
    {
        reader r(content, 7);
        bool open = false;
        while (!r.at_end) {
            if (*r.pos == ' ' && open) {
                a_strmark ref{};
                r.pos = io_end_markinfo(&ref, r.pos);
                *r.pos = '\0';
                open = false;
                std::lock_guard<std::mutex> g(lock);
                queue.push_back(ref);
                ready.notify_one();
            } else if (*r.pos != ' ' && !open) {
                io_start_markinfo(r.pos);
                open = true;
            }
            r.step();
        }
        {
            std::lock_guard<std::mutex> g(lock);
            finished = true;
            ready.notify_one();
        }
        releaser.join();
        EXPECT_EQ(io_count_blockinfo(), 0u);
    }
    EXPECT_EQ(thr_info.th_main.tr_error.code, 0u) << thr_info.th_main.tr_error.text;
}

TEST_F(Reader, ShortReadsAreNoEndOfFile) {
    // A pipe hands over what its writer has written so far: blocks fill over several reads.
    const fs::path fifo = fs::temp_directory_path() / ("measdoc-fifo-" + std::to_string(getpid()));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string content;
    for (int i = 0; i < 300; ++i) content += "<v>" + std::to_string(i) + "</v>";
    std::thread writer([&] {
        std::FILE* out = std::fopen(fifo.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        for (std::size_t at = 0; at < content.size(); at += 5) {
            std::fwrite(content.data() + at, 1, std::min<std::size_t>(5, content.size() - at), out);
            std::fflush(out);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::fclose(out);
    });
    io_set_blocksize(64);
    ASSERT_TRUE(set_item(xcfg_xmlfilename, {fifo.string()}));
    ASSERT_TRUE(io_init());
    char* pos = io_get_first_char();
    std::string passed;
    for (bool end = io_eof_blockinfo(&pos); !end; end = io_eof_blockinfo(&++pos)) passed += *pos;
    writer.join();
    EXPECT_EQ(passed, content);
    EXPECT_TRUE(io_deinit());
    EXPECT_TRUE(glob_deinit());
    io_set_blocksize(0);
    fs::remove(fifo);
}

TEST_F(Reader, FailuresAreRecorded) {
    // No file name configured.
    EXPECT_FALSE(io_init());
    EXPECT_EQ(without_lines(main_text()), "ERROR: global - requested configuration is invalid [29] [0] "
                                          "[glob_get_string - conf.cpp:N] [glob_get_string - io.cpp:N] ");
    reset_registry();

    ASSERT_TRUE(set_item(xcfg_xmlfilename, {"/nonexistent/measdoc/input.xml"}));
    EXPECT_FALSE(io_init());
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - No such file or directory] [open - io.cpp:N] ");
    EXPECT_TRUE(glob_deinit());
    reset_registry();

    // A directory opens but cannot be read: nothing is left open.
    ASSERT_TRUE(set_item(xcfg_xmlfilename, {fs::temp_directory_path().string()}));
    EXPECT_FALSE(io_init());
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Is a directory] [read - io.cpp:N] [io_read_blockinfo - io.cpp:N] ");
    EXPECT_EQ(io_count_blockinfo(), 0u);
    EXPECT_TRUE(glob_deinit());
    reset_registry();
}

TEST_F(Reader, MisuseIsRecorded) {
    reader r("abcdef", 2);
    a_strmark ref{};
    EXPECT_EQ(io_end_markinfo(&ref, r.pos), nullptr);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: io - start marker not set prior to end marker call [0] [io_end_markinfo - io.cpp:N] ");
    reset_registry();
    r.step();
    r.step();
    EXPECT_EQ(io_get_first_char(), nullptr);  // the reader has left the first block
    EXPECT_EQ(main_code(), static_cast<std::uint32_t>(ERR_CONDITION));
    reset_registry();
}

TEST_F(Reader, NoMemoryForAJoinedBlock) {
    reader r("abcdefgh", 2);
    io_start_markinfo(r.pos);
    for (int i = 0; i < 5; ++i) r.step();
    mem_set_sysfault(1);
    a_strmark ref{};
    EXPECT_EQ(io_end_markinfo(&ref, r.pos), nullptr);
    mem_set_sysfault(0);
    EXPECT_EQ(without_lines(main_text()),
              "ERROR: system error [error desc - Cannot allocate memory] [mem_sysmalloc - io.cpp:N] "
              "[io_new_blockinfo - io.cpp:N] ");
    EXPECT_EQ(ref.str, nullptr);
    EXPECT_EQ(io_count_blockinfo(), 1u);  // the mark is closed: only the current block stays
    reset_registry();
}

}  // namespace
