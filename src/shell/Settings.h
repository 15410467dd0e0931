#pragma once

#include <QString>
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
};

// The user's remembered choices: application "Fennick", section "Quillmerge",
// keys "Database", "Password" and "Output File". Every write goes to disk at
// once. The password goes to the secret store when one takes it; otherwise it
// stays in the settings file, which is then readable by its owner alone.
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
    std::unique_ptr<QSettings> file_;
};

// Makes the file readable and writable by its owner alone, creating it (and
// its directory) empty when it is missing. False when that fails.
bool MakeOwnerOnlyFile(const QString& fileName);

}  // namespace qm
