#pragma once

// RC4 through OpenSSL, for the obscured region of the Jet header page and the
// pages of files encoded with a database key. RC4 lives in OpenSSL 3's legacy
// provider, which the decryption's library context (database/crypto/OpenSsl.h)
// loads, so the rest of the process keeps its default setup.

#include <cstddef>
#include <cstdint>
#include <span>

namespace qm::jet {

// Applies the RC4 key stream of key to data in place (the same call encrypts
// and decrypts). Throws qm::DatabaseError when OpenSSL cannot provide RC4.
void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

}  // namespace qm::jet
