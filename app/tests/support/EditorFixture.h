#pragma once
// The editor's three windows started in a temporary start directory, as the program starts
// them, with scripted dialogs.

#include "ScriptedDialogs.h"
#include "app/Startup.h"
#include "app/chartable/Unitchartable.h"
#include "app/mainwindow/MainForm.h"
#include "app/mainwindow/StripView.h"
#include "app/syncwindow/TForm3.h"
#include "app/widgets/CellGrid.h"
#include "app/widgets/PictureBox.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// The component of `window` whose object name is `name` (the name the windows give each of
// their components); aborts the test program when there is none.
template <class T> T& Component(QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no component %s", name);
    }
    return *found;
}

class EditorFixture {
public:
    // `settings`: the content of vtr.cfg written before start-up; nothing = no file.
    // `userConfig`: where the editor keeps its preferences (the user scope of QSettings); empty
    // = a fresh temporary directory, so no test reads or writes the real user's configuration.
    explicit EditorFixture(std::optional<QByteArray> settings = std::nullopt, bool show = true,
                           const QString& userConfig = {});
    ~EditorFixture();

    TForm1& Form1() { return *windows_.Form1; }
    TForm2& Form2() { return *windows_.Form2; }
    TForm3& Form3() { return *windows_.Form3; }
    CLEDMessageCon& Message1() { return windows_.Form1->Messages()[0]; }
    CellGrid& Grid() { return Component<CellGrid>(Form1(), "DrawGrid1"); }
    QString Dir() const { return dir_.path(); }
    QString SettingsFile() const { return dir_.filePath(QStringLiteral("vtr.cfg")); }

    // Destroys the windows (the main window writes its settings) and returns to the directory
    // current before the fixture.
    void Shutdown();

    // Cursor index: row x 32 + column.
    int Cursor() { return Grid().Row() * kGridColumns + Grid().Col(); }
    // The character codes of message 1's cells up to its first free cell.
    QByteArray Text();
    // Moves the keyboard focus to the grid and waits until it has it.
    bool FocusGrid();
    // The centre of cell `index` in grid coordinates.
    QPoint CellCentre(int index);

    ScriptedDialogs dialogs;

private:
    QTemporaryDir dir_;
    QTemporaryDir userConfig_;
    QString previousDir_;
    EditorWindows windows_;
};

// Message `m`'s whole 1024-byte buffer.
QByteArray DataOf(const CLEDMessageCon& m);

// Clicks button (category, item) of the main window's action panel with the mouse, scrolling the
// panel to it first.
void ClickButton(TForm1& form, int category, int item);

// Points the editor's preferences (QSettings, INI format, user scope) at `dir`.
void UseUserConfig(const QString& dir);

// The whole of a file, or a null QByteArray when it does not exist.
QByteArray ReadWholeFile(const QString& path);
