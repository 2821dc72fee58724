#include "app/mainwindow/UndoActions.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

UndoActions::UndoActions(MessageUndo::Messages messages, QWidget& window)
    : QObject(&window), undo_(messages) {}

void UndoActions::AddTo(QMenu& menu) {
    QAction* undo = menu.addAction(QStringLiteral("&Cofnij"));
    undo->setObjectName(QStringLiteral("Cofnij1"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = menu.addAction(QStringLiteral("&Ponów"));
    redo->setObjectName(QStringLiteral("Ponow1"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    // Both stay enabled even with nothing to walk back: a disabled entry would let its keys
    // through to the grid as typed characters.
    for (QAction* action : {undo, redo}) {
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(undo, &QAction::triggered, this, [this] { Undo(); });
    connect(redo, &QAction::triggered, this, [this] { Redo(); });
}

void UndoActions::Watch(QWidget& grid, std::function<void()> restored,
                        std::function<void()> typed) {
    restored_ = std::move(restored);
    typed_ = std::move(typed);
    grid.installEventFilter(this);
}

void UndoActions::Undo() {
    if (undo_.Undo() && restored_) {
        restored_();
    }
}

void UndoActions::Redo() {
    if (undo_.Redo() && restored_) {
        restored_();
    }
}

bool UndoActions::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // The grid's whole handling of the key (its key-down and key-press handlers and its
        // own navigation) runs inside the step, so whatever the key did is recorded at its end.
        // Delivered here, so the filter reports it as handled (letting it through would deliver
        // it twice); an ignored key still goes on to the parent as usual.
        {
            const auto step = undo_.Begin(MessageUndo::Kind::Typing);
            watched->event(event);
        }
        if (typed_) {
            typed_();
        }
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        undo_.CloseRun();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
