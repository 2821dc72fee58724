#pragma once
// "Cofnij" (Ctrl+Z) and "Ponów" (Ctrl+Y, Ctrl+Shift+Z) for the edited message: the window's
// edits run inside steps of the edit history, and the two menu entries walk it back and forth.
//
// The shortcuts belong to the whole window, so they reach the history whichever of its
// widgets has the focus and are taken before the grid could read them as typed characters.

#include "messages/EditHistory.h"

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QWidget;

class UndoActions : public QObject {
    Q_OBJECT
public:
    // `messages`: the window's eight messages, message 1 bound to its grid before the first
    // edit; they must outlive this object, which `window` owns.
    UndoActions(MessageUndo::Messages messages, QWidget& window);

    // Wrap each edit of the messages: the change made while the step lives becomes one undo
    // step of `kind` (see MessageUndo).
    [[nodiscard]] MessageUndo::Step Begin(MessageUndo::Kind kind) { return undo_.Begin(kind); }

    // Appends "Cofnij" and "Ponów" to `menu`.
    void AddTo(QMenu& menu);

    // Each key press on `grid` becomes a typing step, and a mouse press there, which moves the
    // cursor, ends the typing run. `restored` runs after each undo and redo, so that what
    // shows the message follows; `typed` after each key press's step has ended.
    void Watch(QWidget& grid, std::function<void()> restored, std::function<void()> typed = {});

    void Undo();
    void Redo();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MessageUndo undo_;
    std::function<void()> restored_;
    std::function<void()> typed_;
};
