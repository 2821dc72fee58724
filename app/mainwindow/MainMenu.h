#pragma once
// The main window's menus for the editor's commands, and the help list of its keys.
//
// Every panel command is also a menu item (the panel cannot be reached from the keyboard); the
// items carry the keys of EditorCommands.h.

#include "app/mainwindow/EditorCommands.h"

#include <functional>

class QAction;
class QMenu;
class QMenuBar;

// Puts the file commands into `fileMenu` before its exit item `exitItem` (which must be in that
// menu), and appends the menus "Komunikat" and "Linijka" to `bar` with the remaining panel
// commands; the test and the send with their keys appear in `fileMenu` too. Each item hands its
// command to `run`, as the panel's button does; its data is the command's number.
void AddCommandMenus(QMenuBar& bar, QMenu& fileMenu, QAction& exitItem,
                     const std::function<void(PanelCommand)>& run);

// The editor's keys with what they do, as a small rich-text table for the list below the grid.
QString KeyHelpText();
