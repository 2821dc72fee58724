#include "app/widgets/CategoryButtons.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

CategoryButtons::CategoryButtons(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int CategoryButtons::AddCategory(const QString& caption, const QColor& colour,
                                 const QColor& gradientColour) {
    categories_.push_back(Category{caption, colour, gradientColour, false, {}});
    ContentChanged();
    return CategoryCount() - 1;
}

int CategoryButtons::AddButton(int category, const QString& caption, const QIcon& icon,
                               const QString& hint, ClickFn onClick) {
    if (category < 0 || category >= CategoryCount()) {
        return -1;
    }
    auto& buttons = categories_[static_cast<std::size_t>(category)].buttons;
    buttons.push_back(Button{caption, icon, hint, std::move(onClick), {}});
    ContentChanged();
    return static_cast<int>(buttons.size()) - 1;
}

int CategoryButtons::ItemCount(int category) const {
    if (category < 0 || category >= CategoryCount()) {
        return 0;
    }
    return static_cast<int>(categories_[static_cast<std::size_t>(category)].buttons.size());
}

int CategoryButtons::FindCategory(const QString& caption) const {
    for (int i = 0; i < CategoryCount(); ++i) {
        if (categories_[static_cast<std::size_t>(i)].caption == caption) {
            return i;
        }
    }
    return -1;
}

QString CategoryButtons::CategoryCaption(int category) const {
    if (category < 0 || category >= CategoryCount()) {
        return {};
    }
    return categories_[static_cast<std::size_t>(category)].caption;
}

QString CategoryButtons::Caption(int category, int item) const {
    if (item < 0 || item >= ItemCount(category)) {
        return {};
    }
    return categories_[static_cast<std::size_t>(category)]
        .buttons[static_cast<std::size_t>(item)]
        .caption;
}

QString CategoryButtons::Hint(int category, int item) const {
    if (item < 0 || item >= ItemCount(category)) {
        return {};
    }
    return categories_[static_cast<std::size_t>(category)]
        .buttons[static_cast<std::size_t>(item)]
        .hint;
}

void CategoryButtons::SetCaption(int category, int item, const QString& caption) {
    if (item < 0 || item >= ItemCount(category)) {
        return;
    }
    categories_[static_cast<std::size_t>(category)]
        .buttons[static_cast<std::size_t>(item)]
        .caption = caption;
    update(ButtonRect(category, item));
}

bool CategoryButtons::Collapsed(int category) const {
    return category >= 0 && category < CategoryCount() &&
           categories_[static_cast<std::size_t>(category)].collapsed;
}

void CategoryButtons::SetCollapsed(int category, bool collapsed) {
    if (category < 0 || category >= CategoryCount()) {
        return;
    }
    categories_[static_cast<std::size_t>(category)].collapsed = collapsed;
    ContentChanged();
}

bool CategoryButtons::Click(int category, int item) {
    if (item < 0 || item >= ItemCount(category)) {
        return false;
    }
    // Copy the handler: it may change the panel (captions) while it runs.
    const ClickFn fn = categories_[static_cast<std::size_t>(category)]
                           .buttons[static_cast<std::size_t>(item)]
                           .onClick;
    if (fn) {
        fn();
    }
    return true;
}

void CategoryButtons::SetContextMenu(int category, int item, QMenu* menu) {
    if (item < 0 || item >= ItemCount(category)) {
        return;
    }
    categories_[static_cast<std::size_t>(category)].buttons[static_cast<std::size_t>(item)].menu =
        menu;
}

QMenu* CategoryButtons::ContextMenu(int category, int item) const {
    if (item < 0 || item >= ItemCount(category)) {
        return nullptr;
    }
    return categories_[static_cast<std::size_t>(category)]
        .buttons[static_cast<std::size_t>(item)]
        .menu;
}

void CategoryButtons::SetButtonColours(const QColor& normal, const QColor& selected) {
    normal_ = normal;
    selected_ = selected;
    update();
}

void CategoryButtons::SetBackground(const QColor& top, const QColor& bottom) {
    backTop_ = top;
    backBottom_ = bottom;
    update();
}

int CategoryButtons::ContentHeight() const {
    int h = 0;
    for (const auto& c : categories_) {
        h += headerHeight_;
        if (!c.collapsed) {
            h += buttonHeight_ * static_cast<int>(c.buttons.size());
        }
    }
    return h;
}

QSize CategoryButtons::sizeHint() const {
    return {160, ContentHeight()};
}

QSize CategoryButtons::minimumSizeHint() const {
    return {60, ContentHeight()};
}

QRect CategoryButtons::HeaderRect(int category) const {
    if (category < 0 || category >= CategoryCount()) {
        return {};
    }
    int y = 0;
    for (int i = 0; i < category; ++i) {
        const auto& c = categories_[static_cast<std::size_t>(i)];
        y += headerHeight_ + (c.collapsed ? 0 : buttonHeight_ * static_cast<int>(c.buttons.size()));
    }
    return {0, y, width(), headerHeight_};
}

QRect CategoryButtons::ButtonRect(int category, int item) const {
    if (item < 0 || item >= ItemCount(category) || Collapsed(category)) {
        return {};
    }
    const QRect header = HeaderRect(category);
    return {0, header.bottom() + 1 + item * buttonHeight_, width(), buttonHeight_};
}

CategoryButtons::Hit CategoryButtons::HitAt(const QPoint& pos) const {
    if (pos.x() < 0 || pos.x() >= width()) {
        return {};
    }
    int y = 0;
    for (int i = 0; i < CategoryCount(); ++i) {
        const auto& c = categories_[static_cast<std::size_t>(i)];
        if (pos.y() >= y && pos.y() < y + headerHeight_) {
            return {i, -1};
        }
        y += headerHeight_;
        if (c.collapsed) {
            continue;
        }
        const int n = static_cast<int>(c.buttons.size());
        if (pos.y() >= y && pos.y() < y + n * buttonHeight_) {
            return {i, (pos.y() - y) / buttonHeight_};
        }
        y += n * buttonHeight_;
    }
    return {};
}

void CategoryButtons::ContentChanged() {
    updateGeometry();
    setMinimumHeight(ContentHeight());
    update();
}

void CategoryButtons::PaintHeader(QPainter& p, const Category& c, const QRect& r) const {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0.0, c.colour);
    g.setColorAt(1.0, c.gradient);
    p.fillRect(r, g);
    // The collapse sign: a boxed minus, with a vertical bar when collapsed (plus).
    const QRect box(r.left() + 4, r.top() + (r.height() - 9) / 2, 8, 8);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(box);
    p.drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
    if (c.collapsed) {
        p.drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
    }
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.drawText(r.adjusted(18, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, c.caption);
}

void CategoryButtons::PaintButton(QPainter& p, const Button& b, const QRect& r, bool hot) const {
    const QColor base = hot ? selected_ : normal_;
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, base.lighter(106));
    g.setColorAt(1.0, base.darker(108));
    const QRect face = r.adjusted(1, 1, -1, -1);
    p.fillRect(face, g);
    p.setPen(base.darker(130));
    p.setBrush(Qt::NoBrush);
    p.drawRect(face.adjusted(0, 0, -1, -1));
    int textLeft = face.left() + 6;
    if (!b.icon.isNull()) {
        const QRect iconRect(face.left() + 4, face.top() + (face.height() - 16) / 2, 16, 16);
        b.icon.paint(&p, iconRect, Qt::AlignCenter, b.onClick ? QIcon::Normal : QIcon::Disabled);
        textLeft = iconRect.right() + 6;
    }
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    // A button without a handler does nothing: it looks disabled, so nobody clicks it and waits.
    p.setPen(b.onClick ? QColor(Qt::black) : QColor(128, 128, 128));
    p.drawText(QRect(textLeft, face.top(), face.right() - textLeft - 2, face.height()),
               Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, b.caption);
}

