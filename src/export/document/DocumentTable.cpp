#include "DocumentTable.h"

#include "DocumentText.h"

#include <QLocale>
#include <algorithm>
#include <numeric>

namespace qm {

namespace {

// StoredTextReader's handler: the length of each column's longest line in the
// rows read.
class Lengths {
  public:
    explicit Lengths(TableShape& shape) : shape_(shape) {}

    void ascii(std::string_view run) { add(run.size()); }
    void character(char32_t, std::string_view) { add(1); }
    void tab() { add(1); }
    void lineBreak() { line_ = 0; }
    void cellEnd() {
        ++column_;
        line_ = 0;
    }
    void paragraphEnd() {
        ++rows;
        column_ = 0;
        line_ = 0;
    }

    std::uint64_t rows = 0;

  private:
    void add(std::size_t count) {
        if (column_ >= shape_.lengths.size())
            return;
        line_ += count;
        std::uint32_t& length = shape_.lengths[column_];
        length = static_cast<std::uint32_t>(
            std::max<std::uint64_t>(length, std::min<std::uint64_t>(line_, TableShape::kLongestCounted)));
    }

    TableShape& shape_;
    std::size_t column_ = 0;
    std::uint64_t line_ = 0;
};

}  // namespace

bool HasTableRows(const DocumentContent& content) {
    if (content.layout != DocumentLayout::Table)
        return false;
    return std::any_of(content.texts.begin(), content.texts.end(),
                       [](const TextSnapshot& text) { return text.lineCount() > 0; });
}

TableShape MeasureTable(const DocumentContent& content) {
    TableShape shape;
    shape.headerRow = content.headerRow;
    for (const TextSnapshot& text : content.texts) {
        shape.rows += text.lineCount();
        shape.columns = std::max(shape.columns, std::max<std::size_t>(text.columnCount(), 1));
    }
    shape.lengths.assign(shape.columns, 0);
    Lengths lengths(shape);
    StoredTextReader<Lengths> reader(lengths);
    ForEachStoredPieceWhile(content.texts, 16 * 1024, [&](std::string_view piece) {
        reader.feed(piece);
        return lengths.rows < TableShape::kMeasuredRows;  // the first rows are enough
    });
    return shape;
}

std::uint32_t TextWidthTwips() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return (letter ? 12240u : 11906u) - 2 * 1440u;
}

std::vector<std::uint32_t> ColumnWidths(const TableShape& shape, std::uint32_t total, std::uint32_t minimum) {
    const std::size_t count = std::max<std::size_t>(shape.columns, 1);
    std::vector<std::uint32_t> widths(count, static_cast<std::uint32_t>(total / count));
    if (std::uint64_t{minimum} * count > total)
        return widths;
    std::vector<std::uint64_t> weights(count, 1);
    for (std::size_t i = 0; i < count && i < shape.lengths.size(); ++i)
        weights[i] = std::max<std::uint64_t>(shape.lengths[i], 1);
    const std::uint64_t sum = std::accumulate(weights.begin(), weights.end(), std::uint64_t{0});
    const std::uint64_t spare = total - std::uint64_t{minimum} * count;
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < count; ++i) {
        widths[i] = static_cast<std::uint32_t>(minimum + spare * weights[i] / sum);
        given += widths[i];
    }
    widths.back() += static_cast<std::uint32_t>(total - given);  // what rounding left over
    return widths;
}

}  // namespace qm
