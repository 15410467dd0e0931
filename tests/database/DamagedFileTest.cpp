// Damaged copies of databases: cut short, or with pages overwritten. Opening
// and reading them must either work or fail with a DatabaseError, never crash
// or hang. (Run the ASan build to catch what a crash would not show.)

#include "DatabaseTestSupport.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

using qm::DatabaseError;
using namespace qm::test;

namespace {

enum class Outcome { Opened, Failed };

// Opens the file and reads every table of every kind; the failure, if any.
Outcome readEverything(const QString& path, QString& failure) {
    try {
        auto connection = openDatabase(path);
        QStringList tables = schemaNames(*connection);
        tables += schemaNames(*connection, QStringLiteral("SYSTEM TABLE"));
        for (const QString& table : tables) {
            qm::Recordset records;
            records.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), *connection,
                         qm::adOpenStatic, qm::adLockOptimistic);
            records.RecordCount();
            for (int guard = 0; !records.isEOF() && guard < 100000; ++guard) {
                std::string line;
                for (int i = 0; i < records.fieldCount(); ++i)
                    records.appendText(i, line);
                records.MoveNext();
            }
            auto preview = records.DataSource();
            preview->rows(preview->rowCount() / 2, 20);
        }
        return Outcome::Opened;
    } catch (const DatabaseError& error) {
        failure = error.description();
        return Outcome::Failed;
    }
}

// Copies of files cut short at shares of their size, and copies with a few
// bytes of some pages after the header scribbled over (page types, row
// tables, column definitions, long-value pointers), open or fail cleanly.
void expectDamagedCopiesOpenOrFail(const QStringList& cut, const QStringList& scribbled) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int failed = 0;
    for (const QString& original : cut) {
        const QByteArray bytes = fileBytes(original);
        EXPECT_FALSE(bytes.isEmpty()) << original.toStdString();
        for (const double share : {0.0001, 0.01, 0.02, 0.05, 0.1, 0.25, 0.5, 0.75, 0.9, 0.99}) {
            const auto length = static_cast<qsizetype>(static_cast<double>(bytes.size()) * share);
            SCOPED_TRACE(original.toStdString() + " cut at " + std::to_string(length));
            const QString path =
                dir.filePath(QStringLiteral("cut-%1-").arg(length) + QFileInfo(original).fileName());
            writeBytes(path, bytes.left(length));
            QString failure;
            if (readEverything(path, failure) == Outcome::Failed) {
                ++failed;
                EXPECT_TRUE(failure.contains(path) || failure.contains(QStringLiteral("damaged")))
                    << failure.toStdString();
            }
        }
    }
    EXPECT_GT(failed, 10);  // most cuts lose the catalogue or table pages

    QRandomGenerator generator(20240101);
    testing::internal::CaptureStderr();
    for (const QString& original : scribbled) {
        const QByteArray bytes = fileBytes(original);
        const int pageSize = bytes.at(0x14) == 0 ? 2048 : 4096;
        const int pages = static_cast<int>(bytes.size() / pageSize);
        for (int round = 0; round < 40; ++round) {
            QByteArray copy = bytes;
            for (int hits = 0; hits < 1 + round % 8; ++hits) {
                const int page = 1 + static_cast<int>(generator.bounded(pages - 1));
                const int offset = static_cast<int>(generator.bounded(pageSize));
                const int length = 1 + static_cast<int>(generator.bounded(16));
                for (int i = 0; i < length && offset + i < pageSize; ++i)
                    copy[page * pageSize + offset + i] = static_cast<char>(generator.bounded(256));
            }
            const QString path =
                dir.filePath(QStringLiteral("scribbled-%1-").arg(round) + QFileInfo(original).fileName());
            writeBytes(path, copy);
            SCOPED_TRACE(path.toStdString());
            QString failure;
            readEverything(path, failure);  // either outcome is fine; surviving is the test
        }
    }
    // Damaged rows are reported by the exception alone, not by libmdb's chatter.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace

