// Names and values as hostile as a file can hold them, and separators of any
// shape: every one reaches the document as the documented text, read back by
// python-docx, or fails with one clear line.

#include "ReliabilitySupport.h"
#include "common/ShownInParagraph.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace qm::reliability;
using qm::test::ShownInParagraph;

namespace {

QJsonObject textColumn(const QString& name, const QString& type = QStringLiteral("memo")) {
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("type"), type}};
}

// Values of every class a text can hold.
const QStringList kValues = {
    QStringLiteral("plain ASCII, with a comma"),
    QStringLiteral("<w:t xml:space=\"preserve\">&amp; &lt; ]]> 'quotes' \"double\"</w:t>"),
    QString::fromUtf16(u"controls: \u0001\u0002\u0007\u0008\u000b\u000c\u000e\u001b\u001f end"),
    QStringLiteral("tab\there, CR\rthere, LF\nthere, CR LF\r\nthere, two\n\nbreaks"),
    QString::fromUtf16(u"Latin-1 \u00e4\u00f6\u00fc\u00df\u00ff, Greek \u03a9, CJK \u6771\u4eac, RTL "
                       u"\u05e9\u05dc\u05d5\u05dd \u0645\u0631\u062d\u0628\u0627"),
    QString::fromUtf16(u"beyond the BMP: \U0001F600 \U0001D49C \U00010400 \U0002A6A0"),
    QString::fromUtf16(u"non-characters: \ufffe \uffff and a BOM \ufeff"),
    QStringLiteral("   leading and trailing blanks   "),
    QStringLiteral("a NUL:") + QChar(0) + QStringLiteral(":inside"),
    QString(),
};

}  // namespace

TEST(NamesAndValues, EveryClassOfCharacterComesThroughAsDocumented) {
    QTemporaryDir dir;
    // One table whose names are as odd as the queries can hold (a ']' in a
    // table name cannot be, see below), one row per value.
    const QString table = QString::fromUtf16(u"Odd 'quoted' \"double\" \U0001D49C\U0001D4B7 \u6771");
    const QString field = QString::fromUtf16(u"Field]\"'\U0001F600 \u00e4");
    QJsonArray rows;
    for (const QString& value : kValues)
        rows.append(QJsonArray{value, value.size()});
    const QJsonObject description{
        {QStringLiteral("tables"),
         QJsonArray{QJsonObject{
             {QStringLiteral("name"), table},
             {QStringLiteral("columns"),
              QJsonArray{textColumn(field), textColumn(QStringLiteral("Length"), QStringLiteral("long"))}},
             {QStringLiteral("rows"), rows}}}}};
    const QString database = dir.filePath(QStringLiteral("odd.mdb"));
    makeDatabase(database, QJsonDocument(description).toJson());

    const Outcome listing = runExport({database, QStringLiteral("--list-tables")});
    ASSERT_TRUE(listing.exited(0)) << listing.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(listing.out), table + QLatin1Char('\n'));

    const QString output = dir.filePath(QStringLiteral("odd.docx"));
    const Outcome exported =
        runExport({database, QStringLiteral("--table"), table, QStringLiteral("--separator"),
                   QStringLiteral(" | "), QStringLiteral("--output"), output});
    ASSERT_TRUE(exported.exited(0)) << exported.err.toStdString();
    const QStringList paragraphs = DocxParagraphs(output);
    QStringList expected{field + QStringLiteral(" | Length")};
    for (const QString& value : kValues)
        expected.append(ShownInParagraph(value + QStringLiteral(" | ") + QString::number(value.size())));
    EXPECT_EQ(paragraphs, expected);
}

