#include "CellEncoding.h"

#include "LongValues.h"
#include "Pages.h"
#include "Properties.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace qm::jetwriter {

namespace {

// ---------------------------------------------------------------------------
// Messages.

QString typeName(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return QStringLiteral("Text");
        case ColumnType::Memo:
            return QStringLiteral("Memo");
        case ColumnType::Byte:
            return QStringLiteral("Byte");
        case ColumnType::Integer:
            return QStringLiteral("Integer");
        case ColumnType::Long:
            return QStringLiteral("Long");
        case ColumnType::Single:
            return QStringLiteral("Single");
        case ColumnType::Double:
            return QStringLiteral("Double");
        case ColumnType::Currency:
            return QStringLiteral("Currency");
        case ColumnType::DateTime:
            return QStringLiteral("Date/Time");
        case ColumnType::Boolean:
            return QStringLiteral("Yes/No");
        case ColumnType::Guid:
            return QStringLiteral("Replication ID");
    }
    return {};
}

const char* kindOf(const Cell& cell) {
    switch (cell.index()) {
        case 0:
            return "Null";
        case 1:
            return "a Yes/No value";
        case 2:
            return "a whole number";
        case 3:
            return "a number";
        case 4:
            return "a Currency value";
        case 5:
            return "a Date/Time value";
        case 6:
            return "text";
        case 7:
            return "a Replication ID";
    }
    return "a value";
}

[[noreturn]] void wrongKind(const ColumnLayout& c, const Cell& cell) {
    throw CellProblem{
        QStringLiteral("a %1 column cannot take %2.").arg(typeName(c.type), QLatin1String(kindOf(cell)))};
}

// ---------------------------------------------------------------------------
// Value checks.

std::int64_t wholeNumber(const ColumnLayout& c, const Cell& cell, std::int64_t low, std::int64_t high) {
    std::int64_t v = 0;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        v = *i;
    } else if (const auto* d = std::get_if<double>(&cell)) {
        if (!std::isfinite(*d) || *d != std::trunc(*d) || *d < double(low) || *d > double(high))
            throw CellProblem{QStringLiteral("%1 is not a whole number from %2 to %3.")
                                  .arg(*d, 0, 'g', 17)
                                  .arg(low)
                                  .arg(high)};
        v = std::int64_t(*d);
    } else {
        wrongKind(c, cell);
    }
    if (v < low || v > high)
        throw CellProblem{QStringLiteral("%1 is outside the %2 range %3 to %4.")
                              .arg(v)
                              .arg(typeName(c.type))
                              .arg(low)
                              .arg(high)};
    return v;
}

double realNumber(const ColumnLayout& c, const Cell& cell) {
    if (const auto* d = std::get_if<double>(&cell))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&cell))
        return double(*i);
    wrongKind(c, cell);
}

std::int64_t currencyValue(const ColumnLayout& c, const Cell& cell) {
    if (const auto* m = std::get_if<Currency>(&cell))
        return m->tenThousandths;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        std::int64_t v = 0;
        if (__builtin_mul_overflow(*i, std::int64_t(10000), &v))
            throw CellProblem{QStringLiteral("%1 is outside the Currency range.").arg(*i)};
        return v;
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        const double scaled = std::round(*d * 10000.0);
        if (!std::isfinite(scaled) || scaled < -9.2233720368547758e18 || scaled >= 9.2233720368547758e18)
            throw CellProblem{QStringLiteral("%1 is outside the Currency range.").arg(*d, 0, 'g', 17)};
        return std::int64_t(scaled);
    }
    wrongKind(c, cell);
}

}  // namespace

// ---------------------------------------------------------------------------
// Cells to bytes.

void encodeFixed(const ColumnLayout& c, const Cell& cell, std::uint8_t* out, EncodedCell& e) {
    switch (c.fileType) {
        case kTypeBoolean: {
            const auto* b = std::get_if<bool>(&cell);
            if (!b)
                wrongKind(c, cell);
            e.boolean = *b;
            return;
        }
        case kTypeByte:
            out[0] = std::uint8_t(wholeNumber(c, cell, 0, 255));
            return;
        case kTypeInteger:
            put16(out, std::uint16_t(wholeNumber(c, cell, -32768, 32767)));
            return;
        case kTypeLong:
            put32(out, std::uint32_t(wholeNumber(c, cell, INT32_MIN, INT32_MAX)));
            return;
        case kTypeSingle: {
            const double v = realNumber(c, cell);
            if (std::isfinite(v) && std::fabs(v) > double(std::numeric_limits<float>::max()))
                throw CellProblem{QStringLiteral("%1 is outside the Single range.").arg(v, 0, 'g', 17)};
            putFloat(out, float(v));
            return;
        }
        case kTypeDouble:
            putDouble(out, realNumber(c, cell));
            return;
        case kTypeMoney:
            put64(out, std::uint64_t(currencyValue(c, cell)));
            return;
        case kTypeDateTime: {
            double days = 0;
            if (const auto* d = std::get_if<DateTime>(&cell))
                days = d->days;
            else if (const auto* r = std::get_if<double>(&cell))
                days = *r;
            else
                wrongKind(c, cell);
            if (!std::isfinite(days))
                throw CellProblem{QStringLiteral("a Date/Time value must be a finite number of days.")};
            putDouble(out, days);
            return;
        }
        case kTypeGuid: {
            const auto* g = std::get_if<Guid>(&cell);
            if (!g)
                wrongKind(c, cell);
            std::memcpy(out, g->bytes.data(), 16);
            return;
        }
        default:
            return;
    }
}

void encodeVariable(const ColumnLayout& c, const Cell& cell, EncodedCell& e) {
    const auto* text = std::get_if<QString>(&cell);
    if (!text)
        wrongKind(c, cell);
    if (c.fileType == kTypeText && text->size() > c.size)
        throw CellProblem{QStringLiteral("the text has %1 characters; the column holds at most %2.")
                              .arg(text->size())
                              .arg(c.size)};
    const bool compress = c.fileType == kTypeText || text->size() <= kMaxCompressedMemoChars;
    try {
        e.bytes = EncodeText(*text, compress);
    } catch (const WriteError& error) {
        throw CellProblem{error.description()};
    }
    if (c.fileType == kTypeMemo && e.bytes.size() > kMaxMemoBytes)
        throw CellProblem{QStringLiteral("the memo value takes %1 bytes; at most %2 can be written.")
                              .arg(e.bytes.size())
                              .arg(kMaxMemoBytes)};
}

void encodeCalculated(const ColumnLayout& c, const Cell& cell, EncodedCell& e) {
    ColumnLayout value = c;
    value.type = c.result;
    value.fileType = fileTypeOf(c.result);
    std::vector<std::uint8_t> result;
    const int size = fixedLength(value.fileType);
    if (value.fileType == kTypeBoolean) {
        encodeFixed(value, cell, nullptr, e);
        result.push_back(e.boolean ? 0xFF : 0x00);
        e.boolean = false;
    } else if (size > 0) {
        result.resize(std::size_t(size));
        encodeFixed(value, cell, result.data(), e);
    } else {
        encodeVariable(value, cell, e);
        result = std::move(e.bytes);
    }
    e.bytes = WrapCalculatedResult(result);
}

}  // namespace qm::jetwriter
