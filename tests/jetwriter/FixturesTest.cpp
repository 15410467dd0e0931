// The generated fixtures the wizard's tests use, and the bundled sample
// database: what each promises, as independent readers see it.

#include "Readers.h"
#include "database/JetHeader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QString fixture(const char* name) {
    return QStringLiteral(QM_BINARY_DIR "/fixtures/%1.mdb").arg(QLatin1String(name));
}

// Nothing (and the test marked skipped) without mdb-reader.
std::optional<QStringList> nodeTableNames(const QString& path) {
    const auto dump = qm::test::NodeDump(path, {QStringLiteral("--names-only")});
    if (!dump)
        return std::nullopt;
    QStringList names;
    for (const auto& t : dump->value(QLatin1String("tables")).toArray())
        names << t.toObject().value(QLatin1String("name")).toString();
    return names;
}

TEST(Fixtures, HoldTheTablesTheirNamesPromise) {
    struct Case {
        const char* fixture;
        QStringList tables;
        std::vector<long long> rows;
    };
    const Case cases[] = {
        {"one-field", {QStringLiteral("Colours")}, {5}},
        {"empty-table", {QStringLiteral("Empty"), QStringLiteral("Filled")}, {0, 2}},
        {"no-tables", {}, {}},
        {"blank-name", {QStringLiteral("Order Details")}, {3}},
        {"odd-names",
         {QStringLiteral("Odd]Name"), QStringLiteral("Back`Tick`Table"), QStringLiteral("Quote\"d 'Table'"),
          QString::fromUtf8("Umsätze Übersicht")},
         {2, 1, 1, 1}},
        {"password", {QStringLiteral("Secret")}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const QString path = fixture(c.fixture);
        ASSERT_TRUE(QFile::exists(path)) << "build the qm_fixtures target";
        EXPECT_EQ(qm::test::MdbTables(path), c.tables);
        for (qsizetype i = 0; i < c.tables.size(); ++i)
            EXPECT_EQ(qm::test::MdbCount(path, c.tables[i]), c.rows[std::size_t(i)]);
        if (const auto names = nodeTableNames(path)) {
            EXPECT_EQ(*names, c.tables);
        }
    }

    const auto odd = qm::test::MdbSchema(fixture("odd-names"), QStringLiteral("Back`Tick`Table"));
    ASSERT_EQ(odd.size(), 3u);
    EXPECT_EQ(odd[0].first, QStringLiteral("`Field`"));
    EXPECT_EQ(odd[1].first, QStringLiteral("\"Quoted\""));

    QFile locked(fixture("password"));
    ASSERT_TRUE(locked.open(QIODevice::ReadOnly));
    EXPECT_EQ(qm::jet::ReadHeader(locked.read(qm::jet::kHeaderBytes)).password,
              QStringLiteral("Pass word;1"));
}

TEST(Fixtures, ManyTablesHolds32768Tables) {
    const QString path = fixture("many-tables");
    ASSERT_TRUE(QFile::exists(path)) << "build the qm_fixtures target";
    const QStringList names = qm::test::MdbTables(path);
    ASSERT_EQ(names.size(), 32768);
    EXPECT_EQ(names.first(), QStringLiteral("Table 1"));
    EXPECT_EQ(names.last(), QStringLiteral("Table 32768"));
    EXPECT_EQ(qm::test::MdbSchema(path, QStringLiteral("Table 20000")).size(), 2u);
    if (const auto read = nodeTableNames(path)) {
        EXPECT_EQ(*read, names);
    }
}

// The bundled sample is made from samples/sample.json; writing it again must
// give the committed file byte for byte.
TEST(SampleDatabase, RegeneratesToTheCommittedBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.mdb"));
    const auto r = qm::test::RunProcess(
        QStringLiteral(QM_MKDB_PATH),
        {QStringLiteral("--quiet"), path, QStringLiteral(QM_SOURCE_DIR "/samples/sample.json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile fresh(path), committed(QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb"));
    ASSERT_TRUE(fresh.open(QIODevice::ReadOnly));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly)) << "samples/sample.mdb is missing";
    EXPECT_TRUE(fresh.readAll() == committed.readAll())
        << "samples/sample.mdb is out of date: regenerate it with quillmerge-mkdb samples/sample.mdb "
           "samples/sample.json";

    const QStringList tables{QStringLiteral("Customers"), QStringLiteral("Products"),
                             QStringLiteral("Orders"), QStringLiteral("Order Details")};
    EXPECT_EQ(qm::test::MdbTables(path), tables);
    EXPECT_EQ(qm::test::MdbCount(path, QStringLiteral("Order Details")), 10);
}

}  // namespace
