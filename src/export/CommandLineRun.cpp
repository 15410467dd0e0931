#include "export/CommandLine.h"

#include "database/Catalogue.h"
#include "database/DatabaseMessages.h"
#include "database/DatabaseSession.h"
#include "export/CommandLineOutput.h"
#include "export/ExportRun.h"
#include "shell/ErrorReport.h"
#include "shell/FileSystem.h"

#include <unistd.h>

namespace qm::cli {

namespace {

// Shows the first failure as one line; the ones after it follow from it.
class CommandLineErrors : public ErrorSink {
  public:
    void show(const ErrorReport& report) override {
        if (reports_++ == 0)
            firstDescription_ = report.description;
    }
    int count() const { return reports_; }
    const QString& first() const { return firstDescription_; }

  private:
    int reports_ = 0;
    QString firstDescription_;
};

class CommandLineInputs : public ExportInputs {
  public:
    QString path, password, table, fields, output, separatorText;
    bool header = true;
    DocumentLayout documentLayout = DocumentLayout::Lines;

    QString databasePath() const override { return path; }
    QString databasePassword() const override { return password; }
    QString selectedTable() const override { return table; }
    QString selectedFields() const override { return fields; }
    QString outputPath() const override { return output; }
    QString separator() const override { return separatorText; }
    bool headerLine() const override { return header; }
    DocumentLayout layout() const override { return documentLayout; }
    bool storedValues() const override { return stored; }
    bool stored = false;
    // The field names and the export open the database: an encrypted one is decrypted once.
    DatabaseSession* databaseSession() const override { return &session; }
    mutable DatabaseSession session;
};

// Progress on standard error, only when a person is watching it.
class TerminalProgress : public ExportObserver {
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

QString programLine(const QString& text) {
    return QStringLiteral("quillmerge-export: ") + text;
}

// "3 values could not be decoded ...": the values the document holds as
// placeholders because they could not be read as their type.
QString placeholderLine(long long count) {
    return programLine(QStringLiteral("%1 %2 could not be decoded and %3 written as placeholders such as "
                                      "[Calculated value]")
                           .arg(count)
                           .arg(count == 1 ? QStringLiteral("value") : QStringLiteral("values"),
                                count == 1 ? QStringLiteral("was") : QStringLiteral("were")));
}

}  // namespace

int ListTables(const Request& request, const QString& password) {
    CommandLineInputs inputs;
    inputs.path = request.database;
    inputs.password = password;
    const WipedAtExit wipePassword(inputs.password);
    try {
        const std::optional<QStringList> names = GetTableNames(inputs.path, inputs);
        if (!names) {
            PrintLine(stderr, programLine(dbmessages::couldNotFindFile(inputs.path)));
            return kExitFailure;
        }
        for (const QString& name : *names)
            PrintLine(stdout, name);
        return kExitOk;
    } catch (const std::exception&) {
        PrintLine(stderr, programLine(describeException(std::current_exception())));
        return kExitFailure;
    }
}

int Export(const Request& request, const QString& password) {
    CommandLineInputs inputs;
    inputs.path = request.database;
    inputs.password = password;
    const WipedAtExit wipePassword(inputs.password);
    if (!FileExists(inputs.path)) {
        PrintLine(stderr, programLine(dbmessages::couldNotFindFile(inputs.path)));
        return kExitFailure;
    }
    inputs.table = request.table;
    inputs.output = request.output;
    inputs.separatorText = request.separator;
    inputs.header = request.header;
    inputs.documentLayout = request.layout;
    inputs.stored = request.storedValues;
    try {
        const QStringList fields = request.fields ? *request.fields : GetFieldNames(inputs, inputs.table);
        if (fields.isEmpty()) {
            PrintLine(stderr, programLine(QStringLiteral("table '%1' has no fields").arg(inputs.table)));
            return kExitFailure;
        }
        inputs.fields = BuildSelectedFields(fields);
    } catch (const std::exception&) {
        PrintLine(stderr, programLine(describeException(std::current_exception())));
        return kExitFailure;
    }

    CommandLineErrors errors;
    Procedure proc(errors, QStringLiteral("Form4.PushButton4_Click"));
    CommandLineWordProvider word(request.format.value_or(DocumentFormatForPath(inputs.output)));
    bool saved = false;
    long long placeholders = 0;
    {
        TerminalProgress progress;
        saved = RunExport(proc, inputs, word, &progress);
        placeholders = progress.placeholderCount();
    }
    if (errors.count() > 0) {
        PrintLine(stderr, programLine(errors.first()));
        return kExitFailure;
    }
    if (saved && placeholders > 0)
        PrintLine(stderr, placeholderLine(placeholders));
    return saved ? kExitOk : kExitFailure;
}

}  // namespace qm::cli
