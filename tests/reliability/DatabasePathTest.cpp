// Database paths that name no database file: folders, pipes, devices, empty
// and huge files, link loops, files that vanish or change between the pages
// of the wizard. Each gets one clear line, quickly, and no document.

#include "ReliabilitySupport.h"
#include "database/Catalogue.h"
#include "database/ConnectionString.h"
#include "export/ExportRun.h"
#include "export/document/NativeWord.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace qm::reliability;

namespace {

const QByteArray kDatabase = R"({"tables": [{"name": "Customers",
    "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 40}],
    "rows": [[1, "Ann"], [2, "Bob"]]}]})";

const QByteArray kOtherDatabase = R"({"tables": [{"name": "Suppliers",
    "columns": [{"name": "Id", "type": "long"}], "rows": [[7]]}]})";

class DatabasePath : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        good_ = path(QStringLiteral("good.mdb"));
        makeDatabase(good_, kDatabase);
        output_ = path(QStringLiteral("out.docx"));
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // The file's first page only, then a hole up to size bytes.
    QString sparseCopy(const QString& name, const QString& from, qint64 size) {
        const QString copy = path(name);
        writeBytes(copy, readBytes(from).left(4096));
        EXPECT_TRUE(QFile(copy).resize(size));
        return copy;
    }

    QTemporaryDir dir_;
    QString good_, output_;
};

TEST_F(DatabasePath, WhatIsNoDatabaseFileIsNamedInOneLineWithoutWaiting) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.mdb")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.mdb"))).constData(), 0600), 0);
    writeBytes(path(QStringLiteral("empty.mdb")), QByteArray());
    writeBytes(path(QStringLiteral("text.mdb")), QByteArray("just some text\n").repeated(400));
    ASSERT_EQ(::symlink("loop-b.mdb", QFile::encodeName(path(QStringLiteral("loop-a.mdb"))).constData()), 0);
    ASSERT_EQ(::symlink("loop-a.mdb", QFile::encodeName(path(QStringLiteral("loop-b.mdb"))).constData()), 0);
    ASSERT_EQ(::symlink("gone.mdb", QFile::encodeName(path(QStringLiteral("dangling.mdb"))).constData()), 0);
    // 64 GB that take no room: a real header page, then nothing.
    const QString sparse = sparseCopy(QStringLiteral("sparse.mdb"), good_, 64ll << 30);

    struct Case {
        QString database;
        QString reason;
    };
    const Case cases[] = {
        {path(QStringLiteral("folder.mdb")), QStringLiteral("It is a folder")},
        {path(QStringLiteral("pipe.mdb")), QStringLiteral("Unrecognized database format")},
        {QStringLiteral("/dev/zero"), QStringLiteral("Unrecognized database format")},
        {QStringLiteral("/dev/null"), QStringLiteral("Unrecognized database format")},
        {path(QStringLiteral("empty.mdb")), QStringLiteral("Unrecognized database format")},
        {path(QStringLiteral("text.mdb")), QStringLiteral("Unrecognized database format")},
        {path(QStringLiteral("loop-a.mdb")), QStringLiteral("Could not find file")},
        {path(QStringLiteral("dangling.mdb")), QStringLiteral("Could not find file")},
        {sparse, QStringLiteral("damaged")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database.toStdString());
        const Outcome listing = runExport({c.database, QStringLiteral("--list-tables")});
        EXPECT_TRUE(listing.exited(1)) << listing.err.toStdString();
        EXPECT_TRUE(IsOneLineMessage(listing.err, {c.database, c.reason}));
        const Outcome exported =
            runExport({c.database, QStringLiteral("--table"), QStringLiteral("Customers"),
                       QStringLiteral("--output"), output_});
        EXPECT_TRUE(exported.exited(1)) << exported.err.toStdString();
        EXPECT_TRUE(IsOneLineMessage(exported.err, {c.database}));
        EXPECT_FALSE(QFile::exists(output_));
    }
}

