#pragma once

// The modal things the wizard uses, behind interfaces: message boxes, file
// dialogs and the end of the program. QtDialogs.h has the Qt
// implementations; tests script them so that nothing blocks.

#include "shell/ErrorReport.h"

#include <QString>
#include <QStringList>

namespace qm {

enum class MessageIcon { None, Warning };

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // A modal message with a single OK button; returns once it was acknowledged.
    // An empty title shows the application title (see ApplicationTitle).
    virtual void message(const QString& text, MessageIcon icon = MessageIcon::None,
                         const QString& title = QString()) = 0;
};

// The wizard's error report: a warning box titled "Application Error" with one OK button.
class MessageBoxErrorSink : public ErrorSink {
  public:
    explicit MessageBoxErrorSink(MessageBoxes& boxes) : boxes_(boxes) {}
    void show(const ErrorReport& report) override {
        boxes_.message(report.messageText(), MessageIcon::Warning, QString::fromLatin1(kErrorReportTitle));
    }

  private:
    MessageBoxes& boxes_;
};

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QStringList nameFilters;  // Qt form: "Word Files (*.doc)"
    QString fileName;         // proposed at the start
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen path, or "" when the user cancelled.
    virtual QString choose(const FileDialogRequest& request) = 0;
};

// A file dialog as the pages configure it: file name, title, filter in the
// "Description|*.ext|" form, flags. The file name survives between showings,
// so the dialog opens on the last choice.
class CommonDialog {
  public:
    explicit CommonDialog(FileDialogs& dialogs) : dialogs_(dialogs) {}
    QString FileName;
    QString DialogTitle;
    QString Filter;
    // Read-only box, long names, explorer look: nothing the platform dialog needs.
    int Flags = 0;

    // True when a file was chosen; FileName then holds it. Cancelling keeps FileName.
    bool ShowOpen() { return show(FileDialogRequest::Mode::Open); }
    bool ShowSave() { return show(FileDialogRequest::Mode::Save); }

  private:
    bool show(FileDialogRequest::Mode mode);
    FileDialogs& dialogs_;
};

// "Word Files (*.doc)|*.doc|Text (*.txt;*.text)|*.txt;*.text|" -> {"Word Files (*.doc)", "Text (*.txt
// *.text)"}
QStringList QtNameFilters(const QString& filter);

// Message texts are written with CR LF pairs and single CRs as line breaks;
// Qt's labels break lines at LF only.
QString DisplayText(const QString& text);

// How the program ends: at once, with no prompt and no close handling.
class ProgramLifetime {
  public:
    virtual ~ProgramLifetime() = default;
    virtual void End() = 0;
    // True once End() was called (it does not return in the real program).
    virtual bool hasEnded() const = 0;
};

}  // namespace qm
