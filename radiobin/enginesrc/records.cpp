// records: output file naming, the PIF header section, section lines, and the walk over
// records and blocks in single-type and pair mode.
#include "records.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string_view>

#include "config.h"
#include "counters.h"
#include "logmsg.h"
#include "output.h"
#include "pif.h"

namespace {

// Blocks after which a record goes on even when their counters could not be decoded.
constexpr std::array<std::uint16_t, 7> g_specialBlocks = {1125, 1130, 1135, 1800, 1810, 190, 91};

constexpr std::array<const char*, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Length 4 marks a block that carries no counter values of its own.
constexpr int empty_block_length = 4;

bool is_special(std::uint32_t type) {
    return std::find(g_specialBlocks.begin(), g_specialBlocks.end(), type) != g_specialBlocks.end();
}

void write_fields(std::initializer_list<std::string_view> fields) {
    for (std::string_view f : fields) OutputData(f);
    OutputWriteToFile();
    OutputStoreInit();
}

// "TYPE_" and the decimal number, as "TYPE_%d" prints it; sections open and close for
// every run of blocks, so this is on the per-block path.
std::string type_name(int type) {
    char text[24] = "TYPE_";
    const auto end = std::to_chars(text + 5, text + sizeof text, type).ptr;
    return std::string(text, end);
}

std::string_view marker_word(std::string_view marker) { return marker.substr(0, marker.size() - 1); }

// The number written in `width` characters of the header (as atoi reads it).
int header_number(const pgrh_form& pgrh, std::size_t at, std::size_t width) {
    char text[8] = {};
    std::memcpy(text, pgrh.text(at), width);
    return std::atoi(text);
}

int period_month(const pgrh_form& pgrh, std::size_t period, const char* which) {
    const int m = header_number(pgrh, period + pgrh_form::month, 2);
    if (m < 1 || m > 12) {
        logmsg(LOG_ERROR, "Failed to convert %s month(%d), setting to 'Jan'", which, m);
        return 1;
    }
    return m;
}

std::time_t period_instant(const pgrh_form& pgrh, std::size_t period, int month) {
    std::tm t{};
    t.tm_year = header_number(pgrh, period + pgrh_form::year, 4) - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = header_number(pgrh, period + pgrh_form::day, 2);
    t.tm_hour = header_number(pgrh, period + pgrh_form::hour, 2);
    t.tm_min = header_number(pgrh, period + pgrh_form::minute, 2);
    t.tm_sec = 0;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

// Whether the output path can be opened as it stands, never cut: the system's limits on a
// path and on one name, and no "/" among the fields after the directory (the OMC name, the
// period texts of the file), which would put the file into another directory. Logs why
// not.
bool output_name_fits(const std::string& path, std::size_t name_start) {
    const std::string_view name = std::string_view(path).substr(name_start);
    if (name.find('/') != std::string_view::npos) {
        logmsg(LOG_ERROR, "ERROR : Output file name '%s' would leave the output directory", path.c_str());
        return false;
    }
    if (path.size() >= PATH_MAX || name.size() > NAME_MAX) {
        logmsg(LOG_ERROR, "ERROR : Output file name longer than the system allows (%zu characters, %zu in the "
               "last part): %s", path.size(), name.size(), path.c_str());
        return false;
    }
    return true;
}

struct period_texts {
    char date[16];
    char time[8];
};

period_texts period_text(const pgrh_form& pgrh, std::size_t period, int month) {
    period_texts out;
    std::snprintf(out.date, sizeof out.date, "%2.2s%3.3s%4.4s", pgrh.text(period + pgrh_form::day), months[month - 1],
                  pgrh.text(period + pgrh_form::year));
    std::snprintf(out.time, sizeof out.time, "%2.2s:%2.2s", pgrh.text(period + pgrh_form::hour),
                  pgrh.text(period + pgrh_form::minute));
    return out;
}

// Seconds to add to local time to get UTC at the start of the period.
std::string gmt_difference(std::time_t start) {
    if (start == static_cast<std::time_t>(-1)) return "unsuitable time";
    std::tm utc{}, local{};
    if (!gmtime_r(&start, &utc) || !localtime_r(&start, &local)) return "unavailable";
    const long diff = static_cast<long>(std::mktime(&utc) - std::mktime(&local));
    return std::to_string(diff);
}

// Writes the section start for a block type. Returns false (logged, nothing written)
// when the type has no configuration.
bool write_data_block_start(int type) {
    logmsg(LOG_DETAIL, "Enter 'write_data_block_start'");
    const block_details* block = get_block_data(static_cast<std::uint32_t>(type));
    if (!block) {
        logmsg(LOG_DECODE, "No counters found for block '%d'", type);
        return false;
    }
    write_fields({marker_word(pif::start_marker), type_name(type)});
    logmsg(LOG_DETAIL, "Printing counter names for block '%d'", type);
    for (const counter_details& c : block->counters) OutputData(c.name);
    OutputWriteToFile();
    OutputStoreInit();
    logmsg(LOG_DETAIL, "Exit 'write_data_block_start'");
    return true;
}

// The first two configured block types m*10+k of a measurement type, in the order their
// names stand in the paired section's names line; a type not found is none (nullptr).
// With `logged`, every candidate without configuration is logged.
std::array<const block_details*, 2> paired_blocks(int meas_type, bool logged) {
    std::array<const block_details*, 2> found{};
    const int candidates = meas_type < 100 ? 10 : 100;
    std::size_t n = 0;
    for (int k = 0; k < candidates && n < found.size(); ++k) {
        const int number = meas_type * 10 + k;
        const block_details* block = get_block_data(static_cast<std::uint32_t>(number));
        if (!block) {
            if (logged) logmsg(LOG_DECODE, "No counters found for block '%d'", number);
            continue;
        }
        found[n++] = block;
    }
    return found;
}

// Writes the start of the paired section of a measurement type: the names of the first
// two configured block types m*10+k.
void write_data_block_start_2(int meas_type) {
    logmsg(LOG_DETAIL, "Enter 'write_data_block_start_2'");
    logmsg(LOG_DETAIL, "meas_type : %d", meas_type);
    write_fields({marker_word(pif::start_marker), type_name(meas_type)});
    for (const block_details* block : paired_blocks(meas_type, true)) {
        if (!block) break;
        logmsg(LOG_DETAIL, "Printing counter names for block '%d'", static_cast<int>(block->block_num));
        for (const counter_details& c : block->counters) OutputData(c.name);
    }
    OutputWriteToFile();
    OutputStoreInit();
    logmsg(LOG_DETAIL, "Exit 'write_data_block_start_2'");
}

void write_data_block_end(int type) {
    logmsg(LOG_DETAIL, "Enter 'write_data_block_end'");
    write_fields({marker_word(pif::end_marker), type_name(type)});
    logmsg(LOG_DETAIL, "Exit 'write_data_block_end'");
}

struct block_frame {
    std::uint32_t type;
    int length;  // of the data, without the block header
};

// The type and data length of the block at `at`; the caller has checked that its header
// lies inside the record.
block_frame get_rec_len(std::span<const std::uint8_t> record, std::size_t at, int release) {
    if (release == 0) return {record[at], record[at + 1]};
    return {static_cast<std::uint32_t>(record[at] | (record[at + 1] << 8)),
            static_cast<std::int16_t>(record[at + 2] | (record[at + 3] << 8))};
}

struct walk_state {
    int expected_sequence = -1;
    bool section_open = false;  // a start line is written and its end line is not
    int section = 0;
    long previous_type = -1;
    // Pair mode: the type whose values lead each line (A) and how many fields it has.
    long first_type = -1;
    int first_type_fields = 0;
    bool pairs_seen = false;
    bool first_saved = false;     // the saved copy holds an A line for the next other block
    bool first_unwritten = false; // ... which no line of the file holds yet
};

int counter_count(const block_details& block) {
    return static_cast<int>(std::distance(block.counters.begin(), block.counters.end()));
}

// Pair mode: A is the type whose names lead the names line, so that its values stand
// under its own names whichever type the file begins with.
void choose_first_type(walk_state& state, int meas_type) {
    const block_details* first = paired_blocks(meas_type, false)[0];
    if (!first) return;  // the type of the first block will do
    state.first_type = first->block_num;
    state.first_type_fields = counter_count(*first);
}

// Pair mode: an A line that waits for its partner and will not get one goes out alone.
void write_waiting_first(walk_state& state) {
    if (!state.first_unwritten) return;
    OutputRestore();
    OutputWriteToFile();
    OutputStoreInit();
    state.first_saved = state.first_unwritten = false;
}

void open_section(walk_state& state, int type) {
    state.section_open = true;
    state.section = type;
}

// Checks the record's sequence number. Returns false on a sequence error.
bool process_record_header(std::span<const std::uint8_t> record, walk_state& state) {
    const int bytes = record[0];
    const auto sequence = static_cast<std::int16_t>(record[2] | (record[3] << 8));
    if (log_wanted(LOG_DETAIL)) {
        logmsg(LOG_DETAIL, "Record Header, Number of bytes '%d'", bytes);
        logmsg(LOG_DETAIL, "Record Header, Record sequence number '%d'", sequence);
        logmsg(LOG_DETAIL, "Record Header, Record type '%d'", record[4]);
        logmsg(LOG_DETAIL, "Record Header, File type '%d'", record[5]);
    }
    if (state.expected_sequence != -1 && state.expected_sequence != sequence) return false;
    state.expected_sequence = static_cast<std::int16_t>(sequence + 1);
    return true;
}

// Decodes the block at the cursor and moves the cursor past it. Returns 1 (another block
// may follow), 0 (record used up, or the counters could not be decoded), -1 (no data or
// an unconfigured type).
int process_one_block(std::span<const std::uint8_t> record, std::size_t& cursor, int release, int header_size) {
    logmsg(LOG_PROGRESS, "Entering  'process_one_block'");
    const block_frame frame = get_rec_len(record, cursor, release);
    if (log_wanted(LOG_DETAIL))
        logmsg(LOG_DETAIL, "Block Length '%d', Block Type '%d'", frame.length, static_cast<int>(frame.type));
    const block_details* block = get_block_data(frame.type);
    if (frame.length < 1 || !block) return -1;
    const std::size_t block_end = cursor + static_cast<std::size_t>(header_size) + static_cast<std::size_t>(frame.length);
    int result = 1;
    if (print_cntrs(*block, cursor, frame.length, header_size, record) == -1) {
        logmsg(LOG_INTERNAL, "Returning an error from print_cntrs\n");
        result = 0;
    }
    if (block_end >= record.size()) {
        logmsg(LOG_INTERNAL, "Can't set the position past the end of the record\n");
        cursor = record.size();
        result = 0;
    } else {
        cursor = block_end;
    }
    logmsg(LOG_PROGRESS, "Leaving  'process_one_block'");
    return result;
}

long stream_position(std::FILE* stream) { return std::ftell(stream); }

// One block of a file whose blocks each make a line: consecutive blocks of one type share
// a section. Returns process_one_block's result.
int walk_single(walk_state& state, std::span<const std::uint8_t> record, std::size_t& cursor,
                const block_frame& frame, int release, int header_size) {
    const long t = frame.type;
    const bool has_data = frame.length != empty_block_length;
    OutputStoreInit();
    if (t != state.previous_type) {
        if (state.section_open) {
            write_data_block_end(state.section);
            state.section_open = false;
        }
        state.previous_type = t;
    }
    // A run that began with empty blocks has no section yet.
    if (has_data && !state.section_open && write_data_block_start(static_cast<int>(t)))
        open_section(state, static_cast<int>(t));
    const int result = process_one_block(record, cursor, release, header_size);
    if (result == -1) return result;
    if (has_data) OutputWriteToFile();
    OutputStoreInit();
    return result;
}

// One block of a file whose blocks come in pairs (A, B): a line holds A's values, then
// B's, each under its own names. Returns process_one_block's result.
int walk_pair(walk_state& state, std::span<const std::uint8_t> record, std::size_t& cursor,
              const block_frame& frame, std::int16_t meas_type, int release, int header_size) {
    const long t = frame.type;
    const bool first_block = !state.section_open;
    if (first_block) {
        OutputStoreInit();
        write_data_block_start_2(meas_type);
        open_section(state, meas_type);
        if (state.first_type == -1) {
            const block_details* block = get_block_data(frame.type);
            state.first_type = t;
            state.first_type_fields = block ? counter_count(*block) : 0;
        }
    }
    const bool is_first_type = t == state.first_type;
    if (is_first_type) {
        write_waiting_first(state);
        OutputStoreInit();
    } else if (state.first_saved) {
        OutputRestore();
    } else {
        // No A values for this line: empty fields keep the others under their names.
        OutputStoreInit();
        for (int i = 0; i < state.first_type_fields; ++i) OutputData({});
    }
    const int result = process_one_block(record, cursor, release, header_size);
    if (result == -1) return result;
    if (!is_first_type) {
        OutputWriteToFile();
        OutputStoreInit();
        state.first_saved = state.first_unwritten = false;
        state.pairs_seen = true;
    } else if (state.pairs_seen || first_block) {
        OutputStore();  // waits for its partner block
        state.first_saved = state.first_unwritten = true;
        // The first block of the file also stands alone.
        if (first_block && result == 1) {
            OutputWriteToFile();
            state.first_unwritten = false;
        }
    } else {
        OutputWriteToFile();
        OutputStoreInit();
        state.first_saved = false;
    }
    return result;
}

// The blocks of one record, up to its end mark. Returns false on a block error (logged).
bool walk_record(walk_state& state, std::FILE* stream, std::span<const std::uint8_t> record, bool pair_mode,
                 std::int16_t meas_type, int release, int header_size) {
    std::size_t cursor = record_header_size;
    // A block header that does not fit in what is left of the record ends it too.
    while (cursor + static_cast<std::size_t>(header_size) <= record.size() && record[cursor] != end_of_blocks) {
        const block_frame frame = get_rec_len(record, cursor, release);
        const int result = pair_mode ? walk_pair(state, record, cursor, frame, meas_type, release, header_size)
                                     : walk_single(state, record, cursor, frame, release, header_size);
        if (result == -1) {
            logmsg(LOG_ERROR, "ERROR : Block error detected, discarding %s %ld", pair_mode ? "(1)" : "(2)",
                   stream_position(stream));
            return false;
        }
        if (result == 0 && !(is_special(frame.type) && cursor < record.size())) {
            logmsg(LOG_INTERNAL, "Break out of the loop and read the next record");
            break;
        }
    }
    return true;
}

}  // namespace

int num_of_relevant_blks_in_config(int m) {
    int n = 0;
    if (m == 100) {
        n = 1;
    } else if (m == 110 || m == 7 || m == 180) {
        n = 4;
    } else {
        for (int k = 0; k < 10; ++k) {
            if (get_block_data(static_cast<std::uint32_t>(m * 10 + k)) ||
                get_block_data(static_cast<std::uint32_t>(m * 100 + k)))
                ++n;
        }
    }
    logmsg(LOG_DETAIL, "Measurement type '%d', number of block types '%d'", m, n);
    return n;
}

int start_output(int bss_number, const pgrh_form& pgrh, std::int16_t& meas_type, const char* omc_name,
                 const char* out_dir, std::string& out_name, const char* network_id, const char* region_id) {
    logmsg(LOG_DETAIL, "Enter 'start_output'");
    const int start_month = period_month(pgrh, pgrh_form::period_start, "start");
    const int end_month = period_month(pgrh, pgrh_form::period_end, "end");
    const period_texts start = period_text(pgrh, pgrh_form::period_start, start_month);
    const period_texts end = period_text(pgrh, pgrh_form::period_end, end_month);
    const std::time_t start_instant = period_instant(pgrh, pgrh_form::period_start, start_month);
    const std::time_t end_instant = period_instant(pgrh, pgrh_form::period_end, end_month);
    char granularity[32];
    std::snprintf(granularity, sizeof granularity, "%.0lf", std::difftime(end_instant, start_instant));

    meas_type = pgrh.s16(pgrh_form::meas_type);
    const std::string measure_type = type_name(meas_type);
    try {
        const std::string bss = std::to_string(bss_number);
        std::string path;
        path.reserve(std::strlen(out_dir) + std::strlen(omc_name) + 100);
        path.append(out_dir).append("/").append(measure_type);
        for (std::string_view field : {std::string_view(bss), std::string_view(omc_name), std::string_view(start.date),
                                       std::string_view(start.time), std::string_view(end.date),
                                       std::string_view(end.time)}) {
            path.append(pif::name_separator).append(field);
        }
        path.append(pif::name_separator).append(pif::name_end_radiobin);
        out_name = std::move(path);
        if (!output_name_fits(out_name, std::strlen(out_dir) + 1)) return -1;
        // Every text is made before the file is opened: nothing can fail between the
        // header's start line and its end line.
        const std::string gmtdiff = gmt_difference(start_instant);
        const std::string mob_class = std::to_string(pgrh.s16(pgrh_form::mob_class));
        const std::string mob_instance = std::to_string(pgrh.s16(pgrh_form::mob_instance));
        const std::string release = std::to_string(pgrh.s16(pgrh_form::release));

        if (!OutputOpenFile(out_name.c_str())) {
            logmsg(LOG_ERROR, warnmsg[W_OPEN_OUTPUT], out_name.c_str());
            return -1;
        }
        write_fields({pif::banner_radiobin});
        write_fields({marker_word(pif::start_marker), pif::header_section});
        write_fields({"STARTDATE", "STARTTIME", "ENDDATE", "ENDTIME", "MEASURE_TYPE", "MOBCLASS", "MOBINST",
                      "BSS_VERSION", "BSSNUM", "OMCNAME", "NETWORK_ID", "REGION_ID", "GMTDIFF", "granularity"});
        write_fields({start.date, start.time, end.date, end.time, measure_type, mob_class, mob_instance, release, bss,
                      omc_name, network_id, region_id, gmtdiff, granularity});
        write_fields({marker_word(pif::end_marker), pif::header_section});
    } catch (const std::bad_alloc&) {
        logmsg(LOG_ERROR, "ERROR: Unable to allocate memory\n");
        return -1;
    }
    logmsg(LOG_DETAIL, "Exit 'start_output'");
    return 0;
}

int procrecs(std::FILE* stream, const pgrh_form& pgrh, std::span<std::uint8_t> buffer, int bss_number, int release,
             const char* out_dir, const char* omc_name, int header_size, std::string& out_name, const char* network_id,
             const char* region_id) {
    std::int16_t meas_type = 0;
    if (start_output(bss_number, pgrh, meas_type, omc_name, out_dir, out_name, network_id, region_id) != 0) {
        logmsg(LOG_DECODE, "Problem starting the output");
        logmsg(LOG_PROGRESS, "number block types : %d ", 0);
        OutputStoreInit();
        return -1;
    }
    const int block_types = num_of_relevant_blks_in_config(meas_type);
    logmsg(LOG_PROGRESS, "number block types : %d ", block_types);
    if (block_types == 0) {
        logmsg(LOG_ERROR, "No Blocks found in Configuration information");
        OutputStoreInit();
        OutputCloseFile();
        return -1;
    }
    const bool pair_mode = block_types == 2;
    walk_state state;
    if (pair_mode) choose_first_type(state, meas_type);
    bool failed = false;

    logmsg(LOG_PROGRESS, "File position 1 : %ld", stream_position(stream));
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
    while (!failed) {
        if (got < buffer.size()) {
            if (!std::feof(stream)) {
                logmsg(LOG_INPUT, "%s", warnmsg[W_SHORT_RECORD]);
                failed = true;
            }
            break;
        }
        const std::span<const std::uint8_t> record(buffer.data(), buffer.size());
        if (!process_record_header(record, state)) {
            logmsg(LOG_ERROR, "ERROR : rec sequence error detected, discarding %ld", stream_position(stream));
            failed = true;
            break;
        }
        if (!walk_record(state, stream, record, pair_mode, meas_type, release, header_size)) {
            failed = true;
            break;
        }
        got = std::fread(buffer.data(), 1, buffer.size(), stream);
        if (log_wanted(LOG_PROGRESS)) logmsg(LOG_PROGRESS, "File position 2 : %ld", stream_position(stream));
    }

    // A half-built line is dropped; an A line still waiting is whole.
    write_waiting_first(state);
    OutputStoreInit();
    if (state.section_open) write_data_block_end(state.section);
    // A failed walk keeps the lines written before and closes its section: the result
    // code alone tells the host that the file is not whole.
    if (!OutputCloseFile()) failed = true;
    return failed ? -1 : 0;
}
