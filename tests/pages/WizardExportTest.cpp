// Page 4 and "Finish": the proposed output, browsing, going back, and real
// exports read back by python-docx.

#include "Fixtures.h"
#include "WizardHarness.h"
#include "database/Ado.h"
#include "export/ExportRun.h"

#include <QBuffer>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

using namespace qm::test;
namespace texts = qm::texts;

class PageFour : public ::testing::Test {
  protected:
    // Page 1 to page 4 with the fields chosen in this order.
    void reach(const QString& database, const QString& table, const QStringList& fields,
               qm::WordProvider* engine = nullptr) {
        rig.start(engine);
        rig.openTable(database, table);
        rig.choose(fields);
        rig.page3().PushButton3->click();
        ASSERT_EQ(rig.current(), &page());
    }
    qm::Form4& page() { return rig.page4(); }
    QString output(const QString& name) { return rig.home.filePath(name); }
    void finish(const QString& path) {
        page().Text1->setText(path);
        page().PushButton4->click();
    }
    WizardRig rig;
};

// Every open opens the file anew and no file stays open between opens (a
// removable drive is never kept busy while a page waits); an encrypted file
// is decrypted once for a whole pass, and again once it changed.
TEST_F(PageFour, AWholePassDecryptsOnceAndKeepsNoFileOpenBetweenOpens) {
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("edges.mdb"));
    ASSERT_TRUE(QFile::copy(edgeTables(), plain));
    const auto descriptorsOn = [](const QString& path) {
        int count = 0;
        for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
            count += fd.symLinkTarget() == QFileInfo(path).canonicalFilePath();
        return count;
    };
    rig.start();
    rig.page1().Text1->setText(plain);
    rig.page1().PushButton3->click();  // the table list; page 2 waits
    EXPECT_EQ(descriptorsOn(plain), 0);

    QM_REQUIRE_CORPUS();
    const QString encrypted = dir.filePath(QStringLiteral("encrypted.accdb"));
    ASSERT_TRUE(QFile::copy(corpusFile(QStringLiteral("V2010_with-password.accdb")), encrypted));
    const std::uint64_t before = qm::DatabaseDecryptions();
    rig.page2().PushButton2->click();  // back to page 1
    rig.openTable(encrypted, QStringLiteral("Table1"), QStringLiteral("password"));
    rig.choose({QStringLiteral("Data")});
    rig.page3().PushButton3->click();
    finish(output(QStringLiteral("once.docx")));
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
    EXPECT_EQ(qm::DatabaseDecryptions() - before, 1u);
    EXPECT_EQ(descriptorsOn(encrypted), 0);

    QFile file(encrypted);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(QByteArray(4096, '\0'));  // one more (empty) page
    file.close();
    rig.page1().PushButton3->click();  // page 1's "Next >" lists the tables afresh
    EXPECT_EQ(qm::DatabaseDecryptions() - before, 2u);
}

TEST_F(PageFour, FirstShowingProposesOutputDocBesideTheDatabaseAndStoresIt) {
    const QString database = edgeTables();
    reach(database, QStringLiteral("Prices"), {QStringLiteral("Name")});
    const QString expected = QFileInfo(database).absolutePath() + QStringLiteral("/output.doc");
    EXPECT_EQ(page().Text1->text(), expected);
    EXPECT_EQ(rig.stored(texts::kKeyOutputFile), expected);
    EXPECT_EQ(page().Text2->text(), QStringLiteral(","));
    EXPECT_EQ(page().Check6->checkState(), Qt::Checked);
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Finish"));
    EXPECT_EQ(page().ProgressBar1->value(), 0);
}

TEST_F(PageFour, AStoredOutputFileWinsOverTheDatabasesFolder) {
    rig.remember(texts::kKeyOutputFile, QStringLiteral("/elsewhere/merged.docx"));
    reach(edgeTables(), QStringLiteral("Prices"), {QStringLiteral("Name")});
    EXPECT_EQ(page().Text1->text(), QStringLiteral("/elsewhere/merged.docx"));
}

