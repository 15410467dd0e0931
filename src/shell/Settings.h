#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace qm {

// A place for secrets outside the settings file (the desktop keyring).
class SecretStore {
  public:
    virtual ~SecretStore() = default;
    // The stored secret; nothing when none is stored or the store cannot be reached.
    virtual std::optional<QString> readSecret(const QString& key) = 0;
    // False when the store cannot take the secret; the caller keeps it elsewhere then.
    virtual bool writeSecret(const QString& key, const QString& value) = 0;
    // Starts storing the secret without waiting for the store; done(stored)
    // follows when the store has answered (from the event loop, or at once:
    // this default writes synchronously).
    virtual void writeSecretLater(const QString& key, const QString& value,
                                  std::function<void(bool stored)> done) {
        done(writeSecret(key, value));
    }
    // Waits at most `limit` for the writes writeSecretLater started; true
    // when none is left.
    virtual bool waitForWrites(std::chrono::milliseconds limit) {
        (void)limit;
        return true;
    }
    // False once the store is known not to take secrets: the file is the store then.
    virtual bool takesSecrets() const { return true; }
};

// The user's remembered choices: application "Fennick", section "Quillmerge",
// keys "Database", "Password", "Output File" and "Output Layout". Every write to the settings
// file goes to disk at once. The password goes to the secret store when one
// takes it; otherwise it stays in the settings file, which is then readable
// by its owner alone.
//
// A password for the secret store is not handed over while it is typed: a
// keyring may be slow, or open a window of its own (to unlock, or to create a
// keyring) that would catch the rest of the keystrokes. StoreSecrets() hands
// the last one over without waiting (the wizard calls it when page 1 is
// left), FinishSecrets() at the end waits a little and keeps in the file what
// the store did not take by then, so nothing typed is lost. While the file
// holds the password (the store refused it or did not answer in time, now or
// on an earlier run), every change reaches the file at once, and the last
// value written is always the one kept.
class SettingsStore {
  public:
    // secrets may be null: then every value lives in the settings file.
    explicit SettingsStore(QString fileName = defaultFileName(), SecretStore* secrets = nullptr);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The per-user settings file for application "Fennick".
    static QString defaultFileName();
    const QString& fileName() const { return fileName_; }

    // The stored text, or fallback when the key is absent. Throws Failure when
    // the settings file exists but cannot be read.
    QString ReadSetting(const QString& key, const QString& fallback = QString());
    // Stores the text under the key. False when it could not be stored.
    bool WriteSetting(const QString& key, const QString& text);

    // Starts storing a password written since, never waiting for the store.
    void StoreSecrets();
    // Stores a password written since and waits at most `limit` for the
    // store; what it has not taken by then goes to the settings file.
    void FinishSecrets(std::chrono::milliseconds limit = kEndWait);
    static constexpr std::chrono::milliseconds kEndWait{100};

  private:
    bool isSecret(const QString& key) const;
    QString qualified(const QString& key) const;
    bool writeToFile(const QString& key, const QString& text);
    bool removeFromFile(const QString& key);

    QString fileName_;
    SecretStore* secrets_;
    // What the secret store is known to hold, so restoring a password does
    // not write the same value straight back to the keyring.
    std::optional<QString> knownSecret_;
    std::optional<QString> pendingSecret_;  // written, not yet handed to the store
    std::optional<QString> writingSecret_;  // handed to the store, no answer yet
    std::unique_ptr<QSettings> file_;
    // Lets an answer that comes after this store is gone find it gone.
    std::shared_ptr<SettingsStore*> self_;
};

// Makes the file readable and writable by its owner alone, creating it (and
// its directory) empty when it is missing. False when that fails.
bool MakeOwnerOnlyFile(const QString& fileName);

}  // namespace qm
