// The settings store on real files: where it lives, what survives a restart,
// and the password kept owner-only when no keyring takes it.

#include "QtPrinting.h"
#include "common/TestSupport.h"
#include "shell/Failure.h"
#include "shell/Settings.h"
#include "shell/Texts.h"

#include <sys/stat.h>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

namespace {

using qm::SettingsStore;
namespace texts = qm::texts;

mode_t modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A keyring that refuses everything (locked, gone, or no answer).
class RefusingSecrets : public qm::SecretStore {
  public:
    std::optional<QString> readSecret(const QString&) override {
        ++reads;
        return std::nullopt;
    }
    bool writeSecret(const QString&, const QString&) override {
        ++writes;
        return false;
    }
    int reads = 0;
    int writes = 0;
};

// A keyring that takes everything and counts what it is asked.
class AcceptingSecrets : public qm::SecretStore {
  public:
    std::optional<QString> readSecret(const QString& key) override {
        ++reads;
        return held.contains(key) ? std::optional<QString>(held[key]) : std::nullopt;
    }
    bool writeSecret(const QString& key, const QString& value) override {
        ++writes;
        held[key] = value;
        return true;
    }
    QHash<QString, QString> held;
    int reads = 0;
    int writes = 0;
};

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString file() const { return dir.filePath(QStringLiteral("config/Fennick.conf")); }
    QTemporaryDir dir;
};

TEST_F(Settings, LiveInTheUsersConfigurationFolderUnderTheApplicationName) {
    // The test runs with a temporary home (see CMakeLists.txt), so this is
    // never the developer's own file.
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    ASSERT_FALSE(configHome.isEmpty());
    EXPECT_EQ(SettingsStore::defaultFileName(),
              QString::fromLocal8Bit(configHome) + QStringLiteral("/Fennick.conf"));
}

TEST_F(Settings, FirstRunGivesTheDefaults) {
    SettingsStore store(file());
    EXPECT_EQ(store.ReadSetting(texts::kKeyDatabase), QString());
    EXPECT_EQ(store.ReadSetting(texts::kKeyPassword), QString());
    EXPECT_EQ(store.ReadSetting(texts::kKeyOutputFile, QStringLiteral("/data/output.doc")),
              QStringLiteral("/data/output.doc"));
    EXPECT_FALSE(QFile::exists(file())) << "reading must not create the file";
}

TEST_F(Settings, ValuesSurviveARestartExactly) {
    const QString values[] = {
        QStringLiteral("/home/ann/My Databases/Northwind 2.mdb"),
        QStringLiteral("pass word; with=punctuation#!\"'\\"),
        QStringLiteral("  leading and trailing blanks  "),
        QStringLiteral("Umsätze ünd ∑ and 漢字"),
        QStringLiteral("line\nbreak"),
        QStringLiteral("[Section]"),
        QString(),
    };
    for (const QString& value : values) {
        for (const QString& key : {texts::kKeyDatabase, texts::kKeyPassword, texts::kKeyOutputFile}) {
            {
                SettingsStore store(file());
                ASSERT_TRUE(store.WriteSetting(key, value));
            }
            SettingsStore nextRun(file());
            EXPECT_EQ(nextRun.ReadSetting(key, QStringLiteral("absent")), value) << key.toStdString();
        }
    }
}

TEST_F(Settings, KeysLiveInTheQuillmergeSection) {
    SettingsStore store(file());
    store.WriteSetting(texts::kKeyOutputFile, QStringLiteral("/tmp/x.doc"));
    const QByteArray text = contentsOf(file());
    EXPECT_TRUE(text.contains("[Quillmerge]")) << text.constData();
    EXPECT_TRUE(text.contains("Output%20File=/tmp/x.doc")) << text.constData();
}

TEST_F(Settings, EveryWriteReachesTheDiskAtOnce) {
    SettingsStore store(file());
    for (const char* typed : {"/", "/d", "/da", "/dat"}) {
        store.WriteSetting(texts::kKeyDatabase, QString::fromLatin1(typed));
        // Another store (the next run) sees it without this one being closed.
        SettingsStore other(file());
        EXPECT_EQ(other.ReadSetting(texts::kKeyDatabase), QString::fromLatin1(typed));
    }
}

