#include "FileSystem.h"

#include <sys/stat.h>
#include <QCoreApplication>
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

QString AppDirectory() {
    return QCoreApplication::applicationDirPath();
}

}  // namespace qm
