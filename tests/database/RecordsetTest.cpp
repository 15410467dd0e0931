#include "DatabaseTestSupport.h"

#include <set>

using qm::Connection;
using qm::DatabaseError;
using qm::Recordset;
using qm::Value;
using Type = qm::Value::Type;
using namespace qm::test;

namespace {

const std::vector<std::string> kFullRow{"abcdefg", "hijklmnop",  "2",   "222", "333333333",
                                        "444.555", "1974-09-21", "3.5", "True"};
const std::vector<std::string> kZeroRow{"a", "b", "0", "0", "0", "0", "1981-12-12", "0", "False"};

// Table1 of the test tables, with its rows and the types of its columns.
void expectTestTable(qm::Connection& connection, const TextRows& rows) {
    const QueryResult table = readTable(connection, QStringLiteral("Table1"));
    EXPECT_EQ(table.fields.join(QLatin1Char(',')), QStringLiteral("A,B,C,D,E,F,G,H,I"));
    EXPECT_EQ(table.rows, rows);
    EXPECT_EQ(table.recordCount, 2);
    const std::vector<Type> types{Type::Text,   Type::Text,     Type::Byte,     Type::Integer, Type::Long,
                                  Type::Double, Type::DateTime, Type::Currency, Type::Boolean};
    Recordset records;
    records.Open(QStringLiteral("SELECT * FROM [Table1];"), connection, qm::adOpenDynamic,
                 qm::adLockOptimistic);
    for (int i = 0; i < records.fieldCount(); ++i)
        EXPECT_EQ(records.value(i).type(), types[static_cast<std::size_t>(i)]) << "column " << i;
}

QString failure(auto&& action) {
    try {
        action();
        return QString();
    } catch (const DatabaseError& error) {
        return error.description();
    }
}

}  // namespace

TEST(Recordset, ReadsEveryColumnTypeOfTheTestTables) {
    expectTestTable(*openDatabase(fixtureFile("test-tables")), {kFullRow, kZeroRow});
}

TEST(Recordset, ChosenFieldsComeInTheirOrderAndMatchLikeAccessNames) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    const QueryResult chosen =
        readQuery(*connection, QStringLiteral("SELECT `I`, `a`, `G`, `a` FROM `table1`"));
    EXPECT_EQ(chosen.fields, (QStringList{QStringLiteral("I"), QStringLiteral("A"), QStringLiteral("G"),
                                          QStringLiteral("A")}));
    EXPECT_EQ(chosen.rows,
              (TextRows{{"True", "abcdefg", "1974-09-21", "abcdefg"}, {"False", "a", "1981-12-12", "a"}}));

    Recordset records;
    records.Open(QStringLiteral("SELECT `E`, `F` FROM `Table1`"), *connection, qm::adOpenStatic,
                 qm::adLockOptimistic);
    EXPECT_EQ(records.value(QStringLiteral("f")).toText(), "444.555");
    EXPECT_EQ(failure([&] { records.value(QStringLiteral("A")); }),
              QStringLiteral(
                  "Item cannot be found in the collection corresponding to the requested name or ordinal."));
    EXPECT_EQ(failure([&] { records.value(2); }),
              QStringLiteral(
                  "Item cannot be found in the collection corresponding to the requested name or ordinal."));
}

