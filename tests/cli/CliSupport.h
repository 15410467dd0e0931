#pragma once

// quillmerge-export as a user meets it: a separate process with arguments, an
// environment, an exit status and two output streams. Documents it writes are
// read back by python-docx, not by our own code.

#include "common/ReadDocx.h"
#include "common/RunProcess.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(list[i], os);
    }
    *os << ']';
}

namespace qm::clitest {

using RunResult = qm::test::ProcessResult;

// Our environment without QUILLMERGE_PASSWORD, so that a password set in the
// developer's shell never reaches a test by accident.
QProcessEnvironment cleanEnvironment();
QProcessEnvironment environmentWithPassword(const QString& password);

RunResult runExport(const QStringList& arguments, const QProcessEnvironment& environment = cleanEnvironment(),
                    const QString& workingDirectory = QString());

// Runs quillmerge-export with standard error on a pseudo-terminal and returns
// what appeared there; standard output goes to /dev/null.
RunResult runExportOnTerminal(const QStringList& arguments);

// A database written by quillmerge-mkdb from a JSON description into `dir`.
// Empty (and the test failed) when the tool refused the description.
QString makeDatabase(const QTemporaryDir& dir, const QString& name, const QByteArray& description);

using test::DocxParagraphs;
using test::ReadDocx;

QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);
// The names in a folder, sorted, without "." and "..".
QStringList entriesOf(const QString& folder);

// The shape of every failure report: exactly one line on standard error,
// starting with the program's name.
::testing::AssertionResult IsOneLineMessage(const QByteArray& err);

}  // namespace qm::clitest
