#pragma once

#include <QString>

namespace qm {

// True when the file system can tell the path's last-modified time: an existing
// file or directory. False for an empty path and on any failure; never throws.
bool FileExists(const QString& path) noexcept;

// Everything up to and including the last '/', or "" when the path has none.
QString DirectoryOfPath(const QString& path);

// The directory the program file lives in, without a trailing '/' (except "/").
QString AppDirectory();

}  // namespace qm
