#include "database/crypto/PageDecryptor.h"

#include "database/crypto/OpenSsl.h"
#include "database/crypto/SecureBuffer.h"
#include "shell/Failure.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace qm::crypto {

namespace {

using ossl::Bytes;

// Passwords longer than this are cut, as Office does.
constexpr qsizetype kMaxPasswordLength = 255;

[[noreturn]] void wrongPassword() {
    throw Failure(NotAValidPasswordMessage(), kNotAValidPasswordNumber);
}

// The password as UTF-16LE, the form every scheme hashes.
SecureBuffer passwordBytes(const QString& password) {
    const qsizetype length = std::min(password.size(), kMaxPasswordLength);
    SecureBuffer bytes(static_cast<std::size_t>(length) * 2);
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t unit = password.at(i).unicode();
        bytes.data()[2 * i] = static_cast<unsigned char>(unit & 0xFF);
        bytes.data()[2 * i + 1] = static_cast<unsigned char>(unit >> 8);
    }
    return bytes;
}

std::array<unsigned char, 4> littleEndian(std::uint32_t value) {
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

// A copy of bytes cut or padded (with pad) to length.
SecureBuffer fixedLength(Bytes bytes, std::size_t length, unsigned char pad) {
    SecureBuffer out(length);
    const std::size_t n = std::min(length, bytes.size());
    if (n)
        std::memcpy(out.data(), bytes.data(), n);
    std::fill(out.data() + n, out.data() + length, pad);
    return out;
}

// Hn of the password hash: H0 = H(salt + password), then rounds of H(round + H).
SecureBuffer iteratedHash(ossl::Digest& digest, Bytes salt, Bytes password, int rounds) {
    SecureBuffer h = digest.hash({salt, password});
    for (int round = 0; round < rounds; ++round) {
        const auto counter = littleEndian(static_cast<std::uint32_t>(round));
        digest.hash({counter, h.bytes()},
                    h.data());  // the input is read in full before the output is written
    }
    return h;
}

// Wipes a fixed-size scratch array when it goes out of scope.
template <std::size_t N>
struct Scratch {
    std::array<unsigned char, N> bytes{};
    ~Scratch() { OPENSSL_cleanse(bytes.data(), N); }
    unsigned char* data() { return bytes.data(); }
};

// ---- RC4 CryptoAPI ----

class Rc4CryptoApiDecryptor final : public PageDecryptor {
  public:
    Rc4CryptoApiDecryptor(const CryptoApiParameters& p, const EncodingKey& encodingKey, Bytes password)
        : sha1_("SHA1"), rc4_("RC4"), encodingKey_(encodingKey), keyBits_(p.keyBits) {
        baseHash_ = sha1_.hash({p.salt, password});
        // The verifier and its hash are one RC4 stream under the key of block 0.
        Scratch<36> check;
        std::copy(p.encryptedVerifier.begin(), p.encryptedVerifier.end(), check.bytes.begin());
        std::copy(p.encryptedVerifierHash.begin(), p.encryptedVerifierHash.end(), check.bytes.begin() + 16);
        decrypt(littleEndian(0), check.bytes);
        Scratch<20> hash;
        sha1_.hash({Bytes(check.bytes).first(16)}, hash.data());
        if (!ossl::equalSecrets(hash.bytes, Bytes(check.bytes).subspan(16, 20)))
            wrongPassword();
    }

    void decryptPage(std::span<unsigned char> page, std::uint32_t pageNumber) override {
        decrypt(PageBlock(encodingKey_, pageNumber), page);
    }

  private:
    void decrypt(Bytes block, std::span<unsigned char> data) {
        Scratch<20> hash;
        sha1_.hash({baseHash_.bytes(), block}, hash.data());
        // A 40-bit key is used as 128 bits with 88 zero bits.
        Scratch<20> key;
        std::size_t keyLength = static_cast<std::size_t>(keyBits_ / 8);
        std::copy_n(hash.bytes.begin(), keyLength, key.bytes.begin());
        if (keyBits_ == 40)
            keyLength = 16;
        rc4_.decrypt(Bytes(key.bytes).first(keyLength), {}, data);
    }

    ossl::Digest sha1_;
    ossl::Cipher rc4_;
    EncodingKey encodingKey_;
    int keyBits_;
    SecureBuffer baseHash_;
};

// ---- AES through CryptoAPI (standard and non-standard) ----

const char* aesEcbName(int keyBits) {
    return keyBits == 128 ? "AES-128-ECB" : keyBits == 192 ? "AES-192-ECB" : "AES-256-ECB";
}

class CryptoApiAesDecryptor final : public PageDecryptor {
  public:
    CryptoApiAesDecryptor(const CryptoApiParameters& p, const EncodingKey& encodingKey, Bytes password)
        : sha1_("SHA1"),
          aes_(aesEcbName(p.keyBits)),
          encodingKey_(encodingKey),
          keyLength_(static_cast<std::size_t>(p.keyBits / 8)) {
        // The hash rounds do not depend on the block, so they run once.
        iterated_ = iteratedHash(sha1_, p.salt, password, p.hashRounds);
        Scratch<40> key;
        deriveKey(littleEndian(0), key.bytes);
        Scratch<16> verifier;
        std::copy(p.encryptedVerifier.begin(), p.encryptedVerifier.end(), verifier.bytes.begin());
        aes_.decrypt(Bytes(key.bytes).first(keyLength_), {}, verifier.bytes);
        Scratch<32> storedHash;
        std::copy_n(p.encryptedVerifierHash.begin(), 32, storedHash.bytes.begin());
        aes_.decrypt(Bytes(key.bytes).first(keyLength_), {}, storedHash.bytes);
        Scratch<20> hash;
        sha1_.hash({verifier.bytes}, hash.data());
        if (!ossl::equalSecrets(hash.bytes, Bytes(storedHash.bytes).first(20)))
            wrongPassword();
    }

    void decryptPage(std::span<unsigned char> page, std::uint32_t pageNumber) override {
        Scratch<40> key;
        deriveKey(PageBlock(encodingKey_, pageNumber), key.bytes);
        aes_.decrypt(Bytes(key.bytes).first(keyLength_), {}, page);
    }

  private:
    // The CryptoAPI key derivation: X1 = H(0x36... ^ Hfinal), X2 = H(0x5C... ^ Hfinal), key = X1 + X2.
    void deriveKey(Bytes block, std::array<unsigned char, 40>& key) {
        Scratch<20> final;
        sha1_.hash({iterated_.bytes(), block}, final.data());
        Scratch<64> pad;
        for (int i = 0; i < 2; ++i) {
            pad.bytes.fill(i == 0 ? 0x36 : 0x5C);
            for (std::size_t j = 0; j < final.bytes.size(); ++j)
                pad.bytes[j] ^= final.bytes[j];
            sha1_.hash({pad.bytes}, key.data() + 20 * i);
        }
    }

    ossl::Digest sha1_;
    ossl::Cipher aes_;
    EncodingKey encodingKey_;
    std::size_t keyLength_;
    SecureBuffer iterated_;
};

// ---- Office binary RC4 ----

class BinaryRc4Decryptor final : public PageDecryptor {
  public:
    BinaryRc4Decryptor(const BinaryRc4Parameters& p, const EncodingKey& encodingKey, Bytes password)
        : md5_("MD5"), rc4_("RC4"), encodingKey_(encodingKey) {
        Scratch<16> h0;
        md5_.hash({password}, h0.data());
        // Sixteen copies of the first five hash bytes and the salt.
        Scratch<336> repeated;
        for (std::size_t at = 0; at < repeated.bytes.size(); at += 21) {
            std::copy_n(h0.bytes.begin(), 5, repeated.bytes.begin() + at);
            std::copy(p.salt.begin(), p.salt.end(), repeated.bytes.begin() + at + 5);
        }
        Scratch<16> h1;
        md5_.hash({repeated.bytes}, h1.data());
        baseHash_ = SecureBuffer::copyOf(Bytes(h1.bytes).first(5));

        Scratch<32> check;
        std::copy(p.encryptedVerifier.begin(), p.encryptedVerifier.end(), check.bytes.begin());
        std::copy(p.encryptedVerifierHash.begin(), p.encryptedVerifierHash.end(), check.bytes.begin() + 16);
        decrypt(littleEndian(0), check.bytes);
        Scratch<16> hash;
        md5_.hash({Bytes(check.bytes).first(16)}, hash.data());
        if (!ossl::equalSecrets(hash.bytes, Bytes(check.bytes).subspan(16, 16)))
            wrongPassword();
    }

    void decryptPage(std::span<unsigned char> page, std::uint32_t pageNumber) override {
        decrypt(PageBlock(encodingKey_, pageNumber), page);
    }

  private:
    void decrypt(Bytes block, std::span<unsigned char> data) {
        Scratch<16> key;
        md5_.hash({baseHash_.bytes(), block}, key.data());
        rc4_.decrypt(key.bytes, {}, data);
    }

    ossl::Digest md5_;
    ossl::Cipher rc4_;
    EncodingKey encodingKey_;
    SecureBuffer baseHash_;
};

// ---- agile ----

const char* aesCbcName(int keyBits) {
    return keyBits == 128 ? "AES-128-CBC" : keyBits == 192 ? "AES-192-CBC" : "AES-256-CBC";
}

const char* hashName(const AgileCipher& c) {
    const char* name = AgileHashName(c.hashAlgorithm);
    if (!name)
        throw Failure(UnsupportedMessage(
            QStringLiteral("agile encryption with the hash algorithm %1").arg(c.hashAlgorithm)));
    return name;
}

// Block keys of the password key encryptor.
constexpr std::array<unsigned char, 8> kVerifierInputBlock = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
constexpr std::array<unsigned char, 8> kVerifierValueBlock = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
constexpr std::array<unsigned char, 8> kKeyValueBlock = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};

