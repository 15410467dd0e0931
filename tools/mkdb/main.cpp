// quillmerge-mkdb: writes an Access (Jet 4) database from a JSON description.
// Exit codes: 0 written, 1 bad description or write failure, 2 usage error.

#include "jetwriter/Description.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char* const kDescriptionHelp = R"(
The description is a JSON object:

  {"password": "secret",                 optional, at most 20 characters
   "created": "2024-01-01 00:00:00",     optional creation date (fixed by default)
   "tables": [
     {"name": "Order Details",
      "columns": [
        {"name": "Id", "type": "long", "nullable": false},
        {"name": "Note", "type": "text", "size": 80}],
      "rows": [[1, "first"], [2, null]]},
     {"name": "Big", "columns": [...],
      "generate": {"count": 1000000, "seed": 7, "nulls": 0.05},
      "layout": {"moved": 0.01, "short": [[3, 1]], "seed": 1}},
     {"name": "T{n}", "repeat": 32768, "columns": [...]}]}

Column types: text (size 1-255, default 255), memo, byte, integer, long,
single, double, currency, datetime, boolean, guid. Columns accept Null
("nullable" defaults to true) except boolean ones.
Values: JSON strings, numbers, true/false and null. Currency also as text
("12.3456", exact); datetime as text ("1999-12-31", "1999-12-31 23:59:59",
"08:30") or as a number of days since 1899-12-30; guid as
"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
"generate" writes deterministic rows of plausible values (same seed, same
rows); "repeat" writes the table that many times, {n} in the name counting
from 1. "layout" stores rows as edits in Access leave them: "moved" rows lie
on a later page, their home slot pointing there; "short" rows were written
before the later columns were added and hold only their first N columns
(readers give the rest as Null, Yes/No as No; the values listed for them are
not stored). Each is a list (row numbers from 1; [row, N] pairs) or a share
of the rows picked from "seed".
The output is written to a temporary file beside it and renamed, so a
failure never leaves a partial file.)";

void printError(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("quillmerge-mkdb: %1\n").arg(text)), stderr);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmerge-mkdb"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes an Access (Jet 4, .mdb) database described in JSON.") +
        QString::fromUtf8(kDescriptionHelp));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption quietOption(QStringList{QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("Print nothing when the database was written."));
    parser.addOption(quietOption);
    parser.addPositionalArgument(QStringLiteral("OUTPUT.mdb"), QStringLiteral("The database to write."));
    parser.addPositionalArgument(QStringLiteral("DESCRIPTION.json"),
                                 QStringLiteral("The description to read (\"-\" for standard input)."));

    if (!parser.parse(app.arguments())) {
        printError(parser.errorText());
        return kExitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2) {
        printError(QStringLiteral("expected OUTPUT.mdb and DESCRIPTION.json; see --help."));
        return kExitUsage;
    }
    const QString output = arguments[0];
    const QString input = arguments[1];

    QFile file;
    const bool opened = input == QLatin1String("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(input), file.open(QIODevice::ReadOnly));
    if (!opened) {
        printError(QStringLiteral("cannot read %1: %2").arg(input, file.errorString()));
        return kExitFailure;
    }
    const QByteArray json = file.readAll();

    try {
        QElapsedTimer timer;
        timer.start();
        const auto summary = qm::jetwriter::WriteDescriptionFile(json, output);
        if (!parser.isSet(quietOption)) {
            QTextStream(stdout) << QStringLiteral("%1: %2 tables, %3 rows, %4 pages in %5 s\n")
                                       .arg(output)
                                       .arg(summary.tables)
                                       .arg(summary.rows)
                                       .arg(summary.pages)
                                       .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 2);
        }
    } catch (const qm::Failure& e) {
        printError(e.description());
        return kExitFailure;
    }
    return 0;
}
