// pifmanager: collects what the conversion run (parser) extracts from a measurement file
// and writes it as PIF files, one per measurement-info block: the header section from
// the block's header pairs, then one data block named after the measured object class,
// with a column line and one line per measurement value. The file of a block is opened
// when the first value of its first measurement value arrives and closed when the next
// block opens its file or the manager is released.
#ifndef PM_BERMEAS_PIFMANAGER_H
#define PM_BERMEAS_PIFMANAGER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "conf.h"
#include "data.h"

struct perf_data;

// Block name when no object class is known.
inline constexpr std::string_view default_block_name = "ASN1DATA";

// A counter value of at most 15 characters held in 16 octets, so that it can be copied
// as one fixed-size block whatever its length (see format_counter_number).
struct short_counter_value {
    char text[16];
    std::size_t size;
};

// Numbers the PIF files of the process; never reset, so names stay unique across the
// conversions of one process.
extern std::uint32_t g_count;

struct pif_file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

struct pif_manager {
    const config* conf = nullptr;
    std::unique_ptr<std::FILE, pif_file_closer> stream;
    std::string path;                   // of the file being written
    bool new_block = false;             // a block began and no value arrived since
    bool new_instance = false;          // a measurement value began and no value arrived since
    bool header_reset = false;          // the next header pair starts new header lists
    bool counter_names_open = false;    // the block's counter-name list has been started
    bool block_started = false;         // start marker and column line are written
    bool header_open = false;           // the header's end line is still to be written
    bool failed = false;                // a PIF file could not be opened or written
    bool lost_lines_said = false;       // the lines lost to a missing file were reported
    char_list header_names;
    char_list header_values;
    std::optional<std::string> block_name;  // class of the current measurement value
    std::string started_block_name;     // name in the start marker of the open block
    char_list file_name_parts;
    char_list counter_names;            // measurement types and "suspectFlag"
    char_list object_column_names;
    char_list counter_values;           // the line being assembled
    bool have_counter_values = false;
    std::string line;                   // reused output buffer
};

// A manager writing into the configuration's output directory; NULL for a NULL
// configuration or an exhausted heap.
std::unique_ptr<pif_manager> pif_manager_new(const config* conf) noexcept;
// Closes the current file with its end line, then releases the manager. False when a
// file of this manager could not be opened or written completely.
bool pif_manager_delete(std::unique_ptr<pif_manager>& pm) noexcept;
// Closes the current file as it stands, without end line (and, when no data block was
// begun, without the header's end line either), so that a loader sees it is incomplete;
// then releases the manager. For conversions that fail part-way.
void pif_manager_abandon(std::unique_ptr<pif_manager>& pm) noexcept;

void pif_manager_set_new_meas_info_seq(pif_manager* pm);
void pif_manager_set_new_meas_obj_inst_id(pif_manager* pm);
// Ignored for an empty name or an absent value; an empty value is kept.
void pif_manager_add_header_name_value(pif_manager* pm, std::string_view name, const std::string* value);
// Sets the block name and the file-name parts (the class, then the configured fields'
// values found in `state`). Ignored for an empty class.
void pif_manager_set_block_name(pif_manager* pm, std::string_view class_name, const perf_data& state);
void pif_manager_set_object_counter_name_list(pif_manager* pm, const char_list& names);
// Ignored for an empty name.
void pif_manager_add_counter_name(pif_manager* pm, std::string_view name);
// Adds a value to the line; the first value of a block's first measurement value opens
// the block's file.
void pif_manager_add_counter_value(pif_manager* pm, std::string_view value);
// The same for a short value; what the 16 octets hold after `size` is not used.
inline void pif_manager_add_counter_value(pif_manager* pm, const short_counter_value& value);
// Every case of the above; the inline function takes the common one itself.
void pif_manager_add_short_counter_value(pif_manager* pm, const short_counter_value& value);
// Writes the assembled line (with the block's start marker and column line first when
// they are not yet written) and releases it.
void pif_manager_write_counters(pif_manager* pm);

// ---- implementation of the inline function ----

// Appends a short value built from all 15 characters and then cut: a copy of fixed size,
// where a copy of `size` characters would branch on a length that changes from value to
// value.
inline void append_short_value(char_list& values, const short_counter_value& value) {
    values.emplace_back(value.text, sizeof value.text - 1).resize(value.size);
}

inline void pif_manager_add_counter_value(pif_manager* pm, const short_counter_value& value) {
    // A value that continues the line being assembled: nearly every value of a file.
    if (pm && !pm->new_instance && pm->have_counter_values) {
        append_short_value(pm->counter_values, value);
        pm->new_block = false;
        return;
    }
    pif_manager_add_short_counter_value(pm, value);
}

#endif
