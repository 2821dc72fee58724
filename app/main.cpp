// ledsign-editor: the editor and controller of the LED sign.
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/mainwindow/MainForm.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>

#ifndef LEDSIGN_VERSION
#error "LEDSIGN_VERSION must name the project version"
#endif

namespace {

QStringList RawArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char** argv) {
    const QString version = QStringLiteral(LEDSIGN_VERSION);
    // --help and --version answer before the toolkit starts: no window, no display needed.
    const EditorCommandLine early = ParseCommandLine(RawArguments(argc, argv), version);
    if (early.What == EditorCommandLine::Action::Help ||
        early.What == EditorCommandLine::Action::Version) {
        Print(stdout, early.Text);
        return 0;
    }
    QApplication app(argc, argv);
    SetUpApplication(app, version);
    // Read again without the toolkit's own options, which QApplication has taken out.
    const EditorCommandLine line = ParseCommandLine(QApplication::arguments(), version);
    if (line.What == EditorCommandLine::Action::BadUsage) {
        Print(stderr, line.Text);
        return 2;
    }
    InstallPolishTranslation(app);
    try {
        QtDialogs dialogs;
        EditorWindows windows = CreateEditorWindows(dialogs);
        windows.Form1->show();
        if (!line.File.isEmpty()) {
            windows.Form1->OpenFile(line.File);
        }
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 0;
}
