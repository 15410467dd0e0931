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

bool RunExport(Procedure& proc, const ExportInputs& inputs, WordProvider& word, ExportObserver* observer) {
    Connection connection;
    Recordset records;
    TextSpool text;
    std::string line;
    SeparatorCache separator(inputs);
    const int failuresBeforeRead = proc.failureCount();
    // A table's cells are kept apart in the spool instead of being joined by
    // the separator (TextSpool::appendRow).
    const bool table = inputs.layout() == DocumentLayout::Table;
    std::vector<std::string> cells;

    proc.step(112, [&] { connection.setMode(adModeReadWrite); });
    proc.step(114, [&] { connection.Open(BuildConnectionString(inputs)); });
    proc.step(116, [&] {
        records.Open(SelectedFieldsQuery(inputs.selectedFields(), inputs.selectedTable()), connection,
                     adOpenStatic, adLockOptimistic);
    });

    const bool headerLine = proc.condition(118, [&] { return inputs.headerLine(); });
    if (headerLine) {
        proc.step(120, [&] { line.clear(); });
        int fieldCount = 0;
        std::size_t separatorLength = 0;
        proc.step(122, [&] {
            separatorLength = separator.current().size();
            fieldCount = records.fieldCount();
        });
        if (table) {
            cells.clear();
            for (int i = 0; i < fieldCount; ++i) {
                if (!proc.step(124, [&] { cells.push_back(records.fieldName(i).toStdString()); }))
                    break;
            }
            proc.step(130, [&] { text.appendRow(cells); });
        } else {
            for (int i = 0; i < fieldCount; ++i) {
                if (!proc.step(124, [&] {
                        line += records.fieldName(i).toStdString();
                        line += separator.current();
                    }))
                    break;
            }
            proc.step(128, [&] { RemoveTrailingSeparator(line, separatorLength); });
            proc.step(130, [&] { text.appendLine(line); });
        }
    }

    // The record loop. A read that breaks off is reported once and ends the
    // loop: the rest of the table cannot be trusted, and no document will be
    // written from a partial read anyway.
    long long recordCount = 0;
    if (proc.step(134, [&] { recordCount = records.RecordCount(); })) {
        TimedPacing timed;
        ExportPacing* pacing = observer ? observer->pacing() : nullptr;
        if (!pacing)
            pacing = &timed;
        long long done = 0;
        bool readFailed = false;
        while (!readFailed && records.isOpen() && !records.isEOF()) {
            if (observer && pacing->pauseNow()) {
                proc.step(136, [&] {
                    observer->progress(done, recordCount);
                    observer->keepResponsive();
                });
            }
            line.clear();
            int fieldCount = 0;
            std::size_t separatorLength = 0;
            readFailed = !proc.step(140, [&] {
                const std::string& sep = separator.current();
                separatorLength = sep.size();
                fieldCount = records.fieldCount();
            });
            if (table) {
                // The cells' strings keep their room from record to record.
                cells.resize(static_cast<std::size_t>(std::max(fieldCount, 0)));
                for (int i = 0; i < fieldCount && !readFailed; ++i) {
                    std::string& cell = cells[static_cast<std::size_t>(i)];
                    cell.clear();
                    readFailed = !proc.step(144, [&] { records.appendText(i, cell); });
                }
            } else {
                for (int i = 0; i < fieldCount && !readFailed; ++i) {
                    readFailed = !proc.step(144, [&] {
                        records.appendText(i, line);
                        line += separator.current();
                    });
                }
            }
            if (readFailed)
                break;
            RemoveTrailingSeparator(line, separatorLength);
            readFailed = !proc.step(150, [&] { table ? text.appendRow(cells) : text.appendLine(line); }) ||
                         !proc.step(154, [&] { records.MoveNext(); });
            ++done;
        }
        if (observer && !readFailed) {
            observer->progress(done, recordCount);
            if (records.isOpen())
                observer->placeholders(records.Placeholders());
        }
    }

    // Writing a document from a database that could not be read would replace
    // the user's file with an empty or partial one: stop here instead.
    if (proc.failureCount() != failuresBeforeRead)
        return false;

    // The document text is complete in the spool: every line already ends in CR LF.
    std::unique_ptr<WordApplication> application;
    std::unique_ptr<WordDocument> document;
    proc.step(172, [&] { application = word.CreateApplication(); });
    proc.step(174, [&] { need(application).setVisible(false); });
    proc.step(176, [&] { document = need(application).AddDocument(); });
    const bool typed = proc.step(178, [&] {
        if (table)
            need(document).TypeTable(text, headerLine);
        else
            need(document).TypeText(text);
    });
    // Saving a document that did not receive its text would replace the file
    // with an empty one; the failure above has been reported already.
    // The engine replaces whatever file the output path leads to: never the
    // database, whichever name, link or hard link the path reaches it by.
    const bool saved = typed && proc.step(180, [&] {
        const QString output = inputs.outputPath();
        refuseToReplaceDatabase(output, inputs.databasePath());
        need(document).SaveAs(output);
    });
    proc.step(182, [&] { need(document).Close(); });
    proc.step(184, [&] { need(application).Quit(); });
    proc.step(186, [&] { document.reset(); });
    proc.step(188, [&] { application.reset(); });
    return saved;
}

}  // namespace qm
