#pragma once

// Every text the wizard pages show, in one place: captions, messages and
// the file dialogs' settings. The settings' names and the optional files
// beside the program are the shell's (shell/Texts.h), included here.

#include "shell/Texts.h"

#include <QString>

namespace qm::texts {

// The product name: window titles and the source of the application title.
inline const QString kProductName = QStringLiteral("Quillmerge");

// Name under which the desktop keyring keeps the password.
inline const QString kKeyringService = QStringLiteral("Fennick Quillmerge");

// Shown when the document engine cannot be started. The paragraphs are
// separated by two CR LF pairs, exactly as users have always seen it.
inline const QString kWordMissingMessage = QStringLiteral(
    "Error 842001. A normal instance of Word could not be created.\r\n\r\n"
    "1. Please make sure Word is installed on this computer.\r\n\r\n"
    "2. Please open Word normally and make sure a blank document opens immediately without any "
    "interrupting window (such as an Word file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a DOC or DOCX file that Word opens normally "
    "without any interrupting messages.\r\n\r\n"
    "4. All versions of Word are supported by this software except for the rare Word Starter and "
    "Student editions.");

inline const QString kPleaseSelectTable = QStringLiteral("Please select a table");
inline const QString kPleaseSelectField = QStringLiteral("Please select a field first.");

// Common captions.
inline const QString kBack = QStringLiteral("< Back");
inline const QString kNext = QStringLiteral("Next >");
inline const QString kBrowse = QStringLiteral("...");

// Page 1: the database.
inline const QString kForm1Frame = QStringLiteral("Access Database");
inline const QString kForm1PasswordLabel = QStringLiteral("Password (if required):");
inline const QString kForm1FileLabel = QStringLiteral("MDB or ACCDB File:");
inline const QString kForm1LoadSample = QStringLiteral("Load Sample/Example Database");
inline const QString kOpenDatabaseTitle = QStringLiteral("Select Access Database");
// Description and pattern pairs, each followed by a bar. The designed filter
// offered .mdb only; .accdb is offered as well, first together with .mdb.
inline const QString kOpenDatabaseFilter = QStringLiteral(
    "Microsoft Database (*.mdb;*.accdb)|*.mdb;*.accdb|"
    "Microsoft Database (*.mdb)|*.mdb|"
    "Microsoft Access Database (*.accdb)|*.accdb|");
inline constexpr int kOpenDatabaseFlags = 0x280001;

// Page 2: the table.
inline const QString kForm2Frame = QStringLiteral("Which table do you want to import into Word?");

// Page 3: the fields. Both label captions begin with a space.
inline const QString kForm3Preview = QStringLiteral(" Preview:");
inline const QString kForm3Fields = QStringLiteral(" Which fields would you like to import into Word?");
inline const QString kMoveOne = QStringLiteral(">");
inline const QString kMoveAll = QStringLiteral(">>");
inline const QString kMoveOneBack = QStringLiteral("<");
inline const QString kMoveAllBack = QStringLiteral("<<");

// Page 4: the output.
inline const QString kForm4OutputFrame = QStringLiteral("Output Filename");
inline const QString kForm4SeparatorFrame = QStringLiteral("Each field (column) will be separated by");
inline const QString kForm4HeaderFrame = QStringLiteral("First Line Option");
inline const QString kForm4HeaderCheck = QStringLiteral("First line in text file will contain field names");
inline const QString kForm4LayoutFrame = QStringLiteral("Records as");
inline const QString kForm4LayoutLines = QStringLiteral("Lines");
inline const QString kForm4LayoutTable = QStringLiteral("A table");
inline const QString kFinish = QStringLiteral("Finish");
inline const QString kExit = QStringLiteral("Exit");
inline const QString kSaveOutputTitle = QStringLiteral("Choose output file");
inline const QString kSaveOutputFilter =
    QStringLiteral("Word Files (*.doc)|*.doc|Word Files (*.docx)|*.docx|");
inline constexpr int kSaveOutputFlags = 0x280201;
inline const QString kDefaultOutputName = QStringLiteral("output.doc");
inline const QString kDefaultSeparator = QStringLiteral(",");

}  // namespace qm::texts
