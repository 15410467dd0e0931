// The password in a real desktop keyring (gnome-keyring over a private
// session bus, started by run_with_keyring.sh): it never reaches the
// settings file, and a plain copy left by an earlier run is removed.

#include "QtPrinting.h"
#include "common/TestSupport.h"
#include "pages/KeychainSecretStore.h"
#include "shell/Settings.h"
#include "shell/Texts.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

namespace texts = qm::texts;

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Keyring, ThePasswordLivesInTheKeyringAndNotInTheFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Fennick.conf"));
    // An earlier run without a keyring left a plain copy.
    {
        qm::SettingsStore earlier(file);
        earlier.WriteSetting(texts::kKeyPassword, QStringLiteral("old plain"));
        earlier.WriteSetting(texts::kKeyDatabase, QStringLiteral("/data/db.mdb"));
    }
    ASSERT_TRUE(contentsOf(file).contains("old plain"));

    qm::KeychainSecretStore keyring(QStringLiteral("Quillmerge keyring test"));
    {
        qm::SettingsStore store(file, &keyring);
        EXPECT_EQ(store.ReadSetting(texts::kKeyPassword), QStringLiteral("old plain"));
        ASSERT_TRUE(store.WriteSetting(texts::kKeyPassword, QStringLiteral("new; secret =1")));
        store.StoreSecrets();  // page 1 is left
        // However slow this machine's keyring: the program's end waits only
        // briefly and would keep the password in the file instead.
        ASSERT_TRUE(keyring.waitForWrites(std::chrono::seconds(30)));
        ASSERT_TRUE(keyring.reachable()) << "run this test through run_with_keyring.sh";
    }
    const QByteArray text = contentsOf(file);
    EXPECT_FALSE(text.contains("secret")) << text.constData();
    EXPECT_FALSE(text.contains("old plain")) << text.constData();
    EXPECT_FALSE(text.contains("Password")) << text.constData();
    EXPECT_TRUE(text.contains("/data/db.mdb"));

    qm::KeychainSecretStore nextRunKeyring(QStringLiteral("Quillmerge keyring test"));
    qm::SettingsStore nextRun(file, &nextRunKeyring);
    EXPECT_EQ(nextRun.ReadSetting(texts::kKeyPassword), QStringLiteral("new; secret =1"));
}

}  // namespace
