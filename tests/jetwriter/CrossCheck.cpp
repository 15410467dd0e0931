#include "CrossCheck.h"

#include "Readers.h"
#include "database/Ado.h"
#include "database/ConnectionString.h"
#include "jetwriter/Values.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace qm::test {

using namespace qm::jetwriter;

namespace {

// Reports at most a few mismatches per table, so one fault does not bury the log.
class Mismatches {
  public:
    explicit Mismatches(QString reader) : reader_(std::move(reader)) {}
    void report(const WrittenTable& t, std::size_t row, std::size_t column, const QString& expected,
                const QString& actual) {
        if (++count_ > 5)
            return;
        ADD_FAILURE() << reader_.toStdString() << ": table \"" << t.table.name.toStdString()
                      << "\", column \"" << t.table.columns[column].name.toStdString() << "\", row "
                      << row + 1 << ": expected " << expected.toStdString() << ", read "
                      << actual.toStdString();
    }

  private:
    QString reader_;
    int count_ = 0;
};

bool isNull(const Cell& c) {
    return std::holds_alternative<std::monostate>(c);
}

double days(const Cell& c) {
    if (const auto* d = std::get_if<DateTime>(&c))
        return d->days;
    return std::get<double>(c);
}

double real(const Cell& c) {
    if (const auto* i = std::get_if<std::int64_t>(&c))
        return double(*i);
    return std::get<double>(c);
}

std::int64_t currency(const Cell& c) {
    if (const auto* m = std::get_if<Currency>(&c))
        return m->tenThousandths;
    if (const auto* i = std::get_if<std::int64_t>(&c))
        return *i * 10000;
    return std::int64_t(std::round(std::get<double>(c) * 10000.0));
}

QString describe(const Cell& c) {
    if (isNull(c))
        return QStringLiteral("Null");
    if (const auto* b = std::get_if<bool>(&c))
        return *b ? QStringLiteral("true") : QStringLiteral("false");
    if (const auto* i = std::get_if<std::int64_t>(&c))
        return QString::number(*i);
    if (const auto* d = std::get_if<double>(&c))
        return QString::number(*d, 'g', 17);
    if (const auto* m = std::get_if<Currency>(&c))
        return FormatCurrency(*m);
    if (const auto* t = std::get_if<DateTime>(&c))
        return QString::number(t->days, 'g', 17);
    if (const auto* s = std::get_if<QString>(&c))
        return QLatin1Char('"') + (s->size() > 80 ? s->left(80) + QStringLiteral("...") : *s) +
               QLatin1Char('"');
    return FormatGuid(std::get<Guid>(c));
}

// What mdb-schema calls each type.
QString libmdbTypeName(const Column& c) {
    switch (c.type) {
        case ColumnType::Text:
            return QStringLiteral("Text (%1)").arg(c.size);
        case ColumnType::Memo:
            return QStringLiteral("Memo/Hyperlink (255)");
        case ColumnType::Byte:
            return QStringLiteral("Byte");
        case ColumnType::Integer:
            return QStringLiteral("Integer");
        case ColumnType::Long:
            return QStringLiteral("Long Integer");
        case ColumnType::Single:
            return QStringLiteral("Single");
        case ColumnType::Double:
            return QStringLiteral("Double");
        case ColumnType::Currency:
            return QStringLiteral("Currency");
        case ColumnType::DateTime:
            return QStringLiteral("DateTime");
        case ColumnType::Boolean:
            return QStringLiteral("Boolean NOT NULL");
        case ColumnType::Guid:
            return QStringLiteral("Replication ID");
    }
    return {};
}

// The C library's printf, as libmdb formats numbers (ties rounded to even).
QString printed(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return QString::fromLatin1(buffer);
}

// mdb-export's text for a cell, or nullopt when it prints the Null mark.
// Returns false when libmdb cannot show the value (dates before 1899-12-30).
// False where libmdb is not to be compared: it knows no calculated columns
// and reads their wrapped results as values of the entry's type.
bool libmdbText(const Column& column, const Cell& cell, std::optional<QString>& text) {
    text.reset();
    if (column.calculated)
        return false;
    if (isNull(cell))
        return true;
    switch (column.type) {
        case ColumnType::Text:
        case ColumnType::Memo: {
            // mdb-export prints an empty text like Null.
            const QString& s = std::get<QString>(cell);
            if (!s.isEmpty())
                text = s;
            return true;
        }
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
            text = QString::number(std::int64_t(real(cell)));
            return true;
        case ColumnType::Single:
            text = printed("%.8g", double(float(real(cell))));
            return true;
        case ColumnType::Double:
            text = printed("%.16g", real(cell));
            return true;
        case ColumnType::Currency:
            text = FormatCurrency(Currency{currency(cell)});
            return true;
        case ColumnType::DateTime:
            // libmdb shows no day before 1899-12-30 or after about 2700.
            if (days(cell) < 0 || days(cell) > 1e6)
                return false;
            text = FormatDateTime(DateTime{days(cell)});
            return true;
        case ColumnType::Boolean:
            text = std::get<bool>(cell) ? QStringLiteral("1") : QStringLiteral("0");
            return true;
        case ColumnType::Guid:
            text = FormatGuid(std::get<Guid>(cell)).remove(QLatin1Char('-'));
            return true;
    }
    return false;
}

std::optional<QString> normaliseLibmdb(const Column& column, std::optional<QString> actual) {
    if (!actual)
        return actual;
    if (column.type == ColumnType::Guid)
        return actual->remove(QLatin1Char('-'));
    if (column.type == ColumnType::Currency) {
        if (const auto value = ParseCurrency(*actual))
            return FormatCurrency(*value);
    }
    return actual;
}

const char* nodeTypeName(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return "text";
        case ColumnType::Memo:
            return "memo";
        case ColumnType::Byte:
            return "byte";
        case ColumnType::Integer:
            return "integer";
        case ColumnType::Long:
            return "long";
        case ColumnType::Single:
            return "float";
        case ColumnType::Double:
            return "double";
        case ColumnType::Currency:
            return "currency";
        case ColumnType::DateTime:
            return "datetime";
        case ColumnType::Boolean:
            return "boolean";
        case ColumnType::Guid:
            return "repid";
    }
    return "";
}

