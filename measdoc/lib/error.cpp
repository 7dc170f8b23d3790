// error: per-thread error areas, warning lists and the end-of-run merge. Every unit
// records its failures here; the host glue reads the results through error_get_errmsg,
// error_get_warnmsg and error_pop_warnmsg.
#include "md_error.h"

#include <algorithm>
#include <cstring>

#include "md_index.h"
#include "md_memory.h"
#include "md_parse.h"
#include "md_posix.h"
#include "md_thread.h"
#include "md_util.h"
#include "md_xml.h"

const std::array<std::string_view, error_code_count> errtype_str = {
    "no error",
    "system error",
    "returned null",
    "tag is null",
    "condition error",
    "tags are not from same scope",
    "scope - tags are of different depths",
    "scope - info index node is empty",
    "index - cannot change this feature now, already has nodes",
    "index - index returns an empty node",
    "memory - thread info block is empty",
    "memory - thread info block corrupted",
    "memory - pagesize too small",
    "pregex - pattern string not found",
    "pregex - pattern compilation failed",
    "pregex - pattern study failed",
    "pregex - encountered internal error",
    "pregex - execution returns no match",
    "pregex - execution failed",
    "pregex - substring index out of range",
    "pregex - substring buffer overflow",
    "parse - measurement information not found",
    "parse - measurement value not found",
    "parse - measurement type not found",
    "parse - counter value is empty",
    "parse - instance object value is not of DN",
    "parse - cross check of two indexes failed",
    "parse - type and result counters do not match",
    "parse - found multiple header data",
    "parse - reading block description failed",
    "parse - section data contains invalid tag name",
    "parse - inconsistent name and value pair",
    "parse - invalid timestamp description",
    "parse - invalid timestamp value",
    "parse - required description for timestamp missing",
    "global - hash argument keys-values do not match",
    "global - requested configuration is invalid",
    "global - attempt to set an assigned config item",
    "thread - data missing even after wake up",
    "thread - tag missing from suplied data",
    "io - start marker not set prior to end marker call",
    "xml - unexpected begin tag",
    "xml - unexpected end tag",
    "xml - unexpected equal sign",
    "xml - closing tag does not match",
    "xml - invalid data file",
    "xs - number of config items has reached limit",
};

