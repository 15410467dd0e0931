#include "ScriptedWord.h"
#include "common/RecordPacing.h"
#include "common/TestSupport.h"
#include "database/Catalogue.h"
#include "export/ExportRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <utility>
#include <vector>

using qm::test::fixtureFile;
using qm::test::sampleFile;
using qm::test::ScriptedWordProvider;

namespace {

struct Inputs : qm::ExportInputs {
    QString path, password, table, fields, output = QStringLiteral("/tmp/unused.docx"),
                                           sep = QStringLiteral(",");
    bool header = true;
    QString databasePath() const override { return path; }
    QString databasePassword() const override { return password; }
    QString selectedTable() const override { return table; }
    QString selectedFields() const override { return fields; }
    QString outputPath() const override { return output; }
    QString separator() const override { return sep; }
    bool headerLine() const override { return header; }
};

// The bundled sample database.
Inputs products() {
    Inputs in;
    in.path = sampleFile();
    in.table = QStringLiteral("Products");
    in.fields = qm::BuildSelectedFields({QStringLiteral("ProductName"), QStringLiteral("ProductID")});
    return in;
}

struct Run {
    qm::RecordingErrorSink errors;
    ScriptedWordProvider word;
    bool saved = false;
    std::vector<int> lines() const {
        std::vector<int> l;
        for (const auto& r : errors.reports)
            l.push_back(r.line);
        return l;
    }
};

std::unique_ptr<Run> run(const Inputs& in, const QString& failAt = QString()) {
    auto r = std::make_unique<Run>();
    r->word.log.failAt = failAt;
    qm::Procedure proc(r->errors, QStringLiteral("Form4.PushButton4_Click"));
    r->saved = qm::RunExport(proc, in, r->word);
    return r;
}

}  // namespace

TEST(SelectedFields, BackQuotesEachNameAndJoinsWithCommaSpace) {
    EXPECT_EQ(qm::BuildSelectedFields({QStringLiteral("Name"), QStringLiteral("Unit Price")}),
              QStringLiteral("`Name`, `Unit Price`"));
    EXPECT_EQ(qm::BuildSelectedFields({QStringLiteral("B")}), QStringLiteral("`B`"));
    EXPECT_EQ(qm::BuildSelectedFields({QStringLiteral("a,b`c")}), QStringLiteral("`a,b`c`"));
}

TEST(TrailingSeparator, RemovesExactlyItsLengthUnlessTheLineIsShorter) {
    std::string line = "a, b, ";
    qm::RemoveTrailingSeparator(line, 2);
    EXPECT_EQ(line, "a, b");
    line = "x";
    qm::RemoveTrailingSeparator(line, 3);
    EXPECT_EQ(line, "x");
    line = "ab";
    qm::RemoveTrailingSeparator(line, 0);
    EXPECT_EQ(line, "ab");
}

TEST(ExportRun, WritesHeaderAndOneLinePerRecordInChosenFieldOrder) {
    auto sample = run(products());
    EXPECT_TRUE(sample->errors.reports.empty());
    EXPECT_TRUE(sample->saved);
    EXPECT_EQ(sample->word.log.typedText,
              "ProductName,ProductID\r\nRooibos Tea,1\r\nSmoked Trout,2\r\nMountain Cheese,3\r\nFig Jam,4\r\n"
              "Rye Crispbread,5\r\nSaffron,6\r\nLingonberry Jam,7\r\n");
    EXPECT_EQ(sample->word.log.calls, (QStringList{"Create", "Visible", "Add", "TypeText",
                                                   "SaveAs /tmp/unused.docx", "Close", "Quit"}));
}

TEST(ExportRun, SeparatorsOfAnyLengthJoinValuesAndNeverTrailALine) {
    struct Case {
        QString separator;
        std::string first;
    } cases[] = {{QStringLiteral(", "), "Rooibos Tea, 1\r\n"},
                 {QString(), "Rooibos Tea1\r\n"},
                 {QStringLiteral("\t"), "Rooibos Tea\t1\r\n"},
                 {QStringLiteral(" ~|~ "), "Rooibos Tea ~|~ 1\r\n"},
                 {QStringLiteral("é"), "Rooibos Teaé1\r\n"}};
    for (const Case& c : cases) {
        Inputs in = products();
        in.header = false;
        in.sep = c.separator;
        auto r = run(in);
        EXPECT_TRUE(r->saved);
        EXPECT_EQ(r->word.log.typedText.substr(0, c.first.size()), c.first) << c.separator.toStdString();
        EXPECT_EQ(std::count(r->word.log.typedText.begin(), r->word.log.typedText.end(), '\n'), 7);
    }
}

