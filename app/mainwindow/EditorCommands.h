#pragma once
// The editor's commands and their keys, shared by the action panel (its buttons and tool tips)
// and the main window's menus.
//
// The grid keeps the keyboard focus, so the panel cannot be reached from the keyboard: every
// panel command is also a menu item, and the frequent ones have shortcuts. One table holds the
// shortcuts; the menu items and the panel's tool tips both read it, so what a tool tip promises
// is what the key does.

#include <QKeySequence>
#include <QList>
#include <QString>

// What a button of the panel (or an entry of its context menus, or a menu item) asks the window
// to do.
enum class PanelCommand {
    Font1,
    Font2,
    Font3,
    Font4,
    Font5,
    InsertDate,
    InsertTime,
    InsertTemperature,
    InsertSpecialChar,
    ToggleType,
    TestMessage,
    ClearMessage,
    LoadMessage,
    LoadSet,
    SaveMessage,
    SaveSet,
    SendMessage,
    SendSet,
    SyncClock,
    SyncFile,
    ShowMessage,
};

// The shortcuts of `command`, the first the one shown; empty when it has none.
QList<QKeySequence> ShortcutsOf(PanelCommand command);

// "Ctrl+Q", the exit item's shortcut (it is no panel command: the window asks first).
QKeySequence ExitShortcut();

// `text` followed by the command's first shortcut in parentheses, as tool tips show it
// ("Wczytaj komunikat (Ctrl+O)"); `text` alone when the command has none.
QString WithShortcut(const QString& text, PanelCommand command);
