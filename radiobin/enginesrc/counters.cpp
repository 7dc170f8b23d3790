// counters: counter decoding by size and byte order, and the walk over repeated groups.
// A block's counters are visited in chain order (newest configuration line first), so a
// group is met end counter first; its offset is the length of one repetition. Passes run
// from the last repetition in the block back to the first, one matrix row each.
#include "counters.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <forward_list>
#include <iterator>
#include <string_view>

#include "logmsg.h"
#include "output.h"

namespace {

void trace_order(int big) {
    if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, big == 1 ? "Big endian" : "Little endian");
}

constexpr std::size_t value_size = 64;  // 63 characters and the terminator

struct value_text {
    std::array<char, value_size> text{};
    std::size_t length = 0;
    std::string_view view() const { return {text.data(), length}; }
};

// The repetitions of one block: row r holds the fields of repetition r (row 0 unused).
// The matrix is far larger than what a block fills, and group blocks are frequent: a
// cell counts as written only when its stamp is the current block's, so starting a block
// is one increment instead of a pass over every cell.
struct repeat_matrix {
    std::array<std::array<value_text, max_repeat_columns>, max_repeats + 1> cell;
    std::array<std::array<std::uint32_t, max_repeat_columns>, max_repeats + 1> stamp{};
    std::uint32_t current = 1;

    // Every cell reads as empty until written again.
    void clear() {
        if (++current == 0) {  // wrapped: old stamps could match again
            for (auto& row : stamp) row.fill(0);
            current = 1;
        }
    }
    void set(int row, int column, const value_text& v) {
        value_text& c = cell[row][column];
        copy_short(c.text.data(), v.text.data(), v.length);
        c.length = v.length;
        stamp[row][column] = current;
    }
    // A cell to decode into directly; it counts as written once marked.
    value_text& open(int row, int column) { return cell[row][column]; }
    void mark(int row, int column) { stamp[row][column] = current; }
    std::string_view get(int row, int column) const {
        return stamp[row][column] == current ? cell[row][column].view() : std::string_view{};
    }
};
repeat_matrix matrix;  // one block at a time: the module converts one file at a time

// Decimal text of an integer, as printf's %d and %u write it.
template <typename Integer>
void set_number(value_text& out, Integer value) {
    const auto result = std::to_chars(out.text.data(), out.text.data() + value_size - 1, value);
    out.length = static_cast<std::size_t>(result.ptr - out.text.data());
}

// Two upper-case hexadecimal digits, as printf's %02X writes a byte.
void set_hex_byte(value_text& out, std::uint8_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.text[0] = digits[value >> 4];
    out.text[1] = digits[value & 0x0F];
    out.length = 2;
}

// Asked for every one-byte value: the first character settles it for almost every name.
bool starts_with_mcc_mnc(const std::string& name) {
    return !name.empty() && name[0] == 'M' && name.compare(0, 7, "MCC_MNC") == 0;
}

// Decodes the counter c at record position pos into out; an absent (all 0xFF) value, a
// size the decoder cannot print, or bytes outside the record leave it empty.
void decode_value(const block_details& block, const counter_details& c, std::span<const std::uint8_t> record,
                  std::ptrdiff_t pos, value_text& out) {
    out.length = 0;
    if (log_wanted(LOG_TRACE)) {
        logmsg(LOG_TRACE, "counter name : %s", c.name.c_str());
        logmsg(LOG_TRACE, "offset : %d ", c.offset);
    }
    const std::size_t size = c.size;
    if (pos < 0 || static_cast<std::size_t>(pos) > record.size() || record.size() - static_cast<std::size_t>(pos) < size) {
        logmsg(LOG_DECODE, "WARNING : Counter %s in block type %u runs past the end of the record", c.name.c_str(),
               block.block_num);
        return;
    }
    const std::uint8_t* p = record.data() + pos;
    const int big = block.big_endian;
    if (size > 0 && std::all_of(p, p + size, [](std::uint8_t b) { return b == 0xFF; })) {
        logmsg(LOG_TRACE, "Counter '%s' contains %d byte%s of 0xFF", c.name.c_str(), static_cast<int>(size),
               size == 1 ? "" : "s");
        return;
    }
    switch (size) {
        case 1:
            if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, "ONE_BYTE %02X -> %6d", p[0], p[0]);
            if (starts_with_mcc_mnc(c.name)) {
                set_hex_byte(out, p[0]);
            } else {
                set_number(out, int{p[0]});
            }
            break;
        case 2:
            set_number(out, to_sh(p, big));
            break;
        case 4:
            set_number(out, to_lg(p, big));
            break;
        case 6:
            set_number(out, static_cast<std::int32_t>(to_6b(p, big)));
            break;
        case 16: {
            const auto* end = std::find(p, p + 16, std::uint8_t{0});
            out.length = static_cast<std::size_t>(end - p);
            std::memcpy(out.text.data(), p, out.length);
            break;
        }
        default: {
            char size_text[8];
            std::snprintf(size_text, sizeof size_text, "%d", static_cast<int>(size));
            logmsg(LOG_DECODE, warnmsg[W_CANNOT_PRINT], c.name.c_str(), size_text, static_cast<int>(block.block_num));
            break;
        }
    }
}

