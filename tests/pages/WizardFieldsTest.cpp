// Pages 2 and 3: choosing the table, the preview, moving fields and the
// chosen-field text, on real Access files.

#include "Fixtures.h"
#include "WizardHarness.h"
#include "export/ExportRun.h"

#include <QTest>

namespace {

using namespace qm::test;
namespace texts = qm::texts;

QString northwind() {
    return corpusFile(QStringLiteral("northwind-jet3.mdb"));
}

const QStringList kOrderDetailsFields{QStringLiteral("OrderID"), QStringLiteral("ProductID"),
                                      QStringLiteral("UnitPrice"), QStringLiteral("Quantity"),
                                      QStringLiteral("Discount")};

// The enabled state of ">", ">>", "<", "<<" and "Next >" on page 3.
QString buttonStates(qm::Form3& page) {
    QString states;
    for (QPushButton* b :
         {page.PushButton5, page.PushButton6, page.PushButton7, page.PushButton8, page.PushButton3})
        states += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

TEST(PageTwo, ATableWithABlankInItsNameIsPreviewedAndItsFieldsOffered) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.start();
    rig.openTable(northwind(), QStringLiteral("Order Details"));
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_EQ(rig.current(), &rig.page3());
    EXPECT_FALSE(rig.wizard->isShown(rig.page2()));
    EXPECT_EQ(rig.wizard->SelectedTable, QStringLiteral("Order Details"));
    EXPECT_EQ(qm::ListItems(*rig.page3().List1), kOrderDetailsFields);
    EXPECT_EQ(rig.page3().List2->count(), 0);
    EXPECT_EQ(qm::ListIndex(*rig.page3().List1), 0);
    EXPECT_EQ(buttonStates(rig.page3()), QStringLiteral("11000"));
    EXPECT_EQ(rig.page2().pointer().pointer(), qm::MousePointer::Default);
    EXPECT_EQ(rig.page3().focusWidget(), rig.page3().DataGrid1);

    QAbstractItemModel* preview = rig.page3().DataGrid1->model();
    while (preview->canFetchMore(QModelIndex()))
        preview->fetchMore(QModelIndex());
    EXPECT_EQ(preview->rowCount(), 2155);
    ASSERT_EQ(preview->columnCount(), 5);
    EXPECT_EQ(preview->headerData(0, Qt::Horizontal).toString(), QStringLiteral("OrderID"));
    EXPECT_EQ(preview->data(preview->index(0, 0)).toString(), QStringLiteral("10248"));
    // ProductID is a lookup: the preview shows the product's name, as Access does.
    EXPECT_EQ(preview->data(preview->index(0, 1)).toString(), QStringLiteral("Queso Cabrales"));
}

TEST(PageTwo, ATableWithOneFieldLeavesOnlyTheForwardButtonsEnabled) {
    WizardRig rig;
    rig.start();
    rig.openTable(edgeTables(), QStringLiteral("One Field"));
    EXPECT_EQ(qm::ListItems(*rig.page3().List1), QStringList{QStringLiteral("Only Name")});
    EXPECT_EQ(qm::ListIndex(*rig.page3().List1), 0);
    EXPECT_EQ(buttonStates(rig.page3()), QStringLiteral("11000"));
}

TEST(PageTwo, ATableNameTheQueryCannotHoldIsReportedAndPageThreeEndsEmpty) {
    WizardRig rig;
    rig.start();
    rig.openTable(edgeTables(), QStringLiteral("Odd]Name"));
    const QStringList places = reportPlaces(rig.messages.errorReports());
    ASSERT_FALSE(places.isEmpty());
    EXPECT_EQ(places.first(), QStringLiteral("Form2.PushButton3_Click at line 126"));
    EXPECT_EQ(rig.current(), &rig.page3());
    EXPECT_EQ(rig.page3().List1->count(), 0);
    EXPECT_EQ(buttonStates(rig.page3()), QStringLiteral("00000"));
    EXPECT_EQ(rig.page2().pointer().pointer(), qm::MousePointer::Default) << "the pointer comes back";
}

TEST(PageTwo, APasswordChangedOnPageOneCountsAtTheNextOpen) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.start();
    rig.page1().Text1->setText(corpusFile(QStringLiteral("V2000_with-password.mdb")));
    rig.page1().Text2->setText(QStringLiteral("password"));
    rig.page1().PushButton3->click();
    ASSERT_EQ(rig.current(), &rig.page2());
    rig.page1().Text2->setText(QStringLiteral("changed"));