// mdb-reader turns days into milliseconds as ((days - 25569) * 86400) * 1000,
// rounded half up; the same arithmetic here gives the same double.
double nodeMilliseconds(double days) {
    return std::floor((days - 25569.0) * 86400.0 * 1000.0 + 0.5);
}

// Compares one value read by mdb-reader; false when the reader cannot show it.
bool nodeMatches(const Column& column, const Cell& cell, const QJsonValue& actual) {
    if (isNull(cell))
        return actual.isNull();
    switch (column.type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            return actual.isString() && actual.toString() == std::get<QString>(cell);
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Double:
            return actual.isDouble() && actual.toDouble() == real(cell);
        case ColumnType::Single:
            return actual.isDouble() && actual.toDouble() == double(float(real(cell)));
        case ColumnType::Currency: {
            const auto value = ParseCurrency(actual.toString());
            return value && value->tenThousandths == currency(cell);
        }
        case ColumnType::DateTime:
            return actual.isDouble() && actual.toDouble() == nodeMilliseconds(days(cell));
        case ColumnType::Boolean:
            return actual.isBool() && actual.toBool() == std::get<bool>(cell);
        case ColumnType::Guid: {
            QString expected = FormatGuid(std::get<Guid>(cell)).toLower();
            return actual.toString() == expected.mid(1, expected.size() - 2);
        }
    }
    return false;
}

bool nodeCanShow(const Column& column, const Cell& cell) {
    // mdb-reader knows no calculated columns, as libmdb. It reads days
    // linearly; Access counts the time of a day before 1899-12-30 forward
    // from midnight, so only whole days agree there.
    if (column.calculated)
        return false;
    return column.type != ColumnType::DateTime || isNull(cell) || days(cell) >= 0 ||
           days(cell) == std::trunc(days(cell));
}

// Our database layer's value against the written cell.
bool layerMatches(const Column& column, const Cell& cell, const qm::Value& v) {
    using T = qm::Value::Type;
    if (isNull(cell))
        return v.isNull();
    switch (ValueType(column)) {
        case ColumnType::Text:
        case ColumnType::Memo:
            return (v.type() == T::Text || v.type() == T::Memo) &&
                   QString::fromStdString(v.bytes()) == std::get<QString>(cell);
        case ColumnType::Byte:
            return v.type() == T::Byte && v.asInteger() == std::int64_t(real(cell));
        case ColumnType::Integer:
            return v.type() == T::Integer && v.asInteger() == std::int64_t(real(cell));
        case ColumnType::Long:
            return v.type() == T::Long && v.asInteger() == std::int64_t(real(cell));
        case ColumnType::Single:
            return v.type() == T::Single && v.asReal() == double(float(real(cell)));
        case ColumnType::Double:
            return v.type() == T::Double && v.asReal() == real(cell);
        case ColumnType::Currency:
            return v.type() == T::Currency && v.asInteger() == currency(cell);
        case ColumnType::DateTime:
            return v.type() == T::DateTime && v.asReal() == days(cell);
        case ColumnType::Boolean:
            return v.type() == T::Boolean &&
                   v.toText() == (std::get<bool>(cell) ? std::string("True") : std::string("False"));
        case ColumnType::Guid: {
            const auto& g = std::get<Guid>(cell).bytes;
            return v.type() == T::Guid &&
                   v.bytes() == std::string(reinterpret_cast<const char*>(g.data()), g.size());
        }
    }
    return false;
}

