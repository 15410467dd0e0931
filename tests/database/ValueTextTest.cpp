#include "database/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using qm::Value;
using Type = qm::Value::Type;

namespace {

std::string text(const Value& value) {
    return value.toText();
}

}  // namespace

TEST(ValueText, NullAndTheSimpleTypes) {
    const std::pair<Value, std::string> cases[] = {
        {Value::null(), ""},
        {Value::text(Type::Text, ""), ""},
        {Value::text(Type::Text, "a, \"b\"\r\nc"), "a, \"b\"\r\nc"},
        {Value::text(Type::Memo, std::string(40000, 'x')), std::string(40000, 'x')},
        {Value::boolean(true), "True"},
        {Value::boolean(false), "False"},
        {Value::integer(Type::Byte, 255), "255"},
        {Value::integer(Type::Integer, -32768), "-32768"},
        {Value::integer(Type::Long, -2147483647 - 1), "-2147483648"},
        {Value::integer(Type::LargeNumber, std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {Value::integer(Type::LargeNumber, std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
        {Value::text(Type::Decimal, "-12.5"), "-12.5"},
        {Value::text(Type::Binary, "\x01\x02\xff"), "[Binary data]"},
        {Value::text(Type::Ole, "\x15\x1c\x2f\x00"), "[OLE Object]"},
        {Value::text(Type::Attachment, "a.txt; b.txt"), "a.txt; b.txt"},
        {Value::text(Type::MultiValue, "value1; value4"), "value1; value4"},
        {Value::text(Type::Unsupported, "Complex data"), "[Complex data]"},
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(expected.substr(0, 40));
        EXPECT_EQ(text(value), expected);
    }
    // NullCoalesce gives the fallback for Null only; "" and 0 come back unchanged.
    EXPECT_EQ(qm::NullCoalesce(Value::null(), Value::fromQString(QStringLiteral("d"))).toText(), "d");
    EXPECT_EQ(qm::NullCoalesce(Value::text(Type::Text, ""), Value::fromQString(QStringLiteral("d"))).toText(),
              "");
    EXPECT_EQ(
        qm::NullCoalesce(Value::integer(Type::Long, 0), Value::fromQString(QStringLiteral("d"))).toText(),
        "0");
}

TEST(ValueText, RealsAreTheShortestTextThatReadsBack) {
    const std::pair<double, std::string> doubles[] = {
        {444.555, "444.555"},
        {0.1, "0.1"},
        {1.0 / 3.0, "0.3333333333333333"},
        {-2.5, "-2.5"},
        {0.0, "0"},
        {-0.0, "0"},
        {1e21, "1e+21"},
        {123456789012.0, "123456789012"},
        // Plain digits from 0.0001 to below 10^16, the exponent form outside.
        {0.0001, "0.0001"},
        {0.00001, "1e-05"},
        {1e15, "1000000000000000"},
        {1e16, "1e+16"},
        {1152921504606846976.0, "1.152921504606847e+18"},
        {5e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        // What no number is, as Access names it, and as strtod reads it back.
        {std::numeric_limits<double>::infinity(), "Infinity"},
        {-std::numeric_limits<double>::infinity(), "-Infinity"},
    };
    for (const auto& [v, expected] : doubles) {
        SCOPED_TRACE(expected);
        const std::string written = text(Value::real(Type::Double, v));
        EXPECT_EQ(written, expected);
        EXPECT_EQ(std::strtod(written.c_str(), nullptr), v);
    }
    EXPECT_EQ(text(Value::real(Type::Double, -std::numeric_limits<double>::quiet_NaN())), "NaN");
    const std::pair<float, std::string> singles[] = {
        {1.1f, "1.1"},
        {444.555f, "444.555"},
        {-0.0f, "0"},
        {16777216.0f, "16777216"},
        {3.4028235e38f, "3.4028235e+38"},
        {-std::numeric_limits<float>::infinity(), "-Infinity"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN"},
    };
    for (const auto& [v, expected] : singles) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(text(Value::real(Type::Single, v)), expected);
    }
}

TEST(ValueText, CurrencyIsExactWithoutTrailingZeros) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {35000, "3.5"},
        {0, "0"},
        {-123456, "-12.3456"},
        {1, "0.0001"},
        {-1, "-0.0001"},
        {420000, "42"},
        {10001, "1.0001"},
        {std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
    };
    for (const auto& [v, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(text(Value::integer(Type::Currency, v)), expected);
    }
}

TEST(ValueText, DatesShowTheDayTheTimeOrBoth) {
    const std::pair<double, std::string> cases[] = {
        {0.0, "1899-12-30"},
        {1.0, "1899-12-31"},
        {2.0, "1900-01-01"},
        {60.0, "1900-02-28"},
        {61.0, "1900-03-01"},  // 1900 is no leap year
        {27293.0, "1974-09-21"},
        {36585.0, "2000-02-29"},
        {36586.0, "2000-03-01"},
        {0.5, "12:00:00"},
        {0.75, "18:00:00"},
        {-0.25, "06:00:00"},  // still the base day: the fraction is a positive time
        {27293.5, "1974-09-21 12:00:00"},
        {-1.0, "1899-12-29"},
        {-1.25, "1899-12-29 06:00:00"},  // the day counts back, the time forward
        {-1.75, "1899-12-29 18:00:00"},
        {-657434.0, "0100-01-01"},
        {2958465.0, "9999-12-31"},
        {2958465.999988426, "9999-12-31 23:59:59"},
        {36526.0 + 1.0 / 86400.0, "2000-01-01 00:00:01"},
        {36526.0 + 86399.6 / 86400.0, "2000-01-02"},  // rounds up to the next midnight
        {1.0 / 86400.0 * 0.4, "1899-12-30"},          // rounds down to midnight
    };
    for (const auto& [v, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(text(Value::real(Type::DateTime, v)), expected);
    }
    // Outside what Access can hold the stored number is shown, never an invented date.
    EXPECT_EQ(text(Value::real(Type::DateTime, 1e12)), "1000000000000");
    EXPECT_EQ(text(Value::real(Type::DateTime, -693593.0)), "-693593");  // 1 Jan 1, before Access's first day
    EXPECT_EQ(text(Value::real(Type::DateTime, std::numeric_limits<double>::quiet_NaN())), "NaN");
}

TEST(ValueText, ReplicationIdsUseTheStoredByteOrderOfAccess) {
    const std::string bytes("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16);
    EXPECT_EQ(text(Value::text(Type::Guid, bytes)), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
    EXPECT_EQ(text(Value::text(Type::Guid, "short")), "[Binary data]");
}

TEST(ValueText, ExtendedDatesKeepTheirFractionAndFourDigitYears) {
    const auto text = [](const char* days, const char* ticks) {
        std::string out;
        const std::string stored = std::string(days) + ':' + ticks + ":7" + std::string(1, '\0');
        return qm::valuetext::appendExtendedDateTime(out, stored) ? out : std::string("refused");
    };
    EXPECT_EQ(text("0000000000000737592", "0000000000000000000"), "2020-06-17");
    EXPECT_EQ(text("0000000000000737954", "0000000819123456789"), "2021-06-14 22:45:12.3456789");
    EXPECT_EQ(text("0000000000000737954", "0000000459001000000"), "2021-06-14 12:45:00.1");
    EXPECT_EQ(text("0000000000000036323", "0000000459001234567"), "0100-06-14 12:45:00.1234567");
    EXPECT_EQ(text("0000000000000000000", "0000000000000000000"), "0001-01-01");
    EXPECT_EQ(text("0000000000003652058", "0000000863999999999"), "9999-12-31 23:59:59.9999999");
    // Access's zero date with a time is a time alone, as in Date/Time.
    EXPECT_EQ(text("0000000000000693593", "0000000459000000000"), "12:45:00");
    EXPECT_EQ(text("0000000000000693593", "0000000000000000000"), "1899-12-30");
    // Not the stored form: nothing is made up.
    EXPECT_EQ(text("0000000000003652059", "0000000000000000000"), "refused");
    EXPECT_EQ(text("0000000000000737592", "0000000864000000000"), "refused");
    EXPECT_EQ(text("00000000000007375x2", "0000000000000000000"), "refused");
    std::string out;
    EXPECT_FALSE(qm::valuetext::appendExtendedDateTime(out, std::string(42, '\0')));
    EXPECT_TRUE(out.empty());
}
