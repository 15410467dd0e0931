#include "database/crypto/EncryptionInfo.h"

#include "shell/Failure.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace qm::crypto {

namespace {

// EncryptionHeader flags.
constexpr std::uint32_t kFlagCryptoApi = 0x04;
constexpr std::uint32_t kFlagExternal = 0x10;
constexpr std::uint32_t kFlagAes = 0x20;

// Algorithm identifiers of CryptoAPI.
constexpr std::uint32_t kAlgRc4 = 0x6801;
constexpr std::uint32_t kAlgAes128 = 0x660E;
constexpr std::uint32_t kAlgAes192 = 0x660F;
constexpr std::uint32_t kAlgAes256 = 0x6610;
constexpr std::uint32_t kAlgSha1 = 0x8004;

constexpr std::uint32_t kSaltSize = 16;
constexpr std::uint32_t kSha1Size = 20;
constexpr std::uint32_t kEncryptionHeaderFixedSize = 32;  // eight 32-bit fields before the provider name
constexpr std::uint32_t kAgileReserved = 0x40;
constexpr int kMaxSpinCount = 10'000'000;

const QString kEncryptionNs = QStringLiteral("http://schemas.microsoft.com/office/2006/encryption");
const QString kPasswordNs = QStringLiteral("http://schemas.microsoft.com/office/2006/keyEncryptor/password");

[[noreturn]] void damaged(const QString& detail) {
    throw Failure(DamagedHeaderMessage(detail));
}
[[noreturn]] void unsupported(const QString& detail) {
    throw Failure(UnsupportedMessage(detail));
}

// Reads little-endian fields and refuses to run past the end of its bytes.
class ByteReader {
  public:
    explicit ByteReader(std::span<const unsigned char> bytes) : bytes_(bytes) {}

    std::size_t remaining() const { return bytes_.size() - position_; }

    std::span<const unsigned char> take(std::size_t count, const char* what) {
        if (count > remaining())
            damaged(QStringLiteral("the %1 runs past the end of the header").arg(QLatin1String(what)));
        auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }
    std::uint16_t u16(const char* what) { return qFromLittleEndian<std::uint16_t>(take(2, what).data()); }
    std::uint32_t u32(const char* what) { return qFromLittleEndian<std::uint32_t>(take(4, what).data()); }
    template <std::size_t N>
    void into(std::array<unsigned char, N>& out, const char* what) {
        auto b = take(N, what);
        std::copy(b.begin(), b.end(), out.begin());
    }

  private:
    std::span<const unsigned char> bytes_;
    std::size_t position_ = 0;
};

// The provider name: UTF-16LE up to its terminating zero (or the end).
QString providerName(std::span<const unsigned char> bytes) {
    QString name;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = qFromLittleEndian<char16_t>(&bytes[i]);
        if (unit == 0)
            break;
        name.append(QChar(unit));
    }
    return name;
}

