#include "BodyXml.h"

#include "TextSpool.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace qm {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kOpenText = "<w:t xml:space=\"preserve\">";

// Bytes copied as they are: printable ASCII and DEL, but not the XML specials.
constexpr std::array<bool, 256> makePlainTable() {
    std::array<bool, 256> table{};
    for (int c = 0x20; c <= 0x7F; ++c)
        table[static_cast<std::size_t>(c)] = c != '<' && c != '>' && c != '&';
    return table;
}
constexpr std::array<bool, 256> kPlain = makePlainTable();

enum class Sequence { Valid, NotXml, Invalid, Incomplete };

// Classifies the UTF-8 sequence that starts with the byte at s (0x80 or above).
// length: the bytes of the sequence, or of its maximal ill-formed subpart.
Sequence classifyUtf8(const std::uint8_t* s, const std::uint8_t* end, std::size_t& length) {
    char32_t code = 0;
    switch (utf8::Decode(s, end, length, code)) {
        case utf8::Sequence::Valid:
            return utf8::IsNonCharacter(code) ? Sequence::NotXml : Sequence::Valid;
        case utf8::Sequence::Incomplete:
            return Sequence::Incomplete;
        case utf8::Sequence::Invalid:
            break;
    }
    return Sequence::Invalid;
}

}  // namespace

void BodyXmlBuilder::openText(std::string& out) {
    switch (state_) {
        case State::Between:
            out += "<w:p><w:r>";
            out += kOpenText;
            break;
        case State::InRun:
            out += kOpenText;
            break;
        case State::InText:
            return;
    }
    state_ = State::InText;
}

void BodyXmlBuilder::openRun(std::string& out) {
    switch (state_) {
        case State::Between:
            out += "<w:p><w:r>";
            break;
        case State::InText:
            out += "</w:t>";
            break;
        case State::InRun:
            return;
    }
    state_ = State::InRun;
}

void BodyXmlBuilder::endParagraph(std::string& out) {
    switch (state_) {
        case State::Between:
            out += "<w:p/>";
            break;
        case State::InRun:
            out += "</w:r></w:p>";
            break;
        case State::InText:
            out += "</w:t></w:r></w:p>";
            break;
    }
    state_ = State::Between;
    ++paragraphs_;
}

std::size_t BodyXmlBuilder::convert(std::string_view stored, bool final, std::string& out) {
    const auto* const begin = reinterpret_cast<const std::uint8_t*>(stored.data());
    const auto* const end = begin + stored.size();
    const auto* s = begin;
    const auto lineBreak = [&] {
        openRun(out);
        out += "<w:br/>";
    };
    const auto replacement = [&] {
        openText(out);
        out += kReplacement;
    };
    while (s < end) {
        // The common case: a run of characters that go into the XML unchanged.
        const auto* const run = s;
        for (;;) {
            while (s < end && kPlain[*s])
                ++s;
            if (s < end && *s >= 0x80) {
                std::size_t length = 0;
                if (classifyUtf8(s, end, length) == Sequence::Valid) {
                    s += length;
                    continue;
                }
            }
            break;
        }
        if (s > run) {
            openText(out);
            out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(s - run));
            if (s == end)
                break;
        }
        const std::uint8_t c = *s;
        switch (c) {
            case '<':
                openText(out);
                out += "&lt;";
                ++s;
                break;
            case '>':
                openText(out);
                out += "&gt;";
                ++s;
                break;
            case '&':
                openText(out);
                out += "&amp;";
                ++s;
                break;
            case '\t':
                openRun(out);
                out += "<w:tab/>";
                ++s;
                break;
            case '\n':
                lineBreak();
                ++s;
                break;
            case '\r':
                if (s + 1 == end) {
                    if (!final)
                        return static_cast<std::size_t>(s - begin);
                    lineBreak();
                    ++s;
                } else if (s[1] == '\n') {
                    endParagraph(out);
                    s += 2;
                } else {
                    lineBreak();
                    ++s;
                }
                break;
            case static_cast<std::uint8_t>(TextSpool::kEscape):
                if (s + 1 == end) {
                    if (!final)
                        return static_cast<std::size_t>(s - begin);
                    replacement();
                    ++s;
                } else if (s[1] == '\n') {  // a value's own CR LF
                    lineBreak();
                    s += 2;
                } else if (s[1] ==
                           static_cast<std::uint8_t>(TextSpool::kEscape)) {  // a byte 0xFF of the text
                    replacement();
                    s += 2;
                } else {
                    replacement();
                    ++s;
                }
                break;
            default:
                if (c < 0x80) {  // a control character XML cannot hold
                    replacement();
                    ++s;
                    break;
                }
                std::size_t length = 0;
                if (classifyUtf8(s, end, length) == Sequence::Incomplete && !final)
                    return static_cast<std::size_t>(s - begin);
                replacement();
                s += length;
                break;
        }
    }
    return static_cast<std::size_t>(s - begin);
}

void BodyXmlBuilder::feed(std::string_view stored, std::string& out) {
    FeedStoredPiece(carry_, stored,
                    [&](std::string_view piece, bool final) { return convert(piece, final, out); });
}

void BodyXmlBuilder::finish(std::string& out) {
    if (!carry_.empty()) {
        convert(carry_, true, out);
        carry_.clear();
    }
    if (state_ != State::Between || paragraphs_ == 0)
        endParagraph(out);
}

}  // namespace qm
