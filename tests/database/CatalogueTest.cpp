#include "DatabaseTestSupport.h"
#include "database/Catalogue.h"

#include <QTemporaryDir>

using qm::AddTablesToAccessListbox;
using qm::DatabaseError;
using qm::FixedDatabaseLocation;
using qm::GetTableNames;
using qm::RecordingErrorSink;
using namespace qm::test;

namespace {

// A list box that remembers every call; it can be told to fail on some.
class RecordingTableList : public qm::TableList {
  public:
    void clear() override {
        calls.append(QStringLiteral("clear"));
        items.clear();
        current = -1;
    }
    void addItem(const QString& text) override {
        calls.append(QStringLiteral("add ") + text);
        if (text == failOn)
            throw qm::Failure(QStringLiteral("list refused ") + text);
        items.append(text);
    }
    int count() const override { return static_cast<int>(items.size()); }
    void setCurrentIndex(int index) override {
        calls.append(QStringLiteral("select %1").arg(index));
        current = index;
    }

    QStringList items;
    QStringList calls;
    int current = -1;
    QString failOn;
};

FixedDatabaseLocation corpusLocation(const QString& name, const QString& password = QString()) {
    return FixedDatabaseLocation(corpusFile(name), password);
}

// The test tables (tests/fixtures/test-tables.json) in catalogue order.
const QStringList kTestTables{QStringLiteral("Table1"), QStringLiteral("Table2"),
                              QStringLiteral("Table3"), QStringLiteral("Table4"),
                              QStringLiteral("Orders"), QStringLiteral("Order Details")};

}  // namespace

TEST(Catalogue, SchemaTypesSeparateUserTablesFromEverythingElse) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    EXPECT_TRUE(
        schemaNames(*connection, QStringLiteral("SYSTEM TABLE")).contains(QStringLiteral("MSysObjects")));
    EXPECT_EQ(schemaNames(*connection), kTestTables);
    // The schema has the columns of the tables rowset, dates of the objects included.
    std::unique_ptr<qm::Recordset> schema = connection->OpenSchema(qm::adSchemaTables);
    EXPECT_EQ(schema->fieldCount(), 9);
    EXPECT_EQ(schema->fieldName(2), QStringLiteral("TABLE_NAME"));
    EXPECT_EQ(schema->fieldName(3), QStringLiteral("TABLE_TYPE"));
    EXPECT_EQ(schema->value(QStringLiteral("DATE_CREATED")).type(), qm::Value::Type::DateTime);
    EXPECT_EQ(schema->RecordCount(), schema->DataSource()->rowCount());
}

TEST(Catalogue, MissingFilesGiveNoListAndFailingOpensRaise) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.mdb"));
    EXPECT_FALSE(GetTableNames(missing, FixedDatabaseLocation(missing, QString())).has_value());
    EXPECT_FALSE(GetTableNames(QString(), FixedDatabaseLocation(QString(), QString())).has_value());
    // The path only decides whether the file exists; the open reads the location.
    const auto other =
        GetTableNames(fixtureFile("no-tables"), FixedDatabaseLocation(fixtureFile("test-tables"), QString()));
    EXPECT_EQ(other, kTestTables);
    try {
        GetTableNames(fixtureFile("password"),
                      FixedDatabaseLocation(fixtureFile("password"), QStringLiteral("wrong")));
        ADD_FAILURE() << "opened with a wrong password";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Not a valid password."));
    }
}

TEST(Catalogue, ListIsEmptiedFilledAndItsFirstEntrySelected) {
    RecordingTableList list;
    RecordingErrorSink errors;
    const QString path = fixtureFile("test-tables");
    const FixedDatabaseLocation location(path, QString());
    AddTablesToAccessListbox(list, path, QStringLiteral("ignored"), location, errors);
    AddTablesToAccessListbox(list, path, QStringLiteral("ignored"), location, errors);
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_EQ(list.items, kTestTables);
    EXPECT_EQ(list.current, 0);
    QStringList calls{QStringLiteral("clear")};
    for (const QString& table : kTestTables)
        calls << QStringLiteral("add ") + table;
    calls << QStringLiteral("select 0");
    EXPECT_EQ(list.calls.mid(0, calls.size()), calls);
}

TEST(Catalogue, EmptyDatabaseLeavesAnEmptyListWithNothingSelected) {
    RecordingTableList list;
    list.items = {QStringLiteral("stale")};
    RecordingErrorSink errors;
    const QString path = fixtureFile("no-tables");
    AddTablesToAccessListbox(list, path, QString(), FixedDatabaseLocation(path, QString()), errors);
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_TRUE(list.items.isEmpty());
    EXPECT_EQ(list.calls, QStringList{QStringLiteral("clear")});
}