TEST(Recordset, UnknownTablesAndFieldsAreNamedInTheFailure) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    struct Case {
        QString query, expected;
    };
    const Case cases[] = {
        {QStringLiteral("SELECT * FROM [Invoice Lines];"),
         QStringLiteral(
             "The database engine cannot find the input table or query 'Invoice Lines'. Make sure it "
             "exists and that its name is spelled correctly.")},
        {QStringLiteral("SELECT `OrderID` FROM `Order Detail`"),
         QStringLiteral(
             "The database engine cannot find the input table or query 'Order Detail'. Make sure it exists "
             "and that its name is spelled correctly.")},
        {QStringLiteral("SELECT `OrderID`, `Price` FROM `Order Details`"),
         QStringLiteral("The field 'Price' does not exist in table 'Order Details'.")},
        {QStringLiteral("SELECT * FROM [Order]Details];"), QStringLiteral("Syntax error in FROM clause.")},
        {QStringLiteral("DELETE FROM [Orders];"),
         QStringLiteral(
             "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        Recordset records;
        EXPECT_EQ(
            failure([&] { records.Open(c.query, *connection, qm::adOpenStatic, qm::adLockOptimistic); }),
            c.expected);
        EXPECT_FALSE(records.isOpen());
    }
}

TEST(Recordset, CursorRulesFollowTheProvider) {
    const QString closed = QStringLiteral("Operation is not allowed when the object is closed.");
    const QString noRecord = QStringLiteral(
        "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
        "current "
        "record.");
    Recordset records;
    EXPECT_EQ(failure([&] { (void)records.isEOF(); }), closed);
    EXPECT_EQ(failure([&] { records.MoveNext(); }), closed);
    EXPECT_EQ(failure([&] { records.fieldCount(); }), closed);
    EXPECT_EQ(failure([&] { records.Close(); }), closed);

    Connection notOpen;
    EXPECT_EQ(failure([&] { records.Open(QStringLiteral("SELECT * FROM [Table1];"), notOpen, 3, 3); }),
              QStringLiteral(
                  "The connection cannot be used to perform this operation. It is either closed or invalid "
                  "in this context."));

    auto connection = openDatabase(fixtureFile("test-tables"));
    records.Open(QStringLiteral("SELECT * FROM [Table3];"), *connection, qm::adOpenStatic,
                 qm::adLockOptimistic);
    EXPECT_TRUE(records.isEOF());  // an empty table opens at its end
    EXPECT_EQ(records.RecordCount(), 0);
    EXPECT_EQ(records.fieldCount(), 2);
    EXPECT_EQ(failure([&] { records.value(0); }), noRecord);
    EXPECT_EQ(failure([&] { records.MoveNext(); }), noRecord);
    EXPECT_EQ(failure([&] { records.Open(QStringLiteral("SELECT * FROM [Table1];"), *connection, 3, 3); }),
              QStringLiteral("Operation is not allowed when the object is open."));
    records.Close();
    EXPECT_FALSE(records.isOpen());
}

TEST(Recordset, RecordSetsKeepTheirConnectionAndDoNotDisturbEachOther) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    Recordset orders;
    Recordset details;
    orders.Open(QStringLiteral("SELECT `OrderID` FROM `Orders`"), *connection, qm::adOpenStatic,
                qm::adLockOptimistic);
    details.Open(QStringLiteral("SELECT `OrderID`, `ProductID` FROM `Order Details`"), *connection,
                 qm::adOpenStatic, qm::adLockOptimistic);
    connection->Close();
    connection.reset();

    // Interleaved reading gives each record set its own rows in its own order.
    std::vector<std::string> orderIds;
    std::vector<std::string> detailIds;
    while (!orders.isEOF() || !details.isEOF()) {
        if (!orders.isEOF()) {
            orderIds.push_back(orders.value(0).toText());
            orders.MoveNext();
        }
        for (int i = 0; i < 3 && !details.isEOF(); ++i) {
            detailIds.push_back(details.value(0).toText() + "/" + details.value(1).toText());
            details.MoveNext();
        }
    }
    EXPECT_EQ(orderIds.size(), 830u);
    EXPECT_EQ(detailIds.size(), 2155u);
    EXPECT_EQ(std::set<std::string>(orderIds.begin(), orderIds.end()).size(), 830u);

    // Each as the same query alone reads it.
    auto again = openDatabase(fixtureFile("test-tables"));
    std::vector<std::string> expected;
    for (const auto& row : readQuery(*again, QStringLiteral("SELECT `OrderID` FROM `Orders`")).rows)
        expected.push_back(row[0]);
    EXPECT_EQ(orderIds, expected);
    expected.clear();
    for (const auto& row :
         readQuery(*again, QStringLiteral("SELECT `OrderID`, `ProductID` FROM `Order Details`")).rows)
        expected.push_back(row[0] + "/" + row[1]);
    EXPECT_EQ(detailIds, expected);
}

