// quillmerge-export ended by a signal in the middle of an export, while it
// reads the records and while it saves the document: it ends by that signal
// with one line saying so, leaves no temporary file anywhere, and the
// previous document is as it was. The program is stopped at the moment to
// interrupt it (StopAtOpen.cpp), so the signal never comes too late on a fast
// machine or too early on a slow one.

#include "ReliabilitySupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

using namespace qm::reliability;

namespace {

const QByteArray kPrevious = "the previous document";

// Some 300,000 records: far more text than the spool keeps in memory.
const QByteArray kLarge = R"({"tables": [{"name": "Orders",
    "columns": [{"name": "Id", "type": "long"}, {"name": "CustomerName", "type": "text", "size": 40},
                {"name": "Town", "type": "text", "size": 40}, {"name": "Price", "type": "currency"},
                {"name": "Note", "type": "memo"}],
    "generate": {"count": 300000, "seed": 11}}]})";

class Interruption : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new QTemporaryDir;
        makeDatabase(database(), kLarge);
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static QString database() { return folder_->filePath(QStringLiteral("large.mdb")); }

    static QTemporaryDir* folder_;
};
QTemporaryDir* Interruption::folder_ = nullptr;

enum class Phase { Reading, Saving };

TEST_F(Interruption, ASignalWhileReadingOrSavingLeavesNothingBehind) {
    struct Case {
        int signal;
        Phase phase;
    };
    const Case cases[] = {{SIGINT, Phase::Reading}, {SIGTERM, Phase::Reading}, {SIGHUP, Phase::Reading},
                          {SIGINT, Phase::Saving},  {SIGTERM, Phase::Saving},  {SIGHUP, Phase::Saving}};
    for (const Case& c : cases) {
        const char* name = sigabbrev_np(c.signal);
        SCOPED_TRACE(std::string(name) + (c.phase == Phase::Reading ? " while reading" : " while saving"));
        QTemporaryDir out;
        QTemporaryDir temporary;  // the program's TMPDIR, for its text spool
        const QString document = out.filePath(QStringLiteral("doc.docx"));
        writeBytes(document, kPrevious);

        ExportOptions options;
        options.environment.insert(QStringLiteral("TMPDIR"), temporary.path());
        bool sent = false;
        bool databaseOpen = false;
        // Reading: when the text outgrows memory and goes to the spool file
        // in TMPDIR. Saving: when the new document is created beside the old.
        stopAtOpenUnder(options, c.phase == Phase::Reading ? temporary.path() : out.path(), [&](pid_t pid) {
            databaseOpen = holdsFileUnder(pid, database());
            ::kill(pid, c.signal);
            sent = true;
        });
        const Outcome outcome = runExport({database(), QStringLiteral("--table"), QStringLiteral("Orders"),
                                           QStringLiteral("--output"), document},
                                          options);
        ASSERT_TRUE(sent) << "the export never reached the moment to interrupt it";
        EXPECT_TRUE(databaseOpen);
        EXPECT_EQ(outcome.signal, c.signal) << "exit code " << outcome.exitCode;
        EXPECT_EQ(QString::fromUtf8(outcome.err),
                  QStringLiteral("quillmerge-export: interrupted (SIG%1); no document was written\n")
                      .arg(QString::fromLatin1(name)));
        EXPECT_EQ(entriesOf(out.path()), QStringList{QStringLiteral("doc.docx")});
        EXPECT_EQ(readBytes(document), kPrevious);
        EXPECT_EQ(entriesOf(temporary.path()), QStringList{});
    }
}

TEST_F(Interruption, LeftAloneTheSameExportReplacesTheDocument) {
    // The control case: the same export runs to its end when left alone.
    QTemporaryDir out;
    const QString document = out.filePath(QStringLiteral("doc.docx"));
    writeBytes(document, kPrevious);
    const Outcome outcome = runExport({database(), QStringLiteral("--table"), QStringLiteral("Orders"),
                                       QStringLiteral("--output"), document});
    ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    EXPECT_EQ(entriesOf(out.path()), QStringList{QStringLiteral("doc.docx")});
    EXPECT_TRUE(readBytes(document).startsWith("PK"));
}

}  // namespace