void CategoryButtons::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient back(0, 0, 0, height());
    back.setColorAt(0.0, backTop_);
    back.setColorAt(1.0, backBottom_);
    p.fillRect(rect(), back);
    for (int i = 0; i < CategoryCount(); ++i) {
        const auto& c = categories_[static_cast<std::size_t>(i)];
        PaintHeader(p, c, HeaderRect(i));
        if (c.collapsed) {
            continue;
        }
        for (int j = 0; j < static_cast<int>(c.buttons.size()); ++j) {
            const QRect r = ButtonRect(i, j);
            const bool hot = hot_.category == i && hot_.item == j;
            p.save();
            PaintButton(p, c.buttons[static_cast<std::size_t>(j)], r, hot);
            p.restore();
            if (afterDraw_) {
                p.save();
                afterDraw_(p, i, j, r, hot);
                p.restore();
            }
        }
    }
}

void CategoryButtons::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = HitAt(event->position().toPoint());
    }
}

void CategoryButtons::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const Hit hit = HitAt(event->position().toPoint());
    const Hit pressed = pressed_;
    pressed_ = {};
    if (hit.category < 0 || hit.category != pressed.category || hit.item != pressed.item) {
        return;
    }
    if (hit.item < 0) {
        SetCollapsed(hit.category, !Collapsed(hit.category));
    } else {
        Click(hit.category, hit.item);
    }
}

void CategoryButtons::mouseMoveEvent(QMouseEvent* event) {
    Hit hit = HitAt(event->position().toPoint());
    if (hit.item < 0) {
        hit = {};
    }
    if (hit.category != hot_.category || hit.item != hot_.item) {
        update(ButtonRect(hot_.category, hot_.item));
        hot_ = hit;
        update(ButtonRect(hot_.category, hot_.item));
    }
}

void CategoryButtons::leaveEvent(QEvent*) {
    update(ButtonRect(hot_.category, hot_.item));
    hot_ = {};
}

void CategoryButtons::contextMenuEvent(QContextMenuEvent* event) {
    const Hit hit = HitAt(event->pos());
    // A collapsed category's buttons are not under any point, so HitAt never returns them.
    QMenu* menu = ContextMenu(hit.category, hit.item);
    if (menu == nullptr) {
        event->ignore();
        return;
    }
    event->accept();
    menu->popup(event->globalPos());
}

bool CategoryButtons::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const Hit hit = HitAt(help->pos());
        const QString hint = Hint(hit.category, hit.item);
        if (hint.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), hint, this, ButtonRect(hit.category, hit.item));
        }
        return true;
    }
    return QWidget::event(event);
}
