#pragma once

#include "WizardPage.h"

class QGroupBox;
class QListWidget;
class QPushButton;

namespace qm {

// Page 2, the table: lists the database's tables; "Next >" previews the
// chosen one on page 3 and offers its fields there.
class Form2 : public WizardPage {
  public:
    explicit Form2(Wizard& wizard);

    QGroupBox* Frame1;         // "Which table do you want to import into Word?"
    QListWidget* List1;        // one entry per table, in catalogue order
    QPushButton* PushButton2;  // "< Back": to page 1
    QPushButton* PushButton3;  // "Next >": to page 3

    void Form_Load();
    void PushButton2_Click();
    void PushButton3_Click();
};

}  // namespace qm
