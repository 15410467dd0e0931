#pragma once

// Internal to the database layer: where a data page keeps its rows, and where
// a row keeps its values.

#include "database/TableDefinition.h"

#include <cstdint>
#include <vector>

namespace qm {

// Flags in the high bits of a row's entry in the page's row table.
inline constexpr int kRowOffsetMask = 0x1FFF;
inline constexpr int kMovedRowFlag = 0x8000;     // deleted, or data reached through a pointer only
inline constexpr int kOverflowRowFlag = 0x4000;  // the row holds a pointer to where its data moved

// One value of the current row: where its bytes are in the page buffer.
struct RowField {
    int start = 0;
    int size = 0;
    bool null = true;  // for Yes/No columns: the value is No
};

// Where row slot of a data page lies: the row ends where the previous slot's
// row starts. raw keeps the flags of the slot's entry. False when the entry
// lies outside the page or points outside it.
bool RowExtent(const std::uint8_t* page, int pageSize, int rowTable, int slot, int& raw, int& start,
               int& length);

enum class Slot {
    Row,         // a row of its own, or the stub of a row that moved (followed to its data)
    PassedOver,  // empty, deleted, or moved data reached through its stub
    Impossible,  // a live row whose offset lies outside the page or out of order: damage
};

// What a scan makes of a slot. A live row that cannot be where its offset
// says is damage, never a deleted row: passing it over would drop a record
// without a word.
Slot ClassifySlot(const std::uint8_t* page, int pageSize, int rowTable, int slot);

struct RowFormat {
    bool jet3 = false;
    bool hasVariableColumns = false;
    int pageSize = 0;
};

// Splits the row at [start, start + size) of the page into the fields of the
// columns. Row layout: the column count, the fixed-size values, the
// variable-size values, then from the end backwards the null mask, the count
// of variable values and their offsets (Jet 4: two bytes each; Jet 3: one
// byte each plus a table of 256-byte "jumps"). A column the row does not hold
// (added after the row was written) is Null. False when the row does not fit
// its page. variableOffsets is scratch space.
bool CrackRow(const RowFormat& format, const std::uint8_t* page, int start, int size,
              const std::vector<ColumnInfo>& columns, std::vector<RowField>& fields,
              std::vector<int>& variableOffsets);

}  // namespace qm
