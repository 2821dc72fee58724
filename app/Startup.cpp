#include "app/Startup.h"

#include "app/Dialogs.h"
#include "app/chartable/Unitchartable.h"
#include "app/mainwindow/MainForm.h"
#include "app/syncwindow/TForm3.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

bool InstallPolishTranslation(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Polish), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

EditorWindows::EditorWindows() = default;
EditorWindows::EditorWindows(EditorWindows&&) noexcept = default;

EditorWindows& EditorWindows::operator=(EditorWindows&& other) noexcept {
    if (this != &other) {
        Reset();
        Form1 = std::move(other.Form1);
        Form2 = std::move(other.Form2);
        Form3 = std::move(other.Form3);
    }
    return *this;
}

EditorWindows::~EditorWindows() {
    Reset();
}

void EditorWindows::Reset() {
    Form3.reset();
    Form2.reset();
    Form1.reset();
}

SyncContext SyncContextOf(TForm1& form1) {
    return {form1.Protocol(), form1.DeviceAddress(), form1.StartDirectory(),
            [&form1] { return QFile::encodeName(form1.PortName()).toStdString(); }};
}

QString SkippedFontsText(const std::vector<SkippedFontFile>& skipped) {
    QStringList lines;
    for (const SkippedFontFile& file : skipped) {
        const QString name = QString::fromStdString(file.File.string());
        if (file.Why == SkippedFontFile::Reason::TooShort) {
            lines << QStringLiteral("Pominięto plik czcionki %1: ma %2 B, a powinien mieć %3 B.")
                         .arg(name)
                         .arg(file.Size)
                         .arg(file.Needed);
        } else if (file.Error) {
            lines << QStringLiteral("Pominięto plik czcionki %1: nie można go odczytać (%2).")
                         .arg(name, QString::fromLocal8Bit(file.Error.message()));
        } else {
            lines << QStringLiteral("Pominięto plik czcionki %1: nie można go odczytać.").arg(name);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

EditorWindows CreateEditorWindows(Dialogs& dialogs) {
    EditorWindows windows;
    windows.Form1 = std::make_unique<TForm1>(dialogs);
    windows.Form2 = std::make_unique<TForm2>(windows.Form1.get());
    windows.Form3 = std::make_unique<TForm3>(SyncContextOf(*windows.Form1), dialogs);
    windows.Form2->setAttribute(Qt::WA_QuitOnClose, false);
    windows.Form3->setAttribute(Qt::WA_QuitOnClose, false);
    windows.Form1->SetCompanions(windows.Form2.get(), windows.Form3.get());
    // Told once, before the window opens: the status bar is the version text's at start-up.
    if (!windows.Form1->SkippedFontFiles().empty()) {
        dialogs.Warning(SkippedFontsText(windows.Form1->SkippedFontFiles()));
    }
    return windows;
}
