// Decryption of the encrypted databases in the shared corpus, made by Access
// itself, read back through libmdb.

#include "MdbImage.h"
#include "TestEncryptor.h"
#include "common/Files.h"
#include "common/TestSupport.h"
#include "database/crypto/AccessCrypto.h"
#include "database/crypto/PageDecryptor.h"
#include "shell/Failure.h"

#include <QFile>

using qm::Failure;
using qm::crypto::DecryptDatabase;
using qm::crypto::DetectEncryption;
using qm::crypto::Scheme;
using qm::crypto::SecureBuffer;
using qm::test::corpusFile;
using qm::test::crypto::MdbImage;
using qm::test::crypto::ReadWholeFile;
using qm::test::crypto::TableRows;

namespace {

constexpr const char* kAgileFiles[] = {"V2010_with-password.accdb", "office-agile-4.4.accdb"};
constexpr const char* kRc4File = "access2007-rc4-encrypted.accdb";

SecureBuffer bytesOf(const QByteArray& file) {
    return SecureBuffer::copyOf(
        {reinterpret_cast<const unsigned char*>(file.constData()), static_cast<std::size_t>(file.size())});
}

// The description of the Failure that call throws; "" when it throws none.
template <typename Call>
QString failureOf(Call call, long* number = nullptr) {
    try {
        call();
    } catch (const Failure& failure) {
        if (number)
            *number = failure.number();
        return failure.description();
    }
    return QString();
}

}  // namespace

TEST(DetectEncryption, TellsEveryCorpusFile) {
    QM_REQUIRE_CORPUS();
    const struct {
        const char* file;
        Scheme scheme;
        const char* method;  // a part of the method description
    } cases[] = {
        {"V1997_test.mdb", Scheme::None, "no encryption"},
        {"northwind-jet3.mdb", Scheme::None, "no encryption"},
        {"V2000_test.mdb", Scheme::None, "no encryption"},
        {"V2000_with-password.mdb", Scheme::None, "no encryption"},  // a Jet 4 password encrypts nothing
        {"V2003_with-password.mdb", Scheme::None, "no encryption"},
        {"V2007_test.accdb", Scheme::None, "no encryption"},
        {"V2010_test.accdb", Scheme::None, "no encryption"},
        {"V2016_empty.accdb", Scheme::None, "no encryption"},
        {"V2010_with-password.accdb", Scheme::Agile, "agile encryption (AES-256, SHA512)"},
        {"office-agile-4.4.accdb", Scheme::Agile, "agile encryption (AES-256, SHA512)"},
        {kRc4File, Scheme::Rc4CryptoApi,
         "RC4 CryptoAPI encryption (40-bit, Microsoft Base Cryptographic Provider"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray start =
            ReadWholeFile(corpusFile(QLatin1String(c.file))).left(qm::crypto::kDetectionBytes);
        ASSERT_FALSE(start.isEmpty());
        const auto found = DetectEncryption(start);
        EXPECT_EQ(found.scheme, c.scheme);
        EXPECT_TRUE(found.method.contains(QLatin1String(c.method))) << found.method.toStdString();
        EXPECT_EQ(found.needsPassword(), c.scheme != Scheme::None);
    }
}

TEST(DecryptDatabase, OpensTheEncryptedFilesOfAccessWithTheirPasswordOnly) {
    QM_REQUIRE_CORPUS();
    // The same three rows were saved by Access in a Jet 4 file with a
    // password, which libmdb reads directly: an independent expectation.
    MdbImage jet(corpusFile(QStringLiteral("V2000_with-password.mdb")));
    const TableRows expected = jet.readTable(QStringLiteral("Table1"));
    ASSERT_EQ(expected.rows.size(), 3u);

    for (const char* file : kAgileFiles) {
        SCOPED_TRACE(file);
        SecureBuffer image = DecryptDatabase(corpusFile(QLatin1String(file)), QStringLiteral("password"));
        MdbImage db(image.bytes());
        EXPECT_EQ(db.userTables(), QStringList{QStringLiteral("Table1")});
        const TableRows rows = db.readTable(QStringLiteral("Table1"));
        EXPECT_EQ(rows.columns, expected.columns);
        EXPECT_EQ(rows.rows, expected.rows);
    }

    // RC4 CryptoAPI as Access 2007 writes it.
    SecureBuffer image = DecryptDatabase(corpusFile(QLatin1String(kRc4File)), QStringLiteral("Test123"));
    MdbImage db(image.bytes());
    EXPECT_EQ(db.userTables(), QStringList{QStringLiteral("Table1")});
    const TableRows rows = db.readTable(QStringLiteral("Table1"));
    EXPECT_EQ(rows.columns, (QStringList{QStringLiteral("ID"), QStringLiteral("Field1")}));
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0], (QStringList{QStringLiteral("1"), QStringLiteral("foo")}));

    // Every wrong password is refused with the provider's message.
    const struct {
        const char* file;
        const char* right;
    } files[] = {{kAgileFiles[0], "password"}, {kRc4File, "Test123"}};
    const QString wrong[] = {QString(),
                             QStringLiteral(" "),
                             QStringLiteral("Password"),
                             QStringLiteral("password "),
                             QStringLiteral("passwor"),
                             QStringLiteral("Test1234"),
                             QStringLiteral("test123"),
                             QString::fromUtf8("pässword")};
    for (const auto& f : files) {
        const QString path = corpusFile(QLatin1String(f.file));
        const QByteArray bytes = ReadWholeFile(path);
        for (const QString& password : wrong) {
            if (password == QLatin1String(f.right))
                continue;
            SCOPED_TRACE(std::string(f.file) + " with '" + password.toStdString() + "'");
            long number = 0;
            EXPECT_EQ(failureOf([&] { DecryptDatabase(path, password); }, &number),
                      QStringLiteral("Not a valid password."));
            EXPECT_EQ(number, qm::crypto::kNotAValidPasswordNumber);
            EXPECT_EQ(failureOf([&] { DecryptDatabase(bytesOf(bytes), password); }),
                      QStringLiteral("Not a valid password."));
        }
    }
}

