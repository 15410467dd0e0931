#pragma once

// The wizard's services for a benchmark that drives it unattended: messages
// go to standard error, file dialogs are cancelled, and the end of the
// program is only noted.

#include "pages/Dialogs.h"

#include <QString>
#include <cstdio>

namespace qm::bench {

class PrintedMessages : public MessageBoxes {
  public:
    void message(const QString& text, MessageIcon, const QString&) override {
        std::fprintf(stderr, "message: %s\n", qUtf8Printable(text));
        ++count;
    }
    int count = 0;
};

class NoFileDialogs : public FileDialogs {
  public:
    QString choose(const FileDialogRequest&) override { return QString(); }
};

class RecordedEnd : public ProgramLifetime {
  public:
    void End() override { ended_ = true; }
    bool hasEnded() const override { return ended_; }

  private:
    bool ended_ = false;
};

}  // namespace qm::bench