CryptoApiParameters parseCryptoApi(ByteReader& reader) {
    // The flags come twice: before the header size and as the header's first field.
    const std::uint32_t outerFlags = reader.u32("flags");
    const std::uint32_t headerSize = reader.u32("header size");
    if (headerSize < kEncryptionHeaderFixedSize)
        damaged(QStringLiteral("its header size %1 is too small").arg(headerSize));
    ByteReader header(reader.take(headerSize, "encryption header"));
    const std::uint32_t flags = header.u32("flags");
    header.u32("extra size");
    const std::uint32_t algorithm = header.u32("algorithm");
    const std::uint32_t hashAlgorithm = header.u32("hash algorithm");
    const std::uint32_t keySize = header.u32("key size");
    header.u32("provider type");
    header.u32("reserved field");
    header.u32("reserved field");

    if ((outerFlags & kFlagCryptoApi) == 0 || (flags & kFlagCryptoApi) == 0)
        unsupported(
            QStringLiteral("encryption that does not use CryptoAPI, flags 0x%1").arg(outerFlags, 0, 16));
    if (flags & kFlagExternal)
        unsupported(QStringLiteral("an external encryption provider"));

    CryptoApiParameters p;
    p.providerName = providerName(header.take(header.remaining(), "provider name"));
    int algorithmBits = 0;  // AES only
    switch (algorithm) {
        case 0:  // taken from the flags
            p.aes = (flags & kFlagAes) != 0;
            algorithmBits = p.aes ? 128 : 0;
            break;
        case kAlgRc4:
            p.aes = false;
            break;
        case kAlgAes128:
        case kAlgAes192:
        case kAlgAes256:
            p.aes = true;
            algorithmBits = algorithm == kAlgAes128 ? 128 : algorithm == kAlgAes192 ? 192 : 256;
            break;
        default:
            unsupported(QStringLiteral("CryptoAPI algorithm 0x%1").arg(algorithm, 0, 16));
    }
    if (hashAlgorithm != 0 && hashAlgorithm != kAlgSha1)
        unsupported(QStringLiteral("CryptoAPI hash algorithm 0x%1").arg(hashAlgorithm, 0, 16));

    if (keySize != 0) {
        p.keyBits = keySize > 1024 ? 0 : static_cast<int>(keySize);
    } else if (p.aes) {
        p.keyBits = algorithmBits;
    } else {
        // The provider's default: 40 bits for the base provider, 128 for the others.
        const QString name = p.providerName.trimmed().toLower();
        p.keyBits = name.isEmpty() || name.contains(QLatin1String(" base ")) ? 40 : 128;
    }
    if (p.aes ? p.keyBits != algorithmBits : (p.keyBits < 40 || p.keyBits > 128 || p.keyBits % 8 != 0))
        damaged(QStringLiteral("key size %1 does not fit its algorithm").arg(keySize));

    const bool aesFlag = (outerFlags & kFlagAes) != 0;
    if (aesFlag && !p.aes)
        damaged(QStringLiteral("the AES flag is set on an RC4 header"));
    p.hashRounds = aesFlag ? 50'000 : 0;

    const std::uint32_t saltSize = reader.u32("salt size");
    if (saltSize != kSaltSize)
        damaged(QStringLiteral("salt size %1 instead of 16").arg(saltSize));
    reader.into(p.salt, "salt");
    reader.into(p.encryptedVerifier, "verifier");
    const std::uint32_t verifierHashSize = reader.u32("verifier hash size");
    if (verifierHashSize != kSha1Size)
        damaged(QStringLiteral("verifier hash size %1 instead of 20").arg(verifierHashSize));
    auto hash = reader.take(p.aes ? 32 : kSha1Size, "verifier hash");
    p.encryptedVerifierHash.assign(hash.begin(), hash.end());
    return p;
}

BinaryRc4Parameters parseBinaryRc4(ByteReader& reader) {
    BinaryRc4Parameters p;
    reader.into(p.salt, "salt");
    reader.into(p.encryptedVerifier, "verifier");
    reader.into(p.encryptedVerifierHash, "verifier hash");
    return p;
}

// ---- agile ----

int hashSizeOf(const QString& hashAlgorithm) {
    if (hashAlgorithm == QLatin1String("SHA1"))
        return 20;
    if (hashAlgorithm == QLatin1String("SHA256"))
        return 32;
    if (hashAlgorithm == QLatin1String("SHA384"))
        return 48;
    if (hashAlgorithm == QLatin1String("SHA512"))
        return 64;
    if (hashAlgorithm == QLatin1String("MD5"))
        return 16;
    return 0;
}

class AttributeReader {
  public:
    AttributeReader(QXmlStreamAttributes attributes, const char* element)
        : attributes_(std::move(attributes)), element_(element) {}