TEST(ExportRun, NullsBecomeEmptyTextAndNamesWithBlanksAreQueried) {
    Inputs in;
    in.path = fixtureFile("test-tables");
    in.table = QStringLiteral("Order Details");
    in.fields = qm::BuildSelectedFields(qm::GetFieldNames(in, in.table));
    auto r = run(in);
    ASSERT_TRUE(r->errors.reports.empty()) << r->errors.reports[0].description.toStdString();
    const std::string& text = r->word.log.typedText;
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "OrderID,ProductID,UnitPrice,Quantity,Discount");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2156);  // header and 2155 records

    // Customers has Nulls (ContactName, Phone) in its rows: they come out as nothing between separators.
    in = products();
    in.table = QStringLiteral("Customers");
    in.fields = qm::BuildSelectedFields(
        {QStringLiteral("CustomerID"), QStringLiteral("ContactName"), QStringLiteral("Phone")});
    in.header = false;
    auto customers = run(in);
    ASSERT_TRUE(customers->errors.reports.empty());
    EXPECT_NE(customers->word.log.typedText.find("4,,+31 30 555 7712\r\n"), std::string::npos);
}

TEST(ExportRun, EmptyTableGivesTheHeaderAloneOrAnEmptyDocument) {
    Inputs in;
    in.path = fixtureFile("empty-table");
    in.table = QStringLiteral("Empty");
    in.fields = qm::BuildSelectedFields(qm::GetFieldNames(in, in.table).mid(0, 2));
    auto withHeader = run(in);
    EXPECT_TRUE(withHeader->saved);
    EXPECT_EQ(std::count(withHeader->word.log.typedText.begin(), withHeader->word.log.typedText.end(), '\n'),
              1);
    EXPECT_TRUE(withHeader->word.log.typedText.ends_with("\r\n"));

    in.header = false;
    auto bare = run(in);
    EXPECT_TRUE(bare->saved);
    EXPECT_EQ(bare->word.log.typedText, "");
    EXPECT_TRUE(bare->word.log.calls.contains(QStringLiteral("SaveAs /tmp/unused.docx")));
}

TEST(ExportRun, UnreadableDatabaseIsReportedStepByStepAndWritesNoDocument) {
    QTemporaryDir dir;
    Inputs in = products();
    in.path = dir.filePath(QStringLiteral("gone.mdb"));
    auto r = run(in);
    EXPECT_FALSE(r->saved);
    ASSERT_FALSE(r->errors.reports.empty());
    EXPECT_EQ(r->errors.reports[0].line, 114);
    EXPECT_TRUE(r->errors.reports[0].description.contains(QStringLiteral("gone.mdb")));
    // The query and the reads that needed the connection fail in turn...
    EXPECT_EQ(r->lines()[1], 116);
    // ...but the engine is never started, so no existing document is replaced.
    EXPECT_TRUE(r->word.log.calls.isEmpty());
    for (int line : r->lines())
        EXPECT_LT(line, 172);
}

// A field of the header line that fails is reported, and the line goes on
// with the next field; a failure in the records ends the reading.
TEST(ExportRun, AFailedHeaderFieldIsReportedAndTheNextOneFollows) {
    struct SeparatorReadOnce : Inputs {
        mutable int reads = 0;
        QString separator() const override {
            if (reads++ > 0)
                throw qm::Failure(QStringLiteral("The separator box is gone."));
            return sep;
        }
    } in;
    static_cast<Inputs&>(in) = products();
    auto r = run(in);
    EXPECT_EQ(r->lines(), (std::vector<int>{124, 124, 140}));
    EXPECT_FALSE(r->saved);
}

