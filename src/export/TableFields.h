#pragma once

#include "database/ConnectionString.h"

#include <QStringList>

namespace qm {

// The field names of a table in table order, read the way the table page
// previews a table. Throws DatabaseError when the table cannot be read.
QStringList ReadFieldNames(const DatabaseLocation& location, const QString& table);

}  // namespace qm
