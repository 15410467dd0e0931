#include "common/TestSupport.h"
#include "database/Ado.h"
#include "database/JetHeader.h"

#include <QFile>
#include <QRandomGenerator>

using qm::DatabaseError;
using qm::jet::Format;
using qm::jet::HeaderInfo;
using qm::jet::ReadHeader;
using qm::jet::WritePassword;

namespace {

QByteArray headerOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(qm::jet::kHeaderBytes);
}

struct CorpusHeader {
    const char* file;
    Format format;
    int pageSize;
    const char* password;
    bool encrypted;
};

const CorpusHeader kCorpusHeaders[] = {
    {"V1997_test.mdb", Format::Jet3, 2048, "", false},
    {"V1997_no-password.mdb", Format::Jet3, 2048, "", false},
    {"northwind-jet3.mdb", Format::Jet3, 2048, "", false},
    {"V2000_test.mdb", Format::Jet4, 4096, "", false},
    {"V2000_empty.mdb", Format::Jet4, 4096, "", false},
    {"V2000_with-password.mdb", Format::Jet4, 4096, "password", false},
    {"V2003_with-password.mdb", Format::Jet4, 4096, "password", false},
    {"V2007_test.accdb", Format::Ace12, 4096, "", false},
    {"V2010_test.accdb", Format::Ace14, 4096, "", false},
    {"V2016_bigint.accdb", Format::Ace16, 4096, "", false},
    {"V2010_with-password.accdb", Format::Ace14, 4096, "", true},
    {"office-agile-4.4.accdb", Format::Ace14, 4096, "", true},
    {"access2007-rc4-encrypted.accdb", Format::Ace12, 4096, "", true},
};

QByteArray corpusHeader(const char* name) {
    return headerOf(qm::test::corpusFile(QString::fromLatin1(name)));
}

// A password written into the header reads back, and only the password area
// of the obscured region changes (0x42, 20 bytes in Jet 3, 40 in Jet 4).
void expectPasswordWritten(const QByteArray& original, const QString& password) {
    SCOPED_TRACE(password.toStdString());
    QByteArray page = original;
    WritePassword(page, password);
    const HeaderInfo info = ReadHeader(page);
    EXPECT_EQ(info.password, password);
    EXPECT_EQ(info.format, ReadHeader(original).format);
    EXPECT_EQ(info.databaseKey, ReadHeader(original).databaseKey);
    ASSERT_EQ(page.size(), original.size());
    const int passwordEnd = info.format == Format::Jet3 ? 0x42 + 20 : 0x42 + 40;
    for (int i = 0; i < page.size(); ++i) {
        if (i >= 0x42 && i < passwordEnd)
            continue;
        ASSERT_EQ(page[i], original[i]) << "byte " << i;
    }
}

// A password the format cannot hold is refused and changes nothing.
void expectPasswordRefused(const QByteArray& original, const QString& password) {
    QByteArray page = original;
    EXPECT_THROW(WritePassword(page, password), DatabaseError) << password.toStdString();
    EXPECT_EQ(page, original);
}

}  // namespace

TEST(JetHeader, WrittenPasswordsReadBackAndTouchOnlyThePasswordArea) {
    const QByteArray open = headerOf(qm::test::fixtureFile("test-tables"));
    for (const QString& password : {QStringLiteral("secret"), QStringLiteral("abcdefghijklmnopqrst"),
                                    QStringLiteral("pässwörd€漢"), QStringLiteral("; =\"'")})
        expectPasswordWritten(open, password);
    expectPasswordWritten(headerOf(qm::test::fixtureFile("password")), QString());
}

TEST(JetHeader, PasswordsTheFormatCannotHoldAreRefused) {
    const QByteArray open = headerOf(qm::test::fixtureFile("test-tables"));
    expectPasswordRefused(open, QStringLiteral("abcdefghijklmnopqrstu"));  // 21 characters
    expectPasswordRefused(open, QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
}

// What only files made by Access show: the headers of Jet 3 and of ACE, the
// bytes Access itself stored for a password, and Jet 3's passwords.
TEST(JetHeader, FilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    for (const CorpusHeader& expected : kCorpusHeaders) {
        SCOPED_TRACE(expected.file);
        const HeaderInfo info = ReadHeader(corpusHeader(expected.file));
        EXPECT_EQ(info.format, expected.format);
        EXPECT_EQ(info.pageSize, expected.pageSize);
        EXPECT_EQ(info.password, QString::fromLatin1(expected.password));
        EXPECT_EQ(info.encrypted, expected.encrypted);
        EXPECT_EQ(info.codePage, 1252);
    }
    // The exact inverse of the reader: storing what a file holds must give
    // Access's own bytes back, mask and obscuring included.
    const std::pair<const char*, const char*> stored[] = {{"V2000_with-password.mdb", "password"},
                                                          {"V2003_with-password.mdb", "password"},
                                                          {"V2000_test.mdb", ""},
                                                          {"V1997_test.mdb", ""},
                                                          {"northwind-jet3.mdb", ""}};
    for (const auto& [file, password] : stored) {
        SCOPED_TRACE(file);
        QByteArray page = corpusHeader(file);
        WritePassword(page, QString::fromLatin1(password));
        EXPECT_EQ(page, corpusHeader(file));
    }
    const QByteArray jet3 = corpusHeader("V1997_test.mdb");
    for (const QString& password :
         {QStringLiteral("secret"), QStringLiteral("abcdefghijklmnopqrst"), QStringLiteral("pässwörd€")})
        expectPasswordWritten(jet3, password);
    expectPasswordRefused(jet3, QStringLiteral("abcdefghijklmnopqrstu"));  // 21 bytes
    expectPasswordRefused(jet3, QStringLiteral("漢字"));                   // not in code page 1252
    expectPasswordRefused(corpusHeader("V2010_test.accdb"), QStringLiteral("password"));  // ACE keeps none
}

TEST(JetHeader, AnythingButAnAccessHeaderIsUnrecognized) {
    const QByteArray valid = headerOf(qm::test::fixtureFile("test-tables"));
    ASSERT_EQ(ReadHeader(valid).format, Format::Jet4);

    QByteArray randomBytes(4096, '\0');
    for (char& c : randomBytes)
        c = static_cast<char>(QRandomGenerator::global()->bounded(256));
    randomBytes[0] = 1;  // never a definition page by chance

    auto withByte = [&](int offset, char value) {
        QByteArray page = valid;
        page[offset] = value;
        return page;
    };
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("hello, this is not a database\n")},
        {"random", randomBytes},
        {"truncated in the obscured region", valid.left(0x60)},
        {"page type", withByte(0, 0x01)},
        {"signature", withByte(4, 'X')},
        {"unknown version", withByte(0x14, 0x07)},
        {"ACE version with the Jet signature", withByte(0x14, 0x02)},
        {"Jet version with the ACE signature",
         [&] {
             QByteArray page = valid;
             page.replace(4, 16, QByteArray("Standard ACE DB\0", 16));
             page[0x14] = 0x01;
             return page;
         }()},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        try {
            ReadHeader(bytes);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.description(), QStringLiteral("Unrecognized database format."));
        }
    }
}