// What a step of the walk tells the loop: go on with the counter, go back to the group's
// end counter for the next pass, stop decoding (the rows made so far are written), or
// fail (logged).
enum class step { go_on, next_pass, stop, fail };

// Returns step::fail, for the walk to end on.
step fail_width(int width) {
    logmsg(LOG_DECODE, "WARNING: counter count : %d exceeds max allowed for internal buffers", width);
    return step::fail;
}

// Returns step::fail, for the walk to end on.
step fail_repeats(long count) {
    logmsg(LOG_DECODE, "Warning - repeat size %d too large for internal buffers", static_cast<int>(count));
    return step::fail;
}

// One block's walk over its counters. Positions are kept as offsets from the data start:
// a malformed block may point anywhere, and only positions inside the record are ever
// turned into addresses. A repeated group is walked once per repetition, from the last
// one back to the first, each pass one group length nearer the data start.
class counter_walk {
public:
    counter_walk(const block_details& block, std::ptrdiff_t data_pos, std::ptrdiff_t block_len,
                 std::span<const std::uint8_t> record)
        : block_(block), data_pos_(data_pos), block_len_(block_len), record_(record),
          end_counter_(block.counters.end()) {}

    // Returns 0, or -1 (logged) when the block cannot be decoded.
    int run() {
        const auto& counters = block_.counters;
        for (auto it = counters.begin(); it != counters.end();) {
            const counter_details& c = *it;
            bool entering = false;  // the first group of the block begins with this counter
            step next = c.repeat == REPEAT_LAST ? open_pass(it, entering) : step::go_on;
            std::ptrdiff_t pos = base_ + c.offset;
            if (next == step::go_on && pos >= block_len_) next = fit_short_repetition(c, entering, pos);
            if (next == step::go_on) next = place(c, pos);
            if (next == step::go_on && c.repeat == REPEAT_FIRST) next = close_pass();
            if (next == step::fail) return -1;
            if (next == step::stop) break;
            if (next == step::next_pass) {
                it = end_counter_;
            } else {
                ++it;
            }
        }
        if (repeat_mode_) write_rows();
        return 0;
    }

private:
    using counter_iter = std::forward_list<counter_details>::const_iterator;

