// Start-up helpers: the application title, the optional files, the default
// output path, message texts, dialog filters and cursor files; and the check
// that the document engine starts.

#include "QtPrinting.h"
#include "common/TestSupport.h"
#include "export/document/NativeWord.h"
#include "pages/Dialogs.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "pages/WordCheck.h"
#include "shell/Failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(ApplicationTitle, DropsTheLastWordAndMoreWhileLongerThanForty) {
    const struct {
        const char* name;
        const char* title;
    } cases[] = {
        {"Quillmerge", "Quillmerge"},  // nothing to drop
        {"Quill Merge", "Quill"},
        {"Quill Merge Pro", "Quill Merge"},
        {"Trailing ", "Trailing"},
        // 45 characters: the last word goes, then words until 40 or fewer remain.
        {"Alpha Beta Gamma Delta Epsilon Zeta Eta Theta", "Alpha Beta Gamma Delta Epsilon Zeta Eta"},
        {"Averyveryveryveryveryveryveryveryverylongword x", "Averyveryveryveryveryveryveryveryverylongword"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qm::ApplicationTitleFor(QString::fromUtf8(c.name)), QString::fromUtf8(c.title)) << c.name;
}

TEST(DefaultOutputPath, IsTheDatabasesFolderFollowedByOutputDoc) {
    const struct {
        const char* database;
        const char* output;
    } cases[] = {
        {"/home/ann/data/Northwind.mdb", "/home/ann/data/output.doc"},
        {"Northwind.mdb", "output.doc"},
        {"", "output.doc"},
        {"/home/ann/data/", "/home/ann/data/output.doc"},
        {"C:\\Data\\db.mdb", "output.doc"},  // a backslash is no separator here
        {"/", "/output.doc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qm::DefaultOutputPath(QString::fromUtf8(c.database)), QString::fromUtf8(c.output))
            << c.database;
}

TEST(OptionalFiles, OnlyAnOrdinarySkinFileCounts) {
    QTemporaryDir app;
    EXPECT_FALSE(qm::SkinFileListed(app.path()));
    ASSERT_TRUE(QDir(app.path()).mkpath(QStringLiteral("x/o.cjs")));
    EXPECT_FALSE(qm::SkinFileListed(app.path())) << "a folder of that name is no skin";
    ASSERT_TRUE(QDir(app.path()).rmdir(QStringLiteral("x/o.cjs")));
    QFile wrongCase(app.filePath(QStringLiteral("x/O.CJS")));
    ASSERT_TRUE(wrongCase.open(QIODevice::WriteOnly));
    wrongCase.close();
    EXPECT_FALSE(qm::SkinFileListed(app.path())) << "names are exact on this file system";
    QFile skin(app.filePath(QStringLiteral("x/o.cjs")));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.close();
    EXPECT_TRUE(qm::SkinFileListed(app.path()));
}

TEST(MessageText, LineBreaksBecomeLineFeedsForDisplay) {
    EXPECT_EQ(qm::DisplayText(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
    EXPECT_EQ(qm::DisplayText(QStringLiteral("one\r\n\r\ntwo")), QStringLiteral("one\n\ntwo"));
    EXPECT_EQ(qm::DisplayText(QStringLiteral("\r\n")), QStringLiteral("\n"));
    EXPECT_EQ(qm::DisplayText(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(DialogFilters, BecomeQtNameFilters) {
    EXPECT_EQ(qm::QtNameFilters(qm::texts::kSaveOutputFilter),
              (QStringList{QStringLiteral("Word Files (*.doc)"), QStringLiteral("Word Files (*.docx)")}));
    EXPECT_EQ(qm::QtNameFilters(qm::texts::kOpenDatabaseFilter),
              (QStringList{QStringLiteral("Microsoft Database (*.mdb *.accdb)"),
                           QStringLiteral("Microsoft Database (*.mdb)"),
                           QStringLiteral("Microsoft Access Database (*.accdb)")}));
    EXPECT_EQ(qm::QtNameFilters(QStringLiteral("Text|*.txt;*.text|")),
              QStringList{QStringLiteral("Text (*.txt *.text)")});
    EXPECT_EQ(qm::QtNameFilters(QStringLiteral("All (*.*)|*.*")), QStringList{QStringLiteral("All (*.*)")});
    EXPECT_EQ(qm::QtNameFilters(QString()), QStringList());
    EXPECT_EQ(qm::QtNameFilters(QStringLiteral("Dangling|")), QStringList());
}

// A Windows cursor file: directory, one entry with the hot spot, then the image.
QByteArray cursorFile(quint16 type, quint16 hotX, quint16 hotY) {
    QByteArray bytes;
    auto put16 = [&](quint16 v) { bytes.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](quint32 v) { put16(quint16(v & 0xffff)), put16(quint16(v >> 16)); };
    put16(0);
    put16(type);
    put16(1);
    bytes.append(char(32)).append(char(32)).append(char(0)).append(char(0));
    put16(hotX);
    put16(hotY);
    put32(40);
    put32(22);
    return bytes;
}

TEST(CursorFile, HotSpotComesFromTheFirstEntry) {
    EXPECT_EQ(qm::CursorHotspot(cursorFile(2, 6, 1)), QPoint(6, 1));
    EXPECT_EQ(qm::CursorHotspot(cursorFile(2, 0, 31)), QPoint(0, 31));
    EXPECT_FALSE(qm::CursorHotspot(cursorFile(1, 6, 1)).has_value()) << "an icon has no hot spot";
    EXPECT_FALSE(qm::CursorHotspot(cursorFile(2, 6, 1).left(12)).has_value()) << "truncated";
    EXPECT_FALSE(qm::CursorHotspot(QByteArray("GIF89a not a cursor at all....")).has_value());
}

// Engines for the start-up check.
class FailingWord : public qm::WordProvider {
  public:
    std::unique_ptr<qm::WordApplication> CreateApplication() override {
        ++attempts;
        throw qm::Failure(QStringLiteral("The document engine could not be started"));
    }
    int attempts = 0;
};

class NoInstanceWord : public qm::WordProvider {
  public:
    std::unique_ptr<qm::WordApplication> CreateApplication() override { return nullptr; }
};

class QuitFailsWord : public qm::WordProvider {
    class Application : public qm::WordApplication {
      public:
        explicit Application(int& quits) : quits_(quits) {}
        void setVisible(bool) override {}
        std::unique_ptr<qm::WordDocument> AddDocument() override { return nullptr; }
        void Quit() override {
            ++quits_;
            throw qm::Failure(QStringLiteral("Quit failed"));
        }

      private:
        int& quits_;
    };

  public:
    std::unique_ptr<qm::WordApplication> CreateApplication() override {
        return std::make_unique<Application>(quits);
    }
    int quits = 0;
};

struct Shown {
    QString text;
    qm::MessageIcon icon;
    QString title;
};

class RecordedMessages : public qm::MessageBoxes {
  public:
    void message(const QString& text, qm::MessageIcon icon, const QString& title) override {
        shown.push_back({text, icon, title});
    }
    std::vector<Shown> shown;
};

class RecordedEnd : public qm::ProgramLifetime {
  public:
    void End() override { ++ends; }
    bool hasEnded() const override { return ends > 0; }
    int ends = 0;
};

TEST(WordCheck, AnEngineThatCannotStartShowsTheMessageAndEndsTheProgram) {
    FailingWord word;
    RecordedMessages messages;
    RecordedEnd program;
    qm::CheckWordAvailable(word, messages, program);
    EXPECT_EQ(word.attempts, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    const QString expected = QStringLiteral(
        "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
        "1. Please make sure Word is installed on this computer.\r\n\r\n"
        "2. Please open Word normally and make sure a blank document opens immediately without any "
        "interrupting window (such as an Word file recovery window).\r\n\r\n"
        "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens normally "
        "without any interrupting messages.\r\n\r\n"
        "4. All versions of Word are supported by this software except for the rare Word Starter and "
        "Student editions.");
    EXPECT_EQ(messages.shown[0].text, expected);
    EXPECT_EQ(messages.shown[0].icon, qm::MessageIcon::None);
    EXPECT_TRUE(messages.shown[0].title.isEmpty()) << "headed by the application title";
    EXPECT_EQ(program.ends, 1);
}

TEST(WordCheck, NoInstanceCountsAsNotStarted) {
    NoInstanceWord word;
    RecordedMessages messages;
    RecordedEnd program;
    qm::CheckWordAvailable(word, messages, program);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(program.ends, 1);
}

TEST(WordCheck, AFailingQuitIsIgnored) {
    QuitFailsWord word;
    RecordedMessages messages;
    RecordedEnd program;
    EXPECT_NO_THROW(qm::CheckWordAvailable(word, messages, program));
    EXPECT_EQ(word.quits, 1);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(program.ends, 0);
}

TEST(WordCheck, TheProgramsOwnEngineStartsSilently) {
    qm::NativeWordProvider word;
    RecordedMessages messages;
    RecordedEnd program;
    qm::CheckWordAvailable(word, messages, program);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(program.ends, 0);
}

}  // namespace
