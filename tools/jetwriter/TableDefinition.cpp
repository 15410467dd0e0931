#include "TableDefinition.h"

#include "Properties.h"
#include "TextEncoding.h"

#include <QSet>

#include <algorithm>
#include <cstring>

namespace qm::jetwriter {

namespace {

// ---------------------------------------------------------------------------
// Names.

void checkName(const QString& name, const QString& what) {
    if (name.isEmpty())
        throw WriteError(QStringLiteral("A %1 name must not be empty.").arg(what));
    if (name.size() > kMaxNameLength)
        throw WriteError(QStringLiteral("The %1 name %2 is longer than %3 characters.")
                             .arg(what, quoted(name))
                             .arg(kMaxNameLength));
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0xFEFF)
            throw WriteError(
                QStringLiteral("The %1 name %2 contains a control character.").arg(what, quoted(name)));
    }
    if (name.front() == QLatin1Char(' '))
        throw WriteError(QStringLiteral("The %1 name %2 starts with a blank.").arg(what, quoted(name)));
}

}  // namespace

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// ---------------------------------------------------------------------------
// Table layout.

FileType fileTypeOf(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return kTypeText;
        case ColumnType::Memo:
            return kTypeMemo;
        case ColumnType::Byte:
            return kTypeByte;
        case ColumnType::Integer:
            return kTypeInteger;
        case ColumnType::Long:
            return kTypeLong;
        case ColumnType::Single:
            return kTypeSingle;
        case ColumnType::Double:
            return kTypeDouble;
        case ColumnType::Currency:
            return kTypeMoney;
        case ColumnType::DateTime:
            return kTypeDateTime;
        case ColumnType::Boolean:
            return kTypeBoolean;
        case ColumnType::Guid:
            return kTypeGuid;
    }
    return kTypeText;
}

int fixedLength(FileType type) {
    switch (type) {
        case kTypeBoolean:
            return 0;  // kept in the null mask
        case kTypeByte:
            return 1;
        case kTypeInteger:
            return 2;
        case kTypeLong:
        case kTypeSingle:
            return 4;
        case kTypeMoney:
        case kTypeDouble:
        case kTypeDateTime:
            return 8;
        case kTypeGuid:
            return 16;
        default:
            return -1;  // variable length
    }
}

TableLayout layout(const QString& name, bool system, std::vector<ColumnLayout> columns) {
    TableLayout t;
    t.name = name;
    t.system = system;
    for (auto& c : columns) {
        const int fixedBytes = c.calculated ? -1 : fixedLength(c.fileType);
        c.longValue =
            c.calculated ? c.result == ColumnType::Memo : c.fileType == kTypeMemo || c.fileType == kTypeOle;
        c.fixed = fixedBytes >= 0;
        if (c.fixed) {
            c.fixedOffset = t.fixedSize;
            c.varIndex = t.varCount;
            c.length = c.fileType == kTypeBoolean ? 1 : fixedBytes;
            t.fixedSize += fixedBytes;
        } else {
            c.varIndex = t.varCount++;
            c.length = c.calculated                ? CalculatedDeclaredLength(c.result, c.size)
                       : c.fileType == kTypeText   ? 2 * c.size
                       : c.fileType == kTypeBinary ? 255
                                                   : 0;
        }
    }
    t.columns = std::move(columns);
    return t;
}

TableLayout userLayout(const Table& table) {
    checkName(table.name, QStringLiteral("table"));
    if (table.columns.empty())
        throw WriteError(QStringLiteral("Table %1 has no columns; Access tables have at least one.")
                             .arg(quoted(table.name)));
    if (table.columns.size() > std::size_t(kMaxColumns))
        throw WriteError(QStringLiteral("Table %1 has %2 columns; Access allows at most %3.")
                             .arg(quoted(table.name))
                             .arg(table.columns.size())
                             .arg(kMaxColumns));
    QSet<QString> seen;
    std::vector<ColumnLayout> columns;
    for (const Column& column : table.columns) {
        try {
            checkName(column.name, QStringLiteral("column"));
        } catch (const WriteError& e) {
            throw WriteError(QStringLiteral("Table %1: %2").arg(quoted(table.name), e.description()));
        }
        const QString key = column.name.toCaseFolded();
        if (seen.contains(key))
            throw WriteError(QStringLiteral("Table %1 has two columns named %2 (names ignore case).")
                                 .arg(quoted(table.name), quoted(column.name)));
        seen.insert(key);
        if (ValueType(column) == ColumnType::Text && (column.size < 1 || column.size > kMaxTextSize))
            throw WriteError(QStringLiteral("Table %1, column %2: a Text size must be 1 to %3, not %4.")
                                 .arg(quoted(table.name), quoted(column.name))
                                 .arg(kMaxTextSize)
                                 .arg(column.size));
        ColumnLayout c;
        c.name = column.name;
        c.type = column.type;
        c.fileType = fileTypeOf(column.type);
        c.size = ValueType(column) == ColumnType::Text ? column.size : 0;
        c.nullable = column.nullable && (column.calculated || column.type != ColumnType::Boolean);
        c.lookup = column.lookup;
        c.hyperlink = column.hyperlink && column.type == ColumnType::Memo;
        c.richText = column.richText && column.type == ColumnType::Memo;
        if (column.calculated) {
            c.calculated = true;
            c.result = column.calculated->result;
            c.expression = column.calculated->expression;
            if (column.calculated->recorded)
                c.recordedType = std::uint8_t(column.calculated->recordedType.value_or(fileTypeOf(c.result)));
        }
        columns.push_back(c);
    }
    return layout(table.name, false, std::move(columns));
}

