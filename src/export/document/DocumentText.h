#pragma once

#include "TextSpool.h"
#include "shell/TextMarks.h"
#include "shell/Utf8.h"

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
//   // any other character (never a control), with its UTF-8 bytes
//   void character(char32_t c, std::string_view utf8);
//   void tab();
//   void lineBreak();
//   void paragraphEnd();
// and, when it has one, with void cellEnd() between the cells of a table's row
// (TextSpool::appendRow; a row ends with paragraphEnd()); a handler without
// cellEnd() gets a tab there, as the plain text has.
// A handler that shows links and emphasis has
//   void linkStart(std::string_view target);  // UTF-8, no controls
//   void linkEnd();
//   void emphasis(unsigned bits);  // emphasis bits (marks::kBold...) of what follows
// and gets them well nested: a link ends before another starts, and both a
// link and emphasis end before a paragraph or a cell does. Other handlers
// get the text alone.
// A handler that has run(std::string_view utf8) and a table kInRun of the
// ASCII bytes it takes in runs gets those and valid characters together in
// one call, instead of ascii() and character() one by one (XML, say, needs
// nothing but its specials told apart); the printable ASCII left out of runs
// comes through ascii(), and character() only gets U+FFFD for what a
// document cannot hold.
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
    static constexpr bool kTakesRuns = requires(Handler & h, std::string_view text) { h.run(text); };
    static constexpr bool kTakesCells = requires(Handler & h) { h.cellEnd(); };
    static constexpr bool kTakesMarks = requires(Handler & h, std::string_view target) {
        h.linkStart(target);
        h.linkEnd();
        h.emphasis(0u);
    };
    static constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

  private:
    // Handles as much as can be decided; returns how many bytes were used.
    // Without final, an incomplete CR, escape or UTF-8 sequence at the end is
    // left for the next piece.
    std::size_t convert(std::string_view stored, bool final);
    // Where the run of bytes handed over in one call from s on ends.
    static const std::uint8_t* runEnd(const std::uint8_t* s, const std::uint8_t* end);
    // A control character or the spool's escape at s: the bytes it took, 0
    // when it is undecided until the next piece.
    std::size_t control(const std::uint8_t* s, const std::uint8_t* end, bool final);
    // A character beyond ASCII (or bytes that are none) at s, likewise.
    std::size_t nonAscii(const std::uint8_t* s, const std::uint8_t* end, bool final);
    // A mark at s (the spool's escape and what follows): the bytes it took,
    // 0 when it is undecided until the next piece or is no mark.
    std::size_t mark(const std::uint8_t* s, const std::uint8_t* end, bool final);
    // Ends an open link and any emphasis, before a paragraph or cell ends.
    void closeMarks() {
        if constexpr (kTakesMarks) {
            if (link_)
                handler_.linkEnd();
            if (emphasis_ != 0)
                handler_.emphasis(0u);
        }
        link_ = false;
        emphasis_ = 0;
    }
    void endParagraph() {
        closeMarks();
        handler_.paragraphEnd();
        ++paragraphs_;
        open_ = false;
    }

    Handler& handler_;
    std::string carry_;  // at most a few bytes of an undecided sequence
    std::uint64_t paragraphs_ = 0;
    bool open_ = false;  // something was written since the last paragraph end
    bool link_ = false;  // a link is open
    unsigned emphasis_ = 0;
};

template <class Handler>
std::size_t StoredTextReader<Handler>::mark(const std::uint8_t* s, const std::uint8_t* end, bool final) {
    constexpr auto kEscape = static_cast<std::uint8_t>(TextSpool::kEscape);
    const char code = static_cast<char>(s[1]);
    if (code == TextSpool::kLinkEnd || marks::IsEmphasisCode(code)) {
        if constexpr (kTakesMarks) {
            if (code == TextSpool::kLinkEnd && link_)
                handler_.linkEnd();
            const unsigned bits = code == TextSpool::kLinkEnd ? emphasis_ : unsigned(code - '0');
            if (bits != emphasis_)
                handler_.emphasis(bits);
        }
        link_ = link_ && code != TextSpool::kLinkEnd;
        emphasis_ = code == TextSpool::kLinkEnd ? emphasis_ : unsigned(code - '0');
        return 2;
    }
    if (code != TextSpool::kLinkStart)
        return 0;
    const auto* close = s + 2;
    while (close < end && *close != kEscape && close - s < std::ptrdiff_t(marks::kMaxTarget + 2))
        ++close;
    const bool tooLong = close - s >= std::ptrdiff_t(marks::kMaxTarget + 2);
    if (!tooLong && close + 1 >= end)
        return final ? 0 : std::size_t(-1);
    if (tooLong || close[1] != static_cast<std::uint8_t>(TextSpool::kTargetEnd))
        return 0;
    const std::string_view target(reinterpret_cast<const char*>(s + 2),
                                  static_cast<std::size_t>(close - s - 2));
    if (!marks::IsLinkTarget(target))
        return 0;
    if constexpr (kTakesMarks) {
        if (link_)
            handler_.linkEnd();
        handler_.linkStart(target);
    }
    link_ = true;
    return static_cast<std::size_t>(close - s) + 2;
}

