#include "database/StoredValues.h"

#include "database/TextDecoding.h"

#include <algorithm>
#include <cstdio>

namespace qm::stored {

namespace {

// The decimal text of magnitude / 10^scale, with a minus sign when negative
// and not zero; trailing zeros after the point are dropped.
void appendScaled(std::string& out, unsigned __int128 magnitude, bool negative, int scale) {
    char digits[48];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    scale = std::clamp(scale, 0, 38);
    while (count <= scale)
        digits[count++] = '0';
    // digits[] holds the number least significant first.
    int lowest = 0;
    while (lowest < scale && digits[lowest] == '0')
        ++lowest;
    const bool zero = count == scale + 1 && digits[scale] == '0' && lowest == scale;
    if (negative && !zero)
        out.push_back('-');
    for (int i = count - 1; i >= scale; --i)
        out.push_back(digits[i]);
    if (lowest < scale) {
        out.push_back('.');
        for (int i = scale - 1; i >= lowest; --i)
            out.push_back(digits[i]);
    }
}

constexpr std::size_t kCalculatedLengthOffset = 16;
constexpr std::size_t kCalculatedDataOffset = 20;

}  // namespace

void AppendDecimal(std::string& out, const std::uint8_t* p, int scale) {
    unsigned __int128 magnitude = 0;
    for (int word = 0; word < 4; ++word)
        magnitude = (magnitude << 32) | readU32(p + 1 + 4 * word);
    appendScaled(out, magnitude, (p[0] & 0x80) != 0, scale);
}

std::optional<std::span<const std::uint8_t>> CalculatedResult(std::span<const std::uint8_t> stored) {
    if (stored.empty())
        return stored;  // nothing stored: no result
    if (stored.size() < kCalculatedDataOffset)
        return std::nullopt;
    const std::size_t length = readU32(stored.data() + kCalculatedLengthOffset);
    if (length > stored.size() - kCalculatedDataOffset)
        return std::nullopt;
    return stored.subspan(kCalculatedDataOffset, length);
}

bool AppendCalculatedDecimal(std::string& out, std::span<const std::uint8_t> result) {
    constexpr std::size_t kHeader = 4;  // length, scale, sign
    if (result.size() < kHeader)
        return false;
    const std::uint8_t* p = result.data();
    const std::size_t declared = readU16(p);
    const std::size_t length = declared > 0 ? declared : result.size() - 2;
    const std::size_t magnitudeBytes = length < 2 ? 0 : std::min<std::size_t>((length - 2) / 4 * 4, 16);
    if (kHeader + magnitudeBytes > result.size())
        return false;
    unsigned __int128 magnitude = 0;
    std::size_t at = kHeader;
    if (magnitudeBytes % 8 != 0) {
        magnitude = readU32(p + at);
        at += 4;
    }
    for (; at < kHeader + magnitudeBytes; at += 8)
        magnitude = (magnitude << 64) | readU64(p + at);
    appendScaled(out, magnitude, p[3] != 0, p[2]);
    return true;
}

void AppendStoredText(std::string& out, std::span<const std::uint8_t> stored,
                      const jet::CodePageDecoder* jet3Text) {
    if (jet3Text)
        jet3Text->append(out, stored.data(), stored.size());
    else
        jet::AppendJet4Text(out, stored.data(), stored.size());
}

namespace {

// Bytes a value of the type takes; 0 for types of any length.
std::size_t exactBytes(int type, bool calculated) {
    switch (type) {
        case kBoolean:  // calculated results only; plain Yes/No lives in the null mask
        case kByte:
            return 1;
        case kInteger:
            return 2;
        case kLong:
        case kSingle:
            return 4;
        case kLargeNumber:
        case kCurrency:
        case kDouble:
        case kDateTime:
            return 8;
        case kGuid:
            return 16;
        case kDecimal:
            return calculated ? 0 : 17;  // a calculated decimal carries its own length
        default:
            return 0;
    }
}

std::optional<Value> decode(int type, int scale, bool calculated, std::span<const std::uint8_t> stored,
                            const jet::CodePageDecoder* jet3Text) {
    const std::size_t size = exactBytes(type, calculated);
    if (size != 0 && stored.size() != size)
        return std::nullopt;
    const std::uint8_t* p = stored.data();
    switch (type) {
        case kBoolean:
            return Value::boolean(*p != 0);
        case kByte:
            return Value::integer(Value::Type::Byte, *p);
        case kInteger:
            return Value::integer(Value::Type::Integer, static_cast<std::int16_t>(readU16(p)));
        case kLong:
            return Value::integer(Value::Type::Long, static_cast<std::int32_t>(readU32(p)));
        case kLargeNumber:
            return Value::integer(Value::Type::LargeNumber, static_cast<std::int64_t>(readU64(p)));
        case kCurrency:
            return Value::integer(Value::Type::Currency, static_cast<std::int64_t>(readU64(p)));
        case kSingle:
            return Value::real(Value::Type::Single, readFloat(p));
        case kDouble:
            return Value::real(Value::Type::Double, readDouble(p));
        case kDateTime:
            return Value::real(Value::Type::DateTime, readDouble(p));
        case kGuid:
            return Value::text(Value::Type::Guid, std::string(reinterpret_cast<const char*>(p), 16));
        case kDecimal: {
            std::string text;
            if (!calculated)
                AppendDecimal(text, p, scale);
            else if (!AppendCalculatedDecimal(text, stored))
                return std::nullopt;
            return Value::text(Value::Type::Decimal, std::move(text));
        }
        case kExtendedDateTime: {
            std::string text;
            if (!valuetext::appendExtendedDateTime(
                    text, std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size())))
                return Value::text(Value::Type::Unsupported, "Date/Time Extended");
            return Value::text(Value::Type::DateTimeExtended, std::move(text));
        }
        case kText:
        case kMemo: {
            std::string text;
            AppendStoredText(text, stored, jet3Text);
            return Value::text(type == kText ? Value::Type::Text : Value::Type::Memo, std::move(text));
        }
        case kOle:
            // The object itself is never needed as text: only its placeholder is shown.
            return Value::text(Value::Type::Ole, std::string());
        case kBinary:
            return Value::text(Value::Type::Binary, std::string());
        case kComplex:  // when the cursor does not look up the hidden tables
            return Value::text(Value::Type::Unsupported, "Complex data");
        default: {
            char kind[24];
            std::snprintf(kind, sizeof kind, "Data type 0x%02X", static_cast<unsigned>(type) & 0xFFu);
            return Value::text(Value::Type::Unsupported, kind);
        }
    }
}

}  // namespace