TEST_F(PageFour, BrowsingCancelledNeverChangesThePath) {
    reach(edgeTables(), QStringLiteral("Prices"), {QStringLiteral("Name")});
    const QString proposed = page().Text1->text();
    rig.dialogs.answers = {QString(), QStringLiteral("/out/first.docx"), QString()};

    page().PushButton3->click();  // cancelled, nothing chosen before
    EXPECT_EQ(page().Text1->text(), proposed);
    const qm::FileDialogRequest& first = rig.dialogs.requests[0];
    EXPECT_EQ(first.mode, qm::FileDialogRequest::Mode::Save);
    EXPECT_EQ(first.title, QStringLiteral("Choose output file"));
    EXPECT_EQ(first.nameFilters,
              (QStringList{QStringLiteral("Word Files (*.doc)"), QStringLiteral("Word Files (*.docx)")}));

    page().PushButton3->click();
    EXPECT_EQ(page().Text1->text(), QStringLiteral("/out/first.docx"));
    EXPECT_EQ(rig.stored(texts::kKeyOutputFile), QStringLiteral("/out/first.docx"));

    page().Text1->setText(QStringLiteral("/typed/later.docx"));
    page().PushButton3->click();  // opens on the earlier choice, then cancelled
    EXPECT_EQ(rig.dialogs.requests[2].fileName, QStringLiteral("/out/first.docx"));
    EXPECT_EQ(page().Text1->text(), QStringLiteral("/typed/later.docx")) << "Cancel keeps what was typed";
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(PageFour, TheOptionsSurviveARoundTripToPageThree) {
    reach(edgeTables(), QStringLiteral("Prices"), {QStringLiteral("Name")});
    page().Text1->setText(output(QStringLiteral("a.docx")));
    page().Text2->setText(QStringLiteral(";"));
    page().Check6->setCheckState(Qt::Unchecked);
    page().PushButton2->click();
    EXPECT_EQ(rig.current(), &rig.page3());
    rig.page3().PushButton3->click();
    EXPECT_EQ(rig.current(), &page());
    EXPECT_EQ(page().Text1->text(), output(QStringLiteral("a.docx")));
    EXPECT_EQ(page().Text2->text(), QStringLiteral(";"));
    EXPECT_EQ(page().Check6->checkState(), Qt::Unchecked);
}

TEST_F(PageFour, FinishWritesTheChosenFieldsWithAHeaderLine) {
    reach(edgeTables(), QStringLiteral("Shippers"),
          {QStringLiteral("CompanyName"), QStringLiteral("ShipperID")});
    finish(output(QStringLiteral("shippers.docx")));
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("shippers.docx"))),
              (QStringList{QStringLiteral("CompanyName,ShipperID"), QStringLiteral("Speedy Express,1"),
                           QStringLiteral("United Package,2"), QStringLiteral("Federal Shipping,3")}));
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
    EXPECT_EQ(page().ProgressBar1->value(), page().ProgressBar1->maximum());
    EXPECT_EQ(page().pointer().pointer(), qm::MousePointer::Default);
    EXPECT_EQ(rig.program.ends, 0);
}

TEST_F(PageFour, SeparatorsAndTheHeaderOptionShapeEveryLine) {
    reach(edgeTables(), QStringLiteral("Shippers"),
          {QStringLiteral("CompanyName"), QStringLiteral("ShipperID")});
    page().Check6->setCheckState(Qt::Unchecked);
    page().Text2->setText(QStringLiteral(" | "));
    finish(output(QStringLiteral("wide.docx")));
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("wide.docx"))),
              (QStringList{QStringLiteral("Speedy Express | 1"), QStringLiteral("United Package | 2"),
                           QStringLiteral("Federal Shipping | 3")}));
}

