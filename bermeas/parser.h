// parser: one conversion run. It checks the name a file arrived under, derives header
// fields from it, then walks the BER file with the streaming decoder, whose visitor
// (process_state) follows the nesting of the measurement file with a state machine and
// drives the PIF manager. Called by BerMeas::process_file and bermeas-convert.
#ifndef PM_BERMEAS_PARSER_H
#define PM_BERMEAS_PARSER_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "asn1object.h"
#include "conf.h"
#include "data.h"
#include "objmap.h"
#include "pifmanager.h"

// States of the machine in process_state, numbered in the order a well-formed file
// reaches them; the numbers are what perf_data's state fields hold.
namespace parse_state {
constexpr std::int32_t root = 0;
constexpr std::int32_t file_header = 1;
constexpr std::int32_t file_format_version = 2;
constexpr std::int32_t sender_name = 3;
constexpr std::int32_t sender_type = 4;
constexpr std::int32_t vendor_name = 5;
constexpr std::int32_t collection_begin_time = 6;
constexpr std::int32_t meas_data = 7;
constexpr std::int32_t meas_data_item = 8;   // one measurement data
constexpr std::int32_t ne_id = 9;
constexpr std::int32_t ne_user_name = 10;
constexpr std::int32_t ne_distinguished_name = 11;
constexpr std::int32_t ne_id_extra = 12;     // an extra nEId element
constexpr std::int32_t meas_info = 13;
constexpr std::int32_t meas_info_item = 14;  // one measurement info
constexpr std::int32_t meas_time_stamp = 15;
constexpr std::int32_t granularity_period = 16;
constexpr std::int32_t meas_types = 17;
constexpr std::int32_t meas_type = 18;
constexpr std::int32_t meas_values = 19;
constexpr std::int32_t meas_value = 20;
constexpr std::int32_t meas_obj_inst_id = 21;
constexpr std::int32_t meas_results = 22;
constexpr std::int32_t meas_result = 23;
constexpr std::int32_t suspect_flag = 24;
constexpr std::int32_t after_value_1 = 25;   // up to three further elements after a value
constexpr std::int32_t after_value_2 = 26;
constexpr std::int32_t after_value_3 = 27;
constexpr std::int32_t file_footer = 28;
}  // namespace parse_state

// Parse state of one conversion.
struct perf_data {
    meas_file_header header;
    std::string user_name_name, user_name_value;  // from nEUserName
    std::string dn_name, dn_value;                // from nEDistinguishedName
    std::string time_stamp;                       // measTimeStamp as received
    std::string time_stamp_date, time_stamp_time;
    std::string granularity;                      // granularityPeriod, seconds
    std::string collection_interval;              // granularityPeriod, minutes
    text_map header_records;                      // fields from the directory and file name
    config* conf = nullptr;                       // not owned
    std::unique_ptr<pif_manager> pif;             // owned; created at parse_state::root
    const object_map* objmap = nullptr;           // not owned
    char_list object_columns, object_values;      // of the measured object; reused
    std::int32_t state = parse_state::root;
    std::int32_t previous_state = parse_state::root;
    bool root_is_sequence = false;                // the outermost element is a SEQUENCE
    bool collection_seen = false;                 // and it began with measFileHeader
    bool restarted = false;                       // the machine met an element it could not place
    bool pif_failed = false;                      // a PIF file could not be opened or written
    bool out_of_memory = false;
};

// A parse state for the configuration and object map; NULL on an exhausted heap.
std::unique_ptr<perf_data> perf_data_new(config* conf, const object_map* objmap) noexcept;
// Releases the state; a PIF manager still held closes its file with its end line.
void perf_data_delete(std::unique_ptr<perf_data>& state) noexcept;

// Converts `filename`, which arrived as `origFilename`, into PIF files in `outputDir`.
// True after a complete conversion; false when there is no configuration, an argument is
// empty, the name is refused, the file cannot be read or decoded or holds no measurement
// collection (a SEQUENCE that opens with measFileHeader), the machine had to
// restart on an element it could not place, or a PIF file could not be written. Every
// failure is logged; PIF files of a conversion that fails part-way keep what was written,
// and the one being written is left without its end line.
bool parse_input_file(std::string_view filename, std::string_view origFilename, config* conf,
                      std::string_view outputDir) noexcept;

// The streaming walk's visitor: `context` is the perf_data. A content of up to
// asn1_stream_content_room octets must lie in a buffer of at least that many, as the
// walk gives it.
void process_state(asn1_object& element, std::uint32_t level, void* context);

// Appends (entry name -> group 1) to the state's header records for every entry of `map`
// whose first pattern matches `text`.
void add_header_records(const text_map& map, perf_data& state, const std::string& text);

// Header name and value from the text of a header element: from the object map when it
// describes the text with a class and columns, else "prefix_name" and the value of a
// "name=value" text, else the prefix and the text with blanks as "_".
void extract_object_name_and_value(const perf_data& state, std::string_view prefix, std::string& name,
                                   std::string& value, const std::string& text);

// Date "DDMonYYYY" and time "hh:mm:ss" of a YYYYMMDDhhmmss time text; positions the text
// does not reach stay "-" (date) and ":" (time), and the seconds are "00" when absent.
void format_timestamp(std::string_view text, std::string& date, std::string& time);

// Text of an element's content: the octets up to the first NUL, at most 1023 of them.
std::string assign_string_value(const asn1_object& element);
// Unsigned big-endian value of the content's last four octets.
std::uint32_t get_int_value(const asn1_object& element);
// Decimal text of a counter, without leading zeros.
short_counter_value format_counter_number(std::uint32_t value);
// Decimal text of a REAL's content octets; false when the encoding is not a valid REAL.
bool format_real_value(const std::uint8_t* octets, std::size_t count, std::string& out);

#endif
