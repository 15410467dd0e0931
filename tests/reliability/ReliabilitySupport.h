#pragma once

// Damaged and hostile input, interruptions and full disks: quillmerge-export
// run as a separate process (with limits, signals or another user where a
// test needs them), fixtures written by the project's Jet writer, documents
// read back by python-docx.

#include "common/ReadDocx.h"
#include "common/RunProcess.h"
#include "common/TestSupport.h"
#include "export/ExportRun.h"

#include <gtest/gtest.h>

#include <sys/types.h>
#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace qm::reliability {

using Outcome = test::ProcessResult;

// Options of a run of quillmerge-export: our own environment without what
// would change how it reads a database, and five minutes before a run counts
// as hung (a guard against a hang only: a loaded machine may take minutes
// over the 300,000-record exports).
struct RunOptions : test::ProcessOptions {
    RunOptions() {
        environment = cleanEnvironment();
        timeoutMs = 300000;
    }
    // Our environment without QUILLMERGE_PASSWORD or libmdb's charset settings.
    static QProcessEnvironment cleanEnvironment();
};

Outcome runExport(const QStringList& arguments, const RunOptions& options = {});
inline Outcome runExport(const QStringList& arguments, const QString& password) {
    RunOptions options;
    options.environment.insert(QStringLiteral("QUILLMERGE_PASSWORD"), password);
    return runExport(arguments, options);
}

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

using test::DocxParagraphs;

QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);
// Names in a folder, hidden ones included, sorted.
QStringList entriesOf(const QString& folder);

// Exactly one line on standard error, starting with the program's name and
// containing every one of the words.
::testing::AssertionResult IsOneLineMessage(const QByteArray& err, const QStringList& words = {});

// The pids of the open files of a process whose target path starts with prefix.
bool holdsFileUnder(pid_t pid, const QString& prefix);

}  // namespace qm::reliability
