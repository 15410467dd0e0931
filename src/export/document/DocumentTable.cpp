#include "DocumentTable.h"

#include "DocumentText.h"

#include <QChar>
#include <QLocale>
#include <algorithm>
#include <array>
#include <numeric>

namespace qm {

namespace {

// Advance widths of Calibri, the documents' font, in thousandths of an em, as
// its metric-compatible twin Carlito has them: printable ASCII from the blank
// on, and the Cyrillic letters А to я. Other letters count as an average
// accented one a little above Carlito's (upper case wider), East Asian wide
// characters a full em. Bold is taken as kBoldPercent of regular, about the
// widest Carlito's bold letters get.
constexpr std::array<std::uint16_t, 95> kAsciiUnits = {
    226, 326, 401, 498, 507, 715, 682, 221, 303, 303, 498, 498, 250, 306, 252, 386, 507, 507, 507,
    507, 507, 507, 507, 507, 507, 507, 268, 268, 498, 498, 498, 463, 894, 579, 544, 533, 615, 488,
    459, 631, 623, 252, 319, 520, 420, 855, 646, 662, 517, 673, 543, 459, 487, 642, 567, 890, 519,
    487, 468, 307, 386, 307, 498, 498, 291, 479, 525, 423, 525, 498, 305, 471, 525, 229, 239, 455,
    229, 799, 525, 527, 525, 525, 349, 391, 335, 525, 452, 715, 433, 453, 395, 314, 460, 314, 498};
constexpr std::array<std::uint16_t, 64> kCyrillicUnits = {
    579, 538, 544, 430, 644, 488, 801, 474, 642, 642, 543, 611, 855, 623, 662, 622,
    517, 533, 487, 527, 697, 519, 639, 556, 868, 890, 615, 762, 531, 548, 879, 555,
    479, 533, 479, 346, 558, 498, 689, 423, 541, 541, 464, 510, 676, 535, 527, 521,
    525, 423, 387, 453, 624, 433, 542, 469, 729, 749, 536, 666, 470, 443, 722, 474};
constexpr std::uint32_t kOtherLowerUnits = 550;
constexpr std::uint32_t kOtherUpperUnits = 640;
constexpr std::uint32_t kWideUnits = 1000;
constexpr std::uint32_t kBoldPercent = 104;  // Carlito's bold Cyrillic: 103.3 %

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

std::uint32_t fontUnits(char32_t c) {
    if (c >= 0x20 && c < 0x7F)
        return kAsciiUnits[c - 0x20];
    if (c >= 0x410 && c < 0x450)
        return kCyrillicUnits[c - 0x410];
    if (isWide(c))
        return kWideUnits;
    return QChar::isUpper(c) ? kOtherUpperUnits : kOtherLowerUnits;
}

// StoredTextReader's handler: the widths of each column's words and lines in
// the rows read (ColumnMeasure).
class Measures {
  public:
    explicit Measures(TableShape& shape) : shape_(shape) {}

    void ascii(std::string_view run) {
        for (const char c : run)
            add(static_cast<unsigned char>(c));
    }
    void character(char32_t c, std::string_view) { add(c); }
    void tab() { add(U' '); }
    void lineBreak() { endLine(); }
    void cellEnd() {
        endLine();
        ++column_;
    }
    void paragraphEnd() {
        endLine();
        ++rows;
        column_ = 0;
    }

    std::uint64_t rows = 0;

  private:
    bool inHeader() const { return rows == 0 && shape_.headerRow; }
    std::uint32_t shown(std::uint64_t units) const {
        return static_cast<std::uint32_t>(inHeader() ? units * kBoldPercent / 100 : units);
    }

    void add(char32_t c) {
        if (column_ >= shape_.measures.size())
            return;
        const std::uint32_t units = fontUnits(c);
        if (lineCharacters_++ < TableShape::kLongestCounted)
            lineUnits_ += units;
        if (c == U' ') {
            endWord();
            return;
        }
        if (inHeader() || wordCharacters_ < TableShape::kWordCap)
            wordUnits_ += units;
        ++wordCharacters_;
    }

