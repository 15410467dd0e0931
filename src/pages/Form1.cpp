#include "Form1.h"

#include "Form2.h"
#include "database/Catalogue.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "pages/WordCheck.h"
#include "shell/Failure.h"
#include "shell/FileSystem.h"

#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>

namespace qm {

namespace {

constexpr double kLabelPoints = 9;
constexpr double kButtonPoints = 9.75;

// True when the settings' database is this file. Settings that cannot be
// read count as true: the read of the password reports them (line 128).
bool IsSavedDatabase(SettingsStore& settings, const QString& path) {
    try {
        const QString saved = settings.ReadSetting(texts::kKeyDatabase);
        return !saved.isEmpty() && QFileInfo(saved).absoluteFilePath() == QFileInfo(path).absoluteFilePath();
    } catch (const Failure&) {
        return true;
    }
}

}  // namespace

Form1::Form1(Wizard& wizard)
    : WizardPage(wizard, QStringLiteral("Form1"), 8040, 2105),
      Frame1(new QGroupBox(texts::kForm1Frame, this)),
      Text2(new QLineEdit(Frame1)),
      Text1(new QLineEdit(Frame1)),
      PushButton5(new QPushButton(texts::kBrowse, Frame1)),
      lblPassword(new QLabel(texts::kForm1PasswordLabel, Frame1)),
      Label5(new QLabel(texts::kForm1FileLabel, Frame1)),
      CommonDialog1(wizard.services().fileDialogs),
      PushButton3(new QPushButton(texts::kNext, this)),
      PushButton1(new QPushButton(texts::kForm1LoadSample, this)) {
    // Seen only until the load steps set the product name.
    setWindowTitle(QStringLiteral("Setup Connection"));
    setFont(ArialFont(kLabelPoints));
    for (QPushButton* button : {PushButton5, PushButton3, PushButton1})
        button->setFont(ArialFont(kButtonPoints, true));
    Frame1->setFont(ArialFont(kLabelPoints, true));
    for (QWidget* inner : {static_cast<QWidget*>(Text1), static_cast<QWidget*>(Text2),
                           static_cast<QWidget*>(Label5), static_cast<QWidget*>(lblPassword)})
        inner->setFont(ArialFont(kLabelPoints));

    place(*Frame1, 120, 120, 7800, 1335);
    place(*Label5, 240, 345, 1935, 255);
    place(*Text1, 2280, 300, 4695, 345);
    place(*PushButton5, 7080, 300, 450, 345);
    place(*lblPassword, 240, 840, 1950, 225);
    place(*Text2, 2280, 800, 5265, 345);
    place(*PushButton1, 120, 1580, 3840, 405);
    place(*PushButton3, 4080, 1580, 3840, 405);
    for (QLabel* label : {Label5, lblPassword}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setBuddy(label == Label5 ? Text1 : Text2);
    }
    // Vertically centred on their boxes, whatever the font's height.
    Label5->setGeometry(Label5->x(), Text1->y(), Label5->width(), Text1->height());
    lblPassword->setGeometry(lblPassword->x(), Text2->y(), lblPassword->width(), Text2->height());

    Text2->setEchoMode(QLineEdit::Password);
    Text2->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{Frame1, "Frame1"},
                                {Text2, "Text2"},
                                {Text1, "Text1"},
                                {PushButton5, "PushButton5"},
                                {lblPassword, "lblPassword"},
                                {Label5, "Label5"},
                                {PushButton3, "PushButton3"},
                                {PushButton1, "PushButton1"}})
        widget->setObjectName(QString::fromLatin1(name));

    setTabOrder(Text1, PushButton5);
    setTabOrder(PushButton5, Text2);
    setTabOrder(Text2, PushButton3);
    setTabOrder(PushButton3, PushButton1);
    for (QWidget* label : {static_cast<QWidget*>(Label5), static_cast<QWidget*>(lblPassword)})
        label->setFocusPolicy(Qt::NoFocus);
    Text1->setFocus();

    Text1->installEventFilter(this);
    Text2->installEventFilter(this);
    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });

    pointer().customOver({PushButton1, PushButton3, PushButton5});
    pointer().defaultOver({this, Frame1, Text1, Text2});
}

