// qm_bench_accessibility DATABASE TABLE
//
// Drives the real wizard on a window system (run it under Xvfb, see run.sh)
// and prints how long two steps take, in wall and CPU time:
//
//   page3  from page 2's "Next >" to page 3 painted, the focus in its grid;
//   export page 4's "Finish" on every field of the table, until it returns,
//          with the longest time the event loop did not run meanwhile (how
//          long a screen reader's question could wait for its answer).
//
// Whether the desktop's accessibility bridge is on is decided by the
// environment (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and an AT-SPI bus); the
// program waits for the bridge to come up when it is asked for. One
// measurement per process; run.sh repeats and alternates them. Under
// callgrind each step's instructions are dumped on their own ("page3",
// "export").

#include "BenchServices.h"
#include "export/document/NativeWord.h"
#include "pages/DataGrid.h"
#include "pages/Form1.h"
#include "pages/Form2.h"
#include "pages/Form3.h"
#include "pages/Form4.h"
#include "pages/PageSupport.h"
#include "pages/Texts.h"
#include "pages/Wizard.h"
#include "shell/Settings.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif
#include <cstdio>
#include <ctime>

namespace {

using qm::bench::NoFileDialogs;
using qm::bench::PrintedMessages;
using qm::bench::RecordedEnd;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// The longest time the event loop did not run while it was watched: how long
// an assistive technology's question could wait for its answer.
class LoopGaps : public QObject {
  public:
    LoopGaps() {
        ticks_.setInterval(2);
        connect(&ticks_, &QTimer::timeout, this,
                [this] { longest = std::max(longest, sinceTick_.restart()); });
    }
    void start() {
        longest = 0;
        sinceTick_.start();
        ticks_.start();
    }
    void stop() {
        longest = std::max(longest, sinceTick_.elapsed());
        ticks_.stop();
    }
    qint64 longest = 0;

  private:
    QTimer ticks_;
    QElapsedTimer sinceTick_;
};

// Runs the event loop until `done` holds or `limitMs` passed.
template <class Done>
bool spinUntil(Done done, qint64 limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(limitMs))
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// CPU time of the whole process (every thread), in milliseconds.
qint64 cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int fail(const char* what) {
    std::fprintf(stderr, "qm_bench_accessibility: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3)
        return fail("usage: qm_bench_accessibility DATABASE TABLE");
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString table = QString::fromLocal8Bit(argv[2]);

    // The bridge connects to the accessibility bus after the event loop runs.
    const bool wanted = qEnvironmentVariableIntValue("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") != 0;
    if (wanted)
        spinUntil([] { return QAccessible::isActive(); }, 5000);
    const bool active = QAccessible::isActive();
    if (wanted && !active)
        return fail("the accessibility bridge did not come up (no AT-SPI bus?)");

    QTemporaryDir home;
    qm::SettingsStore settings(home.filePath(QStringLiteral("settings.conf")));
    PrintedMessages messages;
    NoFileDialogs dialogs;
    qm::NativeWordProvider word;
    RecordedEnd program;
    qm::Wizard wizard({settings, messages, dialogs, word, program, home.path(), database});
    wizard.Start();
    // What a window manager does for a new window: Xvfb has none.
    spinUntil([&] { return wizard.window().isVisible(); }, 5000);
    wizard.window().activateWindow();
    if (!spinUntil([&] { return wizard.window().isActiveWindow(); }, 5000))
        return fail("the wizard's window did not become active");

    // Page 1 to page 2, the table selected.
    wizard.form1().PushButton3->click();
    QListWidget& tables = *wizard.form2().List1;
    const QList<QListWidgetItem*> found = tables.findItems(table, Qt::MatchExactly);
    if (found.isEmpty())
        return fail("the table is not in the database");
    qm::SetListIndex(tables, tables.row(found.first()));
    spinUntil([] { return false; }, 200);

    // Page 2's "Next >" until the grid has painted and the loop is free again.
    qm::DataGrid& grid = *wizard.form3().DataGrid1;
    PaintCounter gridPaints(*grid.viewport());
    QElapsedTimer timer;
    timer.start();
    qint64 cpuStart = cpuMs();
    CALLGRIND_ZERO_STATS;
    wizard.form2().PushButton3->click();
    spinUntil([&] { return gridPaints.paints > 0; }, 60000);
    QApplication::processEvents();
    CALLGRIND_DUMP_STATS_AT("page3");
    const qint64 page3Ms = timer.elapsed();
    const qint64 page3CpuMs = cpuMs() - cpuStart;
    if (wizard.currentPage() != &wizard.form3() || grid.model()->rowCount() == 0 || !grid.hasFocus())
        return fail("page 3 did not show the table with the focus in the grid");

    // Every field, page 4, "Finish".
    wizard.form3().PushButton6->click();
    wizard.form3().PushButton3->click();
    qm::Form4& page4 = wizard.form4();
    const QString output = home.filePath(QStringLiteral("out.docx"));
    page4.Text1->setText(output);
    spinUntil([] { return false; }, 200);
    LoopGaps gaps;
    timer.restart();
    cpuStart = cpuMs();
    gaps.start();
    CALLGRIND_ZERO_STATS;
    page4.PushButton4->click();
    CALLGRIND_DUMP_STATS_AT("export");
    gaps.stop();
    const qint64 exportMs = timer.elapsed();
    const qint64 exportCpuMs = cpuMs() - cpuStart;
    if (page4.PushButton4->text() != qm::texts::kExit || !QFileInfo::exists(output) || messages.count != 0)
        return fail("the export did not write its document");

    // Answers what an assistive technology still asks about the last events.
    spinUntil([] { return false; }, 300);
    std::printf("bridge %s page3 %lld ms cpu %lld ms export %lld ms cpu %lld ms longest-gap %lld ms\n",
                active ? "on" : "off", static_cast<long long>(page3Ms), static_cast<long long>(page3CpuMs),
                static_cast<long long>(exportMs), static_cast<long long>(exportCpuMs),
                static_cast<long long>(gaps.longest));
    return 0;
}
