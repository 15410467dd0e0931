#include "NativeWord.h"

#include "DocumentFormats.h"
#include "shell/Failure.h"

#include <QDateTime>

namespace qm {

namespace {

// What an application's documents need to know of it.
struct ApplicationState {
    bool quit = false;
    bool visible = false;                  // remembered only: the engine has no window
    std::optional<DocumentFormat> format;  // of every document, or by name
    SaveGuard* guard = nullptr;
};

class NativeDocument : public WordDocument {
  public:
    explicit NativeDocument(std::shared_ptr<const ApplicationState> application)
        : application_(std::move(application)) {
        content_.created = QDateTime::currentDateTimeUtc();
    }

    void TypeText(const TextSpool& text) override {
        requireOpen();
        requireNoTable();
        // The selection of a new document is at its start and moves past what
        // is typed, so successive texts follow one another.
        content_.texts.push_back(text.snapshot());
    }

    void TypeTable(const TextSpool& rows, bool headerRow) override {
        requireOpen();
        requireNoTable();
        if (!content_.texts.empty())
            throw Failure(QStringLiteral("A table can only be inserted into an empty document"));
        content_.texts.push_back(rows.snapshot());
        content_.layout = DocumentLayout::Table;
        content_.headerRow = headerRow;
    }

    void SaveAs(const QString& path) override {
        requireOpen();
        content_.modified = QDateTime::currentDateTimeUtc();
        const auto writer =
            application_->format ? DocumentWriterFor(*application_->format) : DocumentWriterFor(path);
        SaveAtomically(
            path, [&](QIODevice& device) { writer->write(content_, device); }, application_->guard);
    }

    void Close() override {
        requireOpen();
        closed_ = true;
        content_.texts.clear();  // lets go of the spool files
    }

  private:
    // A document holds its text or one table.
    void requireNoTable() const {
        if (content_.layout == DocumentLayout::Table)
            throw Failure(QStringLiteral("The document holds a table; nothing can be typed after it"));
    }

    void requireOpen() const {
        if (application_->quit)
            throw Failure(QStringLiteral("The document engine has quit; its documents are closed"));
        if (closed_)
            throw Failure(QStringLiteral("The document has been closed"));
    }

    std::shared_ptr<const ApplicationState> application_;
    DocumentContent content_;
    bool closed_ = false;
};

class NativeApplication : public WordApplication {
  public:
    NativeApplication(std::optional<DocumentFormat> format, SaveGuard* guard) {
        state_->format = format;
        state_->guard = guard;
    }

    void setVisible(bool visible) override {
        requireRunning();
        state_->visible = visible;
    }

    std::unique_ptr<WordDocument> AddDocument() override {
        requireRunning();
        return std::make_unique<NativeDocument>(state_);
    }

    void Quit() override {
        requireRunning();
        state_->quit = true;
    }

    ~NativeApplication() override { state_->quit = true; }

  private:
    void requireRunning() const {
        if (state_->quit)
            throw Failure(QStringLiteral("The document engine has quit"));
    }

    std::shared_ptr<ApplicationState> state_ = std::make_shared<ApplicationState>();
};

}  // namespace

std::unique_ptr<WordApplication> NativeWordProvider::CreateApplication() {
    return std::make_unique<NativeApplication>(format_, guard_);
}

}  // namespace qm
