// The column kinds of Access 2007 and later, and rows Access moved: read from
// real files and compared with what Access shows (tests/e2e/access_shows.json,
// shared with the end-to-end test of the documents), and the stored forms
// that the corpus has no example of.

#include "DatabaseTestSupport.h"
#include "database/DatabaseMessages.h"
#include "database/StoredValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

TEST(ColumnKinds, CalculatedResultsAreUnwrapped) {
    using qm::stored::CalculatedResult;
    std::vector<std::uint8_t> stored(16, 0xAA);
    for (const std::uint8_t b : bytes({3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0}))
        stored.push_back(b);
    const auto result = CalculatedResult(stored);
    EXPECT_EQ(std::string(result.begin(), result.end()), "abc");
    stored[16] = 0;  // no result: the expression gave Null
    EXPECT_TRUE(CalculatedResult(stored).empty());
    stored[16] = 200;  // a length past the stored bytes is cut to them
    EXPECT_EQ(CalculatedResult(stored).size(), 6u);
    EXPECT_TRUE(CalculatedResult(std::span(stored).first(19)).empty());
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
