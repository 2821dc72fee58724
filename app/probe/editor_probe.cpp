// ledsign-editor-probe: starts the editor's windows exactly as ledsign-editor does and measures
// them, for the figures in the README.
//
//   ledsign-editor-probe startup          prints the time from process start to the first
//                                         painted frame of the main window, then exits
//   ledsign-editor-probe preview SECONDS  types a demonstration message, plays it on the strip
//                                         as a sent message plays, and exits after SECONDS;
//                                         prints the strip repaints made
//   ledsign-editor-probe screenshot FILE [window]
//                                         types the demonstration message, plays it, and saves
//                                         the whole screen (or only the main window) as FILE
//                                         (PNG) after two seconds
#include "app/Dialogs.h"
#include "app/Startup.h"
#include "app/mainwindow/MainForm.h"
#include "app/mainwindow/StripView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

// Milliseconds since this process was started, from the kernel's process table.
double MillisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray s = stat.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    // Field 22 of the line (starttime) is the 20th after the command name.
    const double startTicks = fields.value(19).toDouble();
    const double up = uptime.readAll().split(' ').value(0).toDouble();
    return (up - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Measured once the painted frame has been handed to the window system.
            QTimer::singleShot(0, [] {
                std::printf("startup_ms %.0f\n", MillisecondsSinceProcessStart());
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InstallPolishTranslation(app);
    const bool startup = argc >= 2 && std::strcmp(argv[1], "startup") == 0;
    const bool preview = argc >= 3 && std::strcmp(argv[1], "preview") == 0;
    const bool screenshot = argc >= 3 && std::strcmp(argv[1], "screenshot") == 0;
    if (!startup && !preview && !screenshot) {
        std::fprintf(stderr, "usage: %s startup | preview SECONDS | screenshot FILE [window]\n",
                     argv[0]);
        return 2;
    }
    QtDialogs dialogs;
    EditorWindows windows = CreateEditorWindows(dialogs);
    TForm1& form = *windows.Form1;
    FirstPaint firstPaint;
    if (startup) {
        form.installEventFilter(&firstPaint);
    }
    form.show();
    if (preview || screenshot) {
        // Words in different fonts (code page 1250 text), then a time field.
        const std::pair<int, const char*> words[] = {
            {4, "Witaj! "}, {1, "Linijka "}, {5, "\x9cwietlna "}, {3, "nr 380 "}, {2, "godz. "}};
        for (const auto& [font, word] : words) {
            form.RunCommand(
                static_cast<PanelCommand>(static_cast<int>(PanelCommand::Font1) + font - 1));
            for (const char* p = word; *p != '\0'; ++p) {
                form.CurrentMessage().KeyPress(static_cast<std::uint8_t>(*p));
            }
        }
        form.RunCommand(PanelCommand::InsertTime);
        std::memcpy(form.Messages()[1].GetData(), form.Messages()[0].GetData(), kMessageSize);
        form.PlayMessage2();
    }
    if (screenshot) {
        const QString file = QString::fromLocal8Bit(argv[2]);
        const bool windowOnly = argc >= 4 && std::strcmp(argv[3], "window") == 0;
        QTimer::singleShot(2000, [file, windowOnly, &form] {
            const QPixmap shot =
                windowOnly ? form.grab() : QGuiApplication::primaryScreen()->grabWindow(0);
            const bool saved = shot.save(file, "PNG", 0); // the smallest file
            std::printf("%s %s\n", saved ? "saved" : "not saved", qPrintable(file));
            std::fflush(stdout);
            QApplication::quit();
        });
    }
    if (preview) {
        const int seconds = std::atoi(argv[2]);
        QTimer::singleShot(seconds * 1000, [&form] {
            std::printf("repaints %llu\n",
                        static_cast<unsigned long long>(form.Strip().Repaints()));
            std::fflush(stdout);
            QApplication::quit();
        });
    }
    QApplication::exec();
    return 0;
}
