#pragma once
// The main window's menus for the action panel's commands, and the keyboard shortcuts of the
// frequent ones.
//
// The grid keeps the keyboard focus, so the panel cannot be reached from the keyboard: every
// panel command is also a menu item, and the frequent ones have shortcuts. One table holds the
// shortcuts; the menu items and the panel's tool tips both read it, so what a tool tip promises
// is what the key does.

#include "app/mainwindow/ActionPanel.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QMenu;
class QMenuBar;

// The shortcuts of `command`, the first the one shown; empty when it has none.
QList<QKeySequence> ShortcutsOf(PanelCommand command);

// "Ctrl+Q", the exit item's shortcut (it is no panel command: the window asks first).
QKeySequence ExitShortcut();

// `text` followed by the command's first shortcut in parentheses, as tool tips show it
// ("Wczytaj komunikat (Ctrl+O)"); `text` alone when the command has none.
QString WithShortcut(const QString& text, PanelCommand command);

// Puts the file commands into `fileMenu` before its exit item `exitItem` (which must be in that
// menu), and appends the menus "Komunikat" and "Linijka" to `bar` with the remaining panel
// commands; the test and the send with their keys appear in `fileMenu` too. Each item hands its
// command to `run`, as the panel's button does; its data is the command's number.
void AddCommandMenus(QMenuBar& bar, QMenu& fileMenu, QAction& exitItem,
                     const std::function<void(PanelCommand)>& run);

// The editor's keys with what they do, as a small rich-text table for the list below the grid.
QString KeyHelpText();
