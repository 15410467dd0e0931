#include "export/CommandLine.h"

#include "export/CommandLineOutput.h"
#include "shell/Failure.h"

#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdlib>
#include <cstring>

namespace qm::cli {

namespace {

[[noreturn]] void usageError(const QString& message) {
    PrintLine(stderr, QStringLiteral("quillmerge-export: ") + message);
    PrintLine(stderr, QStringLiteral("Try 'quillmerge-export --help' for more information."));
    std::exit(kExitUsage);
}

// The password in the environment is overwritten once read, so that it stays
// neither in memory nor in /proc/PID/environ for the rest of the run.
QString takeEnvironmentPassword() {
    char* value = std::getenv("QUILLMERGE_PASSWORD");
    if (!value)
        return QString();
    const QString password = QString::fromLocal8Bit(value);
    explicit_bzero(value, std::strlen(value));
    return password;
}

QString readPasswordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("cannot read password file '%1': %2").arg(path, file.errorString()));
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

void PrintLine(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stream, "%s\n", bytes.constData());
    std::fflush(stream);
}

WipedAtExit::~WipedAtExit() {
    if (!text_.isEmpty())
        explicit_bzero(text_.data(), static_cast<std::size_t>(text_.size()) * sizeof(QChar));
}

QString ReadPassword(const Request& request) {
    QString fromEnvironment = takeEnvironmentPassword();
    const WipedAtExit wipeUnused(fromEnvironment);
    if (request.passwordFile)
        return readPasswordFile(*request.passwordFile);
    QString password;
    std::swap(password, fromEnvironment);
    return password;
}

