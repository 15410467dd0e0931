#pragma once

// What every writer needs to lay a table out (DocumentContent::layout Table):
// its size, and column widths measured on its first rows; and the handler that
// turns the reader's paragraphs and cell ends into rows and cells.

#include "DocumentWriter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

// How wide a column's text is, measured on its first rows in thousandths of
// an em of the document's font (FontUnits in DocumentTable.cpp).
struct ColumnMeasure {
    std::uint32_t headerWord = 0;  // the header's widest word, in bold
    std::uint32_t valueWord = 0;   // the values' widest word, its first kWordCap characters
    std::uint32_t natural = 0;     // the widest line of header or values, its first kLongestCounted
};

struct TableShape {
    std::uint64_t rows = 0;               // every line of the texts is a row
    std::size_t columns = 0;              // the most cells of a row; shorter rows get empty cells
    bool headerRow = false;               // the first row repeats at the top of every page
    std::vector<ColumnMeasure> measures;  // per column, of the first kMeasuredRows rows

    static constexpr std::uint64_t kMeasuredRows = 101;  // a header row and 100 records
    static constexpr std::uint32_t kLongestCounted = 40;
    // A longer value word (an e-mail address, a link) wraps in its cell.
    static constexpr std::uint32_t kWordCap = 12;
};

// True when the content is a table with at least one row; an empty table is
// written as an empty document.
bool HasTableRows(const DocumentContent& content);

// Reads the first rows of the table. Throws qm::Failure when the spool cannot
// be read.
TableShape MeasureTable(const DocumentContent& content);

// The page and type a table is laid out on, and its columns' widths (twips).
// The paper is the user's locale's (Letter where it measures in inches, A4
// elsewhere), turned for landscape.
struct TablePage {
    bool landscape = false;
    std::uint32_t paperWidth = 0;   // as the paper lies, twips
    std::uint32_t paperHeight = 0;  // likewise
    std::uint32_t margin = 0;       // each of the four sides
    std::uint32_t halfPoints = 22;  // the font size
    std::vector<std::uint32_t> widths;

    std::uint32_t textWidth() const { return paperWidth - 2 * margin; }
    // The space between a cell's text and its left or right edge.
    static constexpr std::uint32_t kCellPadding = 57;  // 1 mm
    // Above and below a cell's text.
    static constexpr std::uint32_t kCellPaddingVertical = 29;  // half a millimetre
};

// Chooses the first of portrait at 11 pt and landscape at 11, 9, 8 and 7 pt
// (with narrow margins) where every column gets at least its header's widest
// word and its values' widest word (up to TableShape::kWordCap characters);
// what is left of the text width goes first to the columns short of their
// natural width, in proportion to what they lack, then to all by natural
// width. When not even landscape at 7 pt holds those minimums, the widest
// value words wrap first; only when the header words alone do not fit are
// the widest of them broken, into two pieces at most where that fits.
TablePage FitTable(const TableShape& shape);

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
