#pragma once
// A picture component: shows its own Bitmap32, which the owner draws into directly.

#include "preview/Bitmap32.h"

#include <QWidget>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    // A picture of `width` x `height` pixels filled with `fill`; the widget takes that size.
    PictureBox(int width, int height, Pixel fill, QWidget* parent = nullptr);

    Bitmap32& Picture() { return picture_; }
    const Bitmap32& Picture() const { return picture_; }

    // Schedules a repaint after the picture has been changed.
    void Changed() { update(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Bitmap32 picture_;
};
