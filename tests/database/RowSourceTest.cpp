#include "DatabaseTestSupport.h"

using qm::Recordset;
using qm::RowSource;
using qm::Value;
using namespace qm::test;

namespace {

TextRows slice(const TextRows& rows, long long first, long long count) {
    if (first >= static_cast<long long>(rows.size()))
        return {};
    const long long end = std::min<long long>(first + count, static_cast<long long>(rows.size()));
    return TextRows(rows.begin() + first, rows.begin() + end);
}

}  // namespace

TEST(RowSource, AnyRangeOfRowsEqualsTheSameRowsReadInOrder) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    const QueryResult all = readTable(*connection, QStringLiteral("Order Details"));
    ASSERT_EQ(all.rows.size(), 2155u);

    Recordset preview;
    preview.Open(QStringLiteral("SELECT * FROM [Order Details];"), *connection, qm::adOpenDynamic,
                 qm::adLockOptimistic);
    const std::shared_ptr<RowSource> rows = preview.DataSource();
    ASSERT_EQ(rows->columnCount(), 5);
    EXPECT_EQ(rows->columnName(2), QStringLiteral("UnitPrice"));
    EXPECT_EQ(rows->columnName(5), QString());

    // Jumps forwards and backwards, across checkpoints and cached blocks, and past the end.
    const std::pair<long long, int> ranges[] = {
        {0, 30},   {2100, 55}, {2154, 1}, {2150, 100}, {2155, 10}, {5000, 3}, {255, 3}, {256, 1},
        {511, 70}, {1000, 1},  {63, 2},   {0, 2155},   {640, 200}, {1, 0},    {-5, 10},
    };
    for (const auto& [first, count] : ranges) {
        SCOPED_TRACE(std::to_string(first) + "+" + std::to_string(count));
        const TextRows got = asText(rows->rows(first, count));
        EXPECT_EQ(got, first < 0 ? TextRows{} : slice(all.rows, first, count));
    }
    EXPECT_EQ(rows->rowCount(), 2155);
}

TEST(RowSource, IsIndependentOfTheRecordSetsCursor) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    Recordset preview;
    preview.Open(QStringLiteral("SELECT * FROM [Table1];"), *connection, qm::adOpenDynamic,
                 qm::adLockOptimistic);
    preview.MoveNext();
    const std::shared_ptr<RowSource> rows = preview.DataSource();
    EXPECT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->rows(0, 1).front().front().toText(), "abcdefg");
    EXPECT_EQ(preview.value(0).toText(), "a");  // still on its second row
    preview.Close();
    connection->Close();
    // The grid keeps its rows after the record set and connection are closed.
    EXPECT_EQ(rows->rows(1, 1).front()[6].toText(), "1981-12-12");
}

TEST(RowSource, EmptyTablesAndTheSchemaHaveRowsToo) {
    auto connection = openDatabase(fixtureFile("test-tables"));
    Recordset empty;
    empty.Open(QStringLiteral("SELECT * FROM [Table3];"), *connection, qm::adOpenDynamic,
               qm::adLockOptimistic);
    const auto rows = empty.DataSource();
    EXPECT_EQ(rows->columnCount(), 2);
    EXPECT_EQ(rows->columnName(1), QStringLiteral("b"));
    EXPECT_EQ(rows->rowCount(), 0);
    EXPECT_TRUE(rows->rows(0, 10).empty());

    auto schema = connection->OpenSchema(qm::adSchemaTables);
    const auto schemaRows = schema->DataSource();
    EXPECT_EQ(schemaRows->columnName(2), QStringLiteral("TABLE_NAME"));
    const auto all = schemaRows->rows(0, 1000);
    EXPECT_EQ(static_cast<long long>(all.size()), schemaRows->rowCount());
    EXPECT_EQ(schemaRows->rows(schemaRows->rowCount() - 1, 5).size(), 1u);
}
