#pragma once

#include "ConnectionString.h"
#include "shell/ErrorReport.h"

#include <QStringList>
#include <optional>

namespace qm {

// The list box the table names go to (page 2's table list in the wizard).
class TableList {
  public:
    virtual ~TableList() = default;
    virtual void clear() = 0;
    virtual void addItem(const QString& text) = 0;
    virtual int count() const = 0;
    virtual void setCurrentIndex(int index) = 0;
};

// Names of the user tables in catalogue order; nothing when the file does not
// exist. The open uses BuildConnectionString(location); path serves only the
// existence test. Throws DatabaseError when the database cannot be read.
std::optional<QStringList> GetTableNames(const QString& path, const DatabaseLocation& location);

// Names of the fields of a table, in table order, as the preview's record set
// reports them. Throws DatabaseError.
QStringList GetFieldNames(const DatabaseLocation& location, const QString& table);

// Fills the list with the table names (emptied first, entry 0 selected).
// Reports failures to the sink as "Access.AddTablesToAccessListbox"; never throws.
void AddTablesToAccessListbox(TableList& list, const QString& path, const QString& password,
                              const DatabaseLocation& location, ErrorSink& errors);
// The same fill with names GetTableNames has just given for the path
// (nothing: there was no file), so that they are not read a second time.
void AddTablesToAccessListbox(TableList& list, const std::optional<QStringList>& tableNames,
                              ErrorSink& errors);

}  // namespace qm
