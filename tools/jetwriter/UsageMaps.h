#pragma once

// Internal to the writer: page usage maps, the rows that tell which pages a
// table owns.

#include "Pages.h"

#include <cstdint>
#include <vector>

namespace qm::jetwriter {

// Page usage maps: rows of 69 bytes, as Access writes them. Type 0 holds a
// start page and a bitmap of 512 pages; type 1 points to up to 17 pages of
// type 0x05, each a bitmap of 32736 pages.
inline constexpr int kMapRowSize = 69;
inline constexpr std::uint32_t kInlineMapPages = (kMapRowSize - 5) * 8;
inline constexpr std::uint32_t kMapPagePages = (kPageSize - 4) * 8;
inline constexpr int kMapPagePointers = (kMapRowSize - 1) / 4;

// Writes the maps of the tables: their rows on a page shared by all tables,
// and bitmap pages for those whose pages span more than one row can map.
class UsageMapWriter {
  public:
    explicit UsageMapWriter(PageFile& file) : file_(file) {}

    // Writes the map of the given pages (bitmap pages too, when needed) and
    // returns the pointer to its row.
    std::uint32_t write(const PageSet& pages);
    // Writes the open page of map rows, if any.
    void flush();

  private:
    std::uint32_t addRow(const std::vector<std::uint8_t>& row);

    PageFile& file_;
    RowPage page_;  // the open page of map rows
};

}  // namespace qm::jetwriter
