#pragma once

// Runs the real wizard with its modal seams scripted: message boxes are
// recorded, file dialogs answer from a queue, the end of the program is
// recorded. Settings live in a temporary folder; the document engine is the
// program's own unless a test passes another. "Finish" lets the window take
// input after every kPauseRecords records, whatever the machine's speed.

#include "QtPrinting.h"
#include "common/ReadDocx.h"
#include "common/RecordPacing.h"
#include "common/TestSupport.h"
#include "export/document/NativeWord.h"
#include "pages/DataGrid.h"
#include "pages/Form1.h"
#include "pages/Form2.h"
#include "pages/Form3.h"
#include "pages/Form4.h"
#include "pages/PageSupport.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "pages/Wizard.h"
#include "shell/Failure.h"
#include "shell/Settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace qm::test {

struct ShownMessage {
    QString text;
    MessageIcon icon;
    QString title;
    bool isErrorReport() const { return title == QLatin1String(kErrorReportTitle); }
};

class ScriptedMessages : public MessageBoxes {
  public:
    void message(const QString& text, MessageIcon icon, const QString& title) override {
        shown.push_back({text, icon, title});
        if (onMessage)
            onMessage(shown.back());
    }
    std::vector<ShownMessage> errorReports() const {
        std::vector<ShownMessage> reports;
        for (const ShownMessage& m : shown)
            if (m.isErrorReport())
                reports.push_back(m);
        return reports;
    }
    std::vector<ShownMessage> shown;
    std::function<void(const ShownMessage&)> onMessage;
};

// Answers file dialogs from a queue: a path, or "" for Cancel.
class ScriptedFileDialogs : public FileDialogs {
  public:
    QString choose(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) {
            ADD_FAILURE() << "a file dialog opened that the test did not expect";
            return QString();
        }
        const QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    std::vector<FileDialogRequest> requests;
};

class RecordedEnd : public ProgramLifetime {
  public:
    void End() override { ++ends; }
    bool hasEnded() const override { return ends > 0; }
    int ends = 0;
};

// The program's own engine, counting how often it is started.
class CountingWord : public WordProvider {
  public:
    std::unique_ptr<WordApplication> CreateApplication() override {
        ++starts;
        return engine.CreateApplication();
    }
    NativeWordProvider engine;
    int starts = 0;
};

class FailingWord : public WordProvider {
  public:
    std::unique_ptr<WordApplication> CreateApplication() override {
        throw Failure(QStringLiteral("The document engine could not be started"));
    }
};

// The expected text of an error report.
inline QString reportText(const QString& description, const QString& location, int line) {
    return ErrorReport{description, location, line}.messageText();
}

// "Form1.PushButton3_Click at line 100" for each report, to compare lists.
inline QStringList reportPlaces(const std::vector<ShownMessage>& reports) {
    QStringList places;
    for (const ShownMessage& m : reports) {
        const QString prefix = QStringLiteral("in Tabquill2021/08/31.");
        const qsizetype start = m.text.indexOf(prefix);
        const qsizetype end = m.text.indexOf(QLatin1Char('\r'), start);
        places << (start < 0 ? m.text : m.text.mid(start + prefix.size(), end - start - prefix.size()));
    }
    return places;
}

class WizardRig {
  public:
    static constexpr long long kPauseRecords = 1000;

    WizardRig() {
        appDirectory = home.filePath(QStringLiteral("app"));
        QDir().mkpath(appDirectory);
        settingsFile = home.filePath(QStringLiteral("config/Fennick.conf"));
    }

    // Writes a setting as an earlier run would have.
    void remember(const QString& key, const QString& value) {
        SettingsStore earlier(settingsFile);
        earlier.WriteSetting(key, value);
    }
    QString stored(const QString& key) {
        SettingsStore later(settingsFile);
        return later.ReadSetting(key, QStringLiteral("<absent>"));
    }

    // Starts the program: page 1's load steps, then page 1 unless they moved on.
    // databaseToOpen: as named on the command line.
    Wizard& start(WordProvider* engine = nullptr, const QString& databaseToOpen = QString()) {
        settings = std::make_unique<SettingsStore>(settingsFile);
        wizard =
            std::make_unique<Wizard>(WizardServices{*settings, messages, dialogs, engine ? *engine : word,
                                                    program, appDirectory, databaseToOpen, &pacing});
        wizard->Start();
        QCoreApplication::processEvents();
        return *wizard;
    }

    Form1& page1() { return wizard->form1(); }
    Form2& page2() { return wizard->form2(); }
    Form3& page3() { return wizard->form3(); }
    Form4& page4() { return wizard->form4(); }
    QWidget* current() { return wizard->currentPage(); }

    // Page 1 to page 3 for a table of a database.
    void openTable(const QString& database, const QString& table, const QString& password = QString()) {
        page1().Text1->setText(database);
        page1().Text2->setText(password);
        page1().PushButton3->click();
        selectItem(*page2().List1, table);
        page2().PushButton3->click();
    }

    static void selectItem(QListWidget& list, const QString& text) {
        const QList<QListWidgetItem*> found = list.findItems(text, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        SetListIndex(list, list.row(found.first()));
    }

    // Moves the named fields to the chosen list, in this order.
    void choose(const QStringList& fields) {
        for (const QString& field : fields) {
            selectItem(*page3().List1, field);
            page3().PushButton5->click();
        }
    }

    QTemporaryDir home;
    QString appDirectory;
    QString settingsFile;
    std::unique_ptr<SettingsStore> settings;
    ScriptedMessages messages;
    ScriptedFileDialogs dialogs;
    NativeWordProvider word;
    RecordedEnd program;
    RecordPacing pacing{kPauseRecords};
    std::unique_ptr<Wizard> wizard;
};

}  // namespace qm::test
