#pragma once

// Internal to the writer: a table's layout (where each column lives in a row)
// and its definition pages, which hold the layout with the column entries and
// names.

#include "JetWriter.h"
#include "Pages.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm::jetwriter {

// Table definition pages: 8 header bytes on every page, then the definition.
inline constexpr int kTableDefHeaderSize = 8;
inline constexpr int kTableDefBytesPerPage = kPageSize - kTableDefHeaderSize;
inline constexpr int kColumnEntrySize = 25;
// Copied from the table definitions Access writes; its meaning is unknown.
inline constexpr std::uint32_t kTableDefMagic = 0x0659;

inline constexpr std::uint8_t kUserTable = 0x4E;
inline constexpr std::uint8_t kSystemTable = 0x53;
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnUpdatable = 0x02;
inline constexpr std::uint8_t kColumnSystem = 0x10;
inline constexpr std::uint8_t kColumnHyperlink = 0x80;
inline constexpr std::uint8_t kColumnCompressedUnicode = 0x01;
inline constexpr std::uint8_t kColumnCalculated = 0xC0;
inline constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// Column types in the file. Binary and OLE only occur in the catalogue.
enum FileType : std::uint8_t {
    kTypeBoolean = 0x01,
    kTypeByte = 0x02,
    kTypeInteger = 0x03,
    kTypeLong = 0x04,
    kTypeMoney = 0x05,
    kTypeSingle = 0x06,
    kTypeDouble = 0x07,
    kTypeDateTime = 0x08,
    kTypeBinary = 0x09,
    kTypeText = 0x0A,
    kTypeOle = 0x0B,
    kTypeMemo = 0x0C,
    kTypeGuid = 0x0F,
};

// ---------------------------------------------------------------------------
// Table layout: where each column lives in a row.

struct ColumnLayout {
    QString name;
    ColumnType type = ColumnType::Text;
    FileType fileType = kTypeText;
    int size = 0;    // Text: characters
    int length = 0;  // bytes in the fixed area, or the declared length
    bool nullable = true;
    bool fixed = false;
    int fixedOffset = 0;  // offset in the fixed area
    int varIndex = 0;     // fixed: variable columns before it
    // A calculated column stores its result type's values, wrapped, as a
    // variable column; a memo result as a long value.
    bool calculated = false;
    ColumnType result = ColumnType::Text;
    QString expression;
    std::optional<std::uint8_t> recordedType;  // the ResultType property, if any
    std::optional<Lookup> lookup;
    bool hyperlink = false;
    bool richText = false;
    bool longValue = false;  // the field is a long-value header (memo, OLE)
};

struct TableLayout {
    QString name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    int fixedSize = 0;
    int varCount = 0;
};

FileType fileTypeOf(ColumnType type);

// The bytes a value of the type takes in the fixed area; -1 for the types
// kept with the variable columns.
int fixedLength(FileType type);

// Lays out columns given with their file types (the catalogue uses types that
// user tables cannot).
TableLayout layout(const QString& name, bool system, std::vector<ColumnLayout> columns);

// The layout of a user table; throws WriteError for a bad name or column.
TableLayout userLayout(const Table& table);

// The definition bytes from offset 8 of the first page on (the part that
// continues on further pages).
std::vector<std::uint8_t> tableDefinitionBody(const TableLayout& t, std::uint32_t rowCount,
                                              std::uint32_t usageMap, std::uint32_t freeMap);

// The pages the table's definition takes.
std::uint32_t tableDefinitionPages(const TableLayout& t);

// Writes the definition on consecutive pages from firstPage, each naming the next.
void writeTableDefinition(PageFile& file, std::uint32_t firstPage, const std::vector<std::uint8_t>& body);

// A table or column name as messages give it: in double quotes.
QString quoted(const QString& name);

}  // namespace qm::jetwriter
