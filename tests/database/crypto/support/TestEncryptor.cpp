#include "TestEncryptor.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>

namespace qm::test::crypto {

namespace {

constexpr int kAcePageSize = 4096;
constexpr int kEncodingKeyOffset = 0x3E;

[[noreturn]] void fail(const char* what) {
    ERR_clear_error();
    throw std::runtime_error(std::string("test encryptor: ") + what);
}

// A library context of our own with the legacy provider, for RC4.
OSSL_LIB_CTX* library() {
    struct Holder {
        Holder() : context(OSSL_LIB_CTX_new(), OSSL_LIB_CTX_free) {
            base = OSSL_PROVIDER_load(context.get(), "default");
            legacy = OSSL_PROVIDER_load(context.get(), "legacy");
        }
        ~Holder() {
            if (legacy)
                OSSL_PROVIDER_unload(legacy);
            if (base)
                OSSL_PROVIDER_unload(base);
        }
        std::unique_ptr<OSSL_LIB_CTX, decltype(&OSSL_LIB_CTX_free)> context;
        OSSL_PROVIDER* base = nullptr;
        OSSL_PROVIDER* legacy = nullptr;
    };
    static Holder holder;
    return holder.context.get();
}

const unsigned char* u(const QByteArray& b) {
    return reinterpret_cast<const unsigned char*>(b.constData());
}

QByteArray hash(const char* name, std::initializer_list<QByteArray> parts) {
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(library(), name, nullptr), EVP_MD_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!md || !ctx || EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr) != 1)
        fail("digest");
    for (const QByteArray& part : parts)
        EVP_DigestUpdate(ctx.get(), part.constData(), static_cast<size_t>(part.size()));
    QByteArray out(EVP_MD_get_size(md.get()), '\0');
    unsigned int n = 0;
    if (EVP_DigestFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n) != 1)
        fail("digest end");
    return out;
}

// Encrypts data in place, without padding.
void encrypt(const char* cipherName, const QByteArray& key, const QByteArray& iv, char* data, int size) {
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(
        EVP_CIPHER_fetch(library(), cipherName, nullptr), EVP_CIPHER_free);
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
    if (!cipher || !ctx || EVP_EncryptInit_ex2(ctx.get(), cipher.get(), nullptr, nullptr, nullptr) != 1)
        fail("cipher");
    if (EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1)
        fail("key length");
    if (EVP_EncryptInit_ex2(ctx.get(), nullptr, u(key), iv.isEmpty() ? nullptr : u(iv), nullptr) != 1)
        fail("cipher key");
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int n = 0;
    int tail = 0;
    auto* out = reinterpret_cast<unsigned char*>(data);
    if (EVP_EncryptUpdate(ctx.get(), out, &n, out, size) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), out + n, &tail) != 1 || n + tail != size)
        fail("cipher run");
}

QByteArray encrypted(const char* cipherName, const QByteArray& key, const QByteArray& iv, QByteArray data) {
    encrypt(cipherName, key, iv, data.data(), static_cast<int>(data.size()));
    return data;
}

QByteArray randomBytes(int n) {
    QByteArray out(n, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), n) != 1)
        fail("random");
    return out;
}

QByteArray le32(std::uint32_t v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(v >> (8 * i));
    return out;
}
QByteArray le16(std::uint16_t v) {
    return le32(v).left(2);
}

QByteArray utf16le(const QString& text, qsizetype limit = 255) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size() && i < limit; ++i) {
        const char16_t c = text.at(i).unicode();
        out.append(static_cast<char>(c & 0xFF)).append(static_cast<char>(c >> 8));
    }
    return out;
}

QByteArray padded(QByteArray b, int length, char pad) {
    if (b.size() > length)
        b.truncate(length);
    while (b.size() < length)
        b.append(pad);
    return b;
}

QByteArray blockOf(std::uint32_t encodingKey, std::uint32_t page) {
    return le32(encodingKey ^ page);
}

