// config: reader and checker of the block-layout file, and the block table it fills.
// Each line describes one counter of one block type:
//   BLOCK 1011 NAME := "Traffic" AND COUNTER := "tch_req" AND OFFSET := 4 AND SIZE := 2 END
// Lines are read in 512-byte pieces; a malformed clause either drops the line or, where
// the reader cannot tell where the line's meaning ends, fails the whole load.
#include "config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "file_handle.h"
#include "logmsg.h"

std::array<std::forward_list<block_details>, block_buckets> blk_hash_table;
int config_min_release = 0;
int config_max_release = 0;

namespace {

enum keyword_id : int {
    KW_NONE = -1,
    KW_BLOCK = 0,
    KW_NAME = 1,
    KW_AND = 2,
    KW_ASSIGN = 3,
    KW_END = 4,
    KW_COUNTER = 5,
    KW_OFFSET = 6,
    KW_SIZE = 7,
    KW_ENDIAN_ORDER = 8,
    KW_REPEAT_START = 9,
    KW_REPEAT_END = 10,
};

struct keyword_entry {
    std::string_view text;
    keyword_id id;
};

// Searched in this order; the first whole-word match wins.
constexpr std::array<keyword_entry, 11> keyword = {{
    {"BLOCK", KW_BLOCK},
    {"NAME", KW_NAME},
    {"AND", KW_AND},
    {":=", KW_ASSIGN},
    {"END", KW_END},
    {"COUNTER", KW_COUNTER},
    {"OFFSET", KW_OFFSET},
    {"SIZE", KW_SIZE},
    {"ENDIAN_ORDER", KW_ENDIAN_ORDER},
    {"REPEAT_START", KW_REPEAT_START},
    {"REPEAT_END", KW_REPEAT_END},
}};

constexpr std::uint32_t no_number = 0xFFFFFFFFu;
constexpr std::size_t line_buffer_size = 512;

// Character classes by ASCII rules: a layout file must read the same under every locale
// of the host process (a Turkish one upper-cases "i" to itself, for one).
constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

const char* skip_blanks(const char* p) {
    while (*p != '\0' && is_blank(*p)) ++p;
    return p;
}

std::size_t hashval(std::uint32_t number) { return number % block_buckets; }

// Returns the keyword's number and moves past it, or KW_NONE with the cursor on the first
// non-blank character.
int get_next_string_value(const char*& cursor) {
    const char* p = skip_blanks(cursor);
    cursor = p;
    const std::size_t avail = std::strlen(p);
    for (const keyword_entry& k : keyword) {
        if (avail < k.text.size() || std::memcmp(p, k.text.data(), k.text.size()) != 0) continue;
        const char next = p[k.text.size()];
        if (next == '\0' || next == '\n' || is_blank(next)) {
            cursor = p + k.text.size();
            return k.id;
        }
    }
    return KW_NONE;
}

// The text between the next pair of double quotes, or nothing (cursor on the first
// non-blank character) when either quote is missing.
std::optional<std::string> get_next_quoted_string(const char*& cursor) {
    const char* p = skip_blanks(cursor);
    cursor = p;
    if (*p != '"') return std::nullopt;
    const char* close = std::strchr(p + 1, '"');
    if (!close) return std::nullopt;
    cursor = close + 1;
    return std::string(p + 1, close);
}

// A number in decimal, or hexadecimal after 0x, 0X or #. Values beyond 32 bits saturate;
// anything that does not start a number gives no_number with the cursor left on it.
std::uint32_t get_next_ul_value(const char*& cursor) {
    const char* p = skip_blanks(cursor);
    cursor = p;
    int base = 10;
    const char* digits = p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
    } else if (p[0] == '#') {
        base = 16;
        digits = p + 1;
    } else if (!is_digit(p[0])) {
        return no_number;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits, &end, base);
    cursor = end;
    return value > no_number ? no_number : static_cast<std::uint32_t>(value);
}

std::uint16_t get_next_us_value(const char*& cursor) {
    const std::uint32_t v = get_next_ul_value(cursor);
    return v > 0xFFFF ? 0xFFFF : static_cast<std::uint16_t>(v);
}

