// util: pattern conversion, POSIX patterns and the log file. The configuration's patterns
// pass through convert_regex_pattern before the object map (objmap) or the conversion run
// (parser) compiles them; every unit of a conversion logs through log_message.
#include "util.h"

#include <unistd.h>

#include <cstdarg>
#include <ctime>

#include "pmalloc.h"

namespace {

// Replaces each `from` by `to` while the text stays within `limit` characters. The
// search resumes one character after the start of each replacement.
void replace_shorthand(std::string& text, std::string_view from, std::string_view to, std::size_t limit) {
    const std::size_t growth = to.size() - from.size();
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1)) {
        if (text.size() + growth > limit) return;
        text.replace(at, from.size(), to);
    }
}

}  // namespace

std::string convert_regex_pattern(std::string_view src, std::size_t size) {
    if (size == 0 || src.empty()) return {};
    const std::size_t limit = size - 1;
    // The configuration is C text: anything after a NUL is not part of the pattern.
    src = src.substr(0, src.find('\0'));
    std::string text(src.substr(0, limit));
    if (!text.empty() && text.front() == '\'') text.erase(0, 1);
    if (!text.empty() && text.back() == '\'') text.pop_back();
    replace_shorthand(text, "\\d", "[0-9]", limit);
    replace_shorthand(text, "\\w", "[A-Za-z0-9_]", limit);
    return text;
}

posix_pattern::~posix_pattern() {
    if (compiled_) regfree(&re_);
}

bool posix_pattern::compile(std::string_view pattern) {
    if (compiled_) {
        regfree(&re_);
        compiled_ = false;
    }
    if (pattern.find('\0') != std::string_view::npos) return false;
    const std::string text(pattern);
    compiled_ = regcomp(&re_, text.c_str(), REG_EXTENDED) == 0;
    simple_.reset();
    required_.clear();
    if (compiled_) {
        simple_ = simple_pattern::make(pattern);
        required_ = pattern_required_literals(pattern);
    }
    return compiled_;
}

bool posix_pattern::search(const char* text, std::span<regmatch_t> groups) const {
    if (!compiled_ || !text) return false;
    const std::string_view subject(text);
    if (!meets_literal_conditions(subject, required_)) return false;
    if (simple_) {
        bool decided = false;
        const bool found = simple_->search(subject, groups, decided);
        if (decided) return found;
    }
    return regexec(&re_, text, groups.size(), groups.data(), 0) == 0;
}

std::unique_ptr<posix_pattern> compile_pattern(std::string_view pattern) {
    auto compiled = pm_new<posix_pattern>();
    if (!compiled || !compiled->compile(pattern)) return nullptr;
    return compiled;
}

std::string pattern_error(std::string_view configured) {
    const std::string pattern = convert_regex_pattern(configured);
    if (pattern.find('\0') != std::string::npos) return "it holds a NUL character";
    regex_t re;
    const int code = regcomp(&re, pattern.c_str(), REG_EXTENDED);
    if (code == 0) {
        regfree(&re);
        return {};
    }
    std::string reason(regerror(code, &re, nullptr, 0), '\0');
    regerror(code, &re, reason.data(), reason.size());
    reason.pop_back();  // the terminator regerror counts
    return reason;
}

std::string_view group_text(const char* text, const regmatch_t& group) {
    if (group.rm_so < 0 || group.rm_eo < group.rm_so) return {};
    return std::string_view(text + group.rm_so, static_cast<std::size_t>(group.rm_eo - group.rm_so));
}

// ---- log ----

namespace {

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

struct logger {
    std::unique_ptr<std::FILE, file_closer> stream;
    unsigned level = 0;
};

logger g_logger;

constexpr const char* log_file_name = "bermeas.log";

}  // namespace

void log_init(unsigned level) {
    g_logger.stream.reset(std::fopen(log_file_name, "ab"));
    g_logger.level = level;
}

void log_message(unsigned level, const char* format, ...) {
    std::FILE* out = g_logger.stream.get();
    if (!out || !format || !*format || level > g_logger.level) return;
    const std::time_t now = std::time(nullptr);
    char when[64] = "";
    if (!ctime_r(&now, when)) when[0] = '\0';
    for (char* c = when; *c; ++c) {
        if (*c == '\n') {
            *c = '\0';
            break;
        }
    }
    std::fprintf(out, "[%d] %s %u:%u ", static_cast<int>(getpid()), when, g_logger.level, level);
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
}

void log_finalise() { g_logger.stream.reset(); }