// ---- per method: the header structure and the key of each page ----

struct Encrypter {
    QByteArray structure;  // written at 0x299 after its length
    std::function<void(char* page, std::uint32_t pageNumber)> encryptPage;
};

QByteArray cryptoApiHeader(const EncryptOptions& o, bool aes, std::uint32_t flags, const QString& provider) {
    const std::uint32_t algorithm = !aes               ? 0x6801
                                    : o.keyBits == 128 ? 0x660E
                                    : o.keyBits == 192 ? 0x660F
                                                       : 0x6610;
    QByteArray header = le32(flags) + le32(0) + le32(algorithm) + le32(0x8004) +
                        le32(o.writeKeySize ? static_cast<std::uint32_t>(o.keyBits) : 0) +
                        le32(aes ? 0x18 : 1) + le32(0) + le32(0) + utf16le(provider, 1000) +
                        QByteArray(2, '\0');
    return le16(static_cast<std::uint16_t>(o.versionMajor)) + le16(2) + le32(flags) +
           le32(static_cast<std::uint32_t>(header.size())) + header;
}

Encrypter rc4CryptoApi(const EncryptOptions& o, const QByteArray& pw) {
    const QString provider = !o.providerName.isEmpty() ? o.providerName
                             : o.keyBits == 40
                                 ? QStringLiteral("Microsoft Base Cryptographic Provider v1.0")
                                 : QStringLiteral("Microsoft Enhanced Cryptographic Provider v1.0");
    const QByteArray salt = randomBytes(16);
    const QByteArray h0 = hash("SHA1", {salt, pw});
    auto keyFor = [h0, bits = o.keyBits](const QByteArray& block) {
        QByteArray key = hash("SHA1", {h0, block}).left(bits / 8);
        return bits == 40 ? padded(key, 16, '\0') : key;
    };
    const QByteArray verifier = randomBytes(16);
    const QByteArray check = encrypted("RC4", keyFor(le32(0)), {}, verifier + hash("SHA1", {verifier}));
    Encrypter e;
    e.structure = cryptoApiHeader(o, false, 0x04, provider) + le32(16) + salt + check.left(16) + le32(20) +
                  check.mid(16);
    e.encryptPage = [keyFor, k = o.encodingKey](char* page, std::uint32_t n) {
        encrypt("RC4", keyFor(blockOf(k, n)), {}, page, kAcePageSize);
    };
    return e;
}

Encrypter cryptoApiAes(const EncryptOptions& o, const QByteArray& pw, bool standard) {
    const QString provider = !o.providerName.isEmpty()
                                 ? o.providerName
                                 : QStringLiteral("Microsoft Enhanced RSA and AES Cryptographic Provider");
    const QByteArray salt = randomBytes(16);
    QByteArray h = hash("SHA1", {salt, pw});
    for (std::uint32_t i = 0; standard && i < 50000; ++i)
        h = hash("SHA1", {le32(i), h});
    auto keyFor = [h, bits = o.keyBits](const QByteArray& block) {
        const QByteArray final = hash("SHA1", {h, block});
        QByteArray inner(64, '\x36');
        QByteArray outer(64, '\x5C');
        for (int i = 0; i < final.size(); ++i) {
            inner[i] = static_cast<char>(inner[i] ^ final[i]);
            outer[i] = static_cast<char>(outer[i] ^ final[i]);
        }
        return (hash("SHA1", {inner}) + hash("SHA1", {outer})).left(bits / 8);
    };
    const char* ecb = o.keyBits == 128 ? "AES-128-ECB" : o.keyBits == 192 ? "AES-192-ECB" : "AES-256-ECB";
    const QByteArray key0 = keyFor(le32(0));
    const QByteArray verifier = randomBytes(16);
    Encrypter e;
    e.structure = cryptoApiHeader(o, true, standard ? 0x24 : 0x0C, provider) + le32(16) + salt +
                  encrypted(ecb, key0, {}, verifier) + le32(20) +
                  encrypted(ecb, key0, {}, padded(hash("SHA1", {verifier}), 32, '\0'));
    e.encryptPage = [keyFor, ecb, k = o.encodingKey](char* page, std::uint32_t n) {
        encrypt(ecb, keyFor(blockOf(k, n)), {}, page, kAcePageSize);
    };
    return e;
}

