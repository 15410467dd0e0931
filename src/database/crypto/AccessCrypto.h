#pragma once

// Decryption of Access databases that are encrypted with a password (Access
// 2007 and later encrypt every page of an .accdb file). The result is a
// decrypted image of the whole file in memory, patched so that its header no
// longer declares it encrypted; libmdb opens it with mdb_open_buffer. Nothing
// decrypted is ever written to disk.
//
// Jet 3 and Jet 4 files that Access encoded with the database key alone need
// no password and no help: libmdb decodes their pages itself.
//
// Failures are qm::Failure: a wrong or missing password is exactly "Not a
// valid password." (number 3031); a damaged or unknown encryption header, an
// unreadable or truncated file each get a description of their own.

#include "database/crypto/EncryptionInfo.h"
#include "database/crypto/SecureBuffer.h"

#include <QByteArray>
#include <QString>

#include <span>

namespace qm::crypto {

struct Encryption {
    Scheme scheme = Scheme::None;
    QString method;  // for messages, e.g. "Office agile encryption (AES-256, SHA512)"

    // True when opening needs the password: the file must go through DecryptDatabase.
    bool needsPassword() const { return NeedsPassword(scheme); }
};

// Bytes of the file start that DetectEncryption needs at most (one page).
inline constexpr int kDetectionBytes = 4096;

// Tells from the header page whether and how the database is encrypted.
// fileStart holds the first page (fewer bytes only when the file is that
// short). Throws qm::Failure when the bytes are not the header of an Access
// database or its encryption header is damaged or unknown.
Encryption DetectEncryption(std::span<const unsigned char> fileStart);
Encryption DetectEncryption(const QByteArray& fileStart);

// Reads the database at path and returns its decrypted image. The password is
// checked against the scheme's verifier before the rest of the file is read.
// A database that needs no password comes back unchanged.
SecureBuffer DecryptDatabase(const QString& path, const QString& password);

// The same for a database already in memory; image is decrypted in place and
// handed back.
SecureBuffer DecryptDatabase(SecureBuffer image, const QString& password);

}  // namespace qm::crypto
