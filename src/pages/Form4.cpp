#include "Form4.h"

#include "DataGrid.h"
#include "Form3.h"
#include "export/ExportRun.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "shell/FileSystem.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace qm {

namespace {

constexpr double kTextPoints = 9;
constexpr double kButtonPoints = 11.25;
constexpr int kProgressSteps = 1000;

// What "Finish" exports: page 1's database, the chosen table and fields, and
// this page's boxes, each read when the export needs it.
class FinishInputs : public ExportInputs {
  public:
    FinishInputs(Wizard& wizard, Form4& page) : wizard_(wizard), page_(page) {}
    QString databasePath() const override { return wizard_.databasePath(); }
    QString databasePassword() const override { return wizard_.databasePassword(); }
    DatabaseSession* databaseSession() const override { return wizard_.databaseSession(); }
    QString selectedTable() const override { return wizard_.SelectedTable; }
    QString selectedFields() const override { return wizard_.SelectedFields; }
    QString outputPath() const override { return page_.Text1->text(); }
    QString separator() const override { return page_.Text2->text(); }
    // Ticked only; a grayed box does not count.
    bool headerLine() const override { return page_.Check6->checkState() == Qt::Checked; }
    DocumentLayout layout() const override { return page_.layout(); }

  private:
    Wizard& wizard_;
    Form4& page_;
};

// Shows the export's progress and keeps the window alive while it reads.
class FinishProgress : public ExportObserver {
  public:
    FinishProgress(QProgressBar& bar, ExportPacing* pacing) : bar_(bar), pacing_(pacing) {}
    void progress(long long done, long long count) override {
        bar_.setValue(count > 0 ? static_cast<int>(std::min(done, count) * kProgressSteps / count) : 0);
    }
    void keepResponsive() override { QCoreApplication::processEvents(); }
    ExportPacing* pacing() override { return pacing_; }

  private:
    QProgressBar& bar_;
    ExportPacing* pacing_;
};

}  // namespace

Form4::Form4(Wizard& wizard)
    : WizardPage(wizard, QStringLiteral("Form4"), 9960, 3735),
      Frame1(new QGroupBox(texts::kForm4OutputFrame, this)),
      Text1(new QLineEdit(Frame1)),
      PushButton3(new QPushButton(texts::kBrowse, Frame1)),
      CommonDialog1(wizard.services().fileDialogs),
      Frame2(new QGroupBox(texts::kForm4SeparatorFrame, this)),
      Text2(new QLineEdit(Frame2)),
      Frame3(new QGroupBox(texts::kForm4HeaderFrame, this)),
      Check6(new QCheckBox(texts::kForm4HeaderCheck, Frame3)),
      Frame4(new QGroupBox(texts::kForm4LayoutFrame, this)),
      Option1(new QRadioButton(texts::kForm4LayoutLines, Frame4)),
      Option2(new QRadioButton(texts::kForm4LayoutTable, Frame4)),
      PushButton2(new QPushButton(texts::kBack, this)),
      PushButton4(new QPushButton(texts::kFinish, this)),
      ProgressBar1(new QProgressBar(this)) {
    setFont(ArialFont(kTextPoints));
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{Frame1, "Frame1"},
                                {Text1, "Text1"},
                                {PushButton3, "PushButton3"},
                                {Frame2, "Frame2"},
                                {Text2, "Text2"},
                                {Frame3, "Frame3"},
                                {Check6, "Check6"},
                                {Frame4, "Frame4"},
                                {Option1, "Option1"},
                                {Option2, "Option2"},
                                {PushButton2, "PushButton2"},
                                {PushButton4, "PushButton4"},
                                {ProgressBar1, "ProgressBar1"}})
        widget->setObjectName(QString::fromLatin1(name));
    for (QGroupBox* frame : {Frame1, Frame2, Frame3, Frame4})
        frame->setFont(ArialFont(kTextPoints, true));
    for (QWidget* inner : std::initializer_list<QWidget*>{Text1, Text2, Check6, Option1, Option2})
        inner->setFont(ArialFont(kTextPoints));
    for (QPushButton* button : {PushButton3, PushButton2, PushButton4})
        button->setFont(ArialFont(kButtonPoints, true));

    place(*Frame1, 120, 90, 7800, 825);
    place(*Text1, 240, 300, 6615, 345);
    place(*PushButton3, 6960, 300, 600, 345);
    place(*Frame2, 120, 990, 7800, 825);
    place(*Text2, 240, 300, 7320, 345);
    place(*Frame3, 120, 1890, 7800, 705);
    place(*Check6, 240, 300, 3975, 255);
    place(*PushButton2, 120, 2700, 3840, 405);
    place(*PushButton4, 4080, 2700, 3840, 405);
    place(*ProgressBar1, 120, 3210, 7800, 405);
    // The layout's frame stands right of the other three, from the top of
    // the first to the bottom of the last; the page grew by its width.
    place(*Frame4, 8040, 90, 1800, 2505);
    place(*Option1, 240, 300, 1440, 255);
    place(*Option2, 240, 600, 1440, 255);
    // The captions are longer than their designed widths in most fonts:
    // give each the room it needs inside its frame.
    for (QWidget* captioned : std::initializer_list<QWidget*>{Check6, Option1, Option2})
        captioned->resize(std::min(std::max(captioned->width(), captioned->sizeHint().width()),
                                   captioned->parentWidget()->width() - captioned->x()),
                          std::max(captioned->height(), captioned->sizeHint().height()));

    Check6->setCheckState(Qt::Checked);
    Option1->setChecked(true);
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    setTabOrder(Text1, PushButton3);
    setTabOrder(PushButton3, Text2);
    setTabOrder(Text2, Check6);
    setTabOrder(Check6, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, PushButton2);
    setTabOrder(PushButton2, PushButton4);

    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    for (QRadioButton* option : {Option1, Option2})
        connect(option, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                Option_Click();
        });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });

    pointer().customOver({PushButton2, PushButton3, PushButton4});
    pointer().defaultOver({this, Frame1, Frame2, Frame3, Frame4, Text1});
}