void Form1::Form_Load() {
    const WizardServices& services = wizard_.services();
    Procedure proc = procedure("Form_Load");
    proc.step(102, [&] { ApplySkin(); });
    if (proc.condition(122, [&] { return FileExists(HandCursorPath(services.appDirectory)); }))
        proc.step(124, [&] { pointer().loadCustomImage(HandCursorPath(services.appDirectory)); });
    // A database named on the command line takes the saved one's place; the
    // saved password goes with the saved database only.
    bool savedDatabase = true;
    proc.step(126, [&] {
        if (services.databaseToOpen.isEmpty()) {
            Text1->setText(services.settings.ReadSetting(texts::kKeyDatabase));
            return;
        }
        savedDatabase = IsSavedDatabase(services.settings, services.databaseToOpen);
        Text1->setText(services.databaseToOpen);
    });
    proc.step(128, [&] {
        if (savedDatabase) {
            Text2->setText(services.settings.ReadSetting(texts::kKeyPassword));
            return;
        }
        // Stored empty as well: the named database is the saved one now.
        Text2->clear();
        Text2_Change();
    });
    proc.step(130, [&] { setWindowTitle(texts::kProductName); });
    proc.step(130, [&] { setWindowIcon(ApplicationIcon()); });
    proc.step(130, [&] { SetApplicationTitle(); });
    proc.step(136, [&] { CheckWordAvailable(services.word, services.messages, services.program); });
    // The check ended the program: nothing else runs.
    if (services.program.hasEnded())
        return;
    if (proc.condition(132, [&] { return FileExists(Text1->text()); }))
        proc.step(134, [&] { PushButton3_Click(); });
}

void Form1::ApplySkin() {
    // No skinning component exists here: a listed skin file only brings the
    // page's colours to the system's button face.
    if (!SkinFileListed(wizard_.services().appDirectory))
        return;
    NormalizeFormColors(*this);
}

void Form1::PushButton1_Click() {
    Procedure proc = procedure("PushButton1_Click");
    proc.step(100, [&] { Text1->setText(SampleDatabasePath(wizard_.services().appDirectory)); });
}

void Form1::PushButton5_Click() {
    Procedure proc = procedure("PushButton5_Click");
    proc.step(100, [&] { CommonDialog1.FileName.clear(); });
    proc.step(102, [&] { CommonDialog1.Flags = texts::kOpenDatabaseFlags; });
    proc.step(104, [&] { CommonDialog1.DialogTitle = texts::kOpenDatabaseTitle; });
    proc.step(106, [&] { CommonDialog1.Filter = texts::kOpenDatabaseFilter; });
    proc.step(108, [&] { CommonDialog1.ShowOpen(); });
    if (proc.condition(110, [&] { return CommonDialog1.FileName != QString(); }))
        proc.step(112, [&] { Text1->setText(CommonDialog1.FileName); });
}

void Form1::PushButton3_Click() {
    Procedure proc = procedure("PushButton3_Click");
    std::optional<QStringList> tables;
    proc.step(100, [&] { tables = GetTableNames(Text1->text(), wizard_); });
    if (proc.condition(102, [&] { return !tables.has_value(); })) {
        proc.step(104, [&] { tables.reset(); });
        return;
    }
    proc.step(106, [&] {
        // The names of line 100 fill page 2's list, here and in page 2's load
        // when this makes page 2: the database is read once.
        tableNamesOfNext_ = &tables;
        const auto filled = qScopeGuard([this] { tableNamesOfNext_ = nullptr; });
        ListBoxTableList list(*wizard_.form2().List1);
        AddTablesToAccessListbox(list, tables, wizard_.errors());
    });
    proc.step(108, [&] { wizard_.Show(wizard_.form2()); });
    proc.step(110, [&] { wizard_.Hide(*this); });
}

void Form1::Text1_Change() {
    wizard_.services().settings.WriteSetting(texts::kKeyDatabase, Text1->text());
}

void Form1::Text2_Change() {
    wizard_.services().settings.WriteSetting(texts::kKeyPassword, Text2->text());
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Select all on receiving the focus, so typing replaces the whole entry.
    if (event->type() == QEvent::FocusIn && (watched == Text1 || watched == Text2))
        static_cast<QLineEdit*>(watched)->selectAll();
    return WizardPage::eventFilter(watched, event);
}

}  // namespace qm
