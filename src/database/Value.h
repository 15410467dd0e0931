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
//   Guid -> "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; Binary, Ole, Attachment -> placeholder.
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
        Attachment,  // attachment or multi-value column (complex id)
    };

    Value() = default;
    static Value null() { return Value(); }
    static Value boolean(bool v);
    // Byte, Integer, Long, LargeNumber, Currency, Attachment
    static Value integer(Type type, std::int64_t v);
    static Value real(Type type, double v);          // Single, Double, DateTime
    static Value text(Type type, std::string utf8);  // Text, Memo, Decimal, Guid, Binary, Ole
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
}  // namespace valuetext

}  // namespace qm
