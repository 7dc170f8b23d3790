// fastmatch: the literal conditions of a pattern and the matcher for simple patterns.
// Called by posix_pattern (util) when it compiles and searches.
#include "fastmatch.h"

#include <langinfo.h>
#include <locale.h>

#include <map>
#include <mutex>
#include <optional>

namespace {

// Characters that stand for themselves wherever they appear in an extended pattern.
bool plain(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u < 0x20) return false;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    return std::string_view("=,-_:;/@#%&!~\"'<> `").find(c) != std::string_view::npos;
}

// After a backslash these stand for themselves; letters, digits and the rest are
// operators of the GNU matcher (\w, \b, \1, \<, ...).
bool escapable(char c) {
    return std::string_view(".[]()*+?{}|^$\\/,-=:;_@#%&!~\" ").find(c) != std::string_view::npos;
}

bool quantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// The end of the bracket expression whose "[" is at `at` (just past its "]"), or npos
// when it does not end.
std::size_t bracket_end(std::string_view p, std::size_t at) {
    ++at;
    if (at < p.size() && p[at] == '^') ++at;
    if (at < p.size() && p[at] == ']') ++at;
    while (at < p.size()) {
        const char c = p[at++];
        if (c == ']') return at;
        if (c == '[' && at < p.size() && (p[at] == ':' || p[at] == '.' || p[at] == '=')) {
            const char kind = p[at++];
            const std::size_t close = p.find(std::string{kind, ']'}, at);
            if (close == std::string_view::npos) return std::string_view::npos;
            at = close + 2;
        }
    }
    return std::string_view::npos;
}

// A scan of an extended POSIX pattern for the literals a match must contain. It follows
// the grammar only as far as it is sure: characters that are special, or special in some
// context, end a literal, and anything it does not follow makes it give up (no
// conditions), never guess.
class literal_scan {
public:
    explicit literal_scan(std::string_view pattern) : p_(pattern) {}

    std::vector<literal_condition> run() {
        std::vector<literal_condition> conditions;
        if (!alternatives(conditions) || at_ < p_.size()) return {};
        return conditions;
    }

private:
    // Reads the quantifiers after an atom. Returns false when they cannot be followed;
    // `required` tells whether the atom must still occur at least once.
    bool quantifiers(bool& required) {
        required = true;
        while (at_ < p_.size() && quantifier(p_[at_])) {
            const char q = p_[at_++];
            if (q == '+') continue;
            required = false;
            if (q == '{') {
                const std::size_t close = p_.find('}', at_);
                if (close == std::string_view::npos) return false;
                at_ = close + 1;
            }
        }
        return true;
    }

    // One branch: atoms until "|", ")" or the end. Literal runs become conditions of
    // their own; a required group adds its conditions.
    bool branch(std::vector<literal_condition>& conditions) {
        std::string run;
        const auto end_run = [&] {
            if (!run.empty()) conditions.push_back({run});
            run.clear();
        };
        bool first = true;
        while (at_ < p_.size() && p_[at_] != '|' && p_[at_] != ')') {
            const char c = p_[at_];
            if (quantifier(c) && first) return false;  // nothing to repeat: leave it to the matcher
            first = false;
            if (c == '(') {
                ++at_;
                std::vector<literal_condition> inner;
                if (!alternatives(inner) || at_ >= p_.size() || p_[at_] != ')') return false;
                ++at_;
                bool required = true;
                if (!quantifiers(required)) return false;
                end_run();
                if (required) conditions.insert(conditions.end(), inner.begin(), inner.end());
                continue;
            }
            char literal = 0;
            if (c == '\\') {
                if (at_ + 1 >= p_.size()) return false;
                if (escapable(p_[at_ + 1])) literal = p_[at_ + 1];
                at_ += 2;
            } else if (c == '[') {
                at_ = bracket_end(p_, at_);
                if (at_ == std::string_view::npos) return false;
            } else {
                ++at_;
                if (plain(c)) literal = c;
            }
            bool required = true;
            if (!quantifiers(required)) return false;
            if (!literal || !required) {
                end_run();
                continue;
            }
            run += literal;
            // "ab+c" needs "ab" and "bc": a repeated character ends the run after itself.
            if (at_ > 0 && p_[at_ - 1] == '+') {
                end_run();
                run += literal;
            }
        }
        end_run();
        return true;
    }

    // Branches separated by "|": one branch gives its conditions; several give one
    // condition of each branch's longest literal, or none when a branch has none.
    bool alternatives(std::vector<literal_condition>& conditions) {
        std::vector<std::vector<literal_condition>> branches(1);
        if (!branch(branches.back())) return false;
        while (at_ < p_.size() && p_[at_] == '|') {
            ++at_;
            branches.emplace_back();
            if (!branch(branches.back())) return false;
        }
        if (branches.size() == 1) {
            conditions.insert(conditions.end(), branches[0].begin(), branches[0].end());
            return true;
        }
        literal_condition any;
        for (const auto& b : branches) {
            const literal_condition* best = nullptr;
            for (const literal_condition& c : b) {
                if (c.size() == 1 && (!best || c[0].size() > (*best)[0].size())) best = &c;
            }
            if (!best) return true;  // a branch without literal: the alternation requires none
            any.push_back((*best)[0]);
        }
        conditions.push_back(std::move(any));
        return true;
    }

