#include "database/TableReader.h"

#include "database/Ado.h"
#include "database/ComplexColumns.h"
#include "database/DatabaseMessages.h"
#include "database/StoredValues.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace qm {

using stored::readDouble;
using stored::readFloat;
using stored::readU16;
using stored::readU32;
using stored::readU64;

namespace {

// Flags in the high bits of a row's entry in the page's row table.
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kMovedRowFlag = 0x8000;     // the row's data moved: reached through its pointer only
constexpr int kOverflowRowFlag = 0x4000;  // the row holds a pointer to where its data moved
constexpr int kMaxOverflowHops = 8;
// Indexes of one table: Access allows 32; anything far beyond is damage.
constexpr std::uint32_t kMaxIndexes = 1000;

// Long value (memo, OLE) header: 4 bytes length and kind, 4 bytes page/row.
constexpr std::size_t kLongValueHeader = 12;
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueSinglePage = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;

// Where row slot of a data page lies: libmdb's rule (the row ends where the
// previous slot's row starts). raw keeps the flags of the slot's entry.
bool rowExtent(const std::uint8_t* page, int pageSize, int rowTable, int slot, int& raw, int& start,
               int& length) {
    if (slot < 0 || slot > 1000 || rowTable + 2 + slot * 2 + 2 > pageSize)
        return false;
    raw = readU16(page + rowTable + 2 + slot * 2);
    start = raw & kRowOffsetMask;
    const int next = slot == 0 ? pageSize : readU16(page + rowTable + slot * 2) & kRowOffsetMask;
    if (start >= pageSize || start > next || next > pageSize)
        return false;
    length = next - start;
    return true;
}

enum class Slot {
    Row,         // a row of its own, or the stub of a row that moved (followed to its data)
    PassedOver,  // empty, deleted, or moved data reached through its stub
    Impossible,  // a live row whose offset lies outside the page or out of order: damage
};

// What next() makes of a slot. A live row that cannot be where its offset
// says is damage, never a deleted row: passing it over would drop a record
// without a word.
Slot classifySlot(const std::uint8_t* page, int pageSize, int rowTable, int slot) {
    int raw = 0;
    int start = 0;
    int length = 0;
    if (!rowExtent(page, pageSize, rowTable, slot, raw, start, length))
        return raw & kMovedRowFlag ? Slot::PassedOver : Slot::Impossible;
    return length > 0 && !(raw & kMovedRowFlag) ? Slot::Row : Slot::PassedOver;
}

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
    std::uint8_t extraFlags = 0;  // Jet 4 and ACE only
    std::uint32_t misc = 0;       // Jet 4 and ACE: a complex column's id, among others
    std::string name;
};

// Jet 4 / ACE column entries: where the type-specific bytes and the extra flags lie.
constexpr std::size_t kColumnMiscOffset = 11;
constexpr std::size_t kColumnExtraFlagsOffset = 16;
constexpr std::uint8_t kCalculatedFlags = 0xC0;

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

}  // namespace

UsageMap::UsageMap(const ConnectionState& state, const std::uint8_t* map, std::size_t size)
    : state_(&state), map_(map, map + size) {}

