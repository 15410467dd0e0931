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
    : fileName_(std::move(fileName)), secrets_(secrets) {
    file_ = std::make_unique<QSettings>(fileName_, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

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
    file_->sync();
    const QFileInfo info(fileName_);
    if (file_->status() == QSettings::FormatError || (info.exists() && !info.isReadable()))
        throw Failure(QStringLiteral("The settings file %1 cannot be read.").arg(fileName_));
    // A copy in the file is the newest value: it is only written when the
    // secret store refused the value, and removed once the store takes it.
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
    if (isSecret(key) && secrets_) {
        if (knownSecret_ == text && !file_->contains(qualified(key)))
            return true;
        if (secrets_->writeSecret(key, text)) {
            knownSecret_ = text;
            return removeFromFile(key);
        }
        knownSecret_.reset();
    }
    return writeToFile(key, text);
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
