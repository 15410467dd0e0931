#include "PageSupport.h"

#include "pages/StartUp.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

namespace qm {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr const char* kPointerProperty = "qm_pointer";

}  // namespace

Twips::Twips(const QWidget& page) : dpi_(page.logicalDpiY()) {}

int Twips::px(int twips) const {
    return qRound(twips * dpi_ / kTwipsPerInch);
}

QRect Twips::rect(int left, int top, int width, int height) const {
    // Edges are converted, not sizes, so neighbouring controls stay flush.
    const int x = px(left), y = px(top);
    return QRect(x, y, px(left + width) - x, px(top + height) - y);
}

QSize Twips::size(int width, int height) const {
    return QSize(px(width), px(height));
}

QFont ArialFont(double pointSize, bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

PointerRule::PointerRule(QWidget& page) : QObject(&page), page_(page) {}

void PointerRule::loadCustomImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("File not found: %1").arg(path), 53);
    const QByteArray bytes = file.readAll();
    QPixmap image;
    if (!image.loadFromData(bytes) && !image.loadFromData(bytes, "ICO"))
        throw Failure(QStringLiteral("Invalid picture"), 481);
    const QPoint hotspot = CursorHotspot(bytes).value_or(QPoint(image.width() / 2, image.height() / 2));
    custom_ = QCursor(image, hotspot.x(), hotspot.y());
    if (pointer_ == MousePointer::Custom)
        setPointer(MousePointer::Custom);
}

void PointerRule::setPointer(MousePointer pointer) {
    pointer_ = pointer;
    switch (pointer) {
        case MousePointer::Default:
            page_.unsetCursor();
            break;
        case MousePointer::Busy:
            page_.setCursor(Qt::WaitCursor);
            break;
        case MousePointer::Custom:
            page_.setCursor(custom_ ? *custom_ : QCursor(Qt::PointingHandCursor));
            break;
    }
}

Qt::CursorShape PointerRule::shape() const {
    return page_.cursor().shape();
}

void PointerRule::customOver(std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets)
        watch(widget, MousePointer::Custom);
}

void PointerRule::defaultOver(std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets)
        watch(widget, MousePointer::Default);
}

void PointerRule::watch(QWidget* widget, MousePointer pointer) {
    QList<QWidget*> targets{widget};
    // A list's or grid's mouse events arrive at its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        targets << area->viewport();
    for (QWidget* target : targets) {
        target->setProperty(kPointerProperty, static_cast<int>(pointer));
        target->setMouseTracking(true);
        target->installEventFilter(this);
    }
}

bool PointerRule::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        const QVariant wanted = watched->property(kPointerProperty);
        if (wanted.isValid() && pointer_ != MousePointer::Busy && !overWatchedChild(watched, event))
            setPointer(static_cast<MousePointer>(wanted.toInt()));
    }
    return QObject::eventFilter(watched, event);
}

bool PointerRule::overWatchedChild(QObject* watched, QEvent* event) {
    // A move that a push button does not take goes on to the widgets around
    // it, the page included: the pointer follows the innermost watched widget
    // under the mouse, not the last one the move reached.
    auto* widget = qobject_cast<QWidget*>(watched);
    const auto* located = dynamic_cast<const QSinglePointEvent*>(event);
    if (!widget || !located)
        return false;
    QWidget* under = widget->childAt(located->position().toPoint());
    while (under && under != widget && !under->property(kPointerProperty).isValid())
        under = under->parentWidget();
    return under && under != widget;
}

void NormalizeFormColors(QWidget& page) {
    page.setBackgroundRole(QPalette::Button);
    page.setAutoFillBackground(true);
    // The controls take the same colour role but stay transparent, so the
    // style's frame shading shows through them unchanged.
    for (QWidget* child : page.findChildren<QWidget*>()) {
        if (qobject_cast<QCheckBox*>(child) || qobject_cast<QRadioButton*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            child->setBackgroundRole(QPalette::Button);
    }
}

namespace {

// A sheet with a folded corner and lines of text, fed by a database drum.
QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;
    p.scale(s, s);

    // The sheet.
    QPainterPath sheet;
    sheet.moveTo(9, 2);
    sheet.lineTo(23, 2);
    sheet.lineTo(29, 8);
    sheet.lineTo(29, 30);
    sheet.lineTo(9, 30);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x2b, 0x57, 0x9a), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(23, 2);
    fold.lineTo(23, 8);
    fold.lineTo(29, 8);
    p.setBrush(QColor(0xd6, 0xe4, 0xf5));
    p.drawPath(fold);
    p.setPen(QPen(QColor(0x2b, 0x57, 0x9a), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int y : {12, 16, 20, 24})
        p.drawLine(QPointF(13, y), QPointF(y == 24 ? 21 : 25, y));

    // The drum.
    const QColor drum(0xa4, 0x37, 0x3a);
    p.setPen(QPen(drum.darker(130), 1));
    p.setBrush(drum);
    p.drawRect(QRectF(2, 17, 11, 10));
    p.drawEllipse(QRectF(2, 24, 11, 5));
    p.setBrush(drum.lighter(140));
    p.drawEllipse(QRectF(2, 14.5, 11, 5));
    return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}

int ListIndex(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

void SetListIndex(QListWidget& list, int row) {
    if (row < 0) {
        list.clearSelection();
        list.setCurrentRow(-1);
        return;
    }
    list.setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QStringList ListItems(const QListWidget& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items << list.item(i)->text();
    return items;
}

void ListBoxTableList::clear() {
    list_.clear();
}
void ListBoxTableList::addItem(const QString& text) {
    list_.addItem(text);
}
int ListBoxTableList::count() const {
    return list_.count();
}
void ListBoxTableList::setCurrentIndex(int index) {
    SetListIndex(list_, index);
}

}  // namespace qm
