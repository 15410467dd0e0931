#pragma once

// Internal to the database layer: what Access shows in a table's datasheet
// where that is not the stored value.
//
// - A lookup column (display control combo or list box, a row source of type
//   "Table/Query" or "Value List") stores a key and shows a column of its row
//   source: the first column whose width in ColumnWidths is not zero; the
//   key is the value of the bound column (BoundColumn, from 1). The row
//   source is a table, a saved query or SQL text of the one shape
//   SelectStatements.h reads, or a value list; it is read once, when the
//   record set opens, into a map from key to shown text. A key that is not
//   in the row source, and any row source of another shape, shows the stored
//   value. A multi-value lookup shows each element's shown value, joined by
//   "; ".
// - A hyperlink column (a memo whose entry carries the hyperlink flag) stores
//   "display#address#sub-address#..." and shows the display text, or the
//   address (without "mailto:") when there is none; a value not in that form
//   shows as it is.
// - A rich-text memo (TextFormat 1) stores HTML and shows its text: each div
//   and paragraph a line of its own, <br> a line break, entities decoded.

#include "database/Value.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace qm {

struct CatalogObject;
struct ConnectionState;
class TableCursor;

// How one column's stored values become what Access shows.
class ShownColumn {
  public:
    virtual ~ShownColumn() = default;
    // The value shown for the current row of the cursor (its column index).
    virtual Value shown(TableCursor& cursor, int column) const = 0;
    // Its text appended to out: the export's path, without a Value between;
    // marked, with the marks of links and emphasis (shell/TextMarks.h).
    virtual void appendShown(TableCursor& cursor, int column, std::string& out, bool /*marked*/) const {
        shown(cursor, column).appendText(out);
    }
};

// For each column of a table (by the cursor's column index), how its values
// are shown; nullptr where the stored value is what Access shows.
struct ShownColumns {
    std::vector<std::shared_ptr<const ShownColumn>> columns;

    const ShownColumn* of(int column) const {
        return column >= 0 && static_cast<std::size_t>(column) < columns.size()
                   ? columns[static_cast<std::size_t>(column)].get()
                   : nullptr;
    }
};

// Works out, once, how the wanted columns of the table are shown, reading
// the row sources of its lookups. Never throws for a row source it cannot
// read: that column then shows its stored values.
std::shared_ptr<const ShownColumns> ReadShownColumns(const std::shared_ptr<ConnectionState>& state,
                                                     const CatalogObject& table, TableCursor& definition,
                                                     const std::vector<int>& wanted);

// The text of rich text (HTML as Access stores it): tags dropped, entities
// decoded, each div and paragraph a line of its own and <br> a line break
// (lines joined by CR LF, as a memo keeps them). Malformed markup is text.
// Marked, bold (b, strong), italic (i, em) and underline (u) are kept as
// emphasis marks (shell/TextMarks.h).
std::string RichTextAsText(std::string_view html, bool marked = false);

// A hyperlink as Access stores it, taken apart; shown is the value as it is
// when it is not in the stored form (no '#').
struct HyperlinkParts {
    std::string shown;
    std::string target;  // address, plus "#" and the sub-address when there is one
};
HyperlinkParts SplitHyperlink(std::string_view stored);

}  // namespace qm
