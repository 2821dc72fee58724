// The main window's size: where it starts, what it keeps for the next run.

#include "app/mainwindow/ClientArea.h"
#include "app/mainwindow/MainForm.h"
#include "app/widgets/CategoryButtons.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

void TForm1::FitWindow(ClientArea& client) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    client.SetSizeHint(ClientArea::DefaultClientSize(panel_->Buttons().sizeHint().height(),
                                                     menuBar()->sizeHint().height(), screen));
    QSize size = preferences_.WindowSize().value_or(sizeHint());
    if (screen != nullptr) {
        // Left on a larger screen last time: it must still fit on this one.
        size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size.expandedTo(minimumSizeHint()));
    if (preferences_.WindowMaximised()) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TForm1::RememberWindow() {
    const bool maximised = isMaximized();
    QSize normal = maximised ? normalGeometry().size() : size();
    // A window maximised before it was ever shown has no normal size yet.
    if (normal.isEmpty()) {
        normal = size();
    }
    preferences_.RememberWindow(normal, maximised);
}
