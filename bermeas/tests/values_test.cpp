// How element contents become texts: the time stamps, integers and reals of
// expected/values.txt, counter numbers of every length, and strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "parser.h"
#include "pmalloc.h"
#include "table.h"

namespace {

// A primitive element holding `content`, valid for the full expression that uses it.
const asn1_object& primitive(const std::vector<std::uint8_t>& content, asn1_ptr&& rec = asn1_object_new()) {
    rec->length = static_cast<std::uint32_t>(content.size());
    if (!content.empty()) {
        rec->data = pm_new_array<std::uint8_t>(content.size());
        std::memcpy(rec->data.get(), content.data(), content.size());
    }
    return *rec;
}

// The text of one value of the table's kind.
std::string text_of(const std::string& kind, const std::string& input) {
    std::string out = "unset", time = "unset";
    if (kind == "time") {
        format_timestamp(input, out, time);
        return out + " " + time;
    }
    const std::vector<std::uint8_t> octets = test_table::octets(input);
    if (kind == "int") return std::to_string(get_int_value(primitive(octets)));
    return format_real_value(octets.data(), octets.size(), out) ? out : "invalid";
}

TEST(ValueTexts, TimeStampsIntegersAndReals) {
    const auto cases = test_table::read("values.txt");
    EXPECT_GE(cases.size(), 45u);
    for (const test_table::row& c : cases) EXPECT_EQ(text_of(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(get_int_value(primitive(std::vector<std::uint8_t>(300, 0x11))), 0x11111111u) << "the last four octets";
    EXPECT_EQ(assign_string_value(primitive({'a', 'b', 0, 'c'})), "ab");
    EXPECT_EQ(assign_string_value(primitive({})), "");
    EXPECT_EQ(assign_string_value(primitive(std::vector<std::uint8_t>(1500, 'x'))).size(), 1023u);
}

std::string counter_text(std::uint32_t value) {
    const short_counter_value v = format_counter_number(value);
    EXPECT_LE(v.size, sizeof v.text - 1);
    return std::string(v.text, std::min(v.size, sizeof v.text));
}

TEST(ValueTexts, CounterNumbersOfEveryLengthAndItsEdges) {
    EXPECT_EQ(counter_text(4294967295u), "4294967295");
    for (std::uint64_t power = 1; power <= 1000000000; power *= 10) {
        for (const std::uint64_t v : {power - 1, power, power + 1, power * 2 - 1, power * 9 + 7, power * 10 - 1}) {
            EXPECT_EQ(counter_text(static_cast<std::uint32_t>(v)), std::to_string(std::uint32_t(v)));
        }
    }
    // A spread over the whole range: digits of every value at every position.
    for (std::uint64_t v = 0; v <= 4294967295u; v += 104729 * 7) {
        ASSERT_EQ(counter_text(static_cast<std::uint32_t>(v)), std::to_string(v));
    }
}

// The setters report an exhausted heap as false through pm_try.
TEST(PmTry, ExhaustionBecomesFalse) {
    EXPECT_TRUE(pm_try([] {}));
    EXPECT_FALSE(pm_try([] { throw std::bad_alloc(); }));
}

}  // namespace
