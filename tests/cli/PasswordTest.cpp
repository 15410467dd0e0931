// Database passwords on the command line's two channels, the password file and
// QUILLMERGE_PASSWORD, and the promise that a password is never printed.

#include "CliSupport.h"

#include <QDir>
#include <QFile>

using namespace qm::clitest;
using qm::test::corpusFile;

namespace {

const QString kPassword = QStringLiteral("Pä ss;wörd=1");

const QByteArray kLockedDatabase = R"({"password": "Pä ss;wörd=1", "tables": [
    {"name": "Secret", "columns": [{"name": "Id", "type": "long"}, {"name": "Value", "type": "text"}],
     "rows": [[1, "only with the password"], [2, null]]}]})";

const QStringList kSecretDocument{QStringLiteral("Id,Value"), QStringLiteral("1,only with the password"),
                                  QStringLiteral("2,")};

// Neither the password nor any wrong guess may show up in what the program prints.
void expectNoSecret(const RunResult& r, const QStringList& secrets) {
    for (const QString& secret : secrets) {
        EXPECT_FALSE(r.out.contains(secret.toUtf8())) << "stdout shows a password: " << r.out.toStdString();
        EXPECT_FALSE(r.err.contains(secret.toUtf8())) << "stderr shows a password: " << r.err.toStdString();
    }
}

class PasswordChannels : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        database_ = makeDatabase(dir_, QStringLiteral("locked"), kLockedDatabase);
        ASSERT_FALSE(database_.isEmpty());
    }

    QString passwordFile(const QByteArray& content) {
        const QString path = dir_.filePath(QStringLiteral("password-%1.txt").arg(++files_));
        writeBytes(path, content);
        return path;
    }

    RunResult exportSecret(const QStringList& extra, const QProcessEnvironment& environment) {
        output_ = dir_.filePath(QStringLiteral("secret-%1.docx").arg(++files_));
        return runExport(QStringList{database_, QStringLiteral("--table"), QStringLiteral("Secret"),
                                     QStringLiteral("--output"), output_} +
                             extra,
                         environment);
    }

    QTemporaryDir dir_;
    QString database_;
    QString output_;
    int files_ = 0;
};

}  // namespace

TEST_F(PasswordChannels, PasswordFileDropsOneLineEndOnly) {
    const QByteArray password = kPassword.toUtf8();
    struct Case {
        const char* what;
        QByteArray content;
        bool opens;
    };
    const Case cases[] = {
        {"line feed at the end", password + "\n", true},
        {"no line end", password, true},
        {"CR LF at the end", password + "\r\n", true},
        {"two line ends", password + "\n\n", false},
        {"trailing blank", password + " \n", false},
        {"leading blank", " " + password + "\n", false},
        {"other case", kPassword.toUpper().toUtf8() + "\n", false},
        {"empty file", QByteArray(), false},
        {"only a line end", "\n", false},
    };
    const QStringList secrets{kPassword, kPassword.toUpper()};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r =
            exportSecret({QStringLiteral("--password-file"), passwordFile(c.content)}, ExportEnvironment());
        expectNoSecret(r, secrets);
        if (c.opens) {
            EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
            EXPECT_TRUE(r.err.isEmpty());
            const auto document = ReadDocx(output_);
            ASSERT_TRUE(document);
            EXPECT_EQ(document->paragraphs, kSecretDocument);
            EXPECT_FALSE(document->parts.contains(kPassword)) << "the document holds the password";
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(IsOneLineMessage(r.err));
            EXPECT_TRUE(r.err.contains("password")) << r.err.toStdString();
            EXPECT_FALSE(QFile::exists(output_));
        }
    }
}

TEST_F(PasswordChannels, EnvironmentVariableAndItsPrecedence) {
    const QString wrong = QStringLiteral("not the password");
    const QString rightFile = passwordFile(kPassword.toUtf8() + "\n");
    const QString wrongFile = passwordFile(wrong.toUtf8() + "\n");
    struct Case {
        const char* what;
        QStringList arguments;
        QProcessEnvironment environment;
        bool opens;
    };
    const Case cases[] = {
        {"right in the environment", {}, ExportEnvironment(kPassword), true},
        {"wrong in the environment", {}, ExportEnvironment(wrong), false},
        {"empty in the environment", {}, ExportEnvironment(QString()), false},
        {"none at all", {}, ExportEnvironment(), false},
        // The option names the file on purpose, so it wins over the environment.
        {"right file, wrong environment",
         {QStringLiteral("--password-file"), rightFile},
         ExportEnvironment(wrong),
         true},
        {"wrong file, right environment",
         {QStringLiteral("--password-file"), wrongFile},
         ExportEnvironment(kPassword),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = exportSecret(c.arguments, c.environment);
        expectNoSecret(r, {kPassword, wrong});
        if (c.opens) {
            EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
            const auto document = ReadDocx(output_);
            ASSERT_TRUE(document);
            EXPECT_EQ(document->paragraphs, kSecretDocument);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(IsOneLineMessage(r.err));
            EXPECT_FALSE(QFile::exists(output_));
        }
    }
    // Listing the tables needs the password just the same.
    const RunResult locked = runExport({database_, QStringLiteral("--list-tables")});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_TRUE(IsOneLineMessage(locked.err));
    const RunResult listed =
        runExport({database_, QStringLiteral("--list-tables")}, ExportEnvironment(kPassword));
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out, "Secret\n");
    expectNoSecret(listed, {kPassword});
}

