// quillmerge-screenshots OUTDIR DATABASE [TABLE]
//
// Walks the wizard through its four pages on the given database and saves a
// picture of each into OUTDIR (1-database.png ... 4-output.png). Settings go
// to a temporary folder and messages to standard error, so it runs unattended
// (tools/screenshots.sh runs it under Xvfb).

#include "export/document/NativeWord.h"
#include "pages/DataGrid.h"
#include "pages/Form1.h"
#include "pages/Form2.h"
#include "pages/Form3.h"
#include "pages/Form4.h"
#include "pages/PageSupport.h"
#include "pages/Wizard.h"
#include "shell/FileSystem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

class PrintedMessages : public qm::MessageBoxes {
  public:
    void message(const QString& text, qm::MessageIcon, const QString&) override {
        std::fprintf(stderr, "message: %s\n", qUtf8Printable(qm::DisplayText(text)));
    }
};

class NoFileDialogs : public qm::FileDialogs {
  public:
    QString choose(const qm::FileDialogRequest&) override { return QString(); }
};

class RecordedEnd : public qm::ProgramLifetime {
  public:
    void End() override { ended_ = true; }
    bool hasEnded() const override { return ended_; }

  private:
    bool ended_ = false;
};

void settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

bool save(qm::Wizard& wizard, const QDir& folder, const QString& name) {
    settle();
    const QString path = folder.filePath(name);
    if (!wizard.window().grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(path));
        return false;
    }
    std::printf("%s\n", qUtf8Printable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: quillmerge-screenshots OUTDIR DATABASE [TABLE]\n");
        return 2;
    }
    const QDir folder(args[1]);
    if (!QDir().mkpath(folder.absolutePath()))
        return 1;

    QTemporaryDir home;
    qm::SettingsStore settings(home.filePath(QStringLiteral("Fennick.conf")));
    PrintedMessages messages;
    NoFileDialogs dialogs;
    qm::NativeWordProvider word;
    RecordedEnd program;
    qm::Wizard wizard({settings, messages, dialogs, word, program, qm::AppDirectory(), QString()});
    wizard.Start();
    wizard.window().move(40, 40);

    qm::Form1& page1 = wizard.form1();
    page1.Text1->setText(args[2]);
    page1.Text1->setFocus();
    bool ok = save(wizard, folder, QStringLiteral("1-database.png"));

    page1.PushButton3_Click();
    qm::Form2& page2 = wizard.form2();
    if (args.size() > 3) {
        const QList<QListWidgetItem*> found = page2.List1->findItems(args[3], Qt::MatchExactly);
        if (!found.isEmpty())
            qm::SetListIndex(*page2.List1, page2.List1->row(found.first()));
    }
    ok = save(wizard, folder, QStringLiteral("2-table.png")) && ok;

    page2.PushButton3_Click();
    qm::Form3& page3 = wizard.form3();
    for (int i = 0; i < 2 && page3.List1->count() > 1; ++i) {
        qm::SetListIndex(*page3.List1, 1);
        page3.PushButton5_Click();
    }
    qm::SetListIndex(*page3.List1, 0);
    ok = save(wizard, folder, QStringLiteral("3-fields.png")) && ok;

    page3.PushButton3_Click();
    ok = save(wizard, folder, QStringLiteral("4-output.png")) && ok;
    return ok ? 0 : 1;
}