TEST_F(Settings, WithoutAKeyringThePasswordFileIsTheOwnersAlone) {
    const mode_t oldMask = ::umask(022);
    RefusingSecrets keyring;
    {
        SettingsStore store(file(), &keyring);
        ASSERT_TRUE(store.WriteSetting(texts::kKeyPassword, QStringLiteral("s3cret")));
    }
    ::umask(oldMask);
    EXPECT_EQ(keyring.writes, 1);
    EXPECT_EQ(modeOf(file()), static_cast<mode_t>(0600));
    SettingsStore nextRun(file(), &keyring);
    EXPECT_EQ(nextRun.ReadSetting(texts::kKeyPassword), QStringLiteral("s3cret"));
}

TEST_F(Settings, AnOpenSettingsFileIsClosedToOthersBeforeThePasswordGoesIn) {
    {
        SettingsStore store(file());
        store.WriteSetting(texts::kKeyDatabase, QStringLiteral("/a.mdb"));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0644), 0);
    SettingsStore store(file());
    store.WriteSetting(texts::kKeyPassword, QStringLiteral("pw"));
    EXPECT_EQ(modeOf(file()), static_cast<mode_t>(0600));
    // Rewrites keep the mode.
    store.WriteSetting(texts::kKeyPassword, QStringLiteral("pw2"));
    store.WriteSetting(texts::kKeyDatabase, QStringLiteral("/b.mdb"));
    EXPECT_EQ(modeOf(file()), static_cast<mode_t>(0600));
}

TEST_F(Settings, OnlyThePasswordIsOfferedToTheKeyring) {
    RefusingSecrets keyring;
    SettingsStore store(file(), &keyring);
    store.WriteSetting(texts::kKeyDatabase, QStringLiteral("/a.mdb"));
    store.WriteSetting(texts::kKeyOutputFile, QStringLiteral("/a.doc"));
    store.ReadSetting(texts::kKeyDatabase);
    EXPECT_EQ(keyring.writes, 0);
    EXPECT_EQ(keyring.reads, 0);
}

TEST_F(Settings, ARestoredPasswordIsNotWrittenBackToTheKeyring) {
    AcceptingSecrets keyring;
    {
        SettingsStore store(file(), &keyring);
        store.WriteSetting(texts::kKeyPassword, QStringLiteral("pw"));
    }  // the end stores it
    EXPECT_EQ(keyring.writes, 1);
    EXPECT_FALSE(contentsOf(file()).contains("pw"));
    SettingsStore nextRun(file(), &keyring);
    const QString restored = nextRun.ReadSetting(texts::kKeyPassword);
    EXPECT_EQ(restored, QStringLiteral("pw"));
    nextRun.WriteSetting(texts::kKeyPassword, restored);  // the box's change handler
    nextRun.StoreSecrets();
    EXPECT_EQ(keyring.writes, 1);
    nextRun.WriteSetting(texts::kKeyPassword, QStringLiteral("pw2"));
    nextRun.StoreSecrets();
    EXPECT_EQ(keyring.writes, 2);
    EXPECT_EQ(keyring.held.value(texts::kKeyPassword), QStringLiteral("pw2"));
}

// Typing a password hands nothing to the keyring (which might open a window
// of its own and catch the next keystrokes); the last one goes when page 1 is
// left, once.
TEST_F(Settings, TheKeyringGetsThePasswordWhenPageOneIsLeftNotWhileItIsTyped) {
    AcceptingSecrets keyring;
    SettingsStore store(file(), &keyring);
    for (const QString& typed : {QStringLiteral("s"), QStringLiteral("se"), QStringLiteral("sec")})
        store.WriteSetting(texts::kKeyPassword, typed);
    EXPECT_EQ(keyring.writes, 0);
    EXPECT_EQ(store.ReadSetting(texts::kKeyPassword), QStringLiteral("sec"));
    store.StoreSecrets();
    store.StoreSecrets();
    EXPECT_EQ(keyring.writes, 1);
    EXPECT_EQ(keyring.held.value(texts::kKeyPassword), QStringLiteral("sec"));
}

