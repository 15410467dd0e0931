// quillmerge-export: the wizard's export from the command line.

#include "BuildConfig.h"
#include "database/Ado.h"
#include "database/Catalogue.h"
#include "export/ExportRun.h"
#include "export/TableFields.h"
#include "export/document/DocumentWriter.h"
#include "export/document/NativeWord.h"
#include "shell/ErrorReport.h"
#include "shell/FileSystem.h"

#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void printLine(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stream, "%s\n", bytes.constData());
    std::fflush(stream);
}

[[noreturn]] void usageError(const QString& message) {
    printLine(stderr, QStringLiteral("quillmerge-export: ") + message);
    printLine(stderr, QStringLiteral("Try 'quillmerge-export --help' for more information."));
    std::exit(kExitUsage);
}

// Shows the first failure as one line; the ones after it follow from it.
class CommandLineErrors : public qm::ErrorSink {
  public:
    void show(const qm::ErrorReport& report) override {
        if (reports_++ == 0)
            firstDescription_ = report.description;
    }
    int count() const { return reports_; }
    const QString& first() const { return firstDescription_; }

  private:
    int reports_ = 0;
    QString firstDescription_;
};

class CommandLineInputs : public qm::ExportInputs {
  public:
    QString path, password, table, fields, output, separatorText;
    bool header = true;

    QString databasePath() const override { return path; }
    QString databasePassword() const override { return password; }
    QString selectedTable() const override { return table; }
    QString selectedFields() const override { return fields; }
    QString outputPath() const override { return output; }
    QString separator() const override { return separatorText; }
    bool headerLine() const override { return header; }
};

// Progress on standard error, only when a person is watching it.
class TerminalProgress : public qm::ExportObserver {
  public:
    TerminalProgress() : enabled_(::isatty(STDERR_FILENO) == 1) {}
    ~TerminalProgress() override {
        if (shown_)
            std::fputs("\n", stderr);
    }
    void progress(long long done, long long count) override {
        if (!enabled_)
            return;
        std::fprintf(stderr, "\rquillmerge-export: %lld of %lld records", done, count);
        std::fflush(stderr);
        shown_ = true;
    }

  private:
    bool enabled_;
    bool shown_ = false;
};