    QString text(const char* name) const {
        const QString key = QLatin1String(name);
        if (!attributes_.hasAttribute(key))
            damaged(QStringLiteral("the %1 element has no %2").arg(QLatin1String(element_), key));
        return attributes_.value(key).toString();
    }
    int number(const char* name, int least, int most) const {
        bool ok = false;
        const int value = text(name).toInt(&ok);
        if (!ok || value < least || value > most)
            damaged(QStringLiteral("%1 of the %2 element is out of range")
                        .arg(QLatin1String(name), QLatin1String(element_)));
        return value;
    }
    std::vector<unsigned char> base64(const char* name) const {
        const auto decoded =
            QByteArray::fromBase64Encoding(text(name).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            damaged(QStringLiteral("%1 of the %2 element is not base64")
                        .arg(QLatin1String(name), QLatin1String(element_)));
        return std::vector<unsigned char>(decoded.decoded.begin(), decoded.decoded.end());
    }

  private:
    QXmlStreamAttributes attributes_;
    const char* element_;
};

AgileCipher readAgileCipher(const AttributeReader& a) {
    AgileCipher c;
    const int saltSize = a.number("saltSize", 1, 65536);
    c.blockSize = a.number("blockSize", 2, 4096);
    c.keyBits = a.number("keyBits", 8, 65536);
    c.hashSize = a.number("hashSize", 1, 65536);
    const QString cipher = a.text("cipherAlgorithm");
    const QString chaining = a.text("cipherChaining");
    c.hashAlgorithm = a.text("hashAlgorithm");
    c.salt = a.base64("saltValue");

    if (cipher != QLatin1String("AES"))
        unsupported(QStringLiteral("agile encryption with the cipher %1").arg(cipher));
    if (chaining != QLatin1String("ChainingModeCBC"))
        unsupported(QStringLiteral("agile encryption with %1").arg(chaining));
    if (hashSizeOf(c.hashAlgorithm) == 0)
        unsupported(QStringLiteral("agile encryption with the hash algorithm %1").arg(c.hashAlgorithm));
    if (c.keyBits != 128 && c.keyBits != 192 && c.keyBits != 256)
        damaged(QStringLiteral("AES with a key of %1 bits").arg(c.keyBits));
    if (c.blockSize != 16)
        damaged(QStringLiteral("AES with blocks of %1 bytes").arg(c.blockSize));
    if (c.hashSize != hashSizeOf(c.hashAlgorithm))
        damaged(QStringLiteral("hash size %1 for %2").arg(c.hashSize).arg(c.hashAlgorithm));
    if (c.salt.size() != static_cast<std::size_t>(saltSize))
        damaged(QStringLiteral("the salt has %1 bytes instead of %2").arg(c.salt.size()).arg(saltSize));
    return c;
}

void requireBlocks(const std::vector<unsigned char>& value, std::size_t least, int blockSize,
                   const char* what) {
    if (value.size() < least || value.size() % static_cast<std::size_t>(blockSize) != 0)
        damaged(QStringLiteral("the %1 has %2 bytes").arg(QLatin1String(what)).arg(value.size()));
}

AgileParameters parseAgile(ByteReader& reader) {
    if (reader.u32("reserved field") != kAgileReserved)
        damaged(QStringLiteral("unexpected reserved value in the agile header"));
    const auto xmlBytes = reader.take(reader.remaining(), "descriptor");
    QXmlStreamReader xml(QByteArray::fromRawData(reinterpret_cast<const char*>(xmlBytes.data()),
                                                 static_cast<qsizetype>(xmlBytes.size())));
    AgileParameters p;
    bool haveKeyData = false;
    bool havePassword = false;
    bool inPasswordEncryptor = false;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::EndElement) {
            if (xml.name() == QLatin1String("keyEncryptor"))
                inPasswordEncryptor = false;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        const auto ns = xml.namespaceUri();
        if (name == QLatin1String("keyData") && ns == kEncryptionNs) {
            if (haveKeyData)
                damaged(QStringLiteral("the descriptor has two keyData elements"));
            p.keyData = readAgileCipher(AttributeReader(xml.attributes(), "keyData"));
            haveKeyData = true;
        } else if (name == QLatin1String("keyEncryptor") && ns == kEncryptionNs) {
            inPasswordEncryptor = xml.attributes().value(QLatin1String("uri")) == kPasswordNs;
        } else if (name == QLatin1String("encryptedKey") && ns == kPasswordNs && inPasswordEncryptor) {
            if (havePassword)
                damaged(QStringLiteral("the descriptor has two password key encryptors"));
            const AttributeReader a(xml.attributes(), "encryptedKey");
            p.password = readAgileCipher(a);
            p.spinCount = a.number("spinCount", 0, kMaxSpinCount);
            p.encryptedVerifierHashInput = a.base64("encryptedVerifierHashInput");
            p.encryptedVerifierHashValue = a.base64("encryptedVerifierHashValue");
            p.encryptedKeyValue = a.base64("encryptedKeyValue");
            havePassword = true;
        }
    }
    if (xml.hasError())
        damaged(QStringLiteral("its XML descriptor cannot be read: %1").arg(xml.errorString()));
    if (!haveKeyData)
        damaged(QStringLiteral("the XML descriptor has no keyData"));
    if (!havePassword)
        unsupported(QStringLiteral("agile encryption without a password key encryptor"));

