#pragma once

// Marks that a value's text may carry from the database layer to the
// document writers: where a link starts (with its target) and ends, and the
// emphasis (bold, italic, underline) of the text that follows. Formats that
// can show them do; plain text drops them.
//
// A mark starts with kIntroducer, the byte 0xFE, which never occurs in UTF-8,
// so a mark is never mistaken for text and text is never mistaken for one:
//
//   0xFE '<' target 0xFE '>'   a link to target starts
//   0xFE '/'                   the link ends
//   0xFE '0'..'7'              emphasis from here on: '0' + Emphasis bits
//
// A target is valid UTF-8 without control characters, at most kMaxTarget
// bytes.
// Whoever writes marks closes a link and resets the emphasis before the value
// ends; readers close them at the end of a paragraph or a cell all the same.

#include "shell/Utf8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::marks {

inline constexpr char kIntroducer = '\xFE';
inline constexpr char kLinkStart = '<';
inline constexpr char kTargetEnd = '>';
inline constexpr char kLinkEnd = '/';
inline constexpr std::size_t kMaxTarget = 2048;

// Emphasis bits.
inline constexpr unsigned kBold = 1;
inline constexpr unsigned kItalic = 2;
inline constexpr unsigned kUnderline = 4;
inline constexpr unsigned kAllEmphasis = 7;

inline bool IsEmphasisCode(char c) {
    return c >= '0' && c <= '7';
}

// Whether target can be a link's: valid UTF-8, not empty, not too long,
// without control characters and noncharacters (which no document holds).
inline bool IsLinkTarget(std::string_view target) {
    if (target.empty() || target.size() > kMaxTarget)
        return false;
    const auto* s = reinterpret_cast<const std::uint8_t*>(target.data());
    const auto* const end = s + target.size();
    while (s < end) {
        std::size_t length = 1;
        char32_t code = *s;
        if (*s >= 0x80 &&
            (utf8::Decode(s, end, length, code) != utf8::Sequence::Valid || utf8::IsNonCharacter(code)))
            return false;
        if (code < 0x20 || code == 0x7F)
            return false;
        s += length;
    }
    return true;
}

// Appends a link's start; false, and nothing appended, when the target
// cannot be one (the text is then written without a link).
inline bool AppendLinkStart(std::string& out, std::string_view target) {
    if (!IsLinkTarget(target))
        return false;
    out += kIntroducer;
    out += kLinkStart;
    out += target;
    out += kIntroducer;
    out += kTargetEnd;
    return true;
}

inline void AppendLinkEnd(std::string& out) {
    out += kIntroducer;
    out += kLinkEnd;
}

inline void AppendEmphasis(std::string& out, unsigned bits) {
    out += kIntroducer;
    out += static_cast<char>('0' + (bits & kAllEmphasis));
}

// The length of the well-formed mark that text starts with, 0 when it does
// not start with one (a stray 0xFE is then not a mark but a byte that is not
// UTF-8, as before marks existed).
inline std::size_t MarkLength(std::string_view text) {
    if (text.size() < 2 || text[0] != kIntroducer)
        return 0;
    if (text[1] == kLinkEnd || IsEmphasisCode(text[1]))
        return 2;
    if (text[1] != kLinkStart)
        return 0;
    const std::size_t close = text.substr(0, kMaxTarget + 4).find(kIntroducer, 2);
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != kTargetEnd ||
        !IsLinkTarget(text.substr(2, close - 2)))
        return 0;
    return close + 2;
}

}  // namespace qm::marks
