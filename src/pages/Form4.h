#pragma once

#include "WizardPage.h"
#include "export/document/TextSpool.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace qm {

// Page 4, the output: file name, separator, header line, lines or a table;
// "Finish" runs the export and then reads "Exit".
class Form4 : public WizardPage {
  public:
    explicit Form4(Wizard& wizard);

    QGroupBox* Frame1;           // "Output Filename"
    QLineEdit* Text1;            // output path, passed to the engine as typed
    QPushButton* PushButton3;    // "...": browse for the output file
    CommonDialog CommonDialog1;  // the save dialog of "..."
    QGroupBox* Frame2;           // "Each field (column) will be separated by"
    QLineEdit* Text2;            // separator between field values
    QGroupBox* Frame3;           // "First Line Option"
    QCheckBox* Check6;           // header line of field names (the header row of a table)
    QGroupBox* Frame4;           // "Records as"
    QRadioButton* Option1;       // "Lines": a paragraph per record, values joined by the separator
    QRadioButton* Option2;       // "A table": a row per record, a cell per value
    QPushButton* PushButton2;    // "< Back": to page 3
    QPushButton* PushButton4;    // "Finish", "Exit" once a document was written
    QProgressBar* ProgressBar1;  // records done of the record count

    void Form_Load();
    void PushButton3_Click();
    void PushButton2_Click();
    void PushButton4_Click();
    void Text1_Change();
    void Option_Click();

    // What the option buttons ask for.
    DocumentLayout layout() const;

    // True while "Finish" is running.
    bool isExporting() const { return exporting_; }

  private:
    bool exporting_ = false;
};

}  // namespace qm