std::optional<std::uint32_t> UsageMap::next(std::uint32_t after) {
    if (map_.empty())
        return std::nullopt;
    if (map_[0] == 0) {
        // The first page the bitmap stands for, then one bit per page.
        if (map_.size() < 5)
            return 0u;
        const std::uint32_t first = readU32(map_.data() + 1);
        const std::uint64_t bits = (map_.size() - 5) * 8;
        for (std::uint64_t i = after >= first ? std::uint64_t(after) - first + 1 : 0; i < bits; ++i) {
            if (map_[5 + i / 8] & (1u << (i % 8)))
                return static_cast<std::uint32_t>(first + i);
        }
        return 0u;
    }
    if (map_[0] == 1) {
        // A list of bitmap pages, each standing for (page size - 4) * 8 pages.
        const std::size_t pageSize = static_cast<std::size_t>(state_->header.pageSize);
        const std::uint64_t bitsPerPage = (pageSize - 4) * 8;
        const std::size_t entries = (map_.size() - 1) / 4;
        bitmapPages_.resize(entries);
        std::uint64_t index = (std::uint64_t(after) + 1) / bitsPerPage;
        std::uint64_t offset = (std::uint64_t(after) + 1) % bitsPerPage;
        for (; index < entries; ++index, offset = 0) {
            const std::uint32_t mapPage = readU32(map_.data() + 1 + 4 * index);
            if (mapPage == 0)
                continue;
            std::vector<std::uint8_t>& bitmap = bitmapPages_[index];
            if (bitmap.empty()) {
                bitmap.resize(pageSize);
                if (!state_->readPageStart(mapPage, bitmap.data(), pageSize)) {
                    bitmap.clear();
                    return std::nullopt;
                }
            }
            for (std::uint64_t i = offset; i < bitsPerPage; ++i) {
                if (bitmap[4 + i / 8] & (1u << (i % 8))) {
                    const std::uint64_t page = index * bitsPerPage + i;
                    if (page > 0xFFFFFFFFu)
                        return std::nullopt;
                    return static_cast<std::uint32_t>(page);
                }
            }
        }
        return 0u;
    }
    return std::nullopt;  // a map type nobody knows
}

TableCursor::TableCursor(std::shared_ptr<ConnectionState> state, const CatalogObject& table,
                         ComplexColumns complex)
    : state_(std::move(state)), tableName_(table.name) {
    handle_ = state_->cloneHandle();
    MdbHandle* mdb = handle_.get();
    entry_.mdb = mdb;
    entry_.object_type = MDB_TABLE;
    entry_.table_pg = table.definitionPage();
    const QByteArray name = table.name.toUtf8();
    std::snprintf(entry_.object_name, sizeof entry_.object_name, "%s", name.constData());

    // Check what libmdb would complain about on stderr before it looks.
    const std::uint32_t definition = table.definitionPage();
    if (definition == 0 || !state_->hasPage(definition) ||
        mdb_read_pg(mdb, definition) != mdb->fmt->pg_size || mdb->pg_buf[0] != 0x02)
        damaged();
    for (const std::uint16_t offset : {mdb->fmt->tab_usage_map_offset, mdb->fmt->tab_free_map_offset}) {
        if (!state_->hasPage(readU32(mdb->pg_buf + offset) >> 8))
            damaged();
    }
    // libmdb turns the index count into the offset of the column entries
    // without a check (a large count overflows, or walks far past the
    // definition); Access keeps at most 32 indexes a table.
    if (readU32(mdb->pg_buf + mdb->fmt->tab_num_ridxs_offset) > kMaxIndexes)
        damaged();
    {
        QuietLibraryDiagnostics quiet;
        table_.reset(mdb_read_table(&entry_));
        if (!table_ || table_->map_sz < 1 || !table_->usage_map || !mdb_read_columns(table_.get()))
            damaged();
    }
    if (state_->header.format == jet::Format::Jet3)
        jet3Text_ = std::make_unique<jet::CodePageDecoder>(state_->header.codePage);
    // libmdb orders the columns by number, keeping the order of the entries
    // among equal numbers; the entries read here follow the same order.
    auto entries = readColumnEntries(*state_, definition, *mdb->fmt, table_->num_real_idxs, table_->num_cols,
                                     jet3Text_.get());
    // A definition whose column entries and names run past its pages is damaged
    // (libmdb reads on into whatever pages follow and makes columns of them).
    if (!entries)
        damaged();
    std::stable_sort(entries->begin(), entries->end(),
                     [](const ColumnEntry& a, const ColumnEntry& b) { return a.number < b.number; });
    columns_.reserve(table_->num_cols);
    for (unsigned i = 0; i < table_->num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table_->columns, i));
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
        if (info.type == kComplex && ownEntry)
            info.complexId = static_cast<std::int32_t>(entry.misc);
        columns_.push_back(std::move(info));
    }
    fields_.resize(columns_.size());
    hasVariableColumns_ = table_->num_var_cols > 0;
    pageSize_ = static_cast<int>(mdb->fmt->pg_size);
    rowTable_ = mdb->fmt->row_count_offset;
    pageData_.resize(static_cast<std::size_t>(pageSize_));
    longValueData_.resize(static_cast<std::size_t>(pageSize_));
    usageMap_ = UsageMap(*state_, table_->usage_map, table_->map_sz);
    // Everything needed is copied out: the rows are read without libmdb.
    table_.reset();
    handle_.reset();
    if (complex == ComplexColumns::Resolve)
        resolveComplexColumns();
}

