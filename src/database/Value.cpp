#include "database/Value.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>

namespace qm {

namespace {

// Placeholders for values that have no text form of their own.
constexpr std::string_view kBinaryPlaceholder = "[Binary data]";
constexpr std::string_view kOlePlaceholder = "[OLE Object]";

template <class T>
void appendInteger(std::string& out, T v) {
    std::array<char, 24> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v);
    out.append(buffer.data(), result.ptr);
}

void appendTwoDigits(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + v / 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

// The digits after the point of a fraction of width digits (0.0123 is 123
// with width 4), without trailing zeros; nothing for 0.
void appendFraction(std::string& out, std::uint64_t fraction, int width) {
    if (fraction == 0)
        return;
    char digits[20];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    int length = width;
    while (digits[length - 1] == '0')
        --length;
    out.push_back('.');
    out.append(digits, static_cast<std::size_t>(length));
}

// "YYYY-MM-DD" of the proleptic Gregorian calendar, the year with at least
// four digits.
void appendDate(std::string& out, std::chrono::sys_days day) {
    const std::chrono::year_month_day date{day};
    std::array<char, 8> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<int>(date.year())).ptr;
    out.append(static_cast<std::size_t>(std::max<long>(0, 4 - (end - digits.data()))), '0');
    out.append(digits.data(), end);
    out.push_back('-');
    appendTwoDigits(out, static_cast<int>(static_cast<unsigned>(date.month())));
    out.push_back('-');
    appendTwoDigits(out, static_cast<int>(static_cast<unsigned>(date.day())));
}

// "HH:MM:SS" of a time of day in whole seconds.
void appendClock(std::string& out, long long seconds) {
    appendTwoDigits(out, static_cast<int>(seconds / 3600));
    out.push_back(':');
    appendTwoDigits(out, static_cast<int>(seconds / 60 % 60));
    out.push_back(':');
    appendTwoDigits(out, static_cast<int>(seconds % 60));
}

// Access's day 0, which a time given without a date gets.
constexpr std::chrono::sys_days kAccessZeroDate = std::chrono::year{1899} / std::chrono::December / 30;

// Access keeps dates from 1 Jan 100 to 31 Dec 9999.
constexpr double kFirstAccessDate = -657434.0;
constexpr double kLastAccessDate = 2958466.0;

}  // namespace

Value Value::boolean(bool v) {
    Value value;
    value.type_ = Type::Boolean;
    value.int_ = v ? 1 : 0;
    return value;
}

Value Value::integer(Type type, std::int64_t v) {
    Value value;
    value.type_ = type;
    value.int_ = v;
    return value;
}

Value Value::real(Type type, double v) {
    Value value;
    value.type_ = type;
    value.real_ = v;
    return value;
}

Value Value::text(Type type, std::string utf8) {
    Value value;
    value.type_ = type;
    value.text_ = std::move(utf8);
    return value;
}

void Value::appendText(std::string& out) const {
    switch (type_) {
        case Type::Null:
            return;
        case Type::Boolean:
            out += int_ ? "True" : "False";
            return;
        case Type::Byte:
        case Type::Integer:
        case Type::Long:
        case Type::LargeNumber:
            appendInteger(out, int_);
            return;
        case Type::Currency:
            valuetext::appendCurrency(out, int_);
            return;
        case Type::Single:
            valuetext::appendFloat(out, static_cast<float>(real_));
            return;
        case Type::Double:
            valuetext::appendDouble(out, real_);
            return;
        case Type::DateTime:
            valuetext::appendDateTime(out, real_);
            return;
        case Type::Text:
        case Type::Memo:
        case Type::Decimal:
            out += text_;
            return;
        case Type::Guid:
            valuetext::appendGuid(out, text_);
            return;
        case Type::Binary:
            out += kBinaryPlaceholder;
            return;
        case Type::Ole:
            out += kOlePlaceholder;
            return;
        case Type::Attachment:
        case Type::MultiValue:
        case Type::DateTimeExtended:
            out += text_;
            return;
        case Type::Unsupported:
            out.push_back('[');
            out += text_;
            out.push_back(']');
            return;
    }
}

std::string Value::toText() const {
    std::string text;
    appendText(text);
    return text;
}

