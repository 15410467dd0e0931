// What the program leaves on disk and where it writes: the settings file is
// its owner's alone, a password goes to the keyring when there is one, no
// decrypted database reaches the disk, files planted where a careless save
// would write are left alone, and no input is ever handed to a shell.

#include "ReliabilitySupport.h"
#include "shell/Settings.h"
#include "shell/Texts.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

using namespace qm::reliability;

namespace {

const QByteArray kSmall = R"({"tables": [{"name": "Customers",
    "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text", "size": 40}],
    "rows": [[1, "Ann"], [2, "Bob"]]}]})";

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// A keyring that takes every secret (the real one is tested in tests/pages
// against a keyring daemon; this one says what the settings file then holds).
class AcceptingKeyring : public qm::SecretStore {
  public:
    std::optional<QString> readSecret(const QString& key) override {
        const auto found = secrets.find(key);
        return found == secrets.end() ? std::nullopt : std::optional<QString>(found->second);
    }
    bool writeSecret(const QString& key, const QString& value) override {
        secrets[key] = value;
        return true;
    }
    std::map<QString, QString> secrets;
};

class RefusingKeyring : public qm::SecretStore {
  public:
    std::optional<QString> readSecret(const QString&) override { return std::nullopt; }
    bool writeSecret(const QString&, const QString&) override { return false; }
};

// Sets the umask for the scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }

  private:
    mode_t previous_;
};

}  // namespace

TEST(Security, TheSettingsFileIsItsOwnersAloneWhateverTheUmask) {
    const QString secret = QStringLiteral("s3cret password");
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(077)}) {
        SCOPED_TRACE(mask);
        Umask umask(mask);
        QTemporaryDir home;
        const QString file = home.filePath(QStringLiteral("config/Fennick.conf"));

        RefusingKeyring noKeyring;
        qm::SettingsStore settings(file, &noKeyring);
        ASSERT_TRUE(settings.WriteSetting(qm::texts::kKeyDatabase, QStringLiteral("/data/db.mdb")));
        EXPECT_EQ(modeOf(file), mode_t(0600));
        ASSERT_TRUE(settings.WriteSetting(qm::texts::kKeyPassword, secret));
        EXPECT_EQ(modeOf(file), mode_t(0600));
        ASSERT_TRUE(settings.WriteSetting(qm::texts::kKeyOutputFile, QStringLiteral("/data/out.docx")));
        EXPECT_EQ(modeOf(file), mode_t(0600));
        // Nothing else beside it: a rewrite goes through a file of the same mode.
        EXPECT_EQ(entriesOf(QFileInfo(file).path()), QStringList{QStringLiteral("Fennick.conf")});
    }
}

TEST(Security, WithAKeyringThePasswordNeverReachesTheSettingsFile) {
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("Fennick.conf"));
    const QString secret = QStringLiteral("kept in the keyring");
    {
        // Written first while no keyring took it, then once one does.
        RefusingKeyring noKeyring;
        qm::SettingsStore before(file, &noKeyring);
        ASSERT_TRUE(before.WriteSetting(qm::texts::kKeyPassword, QStringLiteral("older password")));
    }
    AcceptingKeyring keyring;
    qm::SettingsStore settings(file, &keyring);
    ASSERT_TRUE(settings.WriteSetting(qm::texts::kKeyPassword, secret));
    ASSERT_TRUE(settings.WriteSetting(qm::texts::kKeyDatabase, QStringLiteral("/data/db.mdb")));
    settings.StoreSecrets();  // page 1 is left
    EXPECT_EQ(keyring.secrets[qm::texts::kKeyPassword], secret);
    const QByteArray stored = readBytes(file);
    EXPECT_FALSE(stored.contains("kept in the keyring"));
    EXPECT_FALSE(stored.contains("older password"));
    EXPECT_TRUE(stored.contains("db.mdb"));
    EXPECT_EQ(settings.ReadSetting(qm::texts::kKeyPassword), secret);
}

