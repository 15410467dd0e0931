#pragma once

// Names every layer may use: the settings' application, section and keys,
// and the program's own optional files.

#include <QString>

namespace qm::texts {

// Per-user settings: application, section and the three keys.
inline const QString kSettingsApplication = QStringLiteral("Fennick");
inline const QString kSettingsSection = QStringLiteral("Quillmerge");
inline const QString kKeyDatabase = QStringLiteral("Database");
inline const QString kKeyPassword = QStringLiteral("Password");
inline const QString kKeyOutputFile = QStringLiteral("Output File");

// Optional files, appended to the application directory.
inline const QString kSkinFile = QStringLiteral("/x/o.cjs");
inline const QString kHandCursorFile = QStringLiteral("/HAND-M.CUR");
inline const QString kSampleDatabase = QStringLiteral("/Samples/sample.mdb");

}  // namespace qm::texts
