// pifmanager: PIF files of a conversion. The state machine of the conversion run
// (parser) marks blocks and measurement values and hands over header pairs, column
// names and values; this unit decides when a file starts and writes it.
#include "pifmanager.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "parser.h"
#include "pif.h"
#include "pmalloc.h"
#include "util.h"

std::uint32_t g_count = 0;

namespace {

// Room left after a joined line so that every short field can be copied as one block of
// `short_field` octets, whatever its length.
constexpr std::size_t short_field = 16;

// Copies the text of a field. A std::string always holds at least 15 characters and its
// terminator, so that a short field's 16 octets can be copied in one fixed-size move: no
// branch on the length, which differs from one counter value to the next.
inline char* copy_field(char* to, const std::string& field) {
    const std::size_t n = field.size();
    if (n <= short_field && field.capacity() + 1 >= short_field) {
        std::memcpy(to, field.data(), short_field);
    } else {
        std::memcpy(to, field.data(), n);
    }
    return to + n;
}

void append_joined(std::string& out, const char_list& fields) {
    if (fields.empty()) return;
    // One size check for the whole line, then plain copies: a value line has a field
    // per counter and there is a line per measured object.
    std::size_t size = out.size() + fields.size() - 1;
    for (const std::string& field : fields) size += field.size();
    const std::size_t at = out.size();
    out.resize(size + short_field);
    char* to = copy_field(out.data() + at, fields.front());
    for (std::size_t i = 1; i < fields.size(); ++i) {
        *to++ = pif::separator;
        to = copy_field(to, fields[i]);
    }
    out.resize(size);
}

// Writes the assembled text, remembering a failed write so that the conversion is not
// reported complete.
void flush_line(pif_manager& pm) {
    if (!pm.stream || pm.line.empty()) return;
    if (std::fwrite(pm.line.data(), 1, pm.line.size(), pm.stream.get()) != pm.line.size()) pm.failed = true;
    pm.line.clear();
}

// Value lines collect in the manager's line buffer up to this size before they are
// written: one write per line would cost more than assembling the line.
constexpr std::size_t line_flush_size = 32 * 1024;

// The header's end line goes out with whatever follows it (the data block's start, or
// the close of a file whose values were all suspect): a file cut short right after its
// header must not pass for one that has no data.
void close_header(pif_manager& pm) {
    if (!pm.header_open) return;
    pm.line.append(pif::end_marker).append(pif::header_section) += pif::line_end;
    pm.header_open = false;
}

// Closes the current file; with `complete` the open block (or the header) first gets its
// end line.
void close_output_file(pif_manager& pm, bool complete) {
    if (!pm.stream) return;
    if (complete) {
        close_header(pm);
        if (pm.block_started) pm.line.append(pif::end_marker).append(pm.started_block_name) += pif::line_end;
    }
    flush_line(pm);  // the lines collected so far belong to the file, complete or not
    pm.header_open = false;
    pm.line.clear();
    if (complete) {
        log_message(log_progress, "Closing PIF file");
    } else {
        log_message(log_error, "Leaving PIF file without end line: %s", pm.path.c_str());
    }
    const bool write_error = std::ferror(pm.stream.get()) != 0;
    if (std::fclose(pm.stream.release()) != 0 || write_error) {
        pm.failed = true;
        log_message(log_error, "Cannot write PIF file %s", pm.path.c_str());
    }
    pm.block_started = false;
}

// The name of a file: the output directory, then the non-empty name parts each followed
// by "-#-" (with "/" in them made "_", so that values cannot leave the directory), the
// file counter and "-#-I.pif".
std::string next_file_name(const pif_manager& pm) {
    std::string parts;
    for (const std::string& part : pm.file_name_parts) {
        if (part.empty()) continue;
        parts.append(part).append(pif::name_separator);
    }
    std::replace(parts.begin(), parts.end(), '/', '_');
    char count[16];
    const auto written = std::to_chars(count, count + sizeof count, g_count);
    std::string name = pm.conf->output_dir.value_or(std::string{});
    name += '/';
    name += parts;
    name.append(count, written.ptr);
    name.append(pif::name_separator).append(pif::name_end_bermeas);
    // Never cut: a cut name lies in another directory or names another file. A name the
    // system refuses (longer than PATH_MAX, or a part longer than NAME_MAX) fails the open.
    return name;
}

void start_new_file(pif_manager& pm) {
    std::string name = next_file_name(pm);
    ++g_count;
    close_output_file(pm, true);
    pm.path = std::move(name);
    log_message(log_progress, "Opening PIF file %s", pm.path.c_str());
    errno = 0;
    if (pm.conf->output_dir) pm.stream.reset(std::fopen(pm.path.c_str(), "wb"));
    const int open_error = errno;
    if (pm.stream) {
        pm.line.append(pif::banner_bermeas) += pif::line_end;
        pm.line.append(pif::start_marker).append(pif::header_section) += pif::line_end;
        append_joined(pm.line, pm.header_names);
        pm.line += pif::line_end;
        append_joined(pm.line, pm.header_values);
        pm.line += pif::line_end;
        flush_line(pm);
        pm.header_open = true;
    } else {
        pm.failed = true;
        log_message(log_error, "Cannot open PIF file %s: %s", pm.path.c_str(),
                    open_error ? std::strerror(open_error) : "no output directory");
    }
    pm.block_started = false;
}

// The value a configured file-name field designates, or NULL.
const std::string* name_field_value(const perf_data& state, std::string_view field) {
    const meas_file_header& h = state.header;
    if (field == h.sender_name_name) return &h.sender_name_value;
    if (field == "senderType") return h.sender_type ? &*h.sender_type : nullptr;
    if (field == "vendorName") return h.vendor_name ? &*h.vendor_name : nullptr;
    if (field == state.user_name_name) return &state.user_name_value;
    if (field == state.dn_name) return &state.dn_value;
    if (field == "measTimeStamp") return &state.time_stamp;
    if (field == "measTimeStamp_Date") return &state.time_stamp_date;
    if (field == "measTimeStamp_Time") return &state.time_stamp_time;
    if (field == "granularityPeriod") return &state.granularity;
    if (field == "COLLECTION_INTERVAL_MINS") return &state.collection_interval;
    return nullptr;
}

}  // namespace

