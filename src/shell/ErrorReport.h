#pragma once

#include "shell/Failure.h"

#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace qm {

// One reported failure: what failed, in which procedure and at which numbered line.
struct ErrorReport {
    QString description;  // as the failing layer gave it
    QString location;     // "Form1.PushButton3_Click"
    int line = 0;

    // The message text: description, CR LF, location prefix, "at line N", CR CR, support request.
    QString messageText() const;
};

// "in Tabquill2021/08/31.<location> "
QString errorLocationPrefix(const QString& location);
// The address users are asked to send screenshots to (a build setting).
QString supportEmailAddress();
// Title of the warning box that shows a report.
inline constexpr const char* kErrorReportTitle = "Application Error";

// Where reports go: a warning box in the wizard, standard error on the command
// line, a recorder in tests. show() returns once the user has acknowledged it.
class ErrorSink {
  public:
    virtual ~ErrorSink() = default;
    virtual void show(const ErrorReport& report) = 0;
};

// Keeps every report, for tests and for callers that decide later how to show them.
class RecordingErrorSink : public ErrorSink {
  public:
    void show(const ErrorReport& report) override { reports.push_back(report); }
    std::vector<ErrorReport> reports;
};

// Turns whatever a step threw into the description the report shows.
QString describeException(std::exception_ptr error);

// A procedure whose statements carry line numbers and which reports a failing
// statement and then carries on with the next one:
//
//     Procedure proc(sink, "Form1.PushButton3_Click");
//     proc.step(100, [&] { names = catalogue.tableNames(path); });
//     if (proc.condition(102, [&] { return !names; })) { ... }
//
// A failing condition is reported and then counts as true, so its block runs.
class Procedure {
  public:
    Procedure(ErrorSink& sink, QString location) : sink_(sink), location_(std::move(location)) {}

    // Runs one numbered statement. Returns false when it failed (after reporting it).
    template <class F>
    bool step(int line, F&& statement) {
        try {
            statement();
            return true;
        } catch (...) {
            report(line, std::current_exception());
            return false;
        }
    }

    // Evaluates the condition of a numbered conditional statement.
    template <class F>
    bool condition(int line, F&& test) {
        try {
            return static_cast<bool>(test());
        } catch (...) {
            report(line, std::current_exception());
            return true;
        }
    }

    // Reports a failure detected without an exception (for instance a result
    // flag), at the given line.
    void fail(int line, const QString& description);

    int failureCount() const { return failures_; }
    bool failed() const { return failures_ > 0; }
    const QString& location() const { return location_; }

  private:
    void report(int line, std::exception_ptr error);

    ErrorSink& sink_;
    QString location_;
    int failures_ = 0;
};

// An object a statement needs was never made, because the statement that
// should have made it failed (and was reported): the runtime's error 91,
// reported in turn at the line of the statement that needs it.
template <class T>
T& need(const std::unique_ptr<T>& object) {
    if (!object)
        throw Failure(QStringLiteral("Object variable or With block variable not set"), 91);
    return *object;
}

}  // namespace qm