// Finds what each attachment or multi-value column holds, and leaves out the
// version-history columns.
void TableCursor::resolveComplexColumns() {
    if (std::none_of(columns_.begin(), columns_.end(),
                     [](const ColumnInfo& column) { return column.type == kComplex; }))
        return;
    try {
        const std::vector<ComplexColumnEntry> entries = ReadComplexColumns(state_);
        std::vector<ColumnInfo> shown;
        for (ColumnInfo& column : columns_) {
            if (column.type == kComplex) {
                auto complex =
                    std::make_unique<ComplexColumn>(state_, entries, column.complexId, entry_.table_pg);
                if (complex->kind() == ComplexKind::VersionHistory)
                    continue;
                column.complexIndex = static_cast<int>(complex_.size());
                complex_.push_back(std::move(complex));
            }
            shown.push_back(std::move(column));
        }
        columns_ = std::move(shown);
        fields_.resize(columns_.size());
    } catch (const DatabaseError&) {
        damaged();  // a hidden table the values live in
    }
}

TableCursor::~TableCursor() = default;

int TableCursor::findColumn(const QString& name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void TableCursor::damaged() const {
    throw DatabaseError(dbmessages::damagedTable(tableName_));
}

void TableCursor::rewind() {
    onPage_ = false;
    page_ = 0;
    rowsOnPage_ = 0;
    nextSlot_ = 0;
    haveRow_ = false;
}

void TableCursor::seek(RowPosition position) {
    const std::uint8_t* page = loadPage(position.page);
    page_ = position.page;
    onPage_ = true;
    rowsOnPage_ = readU16(page + rowTable_);
    nextSlot_ = position.slot;
    haveRow_ = false;
}

const std::uint8_t* TableCursor::loadPage(std::uint32_t page) {
    if (page != loadedPage_) {
        loadedPage_ = 0;
        if (page == 0 || !state_->readPageStart(page, pageData_.data(), pageData_.size()))
            damaged();
        loadedPage_ = page;
    }
    return pageData_.data();
}

// The page the usage map names after the given one; 0 past the last.
std::uint32_t TableCursor::nextMappedPage(std::uint32_t after) {
    const std::optional<std::uint32_t> next = usageMap_.next(after);
    if (!next)
        damaged();
    if (*next != 0 && (*next <= after || !state_->hasPage(*next)))
        damaged();  // a map that runs backwards would never end
    return *next;
}

// The next page of the table's data, following its usage map. Pages the map
// names that are not this table's data pages are passed over.
bool TableCursor::loadNextPage() {
    std::uint32_t from = onPage_ ? page_ : 0;
    for (;;) {
        const std::uint32_t next = nextMappedPage(from);
        if (next == 0)
            return false;
        const std::uint8_t* page = loadPage(next);
        from = next;
        page_ = next;
        onPage_ = true;
        if (page[0] == MDB_PAGE_DATA && readU32(page + 4) == entry_.table_pg) {
            rowsOnPage_ = readU16(page + rowTable_);
            nextSlot_ = 0;
            return true;
        }
    }
}

void TableCursor::forEachDataPage(const std::function<void(std::uint32_t page, int rows)>& visit) {
    // Enough for the row table of most pages; more is read when needed.
    const int firstRead = std::min(pageSize_, 512);
    std::vector<std::uint8_t> start(static_cast<std::size_t>(pageSize_));
    for (std::uint32_t page = nextMappedPage(0); page != 0; page = nextMappedPage(page)) {
        if (!state_->readPageStart(page, start.data(), static_cast<std::size_t>(firstRead)))
            damaged();
        if (start[0] != MDB_PAGE_DATA || readU32(start.data() + 4) != entry_.table_pg)
            continue;
        const int rows = readU16(start.data() + rowTable_);
        const int needed = std::min(pageSize_, rowTable_ + 2 + 2 * std::min(rows, 1001));
        if (needed > firstRead &&
            !state_->readPageStart(page, start.data(), static_cast<std::size_t>(needed)))
            damaged();
        int visible = 0;
        for (int slot = 0; slot < rows; ++slot) {
            const Slot kind = classifySlot(start.data(), pageSize_, rowTable_, slot);
            if (kind == Slot::Impossible)
                damaged();
            visible += kind == Slot::Row;
        }
        visit(page, visible);
    }
}

bool TableCursor::advance(bool crack) {
    haveRow_ = false;
    for (;;) {
        if (!onPage_ || nextSlot_ >= rowsOnPage_) {
            if (!loadNextPage())
                return false;
        }
        // A followed pointer may have left another page in the buffer.
        const std::uint8_t* page = loadPage(page_);
        const int slot = nextSlot_++;
        const Slot kind = classifySlot(page, pageSize_, rowTable_, slot);
        if (kind == Slot::Impossible)
            damaged();
        if (kind == Slot::PassedOver)
            continue;
        int start = 0;
        int length = 0;
        int raw = 0;
        rowExtent(page, pageSize_, rowTable_, slot, raw, start, length);
        current_ = {page_, slot};
        if (!crack)
            return true;

        // Follow a moved row to where its data lives now.
        for (int hop = 0; raw & kOverflowRowFlag; ++hop) {
            if (hop == kMaxOverflowHops || length < 4 || start + 4 > pageSize_)
                damaged();
            const int row = page[start];
            const std::uint32_t target = readU32(page + start) >> 8;
            if (!state_->hasPage(target))
                damaged();
            page = loadPage(target);
            if (page[0] != MDB_PAGE_DATA || readU32(page + 4) != entry_.table_pg ||
                row >= readU16(page + rowTable_) ||
                !rowExtent(page, pageSize_, rowTable_, row, raw, start, length) || length == 0)
                damaged();
        }
        if (!crackRow(start, length))
            damaged();
        haveRow_ = true;
        return true;
    }
}

bool TableCursor::next() {
    return advance(true);
}
bool TableCursor::skip() {
    return advance(false);
}

// Splits the row at [start, start + size) of the page buffer into its fields.
// Row layout: the column count, the fixed-size values, the variable-size
// values, then from the end backwards the null mask, the count of variable
// values and their offsets (Jet 4: two bytes each; Jet 3: one byte each plus
// a table of 256-byte "jumps"). False when the row does not fit its page.
bool TableCursor::crackRow(int start, int size) {
    const std::uint8_t* page = pageData_.data();
    const int pageSize = pageSize_;
    const bool jet3 = state_->header.format == jet::Format::Jet3;
    const int countSize = jet3 ? 1 : 2;
    if (start < 0 || size < countSize + 1 || start + size > pageSize)
        return false;
    const int end = start + size - 1;  // last byte of the row
    const int rowColumns = jet3 ? page[start] : readU16(page + start);
    const int maskSize = (rowColumns + 7) / 8;
    if (countSize + maskSize > size)
        return false;
    const std::uint8_t* nullMask = page + end - maskSize + 1;

    int rowVariable = 0;
    if (hasVariableColumns_) {
        if (jet3) {
            if (end - maskSize < start)
                return false;
            rowVariable = page[end - maskSize];
            const int rowLength = size;
            int jumps = (rowLength - 1) / 256;
            const int offsetsEnd =
                end - maskSize - jumps - 1;  // offset of entry 0; entry i is at offsetsEnd - i
            if (offsetsEnd - start - rowVariable < 0)
                return false;
            // The last jump may be a dummy one.
            if ((offsetsEnd - start - rowVariable) / 256 < jumps)
                --jumps;
            if (offsetsEnd - rowVariable < start || offsetsEnd >= pageSize)
                return false;
            variableOffsets_.resize(static_cast<std::size_t>(rowVariable) + 1);
            int jumpsUsed = 0;
            for (int i = 0; i <= rowVariable; ++i) {
                while (jumpsUsed < jumps && i == page[end - maskSize - jumpsUsed - 1])
                    ++jumpsUsed;
                variableOffsets_[static_cast<std::size_t>(i)] = page[offsetsEnd - i] + jumpsUsed * 256;
            }
        } else {
            if (end - maskSize - 1 < start + countSize)
                return false;
            rowVariable = readU16(page + end - maskSize - 1);
            if (maskSize + 3 + rowVariable * 2 + 2 > size)
                return false;
            variableOffsets_.resize(static_cast<std::size_t>(rowVariable) + 1);
            for (int i = 0; i <= rowVariable; ++i)
                variableOffsets_[static_cast<std::size_t>(i)] = readU16(page + end - maskSize - 3 - i * 2);
        }
    }

    const int rowFixed = rowColumns - rowVariable;
    int fixedFound = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const ColumnInfo& column = columns_[i];
        RowField& field = fields_[i];
        // A column added after the row was written is not in it: Null.
        field.null =
            column.number >= rowColumns || !(nullMask[column.number / 8] & (1 << (column.number % 8)));
        if (column.fixed && fixedFound < rowFixed) {
            field.start = start + countSize + column.fixedOffset;
            field.size = column.type == kBoolean ? 0 : column.size;
            ++fixedFound;
        } else if (!column.fixed && column.variableIndex < rowVariable) {
            const int from = variableOffsets_[static_cast<std::size_t>(column.variableIndex)];
            const int to = variableOffsets_[static_cast<std::size_t>(column.variableIndex) + 1];
            field.start = start + from;
            field.size = to - from;
        } else {
            // Not in this row: a column added after the row was written.
            field.start = start;
            field.size = 0;
            field.null = true;
        }
        if (field.size < 0 || field.start < start || field.start + field.size > start + size)
            return false;
    }
    return true;
}

