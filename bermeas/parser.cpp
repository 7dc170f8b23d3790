// parser: the conversion run and the state machine over the measurement file's nesting.
// Called by BerMeas::process_file (XS glue) and by bermeas-convert; drives the object
// map (objmap) and the PIF manager (pifmanager).
//
// The machine knows the file only by nesting level, tag number and the state it came
// from: the root is level 0, measFileHeader and measData level 1, the header fields
// level 2, one measData level 2 with nEId and measInfo at level 3, one measInfo at level
// 4 with its time stamp, granularity, measTypes and measValues at level 5, one type or
// one value at level 6, measObjInstId, measResults and suspectFlag at level 7 and one
// result at level 8.
#include "parser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "asn1parse.h"
#include "pmalloc.h"
#include "util.h"

namespace {

constexpr unsigned run_log_level = 5;
constexpr std::size_t input_buffer_size = 64 * 1024;
constexpr std::size_t match_slots = 10;
constexpr std::size_t max_group_length = 1022;

constexpr std::array<std::string_view, 12> month_names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// An exhausted heap ends the run through the one handler in parse_input_file, which logs
// it and reports the failure.
void require_memory(bool allocated) {
    if (!allocated) throw std::bad_alloc();
}

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

std::string cut(std::string_view text) { return std::string(text.substr(0, max_text_length)); }

template <class Unsigned>
std::string decimal(Unsigned value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

// The content octets up to the first NUL, whatever their number.
std::string content_text(const asn1_object& element) {
    if (!element.data || element.length == 0) return {};
    const auto* begin = reinterpret_cast<const char*>(element.data.get());
    const std::string_view all(begin, element.length);
    return std::string(all.substr(0, all.find('\0')));
}

// Releases the held PIF manager: with `complete` its file gets its end line. Remembers a
// file that could not be written.
void release_pif(perf_data& state, bool complete) {
    if (!state.pif) return;
    if (state.pif->failed) state.pif_failed = true;
    if (complete) {
        if (!pif_manager_delete(state.pif)) state.pif_failed = true;
    } else {
        pif_manager_abandon(state.pif);
    }
}

// Eight decimal digits of `value` (below 10^8) as the octets of a 64-bit word, the first
// digit in the lowest octet: both halves of four digits are divided in parallel, by 100
// and then by 10, with multiplications that are exact in this range.
[[gnu::always_inline]] inline std::uint64_t eight_digits(std::uint32_t value) {
    const std::uint64_t merged = (value / 10000) | (static_cast<std::uint64_t>(value % 10000) << 32);
    const std::uint64_t top = ((merged * 10486) >> 20) & ((0x7FULL << 32) | 0x7FULL);
    const std::uint64_t bottom = merged - 100 * top;
    const std::uint64_t hundreds = (bottom << 16) + top;
    std::uint64_t tens = (hundreds * 103) >> 10;
    tens &= (0xFULL << 48) | (0xFULL << 32) | (0xFULL << 16) | 0xFULL;
    tens += (hundreds - 10 * tens) << 8;
    return tens | 0x3030303030303030ULL;
}

// ---- states and their actions ----

void on_root(perf_data& state) {
    // Only a restart finds a manager held: the block being written lost the values after
    // the element that could not be placed, so its file is closed without end line.
    const bool lost_lines_said = state.pif && state.pif->lost_lines_said;
    release_pif(state, false);
    state.pif = pif_manager_new(state.conf);
    if (!state.pif) {
        state.out_of_memory = true;
        return;
    }
    state.pif->lost_lines_said = lost_lines_said;
}

// A measurement collection is a SEQUENCE that opens with measFileHeader; any other input
// (an XML file, another ASN.1 structure) may still walk the states without writing.
void on_file_header(perf_data& state, const asn1_object& element) {
    if (state.root_is_sequence && element.asn_class == ASN1_CONTEXT && element.pc == PC_CONSTRUCTED &&
        element.tag == 0) {
        state.collection_seen = true;
    }
}

void on_header_block(perf_data& state) {
    pif_manager* pm = state.pif.get();
    const meas_file_header& h = state.header;
    pif_manager_set_new_meas_info_seq(pm);
    const std::string version = decimal(h.file_format_version);
    pif_manager_add_header_name_value(pm, "fileFormatVersion", &version);
    pif_manager_add_header_name_value(pm, h.sender_name_name, &h.sender_name_value);
    pif_manager_add_header_name_value(pm, "senderType", h.sender_type ? &*h.sender_type : nullptr);
    pif_manager_add_header_name_value(pm, "vendorName", h.vendor_name ? &*h.vendor_name : nullptr);
    pif_manager_add_header_name_value(pm, "collectionBeginTime_Date", &h.collection_begin_date);
    pif_manager_add_header_name_value(pm, "collectionBeginTime_Time", &h.collection_begin_time_text);
    pif_manager_add_header_name_value(pm, state.user_name_name, &state.user_name_value);
    pif_manager_add_header_name_value(pm, state.dn_name, &state.dn_value);
    for (const map_entry& record : state.header_records) {
        if (!record.values.empty()) pif_manager_add_header_name_value(pm, record.name, &record.values.front());
    }
}

void on_measurement_type(perf_data& state, const asn1_object& element) {
    std::string name = assign_string_value(element);
    for (char& c : name) {
        if (c == '.' || c == '-' || c == ',') c = '_';
    }
    pif_manager_add_counter_name(state.pif.get(), name);
}

void on_object_instance(perf_data& state, const asn1_object& element) {
    pif_manager* pm = state.pif.get();
    pif_manager_set_new_meas_obj_inst_id(pm);
    const std::string text = assign_string_value(element);
    std::string_view class_name;
    // A measured object per measurement value: the lists keep their buffers from one to
    // the next.
    char_list& columns = state.object_columns;
    char_list& values = state.object_values;
    columns.clear();
    values.clear();
    object_map_translate(state.objmap, class_name, text, columns, values);
    pif_manager_set_object_counter_name_list(pm, columns);
    pif_manager_set_block_name(pm, class_name, state);
    for (const std::string& value : values) pif_manager_add_counter_value(pm, value);
}

// A result that is no iValue.
void on_other_result(perf_data& state, const asn1_object& element) {
    std::string value;
    switch (element.tag) {
        case 1:  // rValue; an encoding that is no REAL leaves the field empty
            if (!format_real_value(element.data.get(), element.data ? element.length : 0, value)) value.clear();
            break;
        case 2:  // noValue
            if (state.conf->alternative_counter_null_value) value = *state.conf->alternative_counter_null_value;
            break;
        default:  // a later alternative this converter does not know
            break;
    }
    pif_manager_add_counter_value(state.pif.get(), value);
}

void on_result(perf_data& state, const asn1_object& element) {
    // iValue, an unsigned 32-bit counter, is the common case: no string of its own. Its
    // content of one to eight octets is taken as one 8-octet load, which the streaming
    // walk's buffer allows (asn1_stream_content_room), instead of octet by octet.
    if (element.tag == 0) {
        const std::uint32_t length = element.length;
        std::uint32_t value;
        if (element.data && length - 1 < 8) {
            static_assert(asn1_stream_content_room >= 8);
            std::uint64_t word;
            std::memcpy(&word, element.data.get(), sizeof word);
            value = static_cast<std::uint32_t>(__builtin_bswap64(word) >> (64 - 8 * length));
        } else {
            value = get_int_value(element);
        }
        pif_manager_add_counter_value(state.pif.get(), format_counter_number(value));
    } else {
        on_other_result(state, element);
    }
}

// End of a measurement value: its line is written unless the value is flagged suspect.
// `flag` is the suspectFlag element, or NULL when the value ended without one (the
// flag's default is FALSE).
void on_value_end(perf_data& state, const asn1_object* flag) {
    if (flag && flag->data && flag->length > 0 && flag->data[0] != 0) return;
    pif_manager_add_counter_value(state.pif.get(), "00");
    pif_manager_write_counters(state.pif.get());
}

void run_action(perf_data& state, std::int32_t n, const asn1_object& element) {
    meas_file_header& h = state.header;
    using namespace parse_state;
    switch (n) {
        case root:
            on_root(state);
            // A restart reaches this state from an element that is no root.
            if (!state.restarted) {
                state.root_is_sequence = element.asn_class == ASN1_UNIVERSAL && element.pc == PC_CONSTRUCTED &&
                                         element.tag == ASN1_TAG_SEQUENCE;
            }
            break;
        case file_header:
            on_file_header(state, element);
            break;
        case file_format_version:
            h.file_format_version = get_int_value(element);
            break;
        case sender_name:
            extract_object_name_and_value(state, "senderName", h.sender_name_name, h.sender_name_value,
                                          assign_string_value(element));
            break;
        case sender_type:
            h.sender_type = content_text(element);
            break;
        case vendor_name:
            h.vendor_name = content_text(element);
            break;
        case collection_begin_time:
            h.collection_begin_time = content_text(element);
            format_timestamp(*h.collection_begin_time, h.collection_begin_date, h.collection_begin_time_text);
            break;
        case ne_user_name:
            extract_object_name_and_value(state, "nEUserName", state.user_name_name, state.user_name_value,
                                          assign_string_value(element));
            break;
        case ne_distinguished_name:
            extract_object_name_and_value(state, "nEDistinguishedName", state.dn_name, state.dn_value,
                                          assign_string_value(element));
            break;
        case meas_info_item:
            on_header_block(state);
            break;
        case meas_time_stamp:
            state.time_stamp = assign_string_value(element);
            format_timestamp(state.time_stamp, state.time_stamp_date, state.time_stamp_time);
            pif_manager_add_header_name_value(state.pif.get(), "measTimeStamp_Date", &state.time_stamp_date);
            pif_manager_add_header_name_value(state.pif.get(), "measTimeStamp_Time", &state.time_stamp_time);
            break;
        case granularity_period: {
            const std::uint32_t seconds = get_int_value(element);
            state.granularity = decimal(seconds);
            state.collection_interval = decimal(seconds / 60);
            pif_manager_add_header_name_value(state.pif.get(), "granularityPeriod", &state.granularity);
            pif_manager_add_header_name_value(state.pif.get(), "COLLECTION_INTERVAL_MINS", &state.collection_interval);
            break;
        }
        case meas_type:
            on_measurement_type(state, element);
            break;
        case meas_values:
            pif_manager_add_counter_name(state.pif.get(), "suspectFlag");
            break;
        case meas_obj_inst_id:
            on_object_instance(state, element);
            break;
        case meas_result:
            on_result(state, element);
            break;
        case suspect_flag:
            on_value_end(state, &element);
            break;
        case file_footer:
            release_pif(state, true);
            break;
        default:  // the other states mark structure only
            break;
    }
}

constexpr std::int32_t no_transition = -1;

// An element the machine cannot place after a measurement value: say so and start over.
std::int32_t restart(perf_data& state, const char* message) {
    std::fputs(message, stdout);
    std::fflush(stdout);
    log_message(log_error, "%.*s", static_cast<int>(std::string_view(message).size() - 1), message);
    state.restarted = true;
    return parse_state::root;
}

std::int32_t after_value_end(perf_data& state, std::uint32_t level, std::uint32_t tag) {
    using namespace parse_state;
    switch (level) {
        case 1: return file_footer;
        case 2: return meas_data_item;
        case 4: return meas_info_item;
        case 5: return after_value_1;
        case 6: return meas_value;
        default: {
            char message[96];
            std::snprintf(message, sizeof message, "ERROR 1 !!! indent: %d, tag: %d\n", static_cast<int>(level),
                          static_cast<int>(tag));
            return restart(state, message);
        }
    }
}

// The next state for an element at `level` with tag number `tag`, or no_transition.
// Where a state is followed by the next in number, p + 1 stands for it.
std::int32_t next_state(perf_data& state, const asn1_object& element, std::uint32_t level) {
    using namespace parse_state;
    const std::int32_t p = state.previous_state;
    const std::uint32_t tag = element.tag;
    if (level == 0) return root;
    if (level == 1 && p == root) return file_header;
    if (level == 2 && p >= file_header && p <= vendor_name) return p + 1;
    if (tag == 1 && p == collection_begin_time) return meas_data;
    if (level == 2 && p == meas_data) return meas_data_item;
    if (level == 3 && p == meas_data_item) return ne_id;
    if (level == 4 && (p == ne_id || p == ne_user_name)) return p + 1;
    switch (p) {
        case ne_distinguished_name: return tag == 1 ? meas_info : ne_id_extra;
        case ne_id_extra: return meas_info;
        // A SEQUENCE OF may be empty; then the element after it belongs to the enclosing
        // structure and must not be taken for the list's first member.
        case meas_info:  // an empty one ends at the next measData or the footer
            return level == 1 ? file_footer : level == 2 ? meas_data_item : meas_info_item;
        case meas_info_item: case meas_time_stamp: case granularity_period: return p + 1;
        case meas_types: return level == 5 ? meas_values : meas_type;  // an empty list is followed by measValues
        case meas_type: return level == 6 ? meas_type : meas_values;
        case meas_values:  // an empty one ends where a value's end would
            switch (level) {
                case 1: return file_footer;
                case 2: return meas_data_item;
                case 4: return meas_info_item;
                case 5: return after_value_1;
                default: return meas_value;
            }
        case meas_value: case meas_obj_inst_id: return p + 1;
        case meas_results:  // empty or not: what follows is placed as after a result
        case meas_result:
            if (level == 8) return meas_result;
            if (level == 7) return suspect_flag;
            // The value ended without suspectFlag, which then has its default FALSE:
            // finish the value and place this element as if the flag had been read.
            on_value_end(state, nullptr);
            state.previous_state = suspect_flag;
            return after_value_end(state, level, tag);
        case suspect_flag: return after_value_end(state, level, tag);
        case after_value_1:
            switch (level) {
                case 1: return file_footer;
                case 4: return meas_info;
                case 5: return meas_info_item;
                case 6: return after_value_2;
                default: return restart(state, "ERROR 2 !!!\n");
            }
        case after_value_2:
            switch (level) {
                case 1: return file_footer;
                case 4: return meas_info;
                case 5: return meas_info_item;
                case 6: return after_value_3;
                default: return restart(state, "ERROR 3 !!!\n");
            }
        case after_value_3:
            switch (level) {
                case 1: return file_footer;
                case 4: return meas_info;
                case 5: return meas_info_item;
                default: return restart(state, "ERROR 4 !!!\n");
            }
        default: return no_transition;
    }
}

// The text after the last "/", or all of it.
std::string_view file_name_part(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Every validation label's first pattern must match the file name.
bool filename_is_valid(const config& conf, const std::string& name) {
    std::array<regmatch_t, 1> match{};
    for (const map_entry& entry : conf.filename_validation) {
        if (entry.values.empty()) continue;
        const auto pattern = compile_pattern(convert_regex_pattern(entry.values.front()));
        if (!pattern || !pattern->search(name.c_str(), match)) return false;
    }
    return true;
}

bool holds_nul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool run_conversion(std::string_view filename, std::string_view origFilename, config& conf,
                    std::string_view outputDir) {
    const std::string orig(origFilename);
    log_message(log_progress, "Validating filename: %s", orig.c_str());
    const std::string name_part(file_name_part(origFilename));
    if (!filename_is_valid(conf, name_part)) {
        log_message(log_refused, "Filename validation failed. Not compliant with 3GPP specifications");
        return false;
    }
    log_message(log_progress, "Filename successfully validated");

    auto objmap = object_map_new(&conf);
    auto state = perf_data_new(&conf, objmap.get());
    require_memory(objmap && state);
    const std::string out_dir(outputDir);
    log_message(log_progress, "Setting output directory to %s", out_dir.c_str());
    require_memory(config_set_output_dir(conf, outputDir));

    log_message(log_progress, "Extracting directory and filename header records");
    const std::string directory = cut(origFilename);
    const std::size_t slash = directory.rfind('/');
    if (slash != std::string::npos && slash + 1 < directory.size()) {
        add_header_records(conf.directory_header_fields, *state, directory.substr(0, slash + 1));
    }
    add_header_records(conf.filename_header_fields, *state, name_part);

    log_message(log_progress, "Opening input file for reading");
    const std::string input_path(filename);
    std::unique_ptr<std::FILE, file_closer> input(std::fopen(input_path.c_str(), "rb"));
    if (!input) {
        log_message(log_error, "Cannot open input file: %s", input_path.c_str());
        return false;
    }
    std::setvbuf(input.get(), nullptr, _IOFBF, input_buffer_size);

    asn1_object root;
    asn1_object_init(root);
    log_message(log_progress, "Parsing input file");
    std::uint32_t prlen = 0;
    std::uint32_t indent = 0;
    if (asn1_process(input.get(), &root, &prlen, &indent, nullptr, process_state, state.get(),
                     asn1_stream_dialect)) {
        log_message(log_error, "asn1_process() failed");
        release_pif(*state, false);
        return false;
    }
    require_memory(!state->out_of_memory);
    // A value without suspectFlag is finished by the element after it; the last one of a
    // file without footer has none.
    if (state->previous_state == parse_state::meas_results || state->previous_state == parse_state::meas_result)
        on_value_end(*state, nullptr);
    if (!state->collection_seen) {
        log_message(log_error, "No measurement collection in input file: %s", input_path.c_str());
        release_pif(*state, true);
        return false;
    }
    log_message(log_progress, "Parsing completed");
    const bool restarted = state->restarted;
    release_pif(*state, true);
    const bool written = !state->pif_failed;
    perf_data_delete(state);
    object_map_delete(objmap);
    log_message(log_progress, "Closing input file");
    input.reset();
    return written && !restarted;
}

}  // namespace

// ---- public steps ----

std::unique_ptr<perf_data> perf_data_new(config* conf, const object_map* objmap) noexcept {
    auto state = pm_new<perf_data>();
    if (!state) return nullptr;
    state->conf = conf;
    state->objmap = objmap;
    return state;
}

void perf_data_delete(std::unique_ptr<perf_data>& state) noexcept {
    if (!state) return;
    release_pif(*state, true);
    state.reset();
}

std::string assign_string_value(const asn1_object& element) {
    if (!element.data || element.length == 0) return {};
    // Built once, already cut: this runs for every measured object.
    const std::string_view all(reinterpret_cast<const char*>(element.data.get()), element.length);
    return std::string(all.substr(0, std::min(all.find('\0'), max_text_length)));
}

std::uint32_t get_int_value(const asn1_object& element) {
    std::uint32_t value = 0;
    if (!element.data) return 0;
    // Octets shifted out of 32 bits drop away: the last four count.
    for (std::uint32_t i = 0; i < element.length; ++i) value = (value << 8) | element.data[i];
    return value;
}

short_counter_value format_counter_number(std::uint32_t value) {
    static constexpr std::array<std::uint32_t, 10> powers{1,         10,         100,      1000,
                                                          10000,     100000,     1000000,  10000000,
                                                          100000000, 1000000000};
    // Counters differ in length from one to the next: every value takes the same steps,
    // where a loop per digit would branch on its length. The number of digits comes from
    // the bit width (1233/4096 is just above log10 2); the digits are made in registers
    // and the leading zeros shifted out.
    const std::uint32_t nonzero = value | 1;
    const std::uint32_t guess = (static_cast<std::uint32_t>(std::bit_width(nonzero)) * 1233) >> 12;
    const std::uint32_t digits = guess - (nonzero < powers[guess]) + 1;
    short_counter_value out;
    out.size = digits;
    if (value < 100000000) {  // nearly every counter
        const std::uint64_t text = eight_digits(value) >> (8 * (8 - digits));
        std::memcpy(out.text, &text, sizeof text);
        std::memset(out.text + sizeof text, 0, sizeof out.text - sizeof text);
        return out;
    }
    // Nine or ten digits: the first one or two below the last eight.
    const std::uint32_t first_two = value / 100000000;  // at most 42
    const std::uint64_t pair = 0x3030 | (first_two / 10) | ((first_two % 10) << 8);
    const std::uint64_t last_eight = eight_digits(value % 100000000);
    const std::uint64_t low = (last_eight << 16) | pair;  // the ten digits, octets 0 to 7
    const std::uint64_t high = last_eight >> 48;          // and octets 8 and 9
    const std::uint32_t shift = 8 * (10 - digits);        // 0 or 8
    const std::uint64_t head = (low >> shift) | ((high << 56) << (8 - shift));
    const std::uint64_t tail = high >> shift;
    std::memcpy(out.text, &head, sizeof head);
    std::memcpy(out.text + sizeof head, &tail, sizeof tail);
    return out;
}

bool format_real_value(const std::uint8_t* octets, std::size_t count, std::string& out) {
    out.clear();
    if (count == 0) {  // plus zero
        out = "0";
        return true;
    }
    if (!octets) return false;
    const std::uint8_t first = octets[0];
    double value = 0;
    if (first & 0x80) {  // binary: sign, base, scale, exponent, mantissa
        static constexpr int base_bits[4] = {1, 3, 4, 0};
        const int bits = base_bits[(first >> 4) & 3];
        if (bits == 0) return false;
        const int scale = (first >> 2) & 3;
        std::size_t at = 1;
        std::size_t exponent_octets = (first & 3) + 1;
        if ((first & 3) == 3) {
            if (count < 2) return false;
            exponent_octets = octets[1];
            at = 2;
        }
        if (exponent_octets == 0 || exponent_octets > 8 || at + exponent_octets >= count) return false;
        std::int64_t exponent = (octets[at] & 0x80) ? -1 : 0;
        for (std::size_t i = 0; i < exponent_octets; ++i) exponent = exponent * 256 + octets[at + i];
        at += exponent_octets;
        // Mantissa octets beyond double precision only move the binary point.
        double mantissa = 0;
        std::int64_t extra = 0;
        for (; at < count; ++at) {
            if (mantissa >= 0x1p64) {
                extra += 8;
            } else {
                mantissa = mantissa * 256 + octets[at];
            }
        }
        // Far beyond a double's range either way: ldexp gives infinity or zero, and the
        // power must still fit an int.
        constexpr std::int64_t power_limit = 100000;
        const std::int64_t power = std::clamp(exponent * bits + scale + extra, -power_limit, power_limit);
        value = std::ldexp(mantissa, static_cast<int>(power));
        if (first & 0x40) value = -value;
    } else if (first & 0x40) {  // special values
        if (count != 1) return false;
        switch (first) {
            case 0x40: out = "inf"; return true;
            case 0x41: out = "-inf"; return true;
            case 0x42: out = "nan"; return true;
            case 0x43: out = "-0"; return true;
            default: return false;
        }
    } else {  // decimal characters in one of the three numerical representations
        const unsigned form = first & 0x3F;
        if (form < 1 || form > 3) return false;
        std::string text(reinterpret_cast<const char*>(octets + 1), count - 1);
        const std::size_t begin = text.find_first_not_of(' ');
        if (begin == std::string::npos) return false;
        text.erase(0, begin);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        if (!text.empty() && text.front() == '+') text.erase(0, 1);
        for (char& c : text) {
            if (c == ',') c = '.';
        }
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return false;
    }
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.assign(digits, end);
    return true;
}

void format_timestamp(std::string_view text, std::string& date, std::string& time) {
    date.assign(9, '-');
    time = "::::::00";
    const std::size_t n = text.size();
    if (n >= 4) date.replace(5, 4, text.substr(0, 4));
    if (n >= 6) {
        const char tens = text[4];
        const char ones = text[5];
        if (tens >= '0' && tens <= '9' && ones >= '0' && ones <= '9') {
            const int month = (tens - '0') * 10 + (ones - '0');
            if (month >= 1 && month <= 12) date.replace(2, 3, month_names[month - 1]);
        }
    }
    if (n >= 8) date.replace(0, 2, text.substr(6, 2));
    if (n >= 10) time.replace(0, 2, text.substr(8, 2));
    if (n >= 12) time.replace(3, 2, text.substr(10, 2));
    if (n >= 14) time.replace(6, 2, text.substr(12, 2));
}

void add_header_records(const text_map& map, perf_data& state, const std::string& text) {
    std::array<regmatch_t, match_slots> groups{};
    for (const map_entry& entry : map) {
        if (entry.values.empty()) continue;
        const auto pattern = compile_pattern(convert_regex_pattern(entry.values.front()));
        if (!pattern || !pattern->search(text.c_str(), groups) || groups[1].rm_so < 0) continue;
        const std::string_view group = group_text(text.c_str(), groups[1]);
        if (group.size() > max_group_length) continue;
        require_memory(map_append_value(state.header_records, entry.name, group));
    }
}

void extract_object_name_and_value(const perf_data& state, std::string_view prefix, std::string& name,
                                   std::string& value, const std::string& text) {
    name.clear();
    value.clear();
    std::string_view class_name;
    char_list columns;
    char_list values;
    object_map_translate(state.objmap, class_name, text, columns, values);
    if (!class_name.empty() && class_name != unmatched_class && !columns.empty() && !values.empty()) {
        name = cut(std::string(prefix) + "_" + columns.front());
        value = cut(values.front());
        return;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        name = cut(prefix);
        value = cut(text);
        for (char& c : value) {
            if (c == ' ') c = '_';
        }
        return;
    }
    name = cut(std::string(prefix) + "_" + text.substr(0, equals));
    value = cut(text.substr(equals + 1));
}

namespace {

// Every element but the results that follow measResults or another result.
[[gnu::noinline]] void take_transition(perf_data& state, const asn1_object& element, std::uint32_t level) {
    const std::int32_t n = next_state(state, element, level);
    if (n == no_transition) return;
    state.state = n;
    run_action(state, n, element);
    state.previous_state = n;
}

}  // namespace

void process_state(asn1_object& element, std::uint32_t level, void* context) {
    if (!context) return;
    perf_data& state = *static_cast<perf_data*>(context);
    // Results make up most of a file, one after the other at level 8: the transition
    // (from measResults or from the previous result, to meas_result) and its action are
    // taken here directly, apart from the general path, which needs a larger frame.
    if (level == 8 &&
        (state.previous_state == parse_state::meas_results || state.previous_state == parse_state::meas_result)) {
        state.state = parse_state::meas_result;
        state.previous_state = parse_state::meas_result;
        on_result(state, element);
        return;
    }
    take_transition(state, element, level);
}

bool parse_input_file(std::string_view filename, std::string_view origFilename, config* conf,
                      std::string_view outputDir) noexcept {
    if (!conf) {
        std::fputs("Null value for conf\n", stderr);
        return false;
    }
    if (filename.empty() || outputDir.empty()) return false;
    // Paths go to the C library as C strings: a NUL would silently name another file.
    if (holds_nul(filename) || holds_nul(origFilename) || holds_nul(outputDir)) return false;
    log_session log(run_log_level);
    try {
        return run_conversion(filename, origFilename, *conf, outputDir);
    } catch (const std::bad_alloc&) {
        log_message(log_error, "Out of memory");
        return false;
    }
}
