#include "database/RowSources.h"

#include <algorithm>
#include <iterator>

namespace qm {

TableRowSource::TableRowSource(TableSelection selection)
    : selection_(std::move(selection)), cursor_(selection_.state, selection_.table) {}

int TableRowSource::columnCount() const {
    return static_cast<int>(selection_.columns.size());
}

QString TableRowSource::columnName(int column) const {
    if (column < 0 || column >= columnCount())
        return QString();
    return cursor_.column(selection_.columns[static_cast<std::size_t>(column)]).name;
}

void TableRowSource::buildIndex() const {
    if (rowCount_ >= 0)
        return;
    long long rows = 0;
    cursor_.forEachDataPage([&](std::uint32_t page, int rowsOnPage) {
        if (rowsOnPage > 0) {
            pages_.push_back({rows, page});
            rows += rowsOnPage;
        }
    });
    rowCount_ = rows;
}

long long TableRowSource::rowCount() const {
    buildIndex();
    return rowCount_;
}

const std::vector<std::vector<Value>>& TableRowSource::block(long long index) {
    for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
        if (it->first == index) {
            blocks_.splice(blocks_.begin(), blocks_, it);
            return blocks_.front().second;
        }
    }
    buildIndex();
    const long long first = index * kBlockRows;
    std::vector<std::vector<Value>> rows;
    if (first < rowCount_) {
        // The last page starting at or before the first row of the block.
        const auto page =
            std::prev(std::upper_bound(pages_.begin(), pages_.end(), first,
                                       [](long long row, const PageStart& p) { return row < p.firstRow; }));
        cursor_.seek({page->page, 0});
        for (long long i = page->firstRow; i < first; ++i)
            cursor_.skip();
        rows.reserve(kBlockRows);
        for (int i = 0; i < kBlockRows && cursor_.next(); ++i) {
            std::vector<Value> row;
            row.reserve(selection_.columns.size());
            for (const int column : selection_.columns)
                row.push_back(selection_.value(cursor_, column));
            rows.push_back(std::move(row));
        }
    }
    blocks_.emplace_front(index, std::move(rows));
    if (blocks_.size() > kCachedBlocks)
        blocks_.pop_back();
    return blocks_.front().second;
}

std::vector<std::vector<Value>> TableRowSource::rows(long long first, int count) {
    std::vector<std::vector<Value>> result;
    if (first < 0 || count <= 0)
        return result;
    result.reserve(static_cast<std::size_t>(count));
    long long row = first;
    const long long end = first + count;
    while (row < end) {
        const auto& rows = block(row / kBlockRows);
        const long long offset = row % kBlockRows;
        if (offset >= static_cast<long long>(rows.size()))
            break;  // past the end of the table
        const long long take = std::min<long long>(end - row, static_cast<long long>(rows.size()) - offset);
        result.insert(result.end(), rows.begin() + offset, rows.begin() + offset + take);
        row += take;
        if (static_cast<long long>(rows.size()) < kBlockRows)
            break;
    }
    return result;
}

std::vector<std::vector<Value>> MemoryRowSource::rows(long long first, int count) {
    std::vector<std::vector<Value>> result;
    if (first < 0 || count <= 0 || first >= rowCount())
        return result;
    const auto begin = rows_.begin() + first;
    const auto end = begin + std::min<long long>(count, rowCount() - first);
    result.assign(begin, end);
    return result;
}

}  // namespace qm
