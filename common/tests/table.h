// Case tables of the unit tests: files under a test directory's expected/, one case a
// line, fields separated by " | ", lines starting with "#" and empty lines skipped. The
// cases themselves are data; the test holds only what it does with each.
#ifndef PM_TEST_TABLE_H
#define PM_TEST_TABLE_H

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace test_table {

using row = std::vector<std::string>;

// The rows of expected/NAME; none when the file cannot be read (the caller's count check
// then fails).
inline std::vector<row> read(const std::string& name) {
    std::ifstream in(std::string(PM_TEST_EXPECTED) + "/" + name);
    std::vector<row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        row fields;
        for (std::size_t at = 0;;) {
            const std::size_t bar = line.find(" | ", at);
            fields.push_back(line.substr(at, bar - at));
            if (bar == std::string::npos) break;
            at = bar + 3;
        }
        rows.push_back(fields);
    }
    return rows;
}

// TEXT with "\n" and "\t" turned into a newline and a tab, for tables whose fields hold
// them; every other backslash stands for itself.
inline std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '\\' && (next == 'n' || next == 't')) {
            out += next == 'n' ? '\n' : '\t';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Octets written as hex digits, blanks between them ignored.
inline std::vector<std::uint8_t> octets(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = hex.find_first_not_of(' '); i < hex.size(); i = hex.find_first_not_of(' ', i + 2))
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace test_table

#endif