// A keyring that never answers: the end waits only as long as it is told to,
// then the file keeps the password, so the next run still has it.
TEST_F(Settings, APasswordTheKeyringDoesNotTakeInTimeStaysInTheFile) {
    class SilentSecrets : public qm::SecretStore {
      public:
        std::optional<QString> readSecret(const QString&) override { return std::nullopt; }
        bool writeSecret(const QString&, const QString&) override { return false; }
        void writeSecretLater(const QString&, const QString&, std::function<void(bool)>) override {
            ++started;
        }
        bool waitForWrites(std::chrono::milliseconds) override { return false; }
        int started = 0;
    } keyring;
    {
        SettingsStore store(file(), &keyring);
        store.WriteSetting(texts::kKeyPassword, QStringLiteral("typed"));
        store.FinishSecrets(std::chrono::milliseconds(0));
        EXPECT_EQ(keyring.started, 1);
    }
    SettingsStore nextRun(file());
    EXPECT_EQ(nextRun.ReadSetting(texts::kKeyPassword), QStringLiteral("typed"));
    EXPECT_EQ(modeOf(file()), static_cast<mode_t>(0600));
}

// A password the file holds (the keyring did not take it on an earlier run)
// stays the newest copy there: a kill loses no keystroke.
TEST_F(Settings, APasswordInTheFileTakesEveryKeystrokeAtOnce) {
    {
        SettingsStore earlier(file());
        earlier.WriteSetting(texts::kKeyPassword, QStringLiteral("old"));
    }
    AcceptingSecrets keyring;
    SettingsStore store(file(), &keyring);
    for (const char* typed : {"n", "ne", "new"}) {
        store.WriteSetting(texts::kKeyPassword, QString::fromLatin1(typed));
        EXPECT_EQ(SettingsStore(file()).ReadSetting(texts::kKeyPassword), QString::fromLatin1(typed));
    }
    EXPECT_EQ(keyring.writes, 0) << "the keyring gets it when page 1 is left";
}

// Page 1 is left (the keyring's write of P1 starts), P2 is typed and held
// back, the write fails, P23 is typed (the file is the store now), page 1 is
// left again: nothing typed before P23 may overwrite it.
TEST_F(Settings, ThePasswordTypedLastIsKeptWhenTheKeyringFailsMeanwhile) {
    class FailingLater : public qm::SecretStore {
      public:
        std::optional<QString> readSecret(const QString&) override { return std::nullopt; }
        bool writeSecret(const QString&, const QString&) override { return false; }
        void writeSecretLater(const QString&, const QString&, std::function<void(bool)> done) override {
            if (taking)
                answer = std::move(done);
            else
                done(false);
        }
        bool takesSecrets() const override { return taking; }
        std::function<void(bool)> answer;
        bool taking = true;
    } keyring;
    {
        SettingsStore store(file(), &keyring);
        store.WriteSetting(texts::kKeyPassword, QStringLiteral("P1"));
        store.StoreSecrets();
        store.WriteSetting(texts::kKeyPassword, QStringLiteral("P2"));
        keyring.taking = false;
        keyring.answer(false);
        EXPECT_EQ(SettingsStore(file()).ReadSetting(texts::kKeyPassword), QStringLiteral("P2"))
            << "what a kill would leave";
        store.WriteSetting(texts::kKeyPassword, QStringLiteral("P23"));
        store.StoreSecrets();
    }
    SettingsStore nextRun(file());
    EXPECT_EQ(nextRun.ReadSetting(texts::kKeyPassword), QStringLiteral("P23"));
}

TEST_F(Settings, AnUnreadableFileIsAFailureNotAnEmptyValue) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    {
        SettingsStore store(file());
        store.WriteSetting(texts::kKeyDatabase, QStringLiteral("/a.mdb"));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(file()).constData(), 0), 0);
    SettingsStore store(file());
    EXPECT_THROW(store.ReadSetting(texts::kKeyDatabase), qm::Failure);
}

}  // namespace
