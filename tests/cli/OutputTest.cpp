// What a successful run prints and writes: the table list, and documents whose
// lines follow --field, --separator and --no-header.

#include "CliSupport.h"

#include <QDir>
#include <QFile>
#include <algorithm>

using namespace qm::clitest;

namespace {

// Tables in an order no sorting would give; the first one has values that
// hold separators, XML's special characters, tabs, line breaks and Nulls.
const QByteArray kDatabase = R"({"tables": [
    {"name": "Zeta", "columns": [{"name": "Z", "type": "long"}], "rows": []},
    {"name": "Kunden & Co", "columns": [
        {"name": "Id", "type": "long"}, {"name": "Name, Vorname", "type": "text", "size": 40},
        {"name": "Straße", "type": "text"}, {"name": "Notiz", "type": "memo"},
        {"name": "Bezahlt", "type": "boolean"}],
     "rows": [[1, "Müller, Anna", "Hauptstraße 5", "ruft <morgens> an & zahlt \"bar\"", true],
              [2, null, "", "zwei\r\nZeilen", false],
              [3, "Tab\there", null, null, true],
              [4, "; | --", "€", "a\nb\rc", false]]},
    {"name": "Umsätze", "columns": [{"name": "Betrag", "type": "long"}], "rows": [[-5]]},
    {"name": "alpha", "columns": [{"name": "A", "type": "long"}, {"name": "B", "type": "long"}],
     "rows": []},
    {"name": "Order Details", "columns": [{"name": "Id", "type": "long"}],
     "generate": {"count": 2000, "seed": 3}}]})";

const QStringList kHeader{QStringLiteral("Id"), QStringLiteral("Name, Vorname"), QStringLiteral("Straße"),
                          QStringLiteral("Notiz"), QStringLiteral("Bezahlt")};
// The rows as the document shows them: Null as nothing, every line break as
// one break inside the paragraph.
const QList<QStringList> kRows{
    {QStringLiteral("1"), QStringLiteral("Müller, Anna"), QStringLiteral("Hauptstraße 5"),
     QStringLiteral("ruft <morgens> an & zahlt \"bar\""), QStringLiteral("True")},
    {QStringLiteral("2"), QString(), QString(), QStringLiteral("zwei\nZeilen"), QStringLiteral("False")},
    {QStringLiteral("3"), QStringLiteral("Tab\there"), QString(), QString(), QStringLiteral("True")},
    {QStringLiteral("4"), QStringLiteral("; | --"), QStringLiteral("€"), QStringLiteral("a\nb\nc"),
     QStringLiteral("False")},
};

QStringList pick(const QStringList& values, const QList<int>& columns) {
    QStringList picked;
    for (int column : columns)
        picked.append(values.at(column));
    return picked;
}

QStringList expectedLines(const QList<int>& columns, const QString& separator, bool header) {
    QStringList lines;
    if (header)
        lines.append(pick(kHeader, columns).join(separator));
    for (const QStringList& row : kRows)
        lines.append(pick(row, columns).join(separator));
    return lines;
}

// A document with no lines still has the one empty paragraph Word documents
// always have; python-docx shows it as "".
void expectLines(const QStringList& paragraphs, const QStringList& lines) {
    if (lines.isEmpty()) {
        EXPECT_TRUE(paragraphs.isEmpty() || paragraphs == QStringList{QString()})
            << ::testing::PrintToString(paragraphs);
    } else {
        EXPECT_EQ(paragraphs, lines);
    }
}

class ExportOutput : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        database_ = new QString(makeDatabase(*dir_, QStringLiteral("options"), kDatabase));
    }
    static void TearDownTestSuite() {
        delete database_;
        delete dir_;
    }
    void SetUp() override { ASSERT_FALSE(database_->isEmpty()); }

    // Exports and reads the document back; an empty list when anything failed.
    QStringList exportTable(const QString& table, const QStringList& options,
                            const QProcessEnvironment& environment = ExportEnvironment()) {
        const QString output = dir_->filePath(QStringLiteral("export-%1.docx").arg(++exports_));
        const RunResult r = runExport(
            QStringList{*database_, QStringLiteral("--table"), table, QStringLiteral("--output"), output} +
                options,
            environment);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        // Progress is for terminals only; a pipe gets nothing.
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        return DocxParagraphs(output);
    }

    static QTemporaryDir* dir_;
    static QString* database_;
    int exports_ = 0;
};

