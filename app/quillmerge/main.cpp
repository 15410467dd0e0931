// quillmerge: the wizard.
//
//   quillmerge [FILE]
//
// FILE, when given (a file manager's "Open with" passes it), is the database
// page 1 starts with instead of the one saved from the last run; the saved
// password comes with it only when it is that same database.

#include "export/document/NativeWord.h"
#include "pages/KeychainSecretStore.h"
#include "pages/QtDialogs.h"
#include "pages/Texts.h"
#include "pages/Wizard.h"
#include "shell/BuildConfig.h"
#include "shell/FileSystem.h"
#include "shell/Settings.h"
#include "shell/TerminationRequests.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

namespace {

// The database named on the command line, as an absolute path; "" for none.
// A usage error ends the program with status 2, as command-line tools do.
QString databaseFromArguments() {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Copies the records of one table of a Microsoft Access database into a document."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("The database to open instead of the last one used."),
                                 QStringLiteral("[FILE]"));
    // Not process(): it ends a usage error with status 1.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "quillmerge: %s\n", qUtf8Printable(parser.errorText()));
        std::exit(2);
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "quillmerge: give at most one database\n");
        std::exit(2);
    }
    return files.isEmpty() ? QString() : QFileInfo(files.front()).absoluteFilePath();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(qm::texts::kProductName);
    QApplication::setApplicationVersion(QString::fromUtf8(qm::kVersion));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.example.quillmerge"));
    const QString databaseToOpen = databaseFromArguments();

    qm::KeychainSecretStore keyring(qm::texts::kKeyringService);
    qm::SettingsStore settings(qm::SettingsStore::defaultFileName(), &keyring);
    qm::QtMessageBoxes messages;
    qm::QtFileDialogs fileDialogs;
    qm::NativeWordProvider word;
    qm::ImmediateProgramEnd program;
    program.setLastStep([&settings] { settings.FinishSecrets(); });
    qm::Wizard wizard({settings, messages, fileDialogs, word, program, qm::AppDirectory(), databaseToOpen});
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
