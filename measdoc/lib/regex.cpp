// regex: compiled patterns, combined patterns of a list, matching, substring access and
// template replacement. The configuration compiles at start-up; the parse side executes
// copies of the records on the worker threads.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "md_regex.h"

#include <pcre2.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <type_traits>

#include "md_error.h"
#include "md_memory.h"

static_assert(std::is_same_v<pcre2_code, pcre2_real_code_8>, "the record names the 8-bit code type");

namespace {

// Made by regex_init on the host's thread before any worker exists; read-only afterwards.
pcre2_general_context* general_context = nullptr;
pcre2_compile_context* compile_context = nullptr;

void* pattern_malloc(PCRE2_SIZE size, void*) { return mem_sysmalloc(size); }
void pattern_free(void* ptr, void*) { mem_sysfree(ptr); }

// Match data is per thread and reused: a record is copied freely between threads, so the
// scratch space of a match cannot live in it, and one heap trip per match would put every
// worker behind the heap lock.
struct match_cache {
    pcre2_match_data* data = nullptr;
    std::uint32_t pairs = 0;
    match_cache() = default;
    match_cache(const match_cache&) = delete;
    match_cache& operator=(const match_cache&) = delete;
    ~match_cache() {
        if (data != nullptr) pcre2_match_data_free(data);
    }
};
thread_local match_cache thread_match;

pcre2_match_data* match_data_for(std::uint32_t pairs) {
    if (thread_match.pairs < pairs) {
        if (thread_match.data != nullptr) pcre2_match_data_free(thread_match.data);
        thread_match.data = pcre2_match_data_create(pairs, general_context);
        thread_match.pairs = thread_match.data != nullptr ? pairs : 0;
    }
    return thread_match.data;
}

struct sysfree_deleter {
    void operator()(int* ptr) const { mem_sysfree(ptr); }
};

// A match vector of a pattern's size: on the stack for the usual few groups.
class match_vector {
public:
    explicit match_vector(int size) {
        if (size <= static_cast<int>(local_.size())) {
            data_ = local_.data();
        } else {
            heap_.reset(static_cast<int*>(mem_sysmalloc(sizeof(int) * static_cast<std::size_t>(size))));
            data_ = heap_.get();
        }
    }
    int* get() const { return data_; }

private:
    std::array<int, 96> local_{};
    std::unique_ptr<int, sysfree_deleter> heap_;
    int* data_ = nullptr;
};

void error_text(int errcode, char* buffer, std::size_t size) {
    if (pcre2_get_error_message(errcode, reinterpret_cast<PCRE2_UCHAR*>(buffer), size) < 0 && size > 0) buffer[0] = '\0';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Expands templ into [out, out_end - 1) and terminates it; *truncated tells whether any
// of the expansion did not fit.
char* expand_template(const a_pregex* regex, const char* templ, char* out, char* out_end, bool* truncated) {
    *truncated = false;
    if (out >= out_end) {
        *truncated = templ != nullptr && *templ != '\0';
        return out;
    }
    char* const limit = out_end - 1;
    const char* t = templ;
    while (t != nullptr && *t != '\0') {
        if (*t == '$') {
            ++t;
            if (!is_digit(*t)) continue;
            long item = 0;
            while (is_digit(*t)) {
                if (item <= INT_MAX / 10) item = item * 10 + (*t - '0');
                ++t;
            }
            if (item == 0) continue;
            // A group of the pattern that took part in no match, or matched nothing,
            // stands for the empty text: "(Z)?" is there to be left out.
            if (item >= regex->grx_count && item < regex->grx_size / 3) continue;
            const int length = item < regex->grx_count ? regex_get_pregexlen(regex, static_cast<int>(item)) : 0;
            char* end = regex_get_pregexstr(regex, out, static_cast<int>(limit - out + 1), static_cast<int>(item));
            if (end == nullptr) continue;  // out of range: recorded, produces nothing
            if (end - out < length) *truncated = true;
            out = end;
            continue;
        }
        if (*t == '\\') {
            ++t;
            int value = 0;
            t = regex_get_escape(t, &value);
            // A NUL would cut the result short; sequences that stand for no character
            // (class letters, \c) produce nothing.
            if (value == 0) continue;
            if (out < limit)
                *out++ = static_cast<char>(value);
            else
                *truncated = true;
            continue;
        }
        if (out < limit)
            *out++ = *t;
        else
            *truncated = true;
        ++t;
    }
    *out = '\0';
    return out;
}

}  // namespace

bool regex_init() {
    if (general_context == nullptr) {
        general_context = pcre2_general_context_create(pattern_malloc, pattern_free, nullptr);
        if (general_context == nullptr) {
            error_set_message("pcre2_general_context_create(pattern_malloc, pattern_free, NULL)", ERR_SYSTEM,
                              {err_errno(errno)});
            return false;
        }
    }
    if (compile_context == nullptr) {
        compile_context = pcre2_compile_context_create(general_context);
        if (compile_context == nullptr) {
            error_set_message("pcre2_compile_context_create(general_context)", ERR_SYSTEM, {err_errno(errno)});
            return false;
        }
    }
    return true;
}

bool regex_deinit() {
    pcre2_compile_context_free(compile_context);
    compile_context = nullptr;
    pcre2_general_context_free(general_context);
    general_context = nullptr;
    return true;
}

int regex_count_subexpression(const char* pattern) {
    int groups = 0;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (p[1] == '\0') break;
            ++p;
        } else if (*p == '(' && groups < INT_MAX / 3 - 1) {
            ++groups;
        }
    }
    return 3 * (1 + groups);
}

