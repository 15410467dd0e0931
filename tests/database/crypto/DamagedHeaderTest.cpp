// Damaged, truncated and unknown encryption headers fail with a description,
// never with a crash or an unchecked read.

#include "TestEncryptor.h"
#include "common/Files.h"
#include "common/TestSupport.h"
#include "database/crypto/AccessCrypto.h"
#include "shell/Failure.h"

#include <QTemporaryDir>

#include <functional>
#include <random>

using qm::Failure;
using qm::crypto::DecryptDatabase;
using qm::crypto::DetectEncryption;
using qm::crypto::SecureBuffer;
using qm::test::fixtureFile;
using qm::test::crypto::AceImageOf;
using qm::test::crypto::EncryptAccessImage;
using qm::test::crypto::EncryptOptions;
using qm::test::crypto::kEncryptionOffset;
using qm::test::crypto::Method;

namespace {

const QString kPassword = QStringLiteral("secret");
const QString kDamaged = QStringLiteral("The encryption header of the database is damaged: ");
const QString kUnsupported =
    QStringLiteral("The database is encrypted with a method this program cannot read: ");
constexpr int kStructure = kEncryptionOffset + 2;  // first byte of the encryption structure

SecureBuffer bytesOf(const QByteArray& file) {
    return SecureBuffer::copyOf(
        {reinterpret_cast<const unsigned char*>(file.constData()), static_cast<std::size_t>(file.size())});
}

// The description of the Failure that call throws; "" when it throws none.
QString failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.description();
    }
    return QString();
}

QByteArray encryptedWith(Method method, int keyBits) {
    EncryptOptions o;
    o.method = method;
    o.keyBits = keyBits;
    o.spinCount = 10;
    return EncryptAccessImage(AceImageOf(fixtureFile("test-tables")), kPassword, o);
}

void setU16(QByteArray& image, int at, std::uint16_t value) {
    image[at] = static_cast<char>(value & 0xFF);
    image[at + 1] = static_cast<char>(value >> 8);
}
void setU32(QByteArray& image, int at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<char>(value >> (8 * i));
}
int structureLength(const QByteArray& image) {
    return static_cast<unsigned char>(image[kEncryptionOffset]) |
           static_cast<unsigned char>(image[kEncryptionOffset + 1]) << 8;
}

// Replaces text in the XML descriptor of an agile header, keeping the length right.
void editXml(QByteArray& image, const char* from, const char* to) {
    const int length = structureLength(image);
    QByteArray structure = image.mid(kStructure, length);
    ASSERT_TRUE(structure.contains(from)) << from;
    structure.replace(from, to);
    ASSERT_LE(kStructure + structure.size(), 4096);
    image.replace(kEncryptionOffset, 2 + std::max(length, static_cast<int>(structure.size())),
                  QByteArray(2, '\0') + structure +
                      QByteArray(std::max(0, length - static_cast<int>(structure.size())), '\0'));
    setU16(image, kEncryptionOffset, static_cast<std::uint16_t>(structure.size()));
}

// Sets the first attribute of that name in the XML descriptor.
void setXmlAttribute(QByteArray& image, const char* name, const char* value) {
    const QByteArray structure = image.mid(kStructure, structureLength(image));
    const QByteArray prefix = QByteArray(name) + "=\"";
    const int start = structure.indexOf(prefix);
    ASSERT_GE(start, 0) << name;
    const int end = structure.indexOf('"', start + prefix.size());
    editXml(image, structure.mid(start, end + 1 - start).constData(), (prefix + value + "\"").constData());
}

// The RC4 CryptoAPI header of the base provider: 12 bytes of version, flags
// and size, the 32 fixed bytes of the encryption header, the provider name.
constexpr int kHeaderSizeAt = kStructure + 8;
constexpr int kAlgorithmAt = kStructure + 20;
constexpr int kHashAlgorithmAt = kStructure + 24;
constexpr int kKeySizeAt = kStructure + 28;
int verifierAt(const QByteArray& image) {
    const int headerSize = static_cast<unsigned char>(image[kHeaderSizeAt]) |
                           static_cast<unsigned char>(image[kHeaderSizeAt + 1]) << 8;
    return kStructure + 12 + headerSize;
}

struct Damage {
    const char* name;
    Method method;
    std::function<void(QByteArray&)> apply;
    QString expected;  // the start of the description
};

}  // namespace

