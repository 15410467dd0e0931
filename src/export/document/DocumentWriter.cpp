#include "DocumentWriter.h"

#include "shell/Failure.h"

#include <unistd.h>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace qm {

namespace {

[[noreturn]] void failSave(const QString& path, const QString& reason, long number = 0) {
    throw Failure(QStringLiteral("Could not save '%1': %2").arg(path, reason), number);
}

}  // namespace

void SaveAtomically(const QString& path, const std::function<void(QIODevice& device)>& write,
                    SaveGuard* guard) {
    if (path.isEmpty())
        failSave(path, QStringLiteral("No file name was given"));
    if (QFileInfo(path).isDir())
        failSave(path, QStringLiteral("It is a folder"));
    // A document the user may not change is not replaced, though the folder
    // would allow it: the system's words say why.
    const QByteArray native = QFile::encodeName(path);
    if (::access(native.constData(), F_OK) == 0 && ::access(native.constData(), W_OK) != 0)
        failSave(path, QString::fromLocal8Bit(std::strerror(errno)));
    // The guard's end comes however the save ends.
    struct Bracket {
        SaveGuard* guard;
        bool committed = false;
        explicit Bracket(SaveGuard* g) : guard(g) {
            if (guard)
                guard->begin();
        }
        ~Bracket() {
            if (guard)
                guard->end(committed);
        }
    } bracket(guard);
    // QSaveFile writes to a new file with an unpredictable name beside the
    // target, syncs it and renames it over the target on commit; the default
    // refusal to write in place keeps that true for read-only folders.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failSave(path, file.errorString());
    try {
        write(file);
    } catch (const Failure& failure) {
        file.cancelWriting();
        failSave(path, failure.description(), failure.number());
    }
    QString reason;
    if (guard && !guard->mayCommit(reason)) {
        file.cancelWriting();
        failSave(path, reason);
    }
    if (!file.commit())
        failSave(path, file.errorString());
    bracket.committed = true;
}

}  // namespace qm