bool regex_compile_pregex(a_pregex** list, const char* pattern, const char* replacement) {
    if (pattern == nullptr) {
        error_set_message("regex_compile_pregex", ERR_REGEX_NOPATTERN);
        return false;
    }
    if (list == nullptr) {
        error_set_message("list == NULL", ERR_CONDITION);
        return false;
    }
    int errcode = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &errcode,
                                     &offset, compile_context);
    if (code == nullptr) {
        char estr[256];
        error_text(errcode, estr, sizeof estr);
        error_set_message("pcre2_compile(pattern, PCRE2_ZERO_TERMINATED, 0, &errcode, &offset, NULL)",
                          ERR_REGEX_COMPILE,
                          {err_str(pattern), err_pcreoff(static_cast<long long>(offset)), err_pcrestr(estr)});
        return false;
    }
    auto* regex = static_cast<a_pregex*>(mem_sysmalloc(sizeof(a_pregex)));
    if (regex == nullptr) {
        error_set_message("(a_pregex_ptr)mem_sysmalloc(sizeof(a_pregex))", ERR_SYSTEM, {err_errno(errno)});
        pcre2_code_free(code);
        return false;
    }
    *regex = a_pregex{};
    regex->grx_size = regex_count_subexpression(pattern);
    regex->grx_pattern = pattern;
    regex->grx_replace = replacement;
    regex->grx_code = code;
    regex->grx_older = *list;
    if (*list != nullptr) (*list)->grx_newer = regex;

    // Machine code is only a speed-up: without it the pattern is interpreted.
    std::uint32_t jit_available = 0;
    if (pcre2_config(PCRE2_CONFIG_JIT, &jit_available) >= 0 && jit_available != 0) {
        const int rc = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
        if (rc == 0) {
            regex->grx_jit = 1;
        } else {
            char estr[256];
            error_text(rc, estr, sizeof estr);
            error_set_message("pcre2_jit_compile(code, PCRE2_JIT_COMPLETE)", ERR_REGEX_STUDY,
                              {err_str(pattern), err_pcrestr(estr)});
            error_clear_message(ERR_REGEX_STUDY, true);
        }
    }
    *list = regex;
    return true;
}

void regex_destroy_pregex(a_pregex* regex) {
    if (regex == nullptr) return;
    pcre2_code_free(regex->grx_code);
    mem_sysfree(regex->grx_metatext);
    mem_sysfree(regex);
}

