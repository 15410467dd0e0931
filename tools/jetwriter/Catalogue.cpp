#include "Catalogue.h"

#include "Properties.h"

namespace qm::jetwriter {

namespace {

// The column properties of a table: those of calculated, lookup and
// rich-text columns.
std::vector<std::uint8_t> tableProperties(const TableLayout& t) {
    std::vector<ColumnProperties> columns;
    for (const ColumnLayout& c : t.columns) {
        ColumnProperties block{c.name, {}};
        if (c.calculated)
            block = CalculatedColumnProperties(c.name, c.recordedType, c.expression);
        if (c.lookup) {
            for (Property& p : LookupProperties(*c.lookup))
                block.properties.push_back(std::move(p));
        }
        if (c.richText)
            block.properties.push_back(RichTextProperties().front());
        if (!block.properties.empty())
            columns.push_back(std::move(block));
    }
    return columns.empty() ? std::vector<std::uint8_t>() : EncodeProperties(columns);
}

}  // namespace

TableLayout catalogueLayout() {
    auto column = [](const char* name, FileType type, int size = 0) {
        ColumnLayout c;
        c.name = QString::fromLatin1(name);
        c.fileType = type;
        c.size = size;
        return c;
    };
    return layout(
        QStringLiteral("MSysObjects"), true,
        {column("Id", kTypeLong), column("ParentId", kTypeLong), column("Name", kTypeText, 255),
         column("Type", kTypeInteger), column("DateCreate", kTypeDateTime),
         column("DateUpdate", kTypeDateTime), column("Owner", kTypeBinary), column("Flags", kTypeLong),
         column("Database", kTypeMemo), column("Connect", kTypeMemo), column("ForeignName", kTypeText, 255),
         column("RmtInfoShort", kTypeBinary), column("RmtInfoLong", kTypeOle), column("Lv", kTypeOle),
         column("LvProp", kTypeOle), column("LvModule", kTypeOle), column("LvExtra", kTypeOle)});
}

std::vector<CatalogueEntry> systemEntries() {
    return {
        {kTablesContainer,
         kCatalogueRoot,
         QStringLiteral("Tables"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {kDatabasesContainer,
         kCatalogueRoot,
         QStringLiteral("Databases"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {kRelationshipsContainer,
         kCatalogueRoot,
         QStringLiteral("Relationships"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {std::int32_t(kCataloguePage),
         kTablesContainer,
         QStringLiteral("MSysObjects"),
         kCatalogueTable,
         kSystemObjectFlag,
         {}},
    };
}

CatalogueEntry tableEntry(const TableLayout& t, std::uint32_t definitionPage) {
    return {std::int32_t(definitionPage), kTablesContainer, t.name, kCatalogueTable, 0, tableProperties(t)};
}

std::array<Cell, 17> catalogueCells(const CatalogueEntry& entry, DateTime created) {
    return {std::int64_t(entry.id),
            std::int64_t(entry.parentId),
            entry.name,
            std::int64_t(entry.type),
            created,
            created,
            std::monostate{},
            std::int64_t(entry.flags)};
}

}  // namespace qm::jetwriter
