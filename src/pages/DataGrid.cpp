#include "DataGrid.h"

#include <QEvent>
#include <QHeaderView>
#include <limits>

namespace qm {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setSource(std::shared_ptr<RowSource> source) {
    beginResetModel();
    blocks_.clear();
    index_.clear();
    headers_.clear();
    rows_ = 0;
    columns_ = 0;
    complete_ = true;
    source_ = std::move(source);
    if (source_) {
        columns_ = source_->columnCount();
        for (int c = 0; c < columns_; ++c)
            headers_ << source_->columnName(c);
        complete_ = false;
    }
    endResetModel();
    // The first batch at once, so the grid shows rows when it first paints.
    if (canFetchMore(QModelIndex()))
        fetchMore(QModelIndex());
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && source_ && !complete_;
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    Rows fetched;
    try {
        fetched = source_->rows(rows_, kFetchRows);
    } catch (const std::exception&) {
        // The rest of the table cannot be read; the export reports it.
    }
    // A view counts rows in int.
    const int room = std::numeric_limits<int>::max() - rows_;
    if (fetched.size() > static_cast<std::size_t>(room))
        fetched.resize(static_cast<std::size_t>(room));
    const int count = static_cast<int>(fetched.size());
    complete_ = count < kFetchRows || count == room;
    if (count == 0)
        return;
    // rows_ is a multiple of the fetch size, so the batch splits into whole blocks.
    const long long firstBlock = rows_ / kBlockRows;
    for (int b = 0; b * kBlockRows < count; ++b) {
        const auto begin = fetched.begin() + b * kBlockRows;
        const auto end = fetched.begin() + std::min(count, (b + 1) * kBlockRows);
        keep(firstBlock + b, Rows(std::make_move_iterator(begin), std::make_move_iterator(end)));
    }
    beginInsertRows(QModelIndex(), rows_, rows_ + count - 1);
    rows_ += count;
    endInsertRows();
}

void RecordsetModel::keep(long long blockIndex, Rows rows) const {
    if (auto found = index_.find(blockIndex); found != index_.end()) {
        blocks_.erase(found->second);
        index_.erase(found);
    }
    blocks_.emplace_front(blockIndex, std::move(rows));
    index_[blockIndex] = blocks_.begin();
    while (blocks_.size() > kKeptBlocks) {
        index_.erase(blocks_.back().first);
        blocks_.pop_back();
    }
}

const RecordsetModel::Rows& RecordsetModel::block(long long blockIndex) const {
    if (auto found = index_.find(blockIndex); found != index_.end()) {
        blocks_.splice(blocks_.begin(), blocks_, found->second);
        return blocks_.front().second;
    }
    Rows rows;
    try {
        rows = source_->rows(blockIndex * kBlockRows, kBlockRows);
    } catch (const std::exception&) {
        // A row that cannot be read shows empty cells; the export reports it.
    }
    keep(blockIndex, std::move(rows));
    return blocks_.front().second;
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!source_ || !index.isValid() || index.row() >= rows_ ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Rows& rows = block(index.row() / kBlockRows);
    const std::size_t row = static_cast<std::size_t>(index.row() % kBlockRows);
    if (row >= rows.size() || static_cast<std::size_t>(index.column()) >= rows[row].size())
        return {};
    return rows[row][static_cast<std::size_t>(index.column())].toQString();
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < headers_.size() ? QVariant(headers_[section]) : QVariant();
    return section + 1;
}

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), model_(new RecordsetModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setWordWrap(false);
    setTabKeyNavigation(false);
    // Every row the same height: the view then never measures rows it does not show.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    fitRowsToFont();
}

void DataGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitRowsToFont();
}

void DataGrid::fitRowsToFont() {
    const int rowHeight = fontMetrics().height() + 6;
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setDefaultSectionSize(fontMetrics().averageCharWidth() * 14);
}

void DataGrid::setDataSource(std::shared_ptr<RowSource> source) {
    model_->setSource(std::move(source));
    scrollToTop();
}

}  // namespace qm