void Form4::Form_Load() {
    const WizardServices& services = wizard_.services();
    Procedure proc = procedure("Form_Load");
    proc.step(100, [&] { NormalizeFormColors(*this); });
    proc.step(102, [&] { setWindowIcon(ApplicationIcon()); });
    if (proc.condition(106, [&] { return FileExists(HandCursorPath(services.appDirectory)); }))
        proc.step(108, [&] { pointer().loadCustomImage(HandCursorPath(services.appDirectory)); });
    proc.step(110, [&] { setWindowTitle(texts::kProductName); });
    proc.step(112, [&] {
        Text1->setText(
            services.settings.ReadSetting(texts::kKeyOutputFile, DefaultOutputPath(wizard_.databasePath())));
    });
    proc.step(114, [&] { Text2->setText(texts::kDefaultSeparator); });
    // The layout is remembered; the separator and the header option are not.
    proc.step(116, [&] {
        const bool table = services.settings.ReadSetting(texts::kKeyOutputLayout, texts::kLayoutLines) ==
                           texts::kLayoutTable;
        (table ? Option2 : Option1)->setChecked(true);
    });
}

void Form4::PushButton3_Click() {
    Procedure proc = procedure("PushButton3_Click");
    bool chosen = false;
    QString fileName;
    proc.step(100, [&] { CommonDialog1.Flags = texts::kSaveOutputFlags; });
    proc.step(102, [&] { CommonDialog1.DialogTitle = texts::kSaveOutputTitle; });
    proc.step(104, [&] { CommonDialog1.Filter = texts::kSaveOutputFilter; });
    proc.step(106, [&] { chosen = CommonDialog1.ShowSave(); });
    // The dialog opens on the last choice; cancelling leaves the box alone.
    proc.step(108, [&] { fileName = chosen ? CommonDialog1.FileName : QString(); });
    if (proc.condition(110, [&] { return fileName == QString(); }))
        return;
    proc.step(112, [&] { Text1->setText(fileName); });
}

void Form4::PushButton2_Click() {
    Procedure proc = procedure("PushButton2_Click");
    proc.step(110, [&] { wizard_.Show(wizard_.form3()); });
    proc.step(112, [&] { wizard_.form3().UpdateFieldButtons(); });
    if (proc.condition(136, [&] { return wizard_.form3().List1->count() > 0; }))
        proc.step(136, [&] { SetListIndex(*wizard_.form3().List1, 0); });
    proc.step(138, [&] { wizard_.form3().DataGrid1->setFocus(); });
    proc.step(140, [&] { wizard_.Hide(*this); });
}

void Form4::PushButton4_Click() {
    // The run lets the window take input; a second "Finish" meanwhile is ignored.
    if (exporting_)
        return;
    Procedure proc = procedure("PushButton4_Click");
    if (proc.condition(106, [&] { return PushButton4->text() == texts::kExit; })) {
        proc.step(108, [&] { wizard_.services().program.End(); });
        return;
    }
    exporting_ = true;
    proc.step(110, [&] {
        pointer().setPointer(MousePointer::Busy);
        ProgressBar1->setValue(0);
    });
    FinishInputs inputs(wizard_, *this);
    FinishProgress progress(*ProgressBar1, wizard_.services().exportPacing);
    const bool written = RunExport(proc, inputs, wizard_.services().word, &progress);
    // "Exit" means a document was written; after a failed run the user can
    // correct the input and try again.
    if (written) {
        proc.step(190, [&] {
            ProgressBar1->setValue(kProgressSteps);
            PushButton4->setText(texts::kExit);
        });
    } else {
        ProgressBar1->setValue(0);
    }
    proc.step(192, [&] { pointer().setPointer(MousePointer::Default); });
    exporting_ = false;
}

DocumentLayout Form4::layout() const {
    return Option2->isChecked() ? DocumentLayout::Table : DocumentLayout::Lines;
}

// A table keeps its values apart by itself: the separator box has nothing to
// say then. Every choice is stored at once, as the output path is.
void Form4::Option_Click() {
    const bool table = layout() == DocumentLayout::Table;
    Text2->setEnabled(!table);
    wizard_.services().settings.WriteSetting(texts::kKeyOutputLayout,
                                             table ? texts::kLayoutTable : texts::kLayoutLines);
}

void Form4::Text1_Change() {
    wizard_.services().settings.WriteSetting(texts::kKeyOutputFile, Text1->text());
}

}  // namespace qm
