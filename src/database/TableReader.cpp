#include "database/TableReader.h"

#include "database/ColumnProperties.h"
#include "database/ComplexColumns.h"
#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/StoredValues.h"

#include <algorithm>
#include <utility>

namespace qm {

using stored::readU16;
using stored::readU32;

namespace {

constexpr int kMaxOverflowHops = 8;

}  // namespace

TableCursor::TableCursor(std::shared_ptr<ConnectionState> state, const CatalogObject& table,
                         ComplexColumns complex)
    : state_(std::move(state)), tableName_(table.name), definitionPage_(table.definitionPage()) {
    if (state_->header.format == jet::Format::Jet3)
        jet3Text_ = std::make_unique<jet::CodePageDecoder>(state_->header.codePage);
    TableDefinition definition = ReadTableDefinition(state_, table, jet3Text_.get());
    columns_ = std::move(definition.columns);
    for (std::size_t i = 0; i < columns_.size(); ++i)
        shown_.push_back(static_cast<int>(i));
    fields_.resize(columns_.size());
    rowFormat_ = {state_->header.format == jet::Format::Jet3, definition.hasVariableColumns,
                  definition.pageSize};
    rowTable_ = definition.rowTable;
    usageMap_ = std::move(definition.usageMap);
    longValues_.emplace(*state_, definition.pageSize, definition.rowTable);
    pageData_.resize(static_cast<std::size_t>(definition.pageSize));
    if (complex == ComplexColumns::Resolve)
        resolveComplexColumns();
    if (std::any_of(columns_.begin(), columns_.end(),
                    [](const ColumnInfo& column) { return column.calculated; }))
        readResultTypes(table);
}

// Finds what each attachment or multi-value column holds, and leaves out the
// version-history columns. A column whose hidden tables cannot be read stays
// a field; its values are placeholders.
void TableCursor::resolveComplexColumns() {
    if (std::none_of(columns_.begin(), columns_.end(),
                     [](const ColumnInfo& column) { return column.type == kComplex; }))
        return;
    std::optional<std::vector<ComplexColumnEntry>> entries;
    try {
        entries = ReadComplexColumns(state_);
    } catch (const DatabaseError&) {
        entries.reset();  // MSysComplexColumns is damaged: no column can be looked up
    }
    shown_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        ColumnInfo& column = columns_[i];
        if (column.type == kComplex) {
            std::unique_ptr<ComplexColumn> complex;
            try {
                if (entries)
                    complex =
                        std::make_unique<ComplexColumn>(state_, *entries, column.complexId, definitionPage_);
            } catch (const DatabaseError&) {
                complex.reset();  // a hidden table the values live in is damaged
            }
            if (complex && complex->kind() == ComplexKind::VersionHistory)
                continue;
            column.complexIndex = static_cast<int>(complex_.size());
            complex_.push_back(std::move(complex));
        }
        shown_.push_back(static_cast<int>(i));
    }
}

// The result type and expression of each calculated column, from the
// table's column properties.
void TableCursor::readResultTypes(const CatalogObject& table) {
    const ObjectProperties properties = ReadObjectProperties(state_, table, jet3Text_.get());
    for (ColumnInfo& column : columns_) {
        const PropertyBlock* block = column.calculated ? properties.column(column.name) : nullptr;
        if (!block)
            continue;
        if (const StoredProperty* resultType = block->find(QStringLiteral("ResultType")))
            column.resultType = static_cast<int>(resultType->integer().value_or(0));
        if (const StoredProperty* expression = block->find(QStringLiteral("Expression")))
            column.expression = expression->text(jet3Text_.get()).value_or(QString());
    }
}

TableCursor::~TableCursor() = default;

