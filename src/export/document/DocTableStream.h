#pragma once

// What describes a Word 97-2003 document's WordDocument stream (DocWriter.h)
// once its text is written: the file information block (FIB) at the stream's
// start, and the table stream (1Table) the FIB points into, with the piece
// table (Clx), the bin tables of the property pages, the field table, the
// stylesheet, the font table, the section table and the document properties
// (DOP).

#include "DocStream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct DocumentContent;
struct TablePage;

namespace doc {

class PapxPages;
class ChpxPages;

// A piece of the piece table: where its characters begin in the text (CP) and
// in the stream (FC), and whether they are stored 8-bit.
struct Piece {
    std::uint32_t cp;
    std::uint32_t fc;
    bool narrow;
};

// Where the parts of the written WordDocument stream lie.
struct StreamLayout {
    std::uint32_t textStart = 0;       // the FC of the text's first character
    std::uint32_t textEnd = 0;         // the FC after its last
    std::uint32_t characterCount = 0;  // the text's CPs
    std::uint32_t chpxPage = 0;        // the first character property page's number (offset / kPageSize)
    std::uint32_t fcSepx = 0;          // the section properties' offset
    std::uint64_t streamEnd = 0;       // the stream's size, up to the end of what has meaning
};

struct DocumentDescription {
    std::string fib;          // kFibArea bytes, for the start of the WordDocument stream
    std::string tableStream;  // the whole 1Table stream
};

// The property pages of the text, and the CPs of its field characters: each
// field a HYPERLINK field's begin, separator and end, in the order of the text.
struct TextProperties {
    const PapxPages& paragraphs;
    const ChpxPages& characters;
    const std::vector<std::uint32_t>& fields;
};

// The FIB and the table stream of a WordDocument stream laid out as layout
// says, with the text's pieces and properties; a table's page (FitTable) sets
// the type's size and adds its header cells' style.
DocumentDescription DescribeDocument(const DocumentContent& content, const StreamLayout& layout,
                                     const std::vector<Piece>& pieces, const TextProperties& properties,
                                     const TablePage* table);

}  // namespace doc
}  // namespace qm
