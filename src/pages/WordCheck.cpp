#include "WordCheck.h"

#include "pages/Texts.h"

namespace qm {

void CheckWordAvailable(WordProvider& word, MessageBoxes& boxes, ProgramLifetime& program) {
    std::unique_ptr<WordApplication> application;
    try {
        application = word.CreateApplication();
    } catch (...) {
        application.reset();
    }
    if (!application) {
        boxes.message(texts::kWordMissingMessage);
        program.End();
        return;
    }
    // Quitting may fail; the engine did start, which is all this check asks.
    // The instance is released when it goes out of scope.
    try {
        application->Quit();
    } catch (...) {
    }
}

}  // namespace qm
