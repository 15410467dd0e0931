#include "Settings.h"

#include "Failure.h"
#include "Texts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <utility>

namespace qm {

namespace {

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

}  // namespace

bool MakeOwnerOnlyFile(const QString& fileName) {
    const QByteArray native = QFile::encodeName(fileName);
    struct stat info {};
    if (::stat(native.constData(), &info) == 0) {
        if ((info.st_mode & 07777) == kOwnerOnly)
            return true;
        return ::chmod(native.constData(), kOwnerOnly) == 0;
    }
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
    if (fd < 0)
        return false;
    ::close(fd);
    // The umask may have taken bits away, never added any; make the mode exact.
    return ::chmod(native.constData(), kOwnerOnly) == 0;
}

SettingsStore::SettingsStore(QString fileName, SecretStore* secrets)
    : fileName_(std::move(fileName)), secrets_(secrets), self_(std::make_shared<SettingsStore*>(this)) {
    file_ = std::make_unique<QSettings>(fileName_, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() {
    FinishSecrets();
    *self_ = nullptr;
}

QString SettingsStore::defaultFileName() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, texts::kSettingsApplication).fileName();
}

bool SettingsStore::isSecret(const QString& key) const {
    return key == texts::kKeyPassword;
}

QString SettingsStore::qualified(const QString& key) const {
    return texts::kSettingsSection + QLatin1Char('/') + key;
}

QString SettingsStore::ReadSetting(const QString& key, const QString& fallback) {
    if (isSecret(key) && pendingSecret_)
        return *pendingSecret_;
    file_->sync();
    const QFileInfo info(fileName_);
    if (file_->status() == QSettings::FormatError || (info.exists() && !info.isReadable()))
        throw Failure(QStringLiteral("The settings file %1 cannot be read.").arg(fileName_));
    // A copy in the file is the newest value: it is only written when the
    // secret store refused the value, takes every change while it is there,
    // and is removed once the store takes the newest value.
    const QVariant inFile = file_->value(qualified(key));
    if (inFile.isValid())
        return inFile.toString();
    if (isSecret(key) && secrets_) {
        knownSecret_ = secrets_->readSecret(key);
        if (knownSecret_)
            return *knownSecret_;
    }
    return fallback;
}

bool SettingsStore::WriteSetting(const QString& key, const QString& text) {
    if (!isSecret(key))
        return writeToFile(key, text);
    if (!secrets_ || !secrets_->takesSecrets()) {
        // The file is the password's store: what was held back or handed to
        // the secret store before is older and must never overwrite this.
        pendingSecret_.reset();
        writingSecret_.reset();
        return writeToFile(key, text);
    }
    // Kept until StoreSecrets(); restoring the stored one changes nothing.
    const bool inFile = file_->contains(qualified(key));
    if (knownSecret_ == text && !writingSecret_ && !inFile)
        pendingSecret_.reset();
    else
        pendingSecret_ = text;
    // A copy in the file stays the newest value: it takes every change at
    // once, until the secret store has taken the password.
    return !inFile || writeToFile(key, text);
}

void SettingsStore::StoreSecrets() {
    if (!pendingSecret_ || !secrets_)
        return;
    const QString value = *std::exchange(pendingSecret_, std::nullopt);
    writingSecret_ = value;
    const std::weak_ptr<SettingsStore*> self = self_;
    secrets_->writeSecretLater(texts::kKeyPassword, value, [self, value](bool stored) {
        const std::shared_ptr<SettingsStore*> alive = self.lock();
        SettingsStore* store = alive ? *alive : nullptr;
        // Only the answer to the newest write counts.
        if (!store || store->writingSecret_ != value)
            return;
        store->writingSecret_.reset();
        if (stored) {
            store->knownSecret_ = value;
            // A copy in the file goes, unless it holds a newer password.
            if (!store->pendingSecret_)
                store->removeFromFile(texts::kKeyPassword);
        } else {
            store->knownSecret_.reset();
            // The file keeps the newest password: one typed since, or this one.
            store->writeToFile(texts::kKeyPassword, store->pendingSecret_.value_or(value));
        }
    });
}

void SettingsStore::FinishSecrets(std::chrono::milliseconds limit) {
    StoreSecrets();
    if (writingSecret_ && !secrets_->waitForWrites(limit) && writingSecret_) {
        // The store did not answer in time: the file keeps the password,
        // as the newest copy, until the store takes it on a later run.
        writeToFile(texts::kKeyPassword, *writingSecret_);
    }
}

bool SettingsStore::writeToFile(const QString& key, const QString& text) {
    // Owner-only before the first write, so a password is never readable by
    // others, not even for a moment. Rewrites keep the mode of the file.
    if (!MakeOwnerOnlyFile(fileName_))
        return false;
    file_->setValue(qualified(key), text);
    file_->sync();
    return file_->status() == QSettings::NoError && MakeOwnerOnlyFile(fileName_);
}

bool SettingsStore::removeFromFile(const QString& key) {
    if (!file_->contains(qualified(key)))
        return true;
    file_->remove(qualified(key));
    file_->sync();
    return file_->status() == QSettings::NoError;
}

}  // namespace qm
