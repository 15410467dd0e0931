#include "database/Rc4.h"

#include "database/DatabaseMessages.h"
#include "database/crypto/OpenSsl.h"

namespace qm::jet {

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
    if (key.empty())
        throw DatabaseError(QStringLiteral("The RC4 cipher of OpenSSL's legacy provider is not available."));
    try {
        // One cipher context per thread, set up on first use: the decryption's
        // own library context holds the legacy provider RC4 lives in.
        thread_local crypto::ossl::Cipher rc4("RC4");
        rc4.decrypt(key, {}, data);  // RC4's key stream encrypts and decrypts alike
    } catch (const Failure&) {
        throw DatabaseError(QStringLiteral("The RC4 cipher of OpenSSL's legacy provider is not available."));
    }
}

}  // namespace qm::jet
