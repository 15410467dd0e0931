#include "ExportRun.h"

#include "database/Ado.h"
#include "database/QueryText.h"
#include "shell/Failure.h"

#include <sys/stat.h>
#include <QFile>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace qm {

namespace {

// Reads the separator once per line and converts it only when it changed.
class SeparatorCache {
  public:
    explicit SeparatorCache(const ExportInputs& inputs) : inputs_(inputs) {}
    const std::string& current() {
        const QString now = inputs_.separator();
        if (now != text_ || !valid_) {
            text_ = now;
            utf8_ = now.toStdString();
            valid_ = true;
        }
        return utf8_;
    }

  private:
    const ExportInputs& inputs_;
    QString text_;
    std::string utf8_;
    bool valid_ = false;
};

// The file a path leads to (symbolic links followed), or nothing when there is none.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// Throws when the output path leads to the database file itself (the same
// path, another path, a symbolic or a hard link to it): saving there would
// replace the database with the document.
void refuseToReplaceDatabase(const QString& outputPath, const QString& databasePath) {
    const auto output = fileIdentity(outputPath);
    if (output && output == fileIdentity(databasePath))
        throw Failure(QStringLiteral("Could not save '%1': it is the database '%2' itself, which would be "
                                     "lost. Choose another name for the document.")
                          .arg(outputPath, databasePath));
}

}  // namespace

bool TimedPacing::pauseNow() {
    if (!sincePause_.isValid()) {
        sincePause_.start();
        return false;
    }
    if (!sincePause_.hasExpired(kPauseIntervalMs))
        return false;
    sincePause_.restart();
    return true;
}

QString BuildSelectedFields(const QStringList& fieldNames) {
    QString fields;
    for (const QString& name : fieldNames)
        fields += QLatin1Char('`') + name + QStringLiteral("`, ");
    fields.chop(2);
    return fields;
}

void RemoveTrailingSeparator(std::string& line, std::size_t separatorLength) {
    if (line.size() >= separatorLength)
        line.resize(line.size() - separatorLength);
}

namespace {

// The lines of the finish procedure ("Form4.PushButton4_Click") that the
// export runs; the page runs the others (100 to 110, 190, 192). Each numbers
// one statement: a failure is reported with it and the run goes on with the
// next statement (ErrorReport.h).
namespace line {
constexpr int kSetMode = 112;
constexpr int kOpenConnection = 114;
constexpr int kOpenRecords = 116;
constexpr int kHeaderWanted = 118;
constexpr int kEmptyHeader = 120;
constexpr int kHeaderFieldCount = 122;
constexpr int kHeaderField = 124;
constexpr int kTrimHeader = 128;
constexpr int kAddHeader = 130;
constexpr int kRecordCount = 134;
constexpr int kProcessEvents = 136;
constexpr int kFieldCount = 140;
constexpr int kField = 144;
constexpr int kAddLine = 150;
constexpr int kMoveNext = 154;
constexpr int kCreateApplication = 172;
constexpr int kHideApplication = 174;
constexpr int kAddDocument = 176;
constexpr int kTypeText = 178;
constexpr int kSave = 180;
constexpr int kClose = 182;
constexpr int kQuit = 184;
constexpr int kReleaseDocument = 186;
constexpr int kReleaseApplication = 188;
}  // namespace line

// One run: the objects its statements share, and its three parts in order.
class ExportRun {
  public:
    ExportRun(Procedure& proc, const ExportInputs& inputs, ExportObserver* observer)
        : proc_(proc),
          inputs_(inputs),
          observer_(observer),
          separator_(inputs),
          table_(inputs.layout() == DocumentLayout::Table) {}

    // Opens the database and the record set of the chosen fields.
    void openRecords();
    // The optional first line (or header row) of field names. Returns whether it was asked for.
    bool addHeaderLine();
    // A line (or row) per record into the spool. Returns false when a read
    // broke off: the rest of the table cannot be trusted, and no document is
    // written from a partial read.
    bool addRecords();
    // Has the engine type the spooled text and save it. Returns whether it was saved.
    bool storeDocument(WordProvider& word, bool headerRow);

  private:
    void addLine();
    void showProgress(long long done, long long count);

