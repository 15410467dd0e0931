#pragma once

// Helpers shared by the database tests: opening corpus files, reading whole
// query results as text, and running mdb-export as an independent reader.

#include "common/Files.h"
#include "common/RunProcess.h"
#include "common/TestSupport.h"
#include "database/Ado.h"
#include "database/ConnectionString.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace qm::test {

using TextRows = std::vector<std::vector<std::string>>;

// An open connection on the file, with the string BuildConnectionString gives.
inline std::unique_ptr<Connection> openDatabase(const QString& path, const QString& password = QString()) {
    auto connection = std::make_unique<Connection>();
    connection->Open(BuildConnectionString(path, password));
    return connection;
}

inline std::unique_ptr<Connection> openCorpus(const QString& name, const QString& password = QString()) {
    return openDatabase(corpusFile(name), password);
}

struct QueryResult {
    QStringList fields;
    TextRows rows;
    long long recordCount = -1;
};

// Every row of the query as text, read the way the export reads it: as
// Access shows the values, or as the table stores them.
enum class Values { Shown, Stored };
inline QueryResult readQuery(Connection& connection, const QString& query, Values values = Values::Shown) {
    Recordset records;
    records.ShowStoredValues(values == Values::Stored);
    records.Open(query, connection, adOpenStatic, adLockOptimistic);
    QueryResult result;
    for (int i = 0; i < records.fieldCount(); ++i)
        result.fields.append(records.fieldName(i));
    result.recordCount = records.RecordCount();
    while (!records.isEOF()) {
        std::vector<std::string> row;
        for (int i = 0; i < records.fieldCount(); ++i) {
            std::string cell;
            records.appendText(i, cell);
            row.push_back(std::move(cell));
        }
        result.rows.push_back(std::move(row));
        records.MoveNext();
    }
    return result;
}

// Rows of values (as a preview grid gets them) as text.
inline TextRows asText(const std::vector<std::vector<Value>>& rows) {
    TextRows text;
    for (const auto& row : rows) {
        std::vector<std::string> cells;
        for (const Value& value : row)
            cells.push_back(value.toText());
        text.push_back(std::move(cells));
    }
    return text;
}

inline QueryResult readTable(Connection& connection, const QString& table, Values values = Values::Shown) {
    return readQuery(connection, QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), values);
}

// Names of the schema rows of one TABLE_TYPE, in schema order.
inline QStringList schemaNames(Connection& connection, const QString& type = QStringLiteral("TABLE")) {
    QStringList names;
    std::unique_ptr<Recordset> schema = connection.OpenSchema(adSchemaTables);
    while (!schema->isEOF()) {
        if (schema->value(QStringLiteral("TABLE_TYPE")).toQString() == type)
            names.append(schema->value(QStringLiteral("TABLE_NAME")).toQString());
        schema->MoveNext();
    }
    return names;
}

// Parses CSV as mdb-export writes it: '"' quotes, doubled inside, line
// breaks inside quotes. Whether a cell was quoted is kept (an unquoted empty
// cell is Null).
struct CsvCell {
    std::string text;
    bool quoted = false;
};
inline std::vector<std::vector<CsvCell>> parseCsv(const std::string& csv) {
    std::vector<std::vector<CsvCell>> rows;
    std::vector<CsvCell> row;
    CsvCell cell;
    bool inQuotes = false;
    bool any = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        any = true;
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < csv.size() && csv[i + 1] == '"') {
                    cell.text.push_back('"');
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                cell.text.push_back(c);
            }
        } else if (c == '"') {
            inQuotes = true;
            cell.quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(cell));
            cell = CsvCell();
        } else if (c == '\n') {
            row.push_back(std::move(cell));
            cell = CsvCell();
            rows.push_back(std::move(row));
            row.clear();
            any = false;
        } else {
            cell.text.push_back(c);
        }
    }
    if (any) {
        row.push_back(std::move(cell));
        rows.push_back(std::move(row));
    }
    return rows;
}

inline QString mdbExportProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("mdb-export"));
}

// The table as mdb-export reads it (header row first), or nothing when it failed.
inline std::optional<std::vector<std::vector<CsvCell>>> mdbExport(const QString& path, const QString& table) {
    const ProcessResult r = RunProcess(
        mdbExportProgram(), {QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-D"),
                             QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-B"), QStringLiteral("-b"),
                             QStringLiteral("strip"), path, table});
    if (r.exitCode != 0)
        return std::nullopt;
    return parseCsv(r.out.toStdString());
}

// The file's bytes, for copies in temporary folders.
inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Files of the corpus the layer reads (not the three encrypted ones).
inline QStringList readableCorpusFiles() {
    return {QStringLiteral("V1997_test.mdb"),
            QStringLiteral("V1997_no-password.mdb"),
            QStringLiteral("V2000_empty.mdb"),
            QStringLiteral("V2000_numeric.mdb"),
            QStringLiteral("V2000_test.mdb"),
            QStringLiteral("V2000_with-password.mdb"),
            QStringLiteral("V2003_test.mdb"),
            QStringLiteral("V2003_with-password.mdb"),
            QStringLiteral("V2007_test.accdb"),
            QStringLiteral("V2010_numeric.accdb"),
            QStringLiteral("V2010_test.accdb"),
            QStringLiteral("V2016_attachments.accdb"),
            QStringLiteral("V2016_bigint.accdb"),
            QStringLiteral("V2016_currency.accdb"),
            QStringLiteral("V2016_empty.accdb"),
            QStringLiteral("V2016_longtext.accdb"),
            QStringLiteral("V2016_withdeletedcol.accdb"),
            QStringLiteral("northwind-jet3.mdb")};
}

// The password a readable corpus file needs ("" for most).
inline QString corpusPassword(const QString& name) {
    return name.contains(QStringLiteral("with-password")) ? QStringLiteral("password") : QString();
}

}  // namespace qm::test
