#pragma once

// What every page uses: designed places in twips, fonts, the mouse-pointer
// rule, the colour normalisation, the application icon and list-box helpers.

#include "database/Catalogue.h"
#include "shell/Failure.h"

#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QObject>
#include <QRect>
#include <initializer_list>
#include <memory>
#include <optional>

class QListWidget;
class QWidget;

namespace qm {

// Places are designed in twips (1/1440 inch); the screen's logical DPI turns
// them into pixels, so the pages keep their proportions at any scale.
class Twips {
  public:
    explicit Twips(const QWidget& page);
    int px(int twips) const;
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const;

  private:
    double dpi_;
};

// Arial (or its metric twin on systems without it) at the given size.
QFont ArialFont(double pointSize, bool bold = false);

// The page's mouse-pointer values.
enum class MousePointer { Default = 0, Busy = 11, Custom = 99 };

// The pointer rule: moving over a push button shows the custom pointer, moving
// over the page or its frames, boxes and lists shows the default one; neither
// replaces the busy pointer. The custom pointer is the image of HAND-M.CUR
// when it was loaded, the system's pointing hand otherwise.
class PointerRule : public QObject {
  public:
    explicit PointerRule(QWidget& page);

    // MouseIcon: loads a cursor file. Throws Failure when it is no picture.
    void loadCustomImage(const QString& path);
    bool hasCustomImage() const { return custom_.has_value(); }

    // MousePointer.
    void setPointer(MousePointer pointer);
    MousePointer pointer() const { return pointer_; }
    // What the page shows at the moment.
    Qt::CursorShape shape() const;

    void customOver(std::initializer_list<QWidget*> widgets);
    void defaultOver(std::initializer_list<QWidget*> widgets);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void watch(QWidget* widget, MousePointer pointer);
    static bool overWatchedChild(QObject* watched, QEvent* event);

    QWidget& page_;
    MousePointer pointer_ = MousePointer::Default;
    std::optional<QCursor> custom_;
};

// Sets the page's background, and that of its check boxes, option buttons,
// frames and labels, to the system button-face colour of the current palette.
void NormalizeFormColors(QWidget& page);

// The icon every page shows.
QIcon ApplicationIcon();

// ListIndex of a single-selection list box: the selected row, or -1.
int ListIndex(const QListWidget& list);
// Sets ListIndex: selects the row (-1 clears the selection and current row).
void SetListIndex(QListWidget& list, int row);
QStringList ListItems(const QListWidget& list);

// A list box seen as the catalogue's table list.
class ListBoxTableList : public TableList {
  public:
    explicit ListBoxTableList(QListWidget& list) : list_(list) {}
    void clear() override;
    void addItem(const QString& text) override;
    int count() const override;
    void setCurrentIndex(int index) override;

  private:
    QListWidget& list_;
};

}  // namespace qm