TEST(DamagedFile, CopiesCutShortOrOverwrittenOpenOrFailCleanly) {
    const QStringList generated{fixtureFile("test-tables"), sampleFile(), fixtureFile("calculated")};
    expectDamagedCopiesOpenOrFail(generated, generated);
}

TEST(DamagedFile, DiagnosticsOfTheLibraryDoNotReachStandardError) {
    // A file whose catalogue page is gone makes libmdb complain on stderr; the
    // complaint must stay out of the user's terminal.
    QTemporaryDir dir;
    const QByteArray bytes = fileBytes(fixtureFile("test-tables"));
    const QString path = dir.filePath(QStringLiteral("half.mdb"));
    writeBytes(path, bytes.left(4096 * 2 + 100));
    testing::internal::CaptureStderr();
    QString failure;
    EXPECT_EQ(readEverything(path, failure), Outcome::Failed);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stderrText, "");
    EXPECT_EQ(failure, QStringLiteral("The database '%1' is damaged and cannot be read.").arg(path));
}

// Damaged copies of files made by Access, with structures the project's
// writer does not make: Jet 3 and ACE files, and the hidden tables a list's or
// an attachment's values live in. Damage to those costs their values, not the
// table: each is "[Complex data]", counted, and every other value reads as
// before, in the record set and the preview.
TEST(DamagedFile, CopiesOfFilesMadeByAccess) {
    QM_REQUIRE_CORPUS();
    const auto files = [](std::initializer_list<const char*> names) {
        QStringList paths;
        for (const char* name : names)
            paths << corpusFile(QString::fromLatin1(name));
        return paths;
    };
    expectDamagedCopiesOpenOrFail(
        files({"V1997_test.mdb", "V2000_test.mdb", "V2016_longtext.accdb", "northwind-jet3.mdb"}),
        files({"V1997_test.mdb", "V2007_test.accdb", "northwind-jet3.mdb"}));

    const QString name = QStringLiteral("complexDataTestV2007.accdb");
    QueryResult before;
    std::vector<std::uint32_t> flatTables;
    {
        auto connection = openCorpus(name);
        before = readTable(*connection, QStringLiteral("Table1"));
        const QueryResult complex = readTable(*connection, QStringLiteral("MSysComplexColumns"));
        const auto flat = complex.fields.indexOf(QStringLiteral("FlatTableID"));
        ASSERT_GE(flat, 0);
        for (const auto& row : complex.rows)
            flatTables.push_back(static_cast<std::uint32_t>(std::stoll(row[std::size_t(flat)])) & 0xFFFFFFu);
    }
    QByteArray bytes = fileBytes(corpusFile(name));
    for (const std::uint32_t page : flatTables)
        bytes[qsizetype(page) * 4096] = 0x01;  // a data page where the definition was
    QTemporaryDir dir;
    const QString damaged = dir.filePath(name);
    writeBytes(damaged, bytes);

    auto connection = openDatabase(damaged);
    qm::Recordset records;
    records.Open(QStringLiteral("SELECT * FROM [Table1];"), *connection, qm::adOpenStatic,
                 qm::adLockOptimistic);
    TextRows rows;
    for (; !records.isEOF(); records.MoveNext()) {
        rows.emplace_back();
        for (int i = 0; i < records.fieldCount(); ++i)
            rows.back().push_back(records.value(i).toText());
    }
    const QStringList lists{QStringLiteral("multi-value-data"), QStringLiteral("attach-data")};
    long long placeholders = 0;
    ASSERT_EQ(rows.size(), before.rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const bool list = lists.contains(before.fields.at(qsizetype(c)));
            EXPECT_EQ(rows[r][c], list ? std::string("[Complex data]") : before.rows[r][c]);
            placeholders += list;
        }
    }
    EXPECT_EQ(records.Placeholders(), placeholders);
    EXPECT_EQ(asText(records.DataSource()->rows(0, 100)), rows);
}