TEST_F(PageFour, AnEmptySeparatorJoinsValuesWithNothing) {
    reach(edgeTables(), QStringLiteral("Shippers"),
          {QStringLiteral("ShipperID"), QStringLiteral("CompanyName")});
    page().Text2->clear();
    finish(output(QStringLiteral("tight.docx")));
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("tight.docx"))),
              (QStringList{QStringLiteral("ShipperIDCompanyName"), QStringLiteral("1Speedy Express"),
                           QStringLiteral("2United Package"), QStringLiteral("3Federal Shipping")}));
}

TEST_F(PageFour, NullsSeparatorsAndLineBreaksInValuesAreWrittenAsTheyAre) {
    reach(edgeTables(), QStringLiteral("Prices"), {QStringLiteral("Name"), QStringLiteral("Unit Price")});
    finish(output(QStringLiteral("prices.docx")));
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("prices.docx"))),
              (QStringList{QStringLiteral("Name,Unit Price"), QStringLiteral(",3.5"),
                           QStringLiteral("Widget, large,12.25"), QStringLiteral("two\nlines,0")}));
}

TEST_F(PageFour, ATableWithoutRecordsGivesTheHeaderAloneOrAnEmptyDocument) {
    reach(edgeTables(), QStringLiteral("Empty"), {QStringLiteral("B"), QStringLiteral("A")});
    finish(output(QStringLiteral("header-only.docx")));
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("header-only.docx"))), QStringList{QStringLiteral("B,A")});

    WizardRig again;
    again.start();
    again.openTable(edgeTables(), QStringLiteral("Empty"));
    again.choose({QStringLiteral("A")});
    again.page3().PushButton3->click();
    again.page4().Check6->setCheckState(Qt::Unchecked);
    again.page4().Text1->setText(again.home.filePath(QStringLiteral("empty.docx")));
    again.page4().PushButton4->click();
    EXPECT_TRUE(QFile::exists(again.home.filePath(QStringLiteral("empty.docx"))))
        << "still created and saved";
    const QStringList paragraphs = DocxParagraphs(again.home.filePath(QStringLiteral("empty.docx")));
    EXPECT_TRUE(paragraphs.join(QString()).isEmpty());
    EXPECT_EQ(again.page4().PushButton4->text(), QStringLiteral("Exit"));
}

// Lines as always, or a table whose header row the first-line option asks
// for, chosen by caption; each run starts with the choice the one before made.
TEST_F(PageFour, RecordsAsLinesOrATableIsChosenByCaptionAndRemembered) {
    const QString lines = QStringLiteral("Lines"), table = QStringLiteral("A table");
    const QStringList rows{QStringLiteral("CompanyName\tShipperID"), QStringLiteral("Speedy Express\t1"),
                           QStringLiteral("United Package\t2"), QStringLiteral("Federal Shipping\t3")};
    QString before = lines;
    for (const auto& [caption, headerLine] : {std::pair{table, true}, {lines, true}, {table, false}}) {
        rig.wizard.reset();
        reach(edgeTables(), QStringLiteral("Shippers"),
              {QStringLiteral("CompanyName"), QStringLiteral("ShipperID")});
        QRadioButton* chosen = nullptr;
        for (QRadioButton* button : page().findChildren<QRadioButton*>()) {
            EXPECT_EQ(button->isChecked(), button->text() == before) << button->text().toStdString();
            chosen = button->text() == caption ? button : chosen;
        }
        ASSERT_TRUE(chosen) << caption.toStdString();
        chosen->click();
        EXPECT_EQ(page().Text2->isEnabled(), caption == lines);
        page().Check6->setCheckState(headerLine ? Qt::Checked : Qt::Unchecked);
        finish(output(QStringLiteral("records.docx")));
        const auto document = ReadDocx(output(QStringLiteral("records.docx")));
        ASSERT_TRUE(document);
        const QStringList expected = rows.mid(headerLine ? 0 : 1);
        QStringList paragraphs = document->paragraphs;
        paragraphs.removeAll(QString());
        EXPECT_EQ(paragraphs, caption == lines ? QStringList(expected).replaceInStrings(QStringLiteral("\t"),
                                                                                        QStringLiteral(","))
                                               : QStringList());
        EXPECT_EQ(document->tableRows, caption == table ? expected : QStringList());
        EXPECT_EQ(document->parts.count(QStringLiteral("<w:tblHeader/>")), caption == table && headerLine);
        before = caption;
    }
}

