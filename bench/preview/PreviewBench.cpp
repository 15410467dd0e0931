// qm_wizard_bench_preview [ROWS...]
//
// How long page 2's "Next >" takes to show page 3 for a large table (open,
// field list, preview bound and painted), how much memory that costs, and how
// long a jump to the last row takes. The tables (three columns) are written
// once into the build tree by the project's Jet 4 writer. Results are
// recorded in RESULTS.md.

#include "QtPrinting.h"
#include "WizardHarness.h"
#include "jetwriter/Description.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

QString tableFile(long long rows) {
    const QString folder = QStringLiteral(QM_BINARY_DIR "/bench-cache/wizard");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/preview-%1.mdb").arg(rows);
    if (!QFileInfo::exists(path)) {
        const QByteArray json = QStringLiteral(R"({"tables": [{"name": "Big",
            "columns": [{"name": "Id", "type": "long", "nullable": false},
                        {"name": "Name", "type": "text", "size": 40},
                        {"name": "Amount", "type": "double"}],
            "generate": {"count": %1, "seed": 7, "nulls": 0.05}}]})")
                                    .arg(rows)
                                    .toUtf8();
        qm::jetwriter::WriteDescriptionFile(json, path);
    }
    return path;
}

void measure(long long rows) {
    const QString database = tableFile(rows);
    qm::test::WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(database);
    rig.page1().PushButton3->click();
    qm::test::WizardRig::selectItem(*rig.page2().List1, QStringLiteral("Big"));
    QApplication::processEvents();

    const long before = residentKiB();
    QElapsedTimer timer;
    timer.start();
    rig.page2().PushButton3->click();
    rig.page3().repaint();
    QApplication::processEvents();
    const qint64 showMs = timer.elapsed();
    const long after = residentKiB();

    // Scrolling on to the end: every row is read once, in batches.
    timer.restart();
    QAbstractItemModel& model = *rig.page3().DataGrid1->model();
    while (model.canFetchMore(QModelIndex()))
        model.fetchMore(QModelIndex());
    rig.page3().DataGrid1->scrollToBottom();
    rig.page3().repaint();
    QApplication::processEvents();
    const qint64 lastRowMs = timer.elapsed();
    const long scrolled = residentKiB();

    std::printf(
        "%10lld rows: page 3 shown in %4lld ms, +%5ld KiB resident; "
        "scrolled to the last row in %5lld ms, +%5ld KiB (%s)\n",
        rows, static_cast<long long>(showMs), after - before, static_cast<long long>(lastRowMs),
        scrolled - after, model.rowCount() == rows ? "all rows" : "ROW COUNT WRONG");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QList<long long> sizes{10000, 100000, 1000000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QByteArray(argv[i]).toLongLong();
    }
    for (long long rows : sizes)
        measure(rows);
    return 0;
}
