// What Debian's libmdb 1.0.0 does with the corpus on its own, next to what the
// layer makes of the same values. Each case is a reason for code in the
// layer; when one fails, libmdb changed and the workaround may go.

#include "DatabaseTestSupport.h"
#include "LibmdbReader.h"

using namespace qm::test;

namespace {

std::vector<std::string> firstRowOurs(const QString& file, const QString& table) {
    auto connection = openCorpus(file);
    return readTable(*connection, table).rows.front();
}

}  // namespace

TEST(LibmdbFacts, DatesHaveTwoDigitYearsThere) {
    QM_REQUIRE_CORPUS();
    LibmdbTable table;
    ASSERT_TRUE(readWithLibmdb(corpusFile(QStringLiteral("V2000_test.mdb")), "Table1", table));
    EXPECT_EQ(table.rows.front()[6], "09/21/74 00:00:00");
    EXPECT_EQ(firstRowOurs(QStringLiteral("V2000_test.mdb"), QStringLiteral("Table1"))[6], "1974-09-21");
}

TEST(LibmdbFacts, LargeNumbersHaveNoValueThere) {
    QM_REQUIRE_CORPUS();
    LibmdbTable table;
    testing::internal::CaptureStderr();  // it warns about the unknown type
    ASSERT_TRUE(readWithLibmdb(corpusFile(QStringLiteral("V2016_bigint.accdb")), "Table", table));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(table.rows.front()[1], "");
    EXPECT_EQ(firstRowOurs(QStringLiteral("V2016_bigint.accdb"), QStringLiteral("Table"))[1], "42");
}

TEST(LibmdbFacts, AttachmentsAreBareIdsThere) {
    QM_REQUIRE_CORPUS();
    LibmdbTable table;
    ASSERT_TRUE(readWithLibmdb(corpusFile(QStringLiteral("V2016_attachments.accdb")), "Table1", table));
    EXPECT_EQ(table.rows.back()[2], "3");
    auto connection = openCorpus(QStringLiteral("V2016_attachments.accdb"));
    EXPECT_EQ(readTable(*connection, QStringLiteral("Table1")).rows.back()[2],
              "attachment1.txt; attachment2.txt; attachment3.txt");
}

TEST(LibmdbFacts, LeftoverClipboardTablesAreUserTablesToBoth) {
    QM_REQUIRE_CORPUS();
    // Their catalogue flags are 0x1001 (hidden, left from a change): no
    // system flag, so they are tables like any other for libmdb and for the
    // tables schema.
    LibmdbTable table;
    ASSERT_TRUE(
        readWithLibmdb(corpusFile(QStringLiteral("V2016_withdeletedcol.accdb")), "~TMPCLP517911", table));
    EXPECT_TRUE(table.userTable);
    auto connection = openCorpus(QStringLiteral("V2016_withdeletedcol.accdb"));
    EXPECT_TRUE(schemaNames(*connection).contains(QStringLiteral("~TMPCLP517911")));
}
