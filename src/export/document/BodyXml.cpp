#include "BodyXml.h"

#include "DocumentText.h"

#include <array>
#include <cstdint>

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
    // <, > and &.
    void ascii(std::string_view special) {
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
    void paragraphEnd() {
        switch (state_) {
            case State::Between:
                *out += "<w:p/>";
                break;
            case State::InRun:
                *out += "</w:r></w:p>";
                break;
            case State::InText:
                *out += "</w:t></w:r></w:p>";
                break;
        }
        state_ = State::Between;
    }

  private:
    enum class State { Between, InRun, InText };

    void openText() {
        switch (state_) {
            case State::Between:
                *out += "<w:p><w:r>";
                *out += kOpenText;
                break;
            case State::InRun:
                *out += kOpenText;
                break;
            case State::InText:
                return;
        }
        state_ = State::InText;
    }
    void openRun() {
        switch (state_) {
            case State::Between:
                *out += "<w:p><w:r>";
                break;
            case State::InText:
                *out += "</w:t>";
                break;
            case State::InRun:
                return;
        }
        state_ = State::InRun;
    }

    State state_ = State::Between;
};

struct BodyXmlBuilder::Reader : StoredTextReader<Body> {
    using StoredTextReader<Body>::StoredTextReader;
};

BodyXmlBuilder::BodyXmlBuilder()
    : body_(std::make_unique<Body>()), reader_(std::make_unique<Reader>(*body_)) {}

BodyXmlBuilder::~BodyXmlBuilder() = default;

void BodyXmlBuilder::feed(std::string_view stored, std::string& out) {
    body_->out = &out;
    reader_->feed(stored);
}

void BodyXmlBuilder::finish(std::string& out) {
    body_->out = &out;
    reader_->finish();
}

std::uint64_t BodyXmlBuilder::paragraphCount() const {
    return reader_->paragraphCount();
}

}  // namespace qm
