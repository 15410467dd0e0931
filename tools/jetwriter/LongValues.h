#pragma once

// Internal to the writer: long values (memo). A 12-byte field in the row, the
// data inline or in rows of long-value pages (pages marked "LVAL" instead of
// an owner).

#include "Pages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm::jetwriter {

inline constexpr int kMemoFieldSize = 12;
inline constexpr std::uint32_t kMemoInline = 0x80000000u;
inline constexpr std::uint32_t kMemoSinglePage = 0x40000000u;
inline constexpr std::size_t kMaxInlineMemo = 64;
inline constexpr std::size_t kLvalChunk =
    kMaxRowBytes - 4;                                   // a chained row starts with the next row's pointer
inline constexpr std::size_t kMaxMemoBytes = 0xFFFFFF;  // readers take the length from three bytes
inline constexpr int kMaxCompressedMemoChars = 1024;    // Access compresses no longer memo

// Puts long values in rows and on the long-value pages, which all tables of
// the file share.
class LongValueWriter {
  public:
    explicit LongValueWriter(PageFile& file) : file_(file) {}

    // The bytes a value of the given length takes in its row: the field, and
    // the data when it is kept inline.
    static std::size_t rowBytes(std::size_t length) {
        return kMemoFieldSize + (length <= kMaxInlineMemo ? length : 0);
    }
    // Appends the field of the value to the row, followed by the data when it
    // is short; a longer value goes to long-value pages.
    void appendField(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& bytes);
    // Writes the open long-value page, if any.
    void flush();

  private:
    // Stores a value on long-value pages: in one row, or in a chain of rows
    // when longer than a row can be. Returns the pointer to its (first) row
    // and sets the flags its field takes.
    std::uint32_t store(const std::vector<std::uint8_t>& bytes, std::uint32_t& flags);

    PageFile& file_;
    RowPage page_;  // the open long-value page
};

}  // namespace qm::jetwriter
