#include "DocWriter.h"

#include "DocProperties.h"
#include "DocStream.h"
#include "DocTableStream.h"
#include "DocumentTable.h"
#include "DocumentText.h"
#include "GsfSupport.h"
#include "shell/Failure.h"
#include "shell/TextMarks.h"
#include "shell/Utf8.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace qm {
namespace doc {

namespace {

// Text gathers in a buffer of this size before it goes to the stream.
constexpr std::size_t kTextBufferSize = 1024 * 1024;

// A document stream of at least this size lies in the compound file's big
// sectors.
constexpr std::uint64_t kMiniStreamCutoff = 4096;

// Word's class id, {00020906-0000-0000-C000-000000000046}, in its stored byte order.
constexpr std::array<std::uint8_t, 16> kWordClassId = {0x06, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Word 97 tables have at most this many columns.
constexpr std::size_t kMaxTableColumns = 63;

[[noreturn]] void tooLarge() {
    throw Failure(QStringLiteral(
        "The document is too large for the Word 97-2003 format (.doc); save it as a .docx document instead"));
}

// Lays the document text out in the WordDocument stream, as StoredTextReader's
// handler. Latin-1 characters (and the marks Word uses: paragraph end, tab,
// line break) take one byte in an 8-bit piece; everything else two or four
// bytes in a UTF-16 piece.
//
// Every piece starts at a 512-byte boundary of the stream and all but the last
// one end at such a boundary, without padding: Word lays its own pieces out
// that way, and readers rely on it (antiword reads a piece that ends inside a
// sector up to the sector's end). So an 8-bit piece keeps its last partial
// sector (tail_) open until the next sector fills; should a non-Latin
// character come first, those characters move into the UTF-16 piece that
// follows. After UTF-16 text, Latin-1 characters wait in pending_ until they
// make a run long enough for an 8-bit piece (the UTF-16 piece takes the first
// of them, to end on a sector boundary); a shorter run joins the UTF-16 text.
// Where a paragraph ends and where the look of the text changes is known by
// its place among the characters waiting, and told to the property pages as
// they are placed.
//
// A link is a HYPERLINK field: its begin character, the instruction with
// the address, the separator, the shown text with the look of a link, the
// end character; the field characters' CPs go into the field table.
class TextLayout {
  public:
    TextLayout(GsfOutput* stream, const GsfDeviceOutput& sink, const DocWriter::Options& options,
               std::uint32_t textStart, PapxPages& pages, ChpxPages& looks,
               std::vector<std::uint32_t>& fields)
        : stream_(stream),
          sink_(sink),
          options_(options),
          written_(textStart),
          pages_(pages),
          looks_(looks),
          fields_(fields) {
        buffer_.reserve(kTextBufferSize + 2 * kPageSize);
    }

    void ascii(std::string_view run) {
        switch (mode_) {
            case Mode::None:
                mode_ = Mode::Narrow;
                [[fallthrough]];
            case Mode::Narrow:
                tail_.append(run);
                cp_ += run.size();
                if (tail_.size() >= kPageSize)
                    commitTail(false);
                break;
            case Mode::Wide:
                pending_.append(run);
                cp_ += run.size();
                if (pending_.size() >= options_.minNarrowRun)
                    pendingToNarrow();
                break;
        }
    }

    void character(char32_t c, std::string_view) {
        if (c >= 0xA0 && c <= 0xFF) {
            const char byte = static_cast<char>(c);
            ascii(std::string_view(&byte, 1));
            return;
        }
        if (mode_ == Mode::Wide)
            joinWide(pending_, pendingPoints_);
        else
            startWide();
        if (c < 0x10000) {
            put16(buffer_, static_cast<std::uint16_t>(c));
            cp_ += 1;
        } else {
            const char32_t v = c - 0x10000;
            put16(buffer_, static_cast<std::uint16_t>(0xD800 + (v >> 10)));
            put16(buffer_, static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
            cp_ += 2;
        }
        checkBuffer();
    }

    void tab() { ascii("\t"); }
    void lineBreak() { ascii("\v"); }

    void paragraphEnd() { mark("\r", kParagraphMark); }

    void linkStart(std::string_view target) {
        fieldCharacter('\x13');
        setLook(0);
        ascii(" HYPERLINK \"");
        const auto* s = reinterpret_cast<const std::uint8_t*>(target.data());
        const auto* const end = s + target.size();
        while (s < end) {
            std::size_t length = 1;
            char32_t c = *s;
            if (*s >= 0x80 && utf8::Decode(s, end, length, c) != utf8::Sequence::Valid)
                c = 0xFFFD;
            if (c == '"' || c == '\\')
                ascii("\\");
            if (c < 0x80)
                ascii(std::string_view(reinterpret_cast<const char*>(s), 1));
            else
                character(c, {});
            s += length;
        }
        ascii("\" ");
        fieldCharacter('\x14');
        link_ = true;
        setLook(static_cast<std::uint8_t>(emphasis_ | kLinkLook));
    }

    void linkEnd() {
        fieldCharacter('\x15');
        link_ = false;
        setLook(emphasis_);
    }

    void emphasis(unsigned bits) {
        emphasis_ = static_cast<std::uint8_t>(bits & marks::kAllEmphasis);
        setLook(static_cast<std::uint8_t>(emphasis_ | (link_ ? kLinkLook : 0)));
    }

    // The table's structure (TableHandler): a cell is one paragraph ended by a
    // cell mark; after the last cell a row mark, a paragraph of its own that
    // carries the row's properties.
    void beginRow(bool header) { headerRow_ = header; }
    void beginCell(std::size_t) {}
    void endCell() { mark("\a", headerRow_ ? kHeaderCellMark : kCellMark); }
    void endRow() { mark("\a", headerRow_ ? kHeaderRowMark : kRowMark); }

    // Writes what is left; the stream is then at end().
    void finish() {
        if (mode_ == Mode::Wide)
            joinWide(pending_, pendingPoints_);
        else
            commitTail(true);
        flush();
    }

    std::uint32_t end() const { return fc(); }
    std::uint32_t characterCount() const { return static_cast<std::uint32_t>(cp_); }
    const std::vector<Piece>& pieces() const { return pieces_; }

  private:
    enum class Mode { None, Narrow, Wide };

    // A place among the characters waiting (tail_ or pending_), by its offset
    // there: just after a paragraph mark, or where the text takes a look.
    struct Point {
        std::uint32_t offset;
        std::uint8_t look;  // kParagraphEnd for a paragraph's end
    };
    static constexpr std::uint8_t kParagraphEnd = 0xFF;

    std::string& open() { return mode_ == Mode::Wide ? pending_ : tail_; }
    std::vector<Point>& openPoints() { return mode_ == Mode::Wide ? pendingPoints_ : tailPoints_; }

    void mark(std::string_view character, Mark kind) {
        openPoints().push_back({static_cast<std::uint32_t>(open().size() + 1), kParagraphEnd});
        pages_.noteMark(kind);
        ascii(character);
    }

    // The characters that follow look so.
    void setLook(std::uint8_t look) {
        if (look == look_)
            return;
        look_ = look;
        openPoints().push_back({static_cast<std::uint32_t>(open().size()), look});
    }

    void fieldCharacter(char c) {
        setLook(kFieldCharacter);
        fields_.push_back(static_cast<std::uint32_t>(cp_));
        ascii(std::string_view(&c, 1));
    }

    // A point placed at the stream offset fc.
    void place(const Point& point, std::uint32_t fc) {
        if (point.look == kParagraphEnd)
            pages_.paragraphEnd(fc);
        else
            looks_.change(fc, point.look);
    }

    // The stream offset of the next committed byte.
    std::uint32_t fc() const { return static_cast<std::uint32_t>(written_ + buffer_.size()); }

    // Records that committed text of a kind starts here; a piece of the same
    // kind just before simply grows.
    void notePiece(bool narrow, std::uint64_t cp) {
        if (!pieces_.empty() && pieces_.back().narrow == narrow)
            return;
        const std::uint64_t at = written_ + buffer_.size();
        if (at >= (narrow ? options_.narrowPieceLimit : options_.widePieceLimit))
            tooLarge();
        pieces_.push_back({static_cast<std::uint32_t>(cp), static_cast<std::uint32_t>(at), narrow});
    }

    // Commits the whole sectors of the 8-bit tail, or all of it at the end.
    void commitTail(bool all) {
        const std::size_t size = all ? tail_.size() : tail_.size() / kPageSize * kPageSize;
        if (size == 0)
            return;
        notePiece(true, cp_ - tail_.size());
        const std::uint32_t start = fc();
        buffer_.append(tail_, 0, size);
        std::size_t released = 0;
        for (; released < tailPoints_.size() && tailPoints_[released].offset <= size; ++released)
            place(tailPoints_[released], start + tailPoints_[released].offset);
        tailPoints_.erase(tailPoints_.begin(), tailPoints_.begin() + static_cast<std::ptrdiff_t>(released));
        for (Point& point : tailPoints_)
            point.offset -= static_cast<std::uint32_t>(size);
        tail_.erase(0, size);
        checkBuffer();
    }

    // A non-Latin character after 8-bit text: the open tail becomes the
    // start of a UTF-16 piece.
    void startWide() {
        if (fc() + 2 * tail_.size() >= options_.maxStreamBytes)
            tooLarge();
        mode_ = Mode::Wide;
        joinWide(tail_, tailPoints_);
    }

    // Characters waiting as 8-bit (the tail, or pending) join the UTF-16 text.
    void joinWide(std::string& chars, std::vector<Point>& ends) {
        notePiece(false, cp_ - chars.size());
        const std::uint32_t start = fc();
        for (const char c : chars)
            put16(buffer_, static_cast<std::uint8_t>(c));
        for (const Point& point : ends)
            place(point, start + 2 * point.offset);
        chars.clear();
        ends.clear();
        checkBuffer();
    }

    // A long enough Latin-1 run after UTF-16 text: the UTF-16 piece takes the
    // first of its characters to end on a sector boundary, the rest start an
    // 8-bit piece. Past the offset where 8-bit pieces may start, the run stays
    // UTF-16.
    void pendingToNarrow() {
        const std::uint32_t lead = (kPageSize - fc() % kPageSize) % kPageSize / 2;
        if (fc() + 2 * lead >= options_.narrowPieceLimit) {
            joinWide(pending_, pendingPoints_);
            return;
        }
        std::string first = pending_.substr(0, lead);
        std::vector<Point> firstPoints;
        std::size_t moved = 0;
        for (; moved < pendingPoints_.size() && pendingPoints_[moved].offset <= lead; ++moved)
            firstPoints.push_back(pendingPoints_[moved]);
        const std::uint64_t cpAfter = cp_;
        cp_ -= pending_.size() - lead;  // joinWide counts back from cp_
        joinWide(first, firstPoints);
        cp_ = cpAfter;
        tail_ = pending_.substr(lead);
        for (std::size_t i = moved; i < pendingPoints_.size(); ++i)
            tailPoints_.push_back({pendingPoints_[i].offset - lead, pendingPoints_[i].look});
        pending_.clear();
        pendingPoints_.clear();
        mode_ = Mode::Narrow;
        if (tail_.size() >= kPageSize)
            commitTail(false);
    }

    void checkBuffer() {
        if (buffer_.size() >= kTextBufferSize || pages_.batchReady())
            flush();
    }

    void flush() {
        if (written_ + buffer_.size() > options_.maxStreamBytes)
            tooLarge();
        WriteGsf(stream_, buffer_, sink_);
        written_ += buffer_.size();
        buffer_.clear();
        if (!pages_.readyPages().empty()) {
            SeekGsf(stream_, pages_.readyOffset(), sink_);
            WriteGsf(stream_, pages_.readyPages(), sink_);
            pages_.readyWritten();
            SeekGsf(stream_, written_, sink_);
        }
    }

    GsfOutput* stream_;
    const GsfDeviceOutput& sink_;
    const DocWriter::Options& options_;
    std::uint64_t written_;  // stream offset of buffer_
    std::string buffer_;     // committed text not yet in the stream
    PapxPages& pages_;
    ChpxPages& looks_;
    std::vector<std::uint32_t>& fields_;  // CPs of the field characters
    Mode mode_ = Mode::None;
    std::uint64_t cp_ = 0;  // characters so far, open ones included
    // 8-bit characters of the last, partial sector of an 8-bit piece.
    std::string tail_;
    // Latin-1 characters after UTF-16 text, not yet placed.
    std::string pending_;
    // The points in tail_ and pending_.
    std::vector<Point> tailPoints_;
    std::vector<Point> pendingPoints_;
    std::vector<Piece> pieces_;
    bool headerRow_ = false;
    std::uint8_t look_ = 0;
    std::uint8_t emphasis_ = 0;
    bool link_ = false;
};

template <class Handler>
void readText(const DocumentContent& content, Handler& handler) {
    StoredTextReader<Handler> reader(handler);
    ForEachStoredPiece(content.texts, kStoredPieceSize, [&](std::string_view piece) { reader.feed(piece); });
    reader.finish();
}

// The table's shape, when the content is a table; refused when Word 97 cannot
// hold that many columns.
std::optional<TableShape> measureTable(const DocumentContent& content) {
    if (!HasTableRows(content))
        return std::nullopt;
    TableShape shape = MeasureTable(content);
    if (shape.columns > kMaxTableColumns)
        throw Failure(QStringLiteral("A table in the Word 97-2003 format (.doc) has at most %1 columns, "
                                     "this one would have %2; choose fewer fields, or save it as a "
                                     ".docx or .odt document")
                          .arg(kMaxTableColumns)
                          .arg(shape.columns));
    return shape;
}

// The paragraph count the text will give (DocumentText.h): one per line, at
// least one; one more for a text that does not end in a line end. A table's
// rows have a paragraph per cell and one for the row's end, and a paragraph
// follows the table.
std::uint64_t paragraphBound(const DocumentContent& content, const std::optional<TableShape>& shape) {
    if (shape)
        return shape->rows * (shape->columns + 1) + 2;
    std::uint64_t lines = 0;
    for (const TextSnapshot& text : content.texts)
        lines += text.lineCount();
    return lines + 1;
}

// The paragraph pages to reserve before the text: enough for every paragraph
// it can have.
std::uint64_t reservedPapxPages(const DocumentContent& content, const std::optional<TableShape>& shape,
                                const std::vector<std::string>& papxs) {
    const std::uint32_t runsPerPage = PapxPages::runsPerPage(papxs);
    return (paragraphBound(content, shape) + runsPerPage - 1) / runsPerPage;
}

GsfOutfilePtr newCompoundFile(const GsfDeviceOutput& sink) {
    GsfOutfilePtr file(gsf_outfile_msole_new(sink.get()));
    if (!file)
        throw Failure(QStringLiteral("Could not start the compound file"));
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(file.get()), kWordClassId.data());
    return file;
}

// Room for the FIB and the property pages, before the text.
void writeZeros(GsfOutput* stream, const GsfDeviceOutput& sink, std::uint64_t count) {
    const std::string zeros(64 * kPageSize, '\0');
    for (std::uint64_t left = count; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        WriteGsf(stream, std::string_view(zeros).substr(0, piece), sink);
        left -= piece;
    }
}

// What the text left in the stream.
struct WrittenText {
    std::uint32_t end;
    std::uint32_t characterCount;
    std::vector<Piece> pieces;
};

WrittenText finishText(TextLayout& layout, PapxPages& pages, ChpxPages& looks) {
    layout.finish();
    pages.finish();
    looks.finish(layout.end());
    return {layout.end(), layout.characterCount(), layout.pieces()};
}

// The text, from textStart on, the paragraph and character pages as they
// fill, and the CPs of the field characters.
WrittenText writeText(const DocumentContent& content, const std::optional<TableShape>& shape,
                      GsfOutput* stream, const GsfDeviceOutput& sink, const DocWriter::Options& options,
                      std::uint32_t textStart, PapxPages& pages, ChpxPages& looks,
                      std::vector<std::uint32_t>& fields) {
    if (shape) {
        TableHandler<TextLayout> rows(*shape, stream, sink, options, textStart, pages, looks, fields);
        rows.begin();
        readText(content, rows);
        rows.TextLayout::paragraphEnd();  // a document never ends in a table
        return finishText(rows, pages, looks);
    }
    TextLayout lines(stream, sink, options, textStart, pages, looks, fields);
    readText(content, lines);
    return finishText(lines, pages, looks);
}

// After the text: the character pages, the section properties, then zeros
// up to 4096 bytes, so that even a small document stream lies in the
// file's big sectors, like every document stream Word writes.
StreamLayout writeAfterText(GsfOutput* stream, const GsfDeviceOutput& sink, std::uint32_t textStart,
                            const WrittenText& text, const ChpxPages& looks, std::uint64_t maxStreamBytes,
                            const TablePage* page) {
    const std::uint32_t chpxOffset = (text.end + kPageSize - 1) / kPageSize * kPageSize;
    StreamLayout layout;
    layout.textStart = textStart;
    layout.textEnd = text.end;
    layout.characterCount = text.characterCount;
    layout.chpxPage = chpxOffset / kPageSize;
    const std::uint64_t fcSepx = chpxOffset + std::uint64_t{kPageSize} * looks.pageCount();
    const std::string sepx = Sepx(page);
    layout.streamEnd = fcSepx + sepx.size();
    if (layout.streamEnd > maxStreamBytes)
        tooLarge();
    layout.fcSepx = static_cast<std::uint32_t>(fcSepx);
    WriteGsf(stream, std::string(chpxOffset - text.end, '\0'), sink);
    looks.writePages([&](std::string_view pages) { WriteGsf(stream, pages, sink); });
    std::string tail = sepx;
    if (layout.streamEnd < kMiniStreamCutoff)
        tail.append(static_cast<std::size_t>(kMiniStreamCutoff - layout.streamEnd), '\0');
    WriteGsf(stream, tail, sink);
    return layout;
}

// Back to the start: the last paragraph pages, then the FIB.
void writeStreamStart(GsfOutput* stream, const GsfDeviceOutput& sink, const PapxPages& pages,
                      const std::string& fib) {
    if (!pages.readyPages().empty()) {
        SeekGsf(stream, pages.readyOffset(), sink);
        WriteGsf(stream, pages.readyPages(), sink);
    }
    SeekGsf(stream, 0, sink);
    WriteGsf(stream, fib, sink);
}

}  // namespace

}  // namespace doc

void DocWriter::write(const DocumentContent& content, QIODevice& device) const {
    const std::optional<TableShape> shape = doc::measureTable(content);
    std::optional<TablePage> page;
    if (shape)
        page = FitTable(*shape);
    const std::vector<std::string> papxs = shape ? doc::TablePapxs(*shape, *page) : doc::LinePapxs();
    const std::uint64_t reservedPages = doc::reservedPapxPages(content, shape, papxs);
    const std::uint64_t textStart = doc::kPapxPagesOffset + reservedPages * doc::kPageSize;
    if (textStart >= options_.maxStreamBytes)
        doc::tooLarge();

    GsfDeviceOutput sink(device);
    const GsfOutfilePtr file = doc::newCompoundFile(sink);
    // The WordDocument stream: room for the FIB and the property pages, then the text.
    const GsfOutputPtr stream = NewGsfChild(file.get(), "WordDocument");
    doc::writeZeros(stream.get(), sink, textStart);
    doc::PapxPages pages(static_cast<std::uint32_t>(textStart), static_cast<std::uint32_t>(reservedPages),
                         papxs);
    doc::ChpxPages looks(static_cast<std::uint32_t>(textStart));
    std::vector<std::uint32_t> fields;
    const doc::WrittenText text = doc::writeText(content, shape, stream.get(), sink, options_,
                                                 static_cast<std::uint32_t>(textStart), pages, looks, fields);
    const doc::StreamLayout layout =
        doc::writeAfterText(stream.get(), sink, static_cast<std::uint32_t>(textStart), text, looks,
                            options_.maxStreamBytes, page ? &*page : nullptr);
    const doc::DocumentDescription description =
        doc::DescribeDocument(content, layout, text.pieces, {pages, looks, fields}, page ? &*page : nullptr);
    doc::writeStreamStart(stream.get(), sink, pages, description.fib);
    CloseGsf(stream.get(), sink);

    const GsfOutputPtr tableStream = NewGsfChild(file.get(), "1Table");
    WriteGsf(tableStream.get(), description.tableStream, sink);
    CloseGsf(tableStream.get(), sink);
    CloseGsf(GSF_OUTPUT(file.get()), sink);
}

}  // namespace qm
