#pragma once

// What every part of the Word 97-2003 writer (DocWriter.h) shares: the layout
// of the WordDocument stream and little-endian writing into byte strings.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::doc {

// Layout of the WordDocument stream: the FIB, padded to two pages; the
// paragraph property pages, as many as the text needs; the text, from a page
// boundary; the one character property page, on the next page boundary; the
// section properties. Something must follow the text: catdoc reads the text
// in 256-byte blocks and drops a block that reaches the end of the stream.
inline constexpr std::uint32_t kPageSize = 512;
inline constexpr std::uint32_t kFibArea = 2 * kPageSize;
inline constexpr std::uint32_t kPapxPagesOffset = kFibArea;

inline void put8(std::string& out, std::uint8_t value) {
    out += static_cast<char>(value);
}

inline void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

inline void put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

inline void set16(std::string& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

inline void set32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void putUtf16(std::string& out, std::u16string_view text) {
    for (const char16_t unit : text)
        put16(out, static_cast<std::uint16_t>(unit));
}

}  // namespace qm::doc
