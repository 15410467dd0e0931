#include "BodyXml.h"

#include "DocumentTable.h"
#include "DocumentText.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qm {

namespace {

constexpr std::string_view kOpenText = "<w:t xml:space=\"preserve\">";

// Printable ASCII but XML's specials: copied as they are.
constexpr std::array<bool, 256> makeRunTable() {
    std::array<bool, 256> table{};
    for (int c = 0x20; c <= 0x7F; ++c)
        table[static_cast<std::size_t>(c)] = c != '<' && c != '>' && c != '&';
    return table;
}

}  // namespace

// StoredTextReader's handler: WordprocessingML into the output the builder
// was last given.
class BodyXmlBuilder::Body {
  public:
    std::string* out = nullptr;

    static constexpr std::array<bool, 256> kInRun = makeRunTable();

    // Printable ASCII but <, > and &, and valid characters: as they are.
    void run(std::string_view text) {
        openText();
        *out += text;
    }
    // <, > and & (and, in a link's target, any character).
    void ascii(std::string_view special, bool text = true) {
        if (text)
            openText();
        for (const char c : special)
            *out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string_view(&c, 1);
    }
    void character(char32_t, std::string_view utf8) {  // U+FFFD only
        openText();
        *out += utf8;
    }
    void tab() {
        openRun();
        *out += "<w:tab/>";
    }
    void lineBreak() {
        openRun();
        *out += "<w:br/>";
    }
    void paragraphEnd() { endParagraph(); }

    // A link is a HYPERLINK field around its text, which needs no relationship
    // of its own; its runs look as Word's own links do.
    void linkStart(std::string_view target) {
        closeRun();
        *out +=
            "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText xml:space=\"preserve\">"
            " HYPERLINK \"";
        for (const char c : target) {
            if (c == '"' || c == '\\')
                *out += '\\';
            ascii(std::string_view(&c, 1), false);
        }
        *out += "\" </w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>";
        link_ = true;
    }
    void linkEnd() {
        closeRun();
        *out += "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
        link_ = false;
    }
    void emphasis(unsigned bits) {
        if (state_ != State::Between)
            closeRun();
        emphasis_ = bits;
    }

    // The table's structure (TableHandler): cells hold one paragraph each; no
    // row is split across pages; the header row is shaded, and bold by the
    // table's style (OoxmlWriter.cpp), which keeps the runs plain.
    void beginRow(bool header) {
        header_ = header;
        *out += header ? "<w:tr><w:trPr><w:cantSplit/><w:tblHeader/></w:trPr>"
                       : "<w:tr><w:trPr><w:cantSplit/></w:trPr>";
    }
    void beginCell(std::size_t) {
        *out += header_ ? "<w:tc><w:tcPr><w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"D9D9D9\"/></w:tcPr>"
                        : "<w:tc>";
    }
    void endCell() {
        endParagraph();
        *out += "</w:tc>";
    }
    void endRow() { *out += "</w:tr>"; }

    // The table's properties and grid; the cells take their widths from the
    // grid, which keeps the many cells of a long table short.
    void setTable(const TablePage& page) {
        tableStart_ = "<w:tbl><w:tblPr><w:tblStyle w:val=\"Records\"/><w:tblW w:w=\"" +
                      std::to_string(page.textWidth()) + "\" w:type=\"dxa\"/><w:tblBorders>";
        for (const char* edge : {"top", "left", "bottom", "right", "insideH", "insideV"})
            tableStart_ +=
                std::string("<w:") + edge + " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>";
        tableStart_ += "</w:tblBorders><w:tblLayout w:type=\"fixed\"/><w:tblCellMar>";
        const std::string vertical = std::to_string(TablePage::kCellPaddingVertical);
        const std::string horizontal = std::to_string(TablePage::kCellPadding);
        for (const auto& [edge, width] : {std::pair{"top", vertical}, std::pair{"left", horizontal},
                                          std::pair{"bottom", vertical}, std::pair{"right", horizontal}})
            tableStart_ += std::string("<w:") + edge + " w:w=\"" + width + "\" w:type=\"dxa\"/>";
        tableStart_ +=
            "</w:tblCellMar><w:tblLook w:val=\"0020\" w:firstRow=\"1\" w:lastRow=\"0\" "
            "w:firstColumn=\"0\" w:lastColumn=\"0\" w:noHBand=\"1\" w:noVBand=\"1\"/></w:tblPr><w:tblGrid>";
        for (const std::uint32_t width : page.widths)
            tableStart_ += "<w:gridCol w:w=\"" + std::to_string(width) + "\"/>";
        tableStart_ += "</w:tblGrid>";
    }
    const std::string& tableStart() const { return tableStart_; }