std::uint8_t get_next_uc_value(const char*& cursor) {
    const std::uint32_t v = get_next_ul_value(cursor);
    return v > 0xFF ? 0xFF : static_cast<std::uint8_t>(v);
}

block_details* find_block(std::uint32_t number) {
    for (block_details& b : blk_hash_table[hashval(number)]) {
        if (b.block_num == number) return &b;
    }
    return nullptr;
}

// Adds the line's counter to its block, creating the block with the line's name and byte
// order when it is new. Returns false (logged) when memory runs out; the table is then as
// it was before the line.
bool add_block_details(const block_details& tmpl, const std::optional<counter_details>& counter) {
    try {
        block_details* block = find_block(tmpl.block_num);
        if (!block) {
            block_details fresh;
            fresh.block_num = tmpl.block_num;
            fresh.block_name = tmpl.block_name;
            fresh.big_endian = tmpl.big_endian;
            if (counter) fresh.counters.push_front(*counter);
            blk_hash_table[hashval(tmpl.block_num)].push_front(std::move(fresh));
        } else if (counter) {
            block->counters.push_front(*counter);
        }
        return true;
    } catch (const std::bad_alloc&) {
        logmsg(LOG_ERROR, "ERROR: Unable to allocate memory\n");
        return false;
    }
}

enum class line_result { accepted, ignored, fatal };

// Reads the clauses after BLOCK on one line. `line` is the whole line for messages,
// `cursor` is just past the BLOCK keyword.
line_result read_block_line(const char* line, const char* cursor) {
    block_details tmpl;
    std::optional<std::string> counter_name;
    counter_details counter;

    tmpl.block_num = get_next_ul_value(cursor);
    if (tmpl.block_num == no_number) {
        logmsg(LOG_DECODE, warnmsg[W_CFG_BLOCK_NUMBER], line);
        return line_result::ignored;
    }
    auto malformed = [&cursor] {
        logmsg(LOG_DECODE, warnmsg[W_CFG_CLAUSE], cursor);
        return line_result::ignored;
    };
    for (;;) {
        switch (get_next_string_value(cursor)) {
            case KW_NAME: {
                if (get_next_string_value(cursor) != KW_ASSIGN) return malformed();
                auto text = get_next_quoted_string(cursor);
                if (!text) return malformed();
                tmpl.block_name = std::move(*text);
                break;
            }
            case KW_COUNTER: {
                if (get_next_string_value(cursor) != KW_ASSIGN) {
                    // The clause is dropped but the line goes on from here.
                    logmsg(LOG_DECODE, warnmsg[W_CFG_CLAUSE], cursor);
                    break;
                }
                auto text = get_next_quoted_string(cursor);
                if (!text) return malformed();
                for (char& c : *text) c = to_upper(c);
                counter_name = std::move(*text);
                break;
            }
            case KW_OFFSET:
                if (get_next_string_value(cursor) != KW_ASSIGN) return malformed();
                counter.offset = get_next_us_value(cursor);
                if (counter.offset == 0xFFFF) {
                    logmsg(LOG_INPUT, warnmsg[W_CFG_OFFSET], line);
                    return line_result::ignored;
                }
                break;
            case KW_SIZE:
                if (get_next_string_value(cursor) != KW_ASSIGN) return malformed();
                counter.size = get_next_uc_value(cursor);
                if (counter.size == 0xFF) {
                    logmsg(LOG_INPUT, warnmsg[W_CFG_SIZE], line);
                    return line_result::ignored;
                }
                break;
            case KW_ENDIAN_ORDER: {
                if (get_next_string_value(cursor) != KW_ASSIGN) return malformed();
                auto text = get_next_quoted_string(cursor);
                if (!text) return malformed();
                if (text->compare(0, 10, "BIG_ENDIAN") == 0) {
                    tmpl.big_endian = 1;
                    logmsg(LOG_TRACE, "Big endian configuration for block %s.", tmpl.block_name.c_str());
                } else {
                    tmpl.big_endian = 0;
                }
                break;
            }
            case KW_REPEAT_START:
                counter.repeat = REPEAT_FIRST;
                logmsg(LOG_PROGRESS, "record repeat START");
                break;
            case KW_REPEAT_END: {
                if (get_next_string_value(cursor) != KW_ASSIGN) return malformed();
                counter.repeat = REPEAT_LAST;
                logmsg(LOG_PROGRESS, "record repeat END");
                const std::uint8_t count = get_next_uc_value(cursor);
                if (count == 0xFF) {
                    logmsg(LOG_INPUT, warnmsg[W_CFG_SIZE], line);
                    return line_result::ignored;
                }
                counter.repeat_count = count;
                break;
            }
            case KW_AND:
                break;
            case KW_END: {
                std::optional<counter_details> with_name;
                if (counter_name) {
                    counter.name = std::move(*counter_name);
                    with_name = std::move(counter);
                }
                return add_block_details(tmpl, with_name) ? line_result::accepted : line_result::fatal;
            }
            default:
                // A word that cannot start a clause, or the line ended before END: the
                // reader cannot know what the line meant, so the load fails.
                logmsg(LOG_DECODE, warnmsg[W_CFG_CLAUSE], cursor);
                return line_result::fatal;
        }
    }
}