TEST(DecryptDatabase, LeavesAnImageThatDeclaresItselfPlain) {
    QM_REQUIRE_CORPUS();
    for (const auto& [file, password] :
         {std::pair{kAgileFiles[0], "password"}, std::pair{kRc4File, "Test123"}}) {
        SCOPED_TRACE(file);
        const QString path = corpusFile(QLatin1String(file));
        const QByteArray encrypted = ReadWholeFile(path);
        SecureBuffer fromFile = DecryptDatabase(path, QLatin1String(password));
        SecureBuffer fromBytes = DecryptDatabase(bytesOf(encrypted), QLatin1String(password));
        ASSERT_EQ(fromFile.size(), static_cast<std::size_t>(encrypted.size()));
        EXPECT_TRUE(std::equal(fromFile.bytes().begin(), fromFile.bytes().end(), fromBytes.bytes().begin()))
            << "reading the file and decrypting bytes disagree";

        EXPECT_EQ(DetectEncryption(fromFile.bytes()).scheme, Scheme::None);
        // The header page keeps everything but the encryption: the format and the rest of the page.
        const QByteArray decrypted(reinterpret_cast<const char*>(fromFile.data()),
                                   static_cast<qsizetype>(fromFile.size()));
        EXPECT_EQ(decrypted.left(0x3E), encrypted.left(0x3E));
        EXPECT_EQ(decrypted.mid(0x42, 0x299 - 0x42), encrypted.mid(0x42, 0x299 - 0x42));
        const int length =
            static_cast<unsigned char>(encrypted[0x299]) | static_cast<unsigned char>(encrypted[0x29A]) << 8;
        EXPECT_EQ(decrypted.mid(0x299, 2 + length),
                  QByteArray(2 + length, '\0'));  // the encryption structure is gone
        const int rest = 0x29B + length;
        EXPECT_EQ(decrypted.mid(rest, 0x1000 - rest), encrypted.mid(rest, 0x1000 - rest));
        // Handing a plain image in again changes nothing.
        const QByteArray before(reinterpret_cast<const char*>(fromFile.data()),
                                static_cast<qsizetype>(fromFile.size()));
        SecureBuffer again = DecryptDatabase(std::move(fromFile), QStringLiteral("anything"));
        EXPECT_EQ(
            QByteArray(reinterpret_cast<const char*>(again.data()), static_cast<qsizetype>(again.size())),
            before);
    }
}