class AgileDecryptor final : public PageDecryptor {
  public:
    AgileDecryptor(const AgileParameters& p, const EncodingKey& encodingKey, Bytes password)
        : pageHash_(hashName(p.keyData)),
          pageCipher_(aesCbcName(p.keyData.keyBits)),
          encodingKey_(encodingKey),
          pageSalt_(p.keyData.salt),
          blockSize_(static_cast<std::size_t>(p.keyData.blockSize)) {
        const AgileCipher& e = p.password;
        ossl::Digest hash(hashName(e));
        ossl::Cipher cipher(aesCbcName(e.keyBits));
        const SecureBuffer iterated = iteratedHash(hash, e.salt, password, p.spinCount);
        const SecureBuffer iv = fixedLength(e.salt, static_cast<std::size_t>(e.blockSize), 0x36);

        // Decrypts value with the key of the password and block.
        auto unwrap = [&](Bytes block, const std::vector<unsigned char>& value) {
            const SecureBuffer blockHash = hash.hash({iterated.bytes(), block});
            const SecureBuffer key =
                fixedLength(blockHash.bytes(), static_cast<std::size_t>(e.keyBits / 8), 0x36);
            SecureBuffer plain = SecureBuffer::copyOf(value);
            cipher.decrypt(key.bytes(), iv.bytes(), plain.bytes());
            return plain;
        };
        const SecureBuffer verifier = unwrap(kVerifierInputBlock, p.encryptedVerifierHashInput);
        const SecureBuffer verifierHash = unwrap(kVerifierValueBlock, p.encryptedVerifierHashValue);
        const SecureBuffer expected = hash.hash({verifier.bytes().first(e.salt.size())});
        if (!ossl::equalSecrets(expected.bytes(),
                                verifierHash.bytes().first(static_cast<std::size_t>(e.hashSize))))
            wrongPassword();
        const SecureBuffer key = unwrap(kKeyValueBlock, p.encryptedKeyValue);
        key_ = SecureBuffer::copyOf(key.bytes().first(static_cast<std::size_t>(p.keyData.keyBits / 8)));
    }

