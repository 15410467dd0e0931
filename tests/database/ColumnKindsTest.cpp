// The column kinds of Access 2007 and later, and rows Access moved: read from
// real files and compared with what Access shows (tests/e2e/access_shows.json,
// shared with the end-to-end test of the documents), and the stored forms
// that the corpus has no example of.

#include "DatabaseTestSupport.h"
#include "database/ColumnProperties.h"
#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/StoredValues.h"
#include "database/TextDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <variant>

using qm::DatabaseError;
using qm::Recordset;
using Type = qm::Value::Type;
using namespace qm::test;

namespace {

QJsonObject accessShows() {
    QFile file(QStringLiteral(QM_SOURCE_DIR "/tests/e2e/access_shows.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

TextRows rowsOf(const QJsonArray& json) {
    TextRows rows;
    for (const QJsonValue& row : json) {
        std::vector<std::string> cells;
        for (const QJsonValue& cell : row.toArray())
            cells.push_back(cell.toString().toStdString());
        rows.push_back(std::move(cells));
    }
    return rows;
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (const int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

}  // namespace

TEST(ColumnKinds, RecordsAndThePreviewShowWhatAccessShows) {
    QM_REQUIRE_CORPUS();
    const QJsonObject files = accessShows();
    ASSERT_FALSE(files.isEmpty());
    for (auto file = files.begin(); file != files.end(); ++file) {
        if (file.key().startsWith(QLatin1Char('_')))
            continue;
        auto connection = openCorpus(file.key());
        const QJsonObject tables = file.value().toObject();
        for (auto table = tables.begin(); table != tables.end(); ++table) {
            SCOPED_TRACE((file.key() + QLatin1Char(' ') + table.key()).toStdString());
            const QJsonObject shown = table.value().toObject();
            const TextRows rows = rowsOf(shown.value(QStringLiteral("rows")).toArray());
            QStringList fields;
            for (const QJsonValue& field : shown.value(QStringLiteral("fields")).toArray())
                fields.append(field.toString());

            const QueryResult read = readTable(*connection, table.key());
            EXPECT_EQ(read.fields, fields);
            EXPECT_EQ(read.rows, rows);
            EXPECT_EQ(read.recordCount, static_cast<long long>(rows.size()));

            Recordset preview;
            preview.Open(QStringLiteral("SELECT * FROM [%1];").arg(table.key()), *connection,
                         qm::adOpenStatic, qm::adLockOptimistic);
            EXPECT_EQ(asText(preview.DataSource()->rows(0, 100)), rows);
        }
    }
}

TEST(ColumnKinds, ValuesKeepTheirKindAndVersionHistoryIsNoField) {
    QM_REQUIRE_CORPUS();
    auto complex = openCorpus(QStringLiteral("complexDataTestV2007.accdb"));
    Recordset lists;
    lists.Open(QStringLiteral("SELECT `multi-value-data`, `attach-data` FROM `Table1`"), *complex,
               qm::adOpenStatic, qm::adLockOptimistic);
    lists.MoveNext();
    EXPECT_EQ(lists.value(0).type(), Type::MultiValue);
    EXPECT_EQ(lists.value(1).type(), Type::Attachment);
    // Hidden like Access hides it: refused like any field the table lacks.
    const QString history = QStringLiteral("VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880");
    Recordset refused;
    try {
        refused.Open(QStringLiteral("SELECT `%1` FROM `Table1`").arg(history), *complex, qm::adOpenStatic,
                     qm::adLockOptimistic);
        ADD_FAILURE() << "the version history opened as a field";
    } catch (const DatabaseError& error) {
        EXPECT_EQ(error.description(), qm::dbmessages::unknownField(history, QStringLiteral("Table1")));
    }

    auto dates = openCorpus(QStringLiteral("extDateTestV2019.accdb"));
    Recordset extended;
    extended.Open(QStringLiteral("SELECT `DateExt`, `DateNormalCalc` FROM `Table1`"), *dates,
                  qm::adOpenStatic, qm::adLockOptimistic);
    EXPECT_EQ(extended.value(0).type(), Type::DateTimeExtended);
    EXPECT_EQ(extended.value(1).type(), Type::DateTime);  // a calculated copy keeps the result's type
}

// Each result type Access records for a calculated column, decoded from the
// wrapped result by that type alone: the right size gives the value, any
// other size nothing (a placeholder), never the bytes read as another type.
TEST(ColumnKinds, CalculatedResultsByTheirResultType) {
    using qm::stored::CalculatedResult;
    using qm::stored::DecodeCalculatedResult;
    const auto wrapped = [](const std::vector<std::uint8_t>& result) {
        std::vector<std::uint8_t> stored(16, 0xAA);  // what Access keeps for itself
        const auto length = static_cast<std::uint32_t>(result.size());
        for (int shift = 0; shift < 32; shift += 8)
            stored.push_back(static_cast<std::uint8_t>(length >> shift));
        stored.insert(stored.end(), result.begin(), result.end());
        stored.insert(stored.end(), 3, 0);  // padding
        return stored;
    };
    const auto shown = [](int type, const std::vector<std::uint8_t>& stored) -> std::string {
        const auto result = CalculatedResult(stored);
        if (!result)
            return "placeholder";
        if (result->empty())
            return "Null";
        const auto value = DecodeCalculatedResult(type, *result, nullptr);
        return value ? value->toText() : std::string("placeholder");
    };
    const std::vector<std::uint8_t> monthly = bytes({0x55, 0xA8, 0xAB, 0x31, 0, 0, 0, 0});  // 83333.3333
    struct Case {
        int type;
        std::vector<std::uint8_t> result;
        std::string expected;
    };
    const Case cases[] = {
        {qm::kCurrency, monthly, "83333.3333"},
        {qm::kDouble, bytes({0, 0, 0, 0, 0, 0, 0x04, 0x40}), "2.5"},
        {qm::kSingle, bytes({0x59, 0x73, 0x21, 0x45}), "2583.2092"},
        {qm::kDecimal, bytes({6, 0, 4, 1, 0x40, 0xE2, 0x01, 0x00}), "-12.3456"},
        {qm::kBoolean, bytes({0xFF}), "True"},
        {qm::kBoolean, bytes({0}), "False"},
        {qm::kByte, bytes({200}), "200"},
        {qm::kInteger, bytes({0x00, 0x80}), "-32768"},
        {qm::kLong, bytes({0xFF, 0xFF, 0xFF, 0x7F}), "2147483647"},
        {qm::kLargeNumber, bytes({0, 0, 0, 0, 0, 0, 0, 0x80}), "-9223372036854775808"},
        {qm::kDateTime, bytes({0, 0, 0, 0, 0x80, 0x1D, 0xE6, 0x40}), "2024-01-01"},
        {qm::kGuid,
         bytes({0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64,
                0xFF}),
         "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
        {qm::kText, bytes({'W', 0, 'a', 0, 'y', 0, 'n', 0, 'e', 0}), "Wayne"},
        {qm::kMemo, bytes({0xFF, 0xFE, 'B', 'r', 'u', 'c', 'e'}), "Bruce"},
        {qm::kText, {}, "Null"},  // no result stored: the expression gave Null
        {qm::kBoolean, {}, "Null"},
        // A size that does not fit the type is never read as it.
        {qm::kBoolean, bytes({1, 0}), "placeholder"},
        {qm::kCurrency, bytes({1, 2, 3, 4}), "placeholder"},
        {qm::kSingle, bytes({0, 0, 0, 0, 0, 0, 0x04, 0x40}), "placeholder"},
        {qm::kDouble, bytes({0x59, 0x73, 0x21, 0x45}), "placeholder"},
        {qm::kDecimal, bytes({6, 0}), "placeholder"},
        // A result type no calculated column has, or none recorded.
        {0, bytes({1}), "placeholder"},
        {qm::kOle, bytes({1}), "placeholder"},
        {qm::kComplex, bytes({1, 0, 0, 0}), "placeholder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.result.size()) + " bytes");
        EXPECT_EQ(shown(c.type, wrapped(c.result)), c.expected);
    }
    // The wrapping itself: nothing stored is no result; too short for the
    // wrapping, or a length past the stored bytes, is no value of any type.
    EXPECT_EQ(shown(qm::kText, {}), "Null");
    EXPECT_EQ(shown(qm::kText, std::vector<std::uint8_t>(19, 0)), "placeholder");
    std::vector<std::uint8_t> pastTheEnd = wrapped(bytes({'a', 0}));
    pastTheEnd[16] = 200;
    EXPECT_EQ(shown(qm::kText, pastTheEnd), "placeholder");
}

TEST(ColumnKinds, CalculatedDecimalsInEachWidth) {
    const auto text = [](const std::vector<std::uint8_t>& result) {
        std::string out;
        return qm::stored::AppendCalculatedDecimal(out, result) ? out : std::string("refused");
    };
    // Length of what follows, scale, sign, then the magnitude's words.
    EXPECT_EQ(text(bytes({6, 0, 4, 1, 0x40, 0xE2, 0x01, 0x00})), "-12.3456");
    EXPECT_EQ(text(bytes({6, 0, 2, 0, 0x2C, 0x01, 0, 0})), "3");
    EXPECT_EQ(text(bytes({6, 0, 3, 0x80, 0, 0, 0, 0})), "0");  // no "-0"
    // 12 bytes: a 32-bit word, then a 64-bit word.
    EXPECT_EQ(text(bytes({14, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0})), "18446744073709551621");
    // 16 bytes: two 64-bit words.
    EXPECT_EQ(text(bytes({18, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})),
              "18446744073709551616");
    // No length: the magnitude runs to the end.
    EXPECT_EQ(text(bytes({0, 0, 1, 0, 25, 0, 0, 0})), "2.5");
    EXPECT_EQ(text(bytes({14, 0, 0, 0, 1, 0, 0, 0})), "refused");
    EXPECT_EQ(text(bytes({6, 0})), "refused");
}

// The column properties as Access stored them, in an ACE file and in a Jet 3
// file (whose names and texts are in its code page): a calculated column's
// result type and expression, a lookup's row source.
TEST(ColumnKinds, ColumnPropertiesAsAccessStoredThem) {
    QM_REQUIRE_CORPUS();
    struct Case {
        const char* file;
        const char* table;
        const char* column;
        const char* property;
        std::variant<std::int64_t, const char*> value;
    };
    const Case cases[] = {
        {"calculatedFields.accdb", "products", "%markup", "ResultType", std::int64_t(qm::kDouble)},
        {"calculatedFields.accdb", "products", "%markup", "Expression", "([retail]/[wholesale]-1)*100"},
        {"calculatedFields.accdb", "clcdFlds", "clcd2", "ResultType", std::int64_t(qm::kText)},
        {"calculatedFields.accdb", "clcdFlds", "clcd2", "Expression", "Left$([input],3)"},
        {"extDateTestV2019.accdb", "Table1", "DateNormalCalc", "ResultType", std::int64_t(qm::kDateTime)},
        {"northwind-jet3.mdb", "Order Details", "ProductID", "RowSource",
         "SELECT DISTINCTROW [ProductID],[ProductName] FROM Products ORDER BY [ProductName];"},
        {"northwind-jet3.mdb", "Order Details", "ProductID", "BoundColumn", std::int64_t(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.table + "." + c.column + " " + c.property);
        auto connection = openCorpus(QString::fromLatin1(c.file));
        const auto state = connection->state();
        const qm::CatalogObject* table = state->findObject(QString::fromLatin1(c.table));
        ASSERT_NE(table, nullptr);
        const bool jet3 = state->header.format == qm::jet::Format::Jet3;
        const qm::jet::CodePageDecoder codePage(state->header.codePage);
        const qm::ObjectProperties properties =
            qm::ReadObjectProperties(state, *table, jet3 ? &codePage : nullptr);
        const qm::PropertyBlock* column = properties.column(QString::fromLatin1(c.column));
        ASSERT_NE(column, nullptr);
        const qm::StoredProperty* property = column->find(QString::fromLatin1(c.property));
        ASSERT_NE(property, nullptr);
        if (const auto* number = std::get_if<std::int64_t>(&c.value))
            EXPECT_EQ(property->integer(), *number);
        else
            EXPECT_EQ(property->text(jet3 ? &codePage : nullptr),
                      QString::fromUtf8(std::get<const char*>(c.value)));
    }
}
