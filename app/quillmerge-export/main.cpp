// quillmerge-export: the wizard's export from the command line.

#include "database/Ado.h"
#include "database/Catalogue.h"
#include "export/ExportRun.h"
#include "export/document/DocumentFormats.h"
#include "export/document/NativeWord.h"
#include "shell/BuildConfig.h"
#include "shell/ErrorReport.h"
#include "shell/FileSystem.h"
#include "shell/TerminationRequests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTextStream>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

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
    qm::DocumentLayout documentLayout = qm::DocumentLayout::Lines;

    QString databasePath() const override { return path; }
    QString databasePassword() const override { return password; }
    QString selectedTable() const override { return table; }
    QString selectedFields() const override { return fields; }
    QString outputPath() const override { return output; }
    QString separator() const override { return separatorText; }
    bool headerLine() const override { return header; }
    qm::DocumentLayout layout() const override { return documentLayout; }
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
    void placeholders(long long count) override { placeholders_ = count; }
    long long placeholderCount() const { return placeholders_; }

  private:
    bool enabled_;
    bool shown_ = false;
    long long placeholders_ = 0;
};

// Ctrl-C, kill and a closed terminal (TerminationRequests, on a thread of its
// own): before the save nothing of the document is on disk (the text spool is
// an anonymous file) and the program ends at once, by the signal, with one
// line saying so; a save in progress first finishes, or (when the request came
// before the new file was complete) throws it away, so the previous document
// stays as it was.
std::atomic<bool> gDocumentWritten{false};

[[noreturn]] void endByTermination(int signal) {
    const char* name = sigabbrev_np(signal);
    // After a progress line on a terminal, on a line of its own.
    std::fprintf(stderr, "%squillmerge-export: interrupted (SIG%s); %s\n",
                 ::isatty(STDERR_FILENO) == 1 ? "\n" : "", name ? name : "?",
                 gDocumentWritten ? "the document had been written" : "no document was written");
    std::fflush(stderr);
    // End the way the signal ends a program, so a calling shell sees it.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

// Once a termination has come, the main thread waits for it to end the program.
[[noreturn]] void awaitTheEnd() {
    for (;;)
        ::pause();
}

// Every save goes through this guard: no termination while the engine saves;
// a complete file replaces the old one only when none came meanwhile.
class CommandLineSaves : public qm::SaveGuard {
  public:
    void begin() override { shield_.emplace(); }
    bool mayCommit(QString& reason) override {
        if (!qm::TerminationShield::interrupted())
            return true;
        reason = QStringLiteral("interrupted");
        return false;
    }
    void end(bool committed) override {
        if (committed && !intoTemporaryFile)
            gDocumentWritten = true;
        const bool interrupted = qm::TerminationShield::interrupted();
        shield_.reset();
        if (interrupted && !intoTemporaryFile)
            awaitTheEnd();
    }
    // The document goes to a temporary file first (for standard output),
    // under a shield of the caller's.
    bool intoTemporaryFile = false;

  private:
    std::optional<qm::TerminationShield> shield_;
};

// The output name that stands for standard output.
const QString kStandardOutput = QStringLiteral("-");

// Standard output as the document's target: the engine saves it into the
// temporary folder under an unpredictable name, the file is opened and
// removed, and then copied out, so nothing of it stays on disk however the
// run ends.
class StandardOutputDocument : public qm::WordDocument {
  public:
    StandardOutputDocument(std::unique_ptr<qm::WordDocument> inner, CommandLineSaves& saves)
        : inner_(std::move(inner)), saves_(saves) {}
    void TypeText(const qm::TextSpool& text) override { inner_->TypeText(text); }
    void TypeTable(const qm::TextSpool& rows, bool headerRow) override { inner_->TypeTable(rows, headerRow); }
    void Close() override { inner_->Close(); }
    void SaveAs(const QString& path) override;

  private:
    std::unique_ptr<qm::WordDocument> inner_;
    CommandLineSaves& saves_;
};

[[noreturn]] void cannotWrite(int error) {
    throw qm::Failure(QStringLiteral("Could not write the document to standard output: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(error))));
}

void StandardOutputDocument::SaveAs(const QString& path) {
    if (path != kStandardOutput)
        return inner_->SaveAs(path);
    const QString staged =
        QDir::temp().filePath(QStringLiteral(".quillmerge-export.%1.part")
                                  .arg(QString::number(QRandomGenerator::system()->generate64(), 36)));
    const QByteArray nativeStaged = QFile::encodeName(staged);
    // No termination from before the file exists until it is written out.
    std::optional<qm::TerminationShield> shield(std::in_place);
    saves_.intoTemporaryFile = true;
    std::optional<qm::Failure> failed;
    try {
        inner_->SaveAs(staged);
    } catch (const qm::Failure& failure) {
        failed = failure;
    }
    saves_.intoTemporaryFile = false;
    const int document = failed ? -1 : ::open(nativeStaged.constData(), O_RDONLY | O_CLOEXEC);
    const int openError = errno;
    ::unlink(nativeStaged.constData());
    if (qm::TerminationShield::interrupted()) {
        if (document >= 0)
            ::close(document);
        shield.reset();
        awaitTheEnd();
    }
    if (failed) {
        QString description = failed->description();
        throw qm::Failure(description.replace(staged, QStringLiteral("standard output")), failed->number());
    }
    if (document < 0)
        cannotWrite(openError);
    // Copied in pieces, each written whole.
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(document, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            ::close(document);
            cannotWrite(error);
        }
        if (got == 0)
            break;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t put = ::write(STDOUT_FILENO, buffer + sent, static_cast<std::size_t>(got - sent));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                const int error = errno;
                ::close(document);
                cannotWrite(error);
            }
            sent += put;
        }
    }
    ::close(document);
    gDocumentWritten = true;
}