    Procedure& proc_;
    const ExportInputs& inputs_;
    ExportObserver* observer_;
    SeparatorCache separator_;
    const bool table_;  // cells kept apart in the spool (TextSpool::appendRow), not joined
    Connection connection_;
    Recordset records_;
    TextSpool text_;
    std::string line_;
    std::vector<std::string> cells_;  // a row's cells keep their room from record to record
};

void ExportRun::openRecords() {
    proc_.step(line::kSetMode, [&] { connection_.setMode(adModeReadWrite); });
    proc_.step(line::kOpenConnection,
               [&] { connection_.Open(BuildConnectionString(inputs_), inputs_.databaseSession()); });
    proc_.step(line::kOpenRecords, [&] {
        records_.ShowStoredValues(inputs_.storedValues());
        records_.Open(SelectedFieldsQuery(inputs_.selectedFields(), inputs_.selectedTable()), connection_,
                      adOpenStatic, adLockOptimistic);
    });
}

// A field whose name cannot be read is reported, and the line goes on with the next.
bool ExportRun::addHeaderLine() {
    if (!proc_.condition(line::kHeaderWanted, [&] { return inputs_.headerLine(); }))
        return false;
    proc_.step(line::kEmptyHeader, [&] {
        line_.clear();
        cells_.clear();
    });
    int fieldCount = 0;
    std::size_t separatorLength = 0;
    proc_.step(line::kHeaderFieldCount, [&] {
        separatorLength = separator_.current().size();
        fieldCount = records_.fieldCount();
    });
    for (int i = 0; i < fieldCount; ++i) {
        proc_.step(line::kHeaderField, [&] {
            const std::string name = records_.fieldName(i).toStdString();
            if (table_) {
                cells_.push_back(name);
                return;
            }
            line_ += name;
            line_ += separator_.current();
        });
    }
    if (!table_)
        proc_.step(line::kTrimHeader, [&] { RemoveTrailingSeparator(line_, separatorLength); });
    proc_.step(line::kAddHeader, [&] { addLine(); });
    return true;
}

void ExportRun::addLine() {
    if (table_)
        text_.appendRow(cells_);
    else
        text_.appendLine(line_);
}

void ExportRun::showProgress(long long done, long long count) {
    proc_.step(line::kProcessEvents, [&] {
        observer_->progress(done, count);
        observer_->keepResponsive();
    });
}

bool ExportRun::addRecords() {
    long long recordCount = 0;
    if (!proc_.step(line::kRecordCount, [&] { recordCount = records_.RecordCount(); }))
        return false;
    TimedPacing timed;
    ExportPacing* pacing = observer_ && observer_->pacing() ? observer_->pacing() : &timed;
    long long done = 0;
    while (records_.isOpen() && !records_.isEOF()) {
        if (observer_ && pacing->pauseNow())
            showProgress(done, recordCount);
        line_.clear();
        int fieldCount = 0;
        std::size_t separatorLength = 0;
        if (!proc_.step(line::kFieldCount, [&] {
                separatorLength = separator_.current().size();
                fieldCount = records_.fieldCount();
            }))
            return false;
        cells_.resize(table_ ? static_cast<std::size_t>(std::max(fieldCount, 0)) : 0);
        for (int i = 0; i < fieldCount; ++i) {
            const bool read = proc_.step(line::kField, [&] {
                if (table_) {
                    std::string& cell = cells_[static_cast<std::size_t>(i)];
                    cell.clear();
                    records_.appendMarkedText(i, cell);
                    return;
                }
                records_.appendMarkedText(i, line_);
                line_ += separator_.current();
            });
            if (!read)
                return false;
        }
        RemoveTrailingSeparator(line_, separatorLength);
        if (!proc_.step(line::kAddLine, [&] { addLine(); }) ||
            !proc_.step(line::kMoveNext, [&] { records_.MoveNext(); }))
            return false;
        ++done;
    }
    if (observer_) {
        observer_->progress(done, recordCount);
        if (records_.isOpen())
            observer_->placeholders(records_.Placeholders());
    }
    return true;
}

bool ExportRun::storeDocument(WordProvider& word, bool headerRow) {
    std::unique_ptr<WordApplication> application;
    std::unique_ptr<WordDocument> document;
    proc_.step(line::kCreateApplication, [&] { application = word.CreateApplication(); });
    proc_.step(line::kHideApplication, [&] { need(application).setVisible(false); });
    proc_.step(line::kAddDocument, [&] { document = need(application).AddDocument(); });
    // The spool already holds every line with its CR LF: one call types it all.
    const bool typed = proc_.step(line::kTypeText, [&] {
        if (table_)
            need(document).TypeTable(text_, headerRow);
        else
            need(document).TypeText(text_);
    });
    // Saving a document that did not receive its text would replace the file
    // with an empty one; the failure above has been reported already. The
    // engine replaces whatever file the output path leads to: never the
    // database, whichever name, link or hard link the path reaches it by.
    const bool saved = typed && proc_.step(line::kSave, [&] {
        const QString output = inputs_.outputPath();
        refuseToReplaceDatabase(output, inputs_.databasePath());
        need(document).SaveAs(output);
    });
    proc_.step(line::kClose, [&] { need(document).Close(); });
    proc_.step(line::kQuit, [&] { need(application).Quit(); });
    proc_.step(line::kReleaseDocument, [&] { document.reset(); });
    proc_.step(line::kReleaseApplication, [&] { application.reset(); });
    return saved;
}

}  // namespace

bool RunExport(Procedure& proc, const ExportInputs& inputs, WordProvider& word, ExportObserver* observer) {
    const int failuresBeforeRead = proc.failureCount();
    ExportRun run(proc, inputs, observer);
    run.openRecords();
    const bool headerRow = run.addHeaderLine();
    run.addRecords();
    // Writing a document from a database that could not be read would replace
    // the user's file with an empty or partial one: stop here instead.
    if (proc.failureCount() != failuresBeforeRead)
        return false;
    return run.storeDocument(word, headerRow);
}

}  // namespace qm
