#pragma once

// Runs a program of the tests to its end and collects what it printed.

#include <gtest/gtest.h>
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace qm::test {

struct ProcessResult {
    int exitCode = -1;  // -1: crashed, killed or never started
    QByteArray out;
    QByteArray err;
};

struct ProcessOptions {
    int timeoutMs = 120000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString workingDirectory;  // empty: the test's own
};

// Standard input is closed at once. A program that does not start, or does
// not end within the time allowed (it is then killed), is a test failure.
inline ProcessResult RunProcess(const QString& program, const QStringList& arguments,
                                const ProcessOptions& options = {}) {
    QProcess process;
    process.setProcessEnvironment(options.environment);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

}  // namespace qm::test
