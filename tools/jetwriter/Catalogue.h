#pragma once

// Internal to the writer: the catalogue (MSysObjects), the system table that
// lists the containers and the tables of the database.

#include "JetWriter.h"
#include "TableDefinition.h"

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace qm::jetwriter {

// Catalogue identifiers, as in databases made by Access.
inline constexpr std::int32_t kCatalogueRoot = 0x0F000000;
inline constexpr std::int32_t kTablesContainer = 0x0F000001;
inline constexpr std::int32_t kDatabasesContainer = 0x0F000002;
inline constexpr std::int32_t kRelationshipsContainer = 0x0F000003;
inline constexpr std::int32_t kSystemObjectFlag = std::numeric_limits<std::int32_t>::min();  // 0x80000000
inline constexpr std::int16_t kCatalogueTable = 1;
inline constexpr std::int16_t kCatalogueContainer = 3;
inline constexpr std::uint32_t kCataloguePage = 2;

struct CatalogueEntry {
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    QString name;
    std::int16_t type = 0;
    std::int32_t flags = 0;
    std::vector<std::uint8_t> properties;  // LvProp; empty for none
};

inline constexpr std::size_t kLvPropColumn = 14;

// The layout of MSysObjects.
TableLayout catalogueLayout();

// The entries every database starts with: the containers, then the catalogue itself.
std::vector<CatalogueEntry> systemEntries();

// The entry of a user table whose definition starts on definitionPage.
CatalogueEntry tableEntry(const TableLayout& t, std::uint32_t definitionPage);

// The cells of an entry's row, all but its properties (the LvProp column,
// whose bytes are given as they are).
std::array<Cell, 17> catalogueCells(const CatalogueEntry& entry, DateTime created);

}  // namespace qm::jetwriter
