#pragma once

// Internal to the writer: the values of a row's cells, checked against their
// columns and turned into the bytes the row stores.

#include "JetWriter.h"
#include "TableDefinition.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace qm::jetwriter {

// A value problem found while encoding one cell; addRow adds where it happened.
struct CellProblem {
    QString text;
};

// One cell, checked and encoded; memo values are placed later.
struct EncodedCell {
    bool isNull = true;
    bool boolean = false;
    std::vector<std::uint8_t> bytes;  // fixed: the value; variable: the stored text
};

// The following throw CellProblem for a value the column cannot hold.

// A value of a fixed-size column, written to its place in the fixed area at
// out; a Yes/No value goes to e.boolean instead (it is kept in the null mask).
void encodeFixed(const ColumnLayout& c, const Cell& cell, std::uint8_t* out, EncodedCell& e);
// A text or memo value, to e.bytes.
void encodeVariable(const ColumnLayout& c, const Cell& cell, EncodedCell& e);
// A calculated column's result, encoded by its result type and wrapped.
void encodeCalculated(const ColumnLayout& c, const Cell& cell, EncodedCell& e);

}  // namespace qm::jetwriter
