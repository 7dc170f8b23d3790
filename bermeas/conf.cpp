// conf: the configuration record and its setters. Called by the XS glue while it walks
// the host's hash, by the built-in example configuration, and by the conversion run for
// the output directory.
#include "conf.h"

#include "pmalloc.h"

std::unique_ptr<config> g_conf;

std::unique_ptr<config> config_new() noexcept { return pm_new<config>(); }

void config_delete(std::unique_ptr<config>& conf) noexcept { conf.reset(); }

text_map* config_map_slot(config& conf, std::string_view key) noexcept {
    if (key == key_directory_header_fields) return &conf.directory_header_fields;
    if (key == key_filename_header_fields) return &conf.filename_header_fields;
    if (key == key_filename_validation) return &conf.filename_validation;
    if (key == key_object_instance_description) return &conf.object_instance_description;
    if (key == key_alt_object_instance_names) return &conf.alt_object_instance_names;
    return nullptr;
}

bool config_add_pif_filename_field(config& conf, std::string_view field) noexcept {
    return pm_try([&] { conf.pif_filename_fields.emplace_back(field); });
}

bool config_set_null_value(config& conf, std::string_view value) noexcept {
    value = value.substr(0, value.find('\0'));
    return pm_try([&] { conf.alternative_counter_null_value.emplace(value.substr(0, max_null_value_length)); });
}

bool config_set_output_dir(config& conf, std::string_view dir) noexcept {
    if (dir.empty()) return true;
    return pm_try([&] { conf.output_dir.emplace(dir); });
}
