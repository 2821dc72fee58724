// ledsign-editor: the editor and controller of the LED sign.
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/mainwindow/MainForm.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InstallPolishTranslation(app);
    try {
        QtDialogs dialogs;
        EditorWindows windows = CreateEditorWindows(dialogs);
        windows.Form1->show();
        QApplication::exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationName(),
                              QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString());
    }
    return 0;
}
