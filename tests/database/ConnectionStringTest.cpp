#include "database/Ado.h"
#include "database/ConnectionString.h"

#include <gtest/gtest.h>

using qm::BuildConnectionString;
using qm::DatabaseError;
using qm::ParseConnectionString;

namespace {

const QString kAce = QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=");
const QString kJet = QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=");
const QString kPassword = QStringLiteral(";JET OLEDB:Database Password=");

}  // namespace

TEST(ConnectionString, ProviderFollowsTheLastFiveCharactersOfThePath) {
    struct Case {
        const char* path;
        bool ace;
    };
    const Case cases[] = {
        {"/data/x.accdb", true},   {"/data/x.ACCDB", true},
        {"/data/x.AcCdB", true},   {"/data/xaccdb", true},
        {"accdb", true},           {"/data/x.mdb", false},
        {"/data/x.accdb ", false}, {"/data/x.accde", false},
        {"ccdb", false},           {"", false},
        {"/data/x.accdb/", false}, {"/data/ACCDB.mdb", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(BuildConnectionString(path, QStringLiteral("pw")),
                  (c.ace ? kAce : kJet) + path + kPassword + QStringLiteral("pw"));
    }
}

TEST(ConnectionString, PlainValuesAreInsertedVerbatim) {
    // Blanks, '=' and inner quotes cut nothing, so they stay as typed.
    const QString path = QStringLiteral("/home/ann/My Data/a=b \"q\" 'r'.mdb");
    const QString password = QStringLiteral("p=w \"x\"");
    EXPECT_EQ(BuildConnectionString(path, password), kJet + path + kPassword + password);
    EXPECT_EQ(BuildConnectionString(QString(), QString()), kJet + kPassword);
    EXPECT_TRUE(BuildConnectionString(QStringLiteral("/x.mdb"), QString()).endsWith(kPassword));
}

TEST(ConnectionString, ValuesThatWouldCutTheStringAreQuoted) {
    EXPECT_EQ(BuildConnectionString(QStringLiteral("/a;b.mdb"), QStringLiteral("p;w")),
              kJet + QStringLiteral("\"/a;b.mdb\"") + kPassword + QStringLiteral("\"p;w\""));
    EXPECT_EQ(BuildConnectionString(QStringLiteral("/a.mdb"), QStringLiteral("\"quoted\"")),
              kJet + QStringLiteral("/a.mdb") + kPassword + QStringLiteral("\"\"\"quoted\"\"\""));
    EXPECT_EQ(BuildConnectionString(QStringLiteral("/a.mdb"), QStringLiteral("'single")),
              kJet + QStringLiteral("/a.mdb") + kPassword + QStringLiteral("\"'single\""));
}

TEST(ConnectionString, PathAndPasswordRoundTripWhateverTheyHold) {
    const QString values[] = {
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("with;semicolon"),
        QStringLiteral(";leading and trailing;"),
        QStringLiteral("a=b==c"),
        QStringLiteral("\"starts with a quote"),
        QStringLiteral("ends with a quote\""),
        QStringLiteral("'single'"),
        QStringLiteral("mix \"of\" ;all= 'the' \"\" ;; things"),
        QStringLiteral(" leading and trailing blanks "),
        QStringLiteral("Umsätze €漢字"),
        QStringLiteral("JET OLEDB:Database Password=fake"),
    };
    for (const QString& path : values) {
        for (const QString& password : values) {
            SCOPED_TRACE((path + QStringLiteral(" | ") + password).toStdString());
            for (const QString& suffix : {QStringLiteral(""), QStringLiteral(".accdb")}) {
                const QString fullPath = path + suffix;
                const qm::ConnectionProperties parsed =
                    ParseConnectionString(BuildConnectionString(fullPath, password));
                EXPECT_EQ(parsed.dataSource, fullPath);
                EXPECT_EQ(parsed.password, password);
                EXPECT_EQ(parsed.isAce(), suffix == QStringLiteral(".accdb"));
            }
        }
    }
}

TEST(ConnectionString, LocationIsReadAtTheMomentOfTheCall) {
    class ChangingLocation : public qm::DatabaseLocation {
      public:
        QString databasePath() const override { return path; }
        QString databasePassword() const override { return password; }
        QString path = QStringLiteral("/first.mdb");
        QString password = QStringLiteral("one");
    } location;
    EXPECT_EQ(BuildConnectionString(location),
              kJet + QStringLiteral("/first.mdb") + kPassword + QStringLiteral("one"));
    location.path = QStringLiteral("/second.accdb");
    location.password = QStringLiteral("two");
    EXPECT_EQ(BuildConnectionString(location),
              kAce + QStringLiteral("/second.accdb") + kPassword + QStringLiteral("two"));
}

TEST(ConnectionString, ParserReadsOtherSpellingsOfTheSameClauses) {
    const auto parsed = ParseConnectionString(QStringLiteral(
        " provider = microsoft.ace.oledb.12.0 ;DATA SOURCE='/x;y.accdb';Persist Security Info=False;"
        "jet oledb:database password=\"a\"\"b\""));
    EXPECT_TRUE(parsed.isAce());
    EXPECT_EQ(parsed.dataSource, QStringLiteral("/x;y.accdb"));
    EXPECT_EQ(parsed.password, QStringLiteral("a\"b"));
}

TEST(ConnectionString, MalformedStringsAndUnknownProvidersAreRefused) {
    const std::pair<const char*, QString> cases[] = {
        {"no equals sign", QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source")},
        {"empty keyword", QStringLiteral("=x;PROVIDER=Microsoft.Jet.OLEDB.4.0")},
        {"unterminated quote", QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"/x.mdb")},
        {"text after a quoted value",
         QStringLiteral("PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"/x\"y;")},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        try {
            ParseConnectionString(text);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.description(), QStringLiteral("Format of the initialization string is not valid: "
                                                          "each setting must read keyword=value."));
        }
    }
    for (const QString& text : {QStringLiteral("Data Source=/x.mdb"),
                                QStringLiteral("Provider=SQLOLEDB;Data Source=x"), QString()}) {
        SCOPED_TRACE(text.toStdString());
        try {
            ParseConnectionString(text);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.description(),
                      QStringLiteral("Provider cannot be found. It may not be properly installed."));
        }
    }
}