TEST(DamagedHeader, FailsWithADescription) {
    const Damage cases[] = {
        {"no structure", Method::Rc4CryptoApi, [](QByteArray& i) { setU16(i, kEncryptionOffset, 0); },
         kDamaged + "the database is encoded but has no encryption header."},
        {"structure past the page", Method::Rc4CryptoApi,
         [](QByteArray& i) { setU16(i, kEncryptionOffset, 0xFFFF); },
         kDamaged + "its length 65535 runs past the header page."},
        {"structure cut in the verifier hash", Method::Rc4CryptoApi,
         [](QByteArray& i) {
             setU16(i, kEncryptionOffset, static_cast<std::uint16_t>(structureLength(i) - 5));
         },
         kDamaged + "the verifier hash runs past the end of the header."},
        {"structure of two bytes", Method::Rc4CryptoApi,
         [](QByteArray& i) { setU16(i, kEncryptionOffset, 2); },
         kDamaged + "the version runs past the end of the header."},
        {"extensible encryption", Method::Rc4CryptoApi, [](QByteArray& i) { setU16(i, kStructure + 2, 3); },
         kUnsupported + "extensible encryption."},
        {"unknown version", Method::Rc4CryptoApi, [](QByteArray& i) { setU16(i, kStructure, 9); },
         kUnsupported + "encryption version 9.2."},
        {"header size beyond the structure", Method::Rc4CryptoApi,
         [](QByteArray& i) { setU32(i, kHeaderSizeAt, 0xFFFFFFF0); },
         kDamaged + "the encryption header runs past the end of the header."},
        {"header size too small", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kHeaderSizeAt, 8); },
         kDamaged + "its header size 8 is too small."},
        {"no CryptoAPI flag", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kStructure + 4, 0); },
         kUnsupported + "encryption that does not use CryptoAPI, flags 0x0."},
        {"RC2", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kAlgorithmAt, 0x6602); },
         kUnsupported + "CryptoAPI algorithm 0x6602."},
        {"MD5 verifier", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kHashAlgorithmAt, 0x8003); },
         kUnsupported + "CryptoAPI hash algorithm 0x8003."},
        {"RC4 key of 39 bits", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kKeySizeAt, 39); },
         kDamaged + "key size 39 does not fit its algorithm."},
        {"RC4 key of 4 billion bits", Method::Rc4CryptoApi,
         [](QByteArray& i) { setU32(i, kKeySizeAt, 0xFFFFFFFF); },
         kDamaged + "key size 4294967295 does not fit its algorithm."},
        {"AES key of 64 bits", Method::StandardAes, [](QByteArray& i) { setU32(i, kKeySizeAt, 64); },
         kDamaged + "key size 64 does not fit its algorithm."},
        {"AES flag on RC4", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, kStructure + 4, 0x24); },
         kDamaged + "the AES flag is set on an RC4 header."},
        {"salt of 15 bytes", Method::Rc4CryptoApi, [](QByteArray& i) { setU32(i, verifierAt(i), 15); },
         kDamaged + "salt size 15 instead of 16."},
        {"verifier hash of 0 bytes", Method::StandardAes,
         [](QByteArray& i) { setU32(i, verifierAt(i) + 36, 0); },
         kDamaged + "verifier hash size 0 instead of 20."},
        {"agile reserved value", Method::Agile, [](QByteArray& i) { setU32(i, kStructure + 4, 0x41); },
         kDamaged + "unexpected reserved value in the agile header."},
        {"agile XML cut short", Method::Agile,
         [](QByteArray& i) {
             setU16(i, kEncryptionOffset, static_cast<std::uint16_t>(structureLength(i) - 40));
         },
         kDamaged + "its XML descriptor cannot be read: "},
        {"agile salt not base64", Method::Agile,
         [](QByteArray& i) { editXml(i, "saltValue=\"", "saltValue=\"*"); },
         kDamaged + "saltValue of the keyData element is not base64."},
        {"agile spin count too large", Method::Agile,
         [](QByteArray& i) { editXml(i, "spinCount=\"10\"", "spinCount=\"20000000\""); },
         kDamaged + "spinCount of the encryptedKey element is out of range."},
        {"agile spin count negative", Method::Agile,
         [](QByteArray& i) { editXml(i, "spinCount=\"10\"", "spinCount=\"-1\""); },
         kDamaged + "spinCount of the encryptedKey element is out of range."},
        {"agile RC2", Method::Agile,
         [](QByteArray& i) { editXml(i, "cipherAlgorithm=\"AES\"", "cipherAlgorithm=\"RC2\""); },
         kUnsupported + "agile encryption with the cipher RC2."},
        {"agile CFB", Method::Agile, [](QByteArray& i) { editXml(i, "ChainingModeCBC", "ChainingModeCFB"); },
         kUnsupported + "agile encryption with ChainingModeCFB."},
        {"agile whirlpool", Method::Agile,
         [](QByteArray& i) { editXml(i, "hashAlgorithm=\"SHA512\"", "hashAlgorithm=\"WHIRLPOOL\""); },
         kUnsupported + "agile encryption with the hash algorithm WHIRLPOOL."},
        {"agile key of 100 bits", Method::Agile,
         [](QByteArray& i) { editXml(i, "keyBits=\"256\"", "keyBits=\"100\""); },
         kDamaged + "AES with a key of 100 bits."},
        {"agile hash size", Method::Agile,
         [](QByteArray& i) { editXml(i, "hashSize=\"64\"", "hashSize=\"20\""); },
         kDamaged + "hash size 20 for SHA512."},
        {"agile salt size", Method::Agile,
         [](QByteArray& i) { editXml(i, "saltSize=\"16\"", "saltSize=\"17\""); },
         kDamaged + "the salt has 16 bytes instead of 17."},
        {"agile attribute missing", Method::Agile,
         [](QByteArray& i) { editXml(i, "blockSize=", "blocksize="); },
         kDamaged + "the keyData element has no blockSize."},
        {"agile without password encryptor", Method::Agile,
         [](QByteArray& i) {
             editXml(i, "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\"",
                     "uri=\"x\"");
         },
         kUnsupported + "agile encryption without a password key encryptor."},
        {"agile key value too short", Method::Agile,
         [](QByteArray& i) { setXmlAttribute(i, "encryptedKeyValue", "AAAAAAAAAAAAAAAAAAAAAAA="); },
         kDamaged + "the encrypted key has 17 bytes."},
    };
    std::map<Method, QByteArray> images;
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.name);
        if (!images.count(d.method))
            images[d.method] = encryptedWith(d.method, d.method == Method::Rc4CryptoApi ? 40 : 256);
        QByteArray image = images[d.method];
        d.apply(image);
        if (testing::Test::HasFatalFailure())
            return;
        const QString detected =
            failureOf([&] { DetectEncryption(image.left(qm::crypto::kDetectionBytes)); });
        const QString decrypted = failureOf([&] { DecryptDatabase(bytesOf(image), kPassword); });
        EXPECT_TRUE(detected.startsWith(d.expected)) << detected.toStdString();
        EXPECT_EQ(decrypted, detected);
    }
}