a_pregex* regex_meta_pregex(a_pregex* newest) {
    if (newest == nullptr || newest->grx_newer != nullptr) {
        error_set_message("regex_meta_pregex", ERR_REGEX_INTERNAL);
        return nullptr;
    }
    std::size_t length = 1;
    for (const a_pregex* p = newest; p != nullptr; p = p->grx_older) length += std::strlen(p->grx_pattern) + 3;
    auto* text = static_cast<char*>(mem_sysmalloc(length));
    if (text == nullptr) {
        error_set_message("(a_str)mem_sysmalloc(sizeof(a_char)*length)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    // Each pattern becomes one group; its own parentheses go so that group i still names
    // pattern i-1.
    char* out = text;
    for (const a_pregex* p = newest; p != nullptr; p = p->grx_older) {
        *out++ = '(';
        bool in_class = false;
        for (const char* s = p->grx_pattern; *s != '\0'; ++s) {
            if (*s == '\\') {
                *out++ = *s;
                if (s[1] != '\0') *out++ = *++s;
                continue;
            }
            if (in_class) {
                if (*s == ']') in_class = false;
            } else if (*s == '[') {
                in_class = true;
            } else if (*s == '(' || *s == ')') {
                continue;
            }
            *out++ = *s;
        }
        *out++ = ')';
        *out++ = '|';
    }
    out[-1] = '\0';

    a_pregex* meta_regex = nullptr;
    if (!regex_compile_pregex(&meta_regex, text, nullptr)) {
        error_set_message("regex_compile_pregex(&meta_regex, pattern, NULL)", ERR_NULL);
        mem_sysfree(text);
        return nullptr;
    }
    meta_regex->grx_metatext = text;
    newest->grx_newer = meta_regex;
    meta_regex->grx_older = newest;
    return meta_regex;
}

bool regex_exec_pregex(a_pregex* regex, int* vector, const char* subject) {
    if (regex == nullptr || vector == nullptr || subject == nullptr || regex->grx_code == nullptr) return false;
    const int pairs = regex->grx_size / 3;
    const std::size_t length = std::strlen(subject);
    if (length > static_cast<std::size_t>(INT_MAX)) {  // offsets would not fit the vector
        error_set_message("regex_exec_pregex", ERR_REGEX_EXEC, {err_int(PCRE2_ERROR_BADOFFSET)});
        return false;
    }
    pcre2_match_data* data = match_data_for(static_cast<std::uint32_t>(pairs));
    if (data == nullptr) {
        error_set_message("pcre2_match_data_create(pairs, general_context)", ERR_SYSTEM, {err_errno(errno)});
        return false;
    }
    const auto* text = reinterpret_cast<PCRE2_SPTR>(subject);
    int rc = pcre2_match(regex->grx_code, text, length, 0, 0, data, nullptr);
    // The machine-code stack is smaller than what the interpreter may use: such a subject
    // is still matched, only slower.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = pcre2_match(regex->grx_code, text, length, 0, PCRE2_NO_JIT, data, nullptr);
    if (rc == PCRE2_ERROR_NOMATCH) {
        error_set_message("regex_exec_pregex", ERR_REGEX_NOMATCH);
        return false;
    }
    if (rc < 0) {
        error_set_message("regex_exec_pregex", ERR_REGEX_EXEC, {err_int(rc)});
        return false;
    }
    // A vector too small for every group still holds the first ones.
    const int substrings = rc == 0 || rc > pairs ? pairs : rc;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    int count = 0;
    for (int i = 0; i < pairs; ++i) {
        if (i < substrings && ovector[2 * i] != PCRE2_UNSET) {
            vector[2 * i] = static_cast<int>(ovector[2 * i]);
            vector[2 * i + 1] = static_cast<int>(ovector[2 * i + 1]);
            if (vector[2 * i + 1] > vector[2 * i]) count = i + 1;
        } else {
            vector[2 * i] = -1;
            vector[2 * i + 1] = -1;
        }
    }
    regex->grx_count = count;
    regex->grx_vector = vector;
    regex->grx_subject = subject;
    return true;
}

int regex_get_pregexlen(const a_pregex* regex, int item) {
    if (item < 0 || item >= regex->grx_count) {
        error_set_message("item >= regex->grx_count", ERR_REGEX_RANGE, {err_int(regex->grx_count), err_int(item)});
        return 0;
    }
    const int length = regex->grx_vector[2 * item + 1] - regex->grx_vector[2 * item];
    return length > 0 ? length : 0;  // an unset group counts as empty
}

char* regex_get_pregexstr(const a_pregex* regex, char* buffer, int size, int item) {
    if (item < 0 || item >= regex->grx_count) {
        error_set_message("item >= regex->grx_count", ERR_REGEX_RANGE, {err_int(regex->grx_count), err_int(item)});
        return nullptr;
    }
    if (size < 1) {
        error_set_message("regex_get_pregexstr", ERR_REGEX_OVERFLOW, {err_int(size)});
        return nullptr;
    }
    int length = regex_get_pregexlen(regex, item);
    if (length > size - 1) length = size - 1;
    if (length > 0) std::memcpy(buffer, regex->grx_subject + regex->grx_vector[2 * item], static_cast<std::size_t>(length));
    buffer[length] = '\0';
    return buffer + length;
}

int regex_find_pregex(const a_pregex* regex, const char* subject) {
    if (regex == nullptr) {
        error_set_message("regex == NULL", ERR_CONDITION);
        return -1;
    }
    const a_pregex* end = regex;
    while (end->grx_newer != nullptr) end = end->grx_newer;
    // The list's records are shared by all workers: the match goes into a private copy.
    a_pregex meta_regex = *end;
    match_vector vector(meta_regex.grx_size);
    if (vector.get() == nullptr) {
        error_set_message("(a_int_ptr)mem_sysmalloc(sizeof(int) * size)", ERR_SYSTEM, {err_errno(errno)});
        return -1;
    }
    if (!regex_exec_pregex(&meta_regex, vector.get(), subject)) {
        error_set_message("regex_exec_pregex(meta_regex, vector, subject)", ERR_NULL);
        return -1;
    }
    // A list of one has no combined pattern: its own match decides.
    if (meta_regex.grx_metatext == nullptr) return 0;
    const int* v = vector.get();
    for (int i = 1; i < meta_regex.grx_count; ++i)
        if (v[2 * i] >= 0 && v[2 * i + 1] > v[2 * i]) return i - 1;
    // Only empty text matched: the alternative that took part is the one.
    for (int i = 1; i < meta_regex.grx_size / 3; ++i)
        if (v[2 * i] >= 0) return i - 1;
    return -1;
}

char* regex_replace_pregex(a_pregex* regex, const char* subject, char* buffer, int length) {
    if (regex == nullptr) {
        error_set_message("regex == NULL", ERR_CONDITION);
        return nullptr;
    }
    match_vector vector(regex->grx_size);
    if (vector.get() == nullptr) {
        error_set_message("(a_int_ptr)mem_sysmalloc(sizeof(int) * size)", ERR_SYSTEM, {err_errno(errno)});
        return nullptr;
    }
    if (!regex_exec_pregex(regex, vector.get(), subject)) {
        error_set_message("regex_exec_pregex(regex, vector, subject)", ERR_NULL);
        return nullptr;
    }
    const int* v = vector.get();
    const int subject_length = static_cast<int>(std::strlen(subject));
    const int before = v[0];
    int tail_from = regex->grx_count > 0 ? v[2 * (regex->grx_count - 1) + 1] : v[1];
    if (tail_from < 0) tail_from = 0;
    if (tail_from > subject_length) tail_from = subject_length;
    const int tail = subject_length - tail_from;

    if (buffer == nullptr || length < 1 || before > length - 1) {
        error_set_message("regex_replace_pregex", ERR_REGEX_OVERFLOW, {err_int(length)});
        return nullptr;
    }
    std::memcpy(buffer, subject, static_cast<std::size_t>(before));
    bool truncated = false;
    char* out = expand_template(regex, regex->grx_replace, buffer + before, buffer + length, &truncated);
    // A cut expansion would hand back a wrong name as if it were right.
    if (truncated || tail > static_cast<int>(buffer + length - 1 - out)) {
        error_set_message("regex_replace_pregex", ERR_REGEX_OVERFLOW, {err_int(length)});
        return nullptr;
    }
    std::memcpy(out, subject + tail_from, static_cast<std::size_t>(tail));
    out[tail] = '\0';
    return buffer;
}

char* regex_replace_str(const a_pregex* regex, const char* templ, char* out, char* out_end) {
    bool truncated = false;
    return expand_template(regex, templ, out, out_end, &truncated);
}

const char* regex_get_escape(const char* text, int* value) {
    *value = 0;
    const char c = *text;
    switch (c) {
        case '\0': return text;  // a lone backslash at the end escapes nothing
        case 'n': *value = '\n'; return text + 1;
        case 'r': *value = '\r'; return text + 1;
        case 't': *value = '\t'; return text + 1;
        case 'f': *value = '\f'; return text + 1;
        case 'x': {
            const char* p = text + 1;
            for (int i = 0; i < 4 && hex_value(*p) >= 0; ++i, ++p) *value = *value * 16 + hex_value(*p);
            return p;
        }
        case 'B': case 'D': case 'S': case 'W': case 'b': case 'd': case 's': case 'w':
            return text + 1;
        case 'c':
            return text[1] != '\0' ? text + 2 : text + 1;
        default:
            break;
    }
    if (is_digit(c)) {
        int digits = 0;
        bool octal = true;
        while (digits < 3 && is_digit(text[digits])) {
            if (text[digits] > '7') octal = false;
            ++digits;
        }
        const int base = octal ? 8 : 10;
        for (int i = 0; i < digits; ++i) *value = *value * base + (text[i] - '0');
        return text + digits;
    }
    *value = static_cast<unsigned char>(c);
    return text + 1;
}
