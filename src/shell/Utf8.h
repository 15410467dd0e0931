#pragma once

// UTF-8, decoded and encoded the one way the program does it everywhere.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::utf8 {

enum class Sequence { Valid, Invalid, Incomplete };

// Decodes the UTF-8 sequence that starts at s, whose first byte is 0x80 or
// above. length: the bytes of the sequence, or of its maximal ill-formed
// subpart (so each such subpart becomes one replacement character, as Unicode
// recommends); Incomplete when the bytes run out before end could decide.
inline Sequence Decode(const std::uint8_t* s, const std::uint8_t* end, std::size_t& length, char32_t& code) {
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
    return Sequence::Valid;
}

// U+FFFE and U+FFFF: valid UTF-8 that no XML document may hold.
inline bool IsNonCharacter(char32_t code) {
    return code == 0xFFFE || code == 0xFFFF;
}

// Appends the UTF-8 form of a code point (U+0000 to U+10FFFF).
inline void Encode(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
        return;
    }
    char bytes[4];
    std::size_t length = 0;
    if (code < 0x800) {
        bytes[length++] = static_cast<char>(0xC0 | (code >> 6));
    } else if (code < 0x10000) {
        bytes[length++] = static_cast<char>(0xE0 | (code >> 12));
        bytes[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    } else {
        bytes[length++] = static_cast<char>(0xF0 | (code >> 18));
        bytes[length++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        bytes[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    }
    bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
    out.append(bytes, length);
}

}  // namespace qm::utf8
