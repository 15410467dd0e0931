#pragma once

// The Qt side of the modal seams: message boxes, file dialogs, the end of the
// program. The only place that opens a QMessageBox or a QFileDialog.

#include "pages/Dialogs.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace qm {

// Each box and dialog is modal to the window the owner function names.
using DialogOwner = std::function<QWidget*()>;

class QtMessageBoxes : public MessageBoxes {
  public:
    explicit QtMessageBoxes(DialogOwner owner = {}) : owner_(std::move(owner)) {}
    void setOwner(DialogOwner owner) { owner_ = std::move(owner); }
    void message(const QString& text, MessageIcon icon, const QString& title) override;

  private:
    DialogOwner owner_;
};

class QtFileDialogs : public FileDialogs {
  public:
    explicit QtFileDialogs(DialogOwner owner = {}) : owner_(std::move(owner)) {}
    void setOwner(DialogOwner owner) { owner_ = std::move(owner); }
    QString choose(const FileDialogRequest& request) override;

  private:
    DialogOwner owner_;
};

// Ends the process at once: every window goes, nothing else runs but the
// last step it was given (the settings' password, which waits for the
// keyring at most a moment). The settings file is already on disk (every
// change is written when it happens) and the export writes its document
// under a temporary name until it is complete.
class ImmediateProgramEnd : public ProgramLifetime {
  public:
    void setLastStep(std::function<void()> step) { lastStep_ = std::move(step); }
    [[noreturn]] void End() override;
    bool hasEnded() const override { return false; }

  private:
    std::function<void()> lastStep_;
};

}  // namespace qm
