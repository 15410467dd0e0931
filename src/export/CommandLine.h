#pragma once

// quillmerge-export's command line: what the user asked for, read from the
// arguments and the environment, and the two things it can do with it (list
// the tables, or run the wizard's export without the wizard).

#include "export/document/DocumentFormats.h"
#include "export/document/WordAutomation.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace qm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The arguments, checked: a usage error has ended the program before a
// request exists.
struct Request {
    QString database;
    bool listTables = false;
    QString table;
    std::optional<QStringList> fields;  // nothing: every field in table order
    QString separator = QStringLiteral(",");
    bool header = true;
    QString output;
    std::optional<QString> passwordFile;
    std::optional<DocumentFormat> format;  // nothing: from the output name
    DocumentLayout layout = DocumentLayout::Lines;
    bool storedValues = false;  // --stored-values
};

// Reads the arguments (QCoreApplication::arguments()). --help and --version
// print and end the program with status 0; a usage error prints two lines and
// ends it with status 2.
Request ParseArguments(const QStringList& arguments);

// One line to the stream, in the locale's encoding, flushed.
void PrintLine(FILE* stream, const QString& text);

// The database password: from --password-file (one line end at its end is
// dropped), else from QUILLMERGE_PASSWORD, whose value in the environment is
// overwritten once read. Throws Failure when the file cannot be read.
QString ReadPassword(const Request& request);

// Overwrites a copy of a password when it goes out of scope, however the run ends.
class WipedAtExit {
  public:
    explicit WipedAtExit(QString& text) : text_(text) {}
    ~WipedAtExit();
    WipedAtExit(const WipedAtExit&) = delete;
    WipedAtExit& operator=(const WipedAtExit&) = delete;

  private:
    QString& text_;
};

// Prints the user tables one a line. The exit status.
int ListTables(const Request& request, const QString& password);

// The export, with progress on a terminal and the first failure as one line
// on standard error. The exit status.
int Export(const Request& request, const QString& password);

}  // namespace qm::cli