Encrypter binaryRc4(const EncryptOptions& o, const QByteArray& pw) {
    const QByteArray salt = randomBytes(16);
    const QByteArray h0 = hash("MD5", {pw});
    QByteArray repeated;
    for (int i = 0; i < 16; ++i)
        repeated += h0.left(5) + salt;
    const QByteArray h1 = hash("MD5", {repeated}).left(5);
    auto keyFor = [h1](const QByteArray& block) { return hash("MD5", {h1, block}); };
    const QByteArray verifier = randomBytes(16);
    const QByteArray check = encrypted("RC4", keyFor(le32(0)), {}, verifier + hash("MD5", {verifier}));
    Encrypter e;
    e.structure = le16(1) + le16(1) + salt + check;
    e.encryptPage = [keyFor, k = o.encodingKey](char* page, std::uint32_t n) {
        encrypt("RC4", keyFor(blockOf(k, n)), {}, page, kAcePageSize);
    };
    return e;
}

const char* opensslHash(const QString& name) {
    if (name == QLatin1String("SHA1"))
        return "SHA1";
    if (name == QLatin1String("SHA256"))
        return "SHA2-256";
    if (name == QLatin1String("SHA384"))
        return "SHA2-384";
    return "SHA2-512";
}

Encrypter agile(const EncryptOptions& o, const QByteArray& pw) {
    const char* h = opensslHash(o.hashAlgorithm);
    const char* cbc = o.keyBits == 128 ? "AES-128-CBC" : o.keyBits == 192 ? "AES-192-CBC" : "AES-256-CBC";
    const int keyBytes = o.keyBits / 8;
    const QByteArray secret = randomBytes(keyBytes);
    const QByteArray dataSalt = randomBytes(16);
    const QByteArray passwordSalt = randomBytes(16);

    QByteArray iterated = hash(h, {passwordSalt, pw});
    for (int i = 0; i < o.spinCount; ++i)
        iterated = hash(h, {le32(static_cast<std::uint32_t>(i)), iterated});
    auto wrap = [&](const char* block, QByteArray value) {
        const QByteArray key = padded(hash(h, {iterated, QByteArray(block, 8)}), keyBytes, '\x36');
        return encrypted(cbc, key, passwordSalt,
                         padded(value, static_cast<int>((value.size() + 15) / 16 * 16), '\0'));
    };
    const QByteArray verifier = randomBytes(16);
    const QByteArray hashInput = wrap("\xfe\xa7\xd2\x76\x3b\x4b\x9e\x79", verifier);
    const QByteArray hashValue = wrap("\xd7\xaa\x0f\x6d\x30\x61\x34\x4e", hash(h, {verifier}));
    const QByteArray keyValue = wrap("\x14\x6e\x0b\xe7\xab\xac\xd0\xd6", secret);

    const int hashSize = static_cast<int>(hash(h, {}).size());
    const QString common =
        QStringLiteral(
            "saltSize=\"16\" blockSize=\"16\" keyBits=\"%1\" hashSize=\"%2\" cipherAlgorithm=\"AES\" "
            "cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"%3\"")
            .arg(o.keyBits)
            .arg(hashSize)
            .arg(o.hashAlgorithm);
    const QString xml =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
            "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\" "
            "xmlns:c=\"http://schemas.microsoft.com/office/2006/keyEncryptor/certificate\">"
            "<keyData %1 saltValue=\"%2\"/><keyEncryptors>"
            "<keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
            "<p:encryptedKey spinCount=\"%3\" %1 saltValue=\"%4\" encryptedVerifierHashInput=\"%5\" "
            "encryptedVerifierHashValue=\"%6\" encryptedKeyValue=\"%7\"/>"
            "</keyEncryptor></keyEncryptors></encryption>")
            .arg(common, QString::fromLatin1(dataSalt.toBase64()))
            .arg(o.spinCount)
            .arg(QString::fromLatin1(passwordSalt.toBase64()), QString::fromLatin1(hashInput.toBase64()),
                 QString::fromLatin1(hashValue.toBase64()), QString::fromLatin1(keyValue.toBase64()));

    Encrypter e;
    e.structure = le16(4) + le16(4) + le32(0x40) + xml.toUtf8();
    e.encryptPage = [=, k = o.encodingKey](char* page, std::uint32_t n) {
        const QByteArray iv = hash(h, {dataSalt, blockOf(k, n)}).left(16);
        encrypt(cbc, secret, iv, page, kAcePageSize);
    };
    return e;
}

}  // namespace

