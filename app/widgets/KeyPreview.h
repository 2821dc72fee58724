#pragma once
// Lets a window see every key press meant for any of its widgets before that widget does
// (a window-level key-down handler).

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

class KeyPreview : public QObject {
    Q_OBJECT
public:
    // Called once per key press inside the window, before the focused widget; returning true
    // consumes the key (the widget never sees it).
    using Handler = std::function<bool(QKeyEvent& event)>;

    // Watches the key presses of `window` (installs itself on the application) until destroyed.
    KeyPreview(QWidget* window, Handler handler);
    ~KeyPreview() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    Handler handler_;
};
