#include "database/TableDefinition.h"

#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/RowLayout.h"
#include "database/StoredValues.h"
#include "database/TextDecoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace qm {

using stored::readU16;
using stored::readU32;

namespace {

// Indexes of one table: Access allows 32; anything far beyond is damage.
constexpr std::uint32_t kMaxIndexes = 1000;

// The bytes of a table definition, which may run over several pages: each
// page names the next at offset 4 and continues the definition at offset 8.
class DefinitionStream {
  public:
    DefinitionStream(const ConnectionState& state, std::uint32_t firstPage)
        : state_(state), page_(static_cast<std::size_t>(state.header.pageSize)) {
        ok_ = state_.readPageStart(firstPage, page_.data(), page_.size());
    }

    void skip(std::size_t bytes) { read(nullptr, bytes); }
    // False when the definition ends (or breaks off) before the bytes do.
    bool read(std::uint8_t* out, std::size_t bytes) {
        while (ok_ && bytes > 0) {
            if (position_ >= page_.size() && !nextPage())
                return false;
            const std::size_t piece = std::min(bytes, page_.size() - position_);
            if (out) {
                std::memcpy(out, page_.data() + position_, piece);
                out += piece;
            }
            position_ += piece;
            bytes -= piece;
        }
        return ok_;
    }

  private:
    bool nextPage() {
        const std::uint32_t next = readU32(page_.data() + 4);
        // A chain longer than the file has pages runs in a circle.
        ok_ = ++pagesRead_ < state_.pageCount() && next != 0 &&
              state_.readPageStart(next, page_.data(), page_.size()) && page_[0] == MDB_PAGE_TABLE;
        position_ = 8;
        return ok_;
    }

    const ConnectionState& state_;
    std::vector<std::uint8_t> page_;
    std::size_t position_ = 0;
    std::uint32_t pagesRead_ = 0;
    bool ok_ = false;
};

// What the program takes from a column entry of a table definition besides
// what libmdb reads: the name (libmdb's own names go through iconv from
// UCS-2, which makes "??" of every letter beyond the Basic Multilingual Plane,
// cuts long names at 255 bytes, and follows the MDBICONV setting of the
// environment), the extra flags and the type-specific bytes.
struct ColumnEntry {
    int number = 0;
    std::uint8_t flags = 0;       // fixed, nullable, autonumber, hyperlink, ...
    std::uint8_t extraFlags = 0;  // Jet 4 and ACE only
    std::uint32_t misc = 0;       // Jet 4 and ACE: a complex column's id, among others
    std::string name;
};

// Jet 4 / ACE column entries: where the type-specific bytes and the extra flags lie.
constexpr std::size_t kColumnMiscOffset = 11;
constexpr std::size_t kColumnFlagsOffset = 15;
constexpr std::size_t kJet3ColumnFlagsOffset = 13;
constexpr std::size_t kColumnExtraFlagsOffset = 16;
constexpr std::uint8_t kCalculatedFlags = 0xC0;
constexpr std::uint8_t kHyperlinkFlag = 0x80;

// The column entries of a table definition, in their stored order; nothing
// when the definition cannot be read that far.
std::optional<std::vector<ColumnEntry>> readColumnEntries(const ConnectionState& state,
                                                          std::uint32_t definitionPage,
                                                          const MdbFormatConstants& format,
                                                          std::uint32_t realIndexes, unsigned columns,
                                                          const jet::CodePageDecoder* jet3Text) {
    DefinitionStream stream(state, definitionPage);
    const std::uint64_t start =
        format.tab_cols_start_offset + std::uint64_t(realIndexes) * format.tab_ridx_entry_size;
    if (start > std::uint64_t(state.pageCount()) * static_cast<std::uint64_t>(state.header.pageSize))
        return std::nullopt;
    stream.skip(static_cast<std::size_t>(start));
    std::vector<ColumnEntry> entries(columns);
    std::vector<std::uint8_t> entry(format.tab_col_entry_size);
    for (ColumnEntry& column : entries) {
        if (!stream.read(entry.data(), entry.size()))
            return std::nullopt;
        column.number = entry[format.col_num_offset];
        column.flags = entry[jet3Text ? kJet3ColumnFlagsOffset : kColumnFlagsOffset];
        if (!jet3Text && entry.size() > kColumnExtraFlagsOffset) {
            column.extraFlags = entry[kColumnExtraFlagsOffset];
            column.misc = readU32(entry.data() + kColumnMiscOffset);
        }
    }
    std::vector<std::uint8_t> bytes;
    for (ColumnEntry& column : entries) {
        std::uint8_t length[2] = {0, 0};
        if (!stream.read(length, jet3Text ? 1 : 2))
            return std::nullopt;
        bytes.resize(jet3Text ? length[0] : readU16(length));
        if (!stream.read(bytes.data(), bytes.size()))
            return std::nullopt;
        if (jet3Text)
            jet3Text->append(column.name, bytes.data(), bytes.size());
        else
            jet::AppendJet4Text(column.name, bytes.data(), bytes.size());
    }
    return entries;
}

[[noreturn]] void damaged(const CatalogObject& table) {
    throw DatabaseError(dbmessages::damagedTable(table.name));
}

}  // namespace

