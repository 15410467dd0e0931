#pragma once

// Where quillmerge-export's document goes, and how the program ends when it
// is told to: the engine saves every document through a guard that holds
// termination requests (Ctrl-C, kill, a closed terminal) off while a new file
// is being committed, and the output name "-" stands for standard output.

#include "export/document/NativeWord.h"

#include <QString>

namespace qm {

// The output name that stands for standard output.
inline const QString kStandardOutput = QStringLiteral("-");

// Ends the program for a termination request, with one line on standard
// error saying whether the document had been written, and by the signal, so
// that a calling shell sees it. For TerminationRequests (shell).
[[noreturn]] void EndByTermination(int signal);

// The engine saving every document in the given format through the guard;
// standard output as the document "-".
class CommandLineWordProvider : public WordProvider {
  public:
    explicit CommandLineWordProvider(DocumentFormat format);
    ~CommandLineWordProvider() override;
    std::unique_ptr<WordApplication> CreateApplication() override;

  private:
    struct Saves;
    std::unique_ptr<Saves> saves_;
    NativeWordProvider engine_;
};

}  // namespace qm