// The rows in the order libmdb and mdb-reader read them: page by page, a
// moved row where its data lies (they pass over its home slot).
std::vector<std::size_t> storedOrder(const WrittenTable& t) {
    std::vector<std::size_t> order(t.rows.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    if (std::ranges::any_of(t.layouts, [](const RowLayout& l) { return l.moved; })) {
        EXPECT_EQ(t.stored.size(), t.rows.size()) << "moved rows, but WriteTables did not note where";
        if (t.stored.size() == t.rows.size())
            std::ranges::sort(order, {}, [&](std::size_t r) { return t.stored[r]; });
    }
    return order;
}

}  // namespace

void WriteTables(const QString& path, std::vector<WrittenTable>& tables, const QString& password) {
    Options options;
    options.password = password;
    try {
        WriteFile(path, options, [&](Writer& writer) {
            for (auto& t : tables) {
                writer.beginTable(t.table);
                t.stored.clear();
                for (std::size_t r = 0; r < t.rows.size(); ++r)
                    t.stored.push_back(
                        writer.addRow(t.rows[r], r < t.layouts.size() ? t.layouts[r] : RowLayout{}));
                writer.endTable();
            }
        });
    } catch (const WriteError& e) {
        FAIL() << "write failed: " << e.description().toStdString();
    }
}

void CheckWithLibmdb(const QString& path, const std::vector<WrittenTable>& tables) {
    SCOPED_TRACE("libmdb (mdbtools programs)");
    QStringList expectedNames;
    for (const auto& t : tables)
        expectedNames << t.table.name;
    ASSERT_EQ(MdbTables(path), expectedNames);

    for (const auto& t : tables) {
        SCOPED_TRACE(t.table.name.toStdString());
        std::vector<std::pair<QString, QString>> expectedSchema;
        for (const auto& c : t.table.columns)
            expectedSchema.emplace_back(c.name, libmdbTypeName(c));
        auto schema = MdbSchema(path, t.table.name);
        for (std::size_t c = 0; c < schema.size() && c < t.table.columns.size(); ++c) {
            if (t.table.columns[c].calculated)  // its declared length is not its type's
                schema[c].second = expectedSchema[c].second;
        }
        EXPECT_EQ(schema, expectedSchema);

        // mdb-count and mdb-export take a table name that starts with '-' for an option.
        if (t.table.name.startsWith(QLatin1Char('-')))
            continue;
        EXPECT_EQ(MdbCount(path, t.table.name), static_cast<long long>(t.rows.size()));

        const auto rows = MdbExport(path, t.table.name);
        ASSERT_EQ(rows.size(), t.rows.size() + 1);
        ExportRow header;
        for (const auto& c : t.table.columns)
            header.emplace_back(c.name);
        EXPECT_EQ(rows[0], header);
        Mismatches mismatches(QStringLiteral("mdb-export"));
        const auto order = storedOrder(t);
        for (std::size_t i = 0; i < t.rows.size(); ++i) {
            const ExportRow& actual = rows[i + 1];
            const std::size_t r = order[i];
            ASSERT_EQ(actual.size(), t.table.columns.size()) << "row " << r + 1;
            for (std::size_t c = 0; c < actual.size(); ++c) {
                std::optional<QString> expected;
                if (!libmdbText(t.table.columns[c], t.rows[r][c], expected))
                    continue;
                const auto got = normaliseLibmdb(t.table.columns[c], actual[c]);
                if (got != expected)
                    mismatches.report(t, r, c, expected.value_or(QStringLiteral("Null")),
                                      got.value_or(QStringLiteral("Null")));
            }
        }
    }
}