TEST_F(PageFour, ExitEndsTheProgramWithoutExportingAgain) {
    CountingWord engine;
    reach(edgeTables(), QStringLiteral("Shippers"), {QStringLiteral("ShipperID")}, &engine);
    const int checkStarts = engine.starts;  // the start-up check
    finish(output(QStringLiteral("once.docx")));
    ASSERT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
    ASSERT_TRUE(QFile::remove(output(QStringLiteral("once.docx"))));

    // "Exit" survives a round trip to page 3.
    page().PushButton2->click();
    rig.page3().PushButton3->click();
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));

    page().PushButton4->click();
    EXPECT_EQ(rig.program.ends, 1);
    EXPECT_EQ(engine.starts, checkStarts + 1) << "no second export";
    EXPECT_FALSE(QFile::exists(output(QStringLiteral("once.docx"))));
}

TEST_F(PageFour, AFailedSaveKeepsFinishSoTheUserCanCorrectThePath) {
    reach(edgeTables(), QStringLiteral("Shippers"), {QStringLiteral("CompanyName")});
    finish(output(QStringLiteral("no/such/folder/out.docx")));
    EXPECT_EQ(reportPlaces(rig.messages.errorReports()),
              QStringList{QStringLiteral("Form4.PushButton4_Click at line 180")});
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Finish"));
    EXPECT_EQ(page().ProgressBar1->value(), 0);
    EXPECT_EQ(page().pointer().pointer(), qm::MousePointer::Default);
    EXPECT_EQ(rig.program.ends, 0);

    finish(output(QStringLiteral("out.docx")));
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("out.docx"))).size(), 4);
}

TEST_F(PageFour, ADatabaseThatCannotBeReadWritesNoDocument) {
    QM_REQUIRE_CORPUS();
    CountingWord engine;
    rig.start(&engine);
    rig.openTable(corpusFile(QStringLiteral("V2000_with-password.mdb")), QStringLiteral("Table1"),
                  QStringLiteral("password"));
    rig.choose({QStringLiteral("Data")});
    rig.page3().PushButton3->click();
    const int checkStarts = engine.starts;
    rig.page1().Text2->setText(QStringLiteral("wrong"));
    finish(output(QStringLiteral("never.docx")));
    const QStringList places = reportPlaces(rig.messages.errorReports());
    ASSERT_FALSE(places.isEmpty());
    EXPECT_EQ(places.first(), QStringLiteral("Form4.PushButton4_Click at line 114"));
    EXPECT_FALSE(QFile::exists(output(QStringLiteral("never.docx"))));
    EXPECT_EQ(engine.starts, checkStarts) << "the engine is not started for nothing";
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Finish"));

    rig.messages.shown.clear();
    rig.page1().Text2->setText(QStringLiteral("password"));
    page().PushButton4->click();
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(DocxParagraphs(output(QStringLiteral("never.docx"))),
              (QStringList{QStringLiteral("Data"), QStringLiteral("One"), QStringLiteral("Two"),
                           QStringLiteral("Three")}));
}

