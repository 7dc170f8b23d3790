// util: pattern conversion and POSIX pattern matching for the configured expressions,
// and the module's log file "bermeas.log". Used by the object map (objmap) and the
// conversion run (parser).
#ifndef PM_BERMEAS_UTIL_H
#define PM_BERMEAS_UTIL_H

#include <regex.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data.h"
#include "fastmatch.h"

// Capacity that configured patterns are converted into, terminator included.
inline constexpr std::size_t pattern_buffer_size = 1024;

// The configured pattern `src` rewritten for the POSIX extended matcher: cut to size - 1
// characters, enclosing single quotes removed, then each \d replaced by [0-9] and each \w
// by [A-Za-z0-9_] for as long as the result still fits size - 1 characters. Any other
// escape is left as written. An empty `src` or a `size` of 0 gives an empty text.
std::string convert_regex_pattern(std::string_view src, std::size_t size = pattern_buffer_size);

// One compiled POSIX extended regular expression, released with the object.
class posix_pattern {
public:
    posix_pattern() = default;
    posix_pattern(const posix_pattern&) = delete;
    posix_pattern& operator=(const posix_pattern&) = delete;
    ~posix_pattern();

    // Compiles `pattern` (REG_EXTENDED). Returns false, leaving nothing compiled, when it
    // does not compile or holds a NUL.
    bool compile(std::string_view pattern);
    // Unanchored search of `text`; `groups` receives the match (slot 0) and its groups.
    // False when nothing is compiled or nothing matches.
    bool search(const char* text, std::span<regmatch_t> groups) const;

private:
    regex_t re_{};
    bool compiled_ = false;
    // Asked before the library's matcher, which costs microseconds per text: a simple
    // pattern answers for itself, and a text lacking a required literal cannot match
    // (most texts fail most of the object map's patterns that way).
    std::unique_ptr<simple_pattern> simple_;
    std::vector<literal_condition> required_;
};

// A compiled pattern, or NULL when it does not compile (or the heap is exhausted).
std::unique_ptr<posix_pattern> compile_pattern(std::string_view pattern);

// Why the configured pattern `configured`, rewritten as a conversion rewrites it, does not
// compile: the C library's own words, or "it holds a NUL character". Empty when it
// compiles. Lets a host refuse a configuration whose pattern a conversion would drop.
std::string pattern_error(std::string_view configured);

// Text of group `i` of a match of `text`; empty when the group did not take part.
std::string_view group_text(const char* text, const regmatch_t& group);

// ---- log ----
// Messages at these levels; a message is written when its level is at most the level the
// log was opened with.
inline constexpr unsigned log_error = 1;
inline constexpr unsigned log_refused = 2;
inline constexpr unsigned log_progress = 3;

// Opens "bermeas.log" in the working directory for appending. When it cannot be opened
// messages are dropped; nothing else changes.
void log_init(unsigned level);
// One line: "[pid] ctime-text level:msglevel " then the message and a line feed.
void log_message(unsigned level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Closes the log; a closed log drops messages.
void log_finalise();

// Closes the log when the conversion that opened it leaves, by whatever path.
struct log_session {
    explicit log_session(unsigned level) { log_init(level); }
    log_session(const log_session&) = delete;
    log_session& operator=(const log_session&) = delete;
    ~log_session() { log_finalise(); }
};

#endif
