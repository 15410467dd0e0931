// quillmerge: the wizard.

#include "export/document/NativeWord.h"
#include "pages/KeychainSecretStore.h"
#include "pages/QtDialogs.h"
#include "pages/Wizard.h"
#include "shell/FileSystem.h"
#include "shell/Settings.h"
#include "shell/TerminationRequests.h"
#include "shell/Texts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(qm::texts::kProductName);

    qm::KeychainSecretStore keyring(qm::texts::kKeyringService);
    qm::SettingsStore settings(qm::SettingsStore::defaultFileName(), &keyring);
    qm::QtMessageBoxes messages;
    qm::QtFileDialogs fileDialogs;
    qm::NativeWordProvider word;
    qm::ImmediateProgramEnd program;
    qm::Wizard wizard({settings, messages, fileDialogs, word, program, qm::AppDirectory()});
    // Boxes and dialogs are modal to the wizard window once it shows.
    auto owner = [&wizard]() -> QWidget* { return wizard.window().isVisible() ? &wizard.window() : nullptr; };
    messages.setOwner(owner);
    fileDialogs.setOwner(owner);

    // A logout, kill or Ctrl-C ends the program as closing its window does,
    // once a save in progress is complete.
    const qm::TerminationRequests terminations([&program](int) { program.End(); });

    wizard.Start();
    return application.exec();
}
