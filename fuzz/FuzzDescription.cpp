// Fixture descriptions (the JSON that quillmerge-mkdb reads): any text is
// accepted or refused with WriteError. A small accepted description is also
// written, and the database it gives must open and read back with every table
// and row, so the writer and the reader are checked against each other.

#include "FuzzSupport.h"
#include "database/MdbSupport.h"
#include "database/TableReader.h"
#include "jetwriter/Description.h"

#include <QBuffer>
#include <cstdint>
#include <memory>

namespace {

// Small enough to write and read back many times a second.
constexpr std::int64_t kMaxRows = 300;
constexpr std::int64_t kMaxTables = 40;

bool smallEnough(const qm::jetwriter::Description& description) {
    std::int64_t rows = 0;
    std::int64_t tables = 0;
    for (const qm::jetwriter::TableSpec& table : description.tables) {
        tables += table.repeat;
        const std::int64_t perTable = table.rows.size() + (table.generate ? table.generate->count : 0);
        rows += perTable * table.repeat;
        if (rows > kMaxRows || tables > kMaxTables)
            return false;
    }
    return true;
}

void readBack(const qm::jetwriter::Description& description, QByteArray written) {
    auto bytes = std::make_shared<QByteArray>(std::move(written));
    bytes->detach();
    qm::DatabaseImage image{bytes, reinterpret_cast<std::uint8_t*>(bytes->data()),
                            static_cast<std::size_t>(bytes->size())};
    try {
        auto state = qm::OpenDatabaseImage(
            {QStringLiteral("written.mdb"), description.options.password, false}, std::move(image));
        for (const qm::jetwriter::TableSpec& written : description.tables) {
            for (int copy = 1; copy <= written.repeat; ++copy) {
                const QString name = written.repeat > 1
                                         ? qm::jetwriter::RepeatedName(written.schema.name, copy)
                                         : written.schema.name;
                const qm::CatalogObject* table = state->findObject(name);
                qm::fuzz::require(table != nullptr, "a written table is in the catalogue", name.toUtf8());
                qm::TableCursor cursor(state, *table);
                qm::fuzz::require(cursor.columnCount() == static_cast<int>(written.schema.columns.size()),
                                  "a written table keeps its columns", name.toUtf8());
                std::int64_t rows = 0;
                std::string line;
                while (cursor.next()) {
                    for (int column = 0; column < cursor.columnCount(); ++column)
                        cursor.appendText(column, line);
                    ++rows;
                }
                const std::int64_t expected =
                    written.rows.size() + (written.generate ? written.generate->count : 0);
                qm::fuzz::require(rows == expected, "a written table keeps its rows", name.toUtf8());
            }
        }
    } catch (const qm::Failure& failure) {
        qm::fuzz::violated("a written database reads back", failure.description().toUtf8());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    const QByteArray json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qm::jetwriter::Description description;
    try {
        description = qm::jetwriter::ParseDescription(json);
    } catch (const qm::jetwriter::WriteError&) {
        return 0;
    }
    if (!smallEnough(description))
        return 0;

    QBuffer device;
    device.open(QIODevice::ReadWrite);
    try {
        qm::jetwriter::Writer writer(device, description.options);
        qm::jetwriter::WriteDescription(description, writer);
    } catch (const qm::jetwriter::WriteError&) {
        return 0;  // a value the format cannot hold, named in the message
    }
    readBack(description, device.data());
    return 0;
}