TEST(NamesAndValues, NamesOfSixtyFourCharactersAndLettersBeyondTheBmp) {
    QTemporaryDir dir;
    // 64 characters each, the longest Access allows (it counts UTF-16 units,
    // so 32 letters beyond the BMP). The ']' needs the query form with back-quotes.
    const QString ascii = QStringLiteral("N").repeated(63) + QStringLiteral("]");
    const char32_t letters[] = U"\U0001D400\U0001D41A\U0001F600\U00010400";
    QString wide;
    for (int i = 0; i < 32; ++i)
        wide += QString::fromUcs4(&letters[i % 4], 1);
    const QString wide2 = wide.left(wide.size() - 2) + QString::fromUcs4(U"\U0001D401", 1);
    const QJsonObject description{
        {QStringLiteral("tables"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), ascii},
                                {QStringLiteral("columns"), QJsonArray{textColumn(wide), textColumn(wide2)}},
                                {QStringLiteral("rows"),
                                 QJsonArray{QJsonArray{QStringLiteral("first"), QStringLiteral("second")}}}},
                    QJsonObject{{QStringLiteral("name"), wide},
                                {QStringLiteral("columns"), QJsonArray{textColumn(ascii)}},
                                {QStringLiteral("rows"), QJsonArray{QJsonArray{QStringLiteral("x")}}}}}}};
    const QString database = dir.filePath(QStringLiteral("long-names.mdb"));
    makeDatabase(database, QJsonDocument(description).toJson());

    const Outcome listing = runExport({database, QStringLiteral("--list-tables")});
    ASSERT_TRUE(listing.exited(0)) << listing.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(listing.out), ascii + QLatin1Char('\n') + wide + QLatin1Char('\n'));

    // Two fields that differ only in their last letter beyond the BMP are two
    // fields: each one is exported from its own column.
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    const Outcome exported =
        runExport({database, QStringLiteral("--table"), ascii, QStringLiteral("--field"), wide2,
                   QStringLiteral("--field"), wide, QStringLiteral("--output"), output});
    ASSERT_TRUE(exported.exited(0)) << exported.err.toStdString();
    EXPECT_EQ(DocxParagraphs(output),
              (QStringList{wide2 + QLatin1Char(',') + wide, QStringLiteral("second,first")}));

    const Outcome other =
        runExport({database, QStringLiteral("--table"), wide, QStringLiteral("--output"), output});
    ASSERT_TRUE(other.exited(0)) << other.err.toStdString();
    EXPECT_EQ(DocxParagraphs(output), (QStringList{ascii, QStringLiteral("x")}));
}

TEST(NamesAndValues, FieldNamesDoNotDependOnTheCharsetSettingsOfMdbtools) {
    // libmdb converts names to the charset in MDBICONV; the program reads them
    // itself, so a user's mdbtools settings change nothing.
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("umlauts.mdb"));
    makeDatabase(database, R"({"tables": [{"name": "T", "columns": [{"name": "Größe", "type": "long"},
        {"name": "Ωμέγα", "type": "long"}], "rows": [[1, 2]]}]})");
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    for (const char* charset : {"UTF-8", "ISO-8859-1", "UTF-16"}) {
        SCOPED_TRACE(charset);
        ExportOptions options;
        options.environment.insert(QStringLiteral("MDBICONV"), QString::fromLatin1(charset));
        const Outcome outcome = runExport(
            {database, QStringLiteral("--table"), QStringLiteral("T"), QStringLiteral("--output"), output},
            options);
        ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
        EXPECT_EQ(DocxParagraphs(output),
                  (QStringList{QStringLiteral("Größe,Ωμέγα"), QStringLiteral("1,2")}));
    }
}

TEST(NamesAndValues, NamesTheQueriesCannotHoldFailInOneLine) {
    // Access itself allows no back-quote or bracket in names, and the queries
    // name tables and fields between them: such a table or field cannot be
    // exported, and says so cleanly.
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("tick.mdb"));
    makeDatabase(database, R"({"tables": [{"name": "Back`Tick", "columns": [{"name": "A", "type": "long"}],
        "rows": [[1]]}, {"name": "Odd]Name", "columns": [{"name": "C", "type": "long"}], "rows": [[2]]},
        {"name": "Ticks", "columns": [{"name": "A`B", "type": "long"}], "rows": [[3]]}]})");
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    struct Case {
        QStringList arguments;
        QString reason;
    };
    const Case cases[] = {
        {{QStringLiteral("--table"), QStringLiteral("Back`Tick")},
         QStringLiteral("Syntax error in FROM clause")},
        {{QStringLiteral("--table"), QStringLiteral("Odd]Name")},
         QStringLiteral("Syntax error in FROM clause")},
        {{QStringLiteral("--table"), QStringLiteral("Ticks")}, QStringLiteral("SELECT statement")},
        {{QStringLiteral("--table"), QStringLiteral("Ticks"), QStringLiteral("--field"),
          QStringLiteral("A`B")},
         QStringLiteral("SELECT statement")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const Outcome outcome =
            runExport(QStringList{database, QStringLiteral("--output"), output} + c.arguments);
        EXPECT_TRUE(outcome.exited(1));
        EXPECT_TRUE(IsOneLineMessage(outcome.err, {c.reason}));
        EXPECT_FALSE(QFile::exists(output));
    }
}