TableDefinition ReadTableDefinition(const std::shared_ptr<ConnectionState>& state, const CatalogObject& table,
                                    const jet::CodePageDecoder* jet3Text) {
    TableDefinition definition;
    // libmdb's reading of the definition, released (before the handle it
    // reads with) once it is copied out.
    const MdbHandlePtr handle = state->cloneHandle();
    MdbCatalogEntry catalogEntry{};  // the definition points at this
    MdbTableDefPtr tableDefinition;
    MdbHandle* mdb = handle.get();
    catalogEntry.mdb = mdb;
    catalogEntry.object_type = MDB_TABLE;
    catalogEntry.table_pg = table.definitionPage();
    const QByteArray name = table.name.toUtf8();
    std::snprintf(catalogEntry.object_name, sizeof catalogEntry.object_name, "%s", name.constData());

    // Check what libmdb would complain about on stderr before it looks.
    const std::uint32_t definitionPage = table.definitionPage();
    if (definitionPage == 0 || !state->hasPage(definitionPage) ||
        mdb_read_pg(mdb, definitionPage) != mdb->fmt->pg_size || mdb->pg_buf[0] != 0x02)
        damaged(table);
    // The usage map and the free-space map are rows of other pages; libmdb
    // reports on standard error when it cannot find them.
    std::vector<std::uint8_t> mapPage(static_cast<std::size_t>(mdb->fmt->pg_size));
    for (const std::uint16_t offset : {mdb->fmt->tab_usage_map_offset, mdb->fmt->tab_free_map_offset}) {
        const std::uint32_t pageRow = readU32(mdb->pg_buf + offset);
        int raw = 0;
        int start = 0;
        int length = 0;
        if (!state->hasPage(pageRow >> 8) ||
            !state->readPageStart(pageRow >> 8, mapPage.data(), mapPage.size()) ||
            !RowExtent(mapPage.data(), static_cast<int>(mapPage.size()), mdb->fmt->row_count_offset,
                       static_cast<int>(pageRow & 0xFF), raw, start, length) ||
            (offset == mdb->fmt->tab_usage_map_offset && length < 1))
            damaged(table);
    }
    // libmdb turns the index count into the offset of the column entries
    // without a check (a large count overflows, or walks far past the
    // definition); Access keeps at most 32 indexes a table.
    const std::uint32_t realIndexes = readU32(mdb->pg_buf + mdb->fmt->tab_num_ridxs_offset);
    if (realIndexes > kMaxIndexes)
        damaged(table);
    // The column entries and names, read before libmdb reads them: a
    // definition whose entries run past its pages is damaged (libmdb would
    // read on into whatever pages follow, or past the end of the file).
    const unsigned columnCount = readU16(mdb->pg_buf + mdb->fmt->tab_num_cols_offset);
    auto entries = readColumnEntries(*state, definitionPage, *mdb->fmt, realIndexes, columnCount, jet3Text);
    if (!entries)
        damaged(table);
    // Everything libmdb would complain about on standard error is checked above.
    tableDefinition.reset(mdb_read_table(&catalogEntry));
    if (!tableDefinition || tableDefinition->map_sz < 1 || !tableDefinition->usage_map ||
        tableDefinition->num_cols != columnCount || !mdb_read_columns(tableDefinition.get()) ||
        tableDefinition->columns->len != columnCount)
        damaged(table);
    // libmdb orders the columns by number, keeping the order of the entries
    // among equal numbers; the entries read here follow the same order.
    std::stable_sort(entries->begin(), entries->end(),
                     [](const ColumnEntry& a, const ColumnEntry& b) { return a.number < b.number; });
    definition.columns.reserve(tableDefinition->num_cols);
    for (unsigned i = 0; i < tableDefinition->num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(tableDefinition->columns, i));
        ColumnEntry& entry = (*entries)[i];
        const bool ownEntry = entry.number == col->col_num;
        ColumnInfo info;
        info.utf8Name = ownEntry ? std::move(entry.name) : std::string(col->name);
        info.name = QString::fromStdString(info.utf8Name);
        info.type = col->col_type;
        info.size = col->col_size;
        // libmdb reads a decimal's precision into col_scale and its scale into
        // col_prec (its own decimal text compensates); the scale is what counts here.
        info.scale = col->col_prec;
        info.fixed = col->is_fixed != 0;
        info.fixedOffset = col->fixed_offset;
        info.variableIndex = static_cast<int>(col->var_col_num);
        info.number = col->col_num;
        info.autoNumber = col->is_long_auto != 0;
        info.calculated = ownEntry && (entry.extraFlags & kCalculatedFlags) != 0;
        info.hyperlink = ownEntry && info.type == kMemo && (entry.flags & kHyperlinkFlag) != 0;
        if (info.type == kComplex && ownEntry)
            info.complexId = static_cast<std::int32_t>(entry.misc);
        definition.columns.push_back(std::move(info));
    }
    definition.hasVariableColumns = tableDefinition->num_var_cols > 0;
    definition.pageSize = static_cast<int>(mdb->fmt->pg_size);
    definition.rowTable = mdb->fmt->row_count_offset;
    definition.usageMap = UsageMap(*state, tableDefinition->usage_map, tableDefinition->map_sz);
    // Everything needed is copied out: the rows are read without libmdb.
    return definition;
}

}  // namespace qm
