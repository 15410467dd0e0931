#pragma once

#include "DocumentWriter.h"

#include <cstddef>
#include <cstdint>

namespace qm {

// Writes a Word 97-2003 binary document ([MS-DOC]), the format of `.doc`
// files that every Word since 97, LibreOffice, antiword, catdoc and wvWare
// read: a compound file holding
//
// - the WordDocument stream: the file information block (FIB), the character
//   and paragraph property pages (512-byte FKPs), the text and the section
//   properties;
// - the 1Table stream: the piece table (Clx), the bin tables of the property
//   pages, the stylesheet (with "Normal": Calibri 11 pt, no spacing between
//   paragraphs, as the Office Open XML writer), the font table, the section
//   table and the document properties (DOP).
//
// One paragraph per line of the text (DocumentText.h says how the text is
// carried over); a line break inside a value is a vertical tab, Word's own.
// A table (DocumentContent::layout) is Word's own: each cell a paragraph ended
// by a cell mark (0x07) in the table, each row ended by a mark of its own that
// carries the row's cell edges (and, for the header row, that it repeats on
// every page), and a paragraph after the table; at most 63 columns.
// Text is stored as 8-bit pieces where a long stretch of it is all Latin-1 and
// as UTF-16 pieces elsewhere, each piece on whole 512-byte sectors of the
// stream, as Word lays them out.
//
// The save streams: the text goes into the document stream as it is read from
// the spool, and the paragraph pages, reserved before the text (the spool
// knows the number of lines), are filled in as they complete. Memory holds the
// piece and page lists, a few bytes for each 8-bit/UTF-16 change and for each
// 29 paragraphs.
//
// The format addresses its text with 32-bit positions (8-bit pieces with
// 29-bit ones): a document that does not fit is refused with a qm::Failure
// rather than written damaged.
//
// DocProperties.h builds the property pages and the section properties,
// DocTableStream.h the FIB and the table stream.
class DocWriter : public DocumentWriter {
  public:
    struct Options {
        // Largest WordDocument stream written. Lowered by tests.
        std::uint64_t maxStreamBytes = 0x7FFFFFFFu;
        // An 8-bit piece must start below this offset of the stream, a UTF-16
        // piece below the next one (the FcCompressed field's 30 bits).
        std::uint64_t narrowPieceLimit = std::uint64_t{1} << 29;
        std::uint64_t widePieceLimit = std::uint64_t{1} << 30;
        // After UTF-16 text, a stretch of Latin-1 text gets an 8-bit piece of
        // its own only from this length on: pieces begin and end on 512-byte
        // sectors, so a change costs up to a sector of UTF-16 text, and
        // scattered non-Latin letters must not cut the text into thousands of
        // pieces. At least 512.
        std::size_t minNarrowRun = 1024;
    };

    DocWriter() = default;
    explicit DocWriter(const Options& options) : options_(options) {}

    void write(const DocumentContent& content, QIODevice& device) const override;

  private:
    Options options_;
};

}  // namespace qm