    void endWord() {
        ColumnMeasure& measure = shape_.measures[column_];
        std::uint32_t& widest = inHeader() ? measure.headerWord : measure.valueWord;
        widest = std::max(widest, shown(wordUnits_));
        wordUnits_ = 0;
        wordCharacters_ = 0;
    }

    void endLine() {
        if (column_ >= shape_.measures.size())
            return;
        endWord();
        ColumnMeasure& measure = shape_.measures[column_];
        measure.natural = std::max(measure.natural, shown(lineUnits_));
        lineUnits_ = 0;
        lineCharacters_ = 0;
    }

    TableShape& shape_;
    std::size_t column_ = 0;
    std::uint64_t lineUnits_ = 0;
    std::uint64_t lineCharacters_ = 0;
    std::uint64_t wordUnits_ = 0;
    std::uint64_t wordCharacters_ = 0;
};

// The width of a cell's border line (half a point), which an .odt cell
// holds inside its width.
constexpr std::uint32_t kBorder = 10;

// Twips a cell needs to hold text this wide at this size, with its padding and
// borders and a little room for rounding in the reader's layout.
std::uint32_t cellTwips(std::uint32_t units, std::uint32_t halfPoints) {
    // An em is 10 twips a half point; units are thousandths of it; 1 % spare.
    const std::uint64_t text = (std::uint64_t{units} * halfPoints * 101 + 9999) / 10000;
    return static_cast<std::uint32_t>(text) + 2 * (TablePage::kCellPadding + kBorder);
}

std::uint64_t sum(const std::vector<std::uint32_t>& values) {
    return std::accumulate(values.begin(), values.end(), std::uint64_t{0});
}

// The largest ceiling for which the columns' widths, given by width(i,
// ceiling) and growing with it, add up to no more than total; 0 when none does.
template <class Width>
std::uint32_t largestCeiling(std::size_t count, std::uint32_t high, std::uint32_t total, Width width) {
    const auto fits = [&](std::uint32_t ceiling) {
        std::uint64_t all = 0;
        for (std::size_t i = 0; i < count; ++i)
            all += width(i, ceiling);
        return all <= total;
    };
    std::uint32_t low = 0;
    while (low < high) {
        const std::uint32_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// Minimums for a table too wide for them (headers and values are the
// header's and the values' widest words as cellTwips gives them): the widest
// value words are narrowed first, down to a common width, so they wrap.
// Should the header words alone not fit, the widest of them are halved, one
// column after the other until the table fits, so that as few as can be break,
// each into two pieces; should not even that fit, the widest columns get a
// common width.
std::vector<std::uint32_t> narrowedMinimums(const std::vector<std::uint32_t>& headers,
                                            const std::vector<std::uint32_t>& values, std::uint32_t total) {
    const std::size_t count = headers.size();
    std::vector<std::uint32_t> minimums = headers;
    if (sum(headers) <= total) {
        const std::uint32_t ceiling =
            largestCeiling(count, *std::max_element(values.begin(), values.end()), total,
                           [&](std::size_t i, std::uint32_t ceiling) {
                               return std::max(headers[i], std::min(values[i], ceiling));
                           });
        for (std::size_t i = 0; i < count; ++i)
            minimums[i] = std::max(headers[i], std::min(values[i], ceiling));
        return minimums;
    }
    std::vector<std::size_t> widest(count);
    std::iota(widest.begin(), widest.end(), std::size_t{0});
    std::stable_sort(widest.begin(), widest.end(),
                     [&](std::size_t a, std::size_t b) { return headers[a] > headers[b]; });
    constexpr std::uint32_t kPaddings = 2 * (TablePage::kCellPadding + kBorder);
    for (const std::size_t i : widest) {
        // Six tenths of the word, as its two pieces break between letters.
        minimums[i] = kPaddings + (headers[i] - std::min(headers[i], kPaddings)) * 6 / 10 + 1;
        if (sum(minimums) <= total)
            return minimums;
    }
    const std::uint32_t ceiling =
        largestCeiling(count, *std::max_element(minimums.begin(), minimums.end()), total,
                       [&](std::size_t i, std::uint32_t ceiling) { return std::min(minimums[i], ceiling); });
    for (std::uint32_t& minimum : minimums)
        minimum = std::min(minimum, ceiling);
    return minimums;
}

// The minimums, then the rest of the total: first to the columns short of
// their natural width, then to all of them by natural width.
std::vector<std::uint32_t> share(const std::vector<std::uint32_t>& minimums,
                                 const std::vector<std::uint32_t>& naturals, std::uint32_t total) {
    std::vector<std::uint32_t> widths = minimums;
    std::uint64_t spare = total - std::min<std::uint64_t>(total, sum(minimums));
    std::vector<std::uint32_t> lacking(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i)
        lacking[i] = naturals[i] > widths[i] ? naturals[i] - widths[i] : 0;
    const std::uint64_t lack = sum(lacking);
    if (lack >= spare) {
        for (std::size_t i = 0; i < widths.size() && lack > 0; ++i)
            widths[i] += static_cast<std::uint32_t>(spare * lacking[i] / lack);
    } else {
        spare -= lack;
        std::vector<std::uint32_t> weights(widths.size());
        for (std::size_t i = 0; i < widths.size(); ++i) {
            widths[i] += lacking[i];
            weights[i] = std::max<std::uint32_t>(naturals[i], 1);
        }
        const std::uint64_t weight = sum(weights);
        for (std::size_t i = 0; i < widths.size(); ++i)
            widths[i] += static_cast<std::uint32_t>(spare * weights[i] / weight);
    }
    const std::uint64_t given = sum(widths);
    if (given < total)
        widths.back() += static_cast<std::uint32_t>(total - given);  // what rounding left over
    return widths;
}

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
    shape.measures.assign(shape.columns, {});
    Measures measures(shape);
    StoredTextReader<Measures> reader(measures);
    ForEachStoredPieceWhile(content.texts, 16 * 1024, [&](std::string_view piece) {
        reader.feed(piece);
        return measures.rows < TableShape::kMeasuredRows;  // the first rows are enough
    });
    return shape;
}

TablePage FitTable(const TableShape& shape) {
    struct Choice {
        bool landscape;
        std::uint32_t halfPoints;
    };
    static constexpr std::array<Choice, 5> kChoices = {Choice{false, 22}, Choice{true, 22}, Choice{true, 18},
                                                       Choice{true, 16}, Choice{true, 14}};
    constexpr std::uint32_t kPortraitMargin = 1440;  // an inch, as lines have
    constexpr std::uint32_t kLandscapeMargin = 850;  // 1.5 cm
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    const std::uint32_t shortSide = letter ? 12240 : 11906;
    const std::uint32_t longSide = letter ? 15840 : 16838;

    const std::size_t count = std::max<std::size_t>(shape.columns, 1);
    std::vector<ColumnMeasure> measures = shape.measures;
    measures.resize(count);
    TablePage page;
    std::vector<std::uint32_t> headers(count);
    std::vector<std::uint32_t> values(count);
    std::vector<std::uint32_t> minimums(count);
    std::vector<std::uint32_t> naturals(count);
    for (const Choice& choice : kChoices) {
        page.landscape = choice.landscape;
        page.paperWidth = choice.landscape ? longSide : shortSide;
        page.paperHeight = choice.landscape ? shortSide : longSide;
        page.margin = choice.landscape ? kLandscapeMargin : kPortraitMargin;
        page.halfPoints = choice.halfPoints;
        for (std::size_t i = 0; i < count; ++i) {
            const ColumnMeasure& measure = measures[i];
            headers[i] = cellTwips(std::max(measure.headerWord, kOtherLowerUnits), choice.halfPoints);
            values[i] = cellTwips(measure.valueWord, choice.halfPoints);
            minimums[i] = std::max(headers[i], values[i]);
            naturals[i] = std::max(minimums[i], cellTwips(measure.natural, choice.halfPoints));
        }
        if (sum(minimums) <= page.textWidth())
            break;
    }
    if (sum(minimums) > page.textWidth())
        minimums = narrowedMinimums(headers, values, page.textWidth());
    page.widths = share(minimums, naturals, page.textWidth());
    return page;
}

}  // namespace qm