std::optional<Value> DecodeValue(const ColumnInfo& info, std::span<const std::uint8_t> stored,
                                 const jet::CodePageDecoder* jet3Text) {
    return decode(info.type, info.scale, false, stored, jet3Text);
}

std::optional<Value> DecodeCalculatedResult(int resultType, std::span<const std::uint8_t> result,
                                            const jet::CodePageDecoder* jet3Text) {
    switch (resultType) {
        case kBoolean:
        case kByte:
        case kInteger:
        case kLong:
        case kCurrency:
        case kSingle:
        case kDouble:
        case kDateTime:
        case kText:
        case kMemo:
        case kGuid:
        case kDecimal:
        case kLargeNumber:
            return decode(resultType, 0, true, result, jet3Text);
        default:
            return std::nullopt;  // no calculated column has a result of another type
    }
}

const char* ValueKindPlaceholder(int type) {
    switch (type) {
        case kByte:
            return "Byte value";
        case kInteger:
            return "Integer value";
        case kLong:
            return "Long Integer value";
        case kCurrency:
            return "Currency value";
        case kSingle:
            return "Single value";
        case kDouble:
            return "Double value";
        case kDateTime:
            return "Date/Time value";
        case kGuid:
            return "Replication ID value";
        case kDecimal:
            return "Decimal value";
        case kLargeNumber:
            return "Large Number value";
        default:
            return "Undecodable value";
    }
}

}  // namespace qm::stored