void TableCursor::requireRow() const {
    if (!haveRow_)
        throw DatabaseError(dbmessages::kNoCurrentRecord);
}

bool TableCursor::isNull(int column) const {
    requireRow();
    const auto& info = columns_[static_cast<std::size_t>(column)];
    // A Yes/No column keeps its value in the null mask; a calculated one does not.
    if (info.type == kBoolean && !info.calculated)
        return false;
    return fields_[static_cast<std::size_t>(column)].null;
}

// The bytes of the current row's value, checked against the page.
TableCursor::Stored TableCursor::fieldSpan(int column) const {
    const RowField& field = fields_[static_cast<std::size_t>(column)];
    if (field.size < 0 || field.start < 0 ||
        static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.size) > pageData_.size())
        damaged();
    return {pageData_.data() + field.start, static_cast<std::size_t>(field.size)};
}

// A row of a long-value page. The page last read is kept, as consecutive
// values mostly share one.
std::pair<const std::uint8_t*, std::size_t> TableCursor::longValueRow(std::uint32_t pageRow) {
    const std::uint32_t page = pageRow >> 8;
    const int row = static_cast<int>(pageRow & 0xFF);
    if (page != longValuePage_) {
        longValuePage_ = 0;
        if (page == 0 || !state_->readPageStart(page, longValueData_.data(), longValueData_.size()))
            damaged();
        longValuePage_ = page;
    }
    const std::uint8_t* buffer = longValueData_.data();
    if (row >= readU16(buffer + rowTable_) || rowTable_ + 2 + row * 2 + 2 > pageSize_)
        damaged();
    const int start = readU16(buffer + rowTable_ + 2 + row * 2) & kRowOffsetMask;
    const int next = row == 0 ? pageSize_ : readU16(buffer + rowTable_ + row * 2) & kRowOffsetMask;
    if (start >= pageSize_ || start > next || next > pageSize_)
        damaged();
    return {buffer + start, static_cast<std::size_t>(next - start)};
}

