#include "DocProperties.h"

#include "DocumentTable.h"
#include "shell/Failure.h"
#include "shell/TextMarks.h"

#include <QDir>
#include <QLocale>
#include <algorithm>
#include <array>

namespace qm::doc {

namespace {

// A property page (FKP) ends in its run count (crun), in its last byte.
constexpr std::uint32_t kFkpCrun = kPageSize - 1;

// A paragraph page holds, from its start, the FCs of its runs (4 bytes each,
// one more than runs) and a 13-byte BX per run; from its end, before the run
// count in its last byte, the PAPXs its runs use, each once, on even offsets.
constexpr std::uint32_t kPapxEnd = 510;
constexpr std::size_t kFcBytes = 4;
constexpr std::size_t kPheBytes = 12;            // a BX's paragraph height, left empty
constexpr std::size_t kBxBytes = 1 + kPheBytes;  // the PAPX's offset in words, then the PHE

// The paragraph properties of plain text: style 0 ("Normal"), nothing else
// (cb 0, cb' 1, istd 0).
const std::string kNormalPapx("\0\1\0\0", 4);

// Single property modifiers (sprms) and their operands.
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
constexpr std::uint16_t kSprmTFCantSplit = 0x3403;
constexpr std::uint16_t kSprmTFCantSplit90 = 0x3466;
constexpr std::uint16_t kSprmTDefTableShd80 = 0xD609;
constexpr std::uint16_t kSprmSBOrientation = 0x301D;
constexpr std::uint8_t kLandscape = 2;
// A light grey background (SHD80: icoBack 16, clear pattern).
constexpr std::uint16_t kHeaderShade = 16 << 5;
constexpr std::uint16_t kSprmCFBold = 0x0835;
constexpr std::uint16_t kSprmCFItalic = 0x0836;
constexpr std::uint16_t kSprmCKul = 0x2A3E;  // underline; 1: single
constexpr std::uint16_t kSprmCIco = 0x2A42;  // colour from the 16 of Word 97; 2: blue
constexpr std::uint16_t kSprmCCv = 0x6870;   // colour as red, green, blue and an auto flag
constexpr std::uint16_t kSprmCFSpec = 0x0855;

// A character page holds, from its start, the FCs of its runs (one more than
// runs) and a byte per run: its Chpx's offset in words, 0 for none; from its
// end down, before the run count, the Chpxs its runs use, each once, on even
// offsets. At most 0x65 runs.
constexpr std::uint32_t kChpxEnd = 510;
constexpr std::size_t kMaxChpxRuns = 0x65;
constexpr std::size_t kLooks = 32;

// The colour of links, as the other formats have it: #0563C1.
constexpr std::array<std::uint8_t, 4> kLinkColour = {0x05, 0x63, 0xC1, 0x00};

const std::array<std::string, kLooks>& chpxTable() {
    static const std::array<std::string, kLooks> table = [] {
        std::array<std::string, kLooks> chpxs;
        for (std::size_t look = 0; look < kLooks; ++look)
            chpxs[look] = ChpxOf(static_cast<std::uint8_t>(look));
        return chpxs;
    }();
    return table;
}

// The room a Chpx takes on a page.
std::size_t room(const std::string& chpx) {
    return (chpx.size() + 1) / 2 * 2;
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

// The properties of a table's row: its cell edges, the space between text and
// cell edge, thin black borders, kept on one page (sprms to add to a cell's).
void putRowProperties(std::string& grpprl, const TablePage& page) {
    put16(grpprl, kSprmTDxaGapHalf);
    put16(grpprl, TablePage::kCellPadding);
    for (const std::uint16_t sprm : {kSprmTFCantSplit, kSprmTFCantSplit90}) {
        put16(grpprl, sprm);
        put8(grpprl, 1);
    }
    put16(grpprl, kSprmTTableBorders80);
    put8(grpprl, 24);
    for (int edge = 0; edge < 6; ++edge) {  // top, left, bottom, right, inside horizontal and vertical
        put8(grpprl, 4);                    // width: half a point, in eighths
        put8(grpprl, 1);                    // single line
        put8(grpprl, 1);                    // black
        put8(grpprl, 0);
    }
    const std::vector<std::uint32_t>& widths = page.widths;
    put16(grpprl, kSprmTDefTable);
    put16(grpprl, static_cast<std::uint16_t>(1 + 2 * (widths.size() + 1) + 1));
    put8(grpprl, static_cast<std::uint8_t>(widths.size()));
    std::uint32_t edge = 0;
    put16(grpprl, 0);
    for (const std::uint32_t width : widths) {
        edge += width;
        put16(grpprl, static_cast<std::uint16_t>(edge));
    }
}

}  // namespace

std::uint32_t PapxPages::runsPerPage(const std::vector<std::string>& papxs) {
    std::size_t all = 0;
    for (const std::string& papx : papxs)
        all += papx.size();
    return static_cast<std::uint32_t>((kPapxEnd - kFcBytes - all) / (kFcBytes + kBxBytes));
}

void PapxPages::paragraphEnd(std::uint32_t fc) {
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

bool PapxPages::fits(Mark mark) const {
    const std::size_t papxBytes = usedBytes_ + ((used_ & (1u << mark)) != 0 ? 0 : papxs_[mark].size());
    const std::size_t runs = ends_.size() + 1;
    return kFcBytes * (runs + 1) + kBxBytes * runs + papxBytes <= kPapxEnd;
}

void PapxPages::closePage() {
    if (pageCount() == reservedPages_)
        throw Failure(QStringLiteral("The document text has more paragraphs than it said"));
    const std::size_t at = ready_.size();
    ready_.resize(at + kPageSize, '\0');
    char* const page = ready_.data() + at;
    // The PAPXs the runs use, from the end of the page down.
    std::array<std::uint32_t, 5> offsets{};
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
        header.append(kPheBytes, '\0');                              // and an empty PHE
    }
    std::copy(header.begin(), header.end(), page);
    page[kFkpCrun] = static_cast<char>(ends_.size());
    pageStarts_.push_back(pageStart_);
    pageStart_ = ends_.back();
    ends_.clear();
    endMarks_.clear();
    used_ = 0;
    usedBytes_ = 0;
}

std::vector<std::string> LinePapxs() {
    return {kNormalPapx};
}

std::vector<std::string> TablePapxs(const TableShape& shape, const TablePage& page) {
    std::string inTable;
    put16(inTable, kSprmPFInTable);
    put8(inTable, 1);
    put16(inTable, kSprmPItap);
    put32(inTable, 1);
    std::string cell;
    put16(cell, 0);  // istd: "Normal"
    cell += inTable;
    std::string headerCell;
    put16(headerCell, kHeadingStyle);
    headerCell += inTable;
    std::string row = cell;
    put16(row, kSprmPFTtp);
    put8(row, 1);
    putRowProperties(row, page);
    std::string header = row;
    put16(header, kSprmTTableHeader);
    put8(header, 1);
    std::string shaded = header;
    put16(shaded, kSprmTDefTableShd80);
    put8(shaded, static_cast<std::uint8_t>(2 * shape.columns));
    for (std::size_t i = 0; i < shape.columns; ++i)
        put16(shaded, kHeaderShade);
    std::vector<std::string> papxs = {kNormalPapx, papxInFkp(cell), papxInFkp(row), papxInFkp(shaded),
                                      papxInFkp(headerCell)};
    // A paragraph page of 512 bytes holds every kind of PAPX: a table of many
    // columns has no room for its header row's shading.
    constexpr std::size_t kFewestRuns = 8;
    std::size_t all = 0;
    for (const std::string& papx : papxs)
        all += papx.size();
    if (all + kFcBytes * (kFewestRuns + 1) + kBxBytes * kFewestRuns > kPapxEnd)
        papxs[kHeaderRowMark] = papxInFkp(header);
    return papxs;
}

std::string ChpxOf(std::uint8_t look) {
    std::string grpprl;
    const auto sprm = [&grpprl](std::uint16_t code, std::uint8_t operand) {
        put16(grpprl, code);
        put8(grpprl, operand);
    };
    if (look & kFieldCharacter)
        sprm(kSprmCFSpec, 1);
    if (look & marks::kBold)
        sprm(kSprmCFBold, 1);
    if (look & marks::kItalic)
        sprm(kSprmCFItalic, 1);
    if (look & (marks::kUnderline | kLinkLook))
        sprm(kSprmCKul, 1);
    if (look & kLinkLook) {
        sprm(kSprmCIco, 2);  // for readers that know only Word 97's colours
        put16(grpprl, kSprmCCv);
        grpprl.append(kLinkColour.begin(), kLinkColour.end());
    }
    if (grpprl.empty())
        return {};
    std::string chpx;
    put8(chpx, static_cast<std::uint8_t>(grpprl.size()));
    return chpx + grpprl;
}

void ChpxPages::change(std::uint32_t fc, std::uint8_t look) {
    if (look == look_)
        return;
    if (fc > runStart_) {
        addRun(fc, look_);
        runStart_ = fc;
    }
    look_ = look;  // a run of no characters is none
}

void ChpxPages::finish(std::uint32_t textEnd) {
    if (textEnd > runStart_)
        addRun(textEnd, look_);
    runStart_ = textEnd;
    if (!ends_.empty())
        closePage();
}

bool ChpxPages::fits(std::uint8_t look) const {
    const bool known = look == 0 || (used_ & (1u << look)) != 0;
    const std::size_t chpxBytes = chpxBytes_ + (known ? 0 : room(chpxTable()[look]));
    const std::size_t runs = ends_.size() + 1;
    return runs <= kMaxChpxRuns && kFcBytes * (runs + 1) + runs + chpxBytes <= kChpxEnd;
}

void ChpxPages::addRun(std::uint32_t end, std::uint8_t look) {
    if (!looks_.empty() && looks_.back() == look) {
        ends_.back() = end;
        return;
    }
    if (!fits(look))
        closePage();
    ends_.push_back(end);
    looks_.push_back(look);
    if (look != 0 && (used_ & (1u << look)) == 0) {
        used_ |= 1u << look;
        chpxBytes_ += room(chpxTable()[look]);
    }
}

void ChpxPages::closePage() {
    std::string page(kPageSize, '\0');
    std::array<std::uint8_t, kLooks> words{};  // each look's Chpx offset in words
    std::uint32_t offset = kChpxEnd;
    for (std::size_t look = 1; look < kLooks; ++look) {
        if ((used_ & (1u << look)) == 0)
            continue;
        const std::string& chpx = chpxTable()[look];
        offset -= static_cast<std::uint32_t>(room(chpx));
        words[look] = static_cast<std::uint8_t>(offset / 2);
        std::copy(chpx.begin(), chpx.end(), page.begin() + offset);
    }
    std::string header;
    put32(header, pageStart_);
    for (const std::uint32_t fc : ends_)
        put32(header, fc);
    for (const std::uint8_t look : looks_)
        put8(header, words[look]);
    std::copy(header.begin(), header.end(), page.begin());
    page[kFkpCrun] = static_cast<char>(ends_.size());
    pageStarts_.push_back(pageStart_);
    pageStart_ = ends_.back();
    ends_.clear();
    looks_.clear();
    used_ = 0;
    chpxBytes_ = 0;
    ready_ += page;
    if (ready_.size() >= kPageBatch * kPageSize) {
        if (!spill_) {
            spill_ = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                      QStringLiteral("/quillmerge-pages-XXXXXX"));
            if (!spill_->open())
                throw Failure(QStringLiteral("Could not create a temporary file in '%1': %2")
                                  .arg(QDir::tempPath(), spill_->errorString()));
        }
        if (spill_->write(ready_.data(), static_cast<qint64>(ready_.size())) !=
            static_cast<qint64>(ready_.size()))
            throw Failure(QStringLiteral("Could not write the temporary file '%1': %2")
                              .arg(spill_->fileName(), spill_->errorString()));
        ready_.clear();
    }
}

void ChpxPages::writePages(const std::function<void(std::string_view)>& write) const {
    if (spill_) {
        if (!spill_->flush() || !spill_->seek(0))
            throw Failure(QStringLiteral("Could not read the temporary file '%1': %2")
                              .arg(spill_->fileName(), spill_->errorString()));
        std::string chunk(kPageBatch * kPageSize, '\0');
        for (qint64 left = spill_->size(); left > 0;) {
            const qint64 got =
                spill_->read(chunk.data(), std::min<qint64>(left, static_cast<qint64>(chunk.size())));
            if (got <= 0)
                throw Failure(QStringLiteral("Could not read the temporary file '%1': %2")
                                  .arg(spill_->fileName(), spill_->errorString()));
            write(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
            left -= got;
        }
    }
    write(ready_);
}

std::string Sepx(const TablePage* table) {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    std::string grpprl;
    const auto sprm = [&grpprl](std::uint16_t code, std::uint16_t operand) {
        put16(grpprl, code);
        put16(grpprl, operand);
    };
    if (table && table->landscape) {
        put16(grpprl, kSprmSBOrientation);
        put8(grpprl, kLandscape);
    }
    const std::uint32_t margin = table ? table->margin : 1440;
    sprm(kSprmSXaPage, static_cast<std::uint16_t>(table ? table->paperWidth : letter ? 12240 : 11906));
    sprm(kSprmSYaPage, static_cast<std::uint16_t>(table ? table->paperHeight : letter ? 15840 : 16838));
    sprm(kSprmSDxaLeft, static_cast<std::uint16_t>(margin));
    sprm(kSprmSDxaRight, static_cast<std::uint16_t>(margin));
    sprm(kSprmSDyaTop, static_cast<std::uint16_t>(margin));
    sprm(kSprmSDyaBottom, static_cast<std::uint16_t>(margin));
    sprm(kSprmSDyaHdrTop, 720);
    sprm(kSprmSDyaHdrBottom, 720);
    std::string out;
    put16(out, static_cast<std::uint16_t>(grpprl.size()));
    return out + grpprl;
}

}  // namespace qm::doc
