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

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
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
#include <mutex>
#include <thread>

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

// Ctrl-C, kill and a closed terminal. They are blocked in every thread from
// the start and taken by one watcher thread, so they never cut a save short
// at a random point: before the save nothing of the document is on disk (the
// text spool is an anonymous file) and the program ends at once; during a save
// the end waits until the save has cleaned up after itself.
class TerminationSignals {
  public:
    static void install() {
        sigset_t set = terminationSet();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread(watch).detach();
    }

    // While one lives, a termination waits; interrupted() says whether one came.
    class SaveWindow {
      public:
        SaveWindow() : lock_(mutex()) {}
        bool interrupted() const { return received().load() != 0; }
        // The document is in place: a termination from now on says so.
        void written() { written_ = true; }
        // Lets the waiting termination end the program.
        [[noreturn]] void endNow() {
            lock_.unlock();
            for (;;)
                ::pause();
        }

      private:
        std::unique_lock<std::mutex> lock_;
    };

  private:
    static sigset_t terminationSet() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set, signal);
        return set;
    }
    static std::mutex& mutex() {
        static std::mutex saving;
        return saving;
    }
    static std::atomic<int>& received() {
        static std::atomic<int> signal{0};
        return signal;
    }
    static inline std::atomic<bool> written_{false};
    [[noreturn]] static void watch() {
        sigset_t set = terminationSet();
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        received().store(signal);
        mutex().lock();  // a save in progress finishes or cleans up first; never unlocked
        const char* name = sigabbrev_np(signal);
        // After a progress line on a terminal, on a line of its own.
        std::fprintf(stderr, "%squillmerge-export: interrupted (SIG%s); %s\n",
                     ::isatty(STDERR_FILENO) == 1 ? "\n" : "", name ? name : "?",
                     written_ ? "the document had been written" : "no document was written");
        std::fflush(stderr);
        // End the way the signal ends a program, so a calling shell sees it.
        std::signal(signal, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        pthread_kill(pthread_self(), signal);
        std::_Exit(128 + signal);
    }
};

// A save as the engine does it, except that the document is first stored
// under a staged name beside the target (unpredictable, created by the
// engine's exclusive save) and renamed over the target only when no
// termination came meanwhile. So a termination during a save leaves neither a
// temporary file nor a replaced document: the previous output stays as it was.
//
// The output "-" is standard output: the document is saved under a staged
// name in the temporary folder, opened, removed, and then copied out, so that
// nothing of it stays on disk however the run ends.
class StagedDocument : public qm::WordDocument {
  public:
    explicit StagedDocument(std::unique_ptr<qm::WordDocument> inner) : inner_(std::move(inner)) {}
    void TypeText(const qm::TextSpool& text) override { inner_->TypeText(text); }
    void Close() override { inner_->Close(); }
    void SaveAs(const QString& path) override;

  private:
    void saveToStandardOutput();
    std::unique_ptr<qm::WordDocument> inner_;
};

// The output name that stands for standard output.
const QString kStandardOutput = QStringLiteral("-");

QString stagedName(const QDir& folder, const QString& fileName) {
    return folder.filePath(QStringLiteral(".%1.%2.part")
                               .arg(fileName, QString::number(QRandomGenerator::system()->generate64(), 36)));
}

[[noreturn]] void saveFailed(const QString& path, const QString& reason) {
    throw qm::Failure(QStringLiteral("Could not save '%1': %2").arg(path, reason));
}

// The file a save replaces: the path with its symbolic links followed, as the
// engine's own save follows them.
QString saveTarget(const QString& path) {
    QFileInfo target(path);
    for (int hops = 0; target.isSymLink(); ++hops) {
        if (hops == 40)
            saveFailed(path, QString::fromLocal8Bit(std::strerror(ELOOP)));
        target.setFile(target.symLinkTarget());
    }
    return target.filePath();
}

