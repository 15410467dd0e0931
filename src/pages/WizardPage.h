#pragma once

#include "PageSupport.h"
#include "Wizard.h"
#include "shell/ErrorReport.h"

#include <QWidget>

namespace qm {

// What the four pages share: the wizard they belong to, their designed client
// size and their mouse pointer.
class WizardPage : public QWidget {
  public:
    // The page's mouse pointer (MousePointer, MouseIcon) and the hover rule that sets it.
    PointerRule& pointer() { return pointer_; }

  protected:
    WizardPage(Wizard& wizard, const QString& name, int widthTwips, int heightTwips);

    // A procedure whose failures are reported as "<page>.<procedure>".
    Procedure procedure(const char* name);

    // The designed place of a control, in twips within its parent.
    void place(QWidget& control, int left, int top, int width, int height) const;

    Wizard& wizard_;
    Twips twips_;

  private:
    PointerRule pointer_;
};

}  // namespace qm
