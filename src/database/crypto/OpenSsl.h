#pragma once

// Thin owners of the OpenSSL objects the decryption uses: a library context of
// our own (with the legacy provider, which holds RC4), message digests and
// ciphers fetched from it once and reused for every page.

#include "database/crypto/SecureBuffer.h"

#include <openssl/evp.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <span>

namespace qm::crypto::ossl {

using Bytes = std::span<const unsigned char>;

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// A hash function by its OpenSSL name ("SHA1", "SHA2-512", "MD5").
class Digest {
  public:
    // Throws qm::Failure when OpenSSL does not offer the algorithm.
    explicit Digest(const char* name);
    std::size_t size() const noexcept { return size_; }
    // Hashes the concatenation of parts into out, which holds size() bytes.
    void hash(std::initializer_list<Bytes> parts, unsigned char* out);
    SecureBuffer hash(std::initializer_list<Bytes> parts);

  private:
    std::unique_ptr<EVP_MD, MdFree> md_;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx_;
    std::size_t size_ = 0;
};

// A cipher by its OpenSSL name ("RC4", "AES-128-ECB", "AES-256-CBC"), used
// without padding: block ciphers take whole blocks only.
class Cipher {
  public:
    // Throws qm::Failure when OpenSSL does not offer the algorithm.
    explicit Cipher(const char* name);
    std::size_t blockSize() const noexcept { return blockSize_; }
    std::size_t ivLength() const noexcept { return ivLength_; }
    // Decrypts data in place. key may have any length the cipher accepts;
    // iv must have ivLength() bytes (empty for RC4 and ECB).
    void decrypt(Bytes key, Bytes iv, std::span<unsigned char> data);

  private:
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher_;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx_;
    std::size_t blockSize_ = 1;
    std::size_t ivLength_ = 0;
    std::size_t keyLength_ = 0;  // the key length the context is set up for, 0 before first use
};

// Equal in constant time (lengths must match).
bool equalSecrets(Bytes a, Bytes b) noexcept;

}  // namespace qm::crypto::ossl
