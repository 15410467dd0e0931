// Start-up and page 1 of the real wizard on the offscreen platform, against
// the bundled sample database and real Access files.

#include "WizardHarness.h"
#include "database/Ado.h"
#include "database/Catalogue.h"

#include <QFile>
#include <QTest>

namespace {

using namespace qm::test;
namespace texts = qm::texts;

// The bundled sample database, part of the project.
QString sample() {
    return QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb");
}

// Its user tables in catalogue order.
QStringList sampleTables() {
    return {QStringLiteral("Customers"), QStringLiteral("Products"), QStringLiteral("Orders"),
            QStringLiteral("Order Details")};
}

TEST(StartUp, FirstRunShowsAnEmptyPageOne) {
    WizardRig rig;
    qm::Wizard& wizard = rig.start();
    EXPECT_EQ(rig.current(), &rig.page1());
    EXPECT_TRUE(rig.page1().Text1->text().isEmpty());
    EXPECT_TRUE(rig.page1().Text2->text().isEmpty());
    EXPECT_FALSE(wizard.isLoaded(2)) << "page 2 is only made when referred to";
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(wizard.window().windowTitle(), QStringLiteral("Quillmerge"));
    EXPECT_EQ(qm::ApplicationTitle(), QStringLiteral("Quillmerge"));
    EXPECT_EQ(rig.page1().Text2->echoMode(), QLineEdit::Password);
    EXPECT_EQ(rig.page1().focusWidget(), rig.page1().Text1);
}

TEST(StartUp, ARestoredReadableDatabaseGoesStraightToPageTwo) {
    WizardRig rig;
    rig.remember(texts::kKeyDatabase, sample());
    qm::Wizard& wizard = rig.start();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_FALSE(wizard.isShown(rig.page1()));
    EXPECT_EQ(qm::ListItems(*rig.page2().List1), sampleTables());
    EXPECT_EQ(qm::ListIndex(*rig.page2().List1), 0);
    EXPECT_EQ(rig.page1().Text1->text(), sample());
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(StartUp, ARestoredPathWhoseFileIsGoneStaysOnPageOne) {
    WizardRig rig;
    const QString gone = rig.home.filePath(QStringLiteral("deleted.mdb"));
    rig.remember(texts::kKeyDatabase, gone);
    rig.start();
    EXPECT_EQ(rig.current(), &rig.page1());
    EXPECT_EQ(rig.page1().Text1->text(), gone);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(StartUp, ADatabaseNamedOnTheCommandLineTakesTheSavedOnesPlace) {
    WizardRig rig;
    const QString gone = rig.home.filePath(QStringLiteral("deleted.mdb"));
    rig.remember(texts::kKeyDatabase, gone);
    rig.remember(texts::kKeyPassword, QStringLiteral("saved"));
    rig.start(nullptr, sample());
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(qm::ListItems(*rig.page2().List1), sampleTables());
    EXPECT_EQ(rig.page1().Text2->text(), QString()) << "the saved password is the saved database's";
    EXPECT_EQ(rig.stored(texts::kKeyDatabase), sample()) << "it is the last database used now";
    EXPECT_EQ(rig.stored(texts::kKeyPassword), QString());

    // The saved database named again keeps its password.
    WizardRig same;
    same.remember(texts::kKeyDatabase, sample());
    same.remember(texts::kKeyPassword, QStringLiteral("saved"));
    same.start(nullptr, sample());
    EXPECT_EQ(same.page1().Text2->text(), QStringLiteral("saved"));

    // A named file that is gone leaves page 1 showing its name, as a restored one does.
    WizardRig missing;
    missing.remember(texts::kKeyDatabase, sample());
    missing.start(nullptr, gone);
    EXPECT_EQ(missing.current(), &missing.page1());
    EXPECT_EQ(missing.page1().Text1->text(), gone);
    EXPECT_TRUE(missing.messages.shown.empty());
}

TEST(StartUp, ARestoredFileThatIsNoDatabaseIsReportedOnceAndPageOneShows) {
    WizardRig rig;
    const QString notes = rig.home.filePath(QStringLiteral("notes.mdb"));
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("These are notes, not a database.\n");
    file.close();
    rig.remember(texts::kKeyDatabase, notes);
    rig.start();
    EXPECT_EQ(rig.current(), &rig.page1());
    EXPECT_EQ(reportPlaces(rig.messages.errorReports()),
              QStringList{QStringLiteral("Form1.PushButton3_Click at line 100")});
    EXPECT_EQ(rig.messages.shown.size(), 1u);
}

TEST(StartUp, ThePasswordIsRestoredAndWrittenBackAsItWas) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.remember(texts::kKeyDatabase, corpusFile(QStringLiteral("V2000_with-password.mdb")));
    rig.remember(texts::kKeyPassword, QStringLiteral("password"));
    rig.start();
    EXPECT_EQ(rig.page1().Text2->text(), QStringLiteral("password"));
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(qm::ListItems(*rig.page2().List1), QStringList{QStringLiteral("Table1")});
    EXPECT_EQ(rig.stored(texts::kKeyPassword), QStringLiteral("password"));
}

TEST(StartUp, WithoutADocumentEngineTheMessageShowsAndTheProgramEndsBeforeAnyPage) {
    WizardRig rig;
    rig.remember(texts::kKeyDatabase, sample());
    FailingWord engine;
    qm::Wizard& wizard = rig.start(&engine);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, texts::kWordMissingMessage);
    EXPECT_EQ(rig.messages.shown[0].icon, qm::MessageIcon::None);
    EXPECT_TRUE(rig.messages.shown[0].title.isEmpty());
    EXPECT_EQ(rig.program.ends, 1);
    EXPECT_EQ(rig.current(), nullptr) << "no page is shown";
    EXPECT_FALSE(wizard.isLoaded(2)) << "the restored database is not opened";
}

TEST(StartUp, AnUnreadableCursorFileIsReportedAndButtonsShowTheSystemHand) {
    WizardRig rig;
    QFile cursor(qm::HandCursorPath(rig.appDirectory));
    ASSERT_TRUE(cursor.open(QIODevice::WriteOnly));
    cursor.write("not a cursor");
    cursor.close();
    rig.start();
    EXPECT_EQ(reportPlaces(rig.messages.errorReports()),
              QStringList{QStringLiteral("Form1.Form_Load at line 124")});
    EXPECT_EQ(rig.current(), &rig.page1());
    rig.page1().pointer().setPointer(qm::MousePointer::Custom);
    EXPECT_EQ(rig.page1().pointer().shape(), Qt::PointingHandCursor);
}

TEST(StartUp, TheSkinFileOnlyBringsPageOneToTheButtonFace) {
    {
        WizardRig rig;
        rig.start();
        EXPECT_FALSE(rig.page1().autoFillBackground()) << "designed colours without a skin";
    }
    WizardRig rig;
    QDir(rig.appDirectory).mkpath(QStringLiteral("x"));
    QFile skin(qm::SkinFilePath(rig.appDirectory));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.close();
    rig.start();
    EXPECT_TRUE(rig.page1().autoFillBackground());
    EXPECT_EQ(rig.page1().backgroundRole(), QPalette::Button);
    EXPECT_EQ(rig.page1().Label5->backgroundRole(), QPalette::Button);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(PageOne, TypingStoresEveryTextAndTheNextRunRestoresTheLast) {
    WizardRig rig;
    rig.start();
    QTest::keyClicks(rig.page1().Text1, QStringLiteral("/tmp/a b"));
    EXPECT_EQ(rig.stored(texts::kKeyDatabase), QStringLiteral("/tmp/a b"));
    QTest::keyClick(rig.page1().Text1, Qt::Key_Backspace);
    EXPECT_EQ(rig.stored(texts::kKeyDatabase), QStringLiteral("/tmp/a "));
    QTest::keyClicks(rig.page1().Text2, QStringLiteral("p w;\"="));
    rig.wizard.reset();

    rig.start();  // the next run, on the same settings file
    EXPECT_EQ(rig.page1().Text1->text(), QStringLiteral("/tmp/a "));
    EXPECT_EQ(rig.page1().Text2->text(), QStringLiteral("p w;\"="));
}

TEST(PageOne, TheSampleButtonNamesTheSampleEvenWhenItIsMissing) {
    WizardRig rig;
    rig.start();
    rig.page1().PushButton1->click();
    const QString sample = rig.appDirectory + QStringLiteral("/Samples/sample.mdb");
    EXPECT_EQ(rig.page1().Text1->text(), sample);
    EXPECT_EQ(rig.stored(texts::kKeyDatabase), sample);
    rig.page1().PushButton3->click();
    EXPECT_EQ(rig.current(), &rig.page1()) << "a missing file: Next does nothing";
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(PageOne, TheSampleDatabaseOpensWhenItIsThere) {
    WizardRig rig;
    QDir(rig.appDirectory).mkpath(QStringLiteral("Samples"));
    ASSERT_TRUE(QFile::copy(sample(), qm::SampleDatabasePath(rig.appDirectory)));
    rig.start();
    rig.page1().PushButton1->click();
    rig.page1().PushButton3->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(qm::ListItems(*rig.page2().List1), sampleTables());
}

TEST(PageOne, BrowsingCancelledKeepsThePathAndBrowsingChosenReplacesIt) {
    WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(QStringLiteral("/typed/before.mdb"));
    rig.dialogs.answers = {QString(), QStringLiteral("/chosen/db.accdb"), QString()};

    rig.page1().PushButton5->click();
    EXPECT_EQ(rig.page1().Text1->text(), QStringLiteral("/typed/before.mdb"));
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    const qm::FileDialogRequest& request = rig.dialogs.requests[0];
    EXPECT_EQ(request.mode, qm::FileDialogRequest::Mode::Open);
    EXPECT_EQ(request.title, QStringLiteral("Select Access Database"));
    EXPECT_TRUE(request.nameFilters.contains(QStringLiteral("Microsoft Database (*.mdb)")));
    EXPECT_TRUE(request.nameFilters.first().contains(QStringLiteral("*.accdb")))
        << "the page asks for .accdb files: the dialog offers them";

    rig.page1().PushButton5->click();
    EXPECT_EQ(rig.page1().Text1->text(), QStringLiteral("/chosen/db.accdb"));
    EXPECT_EQ(rig.stored(texts::kKeyDatabase), QStringLiteral("/chosen/db.accdb"));

    rig.page1().PushButton5->click();
    EXPECT_TRUE(rig.dialogs.requests[2].fileName.isEmpty()) << "the open dialog starts with no name";
    EXPECT_EQ(rig.page1().Text1->text(), QStringLiteral("/chosen/db.accdb"));
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(PageOne, AWrongPasswordIsReportedWithTheDatabasesWordsAndPageOneStays) {
    QM_REQUIRE_CORPUS();
    const QString database = corpusFile(QStringLiteral("V2000_with-password.mdb"));
    for (const QString& wrong : {QStringLiteral("wrong"), QString(), QStringLiteral("Password")}) {
        WizardRig rig;
        rig.start();
        rig.page1().Text1->setText(database);
        rig.page1().Text2->setText(wrong);
        rig.page1().PushButton3->click();
        EXPECT_EQ(rig.current(), &rig.page1()) << wrong.toStdString();
        ASSERT_EQ(rig.messages.errorReports().size(), 1u) << wrong.toStdString();
        EXPECT_EQ(rig.messages.shown[0].text, reportText(qm::dbmessages::kNotAValidPassword,
                                                         QStringLiteral("Form1.PushButton3_Click"), 100));
        EXPECT_EQ(rig.messages.shown[0].icon, qm::MessageIcon::Warning);
        EXPECT_FALSE(rig.wizard->isLoaded(2));
    }
}

TEST(PageOne, ADatabaseWithoutTablesMovesOnToAnEmptyList) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(corpusFile(QStringLiteral("V2000_empty.mdb")));
    rig.page1().PushButton3->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(rig.page2().List1->count(), 0);
    EXPECT_EQ(qm::ListIndex(*rig.page2().List1), -1);

    rig.page2().PushButton3->click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, QStringLiteral("Please select a table"));
    EXPECT_EQ(rig.messages.shown[0].icon, qm::MessageIcon::None);
    EXPECT_TRUE(rig.messages.shown[0].title.isEmpty());
    EXPECT_EQ(rig.page2().pointer().pointer(), qm::MousePointer::Default);
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_FALSE(rig.wizard->isLoaded(3));
}

TEST(PageOne, BackAndNextAgainFillsTheTableListAfresh) {
    WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(sample());
    rig.page1().PushButton3->click();
    rig.page2().PushButton2->click();
    EXPECT_EQ(rig.current(), &rig.page1());
    EXPECT_EQ(rig.page1().Text1->text(), sample()) << "the boxes keep their text";
    rig.page1().PushButton3->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(qm::ListItems(*rig.page2().List1), sampleTables()) << "once each, not twice";
}

TEST(PageOne, AnAccdbPathOpensAsSuch) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(corpusFile(QStringLiteral("V2010_test.accdb")));
    rig.page1().PushButton3->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_TRUE(qm::ListItems(*rig.page2().List1).contains(QStringLiteral("Table1")));
    EXPECT_TRUE(rig.messages.shown.empty());
}

}  // namespace
