#pragma once

#include "WizardPage.h"

class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

namespace qm {

class DataGrid;

// Page 3, the fields: a preview of the table and two lists, the fields still
// available and the chosen ones in output order.
class Form3 : public WizardPage {
  public:
    explicit Form3(Wizard& wizard);

    QLabel* Label2;            // " Preview:"
    DataGrid* DataGrid1;       // preview of the chosen table
    QLabel* Label1;            // " Which fields would you like to import into Word?"
    QListWidget* List1;        // fields still available
    QPushButton* PushButton5;  // ">": move the selected field to the chosen ones
    QPushButton* PushButton6;  // ">>": move every field to the chosen ones
    QPushButton* PushButton7;  // "<": move the selected chosen field back
    QPushButton* PushButton8;  // "<<": move every chosen field back
    QListWidget* List2;        // chosen fields, in output order
    QFrame* Line1;             // separator above the navigation buttons
    QPushButton* PushButton2;  // "< Back": to page 2
    QPushButton* PushButton3;  // "Next >": build the chosen fields, to page 4

    void Form_Load();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void List1_DblClick();
    void List2_DblClick();
    void PushButton3_Click();
    void PushButton2_Click();
    // ">" and ">>" enabled exactly when List1 has items; "<", "<<" and
    // "Next >" exactly when List2 has.
    void UpdateFieldButtons();

  private:
    void moveSelectedChecked(const char* procedureName, QListWidget& from, QListWidget& to);
    void moveSelected(QListWidget& from, QListWidget& to);
    void moveAll(const char* procedureName, QListWidget& from, QListWidget& to);
};

}  // namespace qm