TEST(DamagedFile, FailsWithADescription) {
    const QByteArray encrypted = encryptedWith(Method::Agile, 128);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto fileWith = [&](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    };
    const struct {
        const char* name;
        QByteArray bytes;
        QString password;
        QString expected;
    } cases[] = {
        {"cut.accdb", encrypted.left(encrypted.size() - 100), kPassword,
         QStringLiteral("The database file is damaged: its size of %1 bytes is not a whole number of pages.")
             .arg(encrypted.size() - 100)},
        // The password is checked first, so a wrong one is reported as such even for a cut file.
        {"cut-wrong.accdb", encrypted.left(encrypted.size() - 100), QStringLiteral("nope"),
         QStringLiteral("Not a valid password.")},
        {"header-only.accdb", encrypted.left(300), kPassword, kDamaged + "the header page is cut short."},
        {"tiny.accdb", encrypted.left(100), kPassword, QStringLiteral("The file is not an Access database.")},
        {"empty.accdb", QByteArray(), kPassword, QStringLiteral("The file is not an Access database.")},
        {"text.accdb", QByteArray(8192, 'x'), kPassword,
         QStringLiteral("The file is not an Access database.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = fileWith(c.name, c.bytes);
        EXPECT_EQ(failureOf([&] { DecryptDatabase(path, c.password); }), c.expected);
        EXPECT_EQ(failureOf([&] { DecryptDatabase(bytesOf(c.bytes), c.password); }), c.expected);
    }
    const QString missing = dir.filePath(QStringLiteral("missing.accdb"));
    EXPECT_TRUE(failureOf([&] {
                    DecryptDatabase(missing, kPassword);
                }).startsWith(QStringLiteral("The database file '%1' could not be opened: ").arg(missing)));
}

// Random damage anywhere in the encryption structure: every outcome is a
// Failure or a decryption, never a crash (run under the sanitizers in CI).
TEST(DamagedHeader, SurvivesRandomDamage) {
    std::mt19937 random(20240229);
    for (Method method : {Method::Rc4CryptoApi, Method::NonStandardAes, Method::BinaryRc4, Method::Agile}) {
        // The header page and one more are all the damage can reach.
        const QByteArray encrypted =
            encryptedWith(method, method == Method::Rc4CryptoApi ? 128 : 256).left(2 * 4096);
        const int span = 2 + structureLength(encrypted);
        for (int round = 0; round < 300; ++round) {
            QByteArray image = encrypted;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int f = 0; f < flips; ++f)
                image[kEncryptionOffset + static_cast<int>(random() % static_cast<unsigned>(span))] =
                    static_cast<char>(random());
            try {
                DecryptDatabase(bytesOf(image), kPassword);
            } catch (const Failure& failure) {
                EXPECT_FALSE(failure.description().isEmpty());
            }
        }
    }
}
