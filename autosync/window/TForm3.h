#pragma once
// TForm3, the file synchronisation window. Created once at start-up after the main window and
// the character table; shown by the main window's action panel.

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    void FormCreate();
};
