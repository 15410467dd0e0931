#include "StartUp.h"

#include "pages/Texts.h"
#include "shell/FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace qm {

namespace {

constexpr qsizetype kLongestTitle = 40;

QString& applicationTitle() {
    static QString title = texts::kProductName;
    return title;
}

}  // namespace

QString ApplicationTitleFor(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > kLongestTitle);
    return title;
}

void SetApplicationTitle() {
    applicationTitle() = ApplicationTitleFor(texts::kProductName);
}

QString ApplicationTitle() {
    return applicationTitle();
}

QString SkinFilePath(const QString& appDirectory) {
    return appDirectory + texts::kSkinFile;
}
QString HandCursorPath(const QString& appDirectory) {
    return appDirectory + texts::kHandCursorFile;
}
QString SampleDatabasePath(const QString& appDirectory) {
    return appDirectory + texts::kSampleDatabase;
}

bool SkinFileListed(const QString& appDirectory) {
    const QFileInfo skin(SkinFilePath(appDirectory));
    const QDir folder = skin.dir();
    if (!folder.exists())
        return false;
    // Exact name, ordinary files only; hidden files are left out of the listing.
    return folder.entryList({skin.fileName()}, QDir::Files | QDir::CaseSensitive).contains(skin.fileName());
}

QString DefaultOutputPath(const QString& databasePath) {
    return DirectoryOfPath(databasePath) + texts::kDefaultOutputName;
}

std::optional<QPoint> CursorHotspot(const QByteArray& bytes) {
    // ICONDIR (reserved 0, type 2 for cursors, image count), then one
    // 16-byte entry per image whose bytes 4 and 6 hold the hot spot.
    constexpr qsizetype kDirectorySize = 6;
    constexpr qsizetype kEntrySize = 16;
    if (bytes.size() < kDirectorySize + kEntrySize)
        return std::nullopt;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (qFromLittleEndian<quint16>(data) != 0 || qFromLittleEndian<quint16>(data + 2) != 2 ||
        qFromLittleEndian<quint16>(data + 4) == 0)
        return std::nullopt;
    const uchar* entry = data + kDirectorySize;
    return QPoint(qFromLittleEndian<quint16>(entry + 4), qFromLittleEndian<quint16>(entry + 6));
}

}  // namespace qm