    requireBlocks(p.encryptedVerifierHashInput, p.password.salt.size(), p.password.blockSize,
                  "encrypted verifier");
    requireBlocks(p.encryptedVerifierHashValue, static_cast<std::size_t>(p.password.hashSize),
                  p.password.blockSize, "encrypted verifier hash");
    requireBlocks(p.encryptedKeyValue, static_cast<std::size_t>(p.keyData.keyBits / 8), p.password.blockSize,
                  "encrypted key");
    return p;
}

}  // namespace

QString DamagedHeaderMessage(const QString& detail) {
    return QStringLiteral("The encryption header of the database is damaged: %1.").arg(detail);
}

QString UnsupportedMessage(const QString& detail) {
    return QStringLiteral("The database is encrypted with a method this program cannot read: %1.")
        .arg(detail);
}

const char* AgileHashName(const QString& hashAlgorithm) {
    if (hashAlgorithm == QLatin1String("SHA1"))
        return "SHA1";
    if (hashAlgorithm == QLatin1String("SHA256"))
        return "SHA2-256";
    if (hashAlgorithm == QLatin1String("SHA384"))
        return "SHA2-384";
    if (hashAlgorithm == QLatin1String("SHA512"))
        return "SHA2-512";
    if (hashAlgorithm == QLatin1String("MD5"))
        return "MD5";
    return nullptr;
}

EncryptionInfo ParseEncryptionInfo(std::span<const unsigned char> structure) {
    ByteReader reader(structure);
    const std::uint16_t major = reader.u16("version");
    const std::uint16_t minor = reader.u16("version");
    EncryptionInfo info;
    if (major == 4 && minor == 4) {
        info.scheme = Scheme::Agile;
        info.parameters = parseAgile(reader);
    } else if (major == 1 && minor == 1) {
        info.scheme = Scheme::BinaryRc4;
        info.parameters = parseBinaryRc4(reader);
    } else if ((major == 3 || major == 4) && minor == 3) {
        unsupported(QStringLiteral("extensible encryption"));
    } else if (major >= 2 && major <= 4 && minor == 2) {
        CryptoApiParameters p = parseCryptoApi(reader);
        info.scheme = !p.aes         ? Scheme::Rc4CryptoApi
                      : p.hashRounds ? Scheme::StandardAes
                                     : Scheme::NonStandardAes;
        info.parameters = std::move(p);
    } else {
        unsupported(QStringLiteral("encryption version %1.%2").arg(major).arg(minor));
    }
    return info;
}

QString EncryptionInfo::method() const {
    switch (scheme) {
        case Scheme::None:
            return QStringLiteral("no encryption");
        case Scheme::JetDatabaseKey:
            return QStringLiteral("RC4 with the database key");
        case Scheme::Rc4CryptoApi: {
            const auto& p = std::get<CryptoApiParameters>(parameters);
            return QStringLiteral("RC4 CryptoAPI encryption (%1-bit, %2)").arg(p.keyBits).arg(p.providerName);
        }
        case Scheme::StandardAes:
            return QStringLiteral("Office standard encryption (AES-%1)")
                .arg(std::get<CryptoApiParameters>(parameters).keyBits);
        case Scheme::NonStandardAes:
            return QStringLiteral("CryptoAPI AES encryption without key stretching (AES-%1)")
                .arg(std::get<CryptoApiParameters>(parameters).keyBits);
        case Scheme::BinaryRc4:
            return QStringLiteral("Office binary RC4 encryption");
        case Scheme::Agile: {
            const auto& p = std::get<AgileParameters>(parameters);
            return QStringLiteral("Office agile encryption (AES-%1, %2)")
                .arg(p.keyData.keyBits)
                .arg(p.keyData.hashAlgorithm);
        }
    }
    return QString();
}

}  // namespace qm::crypto