// Collects the raw bytes of a memo or OLE value from its long-value pages.
void TableCursor::readMemo(int column, std::string& raw) {
    raw.clear();
    const Stored field = fieldSpan(column);
    if (field.size < kLongValueHeader)
        damaged();
    const std::uint8_t* header = field.data;
    const std::uint32_t lengthAndKind = readU32(header);
    const std::uint32_t length = lengthAndKind & kLongValueLengthMask;
    if (lengthAndKind & kLongValueInline) {
        raw.assign(reinterpret_cast<const char*>(header + kLongValueHeader), field.size - kLongValueHeader);
        return;
    }
    std::uint32_t pageRow = readU32(header + 4);
    if (lengthAndKind & kLongValueSinglePage) {
        const auto [data, size] = longValueRow(pageRow);
        raw.assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, length));
        return;
    }
    if (lengthAndKind & ~kLongValueLengthMask)
        damaged();
    // Spread over several pages: each piece starts with the page/row of the next.
    raw.reserve(length);
    for (std::uint32_t pieces = 0; raw.size() < length && pageRow != 0; ++pieces) {
        if (pieces > state_->pageCount())
            damaged();
        const auto [piece, size] = longValueRow(pageRow);
        if (size < 4)
            damaged();
        pageRow = readU32(piece);
        raw.append(reinterpret_cast<const char*>(piece + 4),
                   std::min<std::size_t>(size - 4, length - raw.size()));
    }
    if (raw.size() < length)
        damaged();
}

