// The output line buffer: field joining, overflow of long lines, save and restore, and
// that write failures and older files never pass for a good output file.
#include <gtest/gtest.h>

#include <string>

#include "logmsg.h"
#include "output.h"
#include "test_support.h"

using test_support::path_of;
using test_support::read_file;

namespace {

void write_line() {
    OutputWriteToFile();
    OutputStoreInit();
}

TEST(OutputBuffer, JoinsFieldsWithEmptyOnes) {
    const std::string path = path_of("join.pif");
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    OutputData("a");
    OutputData("");
    OutputData("b");
    write_line();
    OutputData("");
    OutputData("last-empty");
    OutputData("");
    write_line();
    write_line();  // empty line: nothing
    OutputData("");
    write_line();  // a single empty field has no text either
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path), "a||b\n|last-empty|\n");
}

TEST(OutputBuffer, LongLineReachesTheFileWhole) {
    const std::string path = path_of("long.pif");
    const std::string log = path_of("long.log");
    logopen(log, LOG_PROGRESS);
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string field = "f" + std::to_string(100000000 + i);  // 10 characters
        OutputData(field);
        expected += (i ? "|" : "") + field;
    }
    ASSERT_EQ(expected.size(), 21999u);
    write_line();
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path), expected + "\n");
    EXPECT_EQ(test_support::count_lines_with(log, "Output: Unrequested write to file of the output buffer, due to overflow"), 1);
    logopen("", LOG_ERROR);
}

TEST(OutputBuffer, ThousandsOfEmptyFieldsStayInsideTheBuffer) {
    const std::string path = path_of("empty-fields.pif");
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    for (int i = 0; i < 20000; ++i) OutputData("");
    OutputData("end");
    write_line();
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path), std::string(20000, '|') + "end\n");
}

TEST(OutputBuffer, HugeFieldKeepsItsPlaceAmongLines) {
    const std::string path = path_of("huge.pif");
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    std::string expected;
    for (int i = 0; i < 3000; ++i) {  // enough lines to be written out before the huge one
        OutputData("line" + std::to_string(i));
        write_line();
        expected += "line" + std::to_string(i) + "\n";
    }
    const std::string huge(100000, 'x');
    OutputData("a");
    OutputData(huge);
    OutputData("b");
    write_line();
    expected += "a|" + huge + "|b\n";
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path), expected);
}

TEST(OutputBuffer, FieldLongerThanTheBufferReachesTheFileWhole) {
    // A header value of a megabyte (a network id, say) goes around the buffer.
    const std::string path = path_of("huge-field.pif");
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    const std::string huge(1 << 20, 'n');
    OutputData("a");
    OutputData(huge);
    OutputData("b");
    write_line();
    OutputData(huge);
    write_line();
    OutputData("c");
    OutputData(huge);
    write_line();
    EXPECT_EQ(OutputCloseFile(), 1);
    // Compared whole, but not printed: a megabyte would drown the report.
    const std::string expected = "a|" + huge + "|b\n" + huge + "\nc|" + huge + "\n";
    const std::string got = read_file(path);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "the lines differ";
}

TEST(OutputBuffer, StoreAndRestoreAHalfLine) {
    OutputStoreInit();
    OutputData("a1");
    OutputStore();
    OutputData("b1");
    EXPECT_EQ(OutputLine(), "a1|b1");
    OutputRestore();
    EXPECT_EQ(OutputLine(), "a1");
    OutputData("b2");
    EXPECT_EQ(OutputLine(), "a1|b2");
    OutputStoreInit();
    OutputRestore();
    EXPECT_EQ(OutputLine(), "") << "StoreInit empties the saved copy too";
}

TEST(OutputFile, ReplacesALongerOlderFile) {
    const std::string path = path_of("replace.pif");
    test_support::write_file(path, std::string(5000, 'x'));
    ASSERT_EQ(OutputOpenFile(path.c_str()), 1);
    OutputStoreInit();
    OutputData("new");
    write_line();
    EXPECT_EQ(OutputCloseFile(), 1);
    EXPECT_EQ(read_file(path), "new\n");
}

TEST(OutputFile, WriteFailureIsReportedAtClose) {
    ASSERT_EQ(OutputOpenFile("/dev/full"), 1);
    OutputStoreInit();
    for (int i = 0; i < 1000; ++i) {
        OutputData(std::string(100, 'v'));
        write_line();
    }
    EXPECT_EQ(OutputCloseFile(), 0);
}

TEST(OutputFile, BadNames) {
    const std::string log = path_of("names.log");
    logopen(log, LOG_ERROR);
    EXPECT_EQ(OutputOpenFile(nullptr), 0);
    EXPECT_EQ(OutputOpenFile(""), 0);
    EXPECT_EQ(OutputOpenFile(path_of("no/such/dir/x.pif").c_str()), 0);
    EXPECT_EQ(test_support::count_lines_with(log, "Output: No filename supplied"), 2);
    EXPECT_EQ(test_support::count_lines_with(log, "Output: Can't open the file '" + path_of("no/such/dir/x.pif") +
                                                      "' for writting"), 1);
    EXPECT_EQ(OutputCloseFile(), 0) << "nothing open";
    logopen("", LOG_ERROR);
}

}  // namespace