TEST(NamesAndValues, AMemoOfAMegabyteAndTwoHundredFiftyFiveColumns) {
    QTemporaryDir dir;
    // 1 MB of text with a letter outside Latin-1 in it, so it cannot be stored compressed.
    QString memo;
    memo.reserve(1 << 20);
    while (memo.size() < (1 << 20) - 40)
        memo += QString::fromUtf16(u"Straße \u6771\u4eac, line %1\r\n").arg(memo.size());
    QJsonArray columns{textColumn(QStringLiteral("Memo"))};
    QJsonArray row{memo};
    QStringList header{QStringLiteral("Memo")};
    QStringList values{memo};
    for (int i = 2; i <= 255; ++i) {
        const QString name = QStringLiteral("Column %1").arg(i);
        columns.append(
            QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("type"), QStringLiteral("long")}});
        row.append(i * 1000);
        header << name;
        values << QString::number(i * 1000);
    }
    const QJsonObject description{
        {QStringLiteral("tables"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Wide")},
                                                          {QStringLiteral("columns"), columns},
                                                          {QStringLiteral("rows"), QJsonArray{row, row}}}}}};
    const QString database = dir.filePath(QStringLiteral("wide.mdb"));
    makeDatabase(database, QJsonDocument(description).toJson());

    const QString output = dir.filePath(QStringLiteral("wide.docx"));
    const Outcome outcome =
        runExport({database, QStringLiteral("--table"), QStringLiteral("Wide"), QStringLiteral("--separator"),
                   QStringLiteral("\t"), QStringLiteral("--output"), output});
    ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    const QStringList paragraphs = DocxParagraphs(output);
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_EQ(paragraphs.at(0), header.join(QLatin1Char('\t')));
    const QString line = ShownInParagraph(values.join(QLatin1Char('\t')));
    EXPECT_EQ(paragraphs.at(1).size(), line.size());
    EXPECT_TRUE(paragraphs.at(1) == line && paragraphs.at(2) == line);
}

TEST(NamesAndValues, SeparatorsOfEveryShape) {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("two.mdb"));
    makeDatabase(database, R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "text", "size": 20},
        {"name": "B", "type": "text", "size": 20}], "rows": [["a1", "b1"], [null, "b2"], ["a3", null]]}]})");
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    const QStringList separators = {
        QString(),
        QStringLiteral(";"),
        QStringLiteral(" -- "),
        QStringLiteral("<&>\"'"),
        QStringLiteral("]]>"),
        QStringLiteral("\r\n"),
        QStringLiteral("\n"),
        QStringLiteral("\t"),
        QString::fromUtf16(u"\u2192"),
        QString::fromUtf16(u"\U0001F600"),
        QString::fromUtf16(u"\u0001"),
    };
    for (const QString& separator : separators) {
        SCOPED_TRACE(separator.toStdString());
        const Outcome outcome =
            runExport({database, QStringLiteral("--table"), QStringLiteral("T"),
                       QStringLiteral("--separator"), separator, QStringLiteral("--output"), output});
        ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
        const QStringList lines{QStringLiteral("A") + separator + QStringLiteral("B"),
                                QStringLiteral("a1") + separator + QStringLiteral("b1"),
                                separator + QStringLiteral("b2"), QStringLiteral("a3") + separator};
        QStringList expected;
        for (const QString& line : lines)
            expected << ShownInParagraph(line);
        EXPECT_EQ(DocxParagraphs(output), expected);
    }
}

TEST(NamesAndValues, SixtyFiveThousandFiveHundredThirtySevenTables) {
    // Past every 16-bit count: all are listed, in order, and the last one exports.
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("many.mdb"));
    makeDatabase(database, R"({"tables": [{"name": "Table {n}", "repeat": 65537,
        "columns": [{"name": "Id", "type": "long"}], "rows": [[1]]}]})");
    const Outcome listing = runExport({database, QStringLiteral("--list-tables")});
    ASSERT_TRUE(listing.exited(0)) << listing.err.toStdString();
    const QList<QByteArray> names = listing.out.split('\n');
    ASSERT_EQ(names.size(), 65538);  // and the empty text after the last line end
    EXPECT_EQ(names.at(32767), "Table 32768");
    EXPECT_EQ(names.at(32768), "Table 32769");
    EXPECT_EQ(names.at(65536), "Table 65537");

    const QString output = dir.filePath(QStringLiteral("out.docx"));
    const Outcome exported = runExport({database, QStringLiteral("--table"), QStringLiteral("Table 65537"),
                                        QStringLiteral("--output"), output});
    ASSERT_TRUE(exported.exited(0)) << exported.err.toStdString();
    EXPECT_EQ(DocxParagraphs(output), (QStringList{QStringLiteral("Id"), QStringLiteral("1")}));
}
