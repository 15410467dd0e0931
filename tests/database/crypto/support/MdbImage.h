#pragma once

// Reads a database through libmdb, from a file or from a decrypted image in
// memory (mdb_open_buffer), for checking what the decryption produced.

#include <QString>
#include <QStringList>

// clang-format off
#include <glib.h>
#include <mdbtools.h>
// clang-format on

#include <memory>
#include <span>
#include <vector>

namespace qm::test::crypto {

struct TableRows {
    QStringList columns;
    std::vector<QStringList> rows;  // each value as libmdb renders it
};

class MdbImage {
  public:
    // Opens the image in place; it must outlive this object. Throws
    // std::runtime_error when libmdb refuses it.
    explicit MdbImage(std::span<unsigned char> image);
    // Opens a file directly.
    explicit MdbImage(const QString& path);
    ~MdbImage();
    MdbImage(const MdbImage&) = delete;
    MdbImage& operator=(const MdbImage&) = delete;

    // Names of the user tables (system tables left out).
    QStringList userTables();
    // Every row of a table. Throws std::runtime_error for an unknown table.
    TableRows readTable(const QString& name);

  private:
    struct Close {
        void operator()(MdbHandle* mdb) const;
    };
    std::unique_ptr<MdbHandle, Close> mdb_;
};

}  // namespace qm::test::crypto
