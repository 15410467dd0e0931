#include "LongValues.h"

#include <algorithm>

namespace qm::jetwriter {

void LongValueWriter::appendField(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& bytes) {
    std::uint8_t field[kMemoFieldSize] = {};
    const auto length = std::uint32_t(bytes.size());
    if (bytes.size() <= kMaxInlineMemo) {
        put32(field, length | kMemoInline);
        row.insert(row.end(), field, field + kMemoFieldSize);
        row.insert(row.end(), bytes.begin(), bytes.end());
    } else {
        std::uint32_t flags = 0;
        const std::uint32_t pointer = store(bytes, flags);
        put32(field, length | flags);
        put32(field + 4, pointer);
        row.insert(row.end(), field, field + kMemoFieldSize);
    }
}

void LongValueWriter::flush() {
    if (page_.open())
        page_.flush(file_);
}

std::uint32_t LongValueWriter::store(const std::vector<std::uint8_t>& bytes, std::uint32_t& flags) {
    static const std::uint8_t lval[4] = {'L', 'V', 'A', 'L'};
    if (bytes.size() <= std::size_t(kMaxRowBytes)) {
        flags = kMemoSinglePage;
        if (!page_.fits(bytes.size())) {
            if (page_.open())
                page_.flush(file_);
            page_.reset(file_.allocate(), lval);
        }
        const int index = page_.add(bytes.data(), bytes.size());
        return pageRow(page_.number(), index);
    }
    // A chain of rows, each alone on its page and led by the next row's pointer.
    flags = 0;
    const auto chunks = std::uint32_t((bytes.size() + kLvalChunk - 1) / kLvalChunk);
    const std::uint32_t first = file_.allocate(chunks);
    std::vector<std::uint8_t> chunk;
    for (std::uint32_t i = 0; i < chunks; ++i) {
        const std::size_t from = std::size_t(i) * kLvalChunk;
        const std::size_t length = std::min(kLvalChunk, bytes.size() - from);
        chunk.assign(4, 0);
        if (i + 1 < chunks)
            put32(chunk.data(), pageRow(first + i + 1, 0));
        chunk.insert(chunk.end(), bytes.begin() + std::ptrdiff_t(from),
                     bytes.begin() + std::ptrdiff_t(from + length));
        RowPage page;
        page.reset(first + i, lval);
        page.add(chunk.data(), chunk.size());
        page.flush(file_);
    }
    return pageRow(first, 0);
}

}  // namespace qm::jetwriter
