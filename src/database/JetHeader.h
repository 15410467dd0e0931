#pragma once

// The header page at the start of every Jet / ACE database file: the format
// version, the page size, the database password of Jet 3 and Jet 4 files, and
// whether an ACE file is encrypted with a password.

#include <QByteArray>
#include <QString>

namespace qm::jet {

enum class Format { Jet3, Jet4, Ace12, Ace14, Ace15, Ace16, Ace17 };

struct HeaderInfo {
    Format format = Format::Jet4;
    int pageSize = 4096;
    // Jet 3 / Jet 4: the stored database password ("" when none).
    QString password;
    // ACE: the whole file is encrypted with a password (Access 2007 and later).
    bool encrypted = false;
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
// password is too long for the format.
void WritePassword(QByteArray& headerPage, const QString& password);

}  // namespace qm::jet