    rig.page2().PushButton3->click();
    const QStringList places = reportPlaces(rig.messages.errorReports());
    ASSERT_GE(places.size(), 2);
    EXPECT_EQ(places[0], QStringLiteral("Form2.PushButton3_Click at line 112"));
    EXPECT_EQ(places[1], QStringLiteral("Form2.PushButton3_Click at line 126"));
    EXPECT_EQ(rig.wizard->SelectedTable, QStringLiteral("Table1")) << "still set";
    EXPECT_EQ(rig.current(), &rig.page3());
    EXPECT_EQ(rig.page3().List1->count(), 0);
    EXPECT_EQ(buttonStates(rig.page3()), QStringLiteral("00000"));
    EXPECT_EQ(rig.page2().pointer().pointer(), qm::MousePointer::Default);
}

TEST(PageTwo, AnotherTableReplacesFieldsAndPreviewAndTheSameTableStartsAfresh) {
    QM_REQUIRE_CORPUS();
    WizardRig rig;
    rig.start();
    rig.openTable(northwind(), QStringLiteral("Order Details"));
    rig.choose({QStringLiteral("Quantity")});
    std::weak_ptr<qm::RowSource> firstPreview = rig.page3().DataGrid1->records().source();
    ASSERT_FALSE(firstPreview.expired());

    rig.page3().PushButton2->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    WizardRig::selectItem(*rig.page2().List1, QStringLiteral("Shippers"));
    rig.page2().PushButton3->click();
    EXPECT_TRUE(firstPreview.expired()) << "the earlier preview is released when the grid is unbound";
    EXPECT_EQ(
        qm::ListItems(*rig.page3().List1),
        (QStringList{QStringLiteral("ShipperID"), QStringLiteral("CompanyName"), QStringLiteral("Phone")}));
    EXPECT_EQ(rig.page3().List2->count(), 0);
    EXPECT_EQ(rig.page3().DataGrid1->model()->rowCount(), 3);

    rig.choose({QStringLiteral("Phone")});
    rig.page3().PushButton2->click();
    rig.page2().PushButton3->click();  // Shippers again
    EXPECT_EQ(rig.page3().List2->count(), 0) << "the chosen fields are emptied even for the same table";
    EXPECT_EQ(rig.page3().List1->count(), 3);
    EXPECT_TRUE(rig.messages.shown.empty());
}

// Page 3 from here on, on Order Details of the bundled sample database (the
// same five fields as Northwind's).
class PageThree : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.start();
        rig.openTable(QStringLiteral(QM_SOURCE_DIR "/samples/sample.mdb"), QStringLiteral("Order Details"));
        ASSERT_EQ(rig.current(), &page());
    }
    qm::Form3& page() { return rig.page3(); }
    QStringList available() { return qm::ListItems(*page().List1); }
    QStringList chosen() { return qm::ListItems(*page().List2); }
    WizardRig rig;
};

TEST_F(PageThree, MovingOneFieldAppendsItAndLeavesNothingSelected) {
    rig.choose({QStringLiteral("UnitPrice")});
    EXPECT_EQ(chosen(), QStringList{QStringLiteral("UnitPrice")});
    EXPECT_EQ(available(), (QStringList{QStringLiteral("OrderID"), QStringLiteral("ProductID"),
                                        QStringLiteral("Quantity"), QStringLiteral("Discount")}));
    EXPECT_EQ(qm::ListIndex(*page().List1), -1);
    EXPECT_EQ(qm::ListIndex(*page().List2), -1);
    EXPECT_EQ(buttonStates(page()), QStringLiteral("11111"));

    // Right after a move nothing is selected: ">" asks for a field.
    page().PushButton5->click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, QStringLiteral("Please select a field first."));
    EXPECT_EQ(rig.messages.shown[0].icon, qm::MessageIcon::None);
    EXPECT_EQ(chosen(), QStringList{QStringLiteral("UnitPrice")});
    EXPECT_EQ(available().size(), 4);
}

TEST_F(PageThree, MovingBackPutsTheFieldAtTheEndNotAtItsOldPlace) {
    rig.choose({QStringLiteral("OrderID")});
    WizardRig::selectItem(*page().List2, QStringLiteral("OrderID"));
    page().PushButton7->click();
    EXPECT_EQ(available().last(), QStringLiteral("OrderID"));
    EXPECT_EQ(chosen(), QStringList());
    EXPECT_EQ(buttonStates(page()), QStringLiteral("11000"));
    // "<" without a selection in the chosen list.
    page().PushButton7->setEnabled(true);
    page().PushButton7->click();
    EXPECT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(available().size(), 5);
}

