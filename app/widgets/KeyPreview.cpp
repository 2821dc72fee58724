#include "app/widgets/KeyPreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget* window, Handler handler)
    : QObject(window), window_(window), handler_(std::move(handler)) {
    qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
    qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window_) {
        return false;
    }
    // The application's filters see a key press again for every parent it is offered to; only
    // its first receiver counts: the focused widget, or the window when none of its widgets
    // has the focus.
    QWidget* focus = QApplication::focusWidget();
    const bool focusInside = focus != nullptr && focus->window() == window_;
    const QWidget* first = focusInside ? focus : window_;
    if (widget != first) {
        return false;
    }
    return handler_(*static_cast<QKeyEvent*>(event));
}
