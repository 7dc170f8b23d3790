// objmap: building the object-instance map from the configuration and translating
// instance identifiers. Called by the conversion run (parser) once per conversion to
// build, then once per measured object and header text.
#include "objmap.h"

#include <array>
#include <new>

#include "pmalloc.h"

namespace {

// Matches up to group 9, as many as the file format's identifiers ever carry.
constexpr std::size_t match_slots = 10;
constexpr std::size_t max_group_length = 1022;

}  // namespace

std::unique_ptr<object_map> object_map_new(const config* conf) noexcept {
    if (!conf) return nullptr;
    auto map = pm_new<object_map>();
    if (!map) return nullptr;
    map->conf = conf;
    const bool built = pm_try([&] {
        for (const map_entry& description : conf->object_instance_description) {
            if (description.name.empty() || description.values.empty()) continue;
            const std::string pattern = convert_regex_pattern(description.values.front());
            const char_list* alternative = map_get_values(conf->alt_object_instance_names, description.name);
            if (alternative) {
                object_map_add_pattern(*map, description.name, pattern, *alternative, true);
            } else {
                object_map_add_pattern(*map, description.name, pattern, char_list{description.name}, false);
            }
        }
    });
    if (!built) return nullptr;
    return map;
}

void object_map_delete(std::unique_ptr<object_map>& map) noexcept { map.reset(); }

void object_map_add_pattern(object_map& map, std::string_view name, std::string_view pattern,
                            const char_list& column_names, bool use_names) {
    if (name.empty() || pattern.empty()) return;
    object_map_entry entry;
    entry.pattern = compile_pattern(pattern);
    if (!entry.pattern) return;
    if (use_names) {
        entry.name = name;
        entry.column_names = column_names;
    } else {
        // A class without column names is known by what its pattern names, such as
        // NodeBFddE for NodeBFddE=([0-9]+).
        const std::size_t equals = pattern.find('=');
        entry.name = equals == std::string_view::npos ? name : pattern.substr(0, equals);
    }
    map.entries.push_back(std::move(entry));
}

void object_map_translate(const object_map* map, std::string_view& class_name, const std::string& text,
                          char_list& column_names, char_list& values) {
    if (!map || !map->conf || text.empty()) return;
    std::array<regmatch_t, match_slots> groups{};
    for (const object_map_entry& entry : map->entries) {
        if (!entry.pattern->search(text.c_str(), groups)) continue;
        for (std::size_t i = 1; i < match_slots && i <= entry.column_names.size(); ++i) {
            if (groups[i].rm_so < 0) break;
            column_names.push_back(entry.column_names[i - 1]);
            const std::string_view group = group_text(text.c_str(), groups[i]);
            values.emplace_back(group.size() <= max_group_length ? group : std::string_view{});
        }
        class_name = entry.name;
        return;
    }
    class_name = unmatched_class;
    column_names.emplace_back(unmatched_column);
    values.push_back(text);
}