void StagedDocument::saveToStandardOutput() {
    const QString staged = stagedName(QDir::temp(), QStringLiteral("quillmerge-export"));
    const QByteArray nativeStaged = QFile::encodeName(staged);
    TerminationSignals::SaveWindow window;
    try {
        inner_->SaveAs(staged);
    } catch (const qm::Failure& failure) {
        ::unlink(nativeStaged.constData());
        QString description = failure.description();
        throw qm::Failure(description.replace(staged, QStringLiteral("standard output")), failure.number());
    }
    const int document = ::open(nativeStaged.constData(), O_RDONLY | O_CLOEXEC);
    const int openError = errno;
    ::unlink(nativeStaged.constData());
    if (window.interrupted())
        window.endNow();
    if (document < 0)
        saveFailed(kStandardOutput, QString::fromLocal8Bit(std::strerror(openError)));
    // Copied in pieces, each written whole.
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(document, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const int error = errno;
            if (got < 0) {
                ::close(document);
                saveFailed(kStandardOutput, QString::fromLocal8Bit(std::strerror(error)));
            }
            break;
        }
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t put = ::write(STDOUT_FILENO, buffer + sent, static_cast<std::size_t>(got - sent));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0) {
                const int error = errno;
                ::close(document);
                throw qm::Failure(QStringLiteral("Could not write the document to standard output: %1")
                                      .arg(QString::fromLocal8Bit(std::strerror(error))));
            }
            sent += put;
        }
    }
    ::close(document);
    window.written();
}

void StagedDocument::SaveAs(const QString& path) {
    if (path == kStandardOutput)
        return saveToStandardOutput();
    if (path.isEmpty())
        return inner_->SaveAs(path);  // the engine's own refusal
    const QString target = saveTarget(path);
    const QByteArray nativeTarget = QFile::encodeName(target);
    struct stat existing {};
    const bool exists = ::stat(nativeTarget.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        saveFailed(path, QStringLiteral("It is a folder"));
    if (exists && ::access(nativeTarget.constData(), W_OK) != 0)
        saveFailed(path, QString::fromLocal8Bit(std::strerror(errno)));

    const QFileInfo info(target);
    const QString staged = stagedName(info.dir(), info.fileName());
    const QByteArray nativeStaged = QFile::encodeName(staged);
    TerminationSignals::SaveWindow window;
    try {
        inner_->SaveAs(staged);
    } catch (const qm::Failure& failure) {
        ::unlink(nativeStaged.constData());
        QString description = failure.description();
        throw qm::Failure(description.replace(staged, path), failure.number());
    }
    if (window.interrupted()) {
        ::unlink(nativeStaged.constData());
        window.endNow();
    }
    // The replaced file's permissions carry over, as with the engine's own save.
    if (exists)
        ::chmod(nativeStaged.constData(), existing.st_mode & 07777);
    if (::rename(nativeStaged.constData(), nativeTarget.constData()) != 0) {
        const int error = errno;
        ::unlink(nativeStaged.constData());
        saveFailed(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    window.written();
}

class StagedApplication : public qm::WordApplication {
  public:
    explicit StagedApplication(std::unique_ptr<qm::WordApplication> inner) : inner_(std::move(inner)) {}
    void setVisible(bool visible) override { inner_->setVisible(visible); }
    std::unique_ptr<qm::WordDocument> AddDocument() override {
        return std::make_unique<StagedDocument>(inner_->AddDocument());
    }
    void Quit() override { inner_->Quit(); }

  private:
    std::unique_ptr<qm::WordApplication> inner_;
};

// The engine, saving every document in the given format (the staged name says nothing about it).
class StagedWordProvider : public qm::WordProvider {
  public:
    explicit StagedWordProvider(qm::DocumentFormat format) : engine_(format) {}
    std::unique_ptr<qm::WordApplication> CreateApplication() override {
        return std::make_unique<StagedApplication>(engine_.CreateApplication());
    }

  private:
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
    // Before any other thread exists, so that every thread inherits the blocking.
    TerminationSignals::install();
    // A file-size limit (ulimit -f) makes a write fail with "File too large",
    // reported like any other failed save, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader of standard output that goes away makes the write fail, which
    // is reported, instead of ending the program before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);
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
    if (!listing && parser.value(output) == kStandardOutput && ::isatty(STDOUT_FILENO) == 1)
        usageError(
            QStringLiteral("not writing a document to a terminal: redirect standard output, or give "
                           "--output FILE"));
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
    StagedWordProvider word(forcedFormat.value_or(qm::DocumentFormatForPath(inputs.output)));
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
