#pragma once

#include <QString>

namespace qm {

// True when the file system can tell the path's last-modified time: an existing
// file or directory. False for an empty path and on any failure; never throws.
bool FileExists(const QString& path) noexcept;

// Everything up to and including the last '/', or "" when the path has none.
QString DirectoryOfPath(const QString& path);

// The folder that holds the program's own files (the sample database, the
// pointer and the skin), without a trailing '/' (except "/"), given the folder
// the program file lives in: that folder itself when any of them is there, as
// in the build tree; else the installed data folder (../share/quillmerge from
// bin/) when any of them is there; else the program's folder.
QString AppDirectoryFor(const QString& programDirectory);

// AppDirectoryFor the directory the running program file lives in.
QString AppDirectory();

}  // namespace qm
