// The writer's own rules: refused schemas and values, text encoding, value
// texts, passwords in the header, failing devices and reproducible output.

#include "CrossCheck.h"
#include "Readers.h"
#include "database/Ado.h"
#include "database/ConnectionString.h"
#include "database/JetHeader.h"
#include "jetwriter/Description.h"
#include "jetwriter/Values.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <climits>
#include <set>

using namespace qm::jetwriter;

namespace {

Table simpleTable(const QString& name = QStringLiteral("T")) {
    return {name,
            {{QStringLiteral("Id"), ColumnType::Long, 0, false},
             {QStringLiteral("Name"), ColumnType::Text, 5, true},
             {QStringLiteral("Flag"), ColumnType::Boolean, 0, false},
             {QStringLiteral("Amount"), ColumnType::Currency, 0, true},
             {QStringLiteral("Small"), ColumnType::Byte, 0, true}}};
}

// The message of the WriteError the call throws, or "" when it throws none.
template <typename Call>
QString failureOf(Call call) {
    try {
        call();
    } catch (const WriteError& e) {
        return e.description();
    }
    return {};
}

TEST(JetWriterRules, RefusesSchemasAccessCannotHold) {
    const QString tooLong(kMaxNameLength + 1, QLatin1Char('n'));
    std::vector<Column> tooMany(kMaxColumns + 1);
    for (std::size_t i = 0; i < tooMany.size(); ++i)
        tooMany[i] = {QStringLiteral("c%1").arg(i), ColumnType::Byte, 0, true};
    struct Case {
        const char* what;
        Table table;
        const char* expected;
    };
    const Case cases[] = {
        {"empty table name", {QString(), {{QStringLiteral("a")}}}, "must not be empty"},
        {"long table name", {tooLong, {{QStringLiteral("a")}}}, "longer than 64"},
        {"leading blank", {QStringLiteral(" T"), {{QStringLiteral("a")}}}, "starts with a blank"},
        {"control character", {QStringLiteral("T\nx"), {{QStringLiteral("a")}}}, "control character"},
        {"no columns", {QStringLiteral("T"), {}}, "has no columns"},
        {"too many columns", {QStringLiteral("T"), tooMany}, "at most 255"},
        {"same column twice",
         {QStringLiteral("T"), {{QStringLiteral("Ä")}, {QStringLiteral("ä")}}},
         "two columns"},
        {"text size 0",
         {QStringLiteral("T"), {{QStringLiteral("a"), ColumnType::Text, 0}}},
         "size must be 1 to 255"},
        {"text size 256", {QStringLiteral("T"), {{QStringLiteral("a"), ColumnType::Text, 256}}}, "not 256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QBuffer device;
        device.open(QIODevice::ReadWrite);
        Writer writer(device);
        EXPECT_TRUE(failureOf([&] { writer.beginTable(c.table); }).contains(QLatin1String(c.expected)))
            << failureOf([&] { writer.beginTable(c.table); }).toStdString();
    }
}

TEST(JetWriterRules, RefusesDuplicateTablesIgnoringCase) {
    QBuffer device;
    device.open(QIODevice::ReadWrite);
    Writer writer(device);
    writer.beginTable(simpleTable(QStringLiteral("Orders")));
    writer.endTable();
    EXPECT_TRUE(failureOf([&] {
                    writer.beginTable(simpleTable(QStringLiteral("ORDERS")));
                }).contains(QLatin1String("already a table")));
    EXPECT_TRUE(failureOf([&] {
                    writer.beginTable(simpleTable(QStringLiteral("msysobjects")));
                }).contains(QLatin1String("already a table")));
}

TEST(JetWriterRules, RefusedValuesNameTableColumnAndRowAndLeaveTheTableUsable) {
    struct Case {
        const char* what;
        std::vector<Cell> row;
        const char* expected;
        RowLayout layout = {};
    };
    const QString six = QStringLiteral("sixsix");
    const Case cases[] = {
        {"Null in a required column",
         {std::monostate{}, QString(), true, Currency{}, std::int64_t(1)},
         "column \"Id\", row 2: the column does not accept Null"},
        {"Null in Yes/No",
         {std::int64_t(1), QString(), std::monostate{}, Currency{}, std::int64_t(1)},
         "column \"Flag\", row 2: a Yes/No column cannot hold Null"},
        {"text too long",
         {std::int64_t(1), six, true, Currency{}, std::int64_t(1)},
         "column \"Name\", row 2: the text has 6 characters; the column holds at most 5"},
        {"Long out of range",
         {std::int64_t(INT_MAX) + 1, QString(), true, Currency{}, std::int64_t(1)},
         "column \"Id\", row 2: 2147483648 is outside the Long range"},
        {"Byte below 0",
         {std::int64_t(1), QString(), true, Currency{}, std::int64_t(-1)},
         "column \"Small\", row 2: -1 is outside the Byte range"},
        {"fraction in a whole column",
         {1.5, QString(), true, Currency{}, std::int64_t(1)},
         "column \"Id\", row 2: 1.5 is not a whole number"},
        {"Currency overflow",
         {std::int64_t(1), QString(), true, std::int64_t(LLONG_MAX), std::int64_t(1)},
         "column \"Amount\", row 2"},
        {"wrong kind",
         {std::int64_t(1), std::int64_t(5), true, Currency{}, std::int64_t(1)},
         "column \"Name\", row 2: a Text column cannot take a whole number"},
        {"a short row checks the columns it holds",
         {std::monostate{}, six, true, Currency{}, std::int64_t(1)},
         "column \"Id\", row 2: the column does not accept Null",
         {1, true}},
        {"more columns than the table",
         {std::int64_t(1), QString(), true, Currency{}, std::int64_t(1)},
         "row 2: a row cannot hold 6 of the table's 5 columns",
         {6, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QBuffer device;
        device.open(QIODevice::ReadWrite);
        Writer writer(device);
        writer.beginTable(simpleTable());
        writer.addRow(
            std::vector<Cell>{std::int64_t(1), QStringLiteral("ok"), false, Currency{1}, std::int64_t(2)});
        const QString message = failureOf([&] { writer.addRow(c.row, c.layout); });
        EXPECT_TRUE(message.startsWith(QLatin1String("Table \"T\", "))) << message.toStdString();
        EXPECT_TRUE(message.contains(QLatin1String(c.expected))) << message.toStdString();
        // The refused row is not counted: the next one is row 2 again.
        writer.addRow(
            std::vector<Cell>{std::int64_t(2), QStringLiteral("ok"), true, Currency{}, std::int64_t(3)});
        EXPECT_TRUE(failureOf([&] { writer.addRow(c.row, c.layout); }).contains(QLatin1String("row 3")));
    }
}

TEST(JetWriterRules, RefusesRowsLongerThanAPage) {
    QBuffer device;
    device.open(QIODevice::ReadWrite);
    Writer writer(device);
    Table wide{QStringLiteral("Wide"), {}};
    for (int i = 0; i < 10; ++i)
        wide.columns.push_back({QStringLiteral("c%1").arg(i), ColumnType::Text, 255, true});
    writer.beginTable(wide);
    // Characters beyond U+00FF take two bytes each: 10 * 510 bytes do not fit.
    std::vector<Cell> row(10, QString(255, QChar(u'Ж')));
    const QString message = failureOf([&] { writer.addRow(row); });
    EXPECT_TRUE(message.contains(QLatin1String("Table \"Wide\", row 1: the row takes")))
        << message.toStdString();
    // The same texts compress to one byte a character and fit.
    std::vector<Cell> compressible(10, QString(255, QChar(u'é')));
    EXPECT_EQ(failureOf([&] { writer.addRow(compressible); }), QString());
}

// Shares of moved and short rows: about that share of the rows, short rows
// holding 1 to all but one column, the same rows every time, other rows in
// another copy of a repeated table.
TEST(JetWriterDescription, LayoutSharesPickRowsFromTheSeed) {
    const Description d = ParseDescription(R"({"tables": [{"name": "T{n}", "repeat": 2,
        "columns": [{"name": "A", "type": "long"}, {"name": "B", "type": "text"}, {"name": "C", "type": "memo"}],
        "generate": {"count": 10000}, "layout": {"moved": 0.25, "short": 0.1, "seed": 3}}]})");
    const LayoutSpec& asked = d.tables[0].layout;
    int moved = 0, shortRows = 0, sameInCopy2 = 0;
    std::set<int> held;
    for (std::int64_t row = 1; row <= 10000; ++row) {
        const RowLayout layout = asked.of(row, 1, 3);
        moved += layout.moved;
        if (layout.columns != 0) {
            ++shortRows;
            held.insert(layout.columns);
        }
        const RowLayout again = asked.of(row, 1, 3), copy2 = asked.of(row, 2, 3);
        EXPECT_TRUE(again.moved == layout.moved && again.columns == layout.columns);
        sameInCopy2 += copy2.moved == layout.moved && copy2.columns == layout.columns;
    }
    EXPECT_NEAR(moved, 2500, 250);
    EXPECT_NEAR(shortRows, 1000, 150);
    EXPECT_EQ(held, (std::set<int>{1, 2}));
    EXPECT_LT(sameInCopy2, 9000);
}

TEST(JetWriterText, EncodesAsJet4DoesAndRefusesTheAmbiguousCase) {
    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        const char16_t* text;
        bool compress;
        Bytes expected;
    };
    const Case cases[] = {
        {u"", true, {}},
        {u"a", true, {'a', 0}},                          // compression would be longer
        {u"abc", true, {0xFF, 0xFE, 'a', 'b', 'c'}},     // one byte a character
        {u"abc", false, {'a', 0, 'b', 0, 'c', 0}},       // not allowed: UTF-16LE
        {u"éß", true, {0xE9, 0, 0xDF, 0}},               // no shorter compressed: kept as it is
        {u"éßü", true, {0xFF, 0xFE, 0xE9, 0xDF, 0xFC}},  // Latin-1 letters compress too
        {u"abcЖdef", true, {0xFF, 0xFE, 'a', 'b', 'c', 0, 0x16, 0x04, 0, 'd', 'e', 'f'}},  // mode switches
        {u"aĀb", true, {'a', 0, 0x00, 0x01, 'b', 0}},  // U+0100's zero low byte forbids compression
        {u"ЖЖЖ", true, {0x16, 0x04, 0x16, 0x04, 0x16, 0x04}},
        {u"\uFEFFab", true, {0xFF, 0xFE, 0, 0xFF, 0xFE, 0, 'a', 'b'}},  // must not read as the mark
        {u"\uFEFF", false, {0xFF, 0xFE, 0, 0xFF, 0xFE}},
    };
    for (const Case& c : cases) {
        const QString text = QStringView(c.text).toString();  // keeps a leading U+FEFF
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(EncodeText(text, c.compress), c.expected);
    }
    EXPECT_THROW(EncodeText(QStringView(u"\uFEFFĀ").toString(), true), WriteError);
}