QString readPasswordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw qm::Failure(QStringLiteral("cannot read password file '%1': %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    // One line end at the end belongs to the file, not to the password.
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    QString password = QString::fromUtf8(bytes);
    bytes.fill('\0');
    return password;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmerge-export"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(qm::kVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the records of one table of a Microsoft Access database (.mdb, .accdb) into a Word\n"
        "document, one line per record, the values joined by a separator.\n"
        "\n"
        "  quillmerge-export DATABASE --list-tables\n"
        "  quillmerge-export DATABASE --table NAME [--field NAME]... [--separator TEXT] [--no-header]\n"
        "                    --output FILE\n"
        "\n"
        "The database password is read from --password-file or from the environment variable\n"
        "QUILLMERGE_PASSWORD; it is never taken from the command line, where other users could see it.\n"
        "Exit status: 0 on success, 1 when the export fails, 2 on a usage error."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("DATABASE"), QStringLiteral("The Access database file."));
    const QCommandLineOption listTables(QStringLiteral("list-tables"),
                                        QStringLiteral("Print the names of the user tables, one per line."));
    const QCommandLineOption table(QStringLiteral("table"), QStringLiteral("The table to export."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption field(QStringLiteral("field"),
                                   QStringLiteral("A field to export; repeat for several, in output order. "
                                                  "Default: every field in table order."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption separator(QStringLiteral("separator"),
                                       QStringLiteral("Text between the values of a line (default \",\")."),
                                       QStringLiteral("TEXT"), QStringLiteral(","));
    const QCommandLineOption noHeader(QStringLiteral("no-header"),
                                      QStringLiteral("Leave out the first line of field names."));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("The document to write. An existing file is replaced only "
                                                   "once the new one is complete."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Read the database password from FILE (one line end at its end is dropped)."),
        QStringLiteral("FILE"));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("Document format: docx, doc, odt, rtf or txt. Default: from the "
                       "extension of FILE (.doc, .odt, .rtf, .txt; anything else docx)."),
        QStringLiteral("FORMAT"));
    parser.addOptions({listTables, table, field, separator, noHeader, output, passwordFile, format});

    if (!parser.parse(QCoreApplication::arguments()))
        usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(kExitOk);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        usageError(positional.isEmpty() ? QStringLiteral("missing DATABASE")
                                        : QStringLiteral("exactly one DATABASE expected"));
    const bool listing = parser.isSet(listTables);
    if (!listing && !parser.isSet(table))
        usageError(QStringLiteral("give --table NAME, or --list-tables"));
    if (!listing && !parser.isSet(output))
        usageError(QStringLiteral("give --output FILE"));
    if (listing &&
        (parser.isSet(table) || parser.isSet(output) || parser.isSet(field) || parser.isSet(format)))
        usageError(QStringLiteral("--list-tables takes no --table, --field, --output or --format"));
    // A second value of a one-value option is a slip, not a choice.
    for (const QCommandLineOption* single : {&table, &separator, &output, &passwordFile, &format}) {
        if (parser.values(*single).size() > 1)
            usageError(QStringLiteral("--%1 given more than once").arg(single->names().constFirst()));
    }
    std::optional<qm::DocumentFormat> forcedFormat;
    if (parser.isSet(format)) {
        forcedFormat = qm::ParseDocumentFormat(parser.value(format));
        if (!forcedFormat)
            usageError(QStringLiteral("unknown format '%1': give docx, doc, odt, rtf or txt")
                           .arg(parser.value(format)));
    }

    CommandLineInputs inputs;
    inputs.path = positional.front();
    try {
        if (parser.isSet(passwordFile))
            inputs.password = readPasswordFile(parser.value(passwordFile));
        else
            inputs.password = qEnvironmentVariable("QUILLMERGE_PASSWORD");
    } catch (const qm::Failure& failure) {
        printLine(stderr, QStringLiteral("quillmerge-export: ") + failure.description());
        return kExitFailure;
    }

    if (listing) {
        try {
            const std::optional<QStringList> names = qm::GetTableNames(inputs.path, inputs);
            if (!names) {
                printLine(stderr,
                          QStringLiteral("quillmerge-export: Could not find file '%1'.").arg(inputs.path));
                return kExitFailure;
            }
            for (const QString& name : *names)
                printLine(stdout, name);
            return kExitOk;
        } catch (const std::exception& error) {
            printLine(stderr, QStringLiteral("quillmerge-export: ") +
                                  qm::describeException(std::current_exception()));
            return kExitFailure;
        }
    }

    if (!qm::FileExists(inputs.path)) {
        printLine(stderr, QStringLiteral("quillmerge-export: Could not find file '%1'.").arg(inputs.path));
        return kExitFailure;
    }
    inputs.table = parser.value(table);
    inputs.output = parser.value(output);
    inputs.separatorText = parser.value(separator);
    inputs.header = !parser.isSet(noHeader);
    try {
        const QStringList fields =
            parser.isSet(field) ? parser.values(field) : qm::ReadFieldNames(inputs, inputs.table);
        if (fields.isEmpty()) {
            printLine(stderr,
                      QStringLiteral("quillmerge-export: table '%1' has no fields").arg(inputs.table));
            return kExitFailure;
        }
        inputs.fields = qm::BuildSelectedFields(fields);
    } catch (const std::exception&) {
        printLine(stderr,
                  QStringLiteral("quillmerge-export: ") + qm::describeException(std::current_exception()));
        return kExitFailure;
    }

    CommandLineErrors errors;
    qm::Procedure proc(errors, QStringLiteral("Form4.PushButton4_Click"));
    qm::NativeWordProvider word(forcedFormat);
    bool saved = false;
    {
        TerminalProgress progress;
        saved = qm::RunExport(proc, inputs, word, &progress);
    }
    if (errors.count() > 0) {
        printLine(stderr, QStringLiteral("quillmerge-export: ") + errors.first());
        return kExitFailure;
    }
    return saved ? kExitOk : kExitFailure;
}
