#include "autosync/window/TForm3.h"

#include <QPalette>

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Synchronizacja linijki z plikiem"));
    setFixedSize(541, 138);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    FormCreate();
}

void TForm3::FormCreate() {}
