// Failed exports: exit status 1, one line on standard error that says why,
// nothing on standard output, and the output file exactly as it was before.

#include "CliSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdint>
#include <map>

using namespace qm::clitest;

namespace {

constexpr qsizetype kPageSize = 4096;  // Jet 4

const QByteArray kPrevious = "the previous document, which a failed export must leave alone\n";

// A table long enough to fill many data pages and long-value pages.
const QByteArray kBigDatabase = R"({"tables": [
    {"name": "Big", "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 40},
                                {"name": "Note", "type": "memo"}],
     "generate": {"count": 3000, "seed": 11, "nulls": 0.1}},
    {"name": "Other", "columns": [{"name": "Only Here", "type": "long"}], "rows": [[1]]},
    {"name": "Back`Tick", "columns": [{"name": "Id", "type": "long"}], "rows": [[1]]}]})";

quint32 read32(const QByteArray& bytes, qsizetype at) {
    return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
           quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
}

bool isDataPage(const QByteArray& bytes, qsizetype page) {
    return bytes[page * kPageSize] == 0x01;
}

bool isLongValuePage(const QByteArray& bytes, qsizetype page) {
    return isDataPage(bytes, page) && bytes.mid(page * kPageSize + 4, 4) == "LVAL";
}

// The page in the middle of the data pages of the table with the most data pages.
qsizetype middleDataPage(const QByteArray& bytes) {
    std::map<quint32, QList<qsizetype>> pagesByTable;
    for (qsizetype page = 1; page < bytes.size() / kPageSize; ++page) {
        if (isDataPage(bytes, page) && !isLongValuePage(bytes, page))
            pagesByTable[read32(bytes, page * kPageSize + 4)].append(page);
    }
    const QList<qsizetype>* largest = nullptr;
    for (const auto& [table, pages] : pagesByTable) {
        if (!largest || pages.size() > largest->size())
            largest = &pages;
    }
    return largest && largest->size() > 2 ? largest->at(largest->size() / 2) : -1;
}

qsizetype middleLongValuePage(const QByteArray& bytes) {
    QList<qsizetype> pages;
    for (qsizetype page = 1; page < bytes.size() / kPageSize; ++page) {
        if (isLongValuePage(bytes, page))
            pages.append(page);
    }
    return pages.size() > 2 ? pages.at(pages.size() / 2) : -1;
}

QString damagedCopy(const QTemporaryDir& dir, const QString& name, QByteArray bytes) {
    const QString path = dir.filePath(name);
    writeBytes(path, bytes);
    return path;
}

class ExportFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("out")));
        database_ = makeDatabase(dir_, QStringLiteral("big"), kBigDatabase);
        ASSERT_FALSE(database_.isEmpty());
    }

    QString outputFolder() const { return dir_.filePath(QStringLiteral("out")); }

    // Runs the export over a previous document and checks everything a failure promises.
    void expectFailure(const QStringList& arguments, const QStringList& messagePatterns) {
        const QString output = outputFolder() + QStringLiteral("/document.docx");
        writeBytes(output, kPrevious);
        const RunResult r = runExport(arguments + QStringList{QStringLiteral("--output"), output});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(IsOneLineMessage(r.err));
        for (const QString& messagePattern : messagePatterns) {
            const QRegularExpression pattern(messagePattern, QRegularExpression::CaseInsensitiveOption);
            EXPECT_TRUE(pattern.match(QString::fromUtf8(r.err)).hasMatch())
                << "message \"" << r.err.trimmed().toStdString() << "\" does not match "
                << messagePattern.toStdString();
        }
        EXPECT_EQ(readBytes(output), kPrevious) << "the previous document was changed";
        EXPECT_EQ(entriesOf(outputFolder()), QStringList{QStringLiteral("document.docx")})
            << "a failed export left a file behind";
    }

    QTemporaryDir dir_;
    QString database_;
};

}  // namespace

