#pragma once

// Internal to the database layer: memo and OLE values. A row holds a 12-byte
// header (length and kind, then where the data is) and, for short values, the
// data itself; longer ones lie on long-value pages, in one row or in a chain
// of rows each naming the next.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qm {

struct ConnectionState;

class LongValueReader {
  public:
    LongValueReader(const ConnectionState& state, int pageSize, int rowTable);

    // The bytes of the value whose field in the row is [field, field + size).
    // False when the value cannot be read in full (damage).
    bool read(const std::uint8_t* field, std::size_t size, std::string& out);

  private:
    // A row of a long-value page; nothing when there is no such row. The page
    // last read is kept, as consecutive values mostly share one.
    bool row(std::uint32_t pageRow, const std::uint8_t*& data, std::size_t& size);

    const ConnectionState& state_;
    int pageSize_;
    int rowTable_;
    std::vector<std::uint8_t> page_;
    std::uint32_t loaded_ = 0;  // the page in page_, 0 for none
};

}  // namespace qm