TEST_F(DatabasePath, AHugeEncryptedFileIsRefusedBeforeItIsRead) {
    // The header of an encrypted database (whose password is known) in front
    // of 12 GB of nothing: decrypting it would take all memory and minutes.
    const QString encrypted = path(QStringLiteral("encrypted.accdb"));
    writeBytes(encrypted, encryptedDatabase(QStringLiteral("password")));
    const QString huge = sparseCopy(QStringLiteral("huge.accdb"), encrypted, 12ll << 30);
    const Outcome outcome =
        runExport({huge, QStringLiteral("--list-tables")}, ExportEnvironment(QStringLiteral("password")));
    EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
    EXPECT_TRUE(IsOneLineMessage(outcome.err, {huge, QStringLiteral("2 GB")}));
}

TEST_F(DatabasePath, AnUnreadableFileSaysSo) {
    if (!permissionsAreEnforced())
        GTEST_SKIP() << "running as root and unable to become nobody";
    QFile::setPermissions(dir_.path(), QFile::Permissions(0x7755));
    const QString locked = path(QStringLiteral("locked.mdb"));
    ASSERT_TRUE(QFile::copy(good_, locked));
    QFile::setPermissions(locked, QFile::WriteOwner);
    ExportOptions options;
    options.inChild = runAsOrdinaryUserInChild;
    const Outcome outcome = runExport({locked, QStringLiteral("--list-tables")}, options);
    EXPECT_TRUE(outcome.exited(1)) << outcome.err.toStdString();
    EXPECT_TRUE(IsOneLineMessage(outcome.err, {locked, QStringLiteral("permission")}));
}

// The wizard lists the tables on page 1's "Next >" and opens the database
// again on "Finish"; in between the file may go away or change.
TEST_F(DatabasePath, AFileChangedBetweenNextAndFinishFailsTheRunWithoutADocument) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> change;
        int line;
        QString reason;
    };
    const Case cases[] = {
        {"deleted", [](const QString& db) { QFile::remove(db); }, 114, QStringLiteral("Could not find file")},
        {"replaced by another database",
         [](const QString& db) {
             QFile::remove(db);
             makeDatabase(db, kOtherDatabase);
         },
         116, QStringLiteral("cannot find the input table")},
        {"replaced by text", [](const QString& db) { writeBytes(db, QByteArray(8192, 'x')); }, 114,
         QStringLiteral("Unrecognized database format")},
        {"cut short", [](const QString& db) { QFile(db).resize(4096 * 2); }, 114, QStringLiteral("damaged")},
        {"replaced by a folder",
         [](const QString& db) {
             QFile::remove(db);
             QDir().mkdir(db);
         },
         114, QStringLiteral("folder")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CustomersExport inputs;
        inputs.path = path(QStringLiteral("changing.mdb"));
        inputs.output = output_;
        QDir(inputs.path).removeRecursively();
        QFile::remove(inputs.path);
        ASSERT_TRUE(QFile::copy(good_, inputs.path));
        // "Next >": the tables are listed.
        const auto tables = qm::GetTableNames(inputs.path, qm::FixedDatabaseLocation(inputs.path, QString()));
        ASSERT_TRUE(tables);
        EXPECT_EQ(*tables, QStringList{QStringLiteral("Customers")});
        c.change(inputs.path);
        // "Finish".
        qm::RecordingErrorSink errors;
        qm::Procedure proc(errors, QStringLiteral("Form4.PushButton4_Click"));
        qm::NativeWordProvider word;
        EXPECT_FALSE(qm::RunExport(proc, inputs, word));
        ASSERT_FALSE(errors.reports.empty());
        EXPECT_EQ(errors.reports.front().line, c.line);
        EXPECT_TRUE(errors.reports.front().description.contains(c.reason))
            << errors.reports.front().description.toStdString();
        EXPECT_FALSE(QFile::exists(output_));
    }
}

}  // namespace