QTemporaryDir* ExportOutput::dir_ = nullptr;
QString* ExportOutput::database_ = nullptr;

}  // namespace

TEST_F(ExportOutput, ListTablesPrintsCatalogueOrderUnsorted) {
    const QByteArray expected = "Zeta\nKunden & Co\nUmsätze\nalpha\nOrder Details\n";
    const RunResult r = runExport({*database_, QStringLiteral("--list-tables")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(r.err.isEmpty());

    // Names are UTF-8 whatever the locale says.
    QProcessEnvironment plain = ExportEnvironment();
    plain.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    plain.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    const RunResult c = runExport({*database_, QStringLiteral("--list-tables")}, plain);
    EXPECT_EQ(c.exitCode, 0) << c.err.toStdString();
    EXPECT_EQ(c.out, expected);
    EXPECT_EQ(exportTable(QStringLiteral("Umsätze"), {}, plain),
              (QStringList{QStringLiteral("Betrag"), QStringLiteral("-5")}));

    QTemporaryDir dir;
    const QString empty = makeDatabase(dir, QStringLiteral("empty"), R"({"tables": []})");
    const RunResult none = runExport({empty, QStringLiteral("--list-tables")});
    EXPECT_EQ(none.exitCode, 0) << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty()) << none.out.toStdString();
}

TEST_F(ExportOutput, FieldsComeOutInTheOrderGiven) {
    const QString table = QStringLiteral("Kunden & Co");
    struct Case {
        const char* what;
        QList<int> columns;
    };
    const Case cases[] = {
        {"all by default", {0, 1, 2, 3, 4}}, {"reversed", {4, 3, 2, 1, 0}}, {"one from the middle", {2}},
        {"name with a comma first", {1, 0}}, {"last and first", {4, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList options;
        if (c.columns != QList<int>{0, 1, 2, 3, 4}) {
            for (int column : c.columns)
                options << QStringLiteral("--field") << kHeader.at(column);
        }
        EXPECT_EQ(exportTable(table, options), expectedLines(c.columns, QStringLiteral(","), true));
    }
    // Naming every field in table order is the same as naming none.
    QStringList all;
    for (const QString& name : kHeader)
        all << QStringLiteral("--field") << name;
    EXPECT_EQ(exportTable(table, all), exportTable(table, {}));
}

TEST_F(ExportOutput, SeparatorsAndHeaderLine) {
    const QString table = QStringLiteral("Kunden & Co");
    const QList<int> columns{0, 1, 2, 3, 4};
    const QString separators[] = {
        QStringLiteral(","),   QString(),
        QStringLiteral(";"),   QStringLiteral(" | "),
        QStringLiteral("\t"),  QStringLiteral("<&>"),
        QStringLiteral("--"),  QStringLiteral("€"),
        QStringLiteral("\"'"), QStringLiteral("]]>"),
    };
    bool header = true;
    for (const QString& separator : separators) {
        header = !header;  // both ways, for every kind of separator in turn
        SCOPED_TRACE("separator \"" + separator.toStdString() + (header ? "\" with" : "\" without") +
                     " header");
        // "--separator=TEXT" also carries texts that start with "--" or are empty.
        QStringList options{QStringLiteral("--separator=") + separator};
        if (!header)
            options << QStringLiteral("--no-header");
        EXPECT_EQ(exportTable(table, options), expectedLines(columns, separator, header));
    }
    // The two-argument form, and the default of a comma.
    EXPECT_EQ(exportTable(table, {QStringLiteral("--separator"), QStringLiteral("; ")}),
              expectedLines(columns, QStringLiteral("; "), true));
    EXPECT_EQ(exportTable(table, {QStringLiteral("--separator"), QString()}),
              expectedLines(columns, QString(), true));
    EXPECT_EQ(exportTable(table, {}), expectedLines(columns, QStringLiteral(","), true));
}

TEST_F(ExportOutput, TablesWithoutRecords) {
    const QString table = QStringLiteral("alpha");
    expectLines(exportTable(table, {}), {QStringLiteral("A,B")});
    expectLines(exportTable(table, {QStringLiteral("--separator="), QStringLiteral("--field"),
                                    QStringLiteral("B"), QStringLiteral("--field"), QStringLiteral("A")}),
                {QStringLiteral("BA")});
    expectLines(exportTable(table, {QStringLiteral("--no-header")}), {});
}

TEST_F(ExportOutput, ReplacesAnExistingDocumentWithoutLeavingFilesBehind) {
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("report.docx"));
    writeBytes(output, "an older document");
    const RunResult r = runExport({*database_, QStringLiteral("--table"), QStringLiteral("Umsätze"),
                                   QStringLiteral("--output"), output});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto document = ReadDocx(output);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->paragraphs, (QStringList{QStringLiteral("Betrag"), QStringLiteral("-5")}));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("report.docx")});
}

