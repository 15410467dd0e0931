// Databases written by the project's Jet 4 writer: what the corpus does not
// have (memo values beyond libmdb's 16 KiB bind size, tables spread over
// thousands of pages, every column type with Nulls) read back value by value
// against the rows the writer was given.

#include "DatabaseTestSupport.h"
#include "LibmdbReader.h"
#include "database/Value.h"
#include "jetwriter/Generator.h"
#include "jetwriter/JetWriter.h"

#include <QTemporaryDir>

#include <cmath>

namespace jw = qm::jetwriter;
using qm::Recordset;
using qm::Value;
using namespace qm::test;

namespace {

// The text our layer must give for a cell the writer stored in a column.
std::string expectedText(const jw::Column& column, const jw::Cell& cell) {
    std::string out;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
            } else if constexpr (std::is_same_v<T, bool>) {
                out = v ? "True" : "False";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                if (column.type == jw::ColumnType::Currency)
                    qm::valuetext::appendCurrency(out, v * 10000);
                else
                    out = std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                if (column.type == jw::ColumnType::Single)
                    qm::valuetext::appendFloat(out, static_cast<float>(v));
                else if (column.type == jw::ColumnType::DateTime)
                    qm::valuetext::appendDateTime(out, v);
                else if (column.type == jw::ColumnType::Currency)
                    qm::valuetext::appendCurrency(out, std::llround(v * 10000));
                else
                    qm::valuetext::appendDouble(out, v);
            } else if constexpr (std::is_same_v<T, jw::Currency>) {
                qm::valuetext::appendCurrency(out, v.tenThousandths);
            } else if constexpr (std::is_same_v<T, jw::DateTime>) {
                qm::valuetext::appendDateTime(out, v.days);
            } else if constexpr (std::is_same_v<T, QString>) {
                out = v.toStdString();
            } else if constexpr (std::is_same_v<T, jw::Guid>) {
                qm::valuetext::appendGuid(
                    out, std::string_view(reinterpret_cast<const char*>(v.bytes.data()), 16));
            }
        },
        cell);
    return out;
}

jw::Table everyTypeTable(const QString& name) {
    using T = jw::ColumnType;
    return {name,
            {{QStringLiteral("Id"), T::Long, 255, false},
             {QStringLiteral("Customer"), T::Text, 80},
             {QStringLiteral("City"), T::Text, 40},
             {QStringLiteral("Small"), T::Byte},
             {QStringLiteral("Medium"), T::Integer},
             {QStringLiteral("Ratio"), T::Single},
             {QStringLiteral("Amount"), T::Double},
             {QStringLiteral("Price"), T::Currency},
             {QStringLiteral("Shipped"), T::DateTime},
             {QStringLiteral("Paid"), T::Boolean},
             {QStringLiteral("Key"), T::Guid},
             {QStringLiteral("Note"), T::Memo}}};
}

}  // namespace

TEST(GeneratedFixture, MemoValuesLongerThanTheBindSizeComeBackWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("memo.mdb"));
    // Over 16 KiB in any encoding, spread over several long-value pages, with
    // characters beyond Latin-1 so the text is stored uncompressed.
    QString longText;
    for (int i = 0; i < 3000; ++i)
        longText += QStringLiteral("Zeile %1: Größe 3 × 4 m², 漢字 ok.\r\n").arg(i);
    ASSERT_GT(longText.toUtf8().size(), 64 * 1024);
    const QString latin(40000, QLatin1Char('x'));  // stored compressed
    const jw::Table table{
        QStringLiteral("Notes"),
        {{QStringLiteral("Id"), jw::ColumnType::Long}, {QStringLiteral("Text"), jw::ColumnType::Memo}}};
    jw::WriteFile(path, {}, [&](jw::Writer& writer) {
        writer.beginTable(table);
        for (const jw::Cell& cell : {jw::Cell(longText), jw::Cell(latin), jw::Cell(QString()),
                                     jw::Cell(std::monostate()), jw::Cell(QStringLiteral("short"))}) {
            const jw::Cell row[] = {std::int64_t(1), cell};
            writer.addRow(row);
        }
        writer.endTable();
    });

    auto connection = openDatabase(path);
    Recordset records;
    records.Open(QStringLiteral("SELECT `Text` FROM `Notes`"), *connection, qm::adOpenStatic,
                 qm::adLockOptimistic);
    EXPECT_EQ(records.value(0).toQString(), longText);
    std::string appended;
    records.appendText(0, appended);
    EXPECT_EQ(appended, longText.toStdString());
    records.MoveNext();
    EXPECT_EQ(records.value(0).toText(), latin.toStdString());
    records.MoveNext();
    EXPECT_FALSE(records.value(0).isNull());  // an empty memo is not Null
    EXPECT_EQ(records.value(0).toText(), "");
    records.MoveNext();
    EXPECT_TRUE(records.value(0).isNull());
    records.MoveNext();
    EXPECT_EQ(records.value(0).toText(), "short");

    // libmdb's default bind size cuts the same value short, without a word.
    LibmdbTable cut;
    ASSERT_TRUE(readWithLibmdb(path, "Notes", cut));
    EXPECT_LT(cut.rows.front()[1].size(), 16u * 1024u);
    EXPECT_TRUE(longText.toStdString().starts_with(cut.rows.front()[1].substr(0, 1000)));
}

