#include "ReliabilitySupport.h"

#include "jetwriter/Description.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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
    QProcess process;
    process.setProcessEnvironment(options.environment);
    if (options.inChild)
        process.setChildProcessModifier(options.inChild);
    process.start(QStringLiteral(QM_EXPORT_PATH), arguments);
    Outcome outcome;
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "quillmerge-export did not start: " << process.errorString().toStdString();
        return outcome;
    }
    bool watching = static_cast<bool>(options.whileRunning);
    QElapsedTimer elapsed;
    elapsed.start();
    while (!process.waitForFinished(watching ? 5 : 100)) {
        if (elapsed.hasExpired(options.timeoutMs)) {
            process.kill();
            process.waitForFinished();
            outcome.hung = true;
            return outcome;
        }
        if (watching && options.whileRunning(static_cast<pid_t>(process.processId())))
            watching = false;
    }
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::CrashExit)
        outcome.signal = process.exitCode();  // Qt reports the signal as the code
    else
        outcome.exitCode = process.exitCode();
    return outcome;
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

std::optional<QStringList> readParagraphs(const QString& path) {
    QProcess python;
    python.start(test::systemPython(), {QStringLiteral(QM_RELIABILITY_DIR "/read_docx.py"), path});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        ADD_FAILURE() << "python-docx could not read " << path.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return std::nullopt;
    }
    QStringList paragraphs;
    for (const QByteArray& line : python.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            paragraphs.append(QString::fromUtf8(QByteArray::fromHex(line)));
    }
    return paragraphs;
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
