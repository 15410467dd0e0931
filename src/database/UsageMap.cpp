#include "database/UsageMap.h"

#include "database/MdbSupport.h"
#include "database/StoredValues.h"

namespace qm {

using stored::readU32;

UsageMap::UsageMap(const ConnectionState& state, const std::uint8_t* map, std::size_t size)
    : state_(&state), map_(map, map + size) {}

std::optional<std::uint32_t> UsageMap::next(std::uint32_t after) {
    if (map_.empty())
        return std::nullopt;
    if (map_[0] == 0) {
        // The first page the bitmap stands for, then one bit per page.
        if (map_.size() < 5)
            return 0u;
        const std::uint32_t first = readU32(map_.data() + 1);
        const std::uint64_t bits = (map_.size() - 5) * 8;
        for (std::uint64_t i = after >= first ? std::uint64_t(after) - first + 1 : 0; i < bits; ++i) {
            if (map_[5 + i / 8] & (1u << (i % 8)))
                return static_cast<std::uint32_t>(first + i);
        }
        return 0u;
    }
    if (map_[0] == 1) {
        // A list of bitmap pages, each standing for (page size - 4) * 8 pages.
        const std::size_t pageSize = static_cast<std::size_t>(state_->header.pageSize);
        const std::uint64_t bitsPerPage = (pageSize - 4) * 8;
        const std::size_t entries = (map_.size() - 1) / 4;
        bitmapPages_.resize(entries);
        std::uint64_t index = (std::uint64_t(after) + 1) / bitsPerPage;
        std::uint64_t offset = (std::uint64_t(after) + 1) % bitsPerPage;
        for (; index < entries; ++index, offset = 0) {
            const std::uint32_t mapPage = readU32(map_.data() + 1 + 4 * index);
            if (mapPage == 0)
                continue;
            std::vector<std::uint8_t>& bitmap = bitmapPages_[index];
            if (bitmap.empty()) {
                bitmap.resize(pageSize);
                if (!state_->readPageStart(mapPage, bitmap.data(), pageSize)) {
                    bitmap.clear();
                    return std::nullopt;
                }
            }
            for (std::uint64_t i = offset; i < bitsPerPage; ++i) {
                if (bitmap[4 + i / 8] & (1u << (i % 8))) {
                    const std::uint64_t page = index * bitsPerPage + i;
                    if (page > 0xFFFFFFFFu)
                        return std::nullopt;
                    return static_cast<std::uint32_t>(page);
                }
            }
        }
        return 0u;
    }
    return std::nullopt;  // a map type nobody knows
}

}  // namespace qm
