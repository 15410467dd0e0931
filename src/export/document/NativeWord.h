#pragma once

#include "WordAutomation.h"

namespace qm {

// The program's own document engine. It keeps the typed text and writes it on
// SaveAs as an Office Open XML document, atomically: the new file appears
// complete under its name or not at all.
class NativeWordProvider : public WordProvider {
public:
    std::unique_ptr<WordApplication> CreateApplication() override;
};

}  // namespace qm
