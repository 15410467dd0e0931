#pragma once

#include "WordAutomation.h"

namespace qm {

// The program's own document engine. It keeps the typed text and writes it on
// SaveAs as an Office Open XML document, atomically: the new file appears
// complete under its name or not at all.
//
// It needs nothing at run time beyond this program, so creating an application
// never fails. Like the automation objects it stands in for, a document that
// was closed, or whose application quit, refuses further calls with a
// qm::Failure. TypeText keeps a snapshot of the spool (TextSpool::snapshot), so
// the spool may go on growing or be destroyed before SaveAs.
class NativeWordProvider : public WordProvider {
  public:
    std::unique_ptr<WordApplication> CreateApplication() override;
};

}  // namespace qm
