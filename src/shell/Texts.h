#pragma once

// Names every layer may use: the settings' application, section and keys,
// and the program's own optional files.

#include <QString>

namespace qm::texts {

// Per-user settings: application, section and the keys.
inline const QString kSettingsApplication = QStringLiteral("Fennick");
inline const QString kSettingsSection = QStringLiteral("Quillmerge");
inline const QString kKeyDatabase = QStringLiteral("Database");
inline const QString kKeyPassword = QStringLiteral("Password");
inline const QString kKeyOutputFile = QStringLiteral("Output File");
// How page 4 writes the records: kLayoutLines or kLayoutTable (the words of
// quillmerge-export's --layout). Anything else counts as lines.
inline const QString kKeyOutputLayout = QStringLiteral("Output Layout");
inline const QString kLayoutLines = QStringLiteral("lines");
inline const QString kLayoutTable = QStringLiteral("table");

// Optional files, appended to the application directory.
inline const QString kSkinFile = QStringLiteral("/x/o.cjs");
inline const QString kHandCursorFile = QStringLiteral("/HAND-M.CUR");
inline const QString kSampleDatabase = QStringLiteral("/Samples/sample.mdb");

}  // namespace qm::texts