TEST_F(PageFour, ALongExportShowsProgressStaysBusyAndIgnoresASecondFinish) {
    CountingWord engine;
    reach(bigTable(), QStringLiteral("Big"), {QStringLiteral("Id"), QStringLiteral("Name")}, &engine);
    const int checkStarts = engine.starts;
    int duringRuns = 0;
    int progressSeen = -1;
    qm::MousePointer pointerSeen = qm::MousePointer::Default;
    // Runs from inside the export, at its first pause (after kPauseRecords records).
    QTimer::singleShot(0, &page(), [&] {
        ++duringRuns;
        progressSeen = page().ProgressBar1->value();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(page().PushButton2, &enter);  // hover: the busy pointer stays
        pointerSeen = page().pointer().pointer();
        page().PushButton4->click();  // ignored while the first run goes on
    });
    finish(output(QStringLiteral("big.docx")));
    EXPECT_EQ(duringRuns, 1) << "the window took events during the export";
    EXPECT_EQ(progressSeen, 6) << "1,000 of 150,000 records on a bar of 1,000 steps";
    EXPECT_EQ(pointerSeen, qm::MousePointer::Busy);
    EXPECT_EQ(engine.starts, checkStarts + 1) << "one export, not two";
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
    EXPECT_EQ(page().ProgressBar1->value(), page().ProgressBar1->maximum());
    EXPECT_EQ(page().pointer().pointer(), qm::MousePointer::Default);
    EXPECT_GT(QFileInfo(output(QStringLiteral("big.docx"))).size(), 100000);
}

TEST_F(PageFour, TheSampleDatabaseGoesThroughTheWholeWizard) {
    const QString shipped = QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb");
    if (!QFileInfo::exists(shipped))
        GTEST_SKIP() << "no sample database in this checkout";
    QDir(rig.appDirectory).mkpath(QStringLiteral("Samples"));
    ASSERT_TRUE(QFile::copy(shipped, qm::SampleDatabasePath(rig.appDirectory)));
    rig.start();
    rig.page1().PushButton1->click();  // one click away
    rig.page1().PushButton3->click();
    ASSERT_EQ(rig.current(), &rig.page2());
    const QString table = rig.page2().List1->item(0)->text();
    rig.page2().PushButton3->click();
    const QStringList fields = qm::ListItems(*rig.page3().List1);
    rig.page3().PushButton6->click();
    rig.page3().PushButton3->click();
    finish(output(QStringLiteral("sample.docx")));
    EXPECT_TRUE(rig.messages.shown.empty());

    qm::Connection connection;
    connection.Open(qm::BuildConnectionString(qm::SampleDatabasePath(rig.appDirectory), QString()));
    qm::Recordset records;
    records.Open(QStringLiteral("SELECT ") + qm::BuildSelectedFields(fields) + QStringLiteral(" FROM `") +
                     table + QLatin1Char('`'),
                 connection, qm::adOpenStatic, qm::adLockOptimistic);
    const QStringList paragraphs = DocxParagraphs(output(QStringLiteral("sample.docx")));
    ASSERT_EQ(paragraphs.size(), records.RecordCount() + 1);
    EXPECT_EQ(paragraphs.first(), fields.join(QLatin1Char(',')));
    EXPECT_EQ(page().PushButton4->text(), QStringLiteral("Exit"));
}

TEST(Window, ClosingItEndsTheProgramFromAnyPage) {
    WizardRig rig;
    rig.start();
    rig.openTable(edgeTables(), QStringLiteral("Shippers"));
    ASSERT_EQ(rig.current(), &rig.page3());
    rig.wizard->window().close();
    EXPECT_EQ(rig.program.ends, 1);
}

TEST(Window, OnePageShowsAtATimeInTheSameWindow) {
    WizardRig rig;
    rig.start();
    const QPoint place(60, 70);
    rig.wizard->window().move(place);
    rig.openTable(edgeTables(), QStringLiteral("Shippers"));
    EXPECT_TRUE(rig.page3().isVisible());
    EXPECT_FALSE(rig.page1().isVisible());
    EXPECT_FALSE(rig.page2().isVisible());
    EXPECT_EQ(rig.wizard->window().size(), rig.page3().size()) << "the window takes the page's size";
    EXPECT_EQ(rig.wizard->window().pos(), place) << "and stays where it was";
}

// The next widget Tab reaches after the given one.
QWidget* nextTabStop(QWidget* widget) {
    for (QWidget* next = widget->nextInFocusChain(); next != widget; next = next->nextInFocusChain())
        if (next->focusPolicy() & Qt::TabFocus)
            return next;
    return widget;
}

