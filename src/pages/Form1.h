#pragma once

#include "WizardPage.h"

#include <QStringList>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

// Page 1, the database: path and password, the sample database, "Next >".
// Its load steps are the program's start-up.
class Form1 : public WizardPage {
  public:
    explicit Form1(Wizard& wizard);

    QGroupBox* Frame1;           // "Access Database": groups the inputs
    QLineEdit* Text2;            // database password, shown as '*'
    QLineEdit* Text1;            // database path
    QPushButton* PushButton5;    // "...": browse for the database
    QLabel* lblPassword;         // "Password (if required):"
    QLabel* Label5;              // "MDB or ACCDB File:"
    CommonDialog CommonDialog1;  // the open dialog of "..."
    QPushButton* PushButton3;    // "Next >"
    QPushButton* PushButton1;    // "Load Sample/Example Database"

    void Form_Load();
    void ApplySkin();
    void PushButton1_Click();
    void PushButton5_Click();
    void PushButton3_Click();
    void Text1_Change();
    void Text2_Change();

    // While "Next >" fills page 2's list: the table names it read (nothing:
    // no file). Otherwise nullptr.
    const std::optional<QStringList>* tableNamesOfNext() const { return tableNamesOfNext_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const std::optional<QStringList>* tableNamesOfNext_ = nullptr;
};

}  // namespace qm