TEST(Security, AnEncryptedDatabaseLeavesNothingOnDiskButTheDocument) {
    QTemporaryDir home, temporary, out, data;
    const QString database = data.filePath(QStringLiteral("encrypted.accdb"));
    writeBytes(database, encryptedDatabase(QStringLiteral("password")));
    ExportOptions options;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        options.environment.insert(QString::fromLatin1(name), home.path());
    options.environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    options.environment.insert(QStringLiteral("QUILLMERGE_PASSWORD"), QStringLiteral("password"));
    const QString document = out.filePath(QStringLiteral("doc.docx"));
    const Outcome outcome = runExport(
        {database, QStringLiteral("--table"), QStringLiteral("Table1"), QStringLiteral("--output"), document},
        options);
    ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    EXPECT_EQ(entriesOf(home.path()), QStringList{});
    EXPECT_EQ(entriesOf(temporary.path()), QStringList{});
    EXPECT_EQ(entriesOf(data.path()), QStringList{QStringLiteral("encrypted.accdb")});
    EXPECT_EQ(entriesOf(out.path()), QStringList{QStringLiteral("doc.docx")});
    EXPECT_FALSE(outcome.err.contains("password"));
}

TEST(Security, FilesPlantedWhereACarelessSaveWouldWriteAreLeftAlone) {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("data.mdb"));
    makeDatabase(database, kSmall);
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    writeBytes(victim, "not to be touched");
    // The names other programs use for the file they save through, each a
    // link to the victim, planted by someone else in a shared folder.
    const QStringList planted = {QStringLiteral("doc.docx.tmp"),   QStringLiteral("doc.docx~"),
                                 QStringLiteral(".doc.docx.swp"),  QStringLiteral("doc.docx.part"),
                                 QStringLiteral(".doc.docx.part"), QStringLiteral("doc.docx.new")};
    for (const QString& name : planted)
        ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(),
                            QFile::encodeName(out + QLatin1Char('/') + name).constData()),
                  0);
    const QStringList before = entriesOf(out);

    QStringList seen;  // names that appeared in the folder while the document was saved
    ExportOptions options;
    options.whileRunning = [&](pid_t) {
        for (const QString& name : entriesOf(out))
            if (!before.contains(name) && !seen.contains(name))
                seen << name;
        return false;
    };
    for (int run = 0; run < 2; ++run) {
        const Outcome outcome = runExport({database, QStringLiteral("--table"), QStringLiteral("Customers"),
                                           QStringLiteral("--output"), out + QStringLiteral("/doc.docx")},
                                          options);
        ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    }
    EXPECT_EQ(readBytes(victim), "not to be touched");
    for (const QString& name : planted)
        EXPECT_TRUE(QFileInfo(out + QLatin1Char('/') + name).isSymLink()) << name.toStdString();
    QStringList expected = before;
    expected << QStringLiteral("doc.docx");
    expected.sort();
    EXPECT_EQ(entriesOf(out), expected);
    // Whatever temporary name a save used was not one of the planted ones.
    for (const QString& name : seen)
        EXPECT_FALSE(planted.contains(name)) << name.toStdString();
}

TEST(Security, NoInputIsEverHandedToAShell) {
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("pwned"));
    const QString injection = QStringLiteral("$(touch %1)`touch %1`;touch %1;|touch %1").arg(marker);
    const QString database = dir.filePath(QStringLiteral("data.mdb"));
    makeDatabase(database, kSmall);
    const QString strange = dir.filePath(injection.left(40).replace(QLatin1Char('/'), QLatin1Char('_')));
    ASSERT_TRUE(QFile::copy(database, strange));
    const QList<QStringList> runs = {
        {dir.filePath(injection), QStringLiteral("--list-tables")},
        {strange, QStringLiteral("--list-tables")},
        {database, QStringLiteral("--table"), injection, QStringLiteral("--output"),
         dir.filePath(QStringLiteral("a.docx"))},
        {database, QStringLiteral("--table"), QStringLiteral("Customers"), QStringLiteral("--field"),
         injection, QStringLiteral("--output"), dir.filePath(QStringLiteral("b.docx"))},
        {database, QStringLiteral("--table"), QStringLiteral("Customers"), QStringLiteral("--separator"),
         injection, QStringLiteral("--output"), dir.filePath(QStringLiteral("c.docx"))},
        {strange, QStringLiteral("--table"), QStringLiteral("Customers"), QStringLiteral("--output"),
         dir.filePath(injection.left(30).replace(QLatin1Char('/'), QLatin1Char('_')) +
                      QStringLiteral(".docx"))},
    };
    for (const QStringList& arguments : runs) {
        const Outcome outcome = runExport(arguments, ExportEnvironment(injection));
        EXPECT_TRUE(outcome.exited(0) || outcome.exited(1)) << outcome.err.toStdString();
        EXPECT_FALSE(QFile::exists(marker)) << arguments.join(QLatin1Char(' ')).toStdString();
    }
}