namespace {

// The options, with the texts --help shows.
struct Options {
    const QCommandLineOption listTables{QStringLiteral("list-tables"),
                                        QStringLiteral("Print the names of the user tables, one per line.")};
    const QCommandLineOption table{QStringLiteral("table"), QStringLiteral("The table to export."),
                                   QStringLiteral("NAME")};
    const QCommandLineOption field{QStringLiteral("field"),
                                   QStringLiteral("A field to export; repeat for several, in output order. "
                                                  "Default: every field in table order."),
                                   QStringLiteral("NAME")};
    const QCommandLineOption separator{QStringLiteral("separator"),
                                       QStringLiteral("Text between the values of a line (default \",\")."),
                                       QStringLiteral("TEXT"), QStringLiteral(",")};
    const QCommandLineOption noHeader{QStringLiteral("no-header"),
                                      QStringLiteral("Leave out the first line of field names.")};
    const QCommandLineOption output{QStringLiteral("output"),
                                    QStringLiteral("The document to write. An existing file is replaced only "
                                                   "once the new one is complete."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption passwordFile{
        QStringLiteral("password-file"),
        QStringLiteral("Read the database password from FILE (one line end at its end is dropped)."),
        QStringLiteral("FILE")};
    const QCommandLineOption format{
        QStringLiteral("format"),
        QStringLiteral("Document format: docx, doc, odt, rtf or txt. Default: from the "
                       "extension of FILE (.doc, .odt, .rtf, .txt; anything else docx)."),
        QStringLiteral("FORMAT")};
    const QCommandLineOption storedValues{
        QStringLiteral("stored-values"),
        QStringLiteral("Write the values as the table stores them: a lookup's key instead of the name it "
                       "shows, a hyperlink's stored form, rich text's markup.")};
    const QCommandLineOption layout{
        QStringLiteral("layout"),
        QStringLiteral("lines: one line per record, the values joined by the separator (the default). "
                       "table: one table, one row per record and one cell per value; the line of field "
                       "names is its header row, repeated on every page; takes no --separator. "
                       "A .txt document gets the cells joined by a tab."),
        QStringLiteral("LAYOUT")};

    void addTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(QStringLiteral(
            "Writes the records of one table of a Microsoft Access database (.mdb, .accdb) into a Word\n"
            "document, one line per record, the values joined by a separator, or as a table with one\n"
            "row per record and one cell per value (--layout table).\n"
            "\n"
            "  quillmerge-export DATABASE --list-tables\n"
            "  quillmerge-export DATABASE --table NAME [--field NAME]... [--separator TEXT] [--no-header]\n"
            "                    --output FILE\n"
            "  quillmerge-export DATABASE --table NAME [--field NAME]... --layout table [--no-header]\n"
            "                    --output FILE\n"
            "\n"
            "--output - writes the document to standard output.\n"
            "\n"
            "The database password is read from --password-file or from the environment variable\n"
            "QUILLMERGE_PASSWORD; it is never taken from the command line, where other users could see it.\n"
            "Exit status: 0 on success, 1 when the export fails, 2 on a usage error."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(QStringLiteral("DATABASE"), QStringLiteral("The Access database file."));
        parser.addOptions({listTables, table, field, separator, noHeader, output, passwordFile, format,
                           layout, storedValues});
    }
};

// The combinations of options that make no sense.
void checkCombinations(const QCommandLineParser& parser, const Options& o) {
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        usageError(positional.isEmpty() ? QStringLiteral("missing DATABASE")
                                        : QStringLiteral("exactly one DATABASE expected"));
    const bool listing = parser.isSet(o.listTables);
    if (!listing && !parser.isSet(o.table))
        usageError(QStringLiteral("give --table NAME, or --list-tables"));
    if (!listing && !parser.isSet(o.output))
        usageError(QStringLiteral("give --output FILE"));
    if (!listing && parser.value(o.output) == kStandardOutput && ::isatty(STDOUT_FILENO) == 1)
        usageError(
            QStringLiteral("not writing a document to a terminal: redirect standard output, or give "
                           "--output FILE"));
    if (listing && (parser.isSet(o.table) || parser.isSet(o.output) || parser.isSet(o.field) ||
                    parser.isSet(o.format) || parser.isSet(o.layout) || parser.isSet(o.storedValues)))
        usageError(QStringLiteral(
            "--list-tables takes no --table, --field, --output, --format, --layout or --stored-values"));
    // A second value of a one-value option is a slip, not a choice.
    for (const QCommandLineOption* single :
         {&o.table, &o.separator, &o.output, &o.passwordFile, &o.format, &o.layout}) {
        if (parser.values(*single).size() > 1)
            usageError(QStringLiteral("--%1 given more than once").arg(single->names().constFirst()));
    }
}

std::optional<DocumentFormat> formatOf(const QCommandLineParser& parser, const Options& o) {
    if (!parser.isSet(o.format))
        return std::nullopt;
    const std::optional<DocumentFormat> format = ParseDocumentFormat(parser.value(o.format));
    if (!format)
        usageError(QStringLiteral("unknown format '%1': give docx, doc, odt, rtf or txt")
                       .arg(parser.value(o.format)));
    return format;
}

DocumentLayout layoutOf(const QCommandLineParser& parser, const Options& o) {
    DocumentLayout layout = DocumentLayout::Lines;
    if (parser.isSet(o.layout)) {
        const QString name = parser.value(o.layout);
        if (name == QLatin1String("table"))
            layout = DocumentLayout::Table;
        else if (name != QLatin1String("lines"))
            usageError(QStringLiteral("unknown layout '%1': give lines or table").arg(name));
    }
    // A table keeps the values apart by itself; a separator would be ignored.
    if (layout == DocumentLayout::Table && parser.isSet(o.separator))
        usageError(QStringLiteral("--separator cannot be used with --layout table"));
    return layout;
}

}  // namespace

Request ParseArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const Options o;
    o.addTo(parser);
    if (!parser.parse(arguments))
        usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(kExitOk);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    checkCombinations(parser, o);

    Request request;
    request.database = parser.positionalArguments().constFirst();
    request.listTables = parser.isSet(o.listTables);
    request.table = parser.value(o.table);
    if (parser.isSet(o.field))
        request.fields = parser.values(o.field);
    request.separator = parser.value(o.separator);
    request.header = !parser.isSet(o.noHeader);
    request.output = parser.value(o.output);
    if (parser.isSet(o.passwordFile))
        request.passwordFile = parser.value(o.passwordFile);
    request.format = formatOf(parser, o);
    request.layout = layoutOf(parser, o);
    request.storedValues = parser.isSet(o.storedValues);
    return request;
}

}  // namespace qm::cli
