// Fuzz target for BerMeas's configured patterns: a pattern and a text go through
// posix_pattern (with its shortcuts: literal conditions, the matcher of simple patterns)
// and through the C library's matcher alone; any difference in the answer or in a group
// boundary aborts. Input: the pattern, a line feed, the text (the rest). Patterns with
// back-references, counted or stacked repetition ("a++++"), and long ones, are left
// out: the library's compiler and matcher themselves may take exponential time and
// memory on them, which says nothing about the shortcuts.
#include <regex.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    if (split == std::string::npos) return 0;
    const std::string pattern = input.substr(0, split);
    std::string text = input.substr(split + 1);
    text = text.substr(0, text.find('\0'));
    if (pattern.find('\0') != std::string::npos || pattern.size() > 48 || text.size() > 64) return 0;
    if (pattern.find('{') != std::string::npos) return 0;
    const auto repeats = [](char c) { return c == '*' || c == '+' || c == '?'; };
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '\\' && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') return 0;
        if (repeats(pattern[i]) && repeats(pattern[i + 1])) return 0;
    }

    regex_t plain;
    const bool compiles = regcomp(&plain, pattern.c_str(), REG_EXTENDED) == 0;
    posix_pattern fast;
    if (fast.compile(pattern) != compiles) std::abort();
    if (!compiles) return 0;
    std::array<regmatch_t, 10> want{}, got{};
    const bool expected = regexec(&plain, text.c_str(), want.size(), want.data(), 0) == 0;
    regfree(&plain);
    if (fast.search(text.c_str(), got) != expected) std::abort();
    if (expected) {
        for (std::size_t i = 0; i < want.size(); ++i) {
            if (got[i].rm_so != want[i].rm_so || got[i].rm_eo != want[i].rm_eo) std::abort();
        }
    }
    return 0;
}
