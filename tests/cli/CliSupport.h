#pragma once

// quillmerge-export as a user meets it: a separate process with arguments, an
// environment, an exit status and two output streams. Documents it writes are
// read back by python-docx, not by our own code.

#include "common/Files.h"
#include "common/ReadDocx.h"
#include "common/RunExport.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qm::clitest {

using RunResult = qm::test::ProcessResult;
using test::ExportEnvironment;
using test::IsOneLineMessage;
using test::runExport;

// Runs quillmerge-export with standard error on a pseudo-terminal and returns
// what appeared there; standard output goes to /dev/null. The environment is
// ExportEnvironment().
RunResult runExportOnTerminal(const QStringList& arguments);

// A database written by quillmerge-mkdb from a JSON description into `dir`.
// Empty (and the test failed) when the tool refused the description.
QString makeDatabase(const QTemporaryDir& dir, const QString& name, const QByteArray& description);

using test::DocxParagraphs;
using test::entriesOf;
using test::ReadDocx;
using test::writeBytes;

// A test failure, and nothing, when the file cannot be read.
QByteArray readBytes(const QString& path);

}  // namespace qm::clitest