namespace valuetext {

namespace {

// Shortest text that reads back to the same number: plain digits for
// magnitudes from 0.0001 to below 10^16, as people write numbers, and the
// exponent form only outside that range; "NaN", "Infinity" and "-Infinity"
// for the values that are no numbers.
template <class Real>
void appendShortest(std::string& out, Real v) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-Infinity" : "Infinity";
        return;
    }
    if (v == 0)
        v = 0;  // no "-0"
    std::array<char, 64> buffer;
    const Real magnitude = v < 0 ? -v : v;
    const bool plain = v == 0 || (magnitude >= Real(1e-4) && magnitude < Real(1e16));
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    out.append(buffer.data(), result.ptr);
}

}  // namespace

void appendDouble(std::string& out, double v) {
    appendShortest(out, v);
}

void appendFloat(std::string& out, float v) {
    appendShortest(out, v);
}

void appendCurrency(std::string& out, std::int64_t tenThousandths) {
    const bool negative = tenThousandths < 0;
    // Magnitude as unsigned so the most negative value has one too.
    const std::uint64_t magnitude = negative ? std::uint64_t(0) - static_cast<std::uint64_t>(tenThousandths)
                                             : static_cast<std::uint64_t>(tenThousandths);
    if (negative)
        out.push_back('-');
    appendInteger(out, magnitude / 10000);
    appendFraction(out, magnitude % 10000, 4);
}

void appendDateTime(std::string& out, double accessDate) {
    if (!std::isfinite(accessDate) || accessDate <= kFirstAccessDate - 1 || accessDate >= kLastAccessDate) {
        // Outside anything Access can hold: show the stored number rather than
        // an invented date.
        appendDouble(out, accessDate);
        return;
    }
    // The whole part counts days from 1899-12-30 (negative before it); the
    // fraction is the time of day, taken as positive on both sides of zero.
    const double wholeDays = std::trunc(accessDate);
    long long day = static_cast<long long>(wholeDays);
    long long seconds = std::llround(std::fabs(accessDate - wholeDays) * 86400.0);
    if (seconds >= 86400) {  // rounds up to the next midnight
        seconds -= 86400;
        ++day;
    }
    const bool midnight = seconds == 0;
    const bool datePart = midnight || day != 0;
    if (datePart)
        appendDate(out, kAccessZeroDate + std::chrono::days{day});
    if (!midnight) {
        if (datePart)
            out.push_back(' ');
        appendClock(out, seconds);
    }
}

void appendGuid(std::string& out, std::string_view sixteenBytes) {
    if (sixteenBytes.size() != 16) {
        out += kBinaryPlaceholder;
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    // The first three groups are stored little-endian, the last two as written.
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    out.push_back('{');
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        const auto b = static_cast<unsigned char>(sixteenBytes[static_cast<std::size_t>(kOrder[i])]);
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0xF]);
    }
    out.push_back('}');
}

bool appendExtendedDateTime(std::string& out, std::string_view stored) {
    // Two runs of 19 digits, each followed by a colon, then the precision.
    constexpr std::size_t kDigits = 19;
    if (stored.size() < 2 * kDigits + 3 || stored[kDigits] != ':' || stored[2 * kDigits + 1] != ':')
        return false;
    const auto number = [&](std::size_t from, std::uint64_t& value) {
        const char* begin = stored.data() + from;
        const auto [end, error] = std::from_chars(begin, begin + kDigits, value);
        return error == std::errc() && end == begin + kDigits;
    };
    std::uint64_t days = 0;
    std::uint64_t ticks = 0;
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    constexpr std::uint64_t kTicksPerDay = 86'400 * kTicksPerSecond;
    constexpr std::uint64_t kLastDay = 3'652'058;  // 9999-12-31
    if (!number(0, days) || !number(kDigits + 1, ticks) || days > kLastDay || ticks >= kTicksPerDay)
        return false;

    using namespace std::chrono;
    // Day 0 is 0001-01-01 of the proleptic Gregorian calendar.
    constexpr sys_days kFirstDay = year{1} / January / 1;
    const sys_days day = kFirstDay + std::chrono::days{static_cast<long long>(days)};
    const bool midnight = ticks == 0;
    // A time entered without a date gets Access's zero date, in this type as
    // in Date/Time, and is shown without it.
    const bool datePart = midnight || day != kAccessZeroDate;
    if (datePart)
        appendDate(out, day);
    if (!midnight) {
        if (datePart)
            out.push_back(' ');
        appendClock(out, static_cast<long long>(ticks / kTicksPerSecond));
        appendFraction(out, ticks % kTicksPerSecond, 7);
    }
    return true;
}

}  // namespace valuetext

}  // namespace qm
