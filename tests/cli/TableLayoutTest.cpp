// --layout: lines stays the output it always was; table needs no separator and
// takes none; a table export carries each record's values into its own cells.

#include "CliSupport.h"

#include <QFile>

namespace qm::clitest {
namespace {

constexpr char kDatabase[] = R"({"tables": [
    {"name": "Kunden", "columns": [
        {"name": "Id", "type": "long"}, {"name": "Name, Vorname", "type": "text", "size": 40},
        {"name": "Notiz", "type": "memo"}],
     "rows": [[1, "Müller, Anna; \"bar\"", "zwei\r\nZeilen"],
              [2, null, "  Tab\there  "],
              [3, "日本語 €", "a\nb"]]}]})";

class TableLayout : public ::testing::Test {
  protected:
    void SetUp() override {
        database_ = makeDatabase(dir_, QStringLiteral("kunden"), kDatabase);
        ASSERT_FALSE(database_.isEmpty());
    }

    // The exported file's bytes; empty, with a test failure, when the export failed.
    QByteArray exportTo(const QString& name, const QStringList& options) {
        const QString output = dir_.filePath(name);
        const RunResult r =
            runExport(QStringList{database_, QStringLiteral("--table"), QStringLiteral("Kunden"),
                                  QStringLiteral("--output"), output} +
                      options);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return readBytes(output);
    }

    QTemporaryDir dir_;
    QString database_;
};

TEST_F(TableLayout, SeparatorOrAnUnknownLayoutIsAUsageError) {
    for (const QStringList& options : {QStringList{QStringLiteral("--layout"), QStringLiteral("table"),
                                                   QStringLiteral("--separator"), QStringLiteral(";")},
                                       QStringList{QStringLiteral("--separator"), QStringLiteral(","),
                                                   QStringLiteral("--layout"), QStringLiteral("table")},
                                       QStringList{QStringLiteral("--layout"), QStringLiteral("grid")}}) {
        const QString output = dir_.filePath(QStringLiteral("refused.docx"));
        const RunResult r =
            runExport(QStringList{database_, QStringLiteral("--table"), QStringLiteral("Kunden"),
                                  QStringLiteral("--output"), output} +
                      options);
        EXPECT_EQ(r.exitCode, 2) << options.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.startsWith("quillmerge-export: ")) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(output));
    }
}

TEST_F(TableLayout, LinesIsTheDefaultByteForByte) {
    for (const QString& format : {QStringLiteral("txt"), QStringLiteral("rtf")}) {
        const QStringList options{QStringLiteral("--format"), format, QStringLiteral("--separator"),
                                  QStringLiteral(" | ")};
        const QByteArray byDefault = exportTo(QStringLiteral("default.") + format, options);
        EXPECT_FALSE(byDefault.isEmpty());
        EXPECT_EQ(exportTo(QStringLiteral("lines.") + format,
                           options + QStringList{QStringLiteral("--layout"), QStringLiteral("lines")}),
                  byDefault)
            << format.toStdString();
    }
}

TEST_F(TableLayout, EachValueInItsOwnCell) {
    // Text: the cells of a row joined by a tab, a record per line; a value's
    // own line break stays as it was.
    EXPECT_EQ(exportTo(QStringLiteral("table.txt"), {QStringLiteral("--layout"), QStringLiteral("table")}),
              QByteArray("Id\tName, Vorname\tNotiz\r\n"
                         "1\tMüller, Anna; \"bar\"\tzwei\r\nZeilen\r\n"
                         "2\t\t  Tab\there  \r\n"
                         "3\t日本語 €\ta\nb\r\n"));
    // Word: a header row marked to repeat, then a row per record, a cell per value.
    exportTo(QStringLiteral("table.docx"), {QStringLiteral("--layout"), QStringLiteral("table")});
    const auto document = test::ReadDocx(dir_.filePath(QStringLiteral("table.docx")));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->parts.count(QStringLiteral("<w:tblHeader/>")), 1);
    EXPECT_EQ(document->parts.count(QStringLiteral("<w:tr>")), 4);
    EXPECT_EQ(document->parts.count(QStringLiteral("<w:tc>")), 12);
    // Without the header line, no header row.
    exportTo(QStringLiteral("plain.docx"),
             {QStringLiteral("--layout"), QStringLiteral("table"), QStringLiteral("--no-header")});
    const auto plain = test::ReadDocx(dir_.filePath(QStringLiteral("plain.docx")));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->parts.contains(QStringLiteral("<w:tblHeader/>")));
    EXPECT_EQ(plain->parts.count(QStringLiteral("<w:tc>")), 9);
}

}  // namespace
}  // namespace qm::clitest
