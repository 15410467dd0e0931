#pragma once

#include "TextSpool.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Reads document text in the spool's stored form (TextSpool::kEscape) as the
// structure every document format needs, piece by piece, so a text of any
// size streams through a small buffer. The rules are those of the Office Open
// XML body (BodyXml.h), so every format carries the same document:
//
// - Each line (ended by CR LF) is one paragraph; a text that does not end in
//   CR LF ends with a paragraph holding the rest; an empty text is one empty
//   paragraph, as a document always has at least one.
// - A line break inside a value (a CR LF that was inside an appended line, a
//   lone CR or a lone LF) is a line break within its record's paragraph.
// - Tabs and all blanks are kept.
// - What a document cannot hold becomes U+FFFD: C0 controls other than tab, CR
//   and LF (in a Word document they would be read as page breaks, fields or
//   table cells); U+FFFE and U+FFFF; invalid UTF-8, one U+FFFD for each maximal
//   ill-formed subsequence, as Unicode recommends.
//
// Handler is called with, in document order:
//   void ascii(std::string_view run);  // printable ASCII, 0x20 to 0x7F
//   void character(char32_t c);        // any other character (never a control)
//   void tab();
//   void lineBreak();
//   void paragraphEnd();
template <class Handler>
class StoredTextReader {
  public:
    explicit StoredTextReader(Handler& handler) : handler_(handler) {}

    // Pieces may split lines and characters anywhere.
    void feed(std::string_view stored);
    // Settles what the last piece left open and ends the last paragraph.
    void finish();

    std::uint64_t paragraphCount() const { return paragraphs_; }

    static constexpr char32_t kReplacement = 0xFFFD;

  private:
    enum class Sequence { Valid, Invalid, Incomplete };

    // Handles as much as can be decided; returns how many bytes were used.
    // Without final, an incomplete CR, escape or UTF-8 sequence at the end is
    // left for the next piece.
    std::size_t convert(std::string_view stored, bool final);
    static Sequence decodeUtf8(const std::uint8_t* s, const std::uint8_t* end, std::size_t& length,
                               char32_t& code);
    void endParagraph() {
        handler_.paragraphEnd();
        ++paragraphs_;
        open_ = false;
    }

    Handler& handler_;
    std::string carry_;  // at most a few bytes of an undecided sequence
    std::uint64_t paragraphs_ = 0;
    bool open_ = false;  // something was written since the last paragraph end
};

template <class Handler>
typename StoredTextReader<Handler>::Sequence StoredTextReader<Handler>::decodeUtf8(const std::uint8_t* s,
                                                                                   const std::uint8_t* end,
                                                                                   std::size_t& length,
                                                                                   char32_t& code) {
    const std::uint8_t lead = s[0];
    std::uint8_t low = 0x80;  // allowed range of the second byte
    std::uint8_t high = 0xBF;
    std::size_t need = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        code = lead & 0x0Fu;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        else if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        code = lead & 0x07u;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        length = 1;
        return Sequence::Invalid;
    }
    for (std::size_t i = 1; i < need; ++i) {
        if (s + i >= end) {
            length = i;
            return Sequence::Incomplete;
        }
        const std::uint8_t lo = i == 1 ? low : 0x80;
        const std::uint8_t hi = i == 1 ? high : 0xBF;
        if (s[i] < lo || s[i] > hi) {
            length = i;
            return Sequence::Invalid;
        }
        code = (code << 6) | (s[i] & 0x3Fu);
    }
    length = need;
    if (code == 0xFFFE || code == 0xFFFF)
        code = kReplacement;
    return Sequence::Valid;
}

template <class Handler>
std::size_t StoredTextReader<Handler>::convert(std::string_view stored, bool final) {
    const auto* const begin = reinterpret_cast<const std::uint8_t*>(stored.data());
    const auto* const end = begin + stored.size();
    const auto* s = begin;
    constexpr auto kEscape = static_cast<std::uint8_t>(TextSpool::kEscape);
    while (s < end) {
        const auto* const run = s;
        while (s < end && *s >= 0x20 && *s <= 0x7F)
            ++s;
        if (s > run) {
            handler_.ascii(
                std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(s - run)));
            open_ = true;
            if (s == end)
                break;
        }
        const std::uint8_t c = *s;
        if (c == '\r') {
            if (s + 1 == end && !final)
                break;
            if (s + 1 < end && s[1] == '\n') {
                endParagraph();
                s += 2;
                continue;
            }
            handler_.lineBreak();
            ++s;
        } else if (c == '\n') {
            handler_.lineBreak();
            ++s;
        } else if (c == '\t') {
            handler_.tab();
            ++s;
        } else if (c == kEscape) {
            if (s + 1 == end && !final)
                break;
            if (s + 1 < end && s[1] == '\n') {  // a value's own CR LF
                handler_.lineBreak();
                s += 2;
            } else {
                // A byte 0xFF of the text (escaped as two), or a stray escape:
                // neither is UTF-8.
                handler_.character(kReplacement);
                s += s + 1 < end && s[1] == kEscape ? 2 : 1;
            }
        } else if (c < 0x20) {
            handler_.character(kReplacement);
            ++s;
        } else {
            std::size_t length = 0;
            char32_t code = 0;
            const Sequence sequence = decodeUtf8(s, end, length, code);
            if (sequence == Sequence::Incomplete && !final)
                break;
            handler_.character(sequence == Sequence::Valid ? code : kReplacement);
            s += length;
        }
        open_ = true;
    }
    return static_cast<std::size_t>(s - begin);
}

template <class Handler>
void StoredTextReader<Handler>::feed(std::string_view stored) {
    // First settle the sequence the previous piece ended in the middle of.
    while (!carry_.empty() && !stored.empty()) {
        const std::size_t take = std::min<std::size_t>(stored.size(), 4);
        std::string joined = carry_;
        joined.append(stored.data(), take);
        const std::size_t used = convert(joined, false);
        if (used < carry_.size()) {
            carry_ = joined.substr(used);
            stored.remove_prefix(take);
            continue;
        }
        stored.remove_prefix(used - carry_.size());
        carry_.clear();
    }
    if (stored.empty())
        return;
    const std::size_t used = convert(stored, false);
    carry_.assign(stored.substr(used));
}

template <class Handler>
void StoredTextReader<Handler>::finish() {
    if (!carry_.empty()) {
        convert(carry_, true);
        carry_.clear();
    }
    if (open_ || paragraphs_ == 0)
        endParagraph();
}

}  // namespace qm
