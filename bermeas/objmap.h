// objmap: the object-instance map. It turns a measured object's instance identifier
// (for example "cell=12") into an object class name, which names the PIF block, and into
// column names with the values the class's pattern extracts. Built once per conversion
// from the configuration (conf); used by the conversion run (parser) for every
// measObjInstId and for three header texts.
#ifndef PM_BERMEAS_OBJMAP_H
#define PM_BERMEAS_OBJMAP_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conf.h"
#include "data.h"
#include "util.h"

// Class and column of a text that no pattern describes.
inline constexpr std::string_view unmatched_class = "OBJ";
inline constexpr std::string_view unmatched_column = "OBJ_ID";

struct object_map_entry {
    std::string name;                       // object class name returned on a match
    char_list column_names;                 // names of groups 1, 2, ...; may be empty
    std::unique_ptr<posix_pattern> pattern;
};

struct object_map {
    const config* conf = nullptr;
    std::vector<object_map_entry> entries;  // tried in this order
};

// The map of the configuration's object-instance description, with the alternative
// names as column names. Patterns that do not compile are left out without a message.
// NULL for a NULL configuration or an exhausted heap.
std::unique_ptr<object_map> object_map_new(const config* conf) noexcept;
void object_map_delete(std::unique_ptr<object_map>& map) noexcept;

// Adds one entry. Without `use_names` the entry has no columns and is named after the
// pattern's text before its first "=" (the class name when there is none). Nothing is
// added for an empty name or pattern, or a pattern that does not compile.
void object_map_add_pattern(object_map& map, std::string_view name, std::string_view pattern,
                            const char_list& column_names, bool use_names);

// Translates `text` with the first entry whose pattern matches it: sets `class_name` to
// the entry's name and appends a column name and a group text per group that took part
// (groups longer than 1022 characters give empty values). No match: class "OBJ", column
// "OBJ_ID" with the whole text. Nothing changes for a NULL map or an empty text.
// `class_name` stays valid as long as the map.
void object_map_translate(const object_map* map, std::string_view& class_name, const std::string& text,
                          char_list& column_names, char_list& values);

#endif
