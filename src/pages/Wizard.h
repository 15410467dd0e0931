#pragma once

#include "database/ConnectionString.h"
#include "database/DatabaseSession.h"
#include "export/document/WordAutomation.h"
#include "pages/Dialogs.h"
#include "shell/Settings.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class QStackedLayout;

namespace qm {

class Form1;
class Form2;
class Form3;
class Form4;
class ExportPacing;

// What the pages use of the world outside: settings, modal boxes and dialogs,
// the document engine, the end of the program, the program's directory and
// the clock that paces a long export.
struct WizardServices {
    SettingsStore& settings;
    MessageBoxes& messages;
    FileDialogs& fileDialogs;
    WordProvider& word;
    ProgramLifetime& program;
    QString appDirectory;
    // A database named on the command line (what a file manager's "Open with"
    // passes): page 1 starts with it instead of the saved path, and with the
    // saved password only when it is the saved path. Empty: none.
    QString databaseToOpen;
    ExportPacing* exportPacing = nullptr;  // when "Finish" lets the window in; nullptr: TimedPacing
};

// The one window the wizard shows; its content is the current page. Closing
// it ends the program at once.
class WizardWindow : public QWidget {
  public:
    explicit WizardWindow(ProgramLifetime& program);
    QStackedLayout& pages() { return *pages_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    ProgramLifetime& program_;
    QStackedLayout* pages_;
};

// The wizard: its four pages, created and loaded when first referred to and
// only hidden afterwards, the module-level texts that pass between them, and
// the one place that knows which page is showing.
class Wizard : public DatabaseLocation {
  public:
    explicit Wizard(WizardServices services);
    ~Wizard() override;
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // Loads page 1, whose load steps may go straight on to page 2, and shows
    // page 1 unless another page is showing by then.
    void Start();

    Form1& form1();
    Form2& form2();
    Form3& form3();
    Form4& form4();
    // True once page 1 to 4 was created (and loaded).
    bool isLoaded(int pageNumber) const;

    // Shows the page (modeless) in the wizard window.
    void Show(QWidget& page);
    // Hides the page; the window then shows the page shown before it, if any.
    void Hide(QWidget& page);
    bool isShown(const QWidget& page) const;
    // The page the window shows, or nullptr when the window is hidden.
    QWidget* currentPage() const;
    WizardWindow& window() { return *window_; }

    // Module-level texts.
    QString SelectedTable;   // the chosen table (page 2)
    QString SelectedFields;  // the chosen fields, back-quoted and joined (page 3)

    const WizardServices& services() const { return services_; }
    ErrorSink& errors() { return errors_; }

    // Page 1's two boxes: the only copy of the database path and password.
    QString databasePath() const override;
    QString databasePassword() const override;
    // What the wizard keeps of the database it opened last, for every open
    // of it until another database is opened or the wizard ends.
    DatabaseSession* databaseSession() const override { return &session_; }

  private:
    template <class Page>
    Page& page(Page*& slot);
    void display(QWidget* page);

    WizardServices services_;
    mutable DatabaseSession session_;
    MessageBoxErrorSink errors_;
    std::unique_ptr<WizardWindow> window_;
    Form1* form1_ = nullptr;
    Form2* form2_ = nullptr;
    Form3* form3_ = nullptr;
    Form4* form4_ = nullptr;
    // Pages shown and not hidden since, the most recently shown last.
    std::vector<QPointer<QWidget>> shown_;
};

}  // namespace qm
