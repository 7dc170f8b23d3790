// pgrh: the normalised performance header that zelpaal builds from any of the four header
// layouts of an Alcatel BSS file, and the record framing shared by zelpaal and the record
// walk. Header-only: both libraries read the same 70-byte form.
#ifndef RADIOBIN_PGRH_H
#define RADIOBIN_PGRH_H

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t record_header_size = 6;
inline constexpr std::uint8_t pm_record_type = 12;  // record type of a performance file
inline constexpr std::uint8_t end_of_blocks = 0xFF;  // block type that ends a record

struct pgrh_form {
    // Offsets into the form.
    static constexpr std::size_t release = 0;       // 16-bit, little-endian here
    static constexpr std::size_t mob_class = 4;     // 16-bit little-endian
    static constexpr std::size_t mob_instance = 6;  // 16-bit little-endian
    static constexpr std::size_t bsc_name = 8;      // 16 characters
    static constexpr std::size_t meas_type = 24;    // 16-bit little-endian
    static constexpr std::size_t file_size = 26;    // 32-bit, word-swapped little-endian
    static constexpr std::size_t num_records = 30;  // 16-bit little-endian
    static constexpr std::size_t period_start = 32; // 16 ASCII characters
    static constexpr std::size_t period_end = 48;
    static constexpr std::size_t size = 70;
    // Inside a period: minutes, hours, day, month (01-12), year; the first 4 unused.
    static constexpr std::size_t minute = 4, hour = 6, day = 8, month = 10, year = 12;

    std::array<std::uint8_t, size> bytes{};

    std::int16_t s16(std::size_t at) const {
        return static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8));
    }
    const char* text(std::size_t at) const { return reinterpret_cast<const char*>(bytes.data() + at); }
};

#endif
