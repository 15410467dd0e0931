// Every value of every user table of the corpus, compared with what the
// mdbtools command-line reader makes of the same file. Where mdb-export is
// known to be wrong or silent (Large Number columns, dates before 1900,
// decimals, binary data) the cell is left out of the comparison; the
// Recordset tests pin those values down on their own.

#include "DatabaseTestSupport.h"

#include <cmath>
#include <cstdlib>

using qm::Recordset;
using qm::Value;
using Type = qm::Value::Type;
using namespace qm::test;

namespace {

// Our text in mdb-export's spelling, or nothing when the cell is not comparable.
std::optional<std::string> asMdbExportWrites(const Value& value) {
    switch (value.type()) {
        case Type::Null:
            return std::string();
        case Type::Boolean:
            return value.asInteger() ? "TRUE" : "FALSE";
        case Type::DateTime: {
            std::string text = value.toText();
            if (text.size() == 8)
                text = "1899-12-30 " + text;
            else if (text.size() == 10)
                text += " 00:00:00";
            if (text < "1900")
                return std::nullopt;  // mdb-export garbles these
            return text;
        }
        case Type::Currency: {
            // mdb-export keeps all four places.
            std::string text = value.toText();
            const auto point = text.find('.');
            const std::size_t places = point == std::string::npos ? 0 : text.size() - point - 1;
            if (point == std::string::npos)
                text += '.';
            text.append(4 - places, '0');
            return text;
        }
        case Type::LargeNumber:
        case Type::Decimal:
        case Type::Binary:
        case Type::Ole:
        case Type::Attachment:
        case Type::Single:
        case Type::Double:
            return std::nullopt;  // compared separately (reals) or not at all
        default:
            return value.toText();
    }
}

}  // namespace

TEST(MdbExportCrossCheck, EveryCorpusValueAgreesWithTheIndependentReader) {
    QM_REQUIRE_CORPUS();
    if (mdbExportProgram().isEmpty())
        GTEST_SKIP() << "mdb-export is not installed";
    long long compared = 0;
    for (const QString& file : readableCorpusFiles()) {
        SCOPED_TRACE(file.toStdString());
        const QString path = corpusFile(file);
        auto connection = openDatabase(path, corpusPassword(file));
        for (const QString& table : schemaNames(*connection)) {
            SCOPED_TRACE(table.toStdString());
            const auto exported = mdbExport(path, table);
            ASSERT_TRUE(exported.has_value());
            ASSERT_FALSE(exported->empty());

            Recordset records;
            records.ShowStoredValues(true);  // mdb-export gives what the table stores
            records.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), *connection,
                         qm::adOpenStatic, qm::adLockOptimistic);
            ASSERT_EQ(static_cast<int>(exported->front().size()), records.fieldCount());
            for (int i = 0; i < records.fieldCount(); ++i)
                EXPECT_EQ(records.fieldName(i).toStdString(),
                          exported->front()[static_cast<std::size_t>(i)].text);

            std::size_t row = 1;
            for (; !records.isEOF(); records.MoveNext(), ++row) {
                ASSERT_LT(row, exported->size());
                const auto& theirs = (*exported)[row];
                ASSERT_EQ(static_cast<int>(theirs.size()), records.fieldCount());
                for (int i = 0; i < records.fieldCount(); ++i) {
                    const Value value = records.value(i);
                    const CsvCell& cell = theirs[static_cast<std::size_t>(i)];
                    SCOPED_TRACE("row " + std::to_string(row) + " column " + std::to_string(i));
                    if (value.type() == Type::Double || value.type() == Type::Single) {
                        const double ours = std::strtod(value.toText().c_str(), nullptr);
                        const double reference = std::strtod(cell.text.c_str(), nullptr);
                        EXPECT_NEAR(ours, reference, std::fabs(reference) * 1e-7) << cell.text;
                        ++compared;
                        continue;
                    }
                    if (const auto ours = asMdbExportWrites(value)) {
                        EXPECT_EQ(*ours, cell.text);
                        // mdb-export quotes text, leaves Null bare: Null must be Null here too.
                        if (value.isNull()) {
                            EXPECT_FALSE(cell.quoted);
                        }
                        ++compared;
                    }
                }
            }
            EXPECT_EQ(row, exported->size()) << "mdb-export has more rows";
        }
    }
    EXPECT_GT(compared, 30000);
}
