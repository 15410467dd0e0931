#pragma once

// Internal to the database layer: which pages hold a table's rows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

struct ConnectionState;

// The pages a table's usage map names: an inline bitmap (type 0), or a list of
// bitmap pages (type 1) that are read when first needed and then kept.
class UsageMap {
  public:
    UsageMap() = default;
    UsageMap(const ConnectionState& state, const std::uint8_t* map, std::size_t size);
    // The first page after `after` that the map names, 0 when none does.
    // Nothing when the map cannot be read.
    std::optional<std::uint32_t> next(std::uint32_t after);

  private:
    const ConnectionState* state_ = nullptr;
    std::vector<std::uint8_t> map_;
    std::vector<std::vector<std::uint8_t>> bitmapPages_;  // type 1: read on demand
};

}  // namespace qm
