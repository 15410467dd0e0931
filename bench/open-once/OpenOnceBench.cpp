// qm_bench_open_once DATABASE PASSWORD TABLE
//
// Drives the real wizard (on any window system; QT_QPA_PLATFORM=offscreen
// will do) through one pass over the database and prints how long page 1's
// "Next >" (the table list), page 2's "Next >" (the preview) and page 4's
// "Finish" (every field) take, and how often the database was read and
// opened (decrypted, for an encrypted file) in all.

#include "BenchServices.h"
#include "database/Ado.h"
#include "export/document/NativeWord.h"
#include "pages/Form1.h"
#include "pages/Form2.h"
#include "pages/Form3.h"
#include "pages/Form4.h"
#include "pages/PageSupport.h"
#include "pages/Texts.h"
#include "pages/Wizard.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using qm::bench::NoFileDialogs;
using qm::bench::PrintedMessages;
using qm::bench::RecordedEnd;

int fail(const char* what) {
    std::fprintf(stderr, "qm_bench_open_once: %s\n", what);
    return 1;
}

// Milliseconds the click took, the events it left behind included.
qint64 timed(QPushButton& button) {
    QElapsedTimer timer;
    timer.start();
    button.click();
    QApplication::processEvents();
    return timer.elapsed();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 4)
        return fail("usage: qm_bench_open_once DATABASE PASSWORD TABLE");
    const QString database = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString table = QString::fromLocal8Bit(argv[3]);

    QTemporaryDir home;
    qm::SettingsStore settings(home.filePath(QStringLiteral("settings.conf")));
    PrintedMessages messages;
    NoFileDialogs dialogs;
    qm::NativeWordProvider word;
    RecordedEnd program;
    qm::Wizard wizard({settings, messages, dialogs, word, program, home.path(), QString()});
    wizard.Start();
    QApplication::processEvents();
    const std::uint64_t openingsBefore = qm::DatabaseDecryptions();

    wizard.form1().Text1->setText(database);
    wizard.form1().Text2->setText(QString::fromLocal8Bit(argv[2]));
    const qint64 page1 = timed(*wizard.form1().PushButton3);
    QListWidget& tables = *wizard.form2().List1;
    const QList<QListWidgetItem*> found = tables.findItems(table, Qt::MatchExactly);
    if (wizard.currentPage() != &wizard.form2() || found.isEmpty())
        return fail("page 2 does not list the table");
    qm::SetListIndex(tables, tables.row(found.first()));
    const qint64 page2 = timed(*wizard.form2().PushButton3);
    if (wizard.currentPage() != &wizard.form3())
        return fail("page 3 did not show");

    wizard.form3().PushButton6->click();  // every field
    wizard.form3().PushButton3->click();
    qm::Form4& page4 = wizard.form4();
    const QString output = home.filePath(QStringLiteral("out.docx"));
    page4.Text1->setText(output);
    const qint64 finish = timed(*page4.PushButton4);
    if (page4.PushButton4->text() != qm::texts::kExit || !QFileInfo::exists(output) || messages.count != 0)
        return fail("the export did not write its document");

    std::printf("page1-next %lld ms  page2-next %lld ms  finish %lld ms  database read %llu times\n",
                static_cast<long long>(page1), static_cast<long long>(page2), static_cast<long long>(finish),
                static_cast<unsigned long long>(qm::DatabaseDecryptions() - openingsBefore));
    return 0;
}
