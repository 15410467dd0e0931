// Tables read back by readers that are not ours: python-docx reads the .docx
// cell by cell, antiword the .doc's rows; a .txt table is exact bytes. A .doc wider
// than Word 97 tables may be is refused rather than written damaged.
// TableLibreOfficeTest.cpp has LibreOffice read every format.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"
#include "shell/Failure.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

TEST(TableFormats, PythonDocxReadsEveryCell) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.docx"));
    const Rows rows = EdgeRows();
    WriteTable(rows, DocumentFormat::Docx, path);
    const QJsonArray tables =
        ReadBack(QStringLiteral("docx-tables"), path)[QStringLiteral("tables")].toArray();
    ASSERT_EQ(tables.size(), 1);
    const QJsonArray read = tables.first()[QStringLiteral("rows")].toArray();
    ASSERT_EQ(read.size(), static_cast<qsizetype>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(Strings(read[static_cast<qsizetype>(i)]), ExpectedParagraphs(rows[i])) << "row " << i;
    const QJsonArray header = tables.first()[QStringLiteral("header")].toArray();
    EXPECT_TRUE(header.first().toBool());
    EXPECT_FALSE(header.last().toBool());
}

// antiword draws a table row as "|cell |cell |", a line per line of its cells.
TEST(TableFormats, AntiwordReadsTheDocTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.doc"));
    const Rows rows{{"Id", "Name, Vorname", "Notiz"},
                    {"1", "Müller, Anna; \"bar\"", "Ωmega 東京"},
                    {"2", "", "  leading blanks"},
                    {"3", "x", ""}};
    WriteTable(rows, DocumentFormat::Doc, path);
    QList<QStringList> read;
    for (const QString& line : Strings(ReadBack(QStringLiteral("antiword"), path)[QStringLiteral("lines")])) {
        if (!line.startsWith(QLatin1Char('|')))
            continue;
        QStringList cells = line.split(QLatin1Char('|')).mid(1);
        cells.removeLast();
        for (QString& cell : cells) {
            while (cell.endsWith(QLatin1Char(' ')))
                cell.chop(1);
        }
        read << cells;
    }
    QList<QStringList> expected;
    for (const Lines& row : rows)
        expected << ExpectedParagraphs(row);
    EXPECT_EQ(read, expected);
    // The paragraph pages, read here, give every cell and row mark its run.
    const Rows many(300, Lines{"a", "Ωmega", "", "c"});
    WriteTable(many, DocumentFormat::Doc, path);
    EXPECT_EQ(Strings(ReadBack(QStringLiteral("docfile"), path)[QStringLiteral("problems")]), QStringList());
}

TEST(TableFormats, TextJoinsTheCellsByATab) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("table.txt"));
    const Rows rows = EdgeRows();
    WriteTable(rows, DocumentFormat::Txt, path);
    QByteArray expected;
    for (const Lines& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            expected += QByteArray::fromStdString((i > 0 ? "\t" : "") + row[i]);
        expected += "\r\n";
    }
    EXPECT_EQ(ContentsOf(path), expected);
}

TEST(TableFormats, DocRefusesMoreColumnsThanWordTablesHave) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.doc"));
    try {
        WriteTable({Lines(64, "x")}, DocumentFormat::Doc, path);
        ADD_FAILURE() << "a table of 64 columns was written";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.description().contains(QStringLiteral("63 columns")))
            << failure.description().toStdString();
    }
    EXPECT_FALSE(QFile::exists(path));
    WriteTable({Lines(63, "x")}, DocumentFormat::Doc, path);
    EXPECT_TRUE(QFile::exists(path));
}

}  // namespace
}  // namespace qm
