#pragma once

// Runs a program of the tests to its end and collects what it printed.

#include <gtest/gtest.h>
#include <sys/types.h>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace qm::test {

struct ProcessResult {
    int exitCode = -1;  // -1: ended by a signal, or never started
    int signal = 0;     // the signal that ended it
    QByteArray out;
    QByteArray err;
    bool exited(int code) const { return signal == 0 && exitCode == code; }
};

struct ProcessOptions {
    int timeoutMs = 120000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingDirectory;  // empty: the test's own
    // Applied in the child before the program starts: limits, another user.
    std::function<void()> inChild;
    // Called about every 5 ms while the program runs; returning true stops
    // the watching (the program runs on to its end).
    std::function<bool(pid_t)> whileRunning;
};

// Standard input is closed at once. A program that does not start, or does
// not end within the time allowed (it is then killed), is a test failure.
inline ProcessResult RunProcess(const QString& program, const QStringList& arguments,
                                const ProcessOptions& options = {}) {
    QProcess process;
    process.setProcessEnvironment(options.environment);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    if (options.inChild)
        process.setChildProcessModifier(options.inChild);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << program.toStdString() << ": "
                      << process.errorString().toStdString();
        return result;
    }
    process.closeWriteChannel();
    const QDeadlineTimer deadline(options.timeoutMs);
    bool watching = static_cast<bool>(options.whileRunning);
    while (watching && !deadline.hasExpired() && !process.waitForFinished(5))
        watching = !options.whileRunning(static_cast<pid_t>(process.processId()));
    if (process.state() != QProcess::NotRunning &&
        !process.waitForFinished(static_cast<int>(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
    }
    if (process.exitStatus() == QProcess::CrashExit)
        result.signal = process.exitCode();  // Qt reports the signal as the code
    else
        result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

}  // namespace qm::test