// What only files made by Access show: the test tables in Jet 3 and ACE files,
// the types the project's writer cannot write (Decimal, Large Number,
// attachments) and a deleted column, Northwind's OLE objects and texts, a
// saved query, and the counts of every table of every file.
TEST(Recordset, FilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    const std::pair<const char*, TextRows> testTables[] = {
        {"V1997_test.mdb", {kZeroRow, kFullRow}},   {"V2000_test.mdb", {kFullRow, kZeroRow}},
        {"V2003_test.mdb", {kFullRow, kZeroRow}},   {"V2007_test.accdb", {kZeroRow, kFullRow}},
        {"V2010_test.accdb", {kZeroRow, kFullRow}},
    };
    for (const auto& [file, rows] : testTables) {
        SCOPED_TRACE(file);
        expectTestTable(*openCorpus(QString::fromLatin1(file)), rows);
    }

    struct Case {
        const char* file;
        const char* table;
        TextRows rows;
        std::vector<Type> types;
    };
    const Case cases[] = {
        // libmdb's own text scales decimals by their precision; these are the stored values.
        {"V2000_numeric.mdb",
         "test",
         {{"some data", "1", "0", "0", "4", "-1", "1"}},
         {Type::Memo, Type::Decimal, Type::Decimal, Type::Decimal, Type::Decimal, Type::Decimal,
          Type::Decimal}},
        {"V2010_numeric.accdb",
         "test",
         {{"some data", "1", "0", "0", "4", "-1", "1"}},
         {Type::Memo, Type::Decimal, Type::Decimal, Type::Decimal, Type::Decimal, Type::Decimal,
          Type::Decimal}},
        {"V2016_currency.accdb", "Table", {{"1", "42"}}, {Type::Long, Type::Currency}},
        // libmdb gives no value at all for a Large Number column.
        {"V2016_bigint.accdb", "Table", {{"1", "42"}}, {Type::Long, Type::LargeNumber}},
        {"V2016_attachments.accdb",
         "Table1",
         {{"1", "0 Attachments", ""},
          {"2", "1 Attachment", "attachment1.txt"},
          {"3", "3 Attachments", "attachment1.txt; attachment2.txt; attachment3.txt"}},
         {Type::Long, Type::Text, Type::Attachment}},
        {"V2016_withdeletedcol.accdb",
         "Table1",
         {{"1", "2", "4", "5", "6", "7", "0"}},
         std::vector<Type>(7, Type::Long)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto connection = openCorpus(QString::fromLatin1(c.file));
        EXPECT_EQ(readTable(*connection, QString::fromLatin1(c.table)).rows, c.rows);
        Recordset records;
        records.Open(QStringLiteral("SELECT * FROM [%1];").arg(QString::fromLatin1(c.table)), *connection,
                     qm::adOpenStatic, qm::adLockOptimistic);
        ASSERT_EQ(records.fieldCount(), static_cast<int>(c.types.size()));
        for (int i = 0; i < records.fieldCount(); ++i)
            EXPECT_EQ(records.value(i).type(), c.types[static_cast<std::size_t>(i)]) << "column " << i;
    }

    auto northwind = openCorpus(QStringLiteral("northwind-jet3.mdb"));

    Recordset employees;
    employees.Open(
        QStringLiteral("SELECT `LastName`, `Address`, `Region`, `BirthDate`, `Photo`, `Notes`, `ReportsTo` "
                       "FROM `Employees`"),
        *northwind, qm::adOpenStatic, qm::adLockOptimistic);
    ASSERT_FALSE(employees.isEOF());
    EXPECT_EQ(employees.value(0).toText(), "Davolio");
    EXPECT_EQ(employees.value(1).toText(), "507 - 20th Ave. E.\r\nApt. 2A");
    EXPECT_EQ(employees.value(3).toText(), "1948-12-08");
    EXPECT_EQ(employees.value(4).toText(), "[OLE Object]");
    EXPECT_TRUE(employees.value(5).toText().starts_with("Education includes a BA in psychology"));
    EXPECT_EQ(employees.value(5).type(), Type::Memo);
    employees.MoveNext();
    EXPECT_EQ(employees.value(0).toText(), "Fuller");
    EXPECT_TRUE(employees.value(6).isNull());  // reports to nobody
    std::string text = "x";
    employees.appendText(6, text);
    EXPECT_EQ(text, "x");  // Null appends nothing

    // Nulls in text columns: Customers without a region.
    const QueryResult customers =
        readQuery(*northwind, QStringLiteral("SELECT `CompanyName`, `Region`, `Fax` FROM `Customers`"));
    ASSERT_EQ(customers.rows.size(), 91u);
    const auto withoutRegion = std::count_if(customers.rows.begin(), customers.rows.end(),
                                             [](const auto& row) { return row[1].empty(); });
    EXPECT_EQ(withoutRegion, 60);

    // Names with a blank and with a letter beyond ASCII, values with accents.
    const QueryResult details = readTable(*northwind, QStringLiteral("Order Details"));
    EXPECT_EQ(details.rows.size(), 2155u);
    // ProductID is a lookup: the product's name, as Access shows it.
    EXPECT_EQ(details.rows.front(), (std::vector<std::string>{"10248", "Queso Cabrales", "14", "12", "0"}));
    const QueryResult sales = readTable(*northwind, QStringLiteral("Umsätze"));
    EXPECT_EQ(sales.rows.size(), 830u);
    EXPECT_EQ(sales.rows.front()[9], "Carrera 52 con Ave. Bolívar #65-98 Llano Largo");

    Recordset query;
    EXPECT_EQ(failure([&] {
                  query.Open(QStringLiteral("SELECT * FROM [invoices];"), *northwind, qm::adOpenStatic,
                             qm::adLockOptimistic);
              }),
              QStringLiteral("'Invoices' is a saved query, not a table; only tables can be read."));

    int tables = 0;
    for (const QString& file : readableCorpusFiles()) {
        SCOPED_TRACE(file.toStdString());
        auto connection = openCorpus(file, corpusPassword(file));
        QStringList names = schemaNames(*connection);
        names += schemaNames(*connection, QStringLiteral("SYSTEM TABLE"));
        names += schemaNames(*connection, QStringLiteral("ACCESS TABLE"));
        for (const QString& table : names) {
            SCOPED_TRACE(table.toStdString());
            const QueryResult result = readTable(*connection, table);
            EXPECT_EQ(result.recordCount, static_cast<long long>(result.rows.size()));
            ++tables;
        }
    }
    EXPECT_GT(tables, 100);
}
