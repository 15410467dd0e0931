#pragma once

// The header page at the start of every Jet / ACE database file: the format
// version, the page size, the database password of Jet 3 and Jet 4 files, and
// whether an ACE file is encrypted with a password.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace qm::jet {

enum class Format { Jet3, Jet4, Ace12, Ace14, Ace15, Ace16, Ace17 };

struct HeaderInfo {
    Format format = Format::Jet4;
    int pageSize = 4096;
    // Jet 3 / Jet 4: the stored database password ("" when none).
    QString password;
    // ACE: the whole file is encrypted with a password (Access 2007 and later).
    bool encrypted = false;
    // The database key: non-zero when the pages after the header are encoded
    // (Jet files that libmdb decodes itself, and every encrypted ACE file).
    std::uint32_t databaseKey = 0;
    // Windows code page of the file's 8-bit text (Jet 3 text, the Jet 3 password).
    int codePage = 0;
    bool isAce() const { return format != Format::Jet3 && format != Format::Jet4; }
};

// Bytes of the file start that ReadHeader needs (one Jet 4 page).
inline constexpr int kHeaderBytes = 4096;

// Parses the first bytes of a file. Throws qm::DatabaseError when they are not
// the header of an Access database.
HeaderInfo ReadHeader(const QByteArray& fileStart);

// Stores password as the database password of a Jet 3 or Jet 4 header page,
// the way Access stores it (for writers of test files). The page must already
// hold a valid header of that format. Throws qm::DatabaseError when the
// password does not fit the format (Jet 4: at most 20 UTF-16 characters; Jet 3:
// at most 20 bytes in the file's code page), contains a null character, or the
// page is an ACE header (those files keep no password in the header); the page
// is then left unchanged.
void WritePassword(QByteArray& headerPage, const QString& password);

}  // namespace qm::jet
