#include "DocumentTestSupport.h"
#include "common/TestSupport.h"
#include "export/document/DocumentWriter.h"
#include "export/document/NativeWord.h"
#include "export/document/OoxmlWriter.h"
#include "shell/Failure.h"

#include <grp.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <iostream>

namespace qm {
namespace {

using test::inspectDocx;
using test::strings;

const QByteArray kPrevious = "the previous document, which a failed save must leave alone";

// W1 to W7 as the export run calls them.
void exportText(const TextSpool& text, const QString& path) {
    NativeWordProvider provider;
    auto word = provider.CreateApplication();
    word->setVisible(false);
    auto document = word->AddDocument();
    document->TypeText(text);
    document->SaveAs(path);
    document->Close();
    word->Quit();
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Whatever the extension, the file is a document Word opens: the format does
// not follow the name (yet).
TEST(NativeWord, SavesOfficeOpenXmlForDocxAndOtherNames) {
    TextSpool spool;
    test::appendAll(spool, {"Name,Price", "Tea,2.5", ",3"});
    QTemporaryDir dir;
    for (const char* name : {"out.docx", "OUT.DOCX", "no-extension", "out.pdf"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        exportText(spool, path);
        EXPECT_EQ(strings(inspectDocx(path)[QStringLiteral("paragraphs")]),
                  (std::vector<QString>{"Name,Price", "Tea,2.5", ",3"}));
    }
    EXPECT_EQ(entriesOf(dir.path()).size(), 4) << "left-over files";
}

TEST(NativeWord, DocumentKeepsTheTextAsTyped) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("typed.docx"));
    NativeWordProvider provider;
    auto word = provider.CreateApplication();
    auto document = word->AddDocument();
    {
        TextSpool first(0);  // file-backed
        first.appendLine("first");
        document->TypeText(first);
        first.appendLine("appended after typing");
    }  // the spool is gone before the save
    TextSpool second;
    second.appendLine("second");
    document->TypeText(second);  // typed after the first text
    document->SaveAs(path);
    EXPECT_EQ(strings(inspectDocx(path)[QStringLiteral("paragraphs")]),
              (std::vector<QString>{"first", "second"}));
}

TEST(NativeWord, ClosedDocumentsAndQuitEnginesRefuseWork) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("never.docx"));
    TextSpool spool;
    NativeWordProvider provider;
    auto word = provider.CreateApplication();
    auto closed = word->AddDocument();
    closed->Close();
    EXPECT_THROW(closed->SaveAs(path), Failure);
    EXPECT_THROW(closed->TypeText(spool), Failure);
    auto open = word->AddDocument();
    word->Quit();
    EXPECT_THROW(open->SaveAs(path), Failure);
    EXPECT_THROW(word->AddDocument(), Failure);
    EXPECT_FALSE(QFile::exists(path));
}

// A save that fails part way leaves the previous file as it was and no
// temporary file behind, wherever the failure strikes.
TEST(AtomicSave, FailureKeepsThePreviousFile) {
    TextSpool spool;
    for (int i = 0; i < 50000; ++i)
        spool.appendLine("record " + std::to_string(i));
    DocumentContent content;
    content.texts.push_back(spool.snapshot());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.docx"));
    writeFile(path, kPrevious);
    for (const qint64 budget : {qint64{0}, qint64{100}, qint64{4096}, qint64{60000}}) {
        SCOPED_TRACE(budget);
        try {
            SaveAtomically(path, [&](QIODevice& device) {
                test::FailingDevice failing(device, budget);
                OoxmlWriter().write(content, failing);
            });
            ADD_FAILURE() << "the save succeeded";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.description(),
                      QStringLiteral("Could not save '%1': No space left on device").arg(path));
        }
        EXPECT_EQ(contentsOf(path), kPrevious);
        EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("report.docx")});
    }
    // And a save that succeeds replaces it.
    exportText(spool, path);
    EXPECT_EQ(strings(inspectDocx(path)[QStringLiteral("paragraphs")]).size(), 50000u);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("report.docx")});
}

struct BadTarget {
    const char* name;
    const char* path;  // relative to a fresh folder
    const char* reason;
};

void PrintTo(const BadTarget& param, std::ostream* out) {
    *out << param.name;
}

