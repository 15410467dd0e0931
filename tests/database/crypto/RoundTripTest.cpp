// Round trips for every scheme: a plain database written by the project's
// writer is encrypted by the test encryptor, then decrypted and read back
// through libmdb.

#include "MdbImage.h"
#include "TestEncryptor.h"
#include "common/Files.h"
#include "common/TestSupport.h"
#include "database/crypto/AccessCrypto.h"
#include "shell/Failure.h"

using qm::Failure;
using qm::crypto::DecryptDatabase;
using qm::crypto::DetectEncryption;
using qm::crypto::Scheme;
using qm::crypto::SecureBuffer;
using qm::test::corpusFile;
using qm::test::fixtureFile;
using qm::test::crypto::AceImageOf;
using qm::test::crypto::EncryptAccessImage;
using qm::test::crypto::EncryptOptions;
using qm::test::crypto::MdbImage;
using qm::test::crypto::Method;
using qm::test::crypto::ReadWholeFile;

namespace {

SecureBuffer bytesOf(const QByteArray& file) {
    return SecureBuffer::copyOf(
        {reinterpret_cast<const unsigned char*>(file.constData()), static_cast<std::size_t>(file.size())});
}

QByteArray asBytes(const SecureBuffer& buffer) {
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(buffer.size()));
}

struct RoundTrip {
    const char* name;
    EncryptOptions options;
    Scheme scheme;
    const char* method;  // a part of the method description
};

void PrintTo(const RoundTrip& c, std::ostream* out) {
    *out << c.name;
}

EncryptOptions cryptoApi(Method method, int keyBits, bool writeKeySize = true, const char* provider = "",
                         int versionMajor = 4) {
    EncryptOptions o;
    o.method = method;
    o.keyBits = keyBits;
    o.writeKeySize = writeKeySize;
    o.providerName = QLatin1String(provider);
    o.versionMajor = versionMajor;
    return o;
}

EncryptOptions agile(int keyBits, const char* hash, std::uint32_t encodingKey = 0x5A3C96E1) {
    EncryptOptions o;
    o.method = Method::Agile;
    o.keyBits = keyBits;
    o.hashAlgorithm = QLatin1String(hash);
    o.encodingKey = encodingKey;
    return o;
}

EncryptOptions withKey(EncryptOptions o, std::uint32_t encodingKey) {
    o.encodingKey = encodingKey;
    return o;
}

const RoundTrip kRoundTrips[] = {
    // RC4 CryptoAPI: the base provider's header is shorter than the enhanced one's.
    {"Rc4Base40", cryptoApi(Method::Rc4CryptoApi, 40), Scheme::Rc4CryptoApi, "40-bit, Microsoft Base"},
    {"Rc4Base40ByDefault", cryptoApi(Method::Rc4CryptoApi, 40, false), Scheme::Rc4CryptoApi, "40-bit"},
    {"Rc4Enhanced128", cryptoApi(Method::Rc4CryptoApi, 128), Scheme::Rc4CryptoApi,
     "128-bit, Microsoft Enhanced"},
    {"Rc4Enhanced128ByDefault", cryptoApi(Method::Rc4CryptoApi, 128, false), Scheme::Rc4CryptoApi, "128-bit"},
    {"Rc4Strong56", cryptoApi(Method::Rc4CryptoApi, 56, true, "Microsoft Strong Cryptographic Provider"),
     Scheme::Rc4CryptoApi, "56-bit, Microsoft Strong"},
    {"Rc4Version2", cryptoApi(Method::Rc4CryptoApi, 128, true, "", 2), Scheme::Rc4CryptoApi, "128-bit"},
    {"Rc4Version3", withKey(cryptoApi(Method::Rc4CryptoApi, 40, true, "", 3), 0xFFFFFFFF),
     Scheme::Rc4CryptoApi, "40-bit"},
    // Office standard encryption and the variant without hash rounds.
    {"StandardAes128", cryptoApi(Method::StandardAes, 128), Scheme::StandardAes, "AES-128"},
    {"StandardAes192", cryptoApi(Method::StandardAes, 192), Scheme::StandardAes, "AES-192"},
    {"StandardAes256", withKey(cryptoApi(Method::StandardAes, 256), 0x00000001), Scheme::StandardAes,
     "AES-256"},
    {"NonStandardAes256", cryptoApi(Method::NonStandardAes, 256), Scheme::NonStandardAes, "AES-256"},
    {"NonStandardAes128", cryptoApi(Method::NonStandardAes, 128), Scheme::NonStandardAes, "AES-128"},
    {"BinaryRc4", cryptoApi(Method::BinaryRc4, 128), Scheme::BinaryRc4, "binary RC4"},
    // Agile, with the parameters its descriptor can name.
    {"AgileAes128Sha1", agile(128, "SHA1"), Scheme::Agile, "AES-128, SHA1"},
    {"AgileAes256Sha512", agile(256, "SHA512", 0x80000000), Scheme::Agile, "AES-256, SHA512"},
    {"AgileAes192Sha256", agile(192, "SHA256"), Scheme::Agile, "AES-192, SHA256"},
    {"AgileAes256Sha384", agile(256, "SHA384"), Scheme::Agile, "AES-256, SHA384"},
    {"AgileAes128Sha512", agile(128, "SHA512"), Scheme::Agile, "AES-128, SHA512"},
};

