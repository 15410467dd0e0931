#include "ReliabilitySupport.h"

#include "TestEncryptor.h"
#include "jetwriter/Description.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qm::reliability {

namespace {

constexpr uid_t kNobody = 65534;

// True while the process is stopped (SIGSTOP).
bool isStopped(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ...": the name may hold anything, the state follows its last ')'.
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end >= 0 && line.mid(end + 2, 1) == "T";
}

}  // namespace

void runAsOrdinaryUserInChild() {
    if (::geteuid() != 0)
        return;
    // Groups first, the user last: after setuid nothing else may change.
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        ::_exit(125);
}

bool permissionsAreEnforced() {
    if (::geteuid() != 0)
        return true;
    const pid_t child = ::fork();
    if (child == 0) {
        runAsOrdinaryUserInChild();
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void makeDatabase(const QString& path, const QByteArray& description) {
    jetwriter::WriteDescriptionFile(description, path);
}

QByteArray encryptedDatabase(const QString& password) {
    return test::crypto::EncryptAccessImage(test::crypto::AceImageOf(test::fixtureFile("test-tables")),
                                            password, {});
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool holdsFileUnder(pid_t pid, const QString& prefix) {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds + QLatin1Char('/') + fd).symLinkTarget().startsWith(prefix))
            return true;
    }
    return false;
}

void stopAtOpenUnder(ExportOptions& options, const QString& folder, std::function<void(pid_t)> atStop) {
    options.environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QM_STOP_AT_OPEN));
    options.environment.insert(QStringLiteral("QM_STOP_UNDER"), folder);
    // A sanitizer build wants its runtime first; the preloaded library uses none.
    QString asan = options.environment.value(QStringLiteral("ASAN_OPTIONS"));
    asan += QLatin1String(asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0");
    options.environment.insert(QStringLiteral("ASAN_OPTIONS"), asan);
    options.whileRunning = [atStop = std::move(atStop)](pid_t pid) {
        if (!isStopped(pid))
            return false;
        atStop(pid);
        ::kill(pid, SIGCONT);
        return true;
    };
}

}  // namespace qm::reliability
