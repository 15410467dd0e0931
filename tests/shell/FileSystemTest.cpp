#include "shell/FileSystem.h"

#include "shell/BuildConfig.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

TEST(FileExists, TellsFilesAndDirectoriesFromEverythingElse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("a b;c*.mdb"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    EXPECT_TRUE(qm::FileExists(file));
    EXPECT_TRUE(qm::FileExists(dir.path()));  // a directory has a date too
    EXPECT_FALSE(qm::FileExists(QString()));
    EXPECT_FALSE(qm::FileExists(dir.filePath(QStringLiteral("missing.mdb"))));
    EXPECT_FALSE(qm::FileExists(dir.filePath(QStringLiteral("*.mdb"))));
    EXPECT_FALSE(qm::FileExists(file + QStringLiteral("/below")));
    EXPECT_FALSE(qm::FileExists(QString::fromUtf8("bad\0name", 8)));
}

TEST(DirectoryOfPath, KeepsEverythingUpToTheLastSlash) {
    EXPECT_EQ(qm::DirectoryOfPath(QStringLiteral("/home/ann/db/x.mdb")), QStringLiteral("/home/ann/db/"));
    EXPECT_EQ(qm::DirectoryOfPath(QStringLiteral("x.mdb")), QString());
    EXPECT_EQ(qm::DirectoryOfPath(QStringLiteral("/home/ann/")), QStringLiteral("/home/ann/"));
    EXPECT_EQ(qm::DirectoryOfPath(QString()), QString());
    EXPECT_EQ(qm::DirectoryOfPath(QStringLiteral("C:\\data\\x.mdb")), QString());  // '\' is no separator here
}

TEST(AppDirectoryFor, FindsTheProgramsFilesBesideItThenInTheInstalledDataFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString data =
        QDir::cleanPath(bin + QLatin1Char('/') + QString::fromUtf8(qm::kAppFilesFromProgram));
    ASSERT_TRUE(QDir().mkpath(bin));
    auto put = [](const QString& path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };

    // Nothing anywhere: the program's own folder, as before.
    EXPECT_EQ(qm::AppDirectoryFor(bin), bin);
    // An installed copy: only the data folder holds the sample database.
    put(data + QStringLiteral("/Samples/sample.mdb"));
    EXPECT_EQ(qm::AppDirectoryFor(bin), data);
    // The build tree's layout wins: any of the files beside the program.
    put(bin + QStringLiteral("/HAND-M.CUR"));
    EXPECT_EQ(qm::AppDirectoryFor(bin), bin);
}
