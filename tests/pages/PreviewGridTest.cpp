// The preview grid over a real record set: rows are read as they come into
// view, the cache stays small, and unbinding releases the record set.

#include "Fixtures.h"
#include "WizardHarness.h"
#include "database/Ado.h"

#include <QHeaderView>
#include <QScrollBar>

namespace {

using namespace qm::test;

// Passes everything to the real rows and notes which were asked for.
class WatchedRows : public qm::RowSource {
  public:
    explicit WatchedRows(std::shared_ptr<qm::RowSource> rows) : rows_(std::move(rows)) {}
    int columnCount() const override { return rows_->columnCount(); }
    QString columnName(int column) const override { return rows_->columnName(column); }
    long long rowCount() const override { return rows_->rowCount(); }
    std::vector<std::vector<qm::Value>> rows(long long first, int count) override {
        ++fetches;
        lowest = std::min(lowest, first);
        highest = std::max(highest, first + count - 1);
        return rows_->rows(first, count);
    }
    int fetches = 0;
    long long lowest = std::numeric_limits<long long>::max();
    long long highest = -1;

  private:
    std::shared_ptr<qm::RowSource> rows_;
};

std::shared_ptr<qm::RowSource> openTable(const QString& database, const QString& table) {
    qm::Connection connection;
    connection.setMode(qm::adModeReadWrite);
    connection.Open(qm::BuildConnectionString(database, QString()));
    connection.setCursorLocation(qm::adUseClient);
    qm::Recordset records;
    records.Open(QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];"), connection,
                 qm::adOpenDynamic, qm::adLockOptimistic);
    return records.DataSource();
}

// Every row the grid can reach by scrolling on.
int reachableRows(QAbstractItemModel& model) {
    while (model.canFetchMore(QModelIndex()))
        model.fetchMore(QModelIndex());
    return model.rowCount();
}

TEST(PreviewGrid, ReadsRowsAsTheyScrollIntoViewAndKeepsFewOfThem) {
    auto watched = std::make_shared<WatchedRows>(openTable(bigTable(), QStringLiteral("Big")));
    qm::DataGrid grid;
    grid.resize(400, 120);
    grid.setDataSource(watched);
    grid.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.model()->columnCount(), 3);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(grid.model()->rowCount(), qm::RecordsetModel::kFetchRows) << "one batch to begin with";
    EXPECT_LT(watched->highest, qm::RecordsetModel::kFetchRows);

    // Reaching the end of what was read reads the next batch.
    grid.scrollToBottom();
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.model()->rowCount(), 2 * qm::RecordsetModel::kFetchRows);
    EXPECT_LT(watched->highest, 2 * qm::RecordsetModel::kFetchRows);

    // Scrolled all the way: every row is there, in order.
    EXPECT_EQ(reachableRows(*grid.model()), 150000);
    EXPECT_EQ(grid.model()->data(grid.model()->index(149999, 0)).toString(), QStringLiteral("150000"))
        << "generated ids count from 1";
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 0)).toString(), QStringLiteral("1"));

    // Jumping about never keeps more than a few blocks.
    QScrollBar* bar = grid.verticalScrollBar();
    for (int i = 0; i <= 40; ++i) {
        bar->setValue(bar->maximum() * i / 40);
        QCoreApplication::processEvents();
    }
    EXPECT_LE(grid.records().cachedBlocks(), qm::RecordsetModel::kKeptBlocks);
}

TEST(PreviewGrid, UnbindingReleasesTheRecordSet) {
    QM_REQUIRE_CORPUS();
    qm::DataGrid grid;
    std::weak_ptr<qm::RowSource> held;
    {
        std::shared_ptr<qm::RowSource> rows =
            openTable(corpusFile(QStringLiteral("northwind-jet3.mdb")), QStringLiteral("Order Details"));
        held = rows;
        grid.setDataSource(rows);
    }
    ASSERT_FALSE(held.expired()) << "the grid holds the preview";
    EXPECT_EQ(reachableRows(*grid.model()), 2155);
    grid.setDataSource(nullptr);
    EXPECT_TRUE(held.expired());
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_EQ(grid.model()->columnCount(), 0);
}

TEST(PreviewGrid, NullsShowAsEmptyCellsAndTheGridCannotBeEdited) {
    qm::DataGrid grid;
    grid.setDataSource(openTable(edgeTables(), QStringLiteral("Prices")));
    QAbstractItemModel& model = *grid.model();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("3.5"));
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("Widget, large"));
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
}

}  // namespace
