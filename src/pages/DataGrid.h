#pragma once

#include "database/Ado.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace qm {

// The rows of a bound record set as a table model. Rows are read as they
// scroll into view: the model starts with the first batch and grows by a
// batch when the view reaches its end (canFetchMore/fetchMore), so binding a
// table costs the same whatever its size. Row values are kept for a few small
// blocks only and read again when they scroll back into view.
class RecordsetModel : public QAbstractTableModel {
  public:
    static constexpr int kBlockRows = 64;
    static constexpr int kFetchRows = 4 * kBlockRows;
    static constexpr std::size_t kKeptBlocks = 8;

    explicit RecordsetModel(QObject* parent = nullptr);

    // Binds the rows; nullptr unbinds and releases them.
    void setSource(std::shared_ptr<RowSource> source);
    const std::shared_ptr<RowSource>& source() const { return source_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    std::size_t cachedBlocks() const { return blocks_.size(); }

  private:
    using Rows = std::vector<std::vector<Value>>;
    const Rows& block(long long blockIndex) const;
    void keep(long long blockIndex, Rows rows) const;

    std::shared_ptr<RowSource> source_;
    int rows_ = 0;  // rows read so far
    bool complete_ = true;
    int columns_ = 0;
    QStringList headers_;
    // Most recently used block first.
    mutable std::list<std::pair<long long, Rows>> blocks_;
    mutable std::unordered_map<long long, std::list<std::pair<long long, Rows>>::iterator> index_;
};

// The preview grid (DataGrid1): a read-only table view with DataSource binding.
class DataGrid : public QTableView {
  public:
    explicit DataGrid(QWidget* parent = nullptr);
    // DataSource: binds the grid to the rows; nullptr unbinds it.
    void setDataSource(std::shared_ptr<RowSource> source);
    RecordsetModel& records() { return *model_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void fitRowsToFont();

    RecordsetModel* model_;
};

}  // namespace qm
