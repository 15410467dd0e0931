#include "Properties.h"

#include <QtEndian>

namespace qm::jetwriter {

namespace {

constexpr std::uint16_t kObjectChunk = 0x00;
constexpr std::uint16_t kColumnChunk = 0x01;
constexpr std::uint16_t kNamesChunk = 0x80;
constexpr std::uint8_t kByteType = 0x02;
constexpr std::uint8_t kMemoType = 0x0C;
// Access marks the properties that belong to the design of the column.
constexpr std::uint8_t kDesignProperty = 0x01;
constexpr std::size_t kWrapperReserved = 16;
constexpr std::size_t kWrapperPadding = 3;
constexpr int kFixedResultLength = 39;

void append16(std::vector<std::uint8_t>& out, std::size_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void append32(std::vector<std::uint8_t>& out, std::size_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(v >> shift));
}
void put32(std::vector<std::uint8_t>& out, std::size_t at, std::size_t v) {
    qToLittleEndian(std::uint32_t(v), out.data() + at);
}

std::vector<std::uint8_t> utf16(const QString& text) {
    std::vector<std::uint8_t> bytes;
    for (const QChar c : text)
        append16(bytes, c.unicode());
    return bytes;
}

// Appends a chunk: its length and kind, then what fill writes.
template <class Fill>
void appendChunk(std::vector<std::uint8_t>& out, std::uint16_t kind, Fill fill) {
    const std::size_t start = out.size();
    append32(out, 0);
    append16(out, kind);
    fill();
    put32(out, start, out.size() - start);
}

}  // namespace

std::vector<std::uint8_t> EncodeProperties(const std::vector<ColumnProperties>& columns) {
    std::vector<QString> names;
    const auto indexOf = [&](const QString& name) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name)
                return i;
        }
        names.push_back(name);
        return names.size() - 1;
    };
    for (const ColumnProperties& column : columns) {
        for (const Property& property : column.properties)
            indexOf(property.name);
    }

    std::vector<std::uint8_t> out = {'M', 'R', '2', 0};
    appendChunk(out, kNamesChunk, [&] {
        for (const QString& name : names) {
            const auto bytes = utf16(name);
            append16(out, bytes.size());
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
    });
    const auto appendBlock = [&](std::uint16_t kind, const QString& owner,
                                 const std::vector<Property>& list) {
        appendChunk(out, kind, [&] {
            const auto name = utf16(owner);
            append32(out, 6 + name.size());
            append16(out, name.size());
            out.insert(out.end(), name.begin(), name.end());
            for (const Property& property : list) {
                append16(out, 8 + property.value.size());
                out.push_back(kDesignProperty);
                out.push_back(property.type);
                append16(out, indexOf(property.name));
                append16(out, property.value.size());
                out.insert(out.end(), property.value.begin(), property.value.end());
            }
        });
    };
    appendBlock(kObjectChunk, QString(), {});
    for (const ColumnProperties& column : columns)
        appendBlock(kColumnChunk, column.column, column.properties);
    return out;
}

ColumnProperties CalculatedColumnProperties(const QString& column, std::optional<std::uint8_t> resultType,
                                            const QString& expression) {
    ColumnProperties properties{column, {{QStringLiteral("Expression"), kMemoType, utf16(expression)}}};
    if (resultType)
        properties.properties.push_back({QStringLiteral("ResultType"), kByteType, {*resultType}});
    return properties;
}

std::vector<Property> LookupProperties(const Lookup& lookup) {
    constexpr std::uint8_t kIntegerType = 0x03;
    constexpr std::uint8_t kTextType = 0x0A;
    constexpr std::uint16_t kComboBox = 111;
    const auto integer = [&](const char* name, int value) {
        return Property{QString::fromLatin1(name),
                        kIntegerType,
                        {std::uint8_t(value & 0xFF), std::uint8_t((value >> 8) & 0xFF)}};
    };
    std::vector<Property> properties = {
        integer("DisplayControl", kComboBox),
        {QStringLiteral("RowSourceType"), kTextType, utf16(lookup.rowSourceType)},
        {QStringLiteral("RowSource"), kMemoType, utf16(lookup.rowSource)},
        integer("BoundColumn", lookup.boundColumn),
        integer("ColumnCount", lookup.columnCount),
    };
    if (!lookup.columnWidths.isEmpty())
        properties.push_back({QStringLiteral("ColumnWidths"), kTextType, utf16(lookup.columnWidths)});
    return properties;
}

std::vector<Property> RichTextProperties() {
    return {{QStringLiteral("TextFormat"), kByteType, {1}}};
}

std::vector<std::uint8_t> WrapCalculatedResult(std::span<const std::uint8_t> result) {
    std::vector<std::uint8_t> out(kWrapperReserved, 0);
    append32(out, result.size());
    out.insert(out.end(), result.begin(), result.end());
    out.insert(out.end(), kWrapperPadding, 0);
    return out;
}

int CalculatedDeclaredLength(ColumnType result, int textSize) {
    switch (result) {
        case ColumnType::Text:
            return 2 * textSize - 1;
        case ColumnType::Memo:
            return 0;
        default:
            return kFixedResultLength;
    }
}

}  // namespace qm::jetwriter