class StandardOutputApplication : public qm::WordApplication {
  public:
    StandardOutputApplication(std::unique_ptr<qm::WordApplication> inner, CommandLineSaves& saves)
        : inner_(std::move(inner)), saves_(saves) {}
    void setVisible(bool visible) override { inner_->setVisible(visible); }
    std::unique_ptr<qm::WordDocument> AddDocument() override {
        return std::make_unique<StandardOutputDocument>(inner_->AddDocument(), saves_);
    }
    void Quit() override { inner_->Quit(); }

  private:
    std::unique_ptr<qm::WordApplication> inner_;
    CommandLineSaves& saves_;
};

// The engine, saving every document in the given format through the guard;
// standard output as the document "-".
class CommandLineWordProvider : public qm::WordProvider {
  public:
    explicit CommandLineWordProvider(qm::DocumentFormat format) : engine_(format) {
        engine_.setSaveGuard(&saves_);
    }
    std::unique_ptr<qm::WordApplication> CreateApplication() override {
        return std::make_unique<StandardOutputApplication>(engine_.CreateApplication(), saves_);
    }

  private:
    CommandLineSaves saves_;
    qm::NativeWordProvider engine_;
};

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

// Overwrites the program's copy of the password when the run ends, however it ends.
class WipedAtExit {
  public:
    explicit WipedAtExit(QString& text) : text_(text) {}
    ~WipedAtExit() {
        if (!text_.isEmpty())
            explicit_bzero(text_.data(), static_cast<std::size_t>(text_.size()) * sizeof(QChar));
    }
    WipedAtExit(const WipedAtExit&) = delete;
    WipedAtExit& operator=(const WipedAtExit&) = delete;

  private:
    QString& text_;
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
    // Also ignores the file-size limit (ulimit -f): a write past it fails with
    // "File too large", reported like any other failed save.
    const qm::TerminationRequests terminations(endByTermination, qm::TerminationRequests::Delivery::Thread);
    // A reader of standard output that goes away makes the write fail, which
    // is reported, instead of ending the program before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillmerge-export"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(qm::kVersion));

    QCommandLineParser parser;
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
    const QCommandLineOption layout(
        QStringLiteral("layout"),
        QStringLiteral("lines: one line per record, the values joined by the separator (the default). "
                       "table: one table, one row per record and one cell per value; the line of field "
                       "names is its header row, repeated on every page; takes no --separator. "
                       "A .txt document gets the cells joined by a tab."),
        QStringLiteral("LAYOUT"));
    parser.addOptions({listTables, table, field, separator, noHeader, output, passwordFile, format, layout});

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
    if (!listing && parser.value(output) == kStandardOutput && ::isatty(STDOUT_FILENO) == 1)
        usageError(
            QStringLiteral("not writing a document to a terminal: redirect standard output, or give "
                           "--output FILE"));
    if (listing && (parser.isSet(table) || parser.isSet(output) || parser.isSet(field) ||
                    parser.isSet(format) || parser.isSet(layout)))
        usageError(QStringLiteral("--list-tables takes no --table, --field, --output, --format or --layout"));
    // A second value of a one-value option is a slip, not a choice.
    for (const QCommandLineOption* single : {&table, &separator, &output, &passwordFile, &format, &layout}) {
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

    qm::DocumentLayout documentLayout = qm::DocumentLayout::Lines;
    if (parser.isSet(layout)) {
        const QString name = parser.value(layout);
        if (name == QLatin1String("table"))
            documentLayout = qm::DocumentLayout::Table;
        else if (name != QLatin1String("lines"))
            usageError(QStringLiteral("unknown layout '%1': give lines or table").arg(name));
    }
    // A table keeps the values apart by itself; a separator would be ignored.
    if (documentLayout == qm::DocumentLayout::Table && parser.isSet(separator))
        usageError(QStringLiteral("--separator cannot be used with --layout table"));

    CommandLineInputs inputs;
    inputs.documentLayout = documentLayout;
    const WipedAtExit wipePassword(inputs.password);
    inputs.path = positional.front();
    try {
        QString fromEnvironment = takeEnvironmentPassword();
        const WipedAtExit wipeUnused(fromEnvironment);
        if (parser.isSet(passwordFile))
            inputs.password = readPasswordFile(parser.value(passwordFile));
        else
            std::swap(inputs.password, fromEnvironment);
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
            parser.isSet(field) ? parser.values(field) : qm::GetFieldNames(inputs, inputs.table);
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
    CommandLineWordProvider word(forcedFormat.value_or(qm::DocumentFormatForPath(inputs.output)));
    bool saved = false;
    long long placeholders = 0;
    {
        TerminalProgress progress;
        saved = qm::RunExport(proc, inputs, word, &progress);
        placeholders = progress.placeholderCount();
    }
    if (errors.count() > 0) {
        printLine(stderr, QStringLiteral("quillmerge-export: ") + errors.first());
        return kExitFailure;
    }
    if (saved && placeholders > 0)
        printLine(stderr, QStringLiteral("quillmerge-export: %1 %2 could not be decoded and %3 written as "
                                         "placeholders such as [Calculated value]")
                              .arg(placeholders)
                              .arg(placeholders == 1 ? QStringLiteral("value") : QStringLiteral("values"),
                                   placeholders == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    return saved ? kExitOk : kExitFailure;
}