// The result a calculated column stored for the current row, unwrapped;
// empty when Access stored none. A memo result is read from its long-value
// pages first (into scratch_).
TableCursor::Stored TableCursor::calculatedResult(int column) {
    Stored stored;
    if (columns_[static_cast<std::size_t>(column)].type == kMemo) {
        readMemo(column, scratch_);
        stored = {reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size()};
    } else {
        stored = fieldSpan(column);
    }
    const std::span<const std::uint8_t> result = stored::CalculatedResult({stored.data, stored.size});
    return {result.data(), result.size()};
}

void TableCursor::appendStoredText(std::string& out, Stored stored) const {
    if (jet3Text_)
        jet3Text_->append(out, stored.data, stored.size);
    else
        jet::AppendJet4Text(out, stored.data, stored.size);
}

// The attachment file names or the list's values that belong to the current row.
Value TableCursor::complexValue(int column) {
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    ComplexColumn& complex = *complex_[static_cast<std::size_t>(info.complexIndex)];
    switch (complex.kind()) {
        case ComplexKind::Attachment:
        case ComplexKind::MultiValue: {
            const Stored key = fieldSpan(column);
            if (key.size < 4)
                damaged();
            std::string text;
            try {
                complex.appendValues(static_cast<std::int32_t>(readU32(key.data)), text);
            } catch (const DatabaseError&) {
                damaged();  // the hidden table the values live in
            }
            return Value::text(
                complex.kind() == ComplexKind::Attachment ? Value::Type::Attachment : Value::Type::MultiValue,
                std::move(text));
        }
        case ComplexKind::VersionHistory:
        case ComplexKind::Unknown:
            break;
    }
    return Value::text(Value::Type::Unsupported, "Complex data");
}

