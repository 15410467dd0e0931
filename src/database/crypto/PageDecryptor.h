#pragma once

// Password check and page decryption for each encryption scheme of Access
// 2007 and later. Every page but the header page is encrypted on its own; its
// key (or, in agile encryption, its initial vector) is derived from the
// database's 4-byte encoding key XORed with the page number.

#include "database/crypto/EncryptionInfo.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace qm::crypto {

using EncodingKey = std::array<unsigned char, 4>;

class PageDecryptor {
  public:
    virtual ~PageDecryptor() = default;
    // Decrypts one page (page number >= 1) in place.
    virtual void decryptPage(std::span<unsigned char> page, std::uint32_t pageNumber) = 0;
};

// Checks password with the scheme's verifier and, when it is right, returns
// the decryptor for the pages. Throws qm::Failure with exactly "Not a valid
// password." when it is wrong, and with a description when the scheme cannot
// be used. Key material is wiped when the decryptor is destroyed.
std::unique_ptr<PageDecryptor> Unlock(const EncryptionInfo& info, const EncodingKey& encodingKey,
                                      const QString& password);

// The block number bytes of a page: the encoding key XOR the little-endian page number.
EncodingKey PageBlock(const EncodingKey& encodingKey, std::uint32_t pageNumber);

// Error number of "Not a valid password." in Access.
inline constexpr long kNotAValidPasswordNumber = 3031;
QString NotAValidPasswordMessage();

}  // namespace qm::crypto
