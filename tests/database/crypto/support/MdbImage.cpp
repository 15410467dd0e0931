#include "MdbImage.h"

#include <stdexcept>

namespace qm::test::crypto {

namespace {

struct TableFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

void setUp(MdbHandle* mdb) {
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    if (!mdb_read_catalog(mdb, MDB_ANY))
        throw std::runtime_error("libmdb cannot read the catalogue");
}

}  // namespace

void MdbImage::Close::operator()(MdbHandle* mdb) const {
    mdb_close(mdb);
}

MdbImage::MdbImage(std::span<unsigned char> image) {
    mdb_.reset(mdb_open_buffer(image.data(), image.size(), MDB_NOFLAGS));
    if (!mdb_)
        throw std::runtime_error("libmdb refuses the image");
    setUp(mdb_.get());
}

MdbImage::MdbImage(const QString& path) {
    mdb_.reset(mdb_open(path.toLocal8Bit().constData(), MDB_NOFLAGS));
    if (!mdb_)
        throw std::runtime_error("libmdb refuses the file");
    setUp(mdb_.get());
}

MdbImage::~MdbImage() = default;

QStringList MdbImage::userTables() {
    QStringList names;
    for (unsigned int i = 0; i < mdb_->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

TableRows MdbImage::readTable(const QString& name) {
    QByteArray utf8 = name.toUtf8();
    std::unique_ptr<MdbTableDef, TableFree> table(mdb_read_table_by_name(mdb_.get(), utf8.data(), MDB_TABLE));
    if (!table)
        throw std::runtime_error("no such table");
    mdb_read_columns(table.get());
    mdb_rewind_table(table.get());

    TableRows result;
    const unsigned int count = table->num_cols;
    std::vector<std::vector<char>> values(count, std::vector<char>(MDB_BIND_SIZE));
    std::vector<int> lengths(count);
    for (unsigned int i = 0; i < count; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        result.columns << QString::fromUtf8(column->name);
        mdb_bind_column(table.get(), static_cast<int>(i + 1), values[i].data(), &lengths[i]);
    }
    while (mdb_fetch_row(table.get())) {
        QStringList row;
        for (unsigned int i = 0; i < count; ++i)
            row << QString::fromUtf8(values[i].data(), lengths[i]);
        result.rows.push_back(row);
    }
    return result;
}

}  // namespace qm::test::crypto
