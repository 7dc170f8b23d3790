// fastmatch: shortcuts that let posix_pattern (util) answer without the C library's
// matcher where the answer is certain. The object map tries every configured pattern on
// every measured object's name, and the library matcher, which must also find group
// boundaries, costs microseconds per call. Both shortcuts give exactly the matcher's
// answer; anything they cannot vouch for goes to the matcher.
#ifndef PM_BERMEAS_FASTMATCH_H
#define PM_BERMEAS_FASTMATCH_H

#include <regex.h>

#include <array>
#include <bitset>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Texts every match of an extended POSIX pattern contains: each inner list is one
// condition, met when the text contains at least one of its literals ("cell=([0-9]+)"
// gives {{"cell="}}, "(cs|ps)" gives {{"cs", "ps"}}). Only what the pattern certainly
// requires is listed; a pattern with constructs the scan does not follow, or none that
// require a literal, gives no condition at all.
using literal_condition = std::vector<std::string>;
std::vector<literal_condition> pattern_required_literals(std::string_view pattern);

// True when `text` meets every condition.
bool meets_literal_conditions(std::string_view text, const std::vector<literal_condition>& conditions);

// A pattern made only of characters, bracket expressions and "+" on either, with
// ungrouped or singly grouped parts, where every repeated part is followed by something
// it cannot match ("cell=([0-9]+)", "stm-1line=([0-9]+)\.([0-9]+)"). Such a pattern
// matches a text in at most one way from each start, so the leftmost match is found by
// trying starts in order, and it is the one the POSIX matcher reports, groups included.
// Which characters a bracket expression takes is asked of the C library's matcher
// itself, in the locale of the moment, so ranges mean what they mean to it.
class simple_pattern {
public:
    // The pattern's program, or NULL when the pattern is not of this kind.
    static std::unique_ptr<simple_pattern> make(std::string_view pattern);

    // The matcher's answer for a text of printable ASCII characters (0x20-0x7E): whether
    // it matches, with slot 0 and the groups filled as regexec fills them (unused slots
    // -1). Other texts are not decided here: `decided` is false and nothing is filled.
    bool search(std::string_view text, std::span<regmatch_t> groups, bool& decided) const;

private:
    using char_set = std::bitset<128>;
    struct item {
        char_set accepts;      // characters that can stand here
        bool repeated = false;  // one or more of them
    };
    struct group {
        std::size_t first, end;  // items [first, end)
    };
    static constexpr std::size_t max_items = 64;
    using item_offsets = std::array<std::size_t, max_items + 1>;  // where each item began, and the end
    std::vector<item> items_;
    std::vector<group> groups_;

    bool match_at(std::string_view text, std::size_t start, item_offsets& item_starts, std::size_t& end) const;
};

#endif
