#pragma once

// Internal to the database layer: the rows behind record sets and the preview
// grid.

#include "database/Ado.h"
#include "database/MdbSupport.h"
#include "database/ShownValues.h"
#include "database/TableReader.h"

#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

// The columns of a table that a query selects, in query order, and how
// their values are shown (nothing: as stored).
struct TableSelection {
    std::shared_ptr<ConnectionState> state;
    CatalogObject table;
    std::vector<int> columns;  // table column index of each query column
    std::shared_ptr<const ShownColumns> shown;

    // The value of a column of the cursor's current row, as it is shown.
    Value value(TableCursor& cursor, int column) const {
        const ShownColumn* shownColumn = shown ? shown->of(column) : nullptr;
        return shownColumn ? shownColumn->shown(cursor, column) : cursor.value(column);
    }
};

// Random access to the rows of a table without holding them: the first time
// rows are asked for, the table's data pages are counted from their row
// tables alone (a few hundred bytes a page), which gives the row count and the
// first row of every page; reaching row N is then one page read and fewer
// steps than that page has rows. Recently shown blocks of rows are kept.
class TableRowSource : public RowSource {
  public:
    explicit TableRowSource(TableSelection selection);

    int columnCount() const override;
    QString columnName(int column) const override;
    long long rowCount() const override;
    std::vector<std::vector<Value>> rows(long long first, int count) override;

    static constexpr int kBlockRows = 64;
    static constexpr std::size_t kCachedBlocks = 32;

  private:
    struct PageStart {
        long long firstRow;
        std::uint32_t page;
    };
    void buildIndex() const;
    const std::vector<std::vector<Value>>& block(long long index);

    TableSelection selection_;
    mutable TableCursor cursor_;
    mutable std::vector<PageStart> pages_;  // data pages holding rows, in order
    mutable long long rowCount_ = -1;       // -1 until the pages are counted
    std::list<std::pair<long long, std::vector<std::vector<Value>>>> blocks_;  // most recent first
};

// Rows held in memory (the tables schema).
class MemoryRowSource : public RowSource {
  public:
    MemoryRowSource(QStringList names, std::vector<std::vector<Value>> rows)
        : names_(std::move(names)), rows_(std::move(rows)) {}
    int columnCount() const override { return static_cast<int>(names_.size()); }
    QString columnName(int column) const override { return names_.value(column); }
    long long rowCount() const override { return static_cast<long long>(rows_.size()); }
    std::vector<std::vector<Value>> rows(long long first, int count) override;

  private:
    QStringList names_;
    std::vector<std::vector<Value>> rows_;
};

}  // namespace qm