// ---------------------------------------------------------------------------
// Definition pages.

std::vector<std::uint8_t> tableDefinitionBody(const TableLayout& t, std::uint32_t rowCount,
                                              std::uint32_t usageMap, std::uint32_t freeMap) {
    std::vector<std::uint8_t> body(55, 0);
    std::uint8_t* p = body.data() - kTableDefHeaderSize;  // so that offsets read as in the page
    put32(p + 0x0C, kTableDefMagic);
    put32(p + 0x10, rowCount);
    p[0x18] = 0x01;  // lets Access hand out autonumbers
    p[0x28] = t.system ? kSystemTable : kUserTable;
    const auto columnCount = std::uint16_t(t.columns.size());
    put16(p + 0x29, columnCount);
    put16(p + 0x2B, std::uint16_t(t.varCount));
    put16(p + 0x2D, columnCount);
    put32(p + 0x37, usageMap);
    put32(p + 0x3B, freeMap);

    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnLayout& c = t.columns[i];
        std::uint8_t e[kColumnEntrySize] = {};
        e[0] = c.fileType;
        put32(e + 1, kTableDefMagic);
        put16(e + 5, std::uint16_t(i));
        put16(e + 7, std::uint16_t(c.varIndex));
        put16(e + 9, std::uint16_t(i + 1));
        put16(e + 11, kGeneralSortOrder);
        e[15] = std::uint8_t((c.fixed ? kColumnFixed : 0) | kColumnUpdatable |
                             (t.system ? kColumnSystem : 0) | (c.hyperlink ? kColumnHyperlink : 0));
        e[16] = c.calculated                                           ? kColumnCalculated
                : (c.fileType == kTypeText || c.fileType == kTypeMemo) ? kColumnCompressedUnicode
                                                                       : 0;
        put16(e + 21, std::uint16_t(c.fixed ? c.fixedOffset : 0));
        put16(e + 23, std::uint16_t(c.length));
        body.insert(body.end(), e, e + kColumnEntrySize);
    }
    for (const ColumnLayout& c : t.columns) {
        const auto name = utf16Bytes(c.name);
        append16(body, std::uint16_t(name.size()));
        body.insert(body.end(), name.begin(), name.end());
    }
    append16(body, 0xFFFF);  // no per-column page maps follow
    put32(body.data(), std::uint32_t(kTableDefHeaderSize + body.size()));
    return body;
}

std::uint32_t tableDefinitionPages(const TableLayout& t) {
    const std::size_t size = tableDefinitionBody(t, 0, 0, 0).size();
    return std::uint32_t((size + kTableDefBytesPerPage - 1) / kTableDefBytesPerPage);
}

void writeTableDefinition(PageFile& file, std::uint32_t firstPage, const std::vector<std::uint8_t>& body) {
    const std::size_t pages = (body.size() + kTableDefBytesPerPage - 1) / kTableDefBytesPerPage;
    for (std::size_t i = 0; i < pages; ++i) {
        PageBuffer page{};
        const std::size_t from = i * kTableDefBytesPerPage;
        const std::size_t length = std::min<std::size_t>(kTableDefBytesPerPage, body.size() - from);
        page[0] = kPageTableDef;
        page[1] = 0x01;
        put16(&page[2], std::uint16_t(std::max<int>(0, kPageSize - kTableDefHeaderSize - int(length) - 8)));
        put32(&page[4], i + 1 < pages ? firstPage + std::uint32_t(i) + 1 : 0);
        std::memcpy(&page[kTableDefHeaderSize], body.data() + from, length);
        file.write(firstPage + std::uint32_t(i), page);
    }
}

}  // namespace qm::jetwriter
