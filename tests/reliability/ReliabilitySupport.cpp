#include "ReliabilitySupport.h"

#include "jetwriter/Description.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qm::reliability {

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

QProcessEnvironment RunOptions::cleanEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QUILLMERGE_PASSWORD", "MDBICONV", "MDB_JET3_CHARSET", "MDBOPTS"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

Outcome runExport(const QStringList& arguments, const RunOptions& options) {
    return test::RunProcess(QStringLiteral(QM_EXPORT_PATH), arguments, options);
}

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

QByteArray readBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList entriesOf(const QString& folder) {
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

::testing::AssertionResult IsOneLineMessage(const QByteArray& err, const QStringList& words) {
    const QString text = QString::fromUtf8(err);
    if (!text.endsWith(QLatin1Char('\n')) || text.count(QLatin1Char('\n')) != 1)
        return ::testing::AssertionFailure() << "not one line: \"" << text.toStdString() << '"';
    if (!text.startsWith(QLatin1String("quillmerge-export: ")))
        return ::testing::AssertionFailure() << "not the program's message: " << text.toStdString();
    for (const QString& word : words) {
        if (!text.contains(word))
            return ::testing::AssertionFailure()
                   << "\"" << text.trimmed().toStdString() << "\" does not mention " << word.toStdString();
    }
    return ::testing::AssertionSuccess();
}

bool holdsFileUnder(pid_t pid, const QString& prefix) {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds + QLatin1Char('/') + fd).symLinkTarget().startsWith(prefix))
            return true;
    }
    return false;
}

}  // namespace qm::reliability