std::unique_ptr<pif_manager> pif_manager_new(const config* conf) noexcept {
    if (!conf) return nullptr;
    auto pm = pm_new<pif_manager>();
    if (pm) pm->conf = conf;
    return pm;
}

bool pif_manager_delete(std::unique_ptr<pif_manager>& pm) noexcept {
    if (!pm) return true;
    if (!pm_try([&] { close_output_file(*pm, true); })) {
        pm->stream.reset();  // what was written stays, without end line
        pm->failed = true;
    }
    const bool written = !pm->failed;
    pm.reset();
    return written;
}

void pif_manager_abandon(std::unique_ptr<pif_manager>& pm) noexcept {
    if (!pm) return;
    close_output_file(*pm, false);
    pm.reset();
}

void pif_manager_set_new_meas_info_seq(pif_manager* pm) {
    if (!pm) return;
    pm->new_block = true;
    pm->header_reset = true;
    // A block without values never closed its counter names: they are not this block's.
    pm->counter_names_open = false;
}

void pif_manager_set_new_meas_obj_inst_id(pif_manager* pm) {
    if (!pm) return;
    pm->counter_names_open = false;
    pm->new_instance = true;
}

void pif_manager_add_header_name_value(pif_manager* pm, std::string_view name, const std::string* value) {
    if (!pm || name.empty() || !value) return;
    if (pm->header_reset) {
        pm->header_names.clear();
        pm->header_values.clear();
        pm->header_reset = false;
    }
    pm->header_names.emplace_back(name);
    pm->header_values.push_back(*value);
}

void pif_manager_set_block_name(pif_manager* pm, std::string_view class_name, const perf_data& state) {
    if (!pm || class_name.empty()) return;
    // Called for every measured object: the parts are assigned over the previous ones so
    // that their buffers are reused.
    char_list& parts = pm->file_name_parts;
    std::size_t count = 0;
    const auto put = [&parts, &count](std::string_view text) {
        if (count < parts.size()) {
            parts[count].assign(text);
        } else {
            parts.emplace_back(text);
        }
        ++count;
    };
    put(class_name);
    for (const std::string& field : pm->conf->pif_filename_fields) {
        if (const std::string* value = name_field_value(state, field)) put(*value);
    }
    parts.resize(count);
    if (pm->block_name) {
        pm->block_name->assign(class_name);
    } else {
        pm->block_name.emplace(class_name);
    }
}

void pif_manager_set_object_counter_name_list(pif_manager* pm, const char_list& names) {
    if (!pm) return;
    pm->object_column_names = names;
}

void pif_manager_add_counter_name(pif_manager* pm, std::string_view name) {
    if (!pm || name.empty()) return;
    if (!pm->counter_names_open) {
        pm->counter_names.clear();
        pm->counter_names_open = true;
    }
    pm->counter_names.emplace_back(name);
}

namespace {

// `append` puts the value at the end of the counter values.
template <class Append>
void add_counter_value(pif_manager& pm, Append append) {
    if (pm.new_block && pm.new_instance) start_new_file(pm);
    if (pm.new_instance) {
        pm.counter_values.clear();
        append(pm.counter_values);
        pm.have_counter_values = true;
    } else if (pm.have_counter_values) {
        append(pm.counter_values);
    }
    pm.new_block = false;
    pm.new_instance = false;
}

}  // namespace

void pif_manager_add_counter_value(pif_manager* pm, std::string_view value) {
    if (!pm) return;
    add_counter_value(*pm, [value](char_list& values) { values.emplace_back(value); });
}

void pif_manager_add_short_counter_value(pif_manager* pm, const short_counter_value& value) {
    if (!pm) return;
    add_counter_value(*pm, [&value](char_list& values) { append_short_value(values, value); });
}

void pif_manager_write_counters(pif_manager* pm) {
    if (!pm) return;
    if (!pm->stream) {
        // Once per conversion: a file that cannot be opened loses every line of its block.
        if (!pm->lost_lines_said) std::fputs("pif_manager_write_counters(): pm->fp is null !!!\n", stderr);
        pm->lost_lines_said = true;
        return;
    }
    if (!pm->have_counter_values) return;
    if (!pm->block_started) {
        close_header(*pm);
        pm->started_block_name = pm->block_name.value_or(std::string(default_block_name));
        pm->line.append(pif::start_marker).append(pm->started_block_name) += pif::line_end;
        for (const std::string& column : pm->object_column_names) pm->line.append(column) += pif::separator;
        append_joined(pm->line, pm->counter_names);
        pm->line += pif::line_end;
        pm->block_started = true;
    }
    append_joined(pm->line, pm->counter_values);
    pm->line += pif::line_end;
    if (pm->line.size() >= line_flush_size) flush_line(*pm);
    pm->counter_values.clear();
    pm->have_counter_values = false;
}
