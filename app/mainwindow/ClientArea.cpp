#include "app/mainwindow/ClientArea.h"

#include <QLabel>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>

namespace {

// The grid's bottom edge in the designed area; the key list starts a little below it.
constexpr int kGridLeft = 8;
constexpr int kGridBottom = 73 + 276;
constexpr int kKeyHelpTop = kGridBottom + 8;

} // namespace

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {
    setMinimumSize(MinimumClientSize());
}

void ClientArea::SetKeyHelp(const QString& text) {
    keyHelp_ = new QLabel(text, this);
    keyHelp_->setObjectName(QStringLiteral("KeyHelp"));
    keyHelp_->setTextFormat(Qt::RichText);
    keyHelp_->setWordWrap(true);
    keyHelp_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = keyHelp_->palette();
    pal.setColor(QPalette::WindowText, QColor(24, 24, 24));
    keyHelp_->setPalette(pal);
    LayOut();
}

QSize ClientArea::MinimumClientSize() {
    return {kPanelLeft + kMinimumPanelWidth + 4, kDesignedHeight};
}

QSize ClientArea::DefaultClientSize(int panelHeight, int menuBarHeight, const QScreen* screen) {
    int height = std::max(kDesignedHeight, panelHeight + kStatusBarHeight + 2);
    if (screen != nullptr) {
        const int room = screen->availableGeometry().height() - menuBarHeight - kTitleBarAllowance -
                         kTaskBarAllowance;
        height = std::min(height, room);
    }
    return {MinimumClientSize().width(), std::max(height, kDesignedHeight)};
}

void ClientArea::SetSizeHint(const QSize& size) {
    sizeHint_ = size.expandedTo(MinimumClientSize());
    updateGeometry();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void ClientArea::LayOut() {
    const int statusTop = height() - kStatusBarHeight;
    if (panel_ != nullptr) {
        panel_->setGeometry(kPanelLeft, 0, width() - kPanelLeft - 4, statusTop - 2);
    }
    if (statusBar_ != nullptr) {
        statusBar_->setGeometry(0, statusTop, width(), kStatusBarHeight);
    }
    if (keyHelp_ != nullptr) {
        const QRect room(kGridLeft, kKeyHelpTop, kDesignedWidth - 2 * kGridLeft,
                         statusTop - 4 - kKeyHelpTop);
        // Shown only where the window has grown below the designed area far enough to hold
        // the whole list; half a list would hide keys without saying so.
        keyHelp_->setGeometry(room);
        keyHelp_->setVisible(room.height() >= keyHelp_->heightForWidth(room.width()));
    }
}
