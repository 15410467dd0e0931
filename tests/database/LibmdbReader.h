#pragma once

// libmdb's own reading of a table, with its default settings: the text it
// binds for every column. The facts tests compare it with what the layer reads.

// glib first: libmdb's header includes it inside extern "C".
#include <glib.h>
#include <mdbtools.h>

#include <QFile>
#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace qm::test {

struct LibmdbTable {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    bool userTable = false;  // what mdb_is_user_table says of the catalogue entry
};

inline bool readWithLibmdb(const QString& path, const char* table, LibmdbTable& result) {
    struct Close {
        void operator()(MdbHandle* h) const { mdb_close(h); }
    };
    struct Free {
        void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
    };
    std::unique_ptr<MdbHandle, Close> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE))
        return false;
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb.get(), table);
    if (!entry)
        return false;
    result.userTable = mdb_is_user_table(entry) != 0;
    std::unique_ptr<MdbTableDef, Free> def(mdb_read_table(entry));
    if (!def || !mdb_read_columns(def.get()))
        return false;
    const std::size_t bindSize = mdb->bind_size;
    std::vector<std::vector<char>> bound(def->num_cols, std::vector<char>(bindSize + 1, '\0'));
    for (unsigned i = 0; i < def->num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(def->columns, i));
        result.columns.emplace_back(col->name);
        mdb_bind_column(def.get(), static_cast<int>(i) + 1, bound[i].data(), nullptr);
    }
    mdb_rewind_table(def.get());
    while (mdb_fetch_row(def.get())) {
        std::vector<std::string> row;
        for (auto& cell : bound)
            row.emplace_back(cell.data());
        result.rows.push_back(std::move(row));
    }
    return true;
}

}  // namespace qm::test
