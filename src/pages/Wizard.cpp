#include "Wizard.h"

#include "Form1.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "PageSupport.h"
#include "pages/Texts.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QStackedLayout>
#include <algorithm>

namespace qm {

WizardWindow::WizardWindow(ProgramLifetime& program) : program_(program), pages_(new QStackedLayout(this)) {
    setObjectName(QStringLiteral("Wizard"));
    setWindowTitle(texts::kProductName);
    setWindowIcon(ApplicationIcon());
    pages_->setContentsMargins(0, 0, 0, 0);
    // The window takes the size of the page it shows, not of the largest page.
    pages_->setSizeConstraint(QLayout::SetNoConstraint);
}

void WizardWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    program_.End();
}

Wizard::Wizard(WizardServices services)
    : services_(std::move(services)),
      errors_(services_.messages),
      window_(std::make_unique<WizardWindow>(services_.program)) {}

// The pages are children of the window and go with it.
Wizard::~Wizard() = default;

template <class Page>
Page& Wizard::page(Page*& slot) {
    if (!slot) {
        slot = new Page(*this);
        window_->pages().addWidget(slot);
        // Registered first: the load steps may refer to the page itself.
        slot->Form_Load();
    }
    return *slot;
}

Form1& Wizard::form1() {
    return page(form1_);
}
Form2& Wizard::form2() {
    return page(form2_);
}
Form3& Wizard::form3() {
    return page(form3_);
}
Form4& Wizard::form4() {
    return page(form4_);
}

bool Wizard::isLoaded(int pageNumber) const {
    const QWidget* pages[] = {form1_, form2_, form3_, form4_};
    return pageNumber >= 1 && pageNumber <= 4 && pages[pageNumber - 1] != nullptr;
}

void Wizard::Start() {
    Form1& first = form1();
    if (services_.program.hasEnded())
        return;
    if (shown_.empty())
        Show(first);
}

void Wizard::Show(QWidget& page) {
    shown_.erase(std::remove(shown_.begin(), shown_.end(), &page), shown_.end());
    shown_.emplace_back(&page);
    display(&page);
}

void Wizard::Hide(QWidget& page) {
    // Leaving page 1 hands the password to the keyring: never while it is typed.
    if (isLoaded(1) && &page == static_cast<QWidget*>(&form1()))
        services_.settings.StoreSecrets();
    const bool wasCurrent = currentPage() == &page;
    shown_.erase(std::remove(shown_.begin(), shown_.end(), &page), shown_.end());
    if (wasCurrent)
        display(shown_.empty() ? nullptr : shown_.back().data());
}

bool Wizard::isShown(const QWidget& page) const {
    return std::find(shown_.begin(), shown_.end(), &page) != shown_.end();
}

QWidget* Wizard::currentPage() const {
    return window_->isVisible() ? window_->pages().currentWidget() : nullptr;
}

void Wizard::display(QWidget* page) {
    if (!page) {
        window_->hide();
        return;
    }
    window_->pages().setCurrentWidget(page);
    window_->setWindowTitle(page->windowTitle());
    window_->setWindowIcon(page->windowIcon());
    window_->setFixedSize(page->size());
    if (!window_->isVisible())
        window_->show();
}

QString Wizard::databasePath() const {
    return const_cast<Wizard*>(this)->form1().Text1->text();
}

QString Wizard::databasePassword() const {
    return const_cast<Wizard*>(this)->form1().Text2->text();
}

}  // namespace qm
