#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// One value read from a database column: a variant that may be Null.
// Text is held as UTF-8. The text form of every type (see appendText) is fixed
// so that exported documents are stable:
//   Null -> ""; Text, Memo -> as stored; Byte, Integer, Long, LargeNumber -> decimal;
//   Single, Double -> shortest text that reads back to the same value, '.' as point;
//   Currency, Decimal -> exact decimal without trailing zeros ("3.5", "0", "-12.3456");
//   Boolean -> "True"/"False"; DateTime -> "YYYY-MM-DD", "HH:MM:SS" or both;
//   Guid -> "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; DateTimeExtended, Attachment,
//   MultiValue -> their text as read ("2021-06-14 22:45:12.3456789", "a.txt; b.txt");
//   Binary, Ole -> placeholder; Unsupported -> "[kind]" with the kind its text names.
class Value {
  public:
    enum class Type : std::uint8_t {
        Null,
        Boolean,
        Byte,
        Integer,
        Long,
        LargeNumber,
        Currency,  // integer count of 1/10000
        Single,
        Double,
        DateTime,  // days since 1899-12-30 as Access stores them
        Text,
        Memo,
        Guid,     // 16 bytes as stored
        Decimal,  // exact decimal text, already normalised
        Binary,   // raw bytes
        Ole,
        Attachment,        // the file names, already joined
        MultiValue,        // the list's values as text, already joined
        DateTimeExtended,  // text, already formatted
        Unsupported,       // a kind of data that has no text form here: its name
    };

    Value() = default;
    static Value null() { return Value(); }
    static Value boolean(bool v);
    // Byte, Integer, Long, LargeNumber, Currency
    static Value integer(Type type, std::int64_t v);
    static Value real(Type type, double v);  // Single, Double, DateTime
    // Text, Memo, Decimal, Guid, Binary, Ole, Attachment, MultiValue, DateTimeExtended, Unsupported
    static Value text(Type type, std::string utf8);
    static Value fromQString(const QString& text) { return Value::text(Type::Text, text.toStdString()); }

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    std::int64_t asInteger() const { return int_; }
    double asReal() const { return real_; }
    const std::string& bytes() const { return text_; }

    // Appends the text form to out (UTF-8).
    void appendText(std::string& out) const;
    std::string toText() const;
    QString toQString() const { return QString::fromStdString(toText()); }

    friend bool operator==(const Value&, const Value&) = default;

  private:
    Type type_ = Type::Null;
    std::int64_t int_ = 0;
    double real_ = 0;
    std::string text_;
};

// The default when the value is Null, otherwise the value unchanged.
inline Value NullCoalesce(const Value& value, const Value& fallback) {
    return value.isNull() ? fallback : value;
}

// Text forms of the individual types, shared with tools that format values.
namespace valuetext {
void appendDouble(std::string& out, double v);
void appendFloat(std::string& out, float v);
void appendCurrency(std::string& out, std::int64_t tenThousandths);
void appendDateTime(std::string& out, double accessDate);
void appendGuid(std::string& out, std::string_view sixteenBytes);
// A Date/Time Extended value as stored: 42 bytes of ASCII digits, days since
// 0001-01-01, 100-nanosecond ticks since midnight and the precision
// ("0000000000000737954:0000000819123456789:7"). False, with nothing appended,
// when the bytes are not in that form.
bool appendExtendedDateTime(std::string& out, std::string_view stored);
}  // namespace valuetext

}  // namespace qm
