// data: the two containers every BerMeas unit passes around (text list, ordered
// multimap) and the file header record of a measurement file. The configuration (conf),
// the object map (objmap), the conversion run (parser) and the PIF manager use them.
#ifndef PM_BERMEAS_DATA_H
#define PM_BERMEAS_DATA_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Texts taken from the configuration or from a measurement file are cut to this many
// characters (a 1024-byte buffer with its terminator in the file format's own terms).
inline constexpr std::size_t max_text_length = 1023;

// Text list: owned texts in insertion order.
using char_list = std::vector<std::string>;

// Ordered multimap: named text lists in order of first insertion. Maps are small
// (configuration keys, header records), so a linear search beats hashing here and keeps
// the order the host gave.
struct map_entry {
    std::string name;
    char_list values;
};
using text_map = std::vector<map_entry>;

// The first entry of that name, or NULL (also for an empty name).
const map_entry* map_find(const text_map& map, std::string_view name);
// Appends `value` under `name`, creating the entry at the end when it is new. An empty
// name or value is ignored. Returns false (map unchanged) only when the heap is exhausted.
bool map_append_value(text_map& map, std::string_view name, std::string_view value) noexcept;
// The values of `name`, or NULL.
const char_list* map_get_values(const text_map& map, std::string_view name);

// Values of the measurement file header. The three texts stay absent until their element
// is read.
struct meas_file_header {
    std::uint32_t file_format_version = 0;
    std::string sender_name_name;   // header name derived from senderName
    std::string sender_name_value;  // its value
    std::optional<std::string> sender_type;
    std::optional<std::string> vendor_name;
    std::optional<std::string> collection_begin_time;
    std::string collection_begin_date;       // format_timestamp of the begin time
    std::string collection_begin_time_text;
};

#endif
