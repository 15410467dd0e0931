#include "RtfWriter.h"

#include "DocumentTable.h"
#include "DocumentText.h"
#include "TextWriter.h"
#include "shell/TextMarks.h"
#include "shell/Utf8.h"

#include <QLocale>
#include <algorithm>
#include <string>

namespace qm {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

// StoredTextReader's handler: the body of the document, into a buffer that is
// written out whenever it fills.
class RtfBody {
  public:
    explicit RtfBody(QIODevice& device) : device_(device) { out_.reserve(kBufferSize + 64); }

    void ascii(std::string_view run) {
        startText();
        for (const char c : run) {
            if (c == '\\' || c == '{' || c == '}') {
                out_ += '\\';
                out_ += c;
            } else if (c == 0x7F) {
                unicode(0x7F);
            } else {
                out_ += c;
            }
        }
        check();
    }

    void character(char32_t c, std::string_view) {
        startText();
        if (c < 0x10000) {
            unicode(static_cast<std::uint16_t>(c));
        } else {
            // As UTF-16, the way Word writes such characters.
            const char32_t v = c - 0x10000;
            unicode(static_cast<std::uint16_t>(0xD800 + (v >> 10)));
            unicode(static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
        }
        check();
    }

    void tab() {
        startText();
        out_ += "\\tab ";
    }

    void lineBreak() {
        startText();
        out_ += "\\line ";
    }

    // A link is a HYPERLINK field; its result has the look of a link (colour
    // 1 of the colour table, underlined). Emphasis is a change of the
    // character properties, which the next paragraph keeps until reset.
    void linkStart(std::string_view target) {
        startText();
        out_ += "{\\field{\\*\\fldinst{HYPERLINK \"";
        const auto* s = reinterpret_cast<const std::uint8_t*>(target.data());
        const auto* const end = s + target.size();
        while (s < end) {
            std::size_t length = 1;
            char32_t c = *s;
            if (*s >= 0x80 && utf8::Decode(s, end, length, c) != utf8::Sequence::Valid)
                c = '?';
            if (c == '"' || c == '\\') {  // escaped for the field, then for RTF
                out_ += c == '"' ? "\\\\\"" : "\\\\\\\\";
            } else if (c < 0x80) {
                ascii(std::string_view(reinterpret_cast<const char*>(s), 1));
            } else {
                character(c, {});
            }
            s += length;
        }
        out_ += "\"}}{\\fldrslt{\\ul\\cf2 ";
    }
    void linkEnd() { out_ += "}}}"; }
    void emphasis(unsigned bits) {
        startText();
        out_ += "\\b0\\i0\\ulnone";
        if (bits & marks::kBold)
            out_ += "\\b";
        if (bits & marks::kItalic)
            out_ += "\\i";
        if (bits & marks::kUnderline)
            out_ += "\\ul";
        out_ += ' ';
    }

    // Paragraph marks are written when text follows them: the document's last
    // one is left to the end of the document, which closes the last paragraph
    // (readers would otherwise see an empty paragraph after it).
    void paragraphEnd() { ++pendingMarks_; }

    // The table's structure (TableHandler): every row states its borders, its
    // padding and its cells' right edges, and is kept on one page; the header
    // row is marked to repeat on every page, shaded (colour 1 of the header's
    // table, with a clear pattern: LibreOffice shows no background colour alone)
    // and bold. LibreOffice draws no row borders (\trbrdr), only cell borders.
    void setTable(const TablePage& page) {
        const std::string size = std::to_string(page.halfPoints);
        const std::string horizontal = std::to_string(TablePage::kCellPadding);
        const std::string vertical = std::to_string(TablePage::kCellPaddingVertical);
        rowStart_ = "\\trowd\\trgaph" + horizontal + "\\trleft0\\trkeep\\trpaddl" + horizontal + "\\trpaddr" +
                    horizontal + "\\trpaddt" + vertical + "\\trpaddb" + vertical +
                    "\\trpaddfl3\\trpaddfr3\\trpaddft3\\trpaddfb3";
        for (const char* edge : {"t", "l", "b", "r", "h", "v"})
            rowStart_ += std::string("\\trbrdr") + edge + "\\brdrs\\brdrw10";
        std::string cells;
        std::string headerCells;
        std::uint32_t edge = 0;
        for (const std::uint32_t width : page.widths) {
            edge += width;
            cells += "\\cellx" + std::to_string(edge);
            headerCells += "\\clcbpat1\\clshdng0\\cellx" + std::to_string(edge);
        }
        // A row's paragraphs are in the table; its cells share their properties.
        cells += "\r\n\\pard\\intbl\\plain\\f0\\fs" + size + " ";
        headerCells += "\r\n\\pard\\intbl\\plain\\f0\\fs" + size + "\\b ";
        headerRowStart_ = rowStart_ + "\\trhdr" + headerCells;
        rowStart_ += cells;
        tableEnd_ = "\\pard\\plain\\f0\\fs" + size + " ";
    }
    void beginRow(bool header) { out_ += header ? headerRowStart_ : rowStart_; }
    void beginCell(std::size_t) {}
    void endCell() { out_ += "\\cell "; }
    void endRow() {
        out_ += "\\row\r\n";
        check();
    }
    // After the table, the document's last paragraph.
    void endTable() { out_ += tableEnd_; }

    void finish() {
        if (pendingMarks_ > 0)
            --pendingMarks_;
        startText();
        WriteToDevice(device_, out_);
        out_.clear();
    }

  private:
    void startText() {
        for (; pendingMarks_ > 0; --pendingMarks_)
            out_ += "\\par\r\n";
    }

    void unicode(std::uint16_t unit) {
        // \uN takes a signed 16-bit number. The character after it (\uc1) is
        // what readers without Unicode show instead: the same letter in code
        // page 1252 where Latin-1 has it, '?' otherwise. It is written \'hh:
        // some readers (pandoc) mistake a literal fallback for text.
        static constexpr char kHex[] = "0123456789abcdef";
        const std::uint8_t fallback = unit >= 0xA0 && unit <= 0xFF ? static_cast<std::uint8_t>(unit) : '?';
        out_ += "\\u";
        out_ += std::to_string(static_cast<std::int16_t>(unit));
        out_ += "\\'";
        out_ += kHex[fallback >> 4];
        out_ += kHex[fallback & 0x0F];
    }

    void check() {
        if (out_.size() >= kBufferSize) {
            WriteToDevice(device_, out_);
            out_.clear();
        }
    }

    QIODevice& device_;
    std::string out_;
    std::uint64_t pendingMarks_ = 0;
    std::string rowStart_, headerRowStart_, tableEnd_;
};

// The colour table: 1 the shading of a table's header row, 2 the colour of
// links (only where there are marks).
std::string colours(bool table, bool marked) {
    if (!table && !marked)
        return {};
    return std::string("{\\colortbl;\\red217\\green217\\blue217;") +
           (marked ? "\\red5\\green99\\blue193;" : "") + "}\r\n";
}

std::string header(bool marked) {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n"
        "{\\fonttbl{\\f0\\fswiss\\fcharset0 Calibri{\\*\\falt Arial};}}\r\n";
    if (marked)
        out += colours(false, true);
    out += "{\\*\\generator Quillmerge;}\r\n";
    out += letter ? "\\paperw12240\\paperh15840" : "\\paperw11906\\paperh16838";
    out += "\\margl1440\\margr1440\\margt1440\\margb1440\r\n\\pard\\plain\\f0\\fs22 ";
    return out;
}

// A table's: its colours (the header row's shade), then the page and type
// FitTable chose.
std::string header(const TablePage& page, bool marked) {
    const std::string margin = std::to_string(page.margin);
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n"
           "{\\fonttbl{\\f0\\fswiss\\fcharset0 Calibri{\\*\\falt Arial};}}\r\n" +
           colours(true, marked) +
           "{\\*\\generator Quillmerge;}\r\n"
           "\\paperw" +
           std::to_string(page.paperWidth) + "\\paperh" + std::to_string(page.paperHeight) + "\\margl" +
           margin + "\\margr" + margin + "\\margt" + margin + "\\margb" + margin +
           (page.landscape ? "\\landscape" : "") + "\r\n\\sectd" + (page.landscape ? "\\lndscpsxn" : "") +
           "\\pgwsxn" + std::to_string(page.paperWidth) + "\\pghsxn" + std::to_string(page.paperHeight) +
           "\\marglsxn" + margin + "\\margrsxn" + margin + "\\margtsxn" + margin + "\\margbsxn" + margin +
           "\r\n\\pard\\plain\\f0\\fs" + std::to_string(page.halfPoints) + " ";
}

}  // namespace

void RtfWriter::write(const DocumentContent& content, QIODevice& device) const {
    const bool marked = std::any_of(content.texts.begin(), content.texts.end(),
                                    [](const TextSnapshot& text) { return text.markBytes() > 0; });
    if (HasTableRows(content)) {
        const TableShape shape = MeasureTable(content);
        const TablePage page = FitTable(shape);
        WriteToDevice(device, header(page, marked));
        TableHandler<RtfBody> body(shape, device);
        body.setTable(page);
        StoredTextReader<TableHandler<RtfBody>> reader(body);
        body.begin();
        ForEachStoredPiece(content.texts, kStoredPieceSize,
                           [&](std::string_view piece) { reader.feed(piece); });
        reader.finish();
        body.endTable();
        body.finish();
    } else {
        WriteToDevice(device, header(marked));
        RtfBody body(device);
        StoredTextReader<RtfBody> reader(body);
        ForEachStoredPiece(content.texts, kStoredPieceSize,
                           [&](std::string_view piece) { reader.feed(piece); });
        reader.finish();
        body.finish();
    }
    WriteToDevice(device, "}\r\n");
}

}  // namespace qm
