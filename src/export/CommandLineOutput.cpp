#include "export/CommandLineOutput.h"

#include "shell/Failure.h"
#include "shell/TerminationRequests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace qm {

namespace {

// Ctrl-C, kill and a closed terminal (TerminationRequests, on a thread of its
// own): before the save nothing of the document is on disk (the text spool is
// an anonymous file) and the program ends at once, by the signal, with one
// line saying so; a save in progress first finishes, or (when the request came
// before the new file was complete) throws it away, so the previous document
// stays as it was.
std::atomic<bool> documentWritten{false};

}  // namespace

void EndByTermination(int signal) {
    const char* name = sigabbrev_np(signal);
    // After a progress line on a terminal, on a line of its own.
    std::fprintf(stderr, "%squillmerge-export: interrupted (SIG%s); %s\n",
                 ::isatty(STDERR_FILENO) == 1 ? "\n" : "", name ? name : "?",
                 documentWritten ? "the document had been written" : "no document was written");
    std::fflush(stderr);
    // End the way the signal ends a program, so a calling shell sees it.
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

namespace {

// Once a termination has come, the main thread waits for it to end the program.
[[noreturn]] void awaitTheEnd() {
    for (;;)
        ::pause();
}

// Every save goes through this guard: no termination while the engine saves;
// a complete file replaces the old one only when none came meanwhile.
class GuardedSaves : public SaveGuard {
  public:
    void begin() override { shield_.emplace(); }
    bool mayCommit(QString& reason) override {
        if (!TerminationShield::interrupted())
            return true;
        reason = QStringLiteral("interrupted");
        return false;
    }
    void end(bool committed) override {
        if (committed && !intoTemporaryFile)
            documentWritten = true;
        const bool interrupted = TerminationShield::interrupted();
        shield_.reset();
        if (interrupted && !intoTemporaryFile)
            awaitTheEnd();
    }
    // The document goes to a temporary file first (for standard output),
    // under a shield of the caller's.
    bool intoTemporaryFile = false;

  private:
    std::optional<TerminationShield> shield_;
};

// Standard output as the document's target: the engine saves it into the
// temporary folder under an unpredictable name, the file is opened and
// removed, and then copied out, so nothing of it stays on disk however the
// run ends.
class StandardOutputDocument : public WordDocument {
  public:
    StandardOutputDocument(std::unique_ptr<WordDocument> inner, GuardedSaves& saves)
        : inner_(std::move(inner)), saves_(saves) {}
    void TypeText(const TextSpool& text) override { inner_->TypeText(text); }
    void TypeTable(const TextSpool& rows, bool headerRow) override { inner_->TypeTable(rows, headerRow); }
    void Close() override { inner_->Close(); }
    void SaveAs(const QString& path) override;

  private:
    std::unique_ptr<WordDocument> inner_;
    GuardedSaves& saves_;
};

[[noreturn]] void cannotWrite(int error) {
    throw Failure(QStringLiteral("Could not write the document to standard output: %1")
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
    std::optional<TerminationShield> shield(std::in_place);
    saves_.intoTemporaryFile = true;
    std::optional<Failure> failed;
    try {
        inner_->SaveAs(staged);
    } catch (const Failure& failure) {
        failed = failure;
    }
    saves_.intoTemporaryFile = false;
    const int document = failed ? -1 : ::open(nativeStaged.constData(), O_RDONLY | O_CLOEXEC);
    const int openError = errno;
    ::unlink(nativeStaged.constData());
    if (TerminationShield::interrupted()) {
        if (document >= 0)
            ::close(document);
        shield.reset();
        awaitTheEnd();
    }
    if (failed) {
        QString description = failed->description();
        throw Failure(description.replace(staged, QStringLiteral("standard output")), failed->number());
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
    documentWritten = true;
}

class StandardOutputApplication : public WordApplication {
  public:
    StandardOutputApplication(std::unique_ptr<WordApplication> inner, GuardedSaves& saves)
        : inner_(std::move(inner)), saves_(saves) {}
    void setVisible(bool visible) override { inner_->setVisible(visible); }
    std::unique_ptr<WordDocument> AddDocument() override {
        return std::make_unique<StandardOutputDocument>(inner_->AddDocument(), saves_);
    }
    void Quit() override { inner_->Quit(); }

  private:
    std::unique_ptr<WordApplication> inner_;
    GuardedSaves& saves_;
};

}  // namespace

struct CommandLineWordProvider::Saves : GuardedSaves {};

CommandLineWordProvider::CommandLineWordProvider(DocumentFormat format)
    : saves_(std::make_unique<Saves>()), engine_(format) {
    engine_.setSaveGuard(saves_.get());
}

CommandLineWordProvider::~CommandLineWordProvider() = default;

std::unique_ptr<WordApplication> CommandLineWordProvider::CreateApplication() {
    return std::make_unique<StandardOutputApplication>(engine_.CreateApplication(), *saves_);
}

}  // namespace qm
