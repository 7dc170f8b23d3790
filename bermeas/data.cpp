// data: the ordered multimap behind the configuration's maps and the header records of a
// conversion.
#include "data.h"

#include <algorithm>

#include "pmalloc.h"

const map_entry* map_find(const text_map& map, std::string_view name) {
    if (name.empty()) return nullptr;
    const auto found = std::find_if(map.begin(), map.end(), [name](const map_entry& e) { return e.name == name; });
    return found == map.end() ? nullptr : &*found;
}

bool map_append_value(text_map& map, std::string_view name, std::string_view value) noexcept {
    if (name.empty() || value.empty()) return true;
    return pm_try([&] {
        auto found = std::find_if(map.begin(), map.end(), [name](const map_entry& e) { return e.name == name; });
        if (found == map.end()) {
            map_entry entry{std::string(name), {}};
            entry.values.emplace_back(value);
            map.push_back(std::move(entry));
        } else {
            found->values.emplace_back(value);
        }
    });
}

const char_list* map_get_values(const text_map& map, std::string_view name) {
    const map_entry* entry = map_find(map, name);
    return entry ? &entry->values : nullptr;
}