namespace {

constexpr std::string_view error_prefix = "ERROR:";
constexpr std::string_view warning_prefix = "WARN :";
static_assert(error_prefix.size() == warning_prefix.size(), "a warning is made in place");

// Appends to an area's text, never past its last character, keeping it terminated.
class text_writer {
public:
    explicit text_writer(a_errinfo* area) : area_(area), limit_(area->text + error_text_size - 1) {
        cur_ = area->cursor;
        if (cur_ == nullptr || cur_ < area->text || cur_ > limit_) cur_ = area->text + strnlen(area->text, error_text_size - 1);
    }
    void restart() {
        cur_ = area_->text;
        *cur_ = '\0';
    }
    void put(std::string_view s) {
        const std::size_t n = std::min(s.size(), static_cast<std::size_t>(limit_ - cur_));
        if (n != 0) std::memcpy(cur_, s.data(), n);
        cur_ += n;
        *cur_ = '\0';
    }
    void put_text(const char* s) { put(s ? std::string_view(s) : std::string_view()); }
    void put_decimal(long long value) {
        char digits[24];
        const char* end = util_int2decnstr(digits, 0, value);
        put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }
    void open_item(std::string_view caption) {
        put("[");
        if (!caption.empty()) {
            put(caption);
            put(" - ");
        }
    }
    void close_item() { put("] "); }
    void finish() { area_->cursor = cur_; }

private:
    a_errinfo* area_;
    char* limit_;
    char* cur_;
};

void put_taginfo(text_writer& w, const a_taginfo* tag) {
    if (tag == nullptr) return;
    w.open_item("tag");
    w.put_text(tag->ti_name.str);
    w.put(":");
    w.put_decimal(tag->ti_line);
    w.close_item();
}

void put_measpair(text_writer& w, const a_measpair* pair) {
    if (pair == nullptr) return;
    w.open_item("measurement pair");
    w.put_text(pair->mmp_name);
    w.put(":");
    w.put_text(pair->mmp_value);
    w.put(":");
    w.put_text(pair->mmp_attr);
    w.put(":");
    w.close_item();
    put_taginfo(w, pair->mmp_tag);
}

// Appends one detail; false ends the list (an unknown kind).
bool put_detail(text_writer& w, const a_errdetail& d) {
    switch (d.type) {
        case ERRD_INT:
        case ERRD_ACHAR:
        case ERRD_CHAR:
            w.open_item({});
            w.put_decimal(d.num);
            w.close_item();
            return true;
        case ERRD_ERRNO: {
            if (d.num < 1) return true;
            char desc[256];
            w.open_item("error desc");
            if (posix_strerror(static_cast<int>(d.num), desc, sizeof desc) == 0)
                w.put(desc);
            else
                w.put_decimal(d.num);
            w.close_item();
            return true;
        }
        case ERRD_ASTR:
        case ERRD_CHARPTR:
            w.open_item({});
            w.put_text(d.str);
            w.close_item();
            return true;
        case ERRD_TAGINFO:
            put_taginfo(w, d.tag);
            return true;
        case ERRD_PCRESTR:
            if (d.str == nullptr) return true;
            w.open_item("message");
            w.put(d.str);
            w.close_item();
            return true;
        case ERRD_PCREOFF:
            w.open_item("offset");
            w.put_decimal(d.num);
            w.close_item();
            return true;
        case ERRD_MEASPAIR:
            put_measpair(w, d.pair);
            return true;
        case ERRD_TAGCOUNTER:
            if (d.counter == nullptr) return true;
            w.open_item("tag counter");
            w.put_decimal(d.counter->xtc_line);
            w.put(":");
            w.put_decimal(d.counter->xtc_tags);
            w.close_item();
            return true;
        case ERRD_UNKNOWN:
        default:
            return false;
    }
}

std::string_view code_text(std::uint32_t code) {
    return code < error_code_count ? errtype_str[code] : std::string_view("unknown error");
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

char* copy_bounded(std::string_view s, char* buffer, std::size_t size) {
    if (size == 0) return buffer;
    const std::size_t n = std::min(s.size(), size - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    return buffer + n;
}

void free_list(a_warninfo* node) {
    while (node != nullptr) {
        a_warninfo* older = node->next;
        mem_sysfree(node);
        node = older;
    }
}

}  // namespace

a_errinfo* error_get_area() {
    auto* rec = static_cast<a_thrrec*>(pthr_getspecific(thr_info.th_key));
    return rec != nullptr ? &rec->tr_error : &thr_info.th_main.tr_error;
}

char* error_get_funcname(std::string_view expression, char* buffer, std::size_t size) {
    std::size_t i = 0;
    while (i < expression.size() && is_blank(expression[i])) ++i;
    if (i < expression.size() && expression[i] == '(') {
        const std::size_t close = expression.find(')', i);
        if (close != std::string_view::npos) {
            i = close + 1;
            while (i < expression.size() && is_blank(expression[i])) ++i;
        }
    }
    std::string_view rest = expression.substr(i);
    std::size_t name = 0;
    while (name < rest.size() && is_name_char(rest[name])) ++name;
    if (name > 0 && name < rest.size() && rest[name] == '(') rest = rest.substr(0, name);
    return copy_bounded(rest, buffer, size);
}

char* error_get_filename(std::string_view path, char* buffer, std::size_t size) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return copy_bounded(path, buffer, size);
}

a_errcode error_set_message(std::string_view expression, a_errcode code, std::initializer_list<a_errdetail> details,
                            a_srcloc where) {
    a_errinfo* area = error_get_area();
    text_writer w(area);
    if (area->code == 0) {
        area->code = code;
        w.restart();
        w.put(error_prefix);
        w.put(" ");
        w.put(code_text(code));
        w.put(" ");
    }
    for (const a_errdetail& d : details)
        if (!put_detail(w, d)) break;

    char function[error_text_size];
    char file[error_text_size];
    error_get_funcname(expression, function, sizeof function);
    error_get_filename(where.file, file, sizeof file);
    w.open_item(function);
    w.put(file);
    w.put(":");
    w.put_decimal(where.line);
    w.close_item();
    w.finish();
    return code;
}

std::uint32_t error_clear_message(std::uint32_t code, bool as_warning) {
    a_errinfo* area = error_get_area();
    const std::uint32_t previous = area->code;
    if (code == 0 || code != previous) return previous;
    if (as_warning) {
        a_warninfo* newest = area->warnings;
        const bool full = newest != nullptr && newest->first->count >= error_max_warnings;
        const bool repeated = newest != nullptr && newest->code == code;
        if (!full && !repeated) {
            if (std::string_view(area->text, error_prefix.size()) == error_prefix)
                std::memcpy(area->text, warning_prefix.data(), warning_prefix.size());
            const std::size_t length = strnlen(area->text, error_text_size - 1);
            auto* node = static_cast<a_warninfo*>(mem_sysmalloc(sizeof(a_warninfo) + length + 1));
            if (node != nullptr) {  // otherwise the warning is dropped: it must not fail the run
                node->next = newest;
                node->count = 0;
                node->code = code;
                node->first = newest != nullptr ? newest->first : node;
                std::memcpy(node->text(), area->text, length);
                node->text()[length] = '\0';
                area->warnings = node;
                ++node->first->count;
            }
        }
    }
    area->code = 0;
    return previous;
}

bool error_check_message(std::uint32_t code) { return error_get_area()->code == code; }

bool error_get_message() {
    if (thr_info.th_error != nullptr) {
        a_errinfo* main_area = &thr_info.th_main.tr_error;
        a_errinfo* published = thr_info.th_error;
        if (published != main_area) {
            main_area->code = published->code;
            std::memcpy(main_area->text, published->text, error_text_size);
            main_area->text[error_text_size - 1] = '\0';
            main_area->cursor = main_area->text + strnlen(main_area->text, error_text_size - 1);
            thr_info.th_error = main_area;
        }
        return true;
    }

    a_objhead* msges_idxroot = index_new_stridx();
    if (msges_idxroot == nullptr) {
        error_set_message("index_new_stridx()", ERR_NULL);
        return false;
    }
    bool ok = true;
    a_thrrec* first = thr_info.th_thrlist != nullptr ? thr_info.th_thrlist : &thr_info.th_main;
    for (a_thrrec* rec = first; rec != nullptr && ok; rec = rec->tr_next) {
        a_warninfo* node = rec->tr_error.warnings;
        while (node != nullptr) {
            a_objidx* msges_idxnode = index_find_stridx(msges_idxroot, node->text());
            if (msges_idxnode == nullptr) {
                error_set_message("index_find_stridx(msges_idxroot, key)", ERR_NULL);
                ok = false;  // the rest stays with its thread and is freed with it
                break;
            }
            a_warninfo* older = node->next;
            if (msges_idxnode->poi_data != nullptr)
                mem_sysfree(node);
            else
                msges_idxnode->poi_data = node;
            node = older;
        }
        rec->tr_error.warnings = node;
    }
    // Ascending walk, each pushed in front: the greatest text ends up first.
    for (a_objidx* n = index_first_stridx(msges_idxroot); n != nullptr; n = index_next_stridx(n)) {
        auto* node = static_cast<a_warninfo*>(n->poi_data);
        node->next = thr_info.th_warnings;
        thr_info.th_warnings = node;
    }
    if (!index_destroy_stridx(msges_idxroot)) {
        error_set_message("index_destroy_stridx(msges_idxroot)", ERR_NULL);
        ok = false;
    }
    return ok;
}

const char* error_get_errmsg() {
    a_errinfo* area = error_get_area();
    if (area->code == 0) return nullptr;
    area->code = 0;
    return area->text;
}

const char* error_get_warnmsg() { return thr_info.th_warnings != nullptr ? thr_info.th_warnings->text() : nullptr; }

void error_pop_warnmsg() {
    a_warninfo* head = thr_info.th_warnings;
    if (head == nullptr) return;
    thr_info.th_warnings = head->next;
    mem_sysfree(head);
}

void error_free_warnings(a_errinfo* area) {
    if (area == nullptr) return;
    free_list(area->warnings);
    area->warnings = nullptr;
}

void error_free_warnmsgs() {
    free_list(thr_info.th_warnings);
    thr_info.th_warnings = nullptr;
}
