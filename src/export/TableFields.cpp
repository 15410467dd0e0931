#include "TableFields.h"

#include "database/Ado.h"

namespace qm {

QStringList ReadFieldNames(const DatabaseLocation& location, const QString& table) {
    Connection connection;
    connection.setMode(adModeReadWrite);
    connection.Open(BuildConnectionString(location));
    connection.setCursorLocation(adUseClient);
    Recordset records;
    records.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), connection, adOpenDynamic,
                 adLockOptimistic);
    QStringList names;
    const int count = records.fieldCount();
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.push_back(records.fieldName(i));
    return names;
}

}  // namespace qm
