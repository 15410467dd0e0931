// Rows that Access moved to another page after an edit: the home slot is
// flagged 0x4000 and starts with a pointer (row number, then the page in three
// bytes); the data's own slot is flagged 0x8000 and a scan passes it over.
// The layer must give such a row at its home place, in Jet 3 files as in Jet 4.

#include "DatabaseTestSupport.h"

// glib first: libmdb's header includes it inside extern "C".
#include <glib.h>
#include <mdbtools.h>

#include <QTemporaryDir>

using namespace qm::test;

namespace {

constexpr int kMovedAway = 0x4000;
constexpr int kMovedHere = 0x8000;
constexpr int kOffsetMask = 0x1FFF;

int get16(const QByteArray& b, qsizetype at) {
    return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8;
}
std::uint32_t get32(const QByteArray& b, qsizetype at) {
    return std::uint32_t(get16(b, at)) | std::uint32_t(get16(b, at + 2)) << 16;
}
void set16(QByteArray& b, qsizetype at, int v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}
void set32(QByteArray& b, qsizetype at, std::uint32_t v) {
    set16(b, at, int(v & 0xFFFF));
    set16(b, at + 2, int(v >> 16));
}

// The definition page of a table, as libmdb's catalogue gives it; 0 if none.
std::uint32_t definitionPage(const QString& path, const char* table) {
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return 0;
    std::uint32_t page = 0;
    if (mdb_read_catalog(mdb, MDB_TABLE)) {
        if (MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, table))
            page = std::uint32_t(entry->table_pg);
    }
    mdb_close(mdb);
    return page;
}

// A Jet file as pages, with the places that differ between Jet 3 and Jet 4.
struct Pages {
    QByteArray& bytes;
    int size = bytes[0x14] == 0 ? 2048 : 4096;
    int rowTable = size == 2048 ? 8 : 12;   // row count, then the offsets
    int usageMap = size == 2048 ? 35 : 55;  // in a table definition: its usage map's page and row

    qsizetype at(std::uint32_t page) const { return qsizetype(page) * size; }
    // Where a row of a page starts and ends (where the row before it starts).
    std::pair<qsizetype, qsizetype> row(std::uint32_t page, int slot) const {
        const qsizetype base = at(page);
        const int end = slot == 0 ? size : get16(bytes, base + rowTable + 2 * slot) & kOffsetMask;
        return {base + (get16(bytes, base + rowTable + 2 + 2 * slot) & kOffsetMask), base + end};
    }
    QByteArray rowBytes(std::uint32_t page, int slot) const {
        const auto [from, to] = row(page, slot);
        return bytes.mid(from, to - from);
    }
};

// Moves the first row of the table's first data page. That page is copied to
// the end of the file, with the row's home slot pointing to slot 1 of a new
// page after it; slot 0 there holds a copy of the second row, flagged as the
// moved data is (a reader that ignored the pointer's row number would read
// it). The table's usage map then names these two pages only.
void moveFirstRow(QByteArray& bytes, std::uint32_t definition, int pointedRow = 1) {
    Pages pages{bytes};
    const auto count = std::uint32_t(bytes.size() / pages.size);
    std::uint32_t home = 1;
    while (home < count && !(bytes[pages.at(home)] == 1 && get32(bytes, pages.at(home) + 4) == definition))
        ++home;
    ASSERT_LT(home, count) << "no data page";
    ASSERT_GE(get16(bytes, pages.at(home) + pages.rowTable), 2) << "two rows to tell the order by";
    const QByteArray moved = pages.rowBytes(home, 0), decoy = pages.rowBytes(home, 1);
    ASSERT_GE(moved.size(), 4);

    const std::uint32_t copy = count, target = count + 1;
    bytes += bytes.mid(pages.at(home), pages.size);
    QByteArray page(pages.size, '\0');
    page.replace(0, pages.rowTable, bytes.mid(pages.at(home), pages.rowTable));  // type, owner
    const int decoyAt = pages.size - int(decoy.size()), movedAt = decoyAt - int(moved.size());
    page.replace(decoyAt, decoy.size(), decoy);
    page.replace(movedAt, moved.size(), moved);
    set16(page, pages.rowTable, 2);
    set16(page, pages.rowTable + 2, decoyAt | kMovedHere);
    set16(page, pages.rowTable + 4, movedAt | kMovedHere);
    set16(page, 2, movedAt - (pages.rowTable + 2 + 2 * 2));  // free space
    bytes += page;

    const qsizetype homeSlot = pages.at(copy) + pages.rowTable + 2;
    set16(bytes, homeSlot, get16(bytes, homeSlot) | kMovedAway);
    set32(bytes, pages.row(copy, 0).first, target << 8 | std::uint32_t(pointedRow));

    const std::uint32_t mapPointer = get32(bytes, pages.at(definition) + pages.usageMap);
    const auto [map, mapEnd] = pages.row(mapPointer >> 8, int(mapPointer & 0xFF));
    ASSERT_EQ(bytes[map], 0) << "an inline usage map: first page, then one bit a page";
    set32(bytes, map + 1, copy);
    bytes.replace(map + 5, mapEnd - map - 5, QByteArray(mapEnd - map - 5, '\0'));
    bytes[map + 5] = 0x03;
}

// A fixture (Jet 4 as the project's writer stores it) or, named with its
// extension, a file made by Access (Jet 3).
class MovedRows : public ::testing::TestWithParam<const char*> {};

// The file with its first row moved, written to dir; "" when it cannot be made.
QString withFirstRowMoved(const QTemporaryDir& dir, const QString& original, int pointedRow) {
    QByteArray bytes = fileBytes(original);
    EXPECT_FALSE(bytes.isEmpty());
    moveFirstRow(bytes, definitionPage(original, "Table1"), pointedRow);
    const QString path = dir.filePath(QStringLiteral("moved-%1.mdb").arg(pointedRow));
    writeBytes(path, bytes);
    return ::testing::Test::HasFailure() ? QString() : path;
}

// A moved row is read at its home place; a pointer past the rows of its page is damage.
TEST_P(MovedRows, AreReadAtTheirHomePlaceAndPointIntoTheRowsOfTheirPage) {
    const QString name = QString::fromLatin1(GetParam());
    if (name.endsWith(QLatin1String(".mdb")))
        QM_REQUIRE_CORPUS();
    const QString original =
        name.endsWith(QLatin1String(".mdb")) ? corpusFile(name) : fixtureFile(GetParam());
    QTemporaryDir dir;
    const QString path = withFirstRowMoved(dir, original, 1);
    ASSERT_FALSE(path.isEmpty());

    const QueryResult expected = readTable(*openDatabase(original), QStringLiteral("Table1"));
    const QueryResult actual = readTable(*openDatabase(path), QStringLiteral("Table1"));
    EXPECT_EQ(actual.fields, expected.fields);
    EXPECT_EQ(actual.rows, expected.rows);
    EXPECT_EQ(actual.recordCount, expected.recordCount);

    const QString pastTheRows = withFirstRowMoved(dir, original, 2);
    ASSERT_FALSE(pastTheRows.isEmpty());
    auto connection = openDatabase(pastTheRows);
    EXPECT_THROW(readTable(*connection, QStringLiteral("Table1")), qm::DatabaseError);
}

INSTANTIATE_TEST_SUITE_P(Files, MovedRows, ::testing::Values("test-tables", "V1997_test.mdb"));

}  // namespace
