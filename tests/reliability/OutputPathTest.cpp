// Where the document goes: never over the database it was read from, and
// when the place cannot take it, a one-line message, no half-written file,
// nothing left behind, and the previous document as it was.

#include "ReliabilitySupport.h"
#include "export/ExportRun.h"
#include "export/document/NativeWord.h"

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace qm::reliability;

namespace {

const QByteArray kPrevious = "the previous document, which must survive";

const QByteArray kSmall = R"({"tables": [{"name": "Customers",
    "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 40}],
    "rows": [[1, "Ann"], [2, "Bob"], [3, null]]}]})";

// About 1.5 MB of text, some 500 KB as a document.
const QByteArray kLarge = R"({"tables": [{"name": "Orders",
    "columns": [{"name": "Id", "type": "long"}, {"name": "CustomerName", "type": "text", "size": 40},
                {"name": "Town", "type": "text", "size": 40}, {"name": "Note", "type": "memo"}],
    "generate": {"count": 20000, "seed": 3}}]})";

class OutputPath : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // Other users may look in (some cases run the program as "nobody").
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                               QFile::ExeGroup);
        database_ = dir_.filePath(QStringLiteral("data.mdb"));
        makeDatabase(database_, kSmall);
        original_ = readBytes(database_);
        ASSERT_FALSE(original_.isEmpty());
    }

    Outcome exportTo(const QString& output, const ExportOptions& options = {}) {
        return runExport({database_, QStringLiteral("--table"), QStringLiteral("Customers"),
                          QStringLiteral("--output"), output},
                         options);
    }

    // A folder for output that "nobody" may write into, holding the previous document.
    QString outputFolder(const QString& name = QStringLiteral("out")) {
        const QString folder = dir_.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFile::Permissions(0x7777));
        writeBytes(folder + QStringLiteral("/doc.docx"), kPrevious);
        QFile::setPermissions(folder + QStringLiteral("/doc.docx"), QFile::Permissions(0x6666));
        return folder;
    }

    QTemporaryDir dir_;
    QString database_;
    QByteArray original_;
};