TEST_F(ExportFailure, FilesThatAreNoReadableDatabase) {
    const QString table = QStringLiteral("Big");
    const QByteArray good = readBytes(database_);
    ASSERT_GT(good.size(), 50 * kPageSize);
    const qsizetype dataPage = middleDataPage(good);
    ASSERT_GT(dataPage, 0);
    const qsizetype rowTable = dataPage * kPageSize + 14;  // Jet 4: row count at 12, offsets from 14
    const auto rowStart = [&](int slot) {
        return dataPage * kPageSize +
               ((quint8(good[rowTable + 2 * slot]) | quint8(good[rowTable + 2 * slot + 1]) << 8) & 0x1FFF);
    };

    QByteArray overwrittenRow = good;
    overwrittenRow.replace(rowStart(3), rowStart(2) - rowStart(3),
                           QByteArray(rowStart(2) - rowStart(3), '\xff'));
    QByteArray tooManyRows = good;
    tooManyRows.replace(rowTable - 2, 2, QByteArray("\xd0\x07", 2));  // 2000 rows cannot fit a page
    QByteArray zeroedLongValues = good;
    const qsizetype longValuePage = middleLongValuePage(good);
    ASSERT_GT(longValuePage, 0);
    zeroedLongValues.replace(longValuePage * kPageSize, kPageSize, QByteArray(kPageSize, '\0'));

    struct Case {
        const char* what;
        QString database;
        QStringList patterns;  // all must match the message
        bool catalogueReadable;
    };
    const QString missing = dir_.filePath(QStringLiteral("missing.mdb"));
    const QString text = damagedCopy(dir_, QStringLiteral("notes.mdb"), "just some notes\n");
    const QString notADatabase = QStringLiteral("format|not a database");
    const Case cases[] = {
        {"missing file", missing, {QRegularExpression::escape(missing)}, false},
        {"folder", dir_.path(), {QStringLiteral("folder|directory")}, false},
        {"text file", text, {QRegularExpression::escape(text), notADatabase}, false},
        {"empty file",
         damagedCopy(dir_, QStringLiteral("empty.mdb"), QByteArray()),
         {QStringLiteral("empty\\.mdb"), notADatabase},
         false},
        {"cut in half",
         damagedCopy(dir_, QStringLiteral("half.mdb"), good.left(good.size() / 2)),
         {QStringLiteral("damaged")},
         false},
        {"row overwritten",
         damagedCopy(dir_, QStringLiteral("row.mdb"), overwrittenRow),
         {QStringLiteral("damaged"), table},
         true},
        {"row count past the row table",
         damagedCopy(dir_, QStringLiteral("count.mdb"), tooManyRows),
         {QStringLiteral("damaged"), table},
         true},
        {"zeroed memo page",
         damagedCopy(dir_, QStringLiteral("memo.mdb"), zeroedLongValues),
         {QStringLiteral("damaged"), table},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectFailure({c.database, QStringLiteral("--table"), table}, c.patterns);
        if (c.catalogueReadable)
            continue;
        // Listing the tables fails the same way when the file itself cannot be read.
        const RunResult list = runExport({c.database, QStringLiteral("--list-tables")});
        EXPECT_EQ(list.exitCode, 1);
        EXPECT_TRUE(list.out.isEmpty());
        EXPECT_TRUE(IsOneLineMessage(list.err));
    }
}

// FAULT FOUND HERE (reported, not yet mended): a row whose offset in the row
// table points outside its page, or before the row that follows it, is passed
// over like a deleted row. The export then succeeds with those records
// silently missing and replaces the previous document. Only the deleted and
// moved flags make a slot skippable; any other impossible offset is damage.
TEST_F(ExportFailure, ImpossibleRowOffsetsAreDamageNotDeletedRows) {
    const QByteArray good = readBytes(database_);
    const qsizetype page = middleDataPage(good);
    ASSERT_GT(page, 0);
    const qsizetype rowTable = page * kPageSize + 14;  // Jet 4: row count at 12, offsets from 14
    const int rows = quint8(good[rowTable - 2]) | quint8(good[rowTable - 1]) << 8;
    ASSERT_GT(rows, 20);

    QByteArray pastThePage = good;  // offset 0x1FFF, no flag bits
    for (int slot = 0; slot < 20; ++slot)
        pastThePage.replace(rowTable + 2 * slot, 2, QByteArray("\xff\x1f", 2));
    QByteArray outOfOrder = good;  // slot 5 starts below the row after it: rows would overlap
    outOfOrder.replace(rowTable + 2 * 5, 2, outOfOrder.mid(rowTable + 2 * 7, 2));

    const QString table = QStringLiteral("Big");
    {
        SCOPED_TRACE("offsets past the page");
        expectFailure(
            {damagedCopy(dir_, QStringLiteral("past.mdb"), pastThePage), QStringLiteral("--table"), table},
            {QStringLiteral("damaged"), table});
    }
    {
        SCOPED_TRACE("offsets out of order");
        expectFailure(
            {damagedCopy(dir_, QStringLiteral("order.mdb"), outOfOrder), QStringLiteral("--table"), table},
            {QStringLiteral("damaged"), table});
    }
}

TEST_F(ExportFailure, TablesAndFieldsThatDoNotExist) {
    struct Case {
        const char* what;
        QStringList arguments;
        QStringList patterns;
    };
    const Case cases[] = {
        {"unknown table", {QStringLiteral("--table"), QStringLiteral("Bigger")}, {QStringLiteral("Bigger")}},
        {"unknown non-ASCII table",
         {QStringLiteral("--table"), QStringLiteral("Umsätze")},
         {QStringLiteral("Umsätze")}},
        {"empty table name", {QStringLiteral("--table"), QString()}, {}},
        {"unknown second field",
         {QStringLiteral("--table"), QStringLiteral("Big"), QStringLiteral("--field"), QStringLiteral("Id"),
          QStringLiteral("--field"), QStringLiteral("Nme")},
         {QStringLiteral("Nme")}},
        {"field of another table",
         {QStringLiteral("--table"), QStringLiteral("Big"), QStringLiteral("--field"),
          QStringLiteral("Only Here")},
         {QStringLiteral("Only Here"), QStringLiteral("Big")}},
        {"empty field name",
         {QStringLiteral("--table"), QStringLiteral("Big"), QStringLiteral("--field"), QString()},
         {}},
        // Access does not allow back-quotes in names, so such a table cannot be
        // queried; the export must still fail cleanly rather than write something.
        {"back-quote in the table name", {QStringLiteral("--table"), QStringLiteral("Back`Tick")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectFailure(QStringList{database_} + c.arguments, c.patterns);
    }
}

TEST_F(ExportFailure, OutputThatCannotBeWritten) {
    const QString missingFolder = dir_.filePath(QStringLiteral("no such folder/document.docx"));
    const RunResult intoMissing = runExport({database_, QStringLiteral("--table"), QStringLiteral("Other"),
                                             QStringLiteral("--output"), missingFolder});
    EXPECT_EQ(intoMissing.exitCode, 1);
    EXPECT_TRUE(IsOneLineMessage(intoMissing.err));
    EXPECT_TRUE(intoMissing.err.contains(missingFolder.toUtf8())) << intoMissing.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("no such folder"))));

    // The database named as the document: replacing it would destroy what is being read.
    const QByteArray database = readBytes(database_);
    const QString databaseName = QFileInfo(database_).fileName();
    for (const QString& output : {database_, QStringLiteral("./") + databaseName,
                                  dir_.path() + QStringLiteral("/out/../") + databaseName}) {
        SCOPED_TRACE(output.toStdString());
        const RunResult r = runExport({databaseName, QStringLiteral("--table"), QStringLiteral("Other"),
                                       QStringLiteral("--output"), output},
                                      ExportEnvironment(), dir_.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(IsOneLineMessage(r.err));
        EXPECT_EQ(readBytes(database_), database) << "the database was overwritten";
    }

    // A folder in the way of the document stays a folder, with what it held.
    const QString folder = outputFolder();
    writeBytes(folder + QStringLiteral("/keep.txt"), kPrevious);
    const RunResult ontoFolder = runExport(
        {database_, QStringLiteral("--table"), QStringLiteral("Other"), QStringLiteral("--output"), folder});
    EXPECT_EQ(ontoFolder.exitCode, 1);
    EXPECT_TRUE(IsOneLineMessage(ontoFolder.err));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("keep.txt")});
    EXPECT_EQ(entriesOf(dir_.path()),
              (QStringList{QStringLiteral("big.json"), QStringLiteral("big.mdb"), QStringLiteral("out")}))
        << "a temporary file was left beside the target";
}
