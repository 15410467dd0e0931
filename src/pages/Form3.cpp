#include "Form3.h"

#include "DataGrid.h"
#include "Form2.h"
#include "Form4.h"
#include "export/ExportRun.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "shell/FileSystem.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace qm {

namespace {

constexpr double kTextPoints = 9;
constexpr double kButtonPoints = 11.25;

}  // namespace

Form3::Form3(Wizard& wizard)
    : WizardPage(wizard, QStringLiteral("Form3"), 5880, 5010),
      Label2(new QLabel(texts::kForm3Preview, this)),
      DataGrid1(new DataGrid(this)),
      Label1(new QLabel(texts::kForm3Fields, this)),
      List1(new QListWidget(this)),
      PushButton5(new QPushButton(texts::kMoveOne, this)),
      PushButton6(new QPushButton(texts::kMoveAll, this)),
      PushButton7(new QPushButton(texts::kMoveOneBack, this)),
      PushButton8(new QPushButton(texts::kMoveAllBack, this)),
      List2(new QListWidget(this)),
      Line1(new QFrame(this)),
      PushButton2(new QPushButton(texts::kBack, this)),
      PushButton3(new QPushButton(texts::kNext, this)) {
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{Label2, "Label2"},
                                {DataGrid1, "DataGrid1"},
                                {Label1, "Label1"},
                                {List1, "List1"},
                                {PushButton5, "PushButton5"},
                                {PushButton6, "PushButton6"},
                                {PushButton7, "PushButton7"},
                                {PushButton8, "PushButton8"},
                                {List2, "List2"},
                                {Line1, "Line1"},
                                {PushButton2, "PushButton2"},
                                {PushButton3, "PushButton3"}}) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(ArialFont(qobject_cast<QPushButton*>(widget) ? kButtonPoints : kTextPoints, true));
    }
    DataGrid1->horizontalHeader()->setFont(ArialFont(kTextPoints, true));
    DataGrid1->verticalHeader()->setFont(ArialFont(kTextPoints, true));

    place(*Label2, 120, 120, 3840, 255);
    place(*DataGrid1, 120, 480, 5640, 1360);
    place(*Label1, 120, 2040, 4335, 255);
    place(*List1, 120, 2400, 2535, 1860);
    place(*PushButton5, 2700, 2428, 495, 345);
    place(*PushButton6, 2700, 2908, 495, 345);
    place(*PushButton7, 2700, 3388, 495, 345);
    place(*PushButton8, 2700, 3868, 495, 345);
    place(*List2, 3240, 2400, 2520, 1860);
    place(*PushButton2, 120, 4500, 2775, 405);
    place(*PushButton3, 3000, 4500, 2760, 405);
    // A line from (120, 4350) to (5760, 4350).
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    const QRect line = twips_.rect(120, 4350, 5640, 0);
    Line1->setGeometry(line.x(), line.y() - 1, line.width(), 2);
    for (QLabel* label : {Label1, Label2}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setFocusPolicy(Qt::NoFocus);
    }

    for (QListWidget* list : {List1, List2}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSortingEnabled(false);
    }
    setTabOrder(List1, DataGrid1);
    setTabOrder(DataGrid1, List2);
    setTabOrder(List2, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, PushButton5);
    setTabOrder(PushButton5, PushButton6);
    setTabOrder(PushButton6, PushButton7);
    setTabOrder(PushButton7, PushButton8);

    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(List1, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
    connect(List2, &QListWidget::itemDoubleClicked, this, [this] { List2_DblClick(); });

    pointer().customOver({PushButton2, PushButton3, PushButton5, PushButton6, PushButton7, PushButton8});
    pointer().defaultOver({this, Label1, Label2, List1, List2, DataGrid1});
}

void Form3::Form_Load() {
    const WizardServices& services = wizard_.services();
    Procedure proc = procedure("Form_Load");
    proc.step(100, [&] { NormalizeFormColors(*this); });
    proc.step(102, [&] { setWindowIcon(ApplicationIcon()); });
    if (proc.condition(104, [&] { return FileExists(HandCursorPath(services.appDirectory)); }))
        proc.step(106, [&] { pointer().loadCustomImage(HandCursorPath(services.appDirectory)); });
    proc.step(108, [&] { setWindowTitle(texts::kProductName); });
}

void Form3::PushButton5_Click() {
    moveSelectedChecked("PushButton5_Click", *List1, *List2);
}
void Form3::PushButton6_Click() {
    moveAll("PushButton6_Click", *List1, *List2);
}
void Form3::PushButton7_Click() {
    moveSelectedChecked("PushButton7_Click", *List2, *List1);
}
void Form3::PushButton8_Click() {
    moveAll("PushButton8_Click", *List2, *List1);
}

void Form3::List1_DblClick() {
    // A double-click with nothing selected changes nothing.
    if (ListIndex(*List1) != -1)
        moveSelected(*List1, *List2);
}

void Form3::List2_DblClick() {
    if (ListIndex(*List2) != -1)
        moveSelected(*List2, *List1);
}

void Form3::moveSelectedChecked(const char* procedureName, QListWidget& from, QListWidget& to) {
    Procedure proc = procedure(procedureName);
    if (proc.condition(100, [&] { return ListIndex(from) == -1; })) {
        proc.step(102, [&] { wizard_.services().messages.message(texts::kPleaseSelectField); });
        return;
    }
    const int index = ListIndex(from);
    proc.step(104, [&] { to.addItem(from.item(index)->text()); });
    proc.step(106, [&] {
        delete from.takeItem(index);
        SetListIndex(from, -1);
    });
    proc.step(108, [&] { UpdateFieldButtons(); });
}

void Form3::moveSelected(QListWidget& from, QListWidget& to) {
    const int index = ListIndex(from);
    to.addItem(from.item(index)->text());
    delete from.takeItem(index);
    SetListIndex(from, -1);
    UpdateFieldButtons();
}

void Form3::moveAll(const char* procedureName, QListWidget& from, QListWidget& to) {
    Procedure proc = procedure(procedureName);
    int count = 0;
    proc.step(100, [&] { count = from.count(); });
    for (int i = 0; i < count; ++i)
        proc.step(102, [&] { to.addItem(from.item(i)->text()); });
    for (int i = count - 1; i >= 0; --i)
        proc.step(104, [&] { delete from.takeItem(i); });
    proc.step(106, [&] { UpdateFieldButtons(); });
}

void Form3::UpdateFieldButtons() {
    const bool available = List1->count() > 0;
    PushButton5->setEnabled(available);
    PushButton6->setEnabled(available);
    const bool chosen = List2->count() > 0;
    PushButton7->setEnabled(chosen);
    PushButton8->setEnabled(chosen);
    PushButton3->setEnabled(chosen);
}

void Form3::PushButton3_Click() {
    Procedure proc = procedure("PushButton3_Click");
    proc.step(100, [&] { wizard_.SelectedFields.clear(); });
    proc.step(102, [&] { wizard_.SelectedFields = BuildSelectedFields(ListItems(*List2)); });
    proc.step(104, [&] { wizard_.Show(wizard_.form4()); });
    proc.step(106, [&] { wizard_.Hide(*this); });
}

void Form3::PushButton2_Click() {
    Procedure proc = procedure("PushButton2_Click");
    proc.step(100, [&] { wizard_.Show(wizard_.form2()); });
    proc.step(102, [&] { wizard_.Hide(*this); });
}

}  // namespace qm
