#pragma once

// What every writer needs to lay a table out (DocumentContent::layout Table):
// its size, and column widths measured on its first rows; and the handler that
// turns the reader's paragraphs and cell ends into rows and cells.

#include "DocumentWriter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

struct TableShape {
    std::uint64_t rows = 0;   // every line of the texts is a row
    std::size_t columns = 0;  // the most cells of a row; shorter rows get empty cells
    bool headerRow = false;   // the first row repeats at the top of every page
    // Per column, the length of its text in the first kMeasuredRows rows, in
    // characters of the longest line of a cell, at most kLongestCounted.
    std::vector<std::uint32_t> lengths;

    static constexpr std::uint64_t kMeasuredRows = 101;  // a header row and 100 records
    static constexpr std::uint32_t kLongestCounted = 40;
};

// True when the content is a table with at least one row; an empty table is
// written as an empty document.
bool HasTableRows(const DocumentContent& content);

// Reads the first rows of the table. Throws qm::Failure when the spool cannot
// be read.
TableShape MeasureTable(const DocumentContent& content);

// Page text width in twips: A4 or Letter (by the user's locale, as every
// writer chooses its page) less one-inch margins.
std::uint32_t TextWidthTwips();

// Column widths adding up to total, each at least minimum (or all equal when
// the columns cannot all have that much), the rest shared in proportion to
// the columns' lengths, so long values wrap in their cells.
std::vector<std::uint32_t> ColumnWidths(const TableShape& shape, std::uint32_t total,
                                        std::uint32_t minimum = 720);

// StoredTextReader's handler for a table, around a writer's own paragraph
// handler (Body) which adds:
//   void beginRow(bool header);
//   void beginCell(std::size_t column);  // 0-based
//   void endCell();  // ends the cell's paragraph (Body::paragraphEnd()) and the cell
//   void endRow();
// Each cell is one paragraph of its Body, a value's line breaks staying line
// breaks in it. Rows are opened ahead of their text: every row ends in CR LF,
// so the row count says whether another follows.
template <class Body>
class TableHandler : public Body {
  public:
    template <class... Args>
    explicit TableHandler(const TableShape& shape, Args&&... args)
        : Body(std::forward<Args>(args)...), shape_(shape) {}

    // Opens the first row; call before the first piece of text.
    void begin() {
        if (shape_.rows > 0)
            openRow();
    }

    void cellEnd() {
        if (column_ + 1 >= shape_.columns)
            return;  // a row never has more cells than the table has columns
        Body::endCell();
        Body::beginCell(++column_);
    }

    void paragraphEnd() {
        Body::endCell();
        while (++column_ < shape_.columns) {
            Body::beginCell(column_);
            Body::endCell();
        }
        Body::endRow();
        if (++row_ < shape_.rows)
            openRow();
    }

  private:
    void openRow() {
        Body::beginRow(row_ == 0 && shape_.headerRow);
        column_ = 0;
        Body::beginCell(0);
    }

    const TableShape& shape_;
    std::uint64_t row_ = 0;
    std::size_t column_ = 0;
};

}  // namespace qm
