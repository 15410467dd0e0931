#include "Pages.h"

namespace qm::jetwriter {

std::uint32_t PageFile::allocate(std::uint32_t count) {
    if (next_ + count > kMaxPages)
        throw WriteError(QStringLiteral("The database would exceed 2 GB, the largest file Jet 4 allows."));
    const std::uint32_t first = next_;
    next_ += count;
    return first;
}

void PageFile::write(std::uint32_t page, const PageBuffer& data) {
    const qint64 offset = qint64(page) * kPageSize;
    if (position_ != offset) {
        if (!device_.seek(offset))
            throw failure();
    }
    if (device_.write(reinterpret_cast<const char*>(data.data()), kPageSize) != kPageSize)
        throw failure();
    position_ = offset + kPageSize;
}

WriteError PageFile::failure() const {
    return WriteError(QStringLiteral("Cannot write the database: %1").arg(device_.errorString()));
}

void RowPage::reset(std::uint32_t number, const std::uint8_t owner[4]) {
    buffer_.fill(0);
    buffer_[0] = kPageData;
    buffer_[1] = 0x01;
    std::memcpy(&buffer_[4], owner, 4);
    number_ = number;
    rows_ = 0;
    end_ = kPageSize;
    open_ = true;
}

int RowPage::add(const std::uint8_t* data, std::size_t length, std::uint16_t flags) {
    end_ -= int(length);
    std::memcpy(&buffer_[std::size_t(end_)], data, length);
    put16(&buffer_[std::size_t(kDataHeaderSize + 2 * rows_)], std::uint16_t(end_ | flags));
    return rows_++;
}

void RowPage::flush(PageFile& file) {
    put16(&buffer_[2], std::uint16_t(end_ - kDataHeaderSize - 2 * rows_));
    put16(&buffer_[kDataRowCountOffset], std::uint16_t(rows_));
    file.write(number_, buffer_);
    open_ = false;
}

void PageSet::add(std::uint32_t page) {
    if (bits_.empty())
        first_ = page;
    const std::uint32_t bit = page - first_;
    if (bit / 8 >= bits_.size())
        bits_.resize(bit / 8 + 1, 0);
    bits_[bit / 8] |= std::uint8_t(1u << (bit % 8));
    last_ = page;
}

bool PageSet::contains(std::uint32_t page) const {
    if (bits_.empty() || page < first_ || page > last_)
        return false;
    const std::uint32_t bit = page - first_;
    return bits_[bit / 8] & (1u << (bit % 8));
}

}  // namespace qm::jetwriter
