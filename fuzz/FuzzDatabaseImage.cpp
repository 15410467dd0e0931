// A database image from memory, opened and read the way the program reads a
// file: header checks, libmdb's open, the catalogue, then every table's
// definition, rows, values, row count and preview blocks. Any outcome but a
// DatabaseError is a finding.

#include "FuzzSupport.h"
#include "database/Ado.h"
#include "database/JetHeader.h"
#include "database/MdbSupport.h"
#include "database/RowSources.h"
#include "database/TableReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// Enough rows to reach long values, moved rows and later pages without letting
// one input run for long.
constexpr int kRowsPerTable = 2000;

void readTable(const std::shared_ptr<qm::ConnectionState>& state, const qm::CatalogObject& table) {
    qm::TableCursor cursor(state, table);
    std::string line;
    for (int row = 0; row < kRowsPerTable && cursor.next(); ++row) {
        line.clear();
        for (int column = 0; column < cursor.columnCount(); ++column) {
            cursor.appendText(column, line);
            cursor.value(column).appendText(line);
            (void)cursor.isNull(column);
        }
    }
    (void)qm::CountRows(state, table);

    // The preview grid: random access by row number, with the values Access
    // shows (lookups read their row sources, hyperlinks, rich text).
    qm::TableSelection selection{state, table, {}, nullptr};
    for (int column = 0; column < cursor.columnCount(); ++column)
        selection.columns.push_back(column);
    qm::TableCursor definition(state, table);
    selection.shown = qm::ReadShownColumns(state, table, definition, selection.columns);
    qm::TableRowSource preview(std::move(selection));
    const long long rows = preview.rowCount();
    if (rows > 0) {
        preview.rows(rows / 2, 20);
        preview.rows(rows - 1, 5);
        preview.rows(0, 3);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    // The image as the decryption hands it over: owned memory of exactly its size.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(data, data + size);
    qm::DatabaseImage image{bytes, bytes->data(), bytes->size()};

    // The right password, so that the catalogue and tables are reached for
    // files that have one.
    QString password;
    try {
        password = qm::jet::ReadHeader(
                       QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                               static_cast<qsizetype>(std::min<std::size_t>(size, 4096))))
                       .password;
    } catch (const qm::Failure&) {
    }

    try {
        auto state = qm::OpenDatabaseImage({QStringLiteral("fuzz.mdb"), password, true}, std::move(image));
        const std::vector<qm::CatalogObject> catalog = state->catalog;
        for (const qm::CatalogObject& object : catalog) {
            if (!object.isLocalTable())
                continue;
            try {
                readTable(state, object);
            } catch (const qm::DatabaseError&) {
                // One damaged table does not stop the others being read.
            }
        }
    } catch (const qm::DatabaseError&) {
    }
    return 0;
}
