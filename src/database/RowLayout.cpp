#include "database/RowLayout.h"

#include "database/StoredValues.h"

namespace qm {

using stored::readU16;

bool RowExtent(const std::uint8_t* page, int pageSize, int rowTable, int slot, int& raw, int& start,
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

Slot ClassifySlot(const std::uint8_t* page, int pageSize, int rowTable, int slot) {
    int raw = 0;
    int start = 0;
    int length = 0;
    if (!RowExtent(page, pageSize, rowTable, slot, raw, start, length))
        return raw & kMovedRowFlag ? Slot::PassedOver : Slot::Impossible;
    return length > 0 && !(raw & kMovedRowFlag) ? Slot::Row : Slot::PassedOver;
}

bool CrackRow(const RowFormat& format, const std::uint8_t* page, int start, int size,
              const std::vector<ColumnInfo>& columns, std::vector<RowField>& fields,
              std::vector<int>& variableOffsets) {
    const int pageSize = format.pageSize;
    const bool jet3 = format.jet3;
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
    if (format.hasVariableColumns) {
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
            variableOffsets.resize(static_cast<std::size_t>(rowVariable) + 1);
            int jumpsUsed = 0;
            for (int i = 0; i <= rowVariable; ++i) {
                while (jumpsUsed < jumps && i == page[end - maskSize - jumpsUsed - 1])
                    ++jumpsUsed;
                variableOffsets[static_cast<std::size_t>(i)] = page[offsetsEnd - i] + jumpsUsed * 256;
            }
        } else {
            if (end - maskSize - 1 < start + countSize)
                return false;
            rowVariable = readU16(page + end - maskSize - 1);
            if (maskSize + 3 + rowVariable * 2 + 2 > size)
                return false;
            variableOffsets.resize(static_cast<std::size_t>(rowVariable) + 1);
            for (int i = 0; i <= rowVariable; ++i)
                variableOffsets[static_cast<std::size_t>(i)] = readU16(page + end - maskSize - 3 - i * 2);
        }
    }

    const int rowFixed = rowColumns - rowVariable;
    int fixedFound = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnInfo& column = columns[i];
        RowField& field = fields[i];
        // A column added after the row was written is not in it: Null.
        field.null =
            column.number >= rowColumns || !(nullMask[column.number / 8] & (1 << (column.number % 8)));
        if (column.fixed && fixedFound < rowFixed) {
            field.start = start + countSize + column.fixedOffset;
            field.size = column.type == kBoolean && !column.calculated ? 0 : column.size;
            ++fixedFound;
        } else if (!column.fixed && column.variableIndex < rowVariable) {
            const int from = variableOffsets[static_cast<std::size_t>(column.variableIndex)];
            const int to = variableOffsets[static_cast<std::size_t>(column.variableIndex) + 1];
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

}  // namespace qm
