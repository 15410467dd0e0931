#include "DocTableStream.h"

#include "DocProperties.h"
#include "DocumentTable.h"
#include "DocumentWriter.h"

#include <array>
#include <iterator>
#include <string_view>
#include <utility>

namespace qm::doc {

namespace {

// The FIB: FibBase; FibRgW97, FibRgLw97 and FibRgFcLcb97, each after its
// count (csw, cslw, cbRgFcLcb); then cswNew. Offsets of the fields written.
struct FibBase {
    static constexpr std::size_t kWIdent = 0;
    static constexpr std::size_t kNFib = 2;
    static constexpr std::size_t kLid = 6;
    static constexpr std::size_t kFlags = 10;  // fWhichTblStm (0x0200), fExtChar (0x1000) among them
    static constexpr std::size_t kNFibBack = 12;
    // reserved5 and reserved6: where the text lies, as Word 97 noted it.
    static constexpr std::size_t kReserved5 = 24;
    static constexpr std::size_t kReserved6 = 28;
    static constexpr std::size_t kSize = 32;
};

struct FibRgW97 {
    static constexpr std::uint16_t kCount = 14;  // 16-bit values
};

struct FibRgLw97 {
    static constexpr std::uint16_t kCount = 22;  // 32-bit values
    static constexpr std::size_t kCbMac = 0;
    static constexpr std::size_t kCcpText = 12;
    // reserved4 to reserved9: where the property pages lie, as Word 97 noted
    // it too (the first character page twice, their count; the same for the
    // paragraph pages).
    static constexpr std::size_t kReserved4 = 44;
    static constexpr std::size_t kReserved5 = 48;
    static constexpr std::size_t kReserved6 = 52;
    static constexpr std::size_t kReserved7 = 56;
    static constexpr std::size_t kReserved8 = 60;
    static constexpr std::size_t kReserved9 = 64;
};

struct FibRgFcLcb97 {
    // Indexes of the fc/lcb pairs that this writer fills.
    enum Pair : std::uint32_t {
        kStshfOrig = 0,
        kStshf = 1,
        kPlcfSed = 6,
        kPlcfBteChpx = 12,
        kPlcfBtePapx = 13,
        kSttbfFfn = 15,
        kPlcfFldMom = 16,
        kDop = 31,
        kSttbfAssoc = 32,
        kClx = 33,
        kCount = 93,  // the Word 97 FIB has 93 pairs
    };
    // Each pair: the part's offset in the table stream (fc), then its size (lcb).
    static constexpr std::size_t kLcb = 4;
    static constexpr std::size_t kPairSize = 8;
};

struct Fib {
    static constexpr std::size_t kCsw = FibBase::kSize;
    static constexpr std::size_t kFibRgW = kCsw + 2;
    static constexpr std::size_t kCslw = kFibRgW + 2 * FibRgW97::kCount;
    static constexpr std::size_t kFibRgLw = kCslw + 2;
    static constexpr std::size_t kCbRgFcLcb = kFibRgLw + 4 * FibRgLw97::kCount;
    static constexpr std::size_t kFibRgFcLcb = kCbRgFcLcb + 2;
    static constexpr std::size_t kCswNew = kFibRgFcLcb + FibRgFcLcb97::kPairSize * FibRgFcLcb97::kCount;
};
static_assert(Fib::kCswNew == 898 && Fib::kCswNew + 2 <= kFibArea);

// The number of the first paragraph property page (its offset / kPageSize).
constexpr std::uint32_t kFirstPapxPage = kPapxPagesOffset / kPageSize;

// The fields of the document properties (Dop97) that are set: some of its
// DopBase, which it starts with, and its drawing grid.
struct DopBase {
    static constexpr std::size_t kFlags = 0;  // fWidowControl is 0x02
    static constexpr std::size_t kNFtn = 2;   // above rncFtn's two bits
    static constexpr std::size_t kDxaTab = 10;
    static constexpr std::size_t kDxaHotZ = 14;
    static constexpr std::size_t kDttmCreated = 20;
    static constexpr std::size_t kDttmRevised = 24;
    static constexpr std::size_t kNRevision = 32;
    static constexpr std::size_t kNEdn = 52;  // above rncEdn's two bits
};

struct Dop97 {
    static constexpr std::size_t kDogrid = 400;
    static constexpr std::size_t kSize = 500;
};

struct Dogrid {
    static constexpr std::size_t kXaGrid = 0;
    static constexpr std::size_t kYaGrid = 2;
    static constexpr std::size_t kDxaGrid = 4;
    static constexpr std::size_t kDyaGrid = 6;
    static constexpr std::size_t kFlags = 8;  // dyGridDisplay, dxGridDisplay, fFollowMargins
};

// A style's StdfBase: where its size (bchUpe) lies.
struct StdfBase {
    static constexpr std::size_t kBchUpe = 6;
};

// The piece table (Clx): a Pcdt, its clxt first; a piece's FcCompressed field
// marks 8-bit text with fCompressed, the FC then doubled.
constexpr std::uint8_t kClxtPcdt = 0x02;
constexpr std::uint32_t kFCompressed = 0x40000000u;

// Single property modifiers (sprms) and their operands.
constexpr std::uint16_t kSprmCRgFtc0 = 0x4A4F;  // font of ASCII text
constexpr std::uint16_t kSprmCRgFtc1 = 0x4A50;  // of East Asian text
constexpr std::uint16_t kSprmCRgFtc2 = 0x4A51;  // of other text
constexpr std::uint16_t kSprmCHps = 0x4A43;     // size, half points
constexpr std::uint16_t kSprmCHpsBi = 0x4A61;   // size of complex script text
constexpr std::uint16_t kSprmCFBold = 0x0835;
constexpr std::uint16_t kSprmCFBoldBi = 0x085A;

struct FcLcb {
    std::uint32_t fc = 0;
    std::uint32_t lcb = 0;
};

// The table stream as it is built, and where each of its parts lies (the
// pairs of FibRgFcLcb97).
struct TableStream {
    std::string bytes;
    std::array<FcLcb, FibRgFcLcb97::kCount> fcLcb{};

