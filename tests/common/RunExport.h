#pragma once

// quillmerge-export as a user meets it: a process with arguments, an
// environment, an exit status and two output streams, every run starting from
// the same environment. The including target defines QM_EXPORT_PATH.

#include "common/RunProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

namespace qm::test {

// Ours without what would decide how the program reads a database: no
// QUILLMERGE_PASSWORD (one set in the developer's shell must never reach a
// test by accident) and none of libmdb's settings (MDBICONV,
// MDB_JET3_CHARSET, MDBOPTS). With a password, QUILLMERGE_PASSWORD holds it,
// even an empty one.
inline QProcessEnvironment ExportEnvironment(const std::optional<QString>& password = std::nullopt) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QUILLMERGE_PASSWORD", "MDBICONV", "MDB_JET3_CHARSET", "MDBOPTS"})
        environment.remove(QString::fromLatin1(name));
    if (password)
        environment.insert(QStringLiteral("QUILLMERGE_PASSWORD"), *password);
    return environment;
}

// Five minutes before a run counts as hung: a guard against a hang only, as a
// loaded machine may take minutes over the 300,000-record exports.
struct ExportOptions : ProcessOptions {
    ExportOptions() {
        environment = ExportEnvironment();
        timeoutMs = 300000;
    }
};

inline ProcessResult runExport(const QStringList& arguments, const ExportOptions& options = {}) {
    return RunProcess(QStringLiteral(QM_EXPORT_PATH), arguments, options);
}
inline ProcessResult runExport(const QStringList& arguments, const QProcessEnvironment& environment,
                               const QString& workingDirectory = QString()) {
    ExportOptions options;
    options.environment = environment;
    options.workingDirectory = workingDirectory;
    return runExport(arguments, options);
}

// The shape of every failure report: exactly one line on standard error,
// starting with the program's name, saying something, and containing every
// one of the words.
inline ::testing::AssertionResult IsOneLineMessage(const QByteArray& err, const QStringList& words = {}) {
    const QString text = QString::fromUtf8(err);
    if (!text.endsWith(QLatin1Char('\n')) || text.count(QLatin1Char('\n')) != 1)
        return ::testing::AssertionFailure() << "not one line on stderr: \"" << text.toStdString() << '"';
    if (!text.startsWith(QLatin1String("quillmerge-export: ")) || text.trimmed().size() <= 19)
        return ::testing::AssertionFailure()
               << "not a message from quillmerge-export: " << text.toStdString();
    for (const QString& word : words) {
        if (!text.contains(word))
            return ::testing::AssertionFailure()
                   << "\"" << text.trimmed().toStdString() << "\" does not mention " << word.toStdString();
    }
    return ::testing::AssertionSuccess();
}

}  // namespace qm::test