void CheckWithNodeReader(const QString& path, const std::vector<WrittenTable>& tables) {
    SCOPED_TRACE("mdb-reader");
    const auto dump = NodeDump(path);
    if (!dump)
        return;
    const QJsonArray read = dump->value(QLatin1String("tables")).toArray();
    ASSERT_EQ(std::size_t(read.size()), tables.size());
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const WrittenTable& t = tables[i];
        const QJsonObject table = read[qsizetype(i)].toObject();
        ASSERT_EQ(table.value(QLatin1String("name")).toString(), t.table.name);
        SCOPED_TRACE(t.table.name.toStdString());
        EXPECT_EQ(table.value(QLatin1String("rowCount")).toInteger(), qint64(t.rows.size()));
        const QJsonArray columns = table.value(QLatin1String("columns")).toArray();
        ASSERT_EQ(std::size_t(columns.size()), t.table.columns.size());
        for (std::size_t c = 0; c < t.table.columns.size(); ++c) {
            const QJsonObject column = columns[qsizetype(c)].toObject();
            EXPECT_EQ(column.value(QLatin1String("name")).toString(), t.table.columns[c].name);
            EXPECT_EQ(column.value(QLatin1String("type")).toString(),
                      QLatin1String(nodeTypeName(t.table.columns[c].type)));
            if (t.table.columns[c].type == ColumnType::Text && !t.table.columns[c].calculated) {
                EXPECT_EQ(column.value(QLatin1String("size")).toInt(), 2 * t.table.columns[c].size);
            }
        }
        const QJsonArray rows = table.value(QLatin1String("rows")).toArray();
        ASSERT_EQ(std::size_t(rows.size()), t.rows.size());
        Mismatches mismatches(QStringLiteral("mdb-reader"));
        const auto order = storedOrder(t);
        for (std::size_t i = 0; i < t.rows.size(); ++i) {
            const QJsonArray row = rows[qsizetype(i)].toArray();
            const std::size_t r = order[i];
            for (std::size_t c = 0; c < t.table.columns.size(); ++c) {
                const Column& column = t.table.columns[c];
                if (!nodeCanShow(column, t.rows[r][c]))
                    continue;
                const QJsonValue actual = row[qsizetype(c)];
                if (!nodeMatches(column, t.rows[r][c], actual))
                    mismatches.report(
                        t, r, c, describe(t.rows[r][c]),
                        QString::fromUtf8(QJsonDocument(QJsonArray{actual}).toJson(QJsonDocument::Compact)));
            }
        }
    }
}

void CheckWithDatabaseLayer(const QString& path, const std::vector<WrittenTable>& tables,
                            const QString& password) {
    SCOPED_TRACE("database layer (Ado.h)");
    try {
        qm::Connection connection;
        connection.setMode(qm::adModeRead);
        connection.Open(qm::BuildConnectionString(path, password));
        QStringList names;
        auto schema = connection.OpenSchema(qm::adSchemaTables);
        for (; !schema->isEOF(); schema->MoveNext()) {
            if (schema->value(QStringLiteral("TABLE_TYPE")).toQString() == QLatin1String("TABLE"))
                names << schema->value(QStringLiteral("TABLE_NAME")).toQString();
        }
        QStringList expectedNames;
        for (const auto& t : tables)
            expectedNames << t.table.name;
        EXPECT_EQ(names, expectedNames);

        for (const auto& t : tables) {
            // Access SQL cannot name a table whose name holds a bracket.
            if (t.table.name.contains(QLatin1Char(']')) || t.table.name.contains(QLatin1Char('[')))
                continue;
            SCOPED_TRACE(t.table.name.toStdString());
            qm::Recordset records;
            records.Open(QStringLiteral("SELECT * FROM [%1];").arg(t.table.name), connection,
                         qm::adOpenStatic, qm::adLockOptimistic);
            ASSERT_EQ(std::size_t(records.fieldCount()), t.table.columns.size());
            for (int c = 0; c < records.fieldCount(); ++c)
                EXPECT_EQ(records.fieldName(c), t.table.columns[std::size_t(c)].name);
            Mismatches mismatches(QStringLiteral("database layer"));
            std::size_t r = 0;
            for (; !records.isEOF(); records.MoveNext(), ++r) {
                ASSERT_LT(r, t.rows.size()) << "more rows than written";
                for (std::size_t c = 0; c < t.table.columns.size(); ++c) {
                    const qm::Value v = records.value(int(c));
                    if (!layerMatches(t.table.columns[c], t.rows[r][c], v))
                        mismatches.report(t, r, c, describe(t.rows[r][c]),
                                          QString::fromStdString(v.toText()));
                }
            }
            EXPECT_EQ(r, t.rows.size());

            // The preview's way in: a window from the middle, reached by
            // counting rows page by page (moved rows by their home slots).
            const auto source = records.DataSource();
            EXPECT_EQ(source->rowCount(), static_cast<long long>(t.rows.size()));
            const std::size_t middle = t.rows.size() * 2 / 3;
            const auto window = source->rows(static_cast<long long>(middle), 3);
            ASSERT_EQ(window.size(), std::min<std::size_t>(3, t.rows.size() - middle));
            for (std::size_t i = 0; i < window.size(); ++i) {
                for (std::size_t c = 0; c < t.table.columns.size(); ++c) {
                    if (!layerMatches(t.table.columns[c], t.rows[middle + i][c], window[i][c]))
                        mismatches.report(t, middle + i, c, describe(t.rows[middle + i][c]),
                                          QString::fromStdString(window[i][c].toText()));
                }
            }
        }
    } catch (const qm::Failure& e) {
        FAIL() << "the database layer failed: " << e.description().toStdString();
    }
}

}  // namespace qm::test
