#include "database/Rc4.h"

#include "database/DatabaseMessages.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <limits>
#include <memory>
#include <mutex>

namespace qm::jet {

namespace {

struct LibCtxFree {
    void operator()(OSSL_LIB_CTX* ctx) const { OSSL_LIB_CTX_free(ctx); }
};
struct ProviderUnload {
    void operator()(OSSL_PROVIDER* provider) const { OSSL_PROVIDER_unload(provider); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// The library context with the legacy provider and the fetched RC4 cipher.
// Built on first use and kept for the life of the process. Members are
// declared so that they are released in the right order (cipher, providers,
// context).
class Rc4Provider {
  public:
    Rc4Provider() {
        context_.reset(OSSL_LIB_CTX_new());
        if (!context_)
            return;
        legacy_.reset(OSSL_PROVIDER_load(context_.get(), "legacy"));
        base_.reset(OSSL_PROVIDER_load(context_.get(), "default"));
        if (legacy_)
            cipher_.reset(EVP_CIPHER_fetch(context_.get(), "RC4", nullptr));
    }
    const EVP_CIPHER* cipher() const { return cipher_.get(); }

  private:
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> context_;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> legacy_;
    std::unique_ptr<OSSL_PROVIDER, ProviderUnload> base_;
    std::unique_ptr<EVP_CIPHER, CipherFree> cipher_;
};

const EVP_CIPHER* rc4Cipher() {
    static const Rc4Provider provider;
    return provider.cipher();
}

[[noreturn]] void fail() {
    throw DatabaseError(QStringLiteral("The RC4 cipher of OpenSSL's legacy provider is not available."));
}

}  // namespace

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
    const EVP_CIPHER* cipher = rc4Cipher();
    if (!cipher || key.empty() || data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        fail();
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_EncryptInit_ex2(ctx.get(), cipher, nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1 ||
        EVP_EncryptInit_ex2(ctx.get(), nullptr, key.data(), nullptr, nullptr) != 1)
        fail();
    int written = 0;
    if (!data.empty() &&
        EVP_EncryptUpdate(ctx.get(), data.data(), &written, data.data(), static_cast<int>(data.size())) != 1)
        fail();
}

}  // namespace qm::jet
