#include "DatabaseTestSupport.h"
#include "database/JetHeader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using qm::Connection;
using qm::DatabaseError;
using namespace qm::test;

namespace {

const QString kJetForm =
    QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=%1;JET OLEDB:Database Password=%2");
const QString kAceForm =
    QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%1;JET OLEDB:Database Password=%2");

// The description an open of the string fails with, or "" when it opens.
QString openFailure(const QString& connectionString) {
    try {
        Connection connection;
        connection.Open(connectionString);
        return QString();
    } catch (const DatabaseError& error) {
        return error.description();
    }
}

QString notValidPassword() {
    return qm::dbmessages::kNotAValidPassword;
}
QString unrecognized(const QString& path) {
    return QStringLiteral("Unrecognized database format '%1'.").arg(path);
}

// A copy of the file with the password written into its header opens with
// that password only, and gives the two rows of its Table1.
void expectLockedCopyOpens(const QTemporaryDir& dir, const QString& original, const QString& password) {
    SCOPED_TRACE(original.toStdString() + " / " + password.toStdString());
    QByteArray bytes = fileBytes(original);
    QByteArray header = bytes.left(qm::jet::kHeaderBytes);
    qm::jet::WritePassword(header, password);
    bytes.replace(0, header.size(), header);
    const QString path = dir.filePath(QStringLiteral("locked.mdb"));
    writeBytes(path, bytes);
    EXPECT_EQ(openFailure(qm::BuildConnectionString(path, password)), QString());
    EXPECT_EQ(openFailure(qm::BuildConnectionString(path, QString())), notValidPassword());
    EXPECT_EQ(openFailure(qm::BuildConnectionString(path, password.toUpper())), notValidPassword());
    auto connection = openDatabase(path, password);
    EXPECT_EQ(readTable(*connection, QStringLiteral("Table1")).rows.size(), 2u);
}

}  // namespace

TEST(Connection, Jet4FilesOpenWithEitherProviderAndTheirPasswordOnly) {
    const QString locked = fixtureFile("password");
    const QString open = fixtureFile("test-tables");
    // Both providers open a Jet 4 file; the Jet one no ACE file (FilesMadeByAccess).
    EXPECT_EQ(openFailure(kJetForm.arg(open, QString())), QString());
    EXPECT_EQ(openFailure(kAceForm.arg(open, QString())), QString());
    const std::pair<QString, bool> cases[] = {
        {QStringLiteral("Pass word;1"), true},
        {QString(), false},
        {QStringLiteral("pass word;1"), false},  // case counts
        {QStringLiteral("Pass word;1 "), false},
        {QStringLiteral("Pass word;"), false},
        {QStringLiteral("Pass word;1Pass word;1"), false},
    };
    for (const auto& [password, opens] : cases) {
        SCOPED_TRACE(password.toStdString());
        EXPECT_EQ(openFailure(qm::BuildConnectionString(locked, password)),
                  opens ? QString() : notValidPassword());
    }
    // A database without a password opens whatever is typed in the box.
    EXPECT_EQ(openFailure(qm::BuildConnectionString(open, QStringLiteral("anything"))), QString());
    // The right password also gives the data.
    auto connection = openDatabase(locked, QStringLiteral("Pass word;1"));
    EXPECT_EQ(readTable(*connection, QStringLiteral("Secret")).rows,
              (TextRows{{"1", "only with the password"}, {"2", ""}}));
}

TEST(Connection, PasswordsStoredByTheHeaderWriterAreAccepted) {
    // Jet 4 passwords beyond ASCII and of the longest length: the reader must
    // accept exactly what the writer stored (Jet 3 in FilesMadeByAccess).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& password : {QStringLiteral("pässwörd€漢"), QStringLiteral("abcdefghijklmnopqrst")})
        expectLockedCopyOpens(dir, fixtureFile("test-tables"), password);
}

