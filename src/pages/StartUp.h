#pragma once

// Start-up helpers that need no window: the application title, the optional
// files beside the program, the default output path and cursor files.

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <optional>

namespace qm {

// Drops the last word of the name (everything from its last blank on), and
// again while the rest is longer than 40 characters. A name without a blank,
// such as "Quillmerge", has nothing to drop and stays as it is.
QString ApplicationTitleFor(const QString& productName);

// Makes ApplicationTitleFor(product name) the application title.
void SetApplicationTitle();
// The title of message boxes that have none of their own.
QString ApplicationTitle();

// The optional files, given the application directory.
QString SkinFilePath(const QString& appDirectory);
QString HandCursorPath(const QString& appDirectory);
QString SampleDatabasePath(const QString& appDirectory);

// True when a directory listing of the skin file's folder shows it as an
// ordinary file (a directory or a hidden file of that name does not count).
bool SkinFileListed(const QString& appDirectory);

// The folder of the database path followed by "output.doc".
QString DefaultOutputPath(const QString& databasePath);

// The hot spot stored in a Windows cursor (.cur) file's first image, or
// nothing when the bytes are no cursor file.
std::optional<QPoint> CursorHotspot(const QByteArray& fileBytes);

}  // namespace qm