// A value of the column's type from its stored bytes (for a calculated
// column: the unwrapped result).
Value TableCursor::decode(const ColumnInfo& info, Stored stored) {
    const auto need = [&](std::size_t bytes) {
        if (stored.size < bytes)
            damaged();
        return stored.data;
    };
    switch (info.type) {
        case kBoolean:  // calculated results only; plain Yes/No lives in the null mask
            return Value::boolean(*need(1) != 0);
        case kByte:
            return Value::integer(Value::Type::Byte, *need(1));
        case kInteger:
            return Value::integer(Value::Type::Integer, static_cast<std::int16_t>(readU16(need(2))));
        case kLong:
            return Value::integer(Value::Type::Long, static_cast<std::int32_t>(readU32(need(4))));
        case kLargeNumber:
            return Value::integer(Value::Type::LargeNumber, static_cast<std::int64_t>(readU64(need(8))));
        case kCurrency:
            return Value::integer(Value::Type::Currency, static_cast<std::int64_t>(readU64(need(8))));
        case kSingle:
            return Value::real(Value::Type::Single, readFloat(need(4)));
        case kDouble:
            return Value::real(Value::Type::Double, readDouble(need(8)));
        case kDateTime:
            return Value::real(Value::Type::DateTime, readDouble(need(8)));
        case kGuid:
            return Value::text(Value::Type::Guid, std::string(reinterpret_cast<const char*>(need(16)), 16));
        case kDecimal: {
            std::string text;
            if (!info.calculated)
                stored::AppendDecimal(text, need(17), info.scale);
            else if (!stored::AppendCalculatedDecimal(text, {stored.data, stored.size}))
                damaged();
            return Value::text(Value::Type::Decimal, std::move(text));
        }
        case kExtendedDateTime: {
            std::string text;
            if (!valuetext::appendExtendedDateTime(
                    text, std::string_view(reinterpret_cast<const char*>(stored.data), stored.size)))
                return Value::text(Value::Type::Unsupported, "Date/Time Extended");
            return Value::text(Value::Type::DateTimeExtended, std::move(text));
        }
        case kText:
        case kMemo: {
            std::string text;
            appendStoredText(text, stored);
            return Value::text(info.type == kText ? Value::Type::Text : Value::Type::Memo, std::move(text));
        }
        case kOle:
            // The object itself is never needed as text: only its placeholder is shown.
            return Value::text(Value::Type::Ole, std::string());
        case kBinary:
            return Value::text(Value::Type::Binary, std::string());
        case kComplex:  // when the cursor does not look up the hidden tables
            return Value::text(Value::Type::Unsupported, "Complex data");
        default: {
            char kind[24];
            std::snprintf(kind, sizeof kind, "Data type 0x%02X", static_cast<unsigned>(info.type) & 0xFFu);
            return Value::text(Value::Type::Unsupported, kind);
        }
    }
}

void TableCursor::appendText(int column, std::string& out) {
    requireRow();
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    // Text and memo values go straight from the page into out: the export's
    // common case, without a Value in between.
    if (!info.calculated && !fields_[static_cast<std::size_t>(column)].null) {
        if (info.type == kText) {
            appendStoredText(out, fieldSpan(column));
            return;
        }
        if (info.type == kMemo) {
            readMemo(column, scratch_);
            appendStoredText(out, {reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size()});
            return;
        }
    }
    value(column).appendText(out);
}

Value TableCursor::value(int column) {
    requireRow();
    const ColumnInfo& info = columns_[static_cast<std::size_t>(column)];
    const RowField& field = fields_[static_cast<std::size_t>(column)];
    if (info.type == kBoolean && !info.calculated)
        return Value::boolean(!field.null);
    if (field.null)
        return Value::null();
    if (info.complexIndex >= 0)
        return complexValue(column);
    if (info.calculated) {
        const Stored result = calculatedResult(column);
        // Access stores no result where the expression gave Null.
        return result.size == 0 ? Value::null() : decode(info, result);
    }
    if (info.type == kMemo) {
        readMemo(column, scratch_);
        return decode(info, {reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size()});
    }
    return decode(info, fieldSpan(column));
}

long long CountRows(std::shared_ptr<ConnectionState> state, const CatalogObject& table) {
    TableCursor cursor(std::move(state), table);
    long long count = 0;
    cursor.forEachDataPage([&](std::uint32_t, int rows) { count += rows; });
    return count;
}

}  // namespace qm
