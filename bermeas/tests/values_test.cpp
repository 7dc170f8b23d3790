// How element contents become texts: time stamps, unsigned integers, reals and strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "parser.h"
#include "pmalloc.h"

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

std::pair<std::string, std::string> timestamp(std::string_view text) {
    std::string date = "old", time = "old";
    format_timestamp(text, date, time);
    return {date, time};
}

TEST(FormatTimestamp, TakesAsMuchAsTheTextHolds) {
    using p = std::pair<std::string, std::string>;
    EXPECT_EQ(timestamp("20261205174500Z"), (p{"05Dec2026", "17:45:00"}));
    EXPECT_EQ(timestamp("20261205174500+0100"), (p{"05Dec2026", "17:45:00"}));
    EXPECT_EQ(timestamp("202612051745"), (p{"05Dec2026", "17:45:00"}));
    EXPECT_EQ(timestamp("2026120517"), (p{"05Dec2026", "17::::00"}));
    EXPECT_EQ(timestamp("20261205"), (p{"05Dec2026", "::::::00"}));
    EXPECT_EQ(timestamp("202601"), (p{"--Jan2026", "::::::00"}));
    EXPECT_EQ(timestamp("2026"), (p{"-----2026", "::::::00"}));
    EXPECT_EQ(timestamp("20"), (p{"---------", "::::::00"}));
    EXPECT_EQ(timestamp(""), (p{"---------", "::::::00"}));
}

TEST(FormatTimestamp, MonthOutsideOneToTwelveLeavesDashes) {
    EXPECT_EQ(timestamp("20261305").first, "05---2026");
    EXPECT_EQ(timestamp("20260005").first, "05---2026");
    EXPECT_EQ(timestamp("2026x105").first, "05---2026");
    EXPECT_EQ(timestamp("20261205").first, "05Dec2026");
}

TEST(GetIntValue, UnsignedFromTheLastFourOctets) {
    EXPECT_EQ(get_int_value(primitive({})), 0u);
    EXPECT_EQ(get_int_value(primitive({0x03, 0x84})), 900u);
    EXPECT_EQ(get_int_value(primitive({0xFF})), 255u);
    EXPECT_EQ(get_int_value(primitive({0x01, 0x02, 0x03})), 0x010203u);
    EXPECT_EQ(get_int_value(primitive({0xDE, 0xAD, 0xBE, 0xEF})), 0xDEADBEEFu);
    EXPECT_EQ(get_int_value(primitive({0x00, 0x00, 0x00, 0x2A})), 42u);
    EXPECT_EQ(get_int_value(primitive({0x00, 0xFF, 0xFF, 0xFF, 0xFF})), 4294967295u);
    EXPECT_EQ(get_int_value(primitive({0x00, 0x80, 0x00, 0x00, 0x00})), 2147483648u);
    EXPECT_EQ(get_int_value(primitive({0x01, 0x00, 0x00, 0x00, 0x07})), 7u);
    EXPECT_EQ(get_int_value(primitive({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x01})), 0xBCDEF001u);
    EXPECT_EQ(get_int_value(primitive(std::vector<std::uint8_t>(300, 0x11))), 0x11111111u);
}

std::string counter_text(std::uint32_t value) {
    const short_counter_value v = format_counter_number(value);
    EXPECT_LE(v.size, sizeof v.text - 1);
    return std::string(v.text, std::min(v.size, sizeof v.text));
}

TEST(FormatCounterNumber, EveryLengthAndItsEdges) {
    EXPECT_EQ(counter_text(0), "0");
    EXPECT_EQ(counter_text(4294967295u), "4294967295");
    std::uint64_t power = 1;
    for (int digits = 1; digits <= 10; ++digits, power *= 10) {
        for (const std::uint64_t v : {power - 1, power, power + 1, power * 2 - 1, power * 9 + 7, power * 10 - 1}) {
            if (v > 4294967295u) continue;
            EXPECT_EQ(counter_text(static_cast<std::uint32_t>(v)), std::to_string(v));
        }
    }
    // A spread over the whole range, digits of every value at every position.
    for (std::uint64_t v = 0; v <= 4294967295u; v += 104729 * 7) {
        ASSERT_EQ(counter_text(static_cast<std::uint32_t>(v)), std::to_string(v));
    }
}

