#include "database/Catalogue.h"

#include "database/Ado.h"
#include "database/QueryText.h"
#include "shell/FileSystem.h"

#include <functional>

namespace qm {

namespace {
const QString kLocation = QStringLiteral("Access.AddTablesToAccessListbox");
const QString kTableType = QStringLiteral("TABLE");
}  // namespace

std::optional<QStringList> GetTableNames(const QString& path, const DatabaseLocation& location) {
    Connection connection;
    if (!FileExists(path))
        return std::nullopt;
    connection.Open(BuildConnectionString(location), location.databaseSession());
    std::unique_ptr<Recordset> schema = connection.OpenSchema(adSchemaTables);
    QStringList names;
    while (!schema->isEOF()) {
        if (schema->value(QStringLiteral("TABLE_TYPE")).toQString() == kTableType)
            names.append(schema->value(QStringLiteral("TABLE_NAME")).toQString());
        schema->MoveNext();
    }
    schema->Close();
    connection.Close();
    return names;
}

QStringList GetFieldNames(const DatabaseLocation& location, const QString& table) {
    Connection connection;
    connection.setMode(adModeReadWrite);
    connection.Open(BuildConnectionString(location), location.databaseSession());
    connection.setCursorLocation(adUseClient);
    Recordset records;
    records.Open(WholeTableQuery(table), connection, adOpenDynamic, adLockOptimistic);
    QStringList names;
    const int count = records.fieldCount();
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.push_back(records.fieldName(i));
    return names;
}

namespace {

// AddTablesToAccessListbox with the names that readNames gives (line 102).
void fillTableList(TableList& list, const std::function<std::optional<QStringList>()>& readNames,
                   ErrorSink& errors) {
    Procedure proc(errors, kLocation);
    // The names read, and whether there was a file to read them from.
    QStringList names;
    bool found = false;
    proc.step(100, [&] {
        names.clear();
        found = true;
    });
    proc.step(102, [&] {
        std::optional<QStringList> read = readNames();
        found = read.has_value();
        if (found)
            names = std::move(*read);
    });
    if (proc.condition(104, [&] { return !found; })) {
        proc.step(106, [&] { names.clear(); });
        return;
    }
    proc.step(108, [&] { list.clear(); });
    // Access holds far fewer objects than a 16-bit count could overflow on,
    // so every name is added.
    qsizetype count = 0;
    proc.step(110, [&] { count = names.size(); });
    for (qsizetype i = 0; i < count; ++i) {
        proc.step(112, [&] { list.addItem(names.at(i)); });
    }
    proc.step(116, [&] { names.clear(); });
    if (proc.condition(118, [&] { return list.count() >= 1; }))
        proc.step(118, [&] { list.setCurrentIndex(0); });
}

}  // namespace

void AddTablesToAccessListbox(TableList& list, const QString& path, const QString& password,
                              const DatabaseLocation& location, ErrorSink& errors) {
    (void)password;  // the password reaches the open through the connection string
    fillTableList(
        list, [&] { return GetTableNames(path, location); }, errors);
}

void AddTablesToAccessListbox(TableList& list, const std::optional<QStringList>& tableNames,
                              ErrorSink& errors) {
    fillTableList(
        list, [&] { return tableNames; }, errors);
}

}  // namespace qm