TEST_F(ExportOutput, DashWritesTheDocumentToStandardOutputAndLeavesNothingOnDisk) {
    QTemporaryDir temporary;
    QProcessEnvironment environment = ExportEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    const QStringList arguments{*database_, QStringLiteral("--table"), QStringLiteral("Umsätze"),
                                QStringLiteral("--output"), QStringLiteral("-")};
    const RunResult docx = runExport(arguments, environment, temporary.path());
    EXPECT_EQ(docx.exitCode, 0) << docx.err.toStdString();
    EXPECT_TRUE(docx.err.isEmpty()) << docx.err.toStdString();
    EXPECT_TRUE(entriesOf(temporary.path()).isEmpty()) << "no file named '-', no staged copy";
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("piped.docx"));
    writeBytes(saved, docx.out);
    const auto document = ReadDocx(saved);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->paragraphs, (QStringList{QStringLiteral("Betrag"), QStringLiteral("-5")}));

    const RunResult text =
        runExport(arguments + QStringList{QStringLiteral("--format"), QStringLiteral("txt")}, environment,
                  temporary.path());
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out, QByteArray("Betrag\r\n-5\r\n"));
}

TEST_F(ExportOutput, RelativeAndNonAsciiPaths) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(*database_, dir.filePath(QStringLiteral("Kunden Müller.mdb"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    struct Case {
        const char* what;
        QString output;   // as given on the command line, relative to the working folder
        QString created;  // where the document must appear
    };
    const Case cases[] = {
        {"bare name", QStringLiteral("Bericht für Müller.docx"), QStringLiteral("Bericht für Müller.docx")},
        {"dot slash", QStringLiteral("./plain.docx"), QStringLiteral("plain.docx")},
        {"sub-folder", QStringLiteral("sub/ö.docx"), QStringLiteral("sub/ö.docx")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = runExport({QStringLiteral("Kunden Müller.mdb"), QStringLiteral("--table"),
                                       QStringLiteral("Umsätze"), QStringLiteral("--output"), c.output},
                                      ExportEnvironment(), dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const auto document = ReadDocx(dir.filePath(c.created));
        ASSERT_TRUE(document);
        EXPECT_EQ(document->paragraphs, (QStringList{QStringLiteral("Betrag"), QStringLiteral("-5")}));
    }
    // Nothing but the documents: no temporary file left anywhere.
    EXPECT_EQ(entriesOf(dir.path()),
              (QStringList{QStringLiteral("Bericht für Müller.docx"), QStringLiteral("Kunden Müller.mdb"),
                           QStringLiteral("plain.docx"), QStringLiteral("sub")}));
    EXPECT_EQ(entriesOf(dir.filePath(QStringLiteral("sub"))), QStringList{QStringLiteral("ö.docx")});
}

TEST_F(ExportOutput, ProgressAppearsOnATerminalOnly) {
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("details.docx"));
    const QStringList arguments{*database_, QStringLiteral("--table"), QStringLiteral("Order Details"),
                                QStringLiteral("--output"), output};
    const RunResult terminal = runExportOnTerminal(arguments);
    EXPECT_EQ(terminal.exitCode, 0) << terminal.err.toStdString();
    const QString shown = QString::fromUtf8(terminal.err);
    EXPECT_TRUE(shown.contains(QStringLiteral("2000")))
        << "no record count on the terminal: " << shown.toStdString();
    // The last progress line is finished, so the shell prompt starts on a line of its own.
    EXPECT_TRUE(shown.endsWith(QLatin1Char('\n'))) << shown.toStdString();
    const auto onTerminal = ReadDocx(output);
    ASSERT_TRUE(onTerminal);
    EXPECT_EQ(onTerminal->paragraphs.size(), 2001);

    QFile::remove(output);
    const RunResult piped = runExport(arguments);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_TRUE(piped.err.isEmpty()) << piped.err.toStdString();
    EXPECT_TRUE(piped.out.isEmpty()) << piped.out.toStdString();
    const auto onPipe = ReadDocx(output);
    ASSERT_TRUE(onPipe);
    EXPECT_EQ(onPipe->paragraphs, onTerminal->paragraphs);
}

TEST(ManyRecords, TablesWithBlanksAndUmlautsInTheirNames) {
    QTemporaryDir dir;
    const QString database = makeDatabase(dir, QStringLiteral("orders"), R"({"tables": [
        {"name": "Order Details", "generate": {"count": 2155},
         "columns": [{"name": "OrderID", "type": "long"}, {"name": "Price", "type": "currency"}]},
        {"name": "Umsätze", "generate": {"count": 830},
         "columns": [{"name": "OrderID", "type": "long"}, {"name": "Straße", "type": "text"}]}]})");
    const RunResult r = runExport({database, QStringLiteral("--list-tables")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), QStringLiteral("Order Details\nUmsätze\n"));

    struct Case {
        const char* table;
        qsizetype records;
        const char* firstField;
    };
    for (const Case& c : {Case{"Order Details", 2155, "OrderID"}, Case{"Umsätze", 830, "OrderID"}}) {
        SCOPED_TRACE(c.table);
        const QString output = dir.filePath(QStringLiteral("t.docx"));
        const RunResult exported = runExport({database, QStringLiteral("--table"), QString::fromUtf8(c.table),
                                              QStringLiteral("--output"), output});
        EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
        const auto document = ReadDocx(output);
        ASSERT_TRUE(document);
        EXPECT_EQ(document->paragraphs.size(), 1 + c.records);
        ASSERT_FALSE(document->paragraphs.isEmpty());
        EXPECT_TRUE(document->paragraphs.front().startsWith(QLatin1String(c.firstField)));
    }
}

// Calculated columns as a user's Access 2010 file keeps them
// (tests/fixtures/calculated.json): each entry keeps another type code than
// the result type its properties record, and the result is written by that type. Where the result type is
// unknown, a named placeholder, counted on standard error; the document is written.
TEST(CalculatedOutput, ResultsByTheirRecordedTypeAndPlaceholdersWhereUnknown) {
    const QString path = qm::test::fixtureFile("calculated");
    const auto exported = [&](const char* table) {
        return runExport({path, QStringLiteral("--table"), QString::fromLatin1(table),
                          QStringLiteral("--separator"), QStringLiteral("|"), QStringLiteral("--format"),
                          QStringLiteral("txt"), QStringLiteral("--output"), QStringLiteral("-")});
    };
    const RunResult people = exported("People");
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_TRUE(people.err.isEmpty()) << people.err.toStdString();
    EXPECT_EQ(
        QString::fromUtf8(people.out).split(QStringLiteral("\r\n")),
        (QStringList{QStringLiteral("FirstName|LastName|Salary|MonthlySalary|IsRich|AllNames|FloatTest"),
                     QStringLiteral("Bruce|Wayne|1000000|83333.3333|True|Wayne, Bruce|2583.2092"),
                     QStringLiteral("Clark|Kent|50000|4166.6667|False||"), QString()}));

    const RunResult unknown = exported("Unknown");
    EXPECT_EQ(unknown.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(unknown.out).split(QStringLiteral("\r\n")),
              (QStringList{QStringLiteral("Id|Other|Unrecorded"),
                           QStringLiteral("1|[Calculated value]|[Calculated value]"),
                           QStringLiteral("2|[Calculated value]|"), QString()}));
    EXPECT_TRUE(IsOneLineMessage(unknown.err));
    EXPECT_TRUE(unknown.err.contains("3 values could not be decoded")) << unknown.err.toStdString();
}
