#include "database/ComplexColumns.h"

#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"

#include <algorithm>

namespace qm {

namespace {

const CatalogObject* tableAt(const ConnectionState& state, std::uint32_t definitionPage) {
    for (const CatalogObject& object : state.catalog) {
        if (object.isLocalTable() && object.definitionPage() == definitionPage)
            return &object;
    }
    return nullptr;
}

int countOf(const TableCursor& table, int type) {
    int count = 0;
    for (int i = 0; i < table.columnCount(); ++i)
        count += table.column(i).type == type;
    return count;
}

// What a template table's columns say the column holds.
ComplexKind kindOf(const TableCursor& templateTable) {
    static constexpr int kListTypes[] = {kByte, kInteger, kLong, kSingle, kDouble, kGuid, kDecimal, kText};
    if (templateTable.columnCount() == 1 && std::find(std::begin(kListTypes), std::end(kListTypes),
                                                      templateTable.column(0).type) != std::end(kListTypes))
        return ComplexKind::MultiValue;
    const int memos = countOf(templateTable, kMemo);
    const int dates = countOf(templateTable, kDateTime);
    // FileURL (memo), FileName and FileType (text), FileData (OLE),
    // FileTimeStamp (date), FileFlags (long); more columns are allowed.
    if (memos >= 1 && countOf(templateTable, kText) >= 2 && countOf(templateTable, kOle) >= 1 && dates >= 1 &&
        countOf(templateTable, kLong) >= 1)
        return ComplexKind::Attachment;
    // The memo's earlier values and when each was replaced.
    if (memos >= 1 && dates >= 1)
        return ComplexKind::VersionHistory;
    return ComplexKind::Unknown;
}

}  // namespace

std::vector<ComplexColumnEntry> ReadComplexColumns(const std::shared_ptr<ConnectionState>& state) {
    std::vector<ComplexColumnEntry> entries;
    const CatalogObject* object = state->findObject(QStringLiteral("MSysComplexColumns"));
    if (!object || !object->isLocalTable())
        return entries;
    TableCursor cursor(state, *object, ComplexColumns::Ignore);
    const int id = cursor.findColumn(QStringLiteral("ComplexID"));
    const int flat = cursor.findColumn(QStringLiteral("FlatTableID"));
    const int templateTable = cursor.findColumn(QStringLiteral("ComplexTypeObjectID"));
    const int conceptual = cursor.findColumn(QStringLiteral("ConceptualTableID"));
    if (id < 0 || flat < 0 || templateTable < 0 || conceptual < 0)
        return entries;
    const auto page = [&](int column) {
        // Table ids are catalogue ids: the definition page in the low 24 bits.
        return static_cast<std::uint32_t>(cursor.value(column).asInteger()) & 0x00FFFFFFu;
    };
    while (cursor.next()) {
        if (cursor.isNull(id))
            continue;
        entries.push_back({static_cast<std::int32_t>(cursor.value(id).asInteger()), page(flat),
                           page(templateTable), page(conceptual)});
    }
    return entries;
}

ComplexColumn::ComplexColumn(std::shared_ptr<ConnectionState> state,
                             const std::vector<ComplexColumnEntry>& entries, std::int32_t id,
                             std::uint32_t ownerPage) {
    const auto entry =
        std::find_if(entries.begin(), entries.end(), [&](const ComplexColumnEntry& e) { return e.id == id; });
    if (entry == entries.end() || entry->conceptualTable != ownerPage)
        return;
    const CatalogObject* templateObject = tableAt(*state, entry->templateTable);
    const CatalogObject* flatObject = tableAt(*state, entry->flatTable);
    if (!templateObject || !flatObject || entry->flatTable == ownerPage)
        return;
    const TableCursor templateTable(state, *templateObject, ComplexColumns::Ignore);
    const ComplexKind kind = kindOf(templateTable);
    if (kind == ComplexKind::VersionHistory || kind == ComplexKind::Unknown) {
        kind_ = kind;
        return;
    }

    // The flat table holds the template's columns, an autonumber of its own
    // and the key (a Long) that ties each value to its row.
    flat_ = std::make_unique<TableCursor>(state, *flatObject, ComplexColumns::Ignore);
    for (int i = 0; i < flat_->columnCount(); ++i) {
        const ColumnInfo& column = flat_->column(i);
        if (templateTable.findColumn(column.name) >= 0)
            continue;
        if (!column.autoNumber && column.type == kLong && keyColumn_ < 0)
            keyColumn_ = i;
    }
    valueColumn_ = kind == ComplexKind::Attachment ? flat_->findColumn(QStringLiteral("FileName"))
                                                   : flat_->findColumn(templateTable.column(0).name);
    if (keyColumn_ < 0 || valueColumn_ < 0) {
        flat_.reset();
        return;
    }
    kind_ = kind;
}

ComplexColumn::~ComplexColumn() = default;

void ComplexColumn::buildIndex() {
    flat_->rewind();
    while (flat_->next()) {
        if (!flat_->isNull(keyColumn_))
            index_.push_back(
                {static_cast<std::int32_t>(flat_->value(keyColumn_).asInteger()), flat_->currentPosition()});
    }
    std::stable_sort(index_.begin(), index_.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    index_.shrink_to_fit();
    indexed_ = true;
}

template <class Visit>
bool ComplexColumn::forEachRow(std::int32_t key, Visit&& visit) {
    if (!flat_ || unreadable_)
        return !unreadable_;
    try {
        if (!indexed_)
            buildIndex();
        const auto [first, last] =
            std::equal_range(index_.begin(), index_.end(), Entry{key, {}},
                             [](const Entry& a, const Entry& b) { return a.key < b.key; });
        for (auto it = first; it != last; ++it) {
            flat_->seek(it->position);
            if (!flat_->next())
                throw DatabaseError(dbmessages::damagedTable(flat_->tableName()));
            visit(it == first);
        }
        return true;
    } catch (const DatabaseError&) {
        unreadable_ = true;
        index_.clear();
        return false;
    }
}

bool ComplexColumn::appendValues(std::int32_t key, std::string& out) {
    return forEachRow(key, [&](bool first) {
        if (!first)
            out += "; ";
        flat_->appendText(valueColumn_, out);
    });
}

bool ComplexColumn::values(std::int32_t key, std::vector<Value>& out) {
    return forEachRow(key, [&](bool) { out.push_back(flat_->value(valueColumn_)); });
}

}  // namespace qm
