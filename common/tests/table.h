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

// TEXT with its escapes turned into the characters they stand for, for tables whose
// fields hold what a line cannot: "\n", "\t", "\v", "\0" and "\xNN" (two hex digits, for
// octets that are no text and a blank that ends the line). Every other backslash stands
// for itself, so patterns such as "\d" need none.
inline std::string unescaped(const std::string& text) {
    constexpr std::size_t hex_digits = 2;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '\\') {
            out += text[i];
        } else if (next == 'x' && i + 2 + hex_digits <= text.size()) {
            out += static_cast<char>(std::stoul(text.substr(i + 2, hex_digits), nullptr, 16));
            i += 1 + hex_digits;
        } else if (next == 'n' || next == 't' || next == 'v' || next == '0') {
            out += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'v' ? '\v' : '\0';
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