TEST(Window, TheKeyboardOrderOfEachPageIsTheDesignedOne) {
    WizardRig rig;
    rig.start();
    rig.openTable(QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb"), QStringLiteral("Products"));
    rig.choose({QStringLiteral("ProductName")});
    rig.page3().PushButton3->click();
    qm::Form1& p1 = rig.page1();
    qm::Form2& p2 = rig.page2();
    qm::Form3& p3 = rig.page3();
    qm::Form4& p4 = rig.page4();
    const std::vector<std::vector<QWidget*>> orders{
        {p1.Text1, p1.PushButton5, p1.Text2, p1.PushButton3, p1.PushButton1},
        {p2.List1, p2.PushButton2, p2.PushButton3},
        {p3.List1, p3.DataGrid1, p3.List2, p3.PushButton2, p3.PushButton3, p3.PushButton5, p3.PushButton6,
         p3.PushButton7, p3.PushButton8},
        {p4.Text1, p4.PushButton3, p4.Text2, p4.Check6, p4.Option1, p4.Option2, p4.PushButton2,
         p4.PushButton4},
    };
    for (const std::vector<QWidget*>& order : orders) {
        for (std::size_t i = 0; i + 1 < order.size(); ++i)
            EXPECT_EQ(nextTabStop(order[i])->objectName(), order[i + 1]->objectName())
                << "after " << order[i]->parentWidget()->objectName().toStdString() << "."
                << order[i]->objectName().toStdString();
    }
}

// The pointer rule, by hovering: entering, then moving (a move the widget
// does not take goes on to its parents, as the platform's does).
void hover(QWidget* widget) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(widget, &enter);
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

TEST(Pointer, ButtonsShowTheHandOtherControlsTheArrowAndBusyStays) {
    WizardRig rig;
    rig.start();
    qm::Form1& page = rig.page1();
    hover(page.PushButton3);
    EXPECT_EQ(page.pointer().shape(), Qt::PointingHandCursor);
    hover(page.Text1);
    EXPECT_EQ(page.pointer().shape(), Qt::ArrowCursor);
    hover(page.PushButton1);
    hover(page.Frame1);
    EXPECT_EQ(page.pointer().pointer(), qm::MousePointer::Default);

    page.pointer().setPointer(qm::MousePointer::Busy);
    hover(page.PushButton5);
    hover(page.Text2);
    EXPECT_EQ(page.pointer().shape(), Qt::WaitCursor);
}

// A 32 x 32 cursor file made from an icon: type 2 and a hot spot at (3, 4).
QByteArray makeCursorFile() {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int i = 0; i < 32; ++i)
        image.setPixel(i, i, qRgba(0, 0, 0, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    bytes[2] = 2;   // cursor
    bytes[10] = 3;  // hot spot x
    bytes[12] = 4;  // hot spot y
    return bytes;
}

TEST(Pointer, TheHandCursorFileIsUsedOnEveryPageWhenPresent) {
    WizardRig rig;
    QFile cursor(qm::HandCursorPath(rig.appDirectory));
    ASSERT_TRUE(cursor.open(QIODevice::WriteOnly));
    cursor.write(makeCursorFile());
    cursor.close();
    rig.start();
    rig.openTable(edgeTables(), QStringLiteral("Shippers"));
    rig.choose({QStringLiteral("Phone")});
    rig.page3().PushButton3->click();
    EXPECT_TRUE(rig.messages.shown.empty());
    for (qm::WizardPage* page :
         std::initializer_list<qm::WizardPage*>{&rig.page1(), &rig.page2(), &rig.page3(), &rig.page4()}) {
        EXPECT_TRUE(page->pointer().hasCustomImage()) << page->objectName().toStdString();
        page->pointer().setPointer(qm::MousePointer::Custom);
        EXPECT_EQ(page->pointer().shape(), Qt::BitmapCursor);
        EXPECT_EQ(page->cursor().hotSpot(), QPoint(3, 4));
    }
}

}  // namespace