TEST_F(OutputPath, TheDatabaseItselfIsRefusedByEveryNameItHas) {
    ASSERT_EQ(::symlink(QFile::encodeName(database_).constData(),
                        QFile::encodeName(dir_.filePath(QStringLiteral("link.docx"))).constData()),
              0);
    ASSERT_EQ(::link(QFile::encodeName(database_).constData(),
                     QFile::encodeName(dir_.filePath(QStringLiteral("hard.docx"))).constData()),
              0);
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("sub")));
    const QStringList before = entriesOf(dir_.path());

    struct Case {
        const char* what;
        QString output;
    };
    const Case cases[] = {
        {"the same path", database_},
        {"the same file by another path", dir_.filePath(QStringLiteral("sub/../data.mdb"))},
        {"a symbolic link to it", dir_.filePath(QStringLiteral("link.docx"))},
        {"a hard link to it", dir_.filePath(QStringLiteral("hard.docx"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = exportTo(c.output);
        EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
        EXPECT_TRUE(IsOneLineMessage(outcome.err, {c.output, QStringLiteral("is the database")}));
        EXPECT_EQ(readBytes(database_), original_);
        EXPECT_EQ(entriesOf(dir_.path()), before);
        EXPECT_TRUE(QFileInfo(dir_.filePath(QStringLiteral("link.docx"))).isSymLink());
    }
}

TEST_F(OutputPath, TheWizardsRunRefusesTheDatabaseAtTheSaveStep) {
    // The same export run behind "Finish", with the program's own engine.
    CustomersExport inputs;
    inputs.path = database_;
    inputs.output = dir_.filePath(QStringLiteral("./data.mdb"));
    qm::RecordingErrorSink errors;
    qm::Procedure proc(errors, QStringLiteral("Form4.PushButton4_Click"));
    qm::NativeWordProvider word;
    EXPECT_FALSE(qm::RunExport(proc, inputs, word));
    ASSERT_EQ(errors.reports.size(), 1u);
    EXPECT_EQ(errors.reports.front().line, 180);
    EXPECT_TRUE(errors.reports.front().description.contains(QStringLiteral("is the database")));
    EXPECT_EQ(readBytes(database_), original_);
}

TEST_F(OutputPath, PlacesThatCannotTakeTheDocumentLeaveEverythingAsItWas) {
    const bool permissions = permissionsAreEnforced();
    struct Case {
        const char* what;
        std::function<QString()> prepare;  // the output path; the folder to watch is its folder
        QStringList words;                 // the message names the path and the reason
        bool needsPermissions = false;
    };
    const Case cases[] = {
        {"a folder", [&] { return outputFolder(QStringLiteral("folder")); }, {QStringLiteral("folder")}},
        {"a missing folder",
         [&] { return dir_.filePath(QStringLiteral("missing/doc.docx")); },
         {QStringLiteral("missing/doc.docx")}},
        {"a read-only folder",
         [&] {
             const QString folder = outputFolder(QStringLiteral("read-only"));
             QFile::setPermissions(folder, QFile::Permissions(0x5555));
             return folder + QStringLiteral("/doc.docx");
         },
         {QStringLiteral("read-only/doc.docx")},
         true},
        {"a read-only file",
         [&] {
             const QString file = outputFolder(QStringLiteral("locked")) + QStringLiteral("/doc.docx");
             QFile::setPermissions(file, QFile::Permissions(0x4444));
             return file;
         },
         {QStringLiteral("locked/doc.docx"), QStringLiteral("ermission")},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsPermissions && !permissions) {
            ADD_FAILURE() << "running as root and unable to become nobody: case not checked";
            continue;
        }
        const QString output = c.prepare();
        const QString folder = QFileInfo(output).isDir() ? output : QFileInfo(output).path();
        const QStringList before = entriesOf(folder);
        const QByteArray previous = readBytes(folder + QStringLiteral("/doc.docx"));
        ExportOptions options;
        options.inChild = runAsOrdinaryUserInChild;
        const Outcome outcome = exportTo(output, options);
        EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
        EXPECT_TRUE(IsOneLineMessage(outcome.err, c.words));
        EXPECT_EQ(entriesOf(folder), before);
        EXPECT_EQ(readBytes(folder + QStringLiteral("/doc.docx")), previous);
        EXPECT_FALSE(QDir(dir_.filePath(QStringLiteral("missing"))).exists());
    }
}

TEST_F(OutputPath, AFileSizeLimitFailsTheSaveAndKeepsThePreviousDocument) {
    const QString database = dir_.filePath(QStringLiteral("large.mdb"));
    makeDatabase(database, kLarge);
    const QString folder = outputFolder();
    ExportOptions options;
    options.inChild = [] {
        // As "ulimit -f 64" does; the limit is far below the document.
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const Outcome outcome = runExport({database, QStringLiteral("--table"), QStringLiteral("Orders"),
                                       QStringLiteral("--output"), folder + QStringLiteral("/doc.docx")},
                                      options);
    EXPECT_TRUE(outcome.exited(1)) << "signal " << outcome.signal << " " << outcome.err.toStdString();
    EXPECT_TRUE(
        IsOneLineMessage(outcome.err, {QStringLiteral("doc.docx"), QStringLiteral("File too large")}));
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("doc.docx")});
    EXPECT_EQ(readBytes(folder + QStringLiteral("/doc.docx")), kPrevious);
}

TEST_F(OutputPath, AFullDiskFailsTheSaveAndKeepsThePreviousDocument) {
    const QString folder = dir_.filePath(QStringLiteral("small-disk"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // A file system of 128 KB of its own; only root may make one.
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=128k,mode=0777") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    struct Unmount {
        QString folder;
        ~Unmount() { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); }
    } unmount{folder};
    writeBytes(folder + QStringLiteral("/doc.docx"), kPrevious);

    const QString database = dir_.filePath(QStringLiteral("large.mdb"));
    makeDatabase(database, kLarge);
    const Outcome outcome = runExport({database, QStringLiteral("--table"), QStringLiteral("Orders"),
                                       QStringLiteral("--output"), folder + QStringLiteral("/doc.docx")});
    EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
    EXPECT_TRUE(IsOneLineMessage(outcome.err,
                                 {QStringLiteral("doc.docx"), QStringLiteral("No space left on device")}));
    EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("doc.docx")});
    EXPECT_EQ(readBytes(folder + QStringLiteral("/doc.docx")), kPrevious);
}

TEST_F(OutputPath, AReplacedDocumentKeepsItsPermissionsAndLinksPointAtTheNewOne) {
    const QString folder = outputFolder();
    const QString document = folder + QStringLiteral("/doc.docx");
    QFile::setPermissions(document, QFile::ReadOwner | QFile::WriteOwner);
    const QString link = folder + QStringLiteral("/latest.docx");
    ASSERT_EQ(::symlink("doc.docx", QFile::encodeName(link).constData()), 0);

    const Outcome outcome = exportTo(link);
    ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    // The link still is a link, and the file it names holds the new document.
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(document).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(DocxParagraphs(document).value(0), QStringLiteral("Id,Name"));
    EXPECT_EQ(entriesOf(folder), (QStringList{QStringLiteral("doc.docx"), QStringLiteral("latest.docx")}));
}

}  // namespace
