#include "app/mainwindow/PortSelector.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionFrame>
#include <QStyledItemDelegate>

#include <algorithm>
#include <utility>

QString PortChoiceLabel(const PortChoice& port) {
    if (port.Description.isEmpty()) {
        return port.Path;
    }
    return port.Path + QStringLiteral(" — ") + port.Description;
}

namespace {

constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 10;
// Enough rows for the ten COM entries and a few adapters without a scroll bar.
constexpr int kVisibleEntries = 20;

// Shows each entry's label in the list while the item's text stays the bare path.
class LabelDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString label = index.data(PortSelector::kLabelRole).toString();
        if (!label.isEmpty()) {
            option->text = label;
        }
    }
};

// A line edit that, while it lacks the focus, shows the start and the end of a long path (the
// device and the port number are at its ends) instead of scrolling it to its end.
class MiddleElidingLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    QString ShownText() const {
        if (hasFocus()) {
            return text();
        }
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextRect().width());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        const QString shown = ShownText();
        if (shown == text()) {
            QLineEdit::paintEvent(event);
            return;
        }
        QPainter painter(this);
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        painter.drawText(TextRect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
    }

private:
    // The area QLineEdit draws its text in: the style's contents rectangle less the text
    // margins and the line edit's own 2 x 1 pixel margin.
    QRect TextRect() const {
        QStyleOptionFrame panel;
        initStyleOption(&panel);
        const QMargins margins = textMargins();
        return style()
            ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
            .adjusted(margins.left() + 2, margins.top() + 1, -margins.right() - 2,
                      -margins.bottom() - 1);
    }
};

} // namespace

PortSelector::PortSelector(PortLister lister, QWidget* parent)
    : QComboBox(parent), lister_(std::move(lister)) {
    setEditable(true);
    setLineEdit(new MiddleElidingLineEdit(this));
    setInsertPolicy(QComboBox::NoInsert);
    setItemDelegate(new LabelDelegate(this));
    setMaxVisibleItems(kVisibleEntries);
    // Follows every text, also one set with this box's signals blocked (loading vtr.cfg).
    connect(lineEdit(), &QLineEdit::textChanged, this,
            [this](const QString& text) { setToolTip(text); });
    Refresh();
    const QSignalBlocker block(this);
    setCurrentIndex(0);
}

void PortSelector::SetPortLister(PortLister lister) {
    lister_ = std::move(lister);
    Refresh();
}

void PortSelector::Refresh() {
    const QSignalBlocker block(this);
    const QString text = currentText();
    clear();
    const auto add = [this](const PortChoice& port) {
        addItem(port.Path, port.Path);
        setItemData(count() - 1, PortChoiceLabel(port), kLabelRole);
    };
    for (int i = kFirstComPort; i <= kLastComPort; ++i) {
        add({QStringLiteral("COM") + QString::number(i), {}});
    }
    if (lister_) {
        for (const PortChoice& port : lister_()) {
            const QString label = PortChoiceLabel(port);
            // An entry already listed with the same label would only repeat itself; "COM3"
            // described by its device is worth a second entry.
            if (!port.Path.isEmpty() && findData(label, kLabelRole, Qt::MatchExactly) < 0) {
                add(port);
            }
        }
    }
    setCurrentIndex(findText(text, Qt::MatchExactly));
    setEditText(text);
    FitPopupWidth();
}

QString PortSelector::ShownText() const {
    // The box's own line edit unless a caller has replaced it.
    const auto* edit = dynamic_cast<const MiddleElidingLineEdit*>(lineEdit());
    return edit != nullptr ? edit->ShownText() : currentText();
}

void PortSelector::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

void PortSelector::hidePopup() {
    // Qt also hides a list that was never shown (on destruction, for one): only a list the
    // operator saw closes with a choice or Escape.
    const bool wasShown = view()->isVisible();
    QComboBox::hidePopup();
    if (wasShown) {
        emit PopupHidden();
    }
}

void PortSelector::FitPopupWidth() {
    QAbstractItemView* list = view();
    int width = list->sizeHintForColumn(0) + 2 * list->frameWidth();
    if (count() > maxVisibleItems()) {
        width += list->verticalScrollBar()->sizeHint().width();
    }
    list->setMinimumWidth(width);
}