    void add(FibRgFcLcb97::Pair pair, const std::string& data) {
        fcLcb[pair] = {static_cast<std::uint32_t>(bytes.size()), static_cast<std::uint32_t>(data.size())};
        bytes += data;
    }
};

// A style (LPStd): StdfBase, the name, and the property exceptions.
std::string style(std::uint16_t sti, std::uint16_t kind, std::uint16_t next, std::u16string_view name,
                  const std::vector<std::string>& upxs, std::uint16_t base = 0x0FFF) {
    std::string std;
    put16(std, sti);                                                    // sti, no flags
    put16(std, static_cast<std::uint16_t>(kind | (base << 4)));         // stk, istdBase
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
    set16(std, StdfBase::kBchUpe, static_cast<std::uint16_t>(std.size()));
    std::string out;
    put16(out, static_cast<std::uint16_t>(std.size()));
    return out + std;
}

// The character properties of "Normal": Calibri for every kind of text, 11 pt
// (a table's size from FitTable).
std::string normalChpx(std::uint16_t halfPoints) {
    std::string chpx;
    for (const std::uint16_t font : {kSprmCRgFtc0, kSprmCRgFtc1, kSprmCRgFtc2}) {
        put16(chpx, font);
        put16(chpx, 0);
    }
    for (const std::uint16_t size : {kSprmCHps, kSprmCHpsBi}) {
        put16(chpx, size);
        put16(chpx, halfPoints);
    }
    return chpx;
}

// The stylesheet: the fifteen fixed slots, of which "Normal" (0) and "Default
// Paragraph Font" (10) are defined; a table's adds its header cells' style
// (kHeadingStyle): "Normal" in bold.
std::string stylesheet(const TablePage* table) {
    constexpr std::uint16_t kFixedStyles = 15;
    static_assert(kHeadingStyle == kFixedStyles);
    std::string out;
    put16(out, 18);                                                          // cbStshi
    put16(out, static_cast<std::uint16_t>(kFixedStyles + (table ? 1 : 0)));  // cstd
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
    for (std::uint16_t istd = 0; istd < kFixedStyles; ++istd) {
        if (istd == 0)
            out += style(0, 1, 0, u"Normal", {normalPapx, normalChpx(table ? table->halfPoints : 22)});
        else if (istd == 10)
            out += style(65, 2, 10, u"Default Paragraph Font", {std::string()});
        else
            put16(out, 0);  // an empty slot
    }
    if (table) {
        constexpr std::uint16_t kStiUser = 0x0FFE;
        std::string headingPapx;
        put16(headingPapx, kHeadingStyle);
        std::string bold;
        for (const std::uint16_t sprm : {kSprmCFBold, kSprmCFBoldBi}) {
            put16(bold, sprm);
            put8(bold, 1);
        }
        out += style(kStiUser, 1, kHeadingStyle, u"Table Heading", {headingPapx, bold}, 0);
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
    std::string dop(Dop97::kSize, '\0');
    dop[DopBase::kFlags] = 0x02;         // widow control
    set16(dop, DopBase::kNFtn, 1 << 2);  // footnotes numbered from 1
    set16(dop, DopBase::kDxaTab, 720);   // default tab stop: half an inch
    set16(dop, DopBase::kDxaHotZ, 360);  // hyphenation zone
    set32(dop, DopBase::kDttmCreated, dttm(content.created));
    set32(dop, DopBase::kDttmRevised, dttm(content.modified));
    set16(dop, DopBase::kNRevision, 1);  // revision
    set16(dop, DopBase::kNEdn, 1 << 2);  // endnotes numbered from 1
    // The drawing grid (Dogrid) at Word's defaults: origin, 180-twip units,
    // every unit shown, measured from the margins.
    set16(dop, Dop97::kDogrid + Dogrid::kXaGrid, 1701);
    set16(dop, Dop97::kDogrid + Dogrid::kYaGrid, 1984);
    set16(dop, Dop97::kDogrid + Dogrid::kDxaGrid, 180);
    set16(dop, Dop97::kDogrid + Dogrid::kDyaGrid, 180);
    set16(dop, Dop97::kDogrid + Dogrid::kFlags, 0x0001 | 0x0100 | 0x8000);
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
        put32(plc, piece.narrow ? (piece.fc * 2) | kFCompressed : piece.fc);
        put16(plc, 0);  // no property modifier
    }
    std::string out;
    put8(out, kClxtPcdt);
    put32(out, static_cast<std::uint32_t>(plc.size()));
    return out + plc;
}

// The section table (PlcfSed): one section over the whole text.
std::string sectionTable(const StreamLayout& layout) {
    std::string plcfSed;
    put32(plcfSed, 0);
    put32(plcfSed, layout.characterCount);
    put16(plcfSed, 0);  // fn
    put32(plcfSed, layout.fcSepx);
    put16(plcfSed, 0);            // fnMpr
    put32(plcfSed, 0xFFFFFFFFu);  // fcMpr
    return plcfSed;
}

// The bin table of the character property pages (PlcfBteChpx).
std::string chpxBinTable(const StreamLayout& layout, const ChpxPages& pages) {
    std::string plcfBteChpx;
    for (const std::uint32_t fc : pages.pageStarts())
        put32(plcfBteChpx, fc);
    put32(plcfBteChpx, pages.end());
    for (std::uint32_t i = 0; i < pages.pageCount(); ++i)
        put32(plcfBteChpx, layout.chpxPage + i);
    return plcfBteChpx;
}

// The field table of the main document (PlcFld): the CP of every field
// character, then an FLD for each: the begin character with the field's
// kind, the separator, the end character with the flags of a field that has
// a separator and a result as it was computed. The last CP, past them all,
// marks no character.
std::string fieldTable(const std::vector<std::uint32_t>& fields, std::uint32_t characterCount) {
    constexpr std::uint8_t kFltHyperlink = 88;
    constexpr std::uint8_t kFHasSep = 0x80;
    std::string plcFld;
    for (const std::uint32_t cp : fields)
        put32(plcFld, cp);
    put32(plcFld, characterCount);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        switch (i % 3) {
            case 0:
                put8(plcFld, 0x13);
                put8(plcFld, kFltHyperlink);
                break;
            case 1:
                put8(plcFld, 0x14);
                put8(plcFld, 0);  // unused
                break;
            default:
                put8(plcFld, 0x15);
                put8(plcFld, kFHasSep);
                break;
        }
    }
    return plcFld;
}

// The bin table of the paragraph property pages (PlcfBtePapx).
std::string papxBinTable(const PapxPages& pages) {
    std::string plcfBtePapx;
    for (const std::uint32_t fc : pages.pageStarts())
        put32(plcfBtePapx, fc);
    put32(plcfBtePapx, pages.end());
    for (std::uint32_t i = 0; i < pages.pageCount(); ++i)
        put32(plcfBtePapx, kFirstPapxPage + i);
    return plcfBtePapx;
}

// The associated strings (template, title, author...): 18, all empty, as Word
// writes them for a new document.
std::string associatedStrings() {
    std::string sttbfAssoc;
    put16(sttbfAssoc, 0xFFFF);  // extended: 16-bit characters
    put16(sttbfAssoc, 18);
    put16(sttbfAssoc, 0);  // no extra data
    sttbfAssoc.append(2 * 18, '\0');
    return sttbfAssoc;
}

// The table stream, built whole: its size grows with the pieces and the
// pages, not with the text.
TableStream tableStream(const DocumentContent& content, const StreamLayout& layout,
                        const std::vector<Piece>& pieces, const TextProperties& properties,
                        const TablePage* page) {
    TableStream table;
    table.add(FibRgFcLcb97::kStshf, stylesheet(page));
    table.fcLcb[FibRgFcLcb97::kStshfOrig] = table.fcLcb[FibRgFcLcb97::kStshf];
    table.add(FibRgFcLcb97::kPlcfSed, sectionTable(layout));
    table.add(FibRgFcLcb97::kPlcfBteChpx, chpxBinTable(layout, properties.characters));
    table.add(FibRgFcLcb97::kPlcfBtePapx, papxBinTable(properties.paragraphs));
    table.add(FibRgFcLcb97::kSttbfFfn, fontTable());
    if (!properties.fields.empty())
        table.add(FibRgFcLcb97::kPlcfFldMom, fieldTable(properties.fields, layout.characterCount));
    table.add(FibRgFcLcb97::kDop, documentProperties(content));
    table.add(FibRgFcLcb97::kSttbfAssoc, associatedStrings());
    table.add(FibRgFcLcb97::kClx, pieceTable(pieces, layout.characterCount));
    return table;
}

void putFibBase(std::string& fib, const StreamLayout& layout) {
    set16(fib, FibBase::kWIdent, 0xA5EC);
    set16(fib, FibBase::kNFib, 0x00C1);            // Word 97 and later
    set16(fib, FibBase::kLid, 0x0409);             // English (US)
    set16(fib, FibBase::kFlags, 0x0200 | 0x1000);  // fWhichTblStm: 1Table; fExtChar
    set16(fib, FibBase::kNFibBack, 0x00BF);
    set32(fib, FibBase::kReserved5, layout.textStart);
    set32(fib, FibBase::kReserved6, layout.textEnd);
}

void putFibRgLw97(std::string& fib, const StreamLayout& layout, const TextProperties& properties) {
    const auto set = [&fib](std::size_t field, std::uint32_t value) {
        set32(fib, Fib::kFibRgLw + field, value);
    };
    set(FibRgLw97::kCbMac, static_cast<std::uint32_t>(layout.streamEnd));
    set(FibRgLw97::kCcpText, layout.characterCount);
    set(FibRgLw97::kReserved4, layout.chpxPage);
    set(FibRgLw97::kReserved5, layout.chpxPage);
    set(FibRgLw97::kReserved6, properties.characters.pageCount());
    set(FibRgLw97::kReserved7, kFirstPapxPage);
    set(FibRgLw97::kReserved8, kFirstPapxPage);
    set(FibRgLw97::kReserved9, properties.paragraphs.pageCount());
}

void putFibRgFcLcb97(std::string& fib, const TableStream& table) {
    for (std::size_t i = 0; i < table.fcLcb.size(); ++i) {
        const std::size_t pair = Fib::kFibRgFcLcb + FibRgFcLcb97::kPairSize * i;
        set32(fib, pair, table.fcLcb[i].fc);
        set32(fib, pair + FibRgFcLcb97::kLcb, table.fcLcb[i].lcb);
    }
}

// The FIB, padded to kFibArea. cswNew (at 898) stays 0: no newer FIB parts.
std::string fileInformationBlock(const StreamLayout& layout, const TextProperties& properties,
                                 const TableStream& table) {
    std::string fib(kFibArea, '\0');
    putFibBase(fib, layout);
    set16(fib, Fib::kCsw, FibRgW97::kCount);
    set16(fib, Fib::kCslw, FibRgLw97::kCount);
    putFibRgLw97(fib, layout, properties);
    set16(fib, Fib::kCbRgFcLcb, FibRgFcLcb97::kCount);
    putFibRgFcLcb97(fib, table);
    return fib;
}

}  // namespace

DocumentDescription DescribeDocument(const DocumentContent& content, const StreamLayout& layout,
                                     const std::vector<Piece>& pieces, const TextProperties& properties,
                                     const TablePage* page) {
    TableStream table = tableStream(content, layout, pieces, properties, page);
    std::string fib = fileInformationBlock(layout, properties, table);
    return {std::move(fib), std::move(table.bytes)};
}

}  // namespace qm::doc
