#pragma once

// Internal to the database layer: reading the rows of one table with libmdb,
// decoding each value straight from the page buffer.
//
// libmdb finds the table's pages and cracks each row into fields; the values
// themselves are decoded here, because libmdb's own text forms lose data (memo
// values cut at the bind size, two-digit years, no Large Number values,
// decimals scaled wrongly) and cost an allocation per cell.

#include "database/MdbSupport.h"
#include "database/TextDecoding.h"
#include "database/Value.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

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
    // Access worked out, wrapped, and type is the result's type.
    bool calculated = false;
    // Attachment and multi-value columns: the column's row in
    // MSysComplexColumns, and which of the cursor's complex columns it is.
    std::int32_t complexId = 0;
    int complexIndex = -1;
};

class ComplexColumn;

// Whether a cursor looks up the hidden tables behind attachment and
// multi-value columns: the cursors that read those tables themselves do not.
enum class ComplexColumns { Resolve, Ignore };

// One value of the current row: where its bytes are in the page buffer.
struct RowField {
    int start = 0;
    int size = 0;
    bool null = true;  // for Yes/No columns: the value is No
};

// Where a row lives: the data page and the slot in the page's row table.
struct RowPosition {
    std::uint32_t page = 0;
    int slot = 0;
};

// The pages a table's usage map names: an inline bitmap (type 0), or a list of
// bitmap pages (type 1) that are read when first needed and then kept.
class UsageMap {
  public:
    UsageMap() = default;
    UsageMap(const ConnectionState& state, const std::uint8_t* map, std::size_t size);
    // The first page after `after` that the map names, 0 when none does.
    // Nothing when the map cannot be read.
    std::optional<std::uint32_t> next(std::uint32_t after);

  private:
    const ConnectionState* state_ = nullptr;
    std::vector<std::uint8_t> map_;
    std::vector<std::vector<std::uint8_t>> bitmapPages_;  // type 1: read on demand
};

// A forward cursor over the rows of one table. libmdb reads the table
// definition; the rows are read here, page by page, straight from the file.
class TableCursor {
  public:
    // Reads the table definition. Throws DatabaseError.
    // Version-history columns (the hidden history of append-only memos) are
    // left out: Access never shows them as fields.
    TableCursor(std::shared_ptr<ConnectionState> state, const CatalogObject& table,
                ComplexColumns complex = ComplexColumns::Resolve);
    ~TableCursor();
    TableCursor(const TableCursor&) = delete;
    TableCursor& operator=(const TableCursor&) = delete;

    const QString& tableName() const { return tableName_; }
    int columnCount() const { return static_cast<int>(columns_.size()); }
    const ColumnInfo& column(int index) const { return columns_[static_cast<std::size_t>(index)]; }
    // Index of the column of that name (ignoring case, as Access does), or -1.
    int findColumn(const QString& name) const;

    // Back to before the first row.
    void rewind();
    // Moves to the next row; false past the last one. Throws DatabaseError
    // when the data is damaged.
    bool next();
    // Moves past the next row without cracking it. Counts the same rows next() visits.
    bool skip();
    // Calls visit(page, rows) for every data page of the table in order, with
    // the number of rows next() finds on it. Reads only the start of each
    // page (its row table), so counting a large table costs little. Leaves
    // the cursor where it was.
    void forEachDataPage(const std::function<void(std::uint32_t page, int rows)>& visit);
    // Where the current row (after next() or skip()) lives.
    RowPosition currentPosition() const { return current_; }
    // Makes the row at position the next one that next() or skip() visits.
    void seek(RowPosition position);

    // Values of the current row (after next() returned true).
    bool isNull(int column) const;
    void appendText(int column, std::string& out);
    Value value(int column);

  private:
    // The bytes of one stored value.
    struct Stored {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
    };
    void requireRow() const;
    Stored fieldSpan(int column) const;
    Stored calculatedResult(int column);
    Value decode(const ColumnInfo& info, Stored stored);
    void appendStoredText(std::string& out, Stored stored) const;
    Value complexValue(int column);
    void resolveComplexColumns();
    bool advance(bool crack);
    bool crackRow(int start, int size);
    bool loadNextPage();
    std::uint32_t nextMappedPage(std::uint32_t after);
    const std::uint8_t* loadPage(std::uint32_t page);
    void readMemo(int column, std::string& raw);
    std::pair<const std::uint8_t*, std::size_t> longValueRow(std::uint32_t pageRow);
    [[noreturn]] void damaged() const;

    std::shared_ptr<ConnectionState> state_;
    // libmdb's reading of the table definition; released once it is copied out.
    MdbHandlePtr handle_;
    MdbCatalogEntry entry_{};  // the definition points at this
    MdbTableDefPtr table_;
    QString tableName_;
    std::vector<ColumnInfo> columns_;
    std::vector<RowField> fields_;
    std::vector<int> variableOffsets_;
    bool hasVariableColumns_ = false;
    std::unique_ptr<jet::CodePageDecoder> jet3Text_;
    std::vector<std::unique_ptr<ComplexColumn>> complex_;
    std::string scratch_;
    int pageSize_ = 0;
    int rowTable_ = 0;  // offset of a data page's row count and row table
    UsageMap usageMap_;
    std::vector<std::uint8_t> pageData_;       // the data page being read
    std::uint32_t loadedPage_ = 0;             // page in pageData_, 0 for none
    std::vector<std::uint8_t> longValueData_;  // the long-value page last read
    std::uint32_t longValuePage_ = 0;          // page in longValueData_, 0 for none

    bool onPage_ = false;
    std::uint32_t page_ = 0;
    int rowsOnPage_ = 0;
    int nextSlot_ = 0;
    RowPosition current_;
    bool haveRow_ = false;
};

// Rows of a table in order, as the catalogue reading and counting need them.
long long CountRows(std::shared_ptr<ConnectionState> state, const CatalogObject& table);

}  // namespace qm
