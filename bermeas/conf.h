// conf: the configuration record that the host sets once (BerMeas::set_config) and every
// conversion reads: header-field and validation patterns, the object-instance
// description, the PIF file-name fields and the output directory of the running
// conversion. The XS glue fills it from the host's hash; the built-in example
// configuration (example_config) fills it directly.
#ifndef PM_BERMEAS_CONF_H
#define PM_BERMEAS_CONF_H

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data.h"

// The host's configuration keys.
inline constexpr std::string_view key_directory_header_fields = "DIRECTORY_HEADER_FIELDS";
inline constexpr std::string_view key_filename_header_fields = "FILENAME_HEADER_FIELDS";
inline constexpr std::string_view key_filename_validation = "ASN1_3GPP_FILENAME_VALIDATION";
inline constexpr std::string_view key_counter_null_value = "ASN1_ALTERNATIVE_COUNTER_NULL_VALUE";
inline constexpr std::string_view key_object_instance_description = "ASN1_OBJECT_INSTANCE_ID_DESCRIPTION";
inline constexpr std::string_view key_alt_object_instance_names = "ASN1_ALT_OBJECT_INSTANCE_ID_NAMES";
inline constexpr std::string_view key_pif_filename_fields = "ASN1_HEADER_INFO_FOR_PIF_FILENAME";

// The configured null value is cut to this many characters.
inline constexpr std::size_t max_null_value_length = 1022;

struct config {
    text_map directory_header_fields;      // header field name -> patterns
    text_map filename_header_fields;       // header field name -> patterns
    text_map filename_validation;          // label -> patterns
    std::optional<std::string> alternative_counter_null_value;
    text_map object_instance_description;  // object class name -> patterns
    text_map alt_object_instance_names;    // object class name -> column names
    char_list pif_filename_fields;         // PIF file-name fields, in order
    std::optional<std::string> output_dir; // of the running conversion
};

// The configuration in force; NULL between delete_config and set_config.
extern std::unique_ptr<config> g_conf;

// An empty record; NULL when the heap is exhausted.
std::unique_ptr<config> config_new() noexcept;
void config_delete(std::unique_ptr<config>& conf) noexcept;

// The map slot that a host key fills, or NULL for a key that names no map.
text_map* config_map_slot(config& conf, std::string_view key) noexcept;
// Appends a text to the PIF file-name fields. False (nothing changed) on an exhausted heap.
bool config_add_pif_filename_field(config& conf, std::string_view field) noexcept;
// Stores the null value, cut at a NUL and to max_null_value_length characters.
bool config_set_null_value(config& conf, std::string_view value) noexcept;
// A non-empty directory replaces the stored one; an empty one changes nothing.
bool config_set_output_dir(config& conf, std::string_view dir) noexcept;

#endif
