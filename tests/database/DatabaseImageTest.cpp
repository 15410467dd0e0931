// Databases opened from memory: the way decrypted images will be read. The
// image must stay alive as long as anything reads from it.

#include "DatabaseTestSupport.h"
#include "TestEncryptor.h"
#include "database/MdbSupport.h"
#include "database/TableReader.h"

using namespace qm::test;

namespace {

qm::DatabaseImage imageOf(const QByteArray& file) {
    auto bytes = std::make_shared<QByteArray>(file);
    bytes->detach();
    qm::DatabaseImage image;
    image.data = reinterpret_cast<std::uint8_t*>(bytes->data());
    image.size = static_cast<std::size_t>(bytes->size());
    image.owner = bytes;
    return image;
}

TextRows readAll(std::shared_ptr<qm::ConnectionState> state, const QString& table) {
    const qm::CatalogObject* object = state->findObject(table);
    if (!object)
        return {};
    qm::TableCursor cursor(state, *object);
    TextRows rows;
    while (cursor.next()) {
        std::vector<std::string> row;
        for (int i = 0; i < cursor.columnCount(); ++i) {
            row.emplace_back();
            cursor.appendText(i, row.back());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

TEST(DatabaseImage, ReadsLikeTheFileAndKeepsTheImageAlive) {
    for (const QString& path : {fixtureFile("test-tables"), sampleFile(), fixtureFile("calculated")}) {
        SCOPED_TRACE(path.toStdString());
        qm::DatabaseImage image = imageOf(fileBytes(path));
        std::weak_ptr<const void> alive = image.owner;
        auto state =
            qm::OpenDatabaseImage({QStringLiteral("memory:") + path, QString(), true}, std::move(image));
        EXPECT_FALSE(alive.expired());

        auto fromFile = openDatabase(path);
        const QStringList tables = schemaNames(*fromFile);
        ASSERT_FALSE(tables.isEmpty());
        for (const QString& table : tables)
            EXPECT_EQ(readAll(state, table), readTable(*fromFile, table, Values::Stored).rows)
                << table.toStdString();

        // A cursor outlives the state it came from and still reads the image.
        const qm::CatalogObject object = *state->findObject(tables.front());
        auto cursor = std::make_unique<qm::TableCursor>(state, object);
        state.reset();
        EXPECT_FALSE(alive.expired());
        EXPECT_EQ(cursor->next(), !readTable(*fromFile, tables.front()).rows.empty());
        cursor.reset();
        EXPECT_TRUE(alive.expired());
    }
}

TEST(DatabaseImage, TheSameRulesApplyAsForFiles) {
    auto failure = [](const QByteArray& file, const QString& password, bool ace) {
        try {
            qm::OpenDatabaseImage({QStringLiteral("memory"), password, ace}, imageOf(file));
            return QString();
        } catch (const qm::DatabaseError& error) {
            return error.description();
        }
    };
    const QByteArray locked = fileBytes(fixtureFile("password"));
    EXPECT_EQ(failure(locked, QStringLiteral("Pass word;1"), false), QString());
    EXPECT_EQ(failure(locked, QStringLiteral("nope"), false), QStringLiteral("Not a valid password."));
    const QByteArray ace = qm::test::crypto::AceImageOf(fixtureFile("test-tables"));
    EXPECT_EQ(failure(ace, QString(), true), QString());
    EXPECT_EQ(failure(ace, QString(), false), QStringLiteral("Unrecognized database format 'memory'."));
    // An image still encrypted is refused, not read as garbage.
    const QByteArray encrypted = qm::test::crypto::EncryptAccessImage(ace, QStringLiteral("password"), {});
    EXPECT_TRUE(failure(encrypted, QStringLiteral("password"), true).contains(QStringLiteral("encrypted")));
}