// Returns true when every line was read or deliberately ignored.
bool config(const char* filename) {
    logmsg(LOG_CONFIG, "config: ENTERED");
    file_ptr in{std::fopen(filename, "r")};
    if (!in) {
        logmsg(LOG_ERROR, warnmsg[W_CFG_OPEN], filename);
        logmsg(LOG_CONFIG, "config: EXIT error");
        return false;
    }
    char line[line_buffer_size];
    while (std::fgets(line, sizeof line, in.get())) {
        logmsg(LOG_CONFIG, "config file line : %s", line);
        const char* cursor = skip_blanks(line);
        if (*cursor == '\0' || *cursor == '#') continue;
        if (get_next_string_value(cursor) != KW_BLOCK) {
            logmsg(LOG_INPUT, warnmsg[W_CFG_UNKNOWN_LINE], line);
            continue;
        }
        if (read_block_line(line, cursor) == line_result::fatal) {
            logmsg(LOG_CONFIG, "config: EXIT error");
            return false;
        }
    }
    if (std::ferror(in.get())) {
        logmsg(LOG_ERROR, warnmsg[W_CFG_OPEN], filename);
        logmsg(LOG_CONFIG, "config: EXIT error");
        return false;
    }
    logmsg(LOG_CONFIG, "config: EXIT success");
    return true;
}

// Returns true when every counter has a name and a size the decoder knows.
bool validate_config() {
    bool any_block = false;
    for (const auto& bucket : blk_hash_table) {
        for (const block_details& block : bucket) {
            any_block = true;
            const int number = static_cast<int>(block.block_num);
            if (block.counters.empty()) logmsg(LOG_DECODE, warnmsg[W_CFG_NO_COUNTERS], number);
            for (const counter_details& c : block.counters) {
                if (c.name.empty()) {
                    logmsg(LOG_DECODE, warnmsg[W_CFG_NO_NAME], number);
                    return false;
                }
                switch (c.size) {
                    case 1: case 2: case 3: case 4: case 6: case 9: case 10: case 16:
                        break;
                    default:
                        logmsg(LOG_DECODE, warnmsg[W_CFG_WEIRD_SIZE], c.name.c_str(), number, c.size);
                        return false;
                }
            }
        }
    }
    if (!any_block) {
        logmsg(LOG_ERROR, "%s", warnmsg[W_CFG_NO_BLOCKS]);
        return false;
    }
    return true;
}

}  // namespace

int config_initialise(const char* config_filename, int config_min_version, int config_max_version) {
    config_min_release = config_min_version;
    config_max_release = config_max_version;
    for (auto& bucket : blk_hash_table) bucket.clear();
    if (!config_filename || *config_filename == '\0') {
        logmsg(LOG_ERROR, "ERROR: Config data must be supplied");
        return 2;
    }
    bool read = false;
    try {
        read = config(config_filename);
    } catch (const std::bad_alloc&) {
        logmsg(LOG_ERROR, "ERROR: Unable to allocate memory\n");
    }
    if (!read) {
        logmsg(LOG_ERROR, "ERROR: Configuration file read error.\n");
        return 2;
    }
    if (!validate_config()) {
        logmsg(LOG_ERROR, "ERROR : Failed to validate configuration");
        return 2;
    }
    return 0;
}

const block_details* get_block_data(std::uint32_t number) { return find_block(number); }
