#pragma once

// Internal to the writer: the file as numbered pages, the data pages rows are
// put on, and the little-endian helpers every page is built with.

#include "JetWriter.h"

#include <QIODevice>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qm::jetwriter {

inline constexpr std::uint32_t kMaxPages = 0x80000;  // 2 GB, the largest Jet 4 file

enum PageType : std::uint8_t {
    kPageHeader = 0x00,
    kPageData = 0x01,
    kPageTableDef = 0x02,
    kPageUsageMap = 0x05
};

// Data pages (and long-value pages): type, 0x01, free space, owner, 4 unknown
// bytes, row count, then one 2-byte offset per row; rows fill from the end.
inline constexpr int kDataHeaderSize = 14;
inline constexpr int kDataRowCountOffset = 12;
inline constexpr int kMaxRowsPerPage = 255;  // a row pointer keeps the row number in one byte
// Flags over a row's offset in the row table, for a row that was moved.
inline constexpr std::uint16_t kRowMovedAway = 0x4000;  // its home slot: a pointer to where the data lies now
inline constexpr std::uint16_t kRowMovedHere = 0x8000;  // its data, reached through the pointer only
inline constexpr std::size_t kRowPointerSize = 4;       // the row number, then the page in three bytes

// ---------------------------------------------------------------------------
// Little-endian helpers.

inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
inline void putDouble(std::uint8_t* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put64(p, bits);
}
inline void putFloat(std::uint8_t* p, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(p, bits);
}
inline void append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

// A row pointer: the row's number on its page in the low byte, the page above it.
inline std::uint32_t pageRow(std::uint32_t page, int row) {
    return page << 8 | std::uint32_t(row);
}

using PageBuffer = std::array<std::uint8_t, kPageSize>;

// ---------------------------------------------------------------------------
// The file as numbered pages on the device.

class PageFile {
  public:
    explicit PageFile(QIODevice& device) : device_(device) {}

    // Reserves count consecutive pages and returns the first; throws
    // WriteError past the largest file Jet 4 allows.
    std::uint32_t allocate(std::uint32_t count = 1);
    std::uint32_t count() const { return next_; }

    void write(std::uint32_t page, const PageBuffer& data);

  private:
    WriteError failure() const;

    QIODevice& device_;
    std::uint32_t next_ = 0;
    qint64 position_ = -1;
};

// A data page (or long-value page) being filled with rows.
class RowPage {
  public:
    void reset(std::uint32_t number, const std::uint8_t owner[4]);
    bool open() const { return open_; }
    bool empty() const { return rows_ == 0; }
    std::uint32_t number() const { return number_; }
    bool fits(std::size_t length) const {
        return open_ && rows_ < kMaxRowsPerPage &&
               kDataHeaderSize + 2 * (rows_ + 1) + (kPageSize - end_) + int(length) <= kPageSize;
    }
    // Adds a row (which must fit) and returns its number on the page.
    int add(const std::uint8_t* data, std::size_t length, std::uint16_t flags = 0);
    // Finishes the page and writes it.
    void flush(PageFile& file);

  private:
    PageBuffer buffer_{};
    std::uint32_t number_ = 0;
    int rows_ = 0;
    int end_ = kPageSize;
    bool open_ = false;
};

// The set of pages a table owns, as a bitmap from its first page.
class PageSet {
  public:
    void add(std::uint32_t page);
    bool empty() const { return bits_.empty(); }
    std::uint32_t first() const { return first_; }
    std::uint32_t last() const { return last_; }
    bool contains(std::uint32_t page) const;

  private:
    std::vector<std::uint8_t> bits_;
    std::uint32_t first_ = 0;
    std::uint32_t last_ = 0;
};

}  // namespace qm::jetwriter