TEST_F(PageThree, MovingAllAppendsInListOrderAfterWhatIsThere) {
    rig.choose({QStringLiteral("Discount"), QStringLiteral("OrderID")});
    page().PushButton6->click();
    EXPECT_EQ(chosen(),
              (QStringList{QStringLiteral("Discount"), QStringLiteral("OrderID"), QStringLiteral("ProductID"),
                           QStringLiteral("UnitPrice"), QStringLiteral("Quantity")}));
    EXPECT_TRUE(available().isEmpty());
    EXPECT_EQ(buttonStates(page()), QStringLiteral("00111"));

    page().PushButton8->click();
    EXPECT_TRUE(chosen().isEmpty());
    EXPECT_EQ(available().size(), 5);
    EXPECT_EQ(available().first(), QStringLiteral("Discount"));
    EXPECT_EQ(buttonStates(page()), QStringLiteral("11000"));
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(PageThree, MovingTheLastAvailableFieldDisablesTheForwardButtons) {
    rig.choose(kOrderDetailsFields);
    EXPECT_EQ(chosen(), kOrderDetailsFields);
    EXPECT_EQ(buttonStates(page()), QStringLiteral("00111"));
}

// A double-click as a mouse gives it: press and release, then the double-click.
void doubleClick(QListWidget& list, const QPoint& at) {
    QCoreApplication::processEvents();  // lists lay their items out late
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

TEST_F(PageThree, DoubleClicksMoveTheClickedFieldEitherWay) {
    QListWidget& list1 = *page().List1;
    QCoreApplication::processEvents();
    doubleClick(list1, list1.visualItemRect(list1.item(1)).center());
    EXPECT_EQ(chosen(), QStringList{QStringLiteral("ProductID")});
    EXPECT_EQ(buttonStates(page()), QStringLiteral("11111"));

    QListWidget& list2 = *page().List2;
    doubleClick(list2, list2.visualItemRect(list2.item(0)).center());
    EXPECT_TRUE(chosen().isEmpty());
    EXPECT_EQ(available().last(), QStringLiteral("ProductID"));

    // On the empty part of a list: nothing moves, nothing is asked.
    doubleClick(list2, QPoint(5, list2.viewport()->height() - 5));
    page().List2_DblClick();
    EXPECT_EQ(available().size(), 5);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(PageThree, TheChosenFieldsBecomeBackQuotedNamesInTheirOrder) {
    rig.choose({QStringLiteral("Quantity"), QStringLiteral("OrderID")});
    page().PushButton3->click();
    EXPECT_EQ(rig.wizard->SelectedFields, QStringLiteral("`Quantity`, `OrderID`"));
    EXPECT_EQ(rig.current(), &rig.page4());
    EXPECT_FALSE(rig.wizard->isShown(page()));

    // Back, change the choice, forward: built from the current list only.
    rig.page4().PushButton2->click();
    page().PushButton8->click();
    rig.choose({QStringLiteral("Discount")});
    page().PushButton3->click();
    EXPECT_EQ(rig.wizard->SelectedFields, QStringLiteral("`Discount`"));
}

TEST_F(PageThree, BackFromPageFourKeepsTheListsAndSelectsTheFirstAvailableField) {
    rig.choose({QStringLiteral("UnitPrice"), QStringLiteral("OrderID")});
    page().PushButton3->click();
    ASSERT_EQ(rig.current(), &rig.page4());
    rig.page4().PushButton2->click();
    EXPECT_EQ(rig.current(), &page());
    EXPECT_FALSE(rig.wizard->isShown(rig.page4()));
    EXPECT_EQ(chosen(), (QStringList{QStringLiteral("UnitPrice"), QStringLiteral("OrderID")}));
    EXPECT_EQ(available(), (QStringList{QStringLiteral("ProductID"), QStringLiteral("Quantity"),
                                        QStringLiteral("Discount")}));
    EXPECT_EQ(qm::ListIndex(*page().List1), 0);
    EXPECT_EQ(buttonStates(page()), QStringLiteral("11111"));
    EXPECT_EQ(page().focusWidget(), page().DataGrid1);
    EXPECT_EQ(page().DataGrid1->model()->columnCount(), 5) << "the preview keeps every column";
}

TEST_F(PageThree, BackToPageTwoKeepsItsListAndSelection) {
    page().PushButton2->click();
    EXPECT_EQ(rig.current(), &rig.page2());
    EXPECT_EQ(rig.page2().List1->item(qm::ListIndex(*rig.page2().List1))->text(),
              QStringLiteral("Order Details"));
}

TEST(PageThreeNames, ANameWithBlanksPassesUnchangedBetweenItsBackQuotes) {
    WizardRig rig;
    rig.start();
    rig.openTable(edgeTables(), QStringLiteral("Prices"));
    rig.choose({QStringLiteral("Unit Price"), QStringLiteral("Name")});
    rig.page3().PushButton3->click();
    EXPECT_EQ(rig.wizard->SelectedFields, QStringLiteral("`Unit Price`, `Name`"));
}

}  // namespace
