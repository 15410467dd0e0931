#pragma once

// Internal to the database layer: reading the rows of one table, decoding each
// value straight from the page buffer.
//
// libmdb reads the table definition (TableDefinition.h); the rows are found
// through the usage map (UsageMap.h), cracked into fields (RowLayout.h), long
// values collected (LongValues.h) and values decoded (StoredValues.h) here,
// because libmdb's own text forms lose data (memo values cut at the bind
// size, two-digit years, no Large Number values, decimals scaled wrongly) and
// cost an allocation per cell.

#include "database/LongValues.h"
#include "database/RowLayout.h"
#include "database/TableDefinition.h"
#include "database/TextDecoding.h"
#include "database/Value.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm {

struct CatalogObject;
struct ConnectionState;
class ComplexColumn;

// Where a row lives: the data page and the slot in the page's row table.
struct RowPosition {
    std::uint32_t page = 0;
    int slot = 0;
};

// Whether a cursor looks up the hidden tables behind attachment and
// multi-value columns: the cursors that read those tables themselves do not.
enum class ComplexColumns { Resolve, Ignore };

// A forward cursor over the rows of one table, read page by page straight
// from the file.
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
    int columnCount() const { return static_cast<int>(shown_.size()); }
    const ColumnInfo& column(int index) const { return columns_[shown(index)]; }
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

    // Values of the current row (after next() returned true). A value that
    // cannot be decoded while the row itself is sound (a stored length that
    // does not fit its type, a calculated column whose result type is not
    // known, the hidden tables of an attachment or list column that cannot
    // be read) is a placeholder that names its kind: "[Calculated value]",
    // "[Double value]", "[Complex data]". Throws DatabaseError for damage to
    // the row or the table.
    bool isNull(int column) const;
    void appendText(int column, std::string& out);
    Value value(int column);
    // The values of a multi-value list of the current row, one by one;
    // nothing when the column is no such list or its values cannot be read.
    std::optional<std::vector<Value>> listValues(int column);
    // The stored bytes of a memo or OLE value of the current row (not Null);
    // false when they cannot be read in full.
    bool appendLongValue(int column, std::string& out);
    // Values read so far that could not be decoded and were given as placeholders.
    long long placeholders() const { return placeholders_; }

  private:
    std::size_t shown(int index) const {
        return static_cast<std::size_t>(shown_[static_cast<std::size_t>(index)]);
    }
    void requireRow() const;
    std::span<const std::uint8_t> fieldSpan(std::size_t column) const;
    std::span<const std::uint8_t> longValue(std::size_t column);
    Value complexValue(std::size_t column);
    Value calculatedValue(std::size_t column);
    Value placeholder(const char* kind);
    void resolveComplexColumns();
    void readResultTypes(const CatalogObject& table);
    bool advance(bool crack);
    bool loadNextPage();
    std::uint32_t nextMappedPage(std::uint32_t after);
    const std::uint8_t* loadPage(std::uint32_t page);
    [[noreturn]] void damaged() const;

    std::shared_ptr<ConnectionState> state_;
    QString tableName_;
    std::uint32_t definitionPage_ = 0;
    // Every column of the definition, in column-number order: rows are cracked
    // by all of them. shown_ lists the ones the cursor offers.
    std::vector<ColumnInfo> columns_;
    std::vector<int> shown_;
    std::vector<RowField> fields_;
    std::vector<int> variableOffsets_;
    RowFormat rowFormat_;
    int rowTable_ = 0;  // offset of a data page's row count and row table
    UsageMap usageMap_;
    std::unique_ptr<jet::CodePageDecoder> jet3Text_;
    std::vector<std::unique_ptr<ComplexColumn>> complex_;
    std::optional<LongValueReader> longValues_;  // made with the definition
    std::string scratch_;
    std::vector<std::uint8_t> pageData_;  // the data page being read
    std::uint32_t loadedPage_ = 0;        // page in pageData_, 0 for none

    bool onPage_ = false;
    std::uint32_t page_ = 0;
    int rowsOnPage_ = 0;
    int nextSlot_ = 0;
    RowPosition current_;
    bool haveRow_ = false;
    long long placeholders_ = 0;
};

// Rows of a table in order, as the catalogue reading and counting need them.
long long CountRows(std::shared_ptr<ConnectionState> state, const CatalogObject& table);

}  // namespace qm
