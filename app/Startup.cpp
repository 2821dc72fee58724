#include "app/Startup.h"

#include "app/CoreNames.h"
#include "app/Dialogs.h"
#include "app/chartable/Unitchartable.h"
#include "app/mainwindow/MainForm.h"
#include "app/syncwindow/TForm3.h"
#include "preview/Utf8Files.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include <memory>

namespace {

QString Usage() {
    return QStringLiteral(
        "Użycie: ledsign-editor [PLIK]\n"
        "Edytor komunikatów i centrum sterowania linijki świetlnej LED.\n"
        "\n"
        "  PLIK           komunikat (*.kom) lub zestaw komunikatów (*.kzb) do wczytania\n"
        "                 przy starcie\n"
        "  -h, --help     wyświetla tę pomoc i kończy działanie\n"
        "      --version  wyświetla wersję programu i kończy działanie\n");
}

} // namespace

EditorCommandLine ParseCommandLine(const QStringList& arguments, const QString& version) {
    EditorCommandLine line;
    QString error;
    bool optionsEnd = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnd &&
            (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            return {EditorCommandLine::Action::Help, {}, Usage()};
        }
        if (!optionsEnd && argument == QLatin1String("--version")) {
            return {EditorCommandLine::Action::Version,
                    {},
                    QStringLiteral("ledsign-editor %1\n").arg(version)};
        }
        if (!optionsEnd && argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (!optionsEnd && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            if (error.isEmpty()) {
                error = QStringLiteral("nieznana opcja %1").arg(argument);
            }
        } else if (line.File.isEmpty()) {
            line.File = argument;
        } else if (error.isEmpty()) {
            error = QStringLiteral("można podać tylko jeden plik");
        }
    }
    if (!error.isEmpty()) {
        return {EditorCommandLine::Action::BadUsage,
                {},
                QStringLiteral("ledsign-editor: %1\n").arg(error) + Usage()};
    }
    return line;
}

void SetUpApplication(QApplication& app, const QString& version) {
    QApplication::setApplicationName(QStringLiteral("ledsign-editor"));
    QApplication::setApplicationVersion(version);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/ledsign-%1.png").arg(size), QSize(size, size));
    }
    app.setWindowIcon(icon);
}

bool InstallPolishTranslation(QApplication& app) {
    // The toolkit's own folder is where it was built to be installed: on Windows a folder of the
    // build machine, which the folder beside the program must therefore precede.
    const QStringList folders = {QApplication::applicationDirPath() +
                                     QStringLiteral("/translations"),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        for (const QString& name : {QStringLiteral("qtbase"), QStringLiteral("qt")}) {
            auto translator = std::make_unique<QTranslator>(&app);
            if (translator->load(QLocale(QLocale::Polish), name, QStringLiteral("_"), folder)) {
                QApplication::installTranslator(translator.release());
                return true;
            }
        }
    }
    return false;
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
            [&form1] { return ToCoreName(form1.PortName()); }};
}

QString SkippedFontsText(const std::vector<SkippedFontFile>& skipped) {
    QStringList lines;
    for (const SkippedFontFile& file : skipped) {
        const QString name = QString::fromStdString(PathToUtf8(file.File));
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