TEST(ExportRun, WrongPasswordFailsAtTheOpen) {
    Inputs in;
    in.path = fixtureFile("password");
    in.table = QStringLiteral("Secret");
    in.fields = QStringLiteral("`Id`");
    in.password = QStringLiteral("pass word;1");
    auto r = run(in);
    EXPECT_FALSE(r->saved);
    ASSERT_FALSE(r->errors.reports.empty());
    EXPECT_EQ(r->errors.reports[0].line, 114);
    EXPECT_EQ(r->errors.reports[0].description, QStringLiteral("Not a valid password."));
    EXPECT_TRUE(r->word.log.calls.isEmpty());
}

TEST(ExportRun, UnknownFieldOrTableFailsAtTheQuery) {
    Inputs in = products();
    in.fields = QStringLiteral("`ProductName`, `Nope`");
    auto r = run(in);
    EXPECT_FALSE(r->saved);
    ASSERT_FALSE(r->errors.reports.empty());
    EXPECT_EQ(r->errors.reports[0].line, 116);
    EXPECT_TRUE(r->errors.reports[0].description.contains(QStringLiteral("Nope")));

    in = products();
    in.table = QStringLiteral("Pro`ducts");
    auto t = run(in);
    ASSERT_FALSE(t->errors.reports.empty());
    EXPECT_EQ(t->errors.reports[0].line, 116);
    EXPECT_TRUE(t->word.log.calls.isEmpty());
}

TEST(ExportRun, EveryEngineStepThatFailsIsReportedWithItsLineAndLaterStepsGoOn) {
    struct Case {
        const char* failAt;
        std::vector<int> lines;  // reported lines, in order
        bool saved;
        QStringList calls;
    } cases[] = {
        // Nothing started: every later step finds no object.
        {"Create", {172, 174, 176, 178, 182, 184}, false, {"Create"}},
        {"Visible",
         {174},
         true,
         {"Create", "Visible", "Add", "TypeText", "SaveAs /tmp/unused.docx", "Close", "Quit"}},
        {"Add", {176, 178, 182}, false, {"Create", "Visible", "Add", "Quit"}},
        // A document without its text is not saved over the user's file.
        {"TypeText", {178}, false, {"Create", "Visible", "Add", "TypeText", "Close", "Quit"}},
        {"SaveAs",
         {180},
         false,
         {"Create", "Visible", "Add", "TypeText", "SaveAs /tmp/unused.docx", "Close", "Quit"}},
        {"Close",
         {182},
         true,
         {"Create", "Visible", "Add", "TypeText", "SaveAs /tmp/unused.docx", "Close", "Quit"}},
        {"Quit",
         {184},
         true,
         {"Create", "Visible", "Add", "TypeText", "SaveAs /tmp/unused.docx", "Close", "Quit"}},
    };
    for (const Case& c : cases) {
        auto r = run(products(), QString::fromLatin1(c.failAt));
        EXPECT_EQ(r->lines(), c.lines) << c.failAt;
        EXPECT_EQ(r->saved, c.saved) << c.failAt;
        EXPECT_EQ(r->word.log.calls, c.calls) << c.failAt;
        for (const auto& report : r->errors.reports)
            EXPECT_EQ(report.location, QStringLiteral("Form4.PushButton4_Click"));
    }
}

TEST(ExportRun, ProgressIsReportedAtEachPauseAndAfterTheLastRecord) {
    struct Observer : qm::ExportObserver {
        qm::test::RecordPacing every{2};
        std::vector<std::pair<long long, long long>> reports;
        int pauses = 0;
        void progress(long long done, long long count) override { reports.emplace_back(done, count); }
        void keepResponsive() override { ++pauses; }
        qm::ExportPacing* pacing() override { return &every; }
    } observer;
    Inputs in;
    in.path = sampleFile();
    in.table = QStringLiteral("Orders");
    in.fields = QStringLiteral("`OrderID`");
    qm::RecordingErrorSink errors;
    ScriptedWordProvider word;
    qm::Procedure proc(errors, QStringLiteral("Form4.PushButton4_Click"));
    EXPECT_TRUE(qm::RunExport(proc, in, word, &observer));
    const std::vector<std::pair<long long, long long>> expected = {{2, 6}, {4, 6}, {6, 6}};
    EXPECT_EQ(observer.reports, expected);
    EXPECT_EQ(observer.pauses, 2) << "a pause after records 2 and 4, none after the last";
}
