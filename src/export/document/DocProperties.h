#pragma once

// The properties of a Word 97-2003 document's text (DocWriter.h), as the
// WordDocument stream holds them: the paragraph property pages, filled as the
// text is written; the character property pages, likewise; the section
// properties.

#include "DocStream.h"

#include <QTemporaryFile>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

struct TableShape;
struct TablePage;

namespace doc {

// Finished paragraph pages are written to their places in batches.
inline constexpr std::size_t kPageBatch = 64;

// The kinds of paragraph marks, each with its own paragraph properties.
enum Mark : std::uint8_t {
    kParagraphMark,   // text, or the paragraph after a table
    kCellMark,        // a cell's end (0x07)
    kRowMark,         // a row's end (0x07), with the row's properties
    kHeaderRowMark,   // the same for the header row, marked to repeat on every page
    kHeaderCellMark,  // a cell's end in the header row, in the bold style kHeadingStyle
};

// The paragraph style of the header row's cells (DocTableStream.cpp's
// stylesheet defines it for tables): "Normal", bold.
inline constexpr std::uint16_t kHeadingStyle = 15;

// The paragraph property pages (PapxFkp): one run per paragraph, each ending
// just after its paragraph mark, with the properties of its kind of mark
// (papxs, indexed by Mark: PapxInFkp, an even number of bytes). Pages are
// built as paragraphs end and handed out for writing in batches.
class PapxPages {
  public:
    PapxPages(std::uint32_t firstFc, std::uint32_t reservedPages, std::vector<std::string> papxs)
        : reservedPages_(reservedPages), pageStart_(firstFc), papxs_(std::move(papxs)) {}

    // Runs a page holds at least, whichever of the PAPXs it has.
    static std::uint32_t runsPerPage(const std::vector<std::string>& papxs);

    // The kind of the next paragraph mark, told as the mark is written; its
    // end comes through paragraphEnd later, in the same order.
    void noteMark(Mark mark) { marks_.push_back(mark); }

    void paragraphEnd(std::uint32_t fc);

    // Closes the last, partly filled page.
    void finish() {
        if (!ends_.empty())
            closePage();
    }

    // Finished pages not yet written, and the stream offset where they go.
    bool batchReady() const { return ready_.size() >= kPageBatch * kPageSize; }
    const std::string& readyPages() const { return ready_; }
    std::uint64_t readyOffset() const {
        return kPapxPagesOffset + std::uint64_t{kPageSize} * (pageCount() - ready_.size() / kPageSize);
    }
    void readyWritten() { ready_.clear(); }

    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(pageStarts_.size()); }
    // The bin table's FCs: the first FC of every page, then the end of the last.
    const std::vector<std::uint32_t>& pageStarts() const { return pageStarts_; }
    std::uint32_t end() const { return pageStart_; }

  private:
    // Whether the page being filled takes one more run with this mark.
    bool fits(Mark mark) const;
    void closePage();

    std::uint32_t reservedPages_;
    std::uint32_t pageStart_;
    std::vector<std::string> papxs_;
    std::deque<Mark> marks_;           // of marks written whose ends have not come yet
    std::vector<std::uint32_t> ends_;  // of the page being filled
    std::vector<Mark> endMarks_;
    unsigned used_ = 0;          // the marks of the page being filled, one bit each
    std::size_t usedBytes_ = 0;  // the size of their PAPXs
    std::vector<std::uint32_t> pageStarts_;
    std::string ready_;
};

// The paragraph properties of plain text, by Mark: only the paragraph mark's,
// style 0 ("Normal") and nothing else.
std::vector<std::string> LinePapxs();
// The paragraph properties of a table's marks, by Mark: every cell is in the
// table (depth 1), a header cell in kHeadingStyle; the row mark also defines
// the row: its cell edges (from FitTable), the space between text and cell
// edge, thin black borders, that it is never split across pages, and for the
// header row that it repeats on every page and is shaded.
std::vector<std::string> TablePapxs(const TableShape& shape, const TablePage& page);

// How a run of text looks beyond the paragraph style: the emphasis bits of
// shell/TextMarks.h (bold, italic, underline) and these.
enum Look : std::uint8_t {
    kLinkLook = 8,         // the shown text of a link: blue, underlined
    kFieldCharacter = 16,  // a field's begin, separator or end character
};

// The character properties (Chpx: cb, then the sprms) of a look; empty for
// the paragraph style's own.
std::string ChpxOf(std::uint8_t look);

// The character property pages (ChpxFkp): a run wherever the look changes,
// over the whole text, from textStart on. Pages are built as the text is
// written; whole batches of them wait in a temporary file, so memory holds a
// batch and the page list, whatever the number of runs. A text without a
// change has one page with one run in the paragraph style's properties.
class ChpxPages {
  public:
    explicit ChpxPages(std::uint32_t textStart) : runStart_(textStart), pageStart_(textStart) {}

    // From fc on, the text looks so. Calls come in the order of the text.
    void change(std::uint32_t fc, std::uint8_t look);
    // Ends the last run at the end of the text and closes the last page.
    void finish(std::uint32_t textEnd);

    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(pageStarts_.size()); }
    // The bin table's FCs: the first FC of every page, then the end of the last.
    const std::vector<std::uint32_t>& pageStarts() const { return pageStarts_; }
    std::uint32_t end() const { return pageStart_; }
    // Hands every page, in order, to write; after finish.
    void writePages(const std::function<void(std::string_view)>& write) const;

  private:
    bool fits(std::uint8_t look) const;
    void addRun(std::uint32_t end, std::uint8_t look);
    void closePage();

    std::uint32_t runStart_;
    std::uint8_t look_ = 0;
    std::uint32_t pageStart_;
    std::vector<std::uint32_t> ends_;  // of the runs of the page being filled
    std::vector<std::uint8_t> looks_;
    std::uint32_t used_ = 0;     // the looks of the page being filled, one bit each
    std::size_t chpxBytes_ = 0;  // the room their Chpxs take on the page
    std::vector<std::uint32_t> pageStarts_;
    std::string ready_;  // finished pages not yet in the file
    std::unique_ptr<QTemporaryFile> spill_;
};

// Section properties (a SEPX): the page size of the user's locale (Letter
// where it measures in inches, A4 elsewhere) and one-inch margins, as in .docx
// files; for a table, the page FitTable chose.
std::string Sepx(const TablePage* table = nullptr);

}  // namespace doc
}  // namespace qm
