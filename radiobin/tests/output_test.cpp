// The output line buffer (field joining, lines and fields longer than the buffer, save and
// restore, write failures never passing for a good output file) and the counter decoder's
// limits on blocks the record walk cannot produce from a well-framed file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config.h"
#include "counters.h"
#include "logmsg.h"
#include "output.h"

namespace {

// A path in a private scratch directory, removed at exit.
std::string path_of(const std::string& name) {
    static const struct scratch {
        std::string dir = (std::filesystem::temp_directory_path() / "radiobin_test_XXXXXX").string();
        scratch() { EXPECT_TRUE(mkdtemp(dir.data())); }
        ~scratch() { std::filesystem::remove_all(dir); }
    } s;
    return s.dir + "/" + name;
}

std::string read_file(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

using line = std::vector<std::string>;

// Writes the lines through the buffer into the file; returns its text, or "failed".
std::string written(const std::vector<line>& lines, const std::string& path = path_of("out.pif")) {
    if (OutputOpenFile(path.c_str()) != 1) return "failed";
    for (const line& fields : lines) {
        OutputStoreInit();
        for (const std::string& f : fields) OutputData(f);
        OutputWriteToFile();
    }
    return OutputCloseFile() == 1 ? read_file(path) : "failed";
}

TEST(OutputBuffer, LinesReachTheFileWhole) {
    line wide(2000, "0123456789"), empties(20000, "");
    empties.push_back("end");
    std::string wide_text = "0123456789";
    for (int i = 1; i < 2000; ++i) wide_text += "|0123456789";
    std::vector<line> many;
    std::string many_text;
    for (int i = 0; i < 3000; ++i) many_text += (many.emplace_back(line{"line" + std::to_string(i)}))[0] + "\n";
    const std::string huge(100000, 'x'), mega(1 << 20, 'n');
    many.push_back({"a", huge, "b"});
    const std::pair<std::vector<line>, std::string> cases[] = {
        {{{"a", "", "b"}, {"", "last-empty", ""}, {}, {""}}, "a||b\n|last-empty|\n"},  // an empty line has no text
        {{wide}, wide_text + "\n"},
        {{empties}, std::string(20000, '|') + "end\n"},
        {many, many_text + "a|" + huge + "|b\n"},
        {{{"a", mega, "b"}, {mega}, {"c", mega}}, "a|" + mega + "|b\n" + mega + "\nc|" + mega + "\n"},
    };
    const std::string log = path_of("overflow.log");
    logopen(log, LOG_PROGRESS);
    for (const auto& [lines, want] : cases) {
        const std::string got = written(lines);
        EXPECT_TRUE(got == want) << got.size() << " octets, not " << want.size();  // megabytes: not printed
    }
    logopen("", LOG_ERROR);
    EXPECT_NE(read_file(log).find("Output: Unrequested write to file of the output buffer, due to overflow"),
              std::string::npos);
}

TEST(OutputBuffer, StoreRestoresAHalfLine) {
    OutputStoreInit();
    OutputData("a1");
    OutputStore();
    OutputData("b1");
    EXPECT_EQ(OutputLine(), "a1|b1");
    OutputRestore();
    OutputData("b2");
    EXPECT_EQ(OutputLine(), "a1|b2");
    OutputStoreInit();
    OutputRestore();
    EXPECT_EQ(OutputLine(), "") << "StoreInit empties the saved copy too";
}

TEST(OutputFile, FailuresNeverPassForAGoodFile) {
    EXPECT_EQ(written(std::vector<line>(1000, line{std::string(100, 'v')}), "/dev/full"), "failed");
    const std::string log = path_of("names.log");
    logopen(log, LOG_ERROR);
    EXPECT_EQ(OutputOpenFile(nullptr) + OutputOpenFile("") + OutputOpenFile(path_of("no/dir/x.pif").c_str()), 0);
    EXPECT_EQ(OutputCloseFile(), 0) << "nothing open";
    logopen("", LOG_ERROR);
    const std::string said = read_file(log);
    EXPECT_NE(said.find("Output: No filename supplied"), std::string::npos) << said;
    EXPECT_NE(said.find("Output: Can't open the file '" + path_of("no/dir/x.pif") + "' for writting"), std::string::npos);
}

// ---- counters at the edges of a block ----

// A block of counters (name, size, offset, repeat, count), each chained before the ones
// given before it, as the reader chains them.
block_details block_of(std::uint16_t number, std::initializer_list<std::tuple<const char*, int, int, int, int>> list) {
    block_details block;
    block.block_num = number;
    for (const auto& [name, size, offset, repeat, count] : list) {
        counter_details& c = block.counters.emplace_front();
        c.name = name;
        c.size = std::uint8_t(size);
        c.offset = std::uint16_t(offset);
        c.repeat = repeat;
        c.repeat_count = std::uint16_t(count);
    }
    return block;
}

TEST(PrintCounters, BlockEdges) {
    const struct {
        block_details block;
        std::vector<std::uint8_t> record;
        std::size_t start;
        int length, result;
        const char* line;
    } cases[] = {
        // A group of length 0 in an empty block fails.
        {block_of(77, {{"GA", 1, 0, REPEAT_FIRST, 0}, {"GEND", 1, 0, REPEAT_LAST, 3}}), std::vector<std::uint8_t>(16, 1),
         6, 0, -1, ""},
        // Data starting past the record reads no byte.
        {block_of(79, {{"A", 1, 0, REPEAT_NONE, 0}}), std::vector<std::uint8_t>(8, 7), 6, 5, 0, ""},
    };
    for (const auto& c : cases) {
        OutputStoreInit();
        EXPECT_EQ(print_cntrs(c.block, c.start, c.length, 4, c.record), c.result) << c.block.block_num;
        EXPECT_EQ(OutputLine(), c.line) << c.block.block_num;
    }

    // One repetition is 2 bytes long, but G1 stands 3 bytes into it: in a 7-byte block the
    // last repetition is cut short at G1, after GEND of that pass went to row 3. A cell the
    // block did not write must be empty, not the earlier block's value.
    const block_details group = block_of(80, {{"G1", 1, 3, REPEAT_FIRST, 0}, {"GEND", 1, 2, REPEAT_LAST, 3}});
    const std::vector<std::uint8_t> record{0, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17};
    ASSERT_EQ(OutputOpenFile(path_of("groups.pif").c_str()), 1);
    OutputStoreInit();
    EXPECT_EQ(print_cntrs(group, 0, 8, 4, record) + print_cntrs(group, 0, 7, 4, record), 0);
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path_of("groups.pif")), "16|17\n14|15\n12|13\n|16\n12|13\n");
}

}  // namespace