TEST(JetWriterValues, ParsesAndFormatsTheTextForms) {
    struct DateCase {
        const char* text;
        std::optional<double> days;
    };
    const DateCase dates[] = {
        {"1899-12-30", 0.0},
        {"1899-12-31 06:00", 1.25},
        {"1899-12-29 06:00:00", -1.25},
        {"1900-03-01", 61.0},
        {"1999-12-31 23:59:59", 36525.0 + 86399.0 / 86400.0},
        {"100-01-01", -657434.0},
        {"9999-12-31", 2958465.0},
        {"12:00", 0.5},
        {"2000-02-30", std::nullopt},
        {"1900-02-29", std::nullopt},
        {"99-01-01", std::nullopt},
        {"2000-01-01 24:00", std::nullopt},
        {"yesterday", std::nullopt},
        {"2004-02-29T08:00", 38046.0 + 1.0 / 3.0},
    };
    for (const auto& c : dates) {
        SCOPED_TRACE(c.text);
        const auto parsed = ParseDateTime(QString::fromLatin1(c.text));
        ASSERT_EQ(parsed.has_value(), c.days.has_value());
        if (c.days) {
            EXPECT_DOUBLE_EQ(parsed->days, *c.days);
        }
    }
    EXPECT_EQ(FormatDateTime(DateTime{-1.25}), QStringLiteral("1899-12-29 06:00:00"));
    EXPECT_EQ(FormatDateTime(*ParseDateTime(u"9999-12-31 23:59:59")), QStringLiteral("9999-12-31 23:59:59"));
    EXPECT_EQ(FormatDateTime(*ParseDateTime(u"1600-02-29 00:00:01")), QStringLiteral("1600-02-29 00:00:01"));

    struct CurrencyCase {
        const char* text;
        std::optional<std::int64_t> value;
    };
    const CurrencyCase amounts[] = {
        {"12.3456", 123456},
        {"-0.5", -5000},
        {"7", 70000},
        {"+1.", 10000},
        {"922337203685477.5807", LLONG_MAX},
        {"-922337203685477.5808", LLONG_MIN},
        {"922337203685477.5808", std::nullopt},
        {"1.23456", std::nullopt},
        {"1,5", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : amounts) {
        SCOPED_TRACE(c.text);
        const auto parsed = ParseCurrency(QString::fromLatin1(c.text));
        ASSERT_EQ(parsed.has_value(), c.value.has_value());
        if (c.value) {
            EXPECT_EQ(parsed->tenThousandths, *c.value);
        }
    }
    EXPECT_EQ(FormatCurrency(Currency{LLONG_MIN}), QStringLiteral("-922337203685477.5808"));
    EXPECT_EQ(FormatCurrency(Currency{-5}), QStringLiteral("-0.0005"));

    const auto guid = ParseGuid(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->bytes[0], 0xFF);  // first group little-endian
    EXPECT_EQ(guid->bytes[8], 0xB4);  // last groups as written
    EXPECT_EQ(FormatGuid(*guid), QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    EXPECT_EQ(ParseGuid(u"6f9619ff-8b86-d011-b42d-00c04fc964ff"), guid);
    EXPECT_FALSE(ParseGuid(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_FALSE(ParseGuid(u"6F9619FF8B86D011B42D00C04FC964FF"));
}

// Passwords of every length with blanks, punctuation and letters beyond ASCII:
// our header reader and mdb-reader find what was written.
TEST(JetWriterPassword, IsStoredAsJet4StoresIt) {
    QTemporaryDir dir;
    const QString base = QString::fromUtf8("p \"a;s'w=o{r}d\\ éü東");
    for (int length = 0; length <= kMaxPasswordLength; ++length) {
        const QString password = base.repeated(2).left(length);
        SCOPED_TRACE(password.toStdString());
        const QString path = dir.filePath(QStringLiteral("pw%1.mdb").arg(length));
        qm::test::WriteTables(path, {{simpleTable(), {}}}, password);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const auto header = qm::jet::ReadHeader(file.read(qm::jet::kHeaderBytes));
        EXPECT_EQ(header.format, qm::jet::Format::Jet4);
        EXPECT_EQ(header.password, password);
        EXPECT_EQ(header.databaseKey, 0u);
        const auto dump = length % 5 == 0 || length == kMaxPasswordLength
                              ? qm::test::NodeDump(path, {QStringLiteral("--names-only")})
                              : std::nullopt;
        if (dump) {
            const QJsonValue read = dump->value(QLatin1String("password"));
            if (password.isEmpty()) {
                EXPECT_TRUE(read.isNull());
            } else {
                EXPECT_EQ(read.toString(), password);
            }
        }
    }
    QBuffer device;
    device.open(QIODevice::ReadWrite);
    Options tooLong;
    tooLong.password = QString(kMaxPasswordLength + 1, QLatin1Char('x'));
    EXPECT_THROW(Writer(device, tooLong), WriteError);
}

TEST(JetWriterPassword, DatabaseLayerOpensWithTheRightPasswordOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locked.mdb"));
    const QString password = QStringLiteral("se cr;et");
    qm::test::WrittenTable t{simpleTable(),
                             {{std::int64_t(1), QStringLiteral("a"), true, Currency{5}, std::int64_t(9)}}};
    qm::test::WriteTables(path, {t}, password);
    qm::test::CheckWithDatabaseLayer(path, {t}, password);
    qm::test::CheckWithLibmdb(path, {t});
    for (const QString& wrong : {QString(), QStringLiteral("se cr;e"), QStringLiteral("SE CR;ET")}) {
        qm::Connection connection;
        EXPECT_THROW(connection.Open(qm::BuildConnectionString(path, wrong)), qm::DatabaseError)
            << wrong.toStdString();
    }
}

// A device that takes a given number of bytes and then fails.
class FailingDevice : public QBuffer {
  public:
    explicit FailingDevice(qint64 limit) : limit_(limit) {}

  protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (written_ + length > limit_) {
            setErrorString(QStringLiteral("disk full"));
            return -1;
        }
        written_ += length;
        return QBuffer::writeData(data, length);
    }

  private:
    qint64 limit_;
    qint64 written_ = 0;
};

TEST(JetWriterDevice, AFailingDeviceRaisesWriteError) {
    for (const qint64 limit : {qint64(0), qint64(kPageSize), qint64(10 * kPageSize)}) {
        FailingDevice device(limit);
        device.open(QIODevice::ReadWrite);
        const QString message = failureOf([&] {
            Writer writer(device);
            writer.beginTable(simpleTable());
            for (int r = 0; r < 2000; ++r)
                writer.addRow(std::vector<Cell>{std::int64_t(r), QStringLiteral("row"), true, Currency{},
                                                std::monostate{}});
            writer.finish();
        });
        EXPECT_TRUE(message.contains(QLatin1String("disk full"))) << limit << ": " << message.toStdString();
    }
}

TEST(JetWriterDevice, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.mdb"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    EXPECT_THROW(WriteFile(path, {},
                           [](Writer& writer) {
                               writer.beginTable(simpleTable());
                               writer.addRow(std::vector<Cell>{std::monostate{}, QString(), true, Currency{},
                                                               std::monostate{}});
                           }),
                 WriteError);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.mdb")});
}

TEST(JetWriterOutput, SameInputGivesTheSameBytes) {
    QTemporaryDir dir;
    QByteArray first;
    for (int run = 0; run < 2; ++run) {
        const QString path = dir.filePath(QStringLiteral("run%1.mdb").arg(run));
        std::vector<qm::test::WrittenTable> tables{{simpleTable(), {}}};
        for (int r = 0; r < 500; ++r)
            tables[0].rows.push_back({std::int64_t(r), QStringLiteral("n%1").arg(r % 7), r % 2 == 0,
                                      Currency{r}, std::monostate{}});
        qm::test::WriteTables(path, tables, QStringLiteral("pw"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(bytes.size() % kPageSize, 0);
        if (run == 0) {
            first = bytes;
        } else {
            EXPECT_TRUE(bytes == first);
        }
    }
}

}  // namespace
