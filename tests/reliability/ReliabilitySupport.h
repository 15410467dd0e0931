#pragma once

// Damaged and hostile input, interruptions and full disks: quillmerge-export
// run as a separate process (with limits, signals or another user where a
// test needs them), fixtures written by the project's Jet writer, documents
// read back by python-docx.

#include "common/Files.h"
#include "common/ReadDocx.h"
#include "common/RunExport.h"
#include "common/TestSupport.h"
#include "export/ExportRun.h"

#include <gtest/gtest.h>

#include <sys/types.h>
#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>

namespace qm::reliability {

using Outcome = test::ProcessResult;
using test::ExportEnvironment;
using test::ExportOptions;
using test::IsOneLineMessage;
using test::runExport;

// Makes the child run as the unprivileged user "nobody" when the tests run as
// root (who may write into read-only folders and files). Nothing otherwise.
void runAsOrdinaryUserInChild();
// True when permission tests mean anything: not root, or root that can become nobody.
bool permissionsAreEnforced();

// What "Finish" hands the export run: Id and Name of the table Customers,
// with a header line and "," between the values.
struct CustomersExport : qm::ExportInputs {
    QString path, output;
    QString databasePath() const override { return path; }
    QString databasePassword() const override { return QString(); }
    QString selectedTable() const override { return QStringLiteral("Customers"); }
    QString selectedFields() const override { return QStringLiteral("`Id`, `Name`"); }
    QString outputPath() const override { return output; }
    QString separator() const override { return QStringLiteral(","); }
    bool headerLine() const override { return true; }
};

// Writes a database from a fixture description (the JSON of quillmerge-mkdb).
void makeDatabase(const QString& path, const QByteArray& description);
// An ACE file encrypted as Access 2010 and later encrypt (agile), of the
// tables of tests/fixtures/test-tables.json.
QByteArray encryptedDatabase(const QString& password);

using test::DocxParagraphs;
using test::entriesOf;
using test::writeBytes;

// Nothing when the file cannot be read.
QByteArray readBytes(const QString& path);

// The pids of the open files of a process whose target path starts with prefix.
bool holdsFileUnder(pid_t pid, const QString& prefix);

// Makes the program stop itself right before it first opens anything under
// folder (StopAtOpen.cpp), calls atStop with its pid there and lets it go on
// (SIGCONT) when atStop returns: one exact point of the run, however fast or
// slow the machine is.
void stopAtOpenUnder(ExportOptions& options, const QString& folder, std::function<void(pid_t)> atStop);

}  // namespace qm::reliability
