#pragma once

// The encryption header an Access 2007+ database keeps in its header page (at
// 0x299: a 16-bit length, then the structure): which scheme encrypts the pages
// and the salts and encrypted verifiers its password check needs. Every size
// is taken from the structure itself and checked against the bytes present.

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

namespace qm::crypto {

enum class Scheme {
    None,            // not encrypted
    JetDatabaseKey,  // Jet 3 / Jet 4 pages under RC4 with the database key; needs no password
    Rc4CryptoApi,    // RC4 through CryptoAPI (Access 2007; "legacy encryption" of later versions)
    StandardAes,     // Office standard encryption: AES through CryptoAPI, 50,000 hash rounds
    NonStandardAes,  // AES through CryptoAPI without the AES flag and without hash rounds
    BinaryRc4,       // Office binary RC4 (MD5 based)
    Agile,           // Office agile encryption (XML descriptor)
};

// True for the schemes that Access uses with a password; those databases must
// be decrypted before libmdb can read them.
inline bool NeedsPassword(Scheme scheme) {
    return scheme != Scheme::None && scheme != Scheme::JetDatabaseKey;
}

// Page encryption through CryptoAPI: RC4, standard and non-standard AES.
struct CryptoApiParameters {
    bool aes = false;    // false: RC4
    int keyBits = 0;     // 40..128 for RC4; 128, 192 or 256 for AES
    int hashRounds = 0;  // 50,000 for standard AES, 0 otherwise
    QString providerName;
    std::array<unsigned char, 16> salt{};
    std::array<unsigned char, 16> encryptedVerifier{};
    std::vector<unsigned char> encryptedVerifierHash;  // 20 bytes for RC4, 32 for AES
};

// Office binary RC4 (version 1.1).
struct BinaryRc4Parameters {
    std::array<unsigned char, 16> salt{};
    std::array<unsigned char, 16> encryptedVerifier{};
    std::array<unsigned char, 16> encryptedVerifierHash{};
};

// The cipher and hash of one part of an agile descriptor.
struct AgileCipher {
    int blockSize = 0;  // bytes
    int keyBits = 0;
    int hashSize = 0;       // bytes
    QString hashAlgorithm;  // as written: SHA1, SHA256, SHA384, SHA512, MD5
    std::vector<unsigned char> salt;
};

struct AgileParameters {
    AgileCipher keyData;   // encrypts the pages
    AgileCipher password;  // encrypts the key under the password
    int spinCount = 0;
    std::vector<unsigned char> encryptedVerifierHashInput;
    std::vector<unsigned char> encryptedVerifierHashValue;
    std::vector<unsigned char> encryptedKeyValue;
};

struct EncryptionInfo {
    Scheme scheme = Scheme::None;
    std::variant<std::monostate, CryptoApiParameters, BinaryRc4Parameters, AgileParameters> parameters;
    // For messages: "agile encryption (AES-256, SHA512)" and the like.
    QString method() const;
};

// Parses the encryption structure (the bytes after its 16-bit length). Throws
// qm::Failure with a description when it is damaged or names a scheme or an
// algorithm this program does not read.
EncryptionInfo ParseEncryptionInfo(std::span<const unsigned char> structure);

// Descriptions shared by the parser and the decryption.
QString DamagedHeaderMessage(const QString& detail);
QString UnsupportedMessage(const QString& detail);

// The OpenSSL name of an agile hash algorithm name, or nullptr when unsupported.
const char* AgileHashName(const QString& hashAlgorithm);

}  // namespace qm::crypto
