// pif: the texts of the Parser Intermediate File that both PIF writers (BerMeas and
// radiobin) emit. A PIF file is a banner line, a HEADER section (names line, values
// line), then blocks "##START|name", a column-names line, one line per record and
// "##END|name". Fields are separated by "|" and written as they stand (no quoting).
#ifndef PM_COMMON_PIF_H
#define PM_COMMON_PIF_H

#include <string_view>

namespace pif {

// First line of a file, naming its kind.
inline constexpr std::string_view banner_bermeas = "## Parser Intermediate File";
inline constexpr std::string_view banner_radiobin =
    "##%zel Alcatel Binary Performance Data, Parser Intermediate File";

inline constexpr std::string_view start_marker = "##START|";  // followed by the section name
inline constexpr std::string_view end_marker = "##END|";      // closes the section of that name
inline constexpr std::string_view header_section = "HEADER";
inline constexpr char separator = '|';
inline constexpr char line_end = '\n';

// File names: fields each followed by "-#-", ending in "I" and the writer's extension.
inline constexpr std::string_view name_separator = "-#-";
inline constexpr std::string_view name_end_bermeas = "I.pif";
inline constexpr std::string_view name_end_radiobin = "I.pt";

}  // namespace pif

#endif
