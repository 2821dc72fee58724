#pragma once
// Start-up of the editor: the Polish translation of the toolkit's own texts and the three
// windows, created in their fixed order.

#include "preview/Fonts.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class Dialogs;
class QApplication;
class TForm1;
class TForm2;
class TForm3;
struct SyncContext;

// What the command line asks of the editor. Beyond the file to open, the editor takes only
// -h/--help and --version (anything after "--" is a file name); the toolkit's own options
// (-platform, -style, ...) are taken out by QApplication before the file is looked for.
struct EditorCommandLine {
    enum class Action { Run, Help, Version, BadUsage };
    Action What = Action::Run;
    // Run: the message (*.kom) or set (*.kzb) file to open at start, empty for none.
    QString File;
    // Help and Version: the text for standard output; BadUsage: the error for standard error.
    QString Text;
};

// Reads `arguments` (the program's name first). -h, --help or --version anywhere before "--"
// wins over any error; an unknown option or a second file is BadUsage.
EditorCommandLine ParseCommandLine(const QStringList& arguments, const QString& version);

// The application's identity for the desktop: the name, the version, the desktop entry's id
// (so docks and task switchers group its windows under the menu entry) and the window icon.
inline constexpr const char* kDesktopFileName = "org.ledsign.Editor";
void SetUpApplication(QApplication& app, const QString& version);

// Loads the toolkit's Polish translation (standard buttons "Tak", "Nie", "OK", "Anuluj") into
// `app`: from the folder "translations" beside the program first (a Windows installation carries
// its own, as qtbase_pl.qm or, laid out by windeployqt, qt_pl.qm), then from the toolkit's
// translations folder. False when no translation file can be read; the texts then stay English.
bool InstallPolishTranslation(QApplication& app);

// The three windows. Destroyed in reverse order of creation (TForm3, TForm2, TForm1), so the
// main window, which writes the settings file when it goes, is the last.
struct EditorWindows {
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm3> Form3;

    EditorWindows();
    EditorWindows(EditorWindows&&) noexcept;
    EditorWindows& operator=(EditorWindows&& other) noexcept;
    ~EditorWindows();

    // Destroys the windows, TForm3 first and TForm1 last.
    void Reset();
};

// What the synchronisation window borrows from `form1`, which must outlive it: its protocol
// object, device address, start directory and port selector.
SyncContext SyncContextOf(TForm1& form1);

// Creates TForm1, TForm2 and TForm3 in this order, each running its creation handler; none is
// shown. Closing TForm1 ends the application; the other two never do. When font files had to be
// skipped, one warning box through `dialogs` names each of them and why.
EditorWindows CreateEditorWindows(Dialogs& dialogs);

// The text of that warning: one line per skipped file, in Polish.
QString SkippedFontsText(const std::vector<SkippedFontFile>& skipped);
