#pragma once

// Internal to the database layer: a table's definition as the row reader
// needs it. libmdb reads the definition pages; the names, extra flags and
// type-specific bytes of the columns are read here, as libmdb does not keep
// them (or mangles them).

#include "database/UsageMap.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

struct CatalogObject;
struct ConnectionState;
namespace jet {
class CodePageDecoder;
}

// Jet column types (the first byte of a column's definition).
enum JetColumnType : int {
    kBoolean = 0x01,
    kByte = 0x02,
    kInteger = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kSingle = 0x06,
    kDouble = 0x07,
    kDateTime = 0x08,
    kBinary = 0x09,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
    kGuid = 0x0F,
    kDecimal = 0x10,
    kComplex = 0x12,  // attachment or multi-value column: an id into a hidden table
    kLargeNumber = 0x13,
    kExtendedDateTime = 0x14,  // Date/Time Extended: 42 bytes of ASCII digits
};

struct ColumnInfo {
    QString name;
    std::string utf8Name;
    int type = 0;  // JetColumnType
    int size = 0;
    int scale = 0;
    // Where the column's value sits in a row.
    bool fixed = false;
    int fixedOffset = 0;    // fixed columns: from the start of the fixed data
    int variableIndex = 0;  // variable columns: entry in the row's offset table
    int number = 0;         // bit in the row's null mask
    bool autoNumber = false;
    // A calculated column (Access 2010 and later): the row holds the result
    // Access worked out, wrapped. Its type is the one the column's
    // ResultType property records, which need not be type (0 when the
    // property is missing); the expression is kept beside it.
    bool calculated = false;
    int resultType = 0;
    QString expression;
    // A memo that holds hyperlinks (display#address#sub-address#...).
    bool hyperlink = false;
    // Attachment and multi-value columns: the column's row in
    // MSysComplexColumns, and which of the cursor's complex columns it is.
    std::int32_t complexId = 0;
    int complexIndex = -1;
};

struct TableDefinition {
    std::vector<ColumnInfo> columns;  // in column-number order
    bool hasVariableColumns = false;
    int pageSize = 0;
    int rowTable = 0;  // offset of a data page's row count and row table
    UsageMap usageMap;
};

// Reads the definition of the table. jet3Text: the file's code page for Jet 3
// files, nullptr for Jet 4 and ACE. Throws DatabaseError when it is damaged.
TableDefinition ReadTableDefinition(const std::shared_ptr<ConnectionState>& state, const CatalogObject& table,
                                    const jet::CodePageDecoder* jet3Text);

}  // namespace qm