TEST(Connection, FilesThatAreNoDatabaseFailWithAClearDescription) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.mdb"));
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    const QString text = dir.filePath(QStringLiteral("notes.accdb"));
    const QString noise = dir.filePath(QStringLiteral("noise.mdb"));
    const QString folder = dir.filePath(QStringLiteral("folder.mdb"));
    const QString fifo = dir.filePath(QStringLiteral("pipe.mdb"));
    writeBytes(empty, QByteArray());
    writeBytes(text, QByteArray("Name;Town\nAnn;Oslo\n"));
    QByteArray random(100000, '\0');
    QRandomGenerator generator(42);
    for (char& c : random)
        c = static_cast<char>(generator.bounded(256));
    writeBytes(noise, random);
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const std::pair<QString, QString> cases[] = {
        {missing, QStringLiteral("Could not find file '%1'.").arg(missing)},
        {dir.filePath(QStringLiteral("no/such/dir/x.mdb")),
         QStringLiteral("Could not find file '%1'.").arg(dir.filePath(QStringLiteral("no/such/dir/x.mdb")))},
        {QString(), QStringLiteral("Could not find file ''.")},
        {empty, unrecognized(empty)},
        {text, unrecognized(text)},
        {noise, unrecognized(noise)},
        {fifo, unrecognized(fifo)},  // never read: it would block
        {QStringLiteral("/dev/null"), unrecognized(QStringLiteral("/dev/null"))},
        {folder,
         QStringLiteral("The database engine cannot open the file '%1'. It is a folder, not a database file.")
             .arg(folder)},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(openFailure(qm::BuildConnectionString(path, QString())), expected);
    }
}

TEST(Connection, UnreadableFilesFailWithAClearDescription) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("locked.mdb"));
    ASSERT_TRUE(QFile::copy(fixtureFile("test-tables"), path));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    EXPECT_EQ(
        openFailure(qm::BuildConnectionString(path, QString())),
        QStringLiteral("The database engine cannot open the file '%1'. You need permission to read its data.")
            .arg(path));
}

TEST(Connection, TheFileIsOnlyEverRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& original : {fixtureFile("test-tables"), sampleFile(), fixtureFile("calculated")}) {
        SCOPED_TRACE(original.toStdString());
        const QString path = dir.filePath(QFileInfo(original).fileName());
        ASSERT_TRUE(QFile::copy(original, path));
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QByteArray before = QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256);
        const QDateTime modified = QFileInfo(path).lastModified();
        {
            Connection connection;
            connection.setMode(qm::adModeReadWrite);
            connection.Open(qm::BuildConnectionString(path, QString()));
            EXPECT_EQ(connection.mode(), qm::adModeReadWrite);
            connection.setCursorLocation(qm::adUseClient);
            for (const QString& table : schemaNames(connection))
                readTable(connection, table);
        }
        EXPECT_EQ(QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256), before);
        EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    }
    // A file the user may not write opens all the same, even asked for read-write.
    const QString readOnly = dir.filePath(QStringLiteral("read-only.mdb"));
    ASSERT_TRUE(QFile::copy(fixtureFile("test-tables"), readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner));
    Connection connection;
    connection.setMode(qm::adModeReadWrite);
    connection.Open(qm::BuildConnectionString(readOnly, QString()));
    EXPECT_EQ(readTable(connection, QStringLiteral("Table1")).rows.size(), 2u);
}

TEST(Connection, OperationsOutOfTurnFailLikeTheProvider) {
    const QString closed = QStringLiteral("Operation is not allowed when the object is closed.");
    const QString open = QStringLiteral("Operation is not allowed when the object is open.");
    auto failure = [](auto&& action) {
        try {
            action();
            return QString();
        } catch (const DatabaseError& error) {
            return error.description();
        }
    };
    Connection connection;
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(failure([&] { connection.Close(); }), closed);
    EXPECT_EQ(failure([&] { connection.OpenSchema(qm::adSchemaTables); }), closed);
    connection.Open(qm::BuildConnectionString(fixtureFile("test-tables"), QString()));
    EXPECT_TRUE(connection.isOpen());
    EXPECT_EQ(
        failure([&] { connection.Open(qm::BuildConnectionString(fixtureFile("test-tables"), QString())); }),
        open);
    EXPECT_EQ(failure([&] { connection.setMode(qm::adModeRead); }), open);
    EXPECT_EQ(failure([&] { connection.OpenSchema(4); }),
              QStringLiteral("Object or provider is not capable of performing requested operation."));
    connection.Close();
    EXPECT_FALSE(connection.isOpen());
    // A closed connection opens again.
    connection.Open(qm::BuildConnectionString(sampleFile(), QString()));
    EXPECT_EQ(schemaNames(connection).size(), 4);
}