// A password with a blank, a semicolon and letters outside Latin-1.
const QString kPassword = QString::fromUtf8("Pä ss;wörd€1");

class RoundTripTest : public testing::TestWithParam<RoundTrip> {};

}  // namespace

TEST_P(RoundTripTest, DecryptsToThePlainDatabase) {
    const RoundTrip& c = GetParam();
    QByteArray plain = AceImageOf(fixtureFile("test-tables"));
    const QByteArray encrypted = EncryptAccessImage(plain, kPassword, c.options);
    ASSERT_NE(encrypted.mid(4096), plain.mid(4096));

    const auto found = DetectEncryption(encrypted.left(qm::crypto::kDetectionBytes));
    EXPECT_EQ(found.scheme, c.scheme);
    EXPECT_TRUE(found.method.contains(QLatin1String(c.method))) << found.method.toStdString();

    SecureBuffer image = DecryptDatabase(bytesOf(encrypted), kPassword);
    // Byte for byte the plain file: the pages and the restored header page.
    EXPECT_EQ(asBytes(image), plain);

    MdbImage decrypted(image.bytes());
    MdbImage original(
        {reinterpret_cast<unsigned char*>(plain.data()), static_cast<std::size_t>(plain.size())});
    EXPECT_EQ(decrypted.userTables(), original.userTables());
    const auto rows = decrypted.readTable(QStringLiteral("Table1"));
    const auto expected = original.readTable(QStringLiteral("Table1"));
    EXPECT_EQ(rows.columns, expected.columns);
    EXPECT_EQ(rows.rows, expected.rows);
}

TEST_P(RoundTripTest, RefusesAWrongPassword) {
    const RoundTrip& c = GetParam();
    const QByteArray encrypted =
        EncryptAccessImage(AceImageOf(fixtureFile("test-tables")), kPassword, c.options);
    for (const QString& wrong : {QString(), kPassword.left(kPassword.size() - 1), kPassword.toUpper()}) {
        SCOPED_TRACE(wrong.toStdString());
        try {
            DecryptDatabase(bytesOf(encrypted), wrong);
            ADD_FAILURE() << "a wrong password was taken";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.description(), QStringLiteral("Not a valid password."));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Schemes, RoundTripTest, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTrip>& info) {
                             return std::string(info.param.name);
                         });

namespace {

// Jet 3 and Jet 4 databases that Access encrypted without a password keep
// their pages under RC4 with the database key, which libmdb undoes itself:
// such a copy of the file needs no password and reads like the file.
void expectReadableWithDatabaseKey(const QString& plainPath) {
    SCOPED_TRACE(plainPath.toStdString());
    const QByteArray plain = ReadWholeFile(plainPath);
    const QByteArray encoded = qm::test::crypto::EncodeWithDatabaseKey(plain, 0x6B1F2E3D);
    ASSERT_NE(encoded.mid(plain.at(0x14) == 0 ? 2048 : 4096), plain.mid(plain.at(0x14) == 0 ? 2048 : 4096));

    const auto found = DetectEncryption(encoded.left(qm::crypto::kDetectionBytes));
    EXPECT_EQ(found.scheme, Scheme::JetDatabaseKey);
    EXPECT_FALSE(found.needsPassword());
    SecureBuffer image = DecryptDatabase(bytesOf(encoded), QString());
    EXPECT_EQ(asBytes(image), encoded);  // left to libmdb

    MdbImage db(image.bytes());
    MdbImage original(plainPath);
    const QStringList tables = original.userTables();
    EXPECT_EQ(db.userTables(), tables);
    for (const QString& table : tables) {
        SCOPED_TRACE(table.toStdString());
        EXPECT_EQ(db.readTable(table).rows, original.readTable(table).rows);
    }
}

}  // namespace

TEST(JetDatabaseKey, NeedsNoPasswordAndLibmdbReadsItDirectly) {
    expectReadableWithDatabaseKey(fixtureFile("test-tables"));
}

TEST(JetDatabaseKey, Jet3FilesOfAccess) {
    QM_REQUIRE_CORPUS();
    for (const char* file : {"V1997_test.mdb", "northwind-jet3.mdb"})
        expectReadableWithDatabaseKey(corpusFile(QLatin1String(file)));
}