TEST(GeneratedFixture, EveryValueOfALargeTableReadsBackAsWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("generated.mdb"));
    const jw::Table table = everyTypeTable(QStringLiteral("Generated Rows"));
    constexpr int kRows = 30000;
    jw::WriteFile(path, {}, [&](jw::Writer& writer) {
        writer.beginTable(table);
        jw::RowGenerator generator(table, 11, 0.1);
        std::vector<jw::Cell> row;
        for (int i = 0; i < kRows; ++i) {
            generator.next(row);
            writer.addRow(row);
        }
        writer.endTable();
    });

    auto connection = openDatabase(path);
    EXPECT_EQ(schemaNames(*connection), QStringList{QStringLiteral("Generated Rows")});
    Recordset records;
    records.Open(QStringLiteral("SELECT * FROM [Generated Rows];"), *connection, qm::adOpenStatic,
                 qm::adLockOptimistic);
    ASSERT_EQ(records.fieldCount(), static_cast<int>(table.columns.size()));
    EXPECT_EQ(records.RecordCount(), kRows);

    jw::RowGenerator generator(table, 11, 0.1);
    std::vector<jw::Cell> expected;
    long long nulls = 0;
    int row = 0;
    for (; !records.isEOF(); records.MoveNext(), ++row) {
        generator.next(expected);
        for (int i = 0; i < records.fieldCount(); ++i) {
            const auto column = static_cast<std::size_t>(i);
            std::string text;
            records.appendText(i, text);
            const bool isNull = std::holds_alternative<std::monostate>(expected[column]);
            ASSERT_EQ(text, expectedText(table.columns[column], expected[column]))
                << "row " << row << " column " << table.columns[column].name.toStdString();
            ASSERT_EQ(records.value(i).isNull(), isNull) << "row " << row << " column " << i;
            nulls += isNull;
        }
    }
    EXPECT_EQ(row, kRows);
    EXPECT_GT(nulls, kRows / 2);
}

TEST(GeneratedFixture, RowSourceReachesAnyRowOfAManyPageTable) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("pages.mdb"));
    const jw::Table table{QStringLiteral("Counter"),
                          {{QStringLiteral("Id"), jw::ColumnType::Long, 255, false},
                           {QStringLiteral("Label"), jw::ColumnType::Text, 30}}};
    constexpr int kRows = 100000;
    jw::WriteFile(path, {}, [&](jw::Writer& writer) {
        writer.beginTable(table);
        for (int i = 0; i < kRows; ++i) {
            const jw::Cell row[] = {std::int64_t(i), QStringLiteral("row %1").arg(i)};
            writer.addRow(row);
        }
        writer.endTable();
    });
    auto connection = openDatabase(path);
    Recordset preview;
    preview.Open(QStringLiteral("SELECT * FROM [Counter];"), *connection, qm::adOpenDynamic,
                 qm::adLockOptimistic);
    const auto rows = preview.DataSource();
    for (const long long first : {99990LL, 0LL, 51234LL, 256LL, 255LL, 12345LL, 99999LL, 77777LL, 100000LL}) {
        SCOPED_TRACE(first);
        const auto got = rows->rows(first, 7);
        ASSERT_EQ(static_cast<long long>(got.size()), std::min<long long>(7, kRows - first));
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i][0].asInteger(), first + static_cast<long long>(i));
            EXPECT_EQ(got[i][1].toText(), "row " + std::to_string(first + static_cast<long long>(i)));
        }
    }
    EXPECT_EQ(rows->rowCount(), kRows);
}

TEST(GeneratedFixture, DatesBefore1900AndTimesAloneKeepTheirValue) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("dates.mdb"));
    const double days[] = {-1.25, 0.5, -36522.0, 2.0, -657434.0, 2958465.5};
    jw::WriteFile(path, {}, [&](jw::Writer& writer) {
        writer.beginTable({QStringLiteral("Dates"), {{QStringLiteral("When"), jw::ColumnType::DateTime}}});
        for (const double d : days) {
            const jw::Cell row[] = {jw::DateTime{d}};
            writer.addRow(row);
        }
        writer.endTable();
    });
    auto connection = openDatabase(path);
    EXPECT_EQ(readTable(*connection, QStringLiteral("Dates")).rows, (TextRows{{"1899-12-29 06:00:00"},
                                                                              {"12:00:00"},
                                                                              {"1800-01-01"},
                                                                              {"1900-01-01"},
                                                                              {"0100-01-01"},
                                                                              {"9999-12-31 12:00:00"}}));
    // libmdb's own text has two-digit years and no date at all before 1900.
    LibmdbTable theirs;
    ASSERT_TRUE(readWithLibmdb(path, "Dates", theirs));
    EXPECT_EQ(theirs.rows[3][0], "01/01/00 00:00:00");
    EXPECT_NE(theirs.rows[2][0].substr(0, 8), "01/01/00");
    EXPECT_EQ(theirs.rows[2][0], theirs.rows[0][0]);  // 1800 and 1899 look the same there
}

TEST(GeneratedFixture, PasswordsTheWriterStoresOpenTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("locked.mdb"));
    jw::Options options;
    options.password = QStringLiteral("Kennwort;=\"1\"");
    jw::WriteFile(path, options, [](jw::Writer& writer) {
        writer.beginTable({QStringLiteral("T"), {{QStringLiteral("A"), jw::ColumnType::Text}}});
        const jw::Cell row[] = {QStringLiteral("secret row")};
        writer.addRow(row);
        writer.endTable();
    });
    auto connection = openDatabase(path, options.password);
    EXPECT_EQ(readTable(*connection, QStringLiteral("T")).rows, (TextRows{{"secret row"}}));
    try {
        openDatabase(path, QStringLiteral("Kennwort"));
        ADD_FAILURE() << "opened with a wrong password";
    } catch (const qm::DatabaseError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Not a valid password."));
    }
}