std::string real(const std::vector<std::uint8_t>& content) {
    std::string out = "unset";
    if (!format_real_value(content.data(), content.size(), out)) return "invalid";
    return out;
}

std::vector<std::uint8_t> decimal_real(std::uint8_t form, std::string_view text) {
    std::vector<std::uint8_t> content(text.size() + 1, form);
    std::memcpy(content.data() + 1, text.data(), text.size());
    return content;
}

TEST(FormatRealValue, BinaryEncodings) {
    EXPECT_EQ(real({}), "0");
    EXPECT_EQ(real({0x80, 0xFF, 0xC7}), "99.5");        // 199 * 2^-1
    EXPECT_EQ(real({0xC0, 0xF9, 0xC0}), "-1.5");        // -(192 * 2^-7)
    EXPECT_EQ(real({0x80, 0x00, 0x01}), "1");
    EXPECT_EQ(real({0x90, 0x01, 0x03}), "24");          // base 8: 3 * 8
    EXPECT_EQ(real({0xA0, 0xFF, 0x08}), "0.5");         // base 16: 8 * 16^-1
    EXPECT_EQ(real({0x88, 0x00, 0x03}), "12");          // scale 2: 3 * 2^2
    EXPECT_EQ(real({0x81, 0x00, 0x0A, 0x01}), "1024");  // two exponent octets
    EXPECT_EQ(real({0x83, 0x01, 0x02, 0x05}), "20");    // exponent length in its own octet
    EXPECT_EQ(real({0x80, 0x7F, 0x01}), "1.7014118346046923e+38");
}

TEST(FormatRealValue, SpecialAndDecimalEncodings) {
    EXPECT_EQ(real({0x40}), "inf");
    EXPECT_EQ(real({0x41}), "-inf");
    EXPECT_EQ(real({0x42}), "nan");
    EXPECT_EQ(real({0x43}), "-0");
    EXPECT_EQ(real(decimal_real(0x01, "  -42")), "-42");
    EXPECT_EQ(real(decimal_real(0x02, "12,5")), "12.5");
    EXPECT_EQ(real(decimal_real(0x03, "+25E-1")), "2.5");
}

TEST(FormatRealValue, MalformedEncodingsAreRefused) {
    EXPECT_EQ(real({0xB0, 0x00, 0x01}), "invalid");    // reserved base
    EXPECT_EQ(real({0x80, 0x01}), "invalid");          // no mantissa
    EXPECT_EQ(real({0x83}), "invalid");                // no exponent length
    EXPECT_EQ(real({0x83, 0x00, 0x01}), "invalid");    // exponent of no octets
    EXPECT_EQ(real({0x40, 0x00}), "invalid");          // special value with more octets
    EXPECT_EQ(real({0x44}), "invalid");                // unknown special value
    EXPECT_EQ(real(decimal_real(0x04, "1")), "invalid");
    EXPECT_EQ(real(decimal_real(0x01, "1x")), "invalid");
    EXPECT_EQ(real(decimal_real(0x01, "  ")), "invalid");
}

TEST(AssignStringValue, StopsAtNulAndAt1023Characters) {
    EXPECT_EQ(assign_string_value(primitive({'a', 'b', 0, 'c'})), "ab");
    EXPECT_EQ(assign_string_value(primitive({})), "");
    const std::vector<std::uint8_t> long_text(1500, 'x');
    EXPECT_EQ(assign_string_value(primitive(long_text)).size(), 1023u);
}

// The setters report an exhausted heap as false through pm_try.
TEST(PmTry, ExhaustionBecomesFalse) {
    int runs = 0;
    EXPECT_TRUE(pm_try([&] { ++runs; }));
    EXPECT_FALSE(pm_try([&] {
        ++runs;
        throw std::bad_alloc();
    }));
    EXPECT_EQ(runs, 2);
}

}  // namespace