QByteArray EncryptAccessImage(const QByteArray& plain, const QString& password,
                              const EncryptOptions& options) {
    if (plain.size() < kAcePageSize || plain.size() % kAcePageSize != 0)
        throw std::runtime_error("test encryptor: not a whole number of ACE pages");
    const QByteArray pw = utf16le(password);
    Encrypter e;
    switch (options.method) {
        case Method::Rc4CryptoApi:
            e = rc4CryptoApi(options, pw);
            break;
        case Method::StandardAes:
            e = cryptoApiAes(options, pw, true);
            break;
        case Method::NonStandardAes:
            e = cryptoApiAes(options, pw, false);
            break;
        case Method::BinaryRc4:
            e = binaryRc4(options, pw);
            break;
        case Method::Agile:
            e = agile(options, pw);
            break;
    }
    if (kEncryptionOffset + 2 + e.structure.size() > kAcePageSize)
        throw std::runtime_error("test encryptor: the encryption structure does not fit the header page");

    QByteArray image = plain;
    // The plain key reads as zero, so the stored bytes are the obscuring key
    // stream; XOR with the new key makes them read as that key.
    const QByteArray key = le32(options.encodingKey);
    for (int i = 0; i < 4; ++i)
        image[kEncodingKeyOffset + i] = static_cast<char>(image[kEncodingKeyOffset + i] ^ key[i]);
    image.replace(kEncryptionOffset, 2 + static_cast<int>(e.structure.size()),
                  le16(static_cast<std::uint16_t>(e.structure.size())) + e.structure);
    for (std::uint32_t page = 1; page < static_cast<std::uint32_t>(image.size() / kAcePageSize); ++page)
        e.encryptPage(image.data() + static_cast<qsizetype>(page) * kAcePageSize, page);
    return image;
}

QByteArray EncodeWithDatabaseKey(const QByteArray& plain, std::uint32_t key) {
    const int pageSize = plain.at(0x14) == 0 ? 2048 : 4096;
    if (plain.size() % pageSize != 0)
        throw std::runtime_error("test encryptor: not a whole number of pages");
    QByteArray image = plain;
    const QByteArray stored = le32(key);
    for (int i = 0; i < 4; ++i)
        image[kEncodingKeyOffset + i] = static_cast<char>(image[kEncodingKeyOffset + i] ^ stored[i]);
    for (std::uint32_t page = 1; page < static_cast<std::uint32_t>(image.size() / pageSize); ++page)
        encrypt("RC4", le32(key ^ page), {}, image.data() + static_cast<qsizetype>(page) * pageSize,
                pageSize);
    return image;
}

QByteArray AceImageOf(const QString& jet4Path) {
    QByteArray image = ReadWholeFile(jet4Path);
    if (image.size() < kAcePageSize || image.at(0x14) != 0x01)
        throw std::runtime_error("test encryptor: not a Jet 4 file");
    image.replace(4, 16, QByteArray("Standard ACE DB\0", 16));
    image[0x14] = 0x03;  // ACE 14, Access 2010
    return image;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace qm::test::crypto
