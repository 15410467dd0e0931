#include "WizardPage.h"

#include "pages/StartUp.h"

namespace qm {

WizardPage::WizardPage(Wizard& wizard, const QString& name, int widthTwips, int heightTwips)
    : wizard_(wizard), twips_(*this), pointer_(*this) {
    setObjectName(name);
    setFixedSize(twips_.size(widthTwips, heightTwips));
}

Procedure WizardPage::procedure(const char* name) {
    return Procedure(wizard_.errors(), objectName() + QLatin1Char('.') + QString::fromLatin1(name));
}

void WizardPage::place(QWidget& control, int left, int top, int width, int height) const {
    control.setGeometry(twips_.rect(left, top, width, height));
}

}  // namespace qm
