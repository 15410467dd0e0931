#pragma once

#include "DocumentFormats.h"
#include "WordAutomation.h"

#include <optional>

namespace qm {

// The program's own document engine. It keeps the typed text and writes it on
// SaveAs, atomically (the new file appears complete under its name or not at
// all), in the format the file name asks for (DocumentFormatForPath: .doc is a
// Word 97-2003 document, .odt, .rtf and .txt what they say, anything else
// Office Open XML), or in the format the provider was given.
//
// It needs nothing at run time beyond this program, so creating an application
// never fails. Like the automation objects it stands in for, a document that
// was closed, or whose application quit, refuses further calls with a
// qm::Failure. TypeText keeps a snapshot of the spool (TextSpool::snapshot), so
// the spool may go on growing or be destroyed before SaveAs.
class NativeWordProvider : public WordProvider {
  public:
    // format: the format of every document saved, whatever its name; none to
    // follow the name.
    explicit NativeWordProvider(std::optional<DocumentFormat> format = std::nullopt) : format_(format) {}

    std::unique_ptr<WordApplication> CreateApplication() override;
    // A guard every save of its documents goes through (SaveAtomically); it
    // must outlive them.
    void setSaveGuard(SaveGuard* guard) { guard_ = guard; }

  private:
    std::optional<DocumentFormat> format_;
    SaveGuard* guard_ = nullptr;
};

}  // namespace qm
