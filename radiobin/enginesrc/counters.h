// counters: turns the bytes of a block's configured counters into PIF fields: one field
// per counter on the current output line, or one line per repetition when the block has
// a repeated group. Called by the record walk for every block; the byte-order
// conversions are also used by zelpaal for the file header.
#ifndef RADIOBIN_COUNTERS_H
#define RADIOBIN_COUNTERS_H

#include <cstddef>
#include <cstdint>
#include <span>

#include "config.h"

// Unsigned conversions of 2, 4 and 6 bytes. big = 1: big-endian. Otherwise 16-bit
// little-endian words, the more significant word first; to_6b keeps the low 32 bits.
std::uint16_t to_sh(const std::uint8_t* bytes, int big);
std::uint32_t to_lg(const std::uint8_t* bytes, int big);
std::uint32_t to_6b(const std::uint8_t* bytes, int big);

// Largest repeated group and widest repeated row the decoder holds.
inline constexpr int max_repeats = 30;
inline constexpr int max_repeat_columns = 30;

// Decodes the counters of one block whose header starts at record offset block_start and
// whose data (after the header_size-byte header) is data_length bytes long; no byte
// outside `record` is read. Appends the values to the output line, or writes one line per
// repetition. Returns 0, or -1 (logged) when the block cannot be decoded; values already
// appended stay on the line.
int print_cntrs(const block_details& block, std::size_t block_start, int data_length, int header_size,
                std::span<const std::uint8_t> record);

#endif
