#pragma once
// A vertical panel of collapsible categories, each a coloured header with a column of buttons.
//
// Buttons are as wide as the panel, filled with a vertical gradient, with an optional 16 x 16
// icon, a bold caption and a hint (tool tip); a button without a click handler is drawn
// greyed, as disabled. After the panel has painted a button it calls the
// after-draw callback, which may paint over it (the main window draws font samples there). A
// click on a header collapses or expands its category; a click on a button runs its handler.
// Categories and buttons are addressed by their indexes (category i, item j), so a handler can
// change a caption later.
//
// The panel never takes the keyboard focus: a click on it leaves the focus with the widget that
// had it, so an editor beside the panel keeps its keys.

#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QMenu;

class CategoryButtons : public QWidget {
    Q_OBJECT
public:
    using ClickFn = std::function<void()>;
    // Called after button (category, item) has been painted into `rect`; `hot` marks the
    // button under the mouse.
    using AfterDrawFn =
        std::function<void(QPainter& painter, int category, int item, const QRect& rect, bool hot)>;

    explicit CategoryButtons(QWidget* parent = nullptr);

    // Appends a category; returns its index. `colour` fills the header, fading into
    // `gradientColour` towards the right.
    int AddCategory(const QString& caption, const QColor& colour, const QColor& gradientColour);
    // Appends a button to category `category`; returns its item index, or -1 for an unknown
    // category. `icon` may be null (no icon).
    int AddButton(int category, const QString& caption, const QIcon& icon = {},
                  const QString& hint = {}, ClickFn onClick = {});

    int CategoryCount() const { return static_cast<int>(categories_.size()); }
    int ItemCount(int category) const;
    // The index of the category with caption `caption`, or -1.
    int FindCategory(const QString& caption) const;

    QString CategoryCaption(int category) const;
    QString Caption(int category, int item) const;
    QString Hint(int category, int item) const;
    // Changes the caption of button (category, item) and repaints it; unknown indexes are
    // ignored.
    void SetCaption(int category, int item, const QString& caption);

    bool Collapsed(int category) const;
    void SetCollapsed(int category, bool collapsed);

    // Runs the click handler of button (category, item) as a click does; false when there is
    // no such button.
    bool Click(int category, int item);

    // Where button (category, item) is drawn; an empty rectangle when it is hidden or unknown.
    QRect ButtonRect(int category, int item) const;
    QRect HeaderRect(int category) const;

    void SetAfterDraw(AfterDrawFn fn) { afterDraw_ = std::move(fn); }

    // The pop-up menu offered when button (category, item) is right-clicked (or its context
    // menu is asked for from the keyboard); null removes it. The menu is not owned and may be
    // shared by several buttons. Unknown indexes are ignored.
    void SetContextMenu(int category, int item, QMenu* menu);
    QMenu* ContextMenu(int category, int item) const;

    // Button colours: normal fill and the fill under the mouse.
    void SetButtonColours(const QColor& normal, const QColor& selected);
    // Panel background gradient, top to bottom.
    void SetBackground(const QColor& top, const QColor& bottom);

    // The height all expanded content needs.
    int ContentHeight() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Button {
        QString caption;
        QIcon icon;
        QString hint;
        ClickFn onClick;
        QPointer<QMenu> menu;
    };
    struct Category {
        QString caption;
        QColor colour;
        QColor gradient;
        bool collapsed = false;
        std::vector<Button> buttons;
    };
    // What lies under a point: a header (item -1), a button, or nothing (category -1).
    struct Hit {
        int category = -1;
        int item = -1;
    };

    Hit HitAt(const QPoint& pos) const;
    void ContentChanged();
    void PaintHeader(QPainter& p, const Category& c, const QRect& r) const;
    void PaintButton(QPainter& p, const Button& b, const QRect& r, bool hot) const;

    std::vector<Category> categories_;
    AfterDrawFn afterDraw_;
    QColor normal_{242, 242, 242};
    QColor selected_{214, 213, 217};
    QColor backTop_{200, 200, 200};
    QColor backBottom_{150, 150, 150};
    int headerHeight_ = 20;
    int buttonHeight_ = 24;
    Hit hot_;
    Hit pressed_;
};