class AtomicSaveTarget : public ::testing::TestWithParam<BadTarget> {};

TEST_P(AtomicSaveTarget, FailsNamingPathAndReason) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString path =
        GetParam().path[0] == '\0' ? QString() : dir.filePath(QString::fromLatin1(GetParam().path));
    TextSpool spool;
    spool.appendLine("text");
    try {
        exportText(spool, path);
        ADD_FAILURE() << "the save succeeded";
    } catch (const Failure& failure) {
        EXPECT_EQ(
            failure.description(),
            QStringLiteral("Could not save '%1': %2").arg(path, QString::fromLatin1(GetParam().reason)));
    }
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("folder")});
    EXPECT_TRUE(entriesOf(dir.filePath(QStringLiteral("folder"))).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Targets, AtomicSaveTarget,
                         ::testing::Values(BadTarget{"MissingFolder", "missing/out.docx",
                                                     "No such file or directory"},
                                           BadTarget{"TargetIsAFolder", "folder", "It is a folder"},
                                           BadTarget{"EmptyPath", "", "No file name was given"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Saves the text as nobody when the tests run as root, who may write anywhere.
// For death tests: exits 0 with the failure's description on stderr.
void saveAsNobody(const QString& path) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        std::exit(2);
    TextSpool spool;
    spool.appendLine("text");
    try {
        exportText(spool, path);
    } catch (const Failure& failure) {
        std::cerr << failure.what() << std::endl;
        std::exit(0);
    }
    std::exit(1);
}

TEST(AtomicSaveDeathTest, ReadOnlyFolderOrFileFails) {
    // Under /tmp, which nobody may pass through whatever TMPDIR says.
    QTemporaryDir dir(QStringLiteral("/tmp/qm-read-only-XXXXXX"));
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(dir.path(), readOnly | QFile::WriteOwner);
    const QString locked = dir.filePath(QStringLiteral("locked"));
    const QString open = dir.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(locked));
    ASSERT_TRUE(QDir().mkdir(open));
    writeFile(locked + QStringLiteral("/old.docx"), kPrevious);
    writeFile(open + QStringLiteral("/old.docx"), kPrevious);
    QFile::setPermissions(locked, readOnly);
    QFile::setPermissions(open, readOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
    QFile::setPermissions(open + QStringLiteral("/old.docx"),
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    EXPECT_EXIT(saveAsNobody(locked + QStringLiteral("/new.docx")), ::testing::ExitedWithCode(0),
                "Could not save '.*/locked/new.docx': Permission denied");
    EXPECT_EXIT(saveAsNobody(locked + QStringLiteral("/old.docx")), ::testing::ExitedWithCode(0),
                "Could not save '.*/locked/old.docx': Permission denied");
    EXPECT_EXIT(saveAsNobody(open + QStringLiteral("/old.docx")), ::testing::ExitedWithCode(0),
                "Could not save '.*/open/old.docx': Permission denied");
    EXPECT_EQ(entriesOf(locked), QStringList{QStringLiteral("old.docx")});
    EXPECT_EQ(entriesOf(open), QStringList{QStringLiteral("old.docx")});
    EXPECT_EQ(contentsOf(locked + QStringLiteral("/old.docx")), kPrevious);
    EXPECT_EQ(contentsOf(open + QStringLiteral("/old.docx")), kPrevious);
}

// A real write failure, made with a file size limit in a child process.
TEST(AtomicSaveDeathTest, DiskFullKeepsThePreviousFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.docx"));
    writeFile(path, kPrevious);
    EXPECT_EXIT(
        {
            TextSpool spool(64 * 1024 * 1024);  // in memory: the limit is for the document file
            for (int i = 0; i < 200000; ++i)
                spool.appendLine("record " + std::to_string(i * 2654435761u));
            test::limitFileSize(256 * 1024);
            try {
                exportText(spool, path);
            } catch (const Failure& failure) {
                std::cerr << failure.what() << std::endl;
                std::exit(0);
            }
            std::exit(1);
        },
        ::testing::ExitedWithCode(0), "Could not save '.*/big.docx': File too large");
    EXPECT_EQ(contentsOf(path), kPrevious);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("big.docx")});
}

}  // namespace
}  // namespace qm
