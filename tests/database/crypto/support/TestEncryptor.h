#pragma once

// Encrypts plain Access images the way Access lays encrypted databases out,
// for round trips through the decryption: every scheme, on databases the
// project's writer made. Written straight against OpenSSL, sharing no code with the
// decryption it checks.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace qm::test::crypto {

enum class Method { Rc4CryptoApi, StandardAes, NonStandardAes, BinaryRc4, Agile };

struct EncryptOptions {
    Method method = Method::Agile;
    int keyBits = 256;         // RC4 CryptoAPI: 40..128; AES: 128, 192 or 256
    bool writeKeySize = true;  // CryptoAPI: false writes 0, leaving the size to the provider's default
    QString providerName;      // CryptoAPI; empty: the provider Access names for the method and key size
    int versionMajor = 4;      // CryptoAPI: 2, 3 or 4
    QString hashAlgorithm = QStringLiteral("SHA512");  // agile: SHA1, SHA256, SHA384, SHA512
    int spinCount = 1000;  // agile (Access writes 100000; fewer keeps the tests quick)
    std::uint32_t encodingKey = 0x5A3C96E1;
};

// Encrypts a plain ACE image (Access 2007 or later) with password.
QByteArray EncryptAccessImage(const QByteArray& plain, const QString& password,
                              const EncryptOptions& options);

// Encodes a plain Jet 3 or Jet 4 image with the database key, as Access does
// when it encrypts such a database.
QByteArray EncodeWithDatabaseKey(const QByteArray& plain, std::uint32_t key);

// A plain ACE image (Access 2010) made from a Jet 4 file the project's writer
// wrote: the Jet 4 layout ACE keeps, under ACE's signature and version.
QByteArray AceImageOf(const QString& jet4Path);

// The whole file; empty when it cannot be read.
QByteArray ReadWholeFile(const QString& path);

// Where the encryption structure's 16-bit length sits in the header page.
inline constexpr int kEncryptionOffset = 0x299;

}  // namespace qm::test::crypto
