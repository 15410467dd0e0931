#include "UsageMaps.h"

#include <algorithm>

namespace qm::jetwriter {

std::uint32_t UsageMapWriter::write(const PageSet& pages) {
    std::vector<std::uint8_t> map(kMapRowSize, 0);
    if (pages.empty() || pages.last() - pages.first() < kInlineMapPages) {
        map[0] = 0x00;
        const std::uint32_t start = pages.empty() ? 0 : pages.first();
        put32(&map[1], start);
        if (!pages.empty()) {
            for (std::uint32_t p = start; p <= pages.last(); ++p) {
                if (pages.contains(p))
                    map[5 + (p - start) / 8] |= std::uint8_t(1u << ((p - start) % 8));
            }
        }
        return addRow(map);
    }
    map[0] = 0x01;
    const std::uint32_t firstIndex = pages.first() / kMapPagePages;
    const std::uint32_t lastIndex = pages.last() / kMapPagePages;
    for (std::uint32_t index = firstIndex; index <= lastIndex && index < std::uint32_t(kMapPagePointers);
         ++index) {
        PageBuffer bitmap{};
        bitmap[0] = kPageUsageMap;
        bitmap[1] = 0x01;
        bool any = false;
        const std::uint32_t base = index * kMapPagePages;
        const std::uint32_t from = std::max(base, pages.first());
        const std::uint32_t to = std::min(base + kMapPagePages - 1, pages.last());
        for (std::uint32_t p = from; p <= to; ++p) {
            if (pages.contains(p)) {
                bitmap[4 + (p - base) / 8] |= std::uint8_t(1u << ((p - base) % 8));
                any = true;
            }
        }
        if (!any)
            continue;
        const std::uint32_t bitmapPage = file_.allocate();
        file_.write(bitmapPage, bitmap);
        put32(&map[1 + 4 * index], bitmapPage);
    }
    return addRow(map);
}

void UsageMapWriter::flush() {
    if (page_.open())
        page_.flush(file_);
}

std::uint32_t UsageMapWriter::addRow(const std::vector<std::uint8_t>& row) {
    static const std::uint8_t noOwner[4] = {};
    if (!page_.fits(row.size())) {
        if (page_.open())
            page_.flush(file_);
        page_.reset(file_.allocate(), noOwner);
    }
    const int index = page_.add(row.data(), row.size());
    return pageRow(page_.number(), index);
}

}  // namespace qm::jetwriter
