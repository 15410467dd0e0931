#include "Form2.h"

#include "DataGrid.h"
#include "Form1.h"
#include "Form3.h"
#include "database/Ado.h"
#include "database/Catalogue.h"
#include "database/QueryText.h"
#include "pages/StartUp.h"
#include "pages/Texts.h"
#include "shell/FileSystem.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

namespace qm {

namespace {

constexpr double kListPoints = 9;
constexpr double kButtonPoints = 11.25;

}  // namespace

Form2::Form2(Wizard& wizard)
    : WizardPage(wizard, QStringLiteral("Form2"), 8040, 2685),
      Frame1(new QGroupBox(texts::kForm2Frame, this)),
      List1(new QListWidget(Frame1)),
      PushButton2(new QPushButton(texts::kBack, this)),
      PushButton3(new QPushButton(texts::kNext, this)) {
    Frame1->setObjectName(QStringLiteral("Frame1"));
    List1->setObjectName(QStringLiteral("List1"));
    PushButton2->setObjectName(QStringLiteral("PushButton2"));
    PushButton3->setObjectName(QStringLiteral("PushButton3"));

    Frame1->setFont(ArialFont(kListPoints, true));
    List1->setFont(ArialFont(kListPoints, true));
    PushButton2->setFont(ArialFont(kButtonPoints, true));
    PushButton3->setFont(ArialFont(kButtonPoints, true));
    place(*Frame1, 120, 120, 7800, 1935);
    place(*List1, 240, 300, 7320, 1410);
    place(*PushButton2, 120, 2170, 3840, 405);
    place(*PushButton3, 4080, 2175, 3840, 405);

    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSortingEnabled(false);
    setTabOrder(List1, PushButton2);
    setTabOrder(PushButton2, PushButton3);

    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    pointer().customOver({PushButton2, PushButton3});
    pointer().defaultOver({this, List1, Frame1});
}

void Form2::Form_Load() {
    const WizardServices& services = wizard_.services();
    Procedure proc = procedure("Form_Load");
    proc.step(102, [&] { NormalizeFormColors(*this); });
    proc.step(104, [&] { setWindowIcon(ApplicationIcon()); });
    if (proc.condition(106, [&] { return FileExists(HandCursorPath(services.appDirectory)); }))
        proc.step(108, [&] { pointer().loadCustomImage(HandCursorPath(services.appDirectory)); });
    proc.step(110, [&] { setWindowTitle(texts::kProductName); });
    proc.step(112, [&] {
        ListBoxTableList list(*List1);
        // Made by page 1's "Next >": the names it has just read.
        if (const std::optional<QStringList>* names = wizard_.form1().tableNamesOfNext())
            AddTablesToAccessListbox(list, *names, wizard_.errors());
        else
            AddTablesToAccessListbox(list, wizard_.databasePath(), wizard_.databasePassword(), wizard_,
                                     wizard_.errors());
    });
    proc.step(116, [&] { pointer().setPointer(MousePointer::Default); });
}

void Form2::PushButton2_Click() {
    Procedure proc = procedure("PushButton2_Click");
    proc.step(100, [&] { wizard_.Show(wizard_.form1()); });
    proc.step(102, [&] { wizard_.Hide(*this); });
}

void Form2::PushButton3_Click() {
    Procedure proc = procedure("PushButton3_Click");
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Recordset> records;
    proc.step(100, [&] { connection = std::make_unique<Connection>(); });
    proc.step(102, [&] { records = std::make_unique<Recordset>(); });
    if (proc.condition(106, [&] { return ListIndex(*List1) == -1; })) {
        wizard_.services().messages.message(texts::kPleaseSelectTable);
        return;
    }
    proc.step(108, [&] { pointer().setPointer(MousePointer::Busy); });
    proc.step(110, [&] { need(connection).setMode(adModeReadWrite); });
    proc.step(112, [&] { need(connection).Open(BuildConnectionString(wizard_), wizard_.databaseSession()); });
    proc.step(114, [&] { wizard_.SelectedTable = List1->item(ListIndex(*List1))->text(); });
    proc.step(116, [&] { wizard_.Show(wizard_.form3()); });
    proc.step(118, [&] { wizard_.form3().List1->clear(); });
    proc.step(120, [&] { wizard_.form3().List2->clear(); });
    // Unbinding releases the previous preview's record set and connection.
    proc.step(122, [&] { wizard_.form3().DataGrid1->setDataSource(nullptr); });
    proc.step(124, [&] { need(connection).setCursorLocation(adUseClient); });
    proc.step(126, [&] {
        need(records).Open(WholeTableQuery(wizard_.SelectedTable), need(connection), adOpenDynamic,
                           adLockOptimistic);
    });
    proc.step(128, [&] { wizard_.form3().DataGrid1->setDataSource(need(records).DataSource()); });
    int fieldCount = 0;
    proc.step(130, [&] { fieldCount = need(records).fieldCount(); });
    for (int i = 0; i < fieldCount; ++i) {
        // Repaints only: a click cannot start another procedure in the middle of this one.
        proc.step(132, [&] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
        proc.step(134, [&] { wizard_.form3().List1->addItem(need(records).fieldName(i)); });
    }
    proc.step(144, [&] { wizard_.form3().UpdateFieldButtons(); });
    if (proc.condition(168, [&] { return wizard_.form3().List1->count() > 0; }))
        proc.step(168, [&] { SetListIndex(*wizard_.form3().List1, 0); });
    proc.step(170, [&] { wizard_.form3().DataGrid1->setFocus(); });
    proc.step(174, [&] { wizard_.Hide(*this); });
    proc.step(176, [&] { pointer().setPointer(MousePointer::Default); });
}

}  // namespace qm
