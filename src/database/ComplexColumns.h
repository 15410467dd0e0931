#pragma once

// Internal to the database layer: the values of attachment and multi-value
// columns (Access 2007 and later).
//
// Such a column holds only a key in its table's row. The values are rows of a
// hidden "flat" table, one per attachment or list entry, each with that key
// in a column of its own; MSysComplexColumns names the flat table and a
// template table whose columns tell what the column holds. The same machinery
// keeps the history of append-only memos in a hidden version-history column.

#include "database/TableReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

struct ConnectionState;

// One row of MSysComplexColumns.
struct ComplexColumnEntry {
    std::int32_t id = 0;
    std::uint32_t flatTable = 0;        // definition page of the table holding the values
    std::uint32_t templateTable = 0;    // definition page of the template (MSysComplexType_...)
    std::uint32_t conceptualTable = 0;  // definition page of the table the column belongs to
};

// The rows of MSysComplexColumns; none when the database has no such table.
// Throws DatabaseError when it is damaged.
std::vector<ComplexColumnEntry> ReadComplexColumns(const std::shared_ptr<ConnectionState>& state);

enum class ComplexKind {
    Attachment,      // the template has FileName, FileData, ... columns
    MultiValue,      // the template has one column of a simple type
    VersionHistory,  // the template has memo and date columns: hidden, never a field
    Unknown,         // missing tables or a template nobody knows
};

class ComplexColumn {
  public:
    // What the column with that id of the table whose definition is on
    // ownerPage holds. Throws DatabaseError when a table it needs is damaged.
    ComplexColumn(std::shared_ptr<ConnectionState> state, const std::vector<ComplexColumnEntry>& entries,
                  std::int32_t id, std::uint32_t ownerPage);
    ~ComplexColumn();
    ComplexColumn(const ComplexColumn&) = delete;
    ComplexColumn& operator=(const ComplexColumn&) = delete;

    ComplexKind kind() const { return kind_; }

    // Appends the values that belong to key (attachments: their file names),
    // in stored order, each by the value rules of its type, joined by "; ".
    // The flat table is indexed by key when first needed. False when the flat
    // table cannot be read (then for every key from now on).
    bool appendValues(std::int32_t key, std::string& out);
    // The same values one by one, each as its type gives it.
    bool values(std::int32_t key, std::vector<Value>& out);

  private:
    struct Entry {
        std::int32_t key;
        RowPosition position;
    };
    void buildIndex();
    // Calls visit() on the flat table at each row of the key, in stored order.
    template <class Visit>
    bool forEachRow(std::int32_t key, Visit&& visit);

    ComplexKind kind_ = ComplexKind::Unknown;
    std::unique_ptr<TableCursor> flat_;
    int keyColumn_ = -1;
    int valueColumn_ = -1;
    bool indexed_ = false;
    bool unreadable_ = false;
    std::vector<Entry> index_;  // sorted by key, stored order among equal keys
};

}  // namespace qm
