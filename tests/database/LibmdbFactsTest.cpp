// What Debian's libmdb 1.0.0 does with the corpus on its own, next to what the
// layer makes of the same values. Each case is a reason for code in the
// layer; when one fails, libmdb changed and the workaround may go.

#include "DatabaseTestSupport.h"
#include "LibmdbReader.h"

using namespace qm::test;

namespace {

std::vector<std::string> firstRowOurs(const QString& path, const QString& table) {
    auto connection = openDatabase(path);
    return readTable(*connection, table).rows.front();
}

}  // namespace

TEST(LibmdbFacts, DatesHaveTwoDigitYearsThere) {
    LibmdbTable table;
    ASSERT_TRUE(readWithLibmdb(fixtureFile("test-tables"), "Table1", table));
    EXPECT_EQ(table.rows.front()[6], "09/21/74 00:00:00");
    EXPECT_EQ(firstRowOurs(fixtureFile("test-tables"), QStringLiteral("Table1"))[6], "1974-09-21");
}

// Large Number and attachment columns, and the tables Access leaves behind
// after a change, which only files made by Access have.
TEST(LibmdbFacts, InFilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    // Large numbers have no value there.
    LibmdbTable bigint;
    testing::internal::CaptureStderr();  // it warns about the unknown type
    ASSERT_TRUE(readWithLibmdb(corpusFile(QStringLiteral("V2016_bigint.accdb")), "Table", bigint));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(bigint.rows.front()[1], "");
    EXPECT_EQ(firstRowOurs(corpusFile(QStringLiteral("V2016_bigint.accdb")), QStringLiteral("Table"))[1],
              "42");

    // Attachments are bare ids there.
    LibmdbTable attachments;
    ASSERT_TRUE(readWithLibmdb(corpusFile(QStringLiteral("V2016_attachments.accdb")), "Table1", attachments));
    EXPECT_EQ(attachments.rows.back()[2], "3");
    auto connection = openCorpus(QStringLiteral("V2016_attachments.accdb"));
    EXPECT_EQ(readTable(*connection, QStringLiteral("Table1")).rows.back()[2],
              "attachment1.txt; attachment2.txt; attachment3.txt");

    // Leftover clipboard tables are user tables to both: their catalogue flags
    // are 0x1001 (hidden, left from a change), no system flag, so they are
    // tables like any other for libmdb and for the tables schema.
    LibmdbTable leftover;
    ASSERT_TRUE(
        readWithLibmdb(corpusFile(QStringLiteral("V2016_withdeletedcol.accdb")), "~TMPCLP517911", leftover));
    EXPECT_TRUE(leftover.userTable);
    auto deleted = openCorpus(QStringLiteral("V2016_withdeletedcol.accdb"));
    EXPECT_TRUE(schemaNames(*deleted).contains(QStringLiteral("~TMPCLP517911")));
}