int TableCursor::findColumn(const QString& name) const {
    for (int i = 0; i < columnCount(); ++i) {
        if (column(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
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
        if (page[0] == MDB_PAGE_DATA && readU32(page + 4) == definitionPage_) {
            rowsOnPage_ = readU16(page + rowTable_);
            nextSlot_ = 0;
            return true;
        }
    }
}

void TableCursor::forEachDataPage(const std::function<void(std::uint32_t page, int rows)>& visit) {
    // Enough for the row table of most pages; more is read when needed.
    const int firstRead = std::min(rowFormat_.pageSize, 512);
    std::vector<std::uint8_t> start(static_cast<std::size_t>(rowFormat_.pageSize));
    for (std::uint32_t page = nextMappedPage(0); page != 0; page = nextMappedPage(page)) {
        if (!state_->readPageStart(page, start.data(), static_cast<std::size_t>(firstRead)))
            damaged();
        if (start[0] != MDB_PAGE_DATA || readU32(start.data() + 4) != definitionPage_)
            continue;
        const int rows = readU16(start.data() + rowTable_);
        const int needed = std::min(rowFormat_.pageSize, rowTable_ + 2 + 2 * std::min(rows, 1001));
        if (needed > firstRead &&
            !state_->readPageStart(page, start.data(), static_cast<std::size_t>(needed)))
            damaged();
        int visible = 0;
        for (int slot = 0; slot < rows; ++slot) {
            const Slot kind = ClassifySlot(start.data(), rowFormat_.pageSize, rowTable_, slot);
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
        const Slot kind = ClassifySlot(page, rowFormat_.pageSize, rowTable_, slot);
        if (kind == Slot::Impossible)
            damaged();
        if (kind == Slot::PassedOver)
            continue;
        int start = 0;
        int length = 0;
        int raw = 0;
        RowExtent(page, rowFormat_.pageSize, rowTable_, slot, raw, start, length);
        current_ = {page_, slot};
        if (!crack)
            return true;

        // Follow a moved row to where its data lives now.
        for (int hop = 0; raw & kOverflowRowFlag; ++hop) {
            if (hop == kMaxOverflowHops || length < 4 || start + 4 > rowFormat_.pageSize)
                damaged();
            const int row = page[start];
            const std::uint32_t target = readU32(page + start) >> 8;
            if (!state_->hasPage(target))
                damaged();
            page = loadPage(target);
            if (page[0] != MDB_PAGE_DATA || readU32(page + 4) != definitionPage_ ||
                row >= readU16(page + rowTable_) ||
                !RowExtent(page, rowFormat_.pageSize, rowTable_, row, raw, start, length) || length == 0)
                damaged();
        }
        if (!CrackRow(rowFormat_, page, start, length, columns_, fields_, variableOffsets_))
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

void TableCursor::requireRow() const {
    if (!haveRow_)
        throw DatabaseError(dbmessages::kNoCurrentRecord);
}

bool TableCursor::isNull(int index) const {
    requireRow();
    const std::size_t column = shown(index);
    // A Yes/No column keeps its value in the null mask; a calculated one does not.
    if (columns_[column].type == kBoolean && !columns_[column].calculated)
        return false;
    return fields_[column].null;
}

// The bytes of the current row's value, checked against the page.
std::span<const std::uint8_t> TableCursor::fieldSpan(std::size_t column) const {
    const RowField& field = fields_[column];
    if (field.size < 0 || field.start < 0 ||
        static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.size) > pageData_.size())
        damaged();
    return {pageData_.data() + field.start, static_cast<std::size_t>(field.size)};
}

// The bytes of the current row's memo or OLE value, in scratch_.
std::span<const std::uint8_t> TableCursor::longValue(std::size_t column) {
    const std::span<const std::uint8_t> field = fieldSpan(column);
    if (!longValues_->read(field.data(), field.size(), scratch_))
        damaged();
    return {reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size()};
}

Value TableCursor::placeholder(const char* kind) {
    ++placeholders_;
    return Value::text(Value::Type::Unsupported, kind);
}

// The attachment file names or the list's values that belong to the current row.
Value TableCursor::complexValue(std::size_t column) {
    ComplexColumn* complex = complex_[static_cast<std::size_t>(columns_[column].complexIndex)].get();
    if (!complex ||
        (complex->kind() != ComplexKind::Attachment && complex->kind() != ComplexKind::MultiValue))
        return placeholder("Complex data");
    const std::span<const std::uint8_t> key = fieldSpan(column);
    std::string text;
    if (key.size() != 4 || !complex->appendValues(static_cast<std::int32_t>(readU32(key.data())), text))
        return placeholder("Complex data");
    return Value::text(
        complex->kind() == ComplexKind::Attachment ? Value::Type::Attachment : Value::Type::MultiValue,
        std::move(text));
}

// The result a calculated column stored for the current row, by the result
// type its properties record: a memo result lies in a long value like any
// memo, any other result in the row.
Value TableCursor::calculatedValue(std::size_t column) {
    const ColumnInfo& info = columns_[column];
    std::span<const std::uint8_t> stored = fieldSpan(column);
    if (info.resultType == kMemo) {
        if (!longValues_->read(stored.data(), stored.size(), scratch_))
            return placeholder("Calculated value");
        stored = {reinterpret_cast<const std::uint8_t*>(scratch_.data()), scratch_.size()};
    }
    const std::optional<std::span<const std::uint8_t>> result = stored::CalculatedResult(stored);
    if (!result)
        return placeholder("Calculated value");
    if (result->empty())
        return Value::null();  // Access stores no result where the expression gave Null
    std::optional<Value> decoded = stored::DecodeCalculatedResult(info.resultType, *result, jet3Text_.get());
    if (!decoded)
        return placeholder("Calculated value");
    return std::move(*decoded);
}

std::optional<std::vector<Value>> TableCursor::listValues(int index) {
    requireRow();
    const std::size_t column = shown(index);
    const ColumnInfo& info = columns_[column];
    if (info.complexIndex < 0 || fields_[column].null)
        return std::nullopt;
    ComplexColumn* complex = complex_[static_cast<std::size_t>(info.complexIndex)].get();
    const std::span<const std::uint8_t> key = fieldSpan(column);
    std::vector<Value> values;
    if (!complex || complex->kind() != ComplexKind::MultiValue || key.size() != 4 ||
        !complex->values(static_cast<std::int32_t>(readU32(key.data())), values))
        return std::nullopt;
    return values;
}

bool TableCursor::appendLongValue(int index, std::string& out) {
    requireRow();
    const std::size_t column = shown(index);
    const ColumnInfo& info = columns_[column];
    if ((info.type != kMemo && info.type != kOle) || fields_[column].null)
        return false;
    const std::span<const std::uint8_t> field = fieldSpan(column);
    std::string bytes;
    if (!longValues_->read(field.data(), field.size(), bytes))
        return false;
    out += bytes;
    return true;
}

void TableCursor::appendText(int index, std::string& out) {
    requireRow();
    const std::size_t column = shown(index);
    const ColumnInfo& info = columns_[column];
    // Text and memo values go straight from the page into out: the export's
    // common case, without a Value in between.
    if (!info.calculated && !fields_[column].null) {
        if (info.type == kText) {
            stored::AppendStoredText(out, fieldSpan(column), jet3Text_.get());
            return;
        }
        if (info.type == kMemo) {
            stored::AppendStoredText(out, longValue(column), jet3Text_.get());
            return;
        }
    }
    value(index).appendText(out);
}

Value TableCursor::value(int index) {
    requireRow();
    const std::size_t column = shown(index);
    const ColumnInfo& info = columns_[column];
    const RowField& field = fields_[column];
    if (info.type == kBoolean && !info.calculated)
        return Value::boolean(!field.null);
    if (field.null)
        return Value::null();
    if (info.calculated)
        return calculatedValue(column);
    if (info.complexIndex >= 0)
        return complexValue(column);
    std::optional<Value> decoded = stored::DecodeValue(
        info, info.type == kMemo ? longValue(column) : fieldSpan(column), jet3Text_.get());
    if (!decoded)
        return placeholder(stored::ValueKindPlaceholder(info.type));
    if (decoded->type() == Value::Type::Unsupported)
        ++placeholders_;
    return std::move(*decoded);
}

long long CountRows(std::shared_ptr<ConnectionState> state, const CatalogObject& table) {
    TableCursor cursor(std::move(state), table);
    long long count = 0;
    cursor.forEachDataPage([&](std::uint32_t, int rows) { count += rows; });
    return count;
}

}  // namespace qm
