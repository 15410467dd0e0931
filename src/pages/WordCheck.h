#pragma once

#include "export/document/WordAutomation.h"
#include "pages/Dialogs.h"

namespace qm {

// Makes sure the document engine can be started: starts it (W1) and quits it
// (W7). When it cannot start, shows the engine-missing message (application
// title, one OK button) and ends the program. Passes no failure on.
void CheckWordAvailable(WordProvider& word, MessageBoxes& boxes, ProgramLifetime& program);

}  // namespace qm
