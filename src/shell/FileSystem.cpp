#include "FileSystem.h"

#include "Texts.h"
#include "shell/BuildConfig.h"

#include <sys/stat.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace qm {

bool FileExists(const QString& path) noexcept {
    try {
        if (path.isEmpty())
            return false;
        const QByteArray native = QFile::encodeName(path);
        if (native.contains('\0'))
            return false;
        struct stat info {};
        return ::stat(native.constData(), &info) == 0;
    } catch (...) {
        return false;
    }
}

QString DirectoryOfPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

namespace {

bool HoldsAppFiles(const QString& folder) {
    for (const QString& file : {texts::kSampleDatabase, texts::kHandCursorFile, texts::kSkinFile}) {
        if (FileExists(folder + file))
            return true;
    }
    return false;
}

}  // namespace

QString AppDirectoryFor(const QString& programDirectory) {
    if (HoldsAppFiles(programDirectory))
        return programDirectory;
    const QString installed =
        QDir::cleanPath(programDirectory + QLatin1Char('/') + QString::fromUtf8(kAppFilesFromProgram));
    if (HoldsAppFiles(installed))
        return installed;
    return programDirectory;
}

QString AppDirectory() {
    return AppDirectoryFor(QCoreApplication::applicationDirPath());
}

}  // namespace qm
