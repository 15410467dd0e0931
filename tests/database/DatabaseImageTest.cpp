// Databases opened from memory: the way decrypted images will be read. The
// image must stay alive as long as anything reads from it.

#include "DatabaseTestSupport.h"
#include "database/MdbSupport.h"
#include "database/TableReader.h"

using namespace qm::test;

namespace {

qm::DatabaseImage imageOf(const QString& corpusName) {
    auto bytes = std::make_shared<QByteArray>(fileBytes(corpusFile(corpusName)));
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
    QM_REQUIRE_CORPUS();
    for (const QString& name : {QStringLiteral("V2000_test.mdb"), QStringLiteral("northwind-jet3.mdb"),
                                QStringLiteral("V2016_longtext.accdb")}) {
        SCOPED_TRACE(name.toStdString());
        qm::DatabaseImage image = imageOf(name);
        std::weak_ptr<const void> alive = image.owner;
        auto state =
            qm::OpenDatabaseImage({QStringLiteral("memory:") + name, QString(), true}, std::move(image));
        EXPECT_FALSE(alive.expired());

        auto fromFile = openCorpus(name);
        const QStringList tables = schemaNames(*fromFile);
        ASSERT_FALSE(tables.isEmpty());
        for (const QString& table : tables)
            EXPECT_EQ(readAll(state, table), readTable(*fromFile, table, Values::Stored).rows) << table.toStdString();

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
    QM_REQUIRE_CORPUS();
    auto failure = [](const QString& name, const QString& password, bool ace) {
        try {
            qm::OpenDatabaseImage({QStringLiteral("memory"), password, ace}, imageOf(name));
            return QString();
        } catch (const qm::DatabaseError& error) {
            return error.description();
        }
    };
    EXPECT_EQ(failure(QStringLiteral("V2003_with-password.mdb"), QStringLiteral("password"), false),
              QString());
    EXPECT_EQ(failure(QStringLiteral("V2003_with-password.mdb"), QStringLiteral("nope"), false),
              QStringLiteral("Not a valid password."));
    EXPECT_EQ(failure(QStringLiteral("V2010_test.accdb"), QString(), false),
              QStringLiteral("Unrecognized database format 'memory'."));
    // An image still encrypted is refused, not read as garbage.
    EXPECT_TRUE(failure(QStringLiteral("office-agile-4.4.accdb"), QStringLiteral("password"), true)
                    .contains(QStringLiteral("encrypted")));
}