template <class Handler>
const std::uint8_t* StoredTextReader<Handler>::runEnd(const std::uint8_t* s, const std::uint8_t* end) {
    if constexpr (kTakesRuns) {
        // Printable ASCII and valid characters together, in one call.
        for (;;) {
            while (s < end && Handler::kInRun[*s])
                ++s;
            std::size_t length = 0;
            char32_t code = 0;
            if (s < end && *s >= 0x80 && utf8::Decode(s, end, length, code) == utf8::Sequence::Valid &&
                !utf8::IsNonCharacter(code)) {
                s += length;
                continue;
            }
            return s;
        }
    } else {
        while (s < end && *s >= 0x20 && *s <= 0x7F)
            ++s;
        return s;
    }
}

template <class Handler>
std::size_t StoredTextReader<Handler>::control(const std::uint8_t* s, const std::uint8_t* end, bool final) {
    constexpr auto kEscape = static_cast<std::uint8_t>(TextSpool::kEscape);
    const bool last = s + 1 == end;
    if (*s == '\r') {
        if (last && !final)
            return 0;
        if (!last && s[1] == '\n') {
            endParagraph();
            return 2;
        }
        handler_.lineBreak();
    } else if (*s == '\n') {
        handler_.lineBreak();
    } else if (*s == '\t') {
        handler_.tab();
    } else if (*s == kEscape) {
        if (last && !final)
            return 0;
        open_ = true;
        if (!last && s[1] == '\n') {  // a value's own CR LF
            handler_.lineBreak();
            return 2;
        }
        if (!last) {
            // A mark: nothing in the text itself. size_t(-1): undecided yet.
            const std::size_t taken = mark(s, end, final);
            if (taken == std::size_t(-1))
                return 0;
            if (taken > 0)
                return taken;
        }
        if (!last && s[1] == TextSpool::kCellEnd) {
            closeMarks();
            if constexpr (kTakesCells)
                handler_.cellEnd();
            else
                handler_.tab();
            return 2;
        }
        // A byte 0xFF of the text (escaped as two), or a stray escape:
        // neither is UTF-8.
        handler_.character(kReplacement, kReplacementUtf8);
        return !last && s[1] == kEscape ? 2 : 1;
    } else {  // another C0 control
        handler_.character(kReplacement, kReplacementUtf8);
    }
    open_ = true;
    return 1;
}

template <class Handler>
std::size_t StoredTextReader<Handler>::nonAscii(const std::uint8_t* s, const std::uint8_t* end, bool final) {
    std::size_t length = 0;
    char32_t code = 0;
    const utf8::Sequence sequence = utf8::Decode(s, end, length, code);
    if (sequence == utf8::Sequence::Incomplete && !final)
        return 0;
    if (sequence == utf8::Sequence::Valid && !utf8::IsNonCharacter(code))
        handler_.character(code, std::string_view(reinterpret_cast<const char*>(s), length));
    else
        handler_.character(kReplacement, kReplacementUtf8);
    open_ = true;
    return length;
}

template <class Handler>
std::size_t StoredTextReader<Handler>::convert(std::string_view stored, bool final) {
    const auto* const begin = reinterpret_cast<const std::uint8_t*>(stored.data());
    const auto* const end = begin + stored.size();
    const auto* s = begin;
    constexpr auto kEscape = static_cast<std::uint8_t>(TextSpool::kEscape);
    while (s < end) {
        const auto* const run = runEnd(s, end);
        if (run > s) {
            const std::string_view text(reinterpret_cast<const char*>(s), static_cast<std::size_t>(run - s));
            if constexpr (kTakesRuns)
                handler_.run(text);
            else
                handler_.ascii(text);
            open_ = true;
            s = run;
            if (s == end)
                break;
        }
        const std::uint8_t c = *s;
        std::size_t used = 1;
        if (kTakesRuns && c >= 0x20 && c <= 0x7F) {  // printable ASCII a run leaves out
            handler_.ascii(std::string_view(reinterpret_cast<const char*>(s), 1));
            open_ = true;
        } else if (c < 0x20 || c == kEscape) {
            used = control(s, end, final);
        } else {
            used = nonAscii(s, end, final);
        }
        if (used == 0)
            break;  // undecided until the next piece
        s += used;
    }
    return static_cast<std::size_t>(s - begin);
}

template <class Handler>
void StoredTextReader<Handler>::feed(std::string_view stored) {
    FeedStoredPiece(carry_, stored,
                    [this](std::string_view piece, bool final) { return convert(piece, final); });
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