    // The group's end counter: the first one starts the group's passes.
    step open_pass(counter_iter it, bool& entering) {
        const counter_details& c = *it;
        in_group_ = true;
        if (passes_left_ == 0) {
            entering = !repeat_mode_;
            const int g = c.repeat_count;
            if (g > max_repeats) return fail_repeats(g);
            if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, "RECORD_REPEAT_END repeat size : %d", g);
            // No repetition: the group gives no row, and what follows it in the chain
            // goes into every row, so nothing more of the block is written. The pass
            // would start one group length before the data.
            if (g == 0) return step::stop;
            if (!repeat_mode_) matrix.clear();
            passes_left_ = repeat_count_ = g;
        }
        base_ = static_cast<std::ptrdiff_t>(c.offset) * (passes_left_ - 1);
        repeat_mode_ = true;
        end_counter_ = it;
        return step::go_on;
    }

    // A counter beyond the block's data: outside a group the block is malformed; in one,
    // the last repetition is short, and the passes are counted again from what fits.
    step fit_short_repetition(const counter_details& c, bool entering, std::ptrdiff_t& pos) {
        const int block_num = static_cast<int>(block_.block_num);
        if (!repeat_mode_) {
            logmsg(LOG_DECODE, warnmsg[W_OFFSET_BEYOND], block_num, c.name.c_str());
            return step::fail;
        }
        if (c.offset == 0) {
            logmsg(LOG_DECODE, "WARNING : Block %d counter %s cannot recount a short repetition of length 0",
                   block_num, c.name.c_str());
            return step::fail;
        }
        const std::ptrdiff_t k = block_len_ / c.offset;
        logmsg(LOG_TRACE, "Smaller last block - recalculated repeat size : %d", static_cast<int>(k));
        if (k == 0) {
            // A block shorter than one repetition: no row, as with a repeat count of 0.
            if (entering) {
                repeat_count_ = 0;
                return step::stop;
            }
            logmsg(LOG_DECODE, "WARNING : Block %d counter %s is too short for one repetition", block_num,
                   c.name.c_str());
            return step::fail;
        }
        if (k > max_repeats) return fail_repeats(k);
        passes_left_ = repeat_count_ = static_cast<int>(k);
        base_ = static_cast<std::ptrdiff_t>(c.offset) * (k - 1);
        pos = base_ + c.offset;
        return step::go_on;
    }

    // A group value goes straight into its cell; a value after a group goes into every
    // row; any other value onto the output line.
    step place(const counter_details& c, std::ptrdiff_t pos) {
        const bool into_cell = in_group_ && column_ < max_repeat_columns;
        decode_value(block_, c, record_, data_pos_ + pos, into_cell ? matrix.open(passes_left_, column_) : value_);
        if (in_group_) {
            if (!into_cell) return fail_width(column_ + 1);
            matrix.mark(passes_left_, column_);
            ++column_;
        } else if (repeat_mode_) {
            const int col = column_ + extra_columns_;
            if (col >= max_repeat_columns) return fail_width(col + 1);
            for (int r = repeat_count_; r >= 1; --r) matrix.set(r, col, value_);
            ++extra_columns_;
        } else {
            OutputData(value_.view());
        }
        return step::go_on;
    }

    // The group's start counter ends a pass; another pass follows while repetitions are
    // left. A layout whose recounts keep raising the pass count must not loop for ever.
    step close_pass() {
        if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, " RECORD_REPEAT_START");
        in_group_ = false;
        if (passes_left_ <= 0 || --passes_left_ == 0 || end_counter_ == block_.counters.end()) return step::go_on;
        if (column_ > max_repeat_columns) return fail_width(column_);
        if (passes_budget_ < 0) {
            const auto& counters = block_.counters;
            passes_budget_ = static_cast<long>(max_repeats) * std::distance(counters.begin(), counters.end());
        }
        if (--passes_budget_ < 0) return fail_repeats(passes_left_);
        column_ = 0;
        return step::next_pass;
    }

    // One line per repetition, the first repetition first.
    void write_rows() const {
        const int width = column_ + extra_columns_;
        for (int r = repeat_count_; r >= 1; --r) {
            for (int col = 0; col < width; ++col) OutputData(matrix.get(r, col));
            OutputWriteToFile();
            OutputStoreInit();
        }
    }

    const block_details& block_;
    const std::ptrdiff_t data_pos_;
    const std::ptrdiff_t block_len_;
    const std::span<const std::uint8_t> record_;
    std::ptrdiff_t base_ = 0;
    int passes_left_ = 0;
    int repeat_count_ = 0;
    bool in_group_ = false;
    bool repeat_mode_ = false;
    int column_ = 0;
    int extra_columns_ = 0;
    counter_iter end_counter_;
    long passes_budget_ = -1;  // counted when first needed
    value_text value_;
};

}  // namespace

std::uint16_t to_sh(const std::uint8_t* b, int big) {
    trace_order(big);
    const auto v = static_cast<std::uint16_t>(big == 1 ? (b[0] << 8) | b[1] : (b[1] << 8) | b[0]);
    if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, "TO_SH %02X %02X -> %6d", b[0], b[1], v);
    return v;
}

std::uint32_t to_lg(const std::uint8_t* b, int big) {
    trace_order(big);
    const std::uint32_t v = big == 1 ? (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (b[2] << 8) | b[3]
                                     : (std::uint32_t{b[1]} << 24) | (std::uint32_t{b[0]} << 16) | (b[3] << 8) | b[2];
    if (log_wanted(LOG_TRACE)) logmsg(LOG_TRACE, "TO_LG %02X %02X %02X %02X -> %12u", b[0], b[1], b[2], b[3], v);
    return v;
}

std::uint32_t to_6b(const std::uint8_t* b, int big) {
    trace_order(big);
    const std::uint32_t v = big == 1 ? (std::uint32_t{b[2]} << 24) | (std::uint32_t{b[3]} << 16) | (b[4] << 8) | b[5]
                                     : (std::uint32_t{b[3]} << 24) | (std::uint32_t{b[2]} << 16) | (b[5] << 8) | b[4];
    if (log_wanted(LOG_TRACE))
        logmsg(LOG_TRACE, "TO_6B %02X %02X %02X %02X %02X %02X -> %12u", b[0], b[1], b[2], b[3], b[4], b[5], v);
    return v;
}

int print_cntrs(const block_details& block, std::size_t block_start, int data_length, int header_size,
                std::span<const std::uint8_t> record) {
    const auto data_pos = static_cast<std::ptrdiff_t>(block_start) + header_size;
    return counter_walk(block, data_pos, data_length, record).run();
}