    void decryptPage(std::span<unsigned char> page, std::uint32_t pageNumber) override {
        // The page's initial vector: H(key data salt + block), cut or padded to the block size.
        Scratch<64> hash;
        const EncodingKey block = PageBlock(encodingKey_, pageNumber);
        pageHash_.hash({pageSalt_, block}, hash.data());
        Scratch<64> iv;
        iv.bytes.fill(0x36);
        std::copy_n(hash.bytes.begin(), std::min(pageHash_.size(), blockSize_), iv.bytes.begin());
        pageCipher_.decrypt(key_.bytes(), Bytes(iv.bytes).first(blockSize_), page);
    }

  private:
    ossl::Digest pageHash_;
    ossl::Cipher pageCipher_;
    EncodingKey encodingKey_;
    std::vector<unsigned char> pageSalt_;
    std::size_t blockSize_;
    SecureBuffer key_;
};

}  // namespace

QString NotAValidPasswordMessage() {
    return QStringLiteral("Not a valid password.");
}

EncodingKey PageBlock(const EncodingKey& encodingKey, std::uint32_t pageNumber) {
    const auto number = littleEndian(pageNumber);
    EncodingKey block;
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = encodingKey[i] ^ number[i];
    return block;
}

std::unique_ptr<PageDecryptor> Unlock(const EncryptionInfo& info, const EncodingKey& encodingKey,
                                      const QString& password) {
    const SecureBuffer pw = passwordBytes(password);
    switch (info.scheme) {
        case Scheme::Rc4CryptoApi:
            return std::make_unique<Rc4CryptoApiDecryptor>(std::get<CryptoApiParameters>(info.parameters),
                                                           encodingKey, pw.bytes());
        case Scheme::StandardAes:
        case Scheme::NonStandardAes:
            return std::make_unique<CryptoApiAesDecryptor>(std::get<CryptoApiParameters>(info.parameters),
                                                           encodingKey, pw.bytes());
        case Scheme::BinaryRc4:
            return std::make_unique<BinaryRc4Decryptor>(std::get<BinaryRc4Parameters>(info.parameters),
                                                        encodingKey, pw.bytes());
        case Scheme::Agile:
            return std::make_unique<AgileDecryptor>(std::get<AgileParameters>(info.parameters), encodingKey,
                                                    pw.bytes());
        case Scheme::None:
        case Scheme::JetDatabaseKey:
            break;
    }
    throw Failure(QStringLiteral("The database is not encrypted with a password."));
}

}  // namespace qm::crypto