// What only files made by Access show: the formats of Jet 3 and of ACE, which
// the Jet provider does not open, the passwords Access stored itself, Jet 3
// passwords, and encrypted ACE files.
TEST(Connection, FilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    const std::pair<const char*, bool> formats[] = {
        // Whether the Jet form opens it; the ACE form opens every readable file.
        {"V1997_test.mdb", true},      {"northwind-jet3.mdb", true}, {"V2000_test.mdb", true},
        {"V2003_test.mdb", true},      {"V2007_test.accdb", false},  {"V2010_test.accdb", false},
        {"V2016_bigint.accdb", false}, {"V2016_empty.accdb", false},
    };
    for (const auto& [file, jetOpens] : formats) {
        SCOPED_TRACE(file);
        const QString path = corpusFile(QString::fromLatin1(file));
        EXPECT_EQ(openFailure(kJetForm.arg(path, QString())), jetOpens ? QString() : unrecognized(path));
        EXPECT_EQ(openFailure(kAceForm.arg(path, QString())), QString());
    }

    const std::tuple<const char*, QString, bool> passwords[] = {
        {"V2000_with-password.mdb", QStringLiteral("password"), true},
        {"V2003_with-password.mdb", QStringLiteral("password"), true},
        {"V2000_with-password.mdb", QString(), false},
        {"V2000_with-password.mdb", QStringLiteral("Password"), false},  // case counts
        {"V2000_with-password.mdb", QStringLiteral("password "), false},
        {"V2003_with-password.mdb", QStringLiteral("passwor"), false},
        {"V2003_with-password.mdb", QStringLiteral("passwordpassword"), false},
        // A database without a password opens whatever is typed in the box.
        {"V2000_test.mdb", QStringLiteral("anything"), true},
        {"V1997_test.mdb", QStringLiteral("anything"), true},
        {"V2010_test.accdb", QStringLiteral("anything"), true},
    };
    for (const auto& [file, password, opens] : passwords) {
        SCOPED_TRACE(std::string(file) + " / " + password.toStdString());
        EXPECT_EQ(openFailure(qm::BuildConnectionString(corpusFile(QString::fromLatin1(file)), password)),
                  opens ? QString() : notValidPassword());
    }
    auto plain = openCorpus(QStringLiteral("V2003_with-password.mdb"), QStringLiteral("password"));
    const auto expected = readTable(*plain, QStringLiteral("Table1"));
    EXPECT_EQ(expected.rows, (TextRows{{"1", "One"}, {"2", "Two"}, {"3", "Three"}}));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& password : {QStringLiteral("geheim"), QStringLiteral("Größe;=\"x\"")})
        expectLockedCopyOpens(dir, corpusFile(QStringLiteral("V1997_test.mdb")), password);

    const std::tuple<const char*, const char*, std::size_t> encrypted[] = {
        {"V2010_with-password.accdb", "password", 3},
        {"office-agile-4.4.accdb", "password", 3},
        {"access2007-rc4-encrypted.accdb", "Test123", 1},
    };
    for (const auto& [file, text, rows] : encrypted) {
        SCOPED_TRACE(file);
        const QString path = corpusFile(QString::fromLatin1(file));
        const QString password = QString::fromLatin1(text);
        EXPECT_EQ(openFailure(qm::BuildConnectionString(path, password)), QString());
        auto connection = openDatabase(path, password);
        EXPECT_EQ(schemaNames(*connection), QStringList{QStringLiteral("Table1")});
        const auto table = readTable(*connection, QStringLiteral("Table1"));
        EXPECT_EQ(table.rows.size(), rows);
        if (rows == expected.rows.size()) {
            EXPECT_EQ(table.rows, expected.rows);  // the same table as the Jet 4 file
        }
        for (const QString& wrong : {QString(), password.toUpper(), password + QLatin1Char(' ')})
            EXPECT_EQ(openFailure(qm::BuildConnectionString(path, wrong)), notValidPassword());
        // The Jet provider does not know the format at all.
        EXPECT_EQ(openFailure(kJetForm.arg(path, password)), unrecognized(path));
    }
}
