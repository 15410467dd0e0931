#include "DocWriter.h"

#include "DocumentTable.h"
#include "DocumentText.h"
#include "GsfSupport.h"
#include "shell/Failure.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#include <QLocale>
#include <algorithm>
#include <array>
#include <deque>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace qm {

namespace {

// Layout of the WordDocument stream: the FIB, padded to two pages; the
// paragraph property pages, as many as the text needs; the text, from a page
// boundary; the one character property page, on the next page boundary; the
// section properties. Something must follow the text: catdoc reads the text
// in 256-byte blocks and drops a block that reaches the end of the stream.
constexpr std::uint32_t kPageSize = 512;
constexpr std::uint32_t kFibArea = 2 * kPageSize;
constexpr std::uint32_t kPapxPagesOffset = kFibArea;

// A paragraph page holds, from its start, the FCs of its runs (4 bytes each,
// one more than runs) and a 13-byte BX per run; from its end, before the run
// count in its last byte, the PAPXs its runs use, each once, on even offsets.
constexpr std::uint32_t kPapxEnd = 510;
// The paragraph properties of plain text: style 0 ("Normal"), nothing else
// (cb 0, cb' 1, istd 0).
const std::string kNormalPapx("\0\1\0\0", 4);

// Text gathers in a buffer of this size before it goes to the stream;
// finished paragraph pages are written to their places in batches.
constexpr std::size_t kTextBufferSize = 1024 * 1024;
constexpr std::size_t kPageBatch = 64;

// Word's class id, {00020906-0000-0000-C000-000000000046}, in its stored byte order.
constexpr std::array<std::uint8_t, 16> kWordClassId = {0x06, 0x09, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Indexes of the fc/lcb pairs of FibRgFcLcb97 that this writer fills.
enum FcLcb : std::uint32_t {
    kStshfOrig = 0,
    kStshf = 1,
    kPlcfSed = 6,
    kPlcfBteChpx = 12,
    kPlcfBtePapx = 13,
    kSttbfFfn = 15,
    kDop = 31,
    kSttbfAssoc = 32,
    kClx = 33,
    kFcLcbCount = 93,  // the Word 97 FIB has 93 pairs
};

// Single property modifiers (sprms) and their operands.
constexpr std::uint16_t kSprmCRgFtc0 = 0x4A4F;  // font of ASCII text
constexpr std::uint16_t kSprmCRgFtc1 = 0x4A50;  // of East Asian text
constexpr std::uint16_t kSprmCRgFtc2 = 0x4A51;  // of other text
constexpr std::uint16_t kSprmCHps = 0x4A43;     // size, half points
constexpr std::uint16_t kSprmCHpsBi = 0x4A61;   // size of complex script text
constexpr std::uint16_t kSprmSXaPage = 0xB01F;
constexpr std::uint16_t kSprmSYaPage = 0xB020;
constexpr std::uint16_t kSprmSDxaLeft = 0xB021;
constexpr std::uint16_t kSprmSDxaRight = 0xB022;
constexpr std::uint16_t kSprmSDyaTop = 0x9023;
constexpr std::uint16_t kSprmSDyaBottom = 0x9024;
constexpr std::uint16_t kSprmSDyaHdrTop = 0xB017;
constexpr std::uint16_t kSprmSDyaHdrBottom = 0xB018;
constexpr std::uint16_t kSprmPFInTable = 0x2416;
constexpr std::uint16_t kSprmPFTtp = 0x2417;  // the row's end mark
constexpr std::uint16_t kSprmPItap = 0x6649;  // table depth
constexpr std::uint16_t kSprmTDxaGapHalf = 0x9602;
constexpr std::uint16_t kSprmTTableBorders80 = 0xD605;
constexpr std::uint16_t kSprmTDefTable = 0xD608;
constexpr std::uint16_t kSprmTTableHeader = 0x3404;

// Word 97 tables have at most this many columns.
constexpr std::size_t kMaxTableColumns = 63;

// The kinds of paragraph marks, each with its own paragraph properties.
enum Mark : std::uint8_t {
    kParagraphMark,  // text, or the paragraph after a table
    kCellMark,       // a cell's end (0x07)
    kRowMark,        // a row's end (0x07), with the row's properties
    kHeaderRowMark,  // the same for the header row, marked to repeat on every page
};

void put8(std::string& out, std::uint8_t value) {
    out += static_cast<char>(value);
}

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void set16(std::string& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void set32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void putUtf16(std::string& out, std::u16string_view text) {
    for (const char16_t unit : text)
        put16(out, static_cast<std::uint16_t>(unit));
}

[[noreturn]] void tooLarge() {
    throw Failure(QStringLiteral(
        "The document is too large for the Word 97-2003 format (.doc); save it as a .docx document instead"));
}

// The paragraph property pages (PapxFkp): one run per paragraph, each ending
// just after its paragraph mark, with the properties of its kind of mark
// (papxs, indexed by Mark: PapxInFkp, an even number of bytes). Pages are
// built as paragraphs end and handed out for writing in batches.
class PapxPages {
  public:
    PapxPages(std::uint32_t firstFc, std::uint32_t reservedPages, std::vector<std::string> papxs)
        : reservedPages_(reservedPages), pageStart_(firstFc), papxs_(std::move(papxs)) {}

    // Runs a page holds at least, whichever of the PAPXs it has.
    static std::uint32_t runsPerPage(const std::vector<std::string>& papxs) {
        std::size_t all = 0;
        for (const std::string& papx : papxs)
            all += papx.size();
        return static_cast<std::uint32_t>((kPapxEnd - 4 - all) / 17);
    }

    // The kind of the next paragraph mark, told as the mark is written; its
    // end comes through paragraphEnd later, in the same order.
    void noteMark(Mark mark) { marks_.push_back(mark); }

    void paragraphEnd(std::uint32_t fc) {
        const Mark mark = marks_.front();
        marks_.pop_front();
        if (!fits(mark))
            closePage();
        ends_.push_back(fc);
        endMarks_.push_back(mark);
        if ((used_ & (1u << mark)) == 0) {
            used_ |= 1u << mark;
            usedBytes_ += papxs_[mark].size();
        }
    }

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
    bool fits(Mark mark) const {
        const std::size_t papxBytes = usedBytes_ + ((used_ & (1u << mark)) != 0 ? 0 : papxs_[mark].size());
        const std::size_t runs = ends_.size() + 1;
        return 4 * (runs + 1) + 13 * runs + papxBytes <= kPapxEnd;
    }

    void closePage() {
        if (pageCount() == reservedPages_)
            throw Failure(QStringLiteral("The document text has more paragraphs than it said"));
        const std::size_t at = ready_.size();
        ready_.resize(at + kPageSize, '\0');
        char* const page = ready_.data() + at;
        // The PAPXs the runs use, from the end of the page down.
        std::array<std::uint32_t, 4> offsets{};
        std::uint32_t offset = kPapxEnd;
        for (std::size_t kind = 0; kind < papxs_.size(); ++kind) {
            if ((used_ & (1u << kind)) == 0)
                continue;
            offset -= static_cast<std::uint32_t>(papxs_[kind].size());
            offsets[kind] = offset;
            std::copy(papxs_[kind].begin(), papxs_[kind].end(), page + offset);
        }
        std::string header;
        put32(header, pageStart_);
        for (const std::uint32_t fc : ends_)
            put32(header, fc);
        for (const Mark mark : endMarks_) {
            put8(header, static_cast<std::uint8_t>(offsets[mark] / 2));  // BX: the PAPX's offset in words
            header.append(12, '\0');                                     // and an empty PHE
        }
        std::copy(header.begin(), header.end(), page);
        page[kPageSize - 1] = static_cast<char>(ends_.size());
        pageStarts_.push_back(pageStart_);
        pageStart_ = ends_.back();
        ends_.clear();
        endMarks_.clear();
        used_ = 0;
        usedBytes_ = 0;
    }

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

// A piece of the piece table: where its characters begin in the text (CP) and
// in the stream (FC), and whether they are stored 8-bit.
struct Piece {
    std::uint32_t cp;
    std::uint32_t fc;
    bool narrow;
};

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
class TextLayout {
  public:
    TextLayout(GsfOutput* stream, const GsfDeviceOutput& sink, const DocWriter::Options& options,
               std::uint32_t textStart, PapxPages& pages)
        : stream_(stream), sink_(sink), options_(options), written_(textStart), pages_(pages) {
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
            joinWide(pending_, pendingEnds_);
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

    // The table's structure (TableHandler): a cell is one paragraph ended by a
    // cell mark; after the last cell a row mark, a paragraph of its own that
    // carries the row's properties.
    void beginRow(bool header) { headerRow_ = header; }
    void beginCell(std::size_t) {}
    void endCell() { mark("\a", kCellMark); }
    void endRow() { mark("\a", headerRow_ ? kHeaderRowMark : kRowMark); }

    // Writes what is left; the stream is then at end().
    void finish() {
        if (mode_ == Mode::Wide)
            joinWide(pending_, pendingEnds_);
        else
            commitTail(true);
        flush();
    }

    std::uint32_t end() const { return fc(); }
    std::uint32_t characterCount() const { return static_cast<std::uint32_t>(cp_); }
    const std::vector<Piece>& pieces() const { return pieces_; }

  private:
    enum class Mode { None, Narrow, Wide };

    void mark(std::string_view character, Mark kind) {
        std::string& open = mode_ == Mode::Wide ? pending_ : tail_;
        std::vector<std::uint32_t>& ends = mode_ == Mode::Wide ? pendingEnds_ : tailEnds_;
        ends.push_back(static_cast<std::uint32_t>(open.size() + 1));
        pages_.noteMark(kind);
        ascii(character);
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
        for (; released < tailEnds_.size() && tailEnds_[released] <= size; ++released)
            pages_.paragraphEnd(start + tailEnds_[released]);
        tailEnds_.erase(tailEnds_.begin(), tailEnds_.begin() + static_cast<std::ptrdiff_t>(released));
        for (std::uint32_t& end : tailEnds_)
            end -= static_cast<std::uint32_t>(size);
        tail_.erase(0, size);
        checkBuffer();
    }

    // A non-Latin character after 8-bit text: the open tail becomes the
    // start of a UTF-16 piece.
    void startWide() {
        if (fc() + 2 * tail_.size() >= options_.maxStreamBytes)
            tooLarge();
        mode_ = Mode::Wide;
        joinWide(tail_, tailEnds_);
    }

    // Characters waiting as 8-bit (the tail, or pending) join the UTF-16 text.
    void joinWide(std::string& chars, std::vector<std::uint32_t>& ends) {
        notePiece(false, cp_ - chars.size());
        const std::uint32_t start = fc();
        for (const char c : chars)
            put16(buffer_, static_cast<std::uint8_t>(c));
        for (const std::uint32_t end : ends)
            pages_.paragraphEnd(start + 2 * end);
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
            joinWide(pending_, pendingEnds_);
            return;
        }
        std::string first = pending_.substr(0, lead);
        std::vector<std::uint32_t> firstEnds;
        std::size_t moved = 0;
        for (; moved < pendingEnds_.size() && pendingEnds_[moved] <= lead; ++moved)
            firstEnds.push_back(pendingEnds_[moved]);
        const std::uint64_t cpAfter = cp_;
        cp_ -= pending_.size() - lead;  // joinWide counts back from cp_
        joinWide(first, firstEnds);
        cp_ = cpAfter;
        tail_ = pending_.substr(lead);
        for (std::size_t i = moved; i < pendingEnds_.size(); ++i)
            tailEnds_.push_back(pendingEnds_[i] - lead);
        pending_.clear();
        pendingEnds_.clear();
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
    Mode mode_ = Mode::None;
    std::uint64_t cp_ = 0;  // characters so far, open ones included
    // 8-bit characters of the last, partial sector of an 8-bit piece.
    std::string tail_;
    // Latin-1 characters after UTF-16 text, not yet placed.
    std::string pending_;
    // Offsets just after each paragraph mark in tail_ and pending_.
    std::vector<std::uint32_t> tailEnds_;
    std::vector<std::uint32_t> pendingEnds_;
    std::vector<Piece> pieces_;
    bool headerRow_ = false;
};

// The character property page: one run over the whole text, with the
// paragraph style's properties.
std::string chpxPage(std::uint32_t textStart, std::uint32_t textEnd) {
    std::string page;
    put32(page, textStart);
    put32(page, textEnd);
    put8(page, 0);  // no CHPX of its own
    page.resize(kPageSize, '\0');
    page[kPageSize - 1] = 1;
    return page;
}

// Section properties: the page size of the user's locale (Letter where it
// measures in inches, A4 elsewhere) and one-inch margins, as in .docx files.
std::string sepx() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    std::string grpprl;
    const auto sprm = [&grpprl](std::uint16_t code, std::uint16_t operand) {
        put16(grpprl, code);
        put16(grpprl, operand);
    };
    sprm(kSprmSXaPage, letter ? 12240 : 11906);
    sprm(kSprmSYaPage, letter ? 15840 : 16838);
    sprm(kSprmSDxaLeft, 1440);
    sprm(kSprmSDxaRight, 1440);
    sprm(kSprmSDyaTop, 1440);
    sprm(kSprmSDyaBottom, 1440);
    sprm(kSprmSDyaHdrTop, 720);
    sprm(kSprmSDyaHdrBottom, 720);
    std::string out;
    put16(out, static_cast<std::uint16_t>(grpprl.size()));
    return out + grpprl;
}

// A style (LPStd): StdfBase, the name, and the property exceptions.
std::string style(std::uint16_t sti, std::uint16_t kind, std::uint16_t next, std::u16string_view name,
                  const std::vector<std::string>& upxs) {
    std::string std;
    put16(std, sti);                                                    // sti, no flags
    put16(std, static_cast<std::uint16_t>(kind | (0x0FFF << 4)));       // stk, based on no style
    put16(std, static_cast<std::uint16_t>(upxs.size() | (next << 4)));  // cupx, istdNext
    put16(std, 0);                                                      // bchUpe, set below
    put16(std, 0);                                                      // grfstd
    put16(std, static_cast<std::uint16_t>(name.size()));
    putUtf16(std, name);
    put16(std, 0);
    for (const std::string& upx : upxs) {
        put16(std, static_cast<std::uint16_t>(upx.size()));
        std += upx;
        if (upx.size() % 2 != 0)
            std += '\0';
    }
    set16(std, 6, static_cast<std::uint16_t>(std.size()));
    std::string out;
    put16(out, static_cast<std::uint16_t>(std.size()));
    return out + std;
}

// The stylesheet: the fifteen fixed slots, of which "Normal" (0) and "Default
// Paragraph Font" (10) are defined.
std::string stylesheet() {
    constexpr std::uint16_t kFixedStyles = 15;
    std::string out;
    put16(out, 18);            // cbStshi
    put16(out, kFixedStyles);  // cstd
    put16(out, 10);            // cbSTDBaseInFile: StdfBase alone
    put16(out, 1);             // fStdStylenamesWritten
    put16(out, 0x5B);          // stiMaxWhenSaved: Word 97's built-in styles
    put16(out, kFixedStyles);  // istdMaxFixedWhenSaved
    put16(out, 0);             // nVerBuiltInNamesWhenSaved
    put16(out, 0);             // ftcAsci, ftcFE, ftcOther: font 0
    put16(out, 0);
    put16(out, 0);

    std::string normalPapx;
    put16(normalPapx, 0);  // istd
    std::string normalChpx;
    for (const std::uint16_t font : {kSprmCRgFtc0, kSprmCRgFtc1, kSprmCRgFtc2}) {
        put16(normalChpx, font);
        put16(normalChpx, 0);
    }
    for (const std::uint16_t size : {kSprmCHps, kSprmCHpsBi}) {
        put16(normalChpx, size);
        put16(normalChpx, 22);  // 11 pt
    }
    for (std::uint16_t istd = 0; istd < kFixedStyles; ++istd) {
        if (istd == 0)
            out += style(0, 1, 0, u"Normal", {normalPapx, normalChpx});
        else if (istd == 10)
            out += style(65, 2, 10, u"Default Paragraph Font", {std::string()});
        else
            put16(out, 0);  // an empty slot
    }
    return out;
}

// The font table: Calibri, with Arial for systems that lack it.
std::string fontTable() {
    static constexpr char16_t kNames[] = u"Calibri\0Arial\0";  // each name ends in a 0
    constexpr std::array<std::uint8_t, 10> kPanose = {0x02, 0x0F, 0x05, 0x02, 0x02,
                                                      0x02, 0x04, 0x03, 0x02, 0x04};
    std::string ffn;
    put8(ffn, 0x02 | 0x04 | 0x20);  // variable pitch, TrueType, sans serif
    put16(ffn, 400);                // weight
    put8(ffn, 0);                   // ANSI character set
    put8(ffn, 8);                   // the alternative's index in the names
    for (const std::uint8_t b : kPanose)
        put8(ffn, b);
    ffn.append(24, '\0');  // font signature
    putUtf16(ffn, std::u16string_view(kNames, std::size(kNames) - 1));
    std::string out;
    put16(out, 1);  // fonts
    put16(out, 0);  // cbExtra
    put8(out, static_cast<std::uint8_t>(ffn.size()));
    return out + ffn;
}

// A date and time as Word stores it (DTTM), in local time.
std::uint32_t dttm(const QDateTime& time) {
    const QDateTime local = (time.isValid() ? time : QDateTime::currentDateTimeUtc()).toLocalTime();
    const QDate date = local.date();
    const QTime clock = local.time();
    return static_cast<std::uint32_t>(clock.minute()) | static_cast<std::uint32_t>(clock.hour()) << 6 |
           static_cast<std::uint32_t>(date.day()) << 11 | static_cast<std::uint32_t>(date.month()) << 16 |
           static_cast<std::uint32_t>(date.year() - 1900) << 20 |
           static_cast<std::uint32_t>(date.dayOfWeek() % 7) << 29;
}

// The document properties (Dop97).
std::string documentProperties(const DocumentContent& content) {
    std::string dop(500, '\0');
    dop[0] = 0x02;          // widow control
    set16(dop, 2, 1 << 2);  // footnotes numbered from 1
    set16(dop, 10, 720);    // default tab stop: half an inch
    set16(dop, 14, 360);    // hyphenation zone
    set32(dop, 20, dttm(content.created));
    set32(dop, 24, dttm(content.modified));
    set16(dop, 32, 1);       // revision
    set16(dop, 52, 1 << 2);  // endnotes numbered from 1
    // The drawing grid (Dogrid) at Word's defaults: origin, 180-twip units,
    // every unit shown, measured from the margins.
    set16(dop, 400, 1701);
    set16(dop, 402, 1984);
    set16(dop, 404, 180);
    set16(dop, 406, 180);
    set16(dop, 408, 0x0001 | 0x0100 | 0x8000);
    return dop;
}

// The piece table (Clx holding only a Pcdt).
std::string pieceTable(const std::vector<Piece>& pieces, std::uint32_t characters) {
    std::string plc;
    for (const Piece& piece : pieces)
        put32(plc, piece.cp);
    put32(plc, characters);
    for (const Piece& piece : pieces) {
        put16(plc, 0);
        put32(plc, piece.narrow ? (piece.fc * 2) | 0x40000000u : piece.fc);
        put16(plc, 0);  // no property modifier
    }
    std::string out;
    put8(out, 0x02);
    put32(out, static_cast<std::uint32_t>(plc.size()));
    return out + plc;
}

// The paragraph count the text will give (DocumentText.h): one per line, at
// least one; one more for a text that does not end in a line end.
std::uint64_t paragraphBound(const DocumentContent& content) {
    std::uint64_t lines = 0;
    for (const TextSnapshot& text : content.texts)
        lines += text.lineCount();
    return lines + 1;
}

// PapxInFkp: istd and grpprl with their size in front.
std::string papxInFkp(const std::string& istdAndGrpprl) {
    std::string out;
    if (istdAndGrpprl.size() % 2 == 1) {
        put8(out, static_cast<std::uint8_t>((istdAndGrpprl.size() + 1) / 2));  // 2 cb - 1 bytes follow
    } else {
        put8(out, 0);
        put8(out, static_cast<std::uint8_t>(istdAndGrpprl.size() / 2));  // 2 cb' bytes follow
    }
    return out + istdAndGrpprl;
}

// The paragraph properties of a table's marks, by Mark: every cell is in the
// table (depth 1); the row mark also defines the row: its cell edges, the
// space between text and cell edge, thin black borders, and for the header
// row that it repeats on every page.
std::vector<std::string> tablePapxs(const TableShape& shape) {
    std::string normal;
    put16(normal, 0);  // istd: "Normal"
    std::string cell = normal;
    put16(cell, kSprmPFInTable);
    put8(cell, 1);
    put16(cell, kSprmPItap);
    put32(cell, 1);
    std::string row = cell;
    put16(row, kSprmPFTtp);
    put8(row, 1);
    put16(row, kSprmTDxaGapHalf);
    put16(row, 108);
    put16(row, kSprmTTableBorders80);
    put8(row, 24);
    for (int edge = 0; edge < 6; ++edge) {  // top, left, bottom, right, inside horizontal and vertical
        put8(row, 4);                       // width: half a point, in eighths
        put8(row, 1);                       // single line
        put8(row, 1);                       // black
        put8(row, 0);
    }
    const std::vector<std::uint32_t> widths = ColumnWidths(shape, TextWidthTwips());
    put16(row, kSprmTDefTable);
    put16(row, static_cast<std::uint16_t>(1 + 2 * (widths.size() + 1) + 1));
    put8(row, static_cast<std::uint8_t>(widths.size()));
    std::uint32_t edge = 0;
    put16(row, 0);
    for (const std::uint32_t width : widths) {
        edge += width;
        put16(row, static_cast<std::uint16_t>(edge));
    }
    std::string header = row;
    put16(header, kSprmTTableHeader);
    put8(header, 1);
    return {kNormalPapx, papxInFkp(cell), papxInFkp(row), papxInFkp(header)};
}

template <class Handler>
void readText(const DocumentContent& content, Handler& handler) {
    StoredTextReader<Handler> reader(handler);
    ForEachStoredPiece(content.texts, kStoredPieceSize, [&](std::string_view piece) { reader.feed(piece); });
    reader.finish();
}

}  // namespace

void DocWriter::write(const DocumentContent& content, QIODevice& device) const {
    std::optional<TableShape> shape;
    if (HasTableRows(content)) {
        shape = MeasureTable(content);
        if (shape->columns > kMaxTableColumns)
            throw Failure(QStringLiteral("A table in the Word 97-2003 format (.doc) has at most %1 columns, "
                                         "this one would have %2; choose fewer fields, or save it as a "
                                         ".docx or .odt document")
                              .arg(kMaxTableColumns)
                              .arg(shape->columns));
    }
    const std::vector<std::string> papxs = shape ? tablePapxs(*shape) : std::vector<std::string>{kNormalPapx};
    // A table's rows have a paragraph per cell and one for the row's end, and
    // a paragraph follows the table.
    const std::uint64_t paragraphs = shape ? shape->rows * (shape->columns + 1) + 2 : paragraphBound(content);
    const std::uint32_t runsPerPage = PapxPages::runsPerPage(papxs);
    const std::uint64_t reservedPages = (paragraphs + runsPerPage - 1) / runsPerPage;
    const std::uint64_t textStart = kPapxPagesOffset + reservedPages * kPageSize;
    if (textStart >= options_.maxStreamBytes)
        tooLarge();

    GsfDeviceOutput sink(device);
    GsfOutfilePtr file(gsf_outfile_msole_new(sink.get()));
    if (!file)
        throw Failure(QStringLiteral("Could not start the compound file"));
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(file.get()), kWordClassId.data());

    // The WordDocument stream: room for the FIB and the property pages, then the text.
    const GsfOutputPtr stream = NewGsfChild(file.get(), "WordDocument");
    {
        const std::string zeros(64 * kPageSize, '\0');
        for (std::uint64_t left = textStart; left > 0;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
            WriteGsf(stream.get(), std::string_view(zeros).substr(0, piece), sink);
            left -= piece;
        }
    }
    PapxPages pages(static_cast<std::uint32_t>(textStart), static_cast<std::uint32_t>(reservedPages), papxs);
    std::optional<TextLayout> lines;
    std::optional<TableHandler<TextLayout>> rows;
    if (shape) {
        rows.emplace(*shape, stream.get(), sink, options_, static_cast<std::uint32_t>(textStart), pages);
        rows->begin();
        readText(content, *rows);
        rows->TextLayout::paragraphEnd();  // a document never ends in a table
    } else {
        lines.emplace(stream.get(), sink, options_, static_cast<std::uint32_t>(textStart), pages);
        readText(content, *lines);
    }
    TextLayout& layout = shape ? static_cast<TextLayout&>(*rows) : *lines;
    layout.finish();
    pages.finish();
    const std::uint32_t textEnd = layout.end();

    // After the text: the character page, the section properties, then zeros
    // up to 4096 bytes, so that even a small document stream lies in the
    // file's big sectors, like every document stream Word writes.
    const std::uint32_t chpxOffset = (textEnd + kPageSize - 1) / kPageSize * kPageSize;
    const std::uint32_t fcSepx = chpxOffset + kPageSize;
    std::string tail(chpxOffset - textEnd, '\0');
    tail += chpxPage(static_cast<std::uint32_t>(textStart), textEnd);
    tail += sepx();
    const std::uint64_t streamEnd = std::uint64_t{textEnd} + tail.size();
    if (streamEnd > options_.maxStreamBytes)
        tooLarge();
    if (streamEnd < 4096)
        tail.append(static_cast<std::size_t>(4096 - streamEnd), '\0');
    WriteGsf(stream.get(), tail, sink);

    // The table stream, built whole: its size grows with the pieces and the
    // pages, not with the text.
    std::string table;
    std::array<std::pair<std::uint32_t, std::uint32_t>, kFcLcbCount> fcLcb{};
    const auto add = [&](FcLcb index, const std::string& data) {
        fcLcb[index] = {static_cast<std::uint32_t>(table.size()), static_cast<std::uint32_t>(data.size())};
        table += data;
    };
    add(kStshf, stylesheet());
    fcLcb[kStshfOrig] = fcLcb[kStshf];
    {
        std::string plcfSed;
        put32(plcfSed, 0);
        put32(plcfSed, layout.characterCount());
        put16(plcfSed, 0);  // fn
        put32(plcfSed, fcSepx);
        put16(plcfSed, 0);            // fnMpr
        put32(plcfSed, 0xFFFFFFFFu);  // fcMpr
        add(kPlcfSed, plcfSed);
    }
    const std::uint32_t chpxPn = chpxOffset / kPageSize;
    const std::uint32_t papxPn = kPapxPagesOffset / kPageSize;
    {
        std::string plcfBteChpx;
        put32(plcfBteChpx, static_cast<std::uint32_t>(textStart));
        put32(plcfBteChpx, textEnd);
        put32(plcfBteChpx, chpxPn);
        add(kPlcfBteChpx, plcfBteChpx);
    }
    {
        std::string plcfBtePapx;
        for (const std::uint32_t fc : pages.pageStarts())
            put32(plcfBtePapx, fc);
        put32(plcfBtePapx, pages.end());
        for (std::uint32_t i = 0; i < pages.pageCount(); ++i)
            put32(plcfBtePapx, papxPn + i);
        add(kPlcfBtePapx, plcfBtePapx);
    }
    add(kSttbfFfn, fontTable());
    add(kDop, documentProperties(content));
    {
        // The associated strings (template, title, author...): 18, all empty,
        // as Word writes them for a new document.
        std::string sttbfAssoc;
        put16(sttbfAssoc, 0xFFFF);  // extended: 16-bit characters
        put16(sttbfAssoc, 18);
        put16(sttbfAssoc, 0);  // no extra data
        sttbfAssoc.append(2 * 18, '\0');
        add(kSttbfAssoc, sttbfAssoc);
    }
    add(kClx, pieceTable(layout.pieces(), layout.characterCount()));

    // Back to the start: the last paragraph pages, then the FIB.
    if (!pages.readyPages().empty()) {
        SeekGsf(stream.get(), pages.readyOffset(), sink);
        WriteGsf(stream.get(), pages.readyPages(), sink);
    }

    std::string fib(kFibArea, '\0');
    set16(fib, 0, 0xA5EC);                                  // wIdent
    set16(fib, 2, 0x00C1);                                  // nFib: Word 97 and later
    set16(fib, 6, 0x0409);                                  // lid: English (US)
    set16(fib, 10, 0x0200 | 0x1000);                        // fWhichTblStm: 1Table; fExtChar
    set16(fib, 12, 0x00BF);                                 // nFibBack
    set32(fib, 24, static_cast<std::uint32_t>(textStart));  // where the text lies, as Word 97 noted it
    set32(fib, 28, textEnd);
    set16(fib, 32, 14);  // csw: FibRgW97
    set16(fib, 62, 22);  // cslw: FibRgLw97
    constexpr std::size_t kRgLw = 64;
    set32(fib, kRgLw + 0, static_cast<std::uint32_t>(streamEnd));  // cbMac
    set32(fib, kRgLw + 12, layout.characterCount());               // ccpText
    // Where the property pages lie, as Word 97 noted it too.
    set32(fib, kRgLw + 44, chpxPn);
    set32(fib, kRgLw + 48, chpxPn);
    set32(fib, kRgLw + 52, 1);
    set32(fib, kRgLw + 56, papxPn);
    set32(fib, kRgLw + 60, papxPn);
    set32(fib, kRgLw + 64, pages.pageCount());
    set16(fib, 152, kFcLcbCount);
    for (std::size_t i = 0; i < fcLcb.size(); ++i) {
        set32(fib, 154 + 8 * i, fcLcb[i].first);
        set32(fib, 158 + 8 * i, fcLcb[i].second);
    }
    // cswNew (at 898) stays 0: no newer FIB parts.
    SeekGsf(stream.get(), 0, sink);
    WriteGsf(stream.get(), fib, sink);
    CloseGsf(stream.get(), sink);

    const GsfOutputPtr tableStream = NewGsfChild(file.get(), "1Table");
    WriteGsf(tableStream.get(), table, sink);
    CloseGsf(tableStream.get(), sink);
    CloseGsf(GSF_OUTPUT(file.get()), sink);
}

}  // namespace qm
