#include "app/widgets/PictureBox.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

PictureBox::PictureBox(int width, int height, Pixel fill, QWidget* parent)
    : QWidget(parent), picture_(width, height, fill) {
    setFixedSize(width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    // The bitmap's pixel words are QImage::Format_RGB32, so it is shown without a copy.
    const QImage image(reinterpret_cast<const uchar*>(picture_.Bits()), picture_.Width(),
                       picture_.Height(), picture_.Width() * 4, QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(event->rect(), image, event->rect());
}
