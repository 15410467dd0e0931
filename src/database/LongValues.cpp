#include "database/LongValues.h"

#include "database/MdbSupport.h"
#include "database/RowLayout.h"
#include "database/StoredValues.h"

#include <algorithm>

namespace qm {

using stored::readU16;
using stored::readU32;

namespace {

constexpr std::size_t kHeaderSize = 12;  // length and kind, page and row, 4 unused
constexpr std::uint32_t kInline = 0x80000000u;
constexpr std::uint32_t kSinglePage = 0x40000000u;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFFu;

}  // namespace

LongValueReader::LongValueReader(const ConnectionState& state, int pageSize, int rowTable)
    : state_(state), pageSize_(pageSize), rowTable_(rowTable), page_(static_cast<std::size_t>(pageSize)) {}

bool LongValueReader::row(std::uint32_t pageRow, const std::uint8_t*& data, std::size_t& size) {
    const std::uint32_t page = pageRow >> 8;
    const int slot = static_cast<int>(pageRow & 0xFF);
    if (page != loaded_) {
        loaded_ = 0;
        if (page == 0 || !state_.readPageStart(page, page_.data(), page_.size()))
            return false;
        loaded_ = page;
    }
    int raw = 0;
    int start = 0;
    int length = 0;
    if (slot >= readU16(page_.data() + rowTable_) ||
        !RowExtent(page_.data(), pageSize_, rowTable_, slot, raw, start, length))
        return false;
    data = page_.data() + start;
    size = static_cast<std::size_t>(length);
    return true;
}

bool LongValueReader::read(const std::uint8_t* field, std::size_t fieldSize, std::string& out) {
    out.clear();
    if (fieldSize < kHeaderSize)
        return false;
    const std::uint32_t lengthAndKind = readU32(field);
    const std::uint32_t length = lengthAndKind & kLengthMask;
    if (lengthAndKind & kInline) {
        out.assign(reinterpret_cast<const char*>(field + kHeaderSize), fieldSize - kHeaderSize);
        return true;
    }
    std::uint32_t pageRow = readU32(field + 4);
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (lengthAndKind & kSinglePage) {
        if (!row(pageRow, data, size))
            return false;
        out.assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, length));
        return true;
    }
    if (lengthAndKind & ~kLengthMask)
        return false;
    // Spread over several pages: each piece starts with the page/row of the next.
    out.reserve(length);
    for (std::uint32_t pieces = 0; out.size() < length && pageRow != 0; ++pieces) {
        if (pieces > state_.pageCount() || !row(pageRow, data, size) || size < 4)
            return false;
        pageRow = readU32(data);
        out.append(reinterpret_cast<const char*>(data + 4),
                   std::min<std::size_t>(size - 4, length - out.size()));
    }
    return out.size() >= length;
}

}  // namespace qm