    std::string_view p_;
    std::size_t at_ = 0;
};

}  // namespace

std::vector<literal_condition> pattern_required_literals(std::string_view pattern) {
    return literal_scan(pattern).run();
}


bool meets_literal_conditions(std::string_view text, const std::vector<literal_condition>& conditions) {
    for (const literal_condition& condition : conditions) {
        bool found = false;
        for (const std::string& literal : condition) {
            if (text.find(literal) != std::string_view::npos) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

namespace {

using char_set = std::bitset<128>;

// The printable ASCII characters the C library's matcher takes for a bracket expression
// in the current locale, found by asking it about each one. Answers are kept per
// locale and expression: patterns are compiled for every conversion.
std::optional<char_set> bracket_members(std::string_view bracket) {
    std::string key = nl_langinfo(_NL_LOCALE_NAME(LC_COLLATE));
    key += '\n';
    key += nl_langinfo(_NL_LOCALE_NAME(LC_CTYPE));
    key += '\n';
    key += bracket;
    static std::mutex lock;
    static std::map<std::string, char_set> known;
    const std::lock_guard<std::mutex> guard(lock);
    if (const auto found = known.find(key); found != known.end()) return found->second;
    const std::string anchored = "^" + std::string(bracket) + "$";
    regex_t re;
    if (regcomp(&re, anchored.c_str(), REG_EXTENDED | REG_NOSUB) != 0) return std::nullopt;
    char_set members;
    for (int c = 0x20; c <= 0x7E; ++c) {
        const char one[2] = {static_cast<char>(c), '\0'};
        if (regexec(&re, one, 0, nullptr, 0) == 0) members.set(static_cast<std::size_t>(c));
    }
    regfree(&re);
    known.emplace(std::move(key), members);
    return members;
}

bool printable_ascii(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<simple_pattern> simple_pattern::make(std::string_view p) {
    auto program = std::make_unique<simple_pattern>();
    constexpr std::size_t none = std::string_view::npos;
    std::size_t open = none;  // first item of the group being read
    std::size_t at = 0;
    while (at < p.size()) {
        const char c = p[at];
        if (c == '(') {
            if (open != none) return nullptr;  // nested
            open = program->items_.size();
            ++at;
            continue;
        }
        if (c == ')') {
            if (open == none || open == program->items_.size()) return nullptr;  // unopened or empty
            program->groups_.push_back({open, program->items_.size()});
            open = none;
            ++at;
            if (at < p.size() && quantifier(p[at])) return nullptr;
            continue;
        }
        item it;
        if (c == '[') {
            const std::size_t end = bracket_end(p, at);
            if (end == std::string_view::npos) return nullptr;
            const auto members = bracket_members(p.substr(at, end - at));
            if (!members) return nullptr;
            it.accepts = *members;
            at = end;
        } else if (c == '\\') {
            if (at + 1 >= p.size() || !escapable(p[at + 1])) return nullptr;
            it.accepts.set(static_cast<unsigned char>(p[at + 1]));
            at += 2;
        } else if (plain(c)) {
            it.accepts.set(static_cast<unsigned char>(c));
            ++at;
        } else {
            return nullptr;
        }
        if (at < p.size() && p[at] == '+') {
            it.repeated = true;
            ++at;
        }
        if (at < p.size() && quantifier(p[at])) return nullptr;
        program->items_.push_back(it);
    }
    if (open != none || program->items_.empty() || program->items_.size() >= max_items) return nullptr;
    // A repeated item must end where the next item starts, whatever the text.
    for (std::size_t i = 0; i + 1 < program->items_.size(); ++i) {
        const item& a = program->items_[i];
        if (a.repeated && (a.accepts & program->items_[i + 1].accepts).any()) return nullptr;
    }
    return program;
}

bool simple_pattern::match_at(std::string_view text, std::size_t start, item_offsets& item_starts,
                              std::size_t& end) const {
    std::size_t at = start;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const item& it = items_[i];
        item_starts[i] = at;
        if (at >= text.size() || !it.accepts.test(static_cast<unsigned char>(text[at]))) return false;
        ++at;
        if (it.repeated) {
            while (at < text.size() && it.accepts.test(static_cast<unsigned char>(text[at]))) ++at;
        }
    }
    item_starts[items_.size()] = at;
    end = at;
    return true;
}

bool simple_pattern::search(std::string_view text, std::span<regmatch_t> groups, bool& decided) const {
    decided = printable_ascii(text);
    if (!decided) return false;
    item_offsets item_starts;
    const char_set& first = items_.front().accepts;
    for (std::size_t start = 0; start < text.size(); ++start) {
        if (!first.test(static_cast<unsigned char>(text[start]))) continue;
        std::size_t end = 0;
        if (!match_at(text, start, item_starts, end)) continue;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            if (i == 0) {
                groups[i].rm_so = static_cast<regoff_t>(start);
                groups[i].rm_eo = static_cast<regoff_t>(end);
            } else if (i <= groups_.size()) {
                groups[i].rm_so = static_cast<regoff_t>(item_starts[groups_[i - 1].first]);
                groups[i].rm_eo = static_cast<regoff_t>(item_starts[groups_[i - 1].end]);
            } else {
                groups[i].rm_so = groups[i].rm_eo = -1;
            }
        }
        return true;
    }
    return false;
}