  private:
    void endParagraph() {
        if (state_ == State::Between) {
            *out += "<w:p/>";
            return;
        }
        closeRun();
        *out += "</w:p>";
        state_ = State::Between;
    }

    // Between paragraphs, in one without an open run, in a run, in its text.
    enum class State { Between, InParagraph, InRun, InText };

    void openText() {
        if (state_ == State::InText)
            return;
        openRun();
        *out += kOpenText;
        state_ = State::InText;
    }
    void openRun() {
        switch (state_) {
            case State::Between:
                *out += "<w:p>";
                [[fallthrough]];
            case State::InParagraph:
                startRun();
                break;
            case State::InText:
                *out += "</w:t>";
                break;
            case State::InRun:
                return;
        }
        state_ = State::InRun;
    }
    // A run with the emphasis and the look of a link that its text has.
    void startRun() {
        if (emphasis_ == 0 && !link_) {
            *out += "<w:r>";
            return;
        }
        *out += "<w:r><w:rPr>";
        if (emphasis_ & marks::kBold)
            *out += "<w:b/>";
        if (emphasis_ & marks::kItalic)
            *out += "<w:i/>";
        if (link_)
            *out += "<w:color w:val=\"0563C1\"/>";
        if (link_ || (emphasis_ & marks::kUnderline))
            *out += "<w:u w:val=\"single\"/>";
        *out += "</w:rPr>";
    }
    // Ends the open run, if any, in an open paragraph.
    void closeRun() {
        switch (state_) {
            case State::Between:
                *out += "<w:p>";
                break;
            case State::InParagraph:
                break;
            case State::InRun:
                *out += "</w:r>";
                break;
            case State::InText:
                *out += "</w:t></w:r>";
                break;
        }
        state_ = State::InParagraph;
    }

    State state_ = State::Between;
    unsigned emphasis_ = 0;
    bool link_ = false;
    std::string tableStart_;
    bool header_ = false;  // in the table's header row
};

struct BodyXmlBuilder::Reader {
    virtual ~Reader() = default;
    virtual Body& body() = 0;
    virtual void begin() = 0;
    virtual void feed(std::string_view stored) = 0;
    virtual void finish() = 0;
    virtual std::uint64_t paragraphCount() const = 0;
};

namespace {

// The lines of the text, or the rows of a table, as paragraphs.
template <class Handler>
struct ReaderOf : BodyXmlBuilder::Reader {
    template <class... Args>
    explicit ReaderOf(Args&&... args) : handler(std::forward<Args>(args)...), reader(handler) {}
    BodyXmlBuilder::Body& body() override { return handler; }
    void begin() override {
        if constexpr (requires { handler.begin(); })
            handler.begin();
    }
    void feed(std::string_view stored) override { reader.feed(stored); }
    void finish() override { reader.finish(); }
    std::uint64_t paragraphCount() const override { return reader.paragraphCount(); }

    Handler handler;
    StoredTextReader<Handler> reader;
};

}  // namespace

BodyXmlBuilder::BodyXmlBuilder() : reader_(std::make_unique<ReaderOf<Body>>()) {}

BodyXmlBuilder::BodyXmlBuilder(const TableShape& table, const TablePage& page) {
    auto reader = std::make_unique<ReaderOf<TableHandler<Body>>>(table);
    reader->handler.setTable(page);
    tableStart_ = reader->handler.tableStart();
    reader_ = std::move(reader);
}

BodyXmlBuilder::~BodyXmlBuilder() = default;

void BodyXmlBuilder::feed(std::string_view stored, std::string& out) {
    start(out);
    reader_->feed(stored);
}

void BodyXmlBuilder::finish(std::string& out) {
    start(out);
    reader_->finish();
    if (!tableStart_.empty())
        out += "</w:tbl><w:p/>";  // a body ends with a paragraph, never with a table
}

void BodyXmlBuilder::start(std::string& out) {
    reader_->body().out = &out;
    if (!started_) {
        started_ = true;
        out += tableStart_;
        reader_->begin();
    }
}

std::uint64_t BodyXmlBuilder::paragraphCount() const {
    return reader_->paragraphCount();
}

}  // namespace qm