TEST(Catalogue, FailingOpenIsReportedAtLine102AndEmptiesTheList) {
    RecordingTableList list;
    list.items = {QStringLiteral("stale")};
    RecordingErrorSink errors;
    const QString path = fixtureFile("password");
    AddTablesToAccessListbox(list, path, QString(), FixedDatabaseLocation(path, QStringLiteral("nope")),
                             errors);
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].line, 102);
    EXPECT_EQ(errors.reports[0].location, QStringLiteral("Access.AddTablesToAccessListbox"));
    EXPECT_EQ(errors.reports[0].description, QStringLiteral("Not a valid password."));
    EXPECT_TRUE(list.items.isEmpty());
    EXPECT_EQ(list.calls, QStringList{QStringLiteral("clear")});  // emptied, nothing selected
}

TEST(Catalogue, MissingFileLeavesTheListAsItWasWithoutAMessage) {
    RecordingTableList list;
    list.items = {QStringLiteral("kept")};
    RecordingErrorSink errors;
    const QString missing = QStringLiteral("/nonexistent/folder/db.mdb");
    AddTablesToAccessListbox(list, missing, QString(), FixedDatabaseLocation(missing, QString()), errors);
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_EQ(list.items, QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(list.calls.isEmpty());
}

TEST(Catalogue, AFailingListCallIsReportedAndTheFillGoesOn) {
    RecordingTableList list;
    list.failOn = QStringLiteral("Table2");
    RecordingErrorSink errors;
    const QString path = fixtureFile("test-tables");
    AddTablesToAccessListbox(list, path, QString(), FixedDatabaseLocation(path, QString()), errors);
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports[0].line, 112);
    EXPECT_EQ(errors.reports[0].description, QStringLiteral("list refused Table2"));
    QStringList listed = kTestTables;
    listed.removeAt(1);  // Table2
    EXPECT_EQ(list.items, listed);
    EXPECT_EQ(list.current, 0);
}

// Table names in catalogue order, in Jet 3, Jet 4 and ACE files, with tables
// Access left behind after a change and catalogue rows it moved; its system
// tables, saved queries and the hidden tables behind attachments.
TEST(Catalogue, TableNamesAndSchemaTypesOfFilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    struct Case {
        const char* file;
        QStringList names;
    };
    const QStringList four{QStringLiteral("Table1"), QStringLiteral("Table2"), QStringLiteral("Table3"),
                           QStringLiteral("Table4")};
    const Case cases[] = {
        {"V1997_test.mdb", four},
        {"V2000_test.mdb", four},
        {"V2010_test.accdb", four},
        {"V2000_empty.mdb", {}},
        {"V2016_empty.accdb", {}},
        {"V2016_attachments.accdb", {QStringLiteral("Table1")}},
        // Tables Access left behind after a change; the tables schema lists them as tables too.
        {"V2016_withdeletedcol.accdb",
         {QStringLiteral("~TMPCLP517911"), QStringLiteral("~TMPCLP236321"), QStringLiteral("Table1")}},
        // MSysObjects order, following moved catalogue rows to where Access keeps them.
        {"northwind-jet3.mdb",
         {QStringLiteral("Categories"), QStringLiteral("Customers"), QStringLiteral("Employees"),
          QStringLiteral("Order Details"), QStringLiteral("Orders"), QStringLiteral("Products"),
          QStringLiteral("Shippers"), QStringLiteral("Suppliers"), QStringLiteral("Umsätze")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString name = QString::fromLatin1(c.file);
        const auto names = GetTableNames(corpusFile(name), corpusLocation(name));
        ASSERT_TRUE(names.has_value());  // an empty database gives an empty list, not none
        EXPECT_EQ(*names, c.names);
    }
    const auto locked =
        GetTableNames(corpusFile(QStringLiteral("V2003_with-password.mdb")),
                      corpusLocation(QStringLiteral("V2003_with-password.mdb"), QStringLiteral("password")));
    EXPECT_EQ(locked, QStringList{QStringLiteral("Table1")});

    auto northwind = openCorpus(QStringLiteral("northwind-jet3.mdb"));
    const QStringList system = schemaNames(*northwind, QStringLiteral("SYSTEM TABLE"));
    EXPECT_TRUE(system.contains(QStringLiteral("MSysObjects")));
    EXPECT_TRUE(system.contains(QStringLiteral("MSysACEs")));
    const QStringList views = schemaNames(*northwind, QStringLiteral("VIEW"));
    EXPECT_TRUE(views.contains(QStringLiteral("Invoices")));  // a saved select query
    for (const QString& name : schemaNames(*northwind))
        EXPECT_FALSE(name.startsWith(QStringLiteral("MSys"))) << name.toStdString();

    auto attachments = openCorpus(QStringLiteral("V2016_attachments.accdb"));
    const QStringList hidden = schemaNames(*attachments, QStringLiteral("SYSTEM TABLE")) +
                               schemaNames(*attachments, QStringLiteral("ACCESS TABLE"));
    // The table behind the attachment column and Access's own tables are no user tables.
    EXPECT_TRUE(std::any_of(hidden.begin(), hidden.end(),
                            [](const QString& n) { return n.startsWith(QStringLiteral("f_")); }));
    EXPECT_TRUE(hidden.contains(QStringLiteral("MSysAccessStorage")));
}