TEST_F(PasswordChannels, UnreadablePasswordFileIsAFailureNamingTheFile) {
    const QString missing = dir_.filePath(QStringLiteral("no-such-password.txt"));
    const QString folder = dir_.filePath(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& file : {missing, folder}) {
        SCOPED_TRACE(file.toStdString());
        // The right password in the environment must not paper over the broken file.
        const RunResult r =
            exportSecret({QStringLiteral("--password-file"), file}, ExportEnvironment(kPassword));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(IsOneLineMessage(r.err));
        EXPECT_TRUE(r.err.contains(file.toUtf8())) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(output_));
        expectNoSecret(r, {kPassword});
    }
}

TEST_F(PasswordChannels, DatabaseWithoutPasswordOpensWhateverIsGiven) {
    QTemporaryDir dir;
    const QString open = makeDatabase(dir, QStringLiteral("open"), R"({"tables": [
        {"name": "T", "columns": [{"name": "A", "type": "long"}], "rows": [[7]]}]})");
    const QString output = dir.filePath(QStringLiteral("t.docx"));
    const RunResult r =
        runExport({open, QStringLiteral("--table"), QStringLiteral("T"), QStringLiteral("--output"), output},
                  ExportEnvironment(QStringLiteral("anything")));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const auto document = ReadDocx(output);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->paragraphs, (QStringList{QStringLiteral("A"), QStringLiteral("7")}));
}

// Files Access wrote: Jet 4 passwords in the header, and ACE files encrypted
// with the password (RC4 as Access 2007 writes it, and the agile scheme).
TEST(CorpusPasswords, RightWrongAndMissingPasswords) {
    QM_REQUIRE_CORPUS();
    struct Case {
        const char* file;
        const char* password;
        qsizetype records;  // -1: not known beforehand
    };
    const Case cases[] = {
        {"V2000_with-password.mdb", "password", 3},        {"V2003_with-password.mdb", "password", 3},
        {"V2010_with-password.accdb", "password", 3},      {"office-agile-4.4.accdb", "password", 3},
        {"access2007-rc4-encrypted.accdb", "Test123", -1},
    };
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    const QByteArray previous = "previous";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString database = corpusFile(QString::fromLatin1(c.file));
        const QString password = QString::fromLatin1(c.password);
        const QStringList arguments{database, QStringLiteral("--table"), QStringLiteral("Table1"),
                                    QStringLiteral("--output"), output};
        const QStringList guesses{password.toUpper(), password + QStringLiteral("#1"),
                                  QStringLiteral("#1") + password};
        // Two of these files use the word "password" as their password, which
        // the message about a wrong one rightly contains.
        const QStringList secrets =
            guesses + (password == QLatin1String("password") ? QStringList() : QStringList{password});
        for (const QString& guess : QStringList{QString()} + guesses) {
            SCOPED_TRACE("guess \"" + guess.toStdString() + "\"");
            writeBytes(output, previous);
            const RunResult r =
                runExport(arguments, guess.isNull() ? ExportEnvironment() : ExportEnvironment(guess));
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(IsOneLineMessage(r.err));
            EXPECT_TRUE(r.err.contains("password")) << r.err.toStdString();
            EXPECT_EQ(readBytes(output), previous);
            expectNoSecret(r, secrets);
        }

        const RunResult listed =
            runExport({database, QStringLiteral("--list-tables")}, ExportEnvironment(password));
        EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
        EXPECT_EQ(listed.out, "Table1\n");

        QFile::remove(output);
        const RunResult exported = runExport(arguments, ExportEnvironment(password));
        EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
        EXPECT_TRUE(exported.err.isEmpty());
        expectNoSecret(exported, secrets);
        const auto document = ReadDocx(output);
        ASSERT_TRUE(document);
        ASSERT_FALSE(document->paragraphs.isEmpty());
        EXPECT_TRUE(document->paragraphs.front().startsWith(QStringLiteral("ID,"), Qt::CaseInsensitive))
            << document->paragraphs.front().toStdString();
        if (c.records >= 0) {
            EXPECT_EQ(document->paragraphs.size(), 1 + c.records);
        } else {
            EXPECT_GE(document->paragraphs.size(), 2);
        }
        EXPECT_FALSE(document->parts.contains(password)) << "the document holds the password";
    }
}
