#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

struct TableShape;
struct TablePage;

// Turns document text, in the spool's stored form (TextSpool::kEscape), into
// the paragraphs of a WordprocessingML body, piece by piece, so a text of any
// size streams through a small buffer. The text is taken apart by the reader
// every format uses (StoredTextReader, DocumentText.h):
//
// - Each line (ended by CR LF) becomes one paragraph; a text that does not end
//   in CR LF ends with a paragraph holding the rest.
// - A line break inside a value becomes <w:br/> in its record's paragraph:
//   a CR LF that was inside an appended line, and a lone CR or a lone LF. (In
//   the plain text a value's CR LF cannot be told from a line end; the stored
//   form keeps the difference.)
// - A tab becomes <w:tab/>; all blanks are kept (xml:space="preserve").
// - A link (shell/TextMarks.h) becomes a HYPERLINK field around its text, in
//   the colour and underline of Word's links; bold, italic and underline
//   become the runs' properties.
// - &, < and > are escaped.
// - What XML 1.0 forbids, and what would make the whole document unreadable,
//   becomes U+FFFD: C0 controls other than tab, CR and LF; U+FFFE and U+FFFF;
//   invalid UTF-8, surrogates included, one U+FFFD for each maximal ill-formed
//   subsequence as Unicode recommends (the way Python and browsers decode).
//
// Built with a table's shape, the text is the rows of one table (w:tbl, the
// header row marked w:tblHeader to repeat on every page and shaded, no row
// split across pages, fixed column widths from FitTable, the table style
// "Records" that the styles part defines), each cell one paragraph, followed
// by an empty paragraph.
class BodyXmlBuilder {
  public:
    BodyXmlBuilder();
    // The shape must outlive the builder.
    BodyXmlBuilder(const TableShape& table, const TablePage& page);
    ~BodyXmlBuilder();
    BodyXmlBuilder(const BodyXmlBuilder&) = delete;
    BodyXmlBuilder& operator=(const BodyXmlBuilder&) = delete;

    // Appends the XML for the piece to out. Pieces may split lines and
    // characters anywhere.
    void feed(std::string_view stored, std::string& out);
    // Closes the last paragraph; writes one empty paragraph when the text was
    // empty, as a document always has at least one.
    void finish(std::string& out);

    std::uint64_t paragraphCount() const;

    // Upper bound of the XML one stored byte and one line can give, for sizing.
    static constexpr std::uint64_t kMaxBytesPerByte = 48;
    static constexpr std::uint64_t kMaxBytesPerLine = 64;
    // And of each cell of a table, with room for its row's share.
    static constexpr std::uint64_t kMaxBytesPerCell = 160;
    // And of each stored byte of a mark (a link's field, a run's emphasis).
    static constexpr std::uint64_t kMaxBytesPerMarkByte = 160;

    // The text is read as every format reads it (StoredTextReader, DocumentText.h).
    class Body;
    struct Reader;

  private:
    void start(std::string& out);

    std::unique_ptr<Reader> reader_;
    std::string tableStart_;  // the table's opening, empty for lines
    bool started_ = false;
};

}  // namespace qm
