#include "database/crypto/OpenSsl.h"

#include "shell/Failure.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/provider.h>

#include <limits>

namespace qm::crypto::ossl {

namespace {

struct LibCtxFree {
    void operator()(OSSL_LIB_CTX* ctx) const { OSSL_LIB_CTX_free(ctx); }
};
struct ProviderUnload {
    void operator()(OSSL_PROVIDER* provider) const { OSSL_PROVIDER_unload(provider); }
};

// A library context with the default and the legacy provider, so that RC4 is
// available without changing how the rest of the process uses OpenSSL. Built
// on first use and kept for the life of the process; members are released in
// reverse order (providers before the context).
class Library {
  public:
    Library() {
        context_.reset(OSSL_LIB_CTX_new());
        if (context_) {
            default_.reset(OSSL_PROVIDER_load(context_.get(), "default"));
            legacy_.reset(OSSL_PROVIDER_load(context_.get(), "legacy"));
        }
        ERR_clear_error();  // a missing legacy provider is reported when RC4 is asked for
    }
    OSSL_LIB_CTX* context() const { return context_.get(); }

  private:
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> context_;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> default_;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> legacy_;
};

OSSL_LIB_CTX* library() {
    static const Library instance;
    if (!instance.context())
        throw Failure(QStringLiteral("OpenSSL could not be initialised for decryption."));
    return instance.context();
}

[[noreturn]] void openSslFailed(const char* what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    if (code != 0)
        ERR_error_string_n(code, text, sizeof text);
    throw Failure(
        QStringLiteral("Decryption failed inside OpenSSL (%1%2%3).")
            .arg(QLatin1String(what), code ? QStringLiteral(": ") : QString(), QLatin1String(text)));
}

int asInt(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw Failure(QStringLiteral("Decryption failed: a block of %1 bytes is too large.").arg(size));
    return static_cast<int>(size);
}

}  // namespace

Digest::Digest(const char* name) {
    md_.reset(EVP_MD_fetch(library(), name, nullptr));
    if (!md_) {
        ERR_clear_error();
        throw Failure(
            QStringLiteral("OpenSSL does not offer the hash algorithm %1.").arg(QLatin1String(name)));
    }
    ctx_.reset(EVP_MD_CTX_new());
    if (!ctx_)
        openSslFailed("hash context");
    size_ = static_cast<std::size_t>(EVP_MD_get_size(md_.get()));
}

void Digest::hash(std::initializer_list<Bytes> parts, unsigned char* out) {
    if (EVP_DigestInit_ex2(ctx_.get(), md_.get(), nullptr) != 1)
        openSslFailed("hash start");
    for (Bytes part : parts) {
        if (!part.empty() && EVP_DigestUpdate(ctx_.get(), part.data(), part.size()) != 1)
            openSslFailed("hash update");
    }
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(ctx_.get(), out, &written) != 1 || written != size_)
        openSslFailed("hash end");
}

SecureBuffer Digest::hash(std::initializer_list<Bytes> parts) {
    SecureBuffer out(size_);
    hash(parts, out.data());
    return out;
}

Cipher::Cipher(const char* name) {
    cipher_.reset(EVP_CIPHER_fetch(library(), name, nullptr));
    if (!cipher_) {
        ERR_clear_error();
        throw Failure(
            QStringLiteral("OpenSSL does not offer the cipher %1%2.")
                .arg(QLatin1String(name), QLatin1String(name) == QLatin1String("RC4")
                                              ? QStringLiteral(" (it lives in OpenSSL's legacy provider)")
                                              : QString()));
    }
    ctx_.reset(EVP_CIPHER_CTX_new());
    if (!ctx_)
        openSslFailed("cipher context");
    blockSize_ = static_cast<std::size_t>(EVP_CIPHER_get_block_size(cipher_.get()));
    ivLength_ = static_cast<std::size_t>(EVP_CIPHER_get_iv_length(cipher_.get()));
}

void Cipher::decrypt(Bytes key, Bytes iv, std::span<unsigned char> data) {
    if (iv.size() != ivLength_ || data.size() % blockSize_ != 0 || key.empty())
        throw Failure(
            QStringLiteral("Decryption failed: the key, the initial vector or the data has the wrong size."));
    if (key.size() != keyLength_) {
        // A new key length needs the context set up afresh.
        keyLength_ = 0;
        if (EVP_DecryptInit_ex2(ctx_.get(), cipher_.get(), nullptr, nullptr, nullptr) != 1)
            openSslFailed("cipher start");
        if (static_cast<std::size_t>(EVP_CIPHER_CTX_get_key_length(ctx_.get())) != key.size() &&
            EVP_CIPHER_CTX_set_key_length(ctx_.get(), asInt(key.size())) != 1) {
            ERR_clear_error();
            throw Failure(QStringLiteral("Decryption failed: a key of %1 bytes does not fit the cipher.")
                              .arg(key.size()));
        }
        keyLength_ = key.size();
    }
    if (EVP_DecryptInit_ex2(ctx_.get(), nullptr, key.data(), iv.empty() ? nullptr : iv.data(), nullptr) != 1)
        openSslFailed("cipher key");
    EVP_CIPHER_CTX_set_padding(ctx_.get(), 0);
    int written = 0;
    if (!data.empty() &&
        EVP_DecryptUpdate(ctx_.get(), data.data(), &written, data.data(), asInt(data.size())) != 1)
        openSslFailed("cipher update");
    int tail = 0;
    if (EVP_DecryptFinal_ex(ctx_.get(), data.data() + written, &tail) != 1 ||
        static_cast<std::size_t>(written + tail) != data.size())
        openSslFailed("cipher end");
}

bool equalSecrets(Bytes a, Bytes b) noexcept {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace qm::crypto::ossl
