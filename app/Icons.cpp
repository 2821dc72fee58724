#include "app/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

QPixmap Blank() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

QIcon Play() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 90, 0), 1));
    p.setBrush(QColor(40, 170, 40));
    p.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(13, 8), QPointF(4, 14)}));
    return QIcon(pm);
}

QIcon Cross() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 20, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    return QIcon(pm);
}

QIcon Folder() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setPen(QColor(140, 100, 0));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(1, 3, 6, 2);
    p.drawRect(1, 5, 13, 9);
    p.setBrush(QColor(255, 225, 120));
    p.drawRect(2, 7, 12, 7);
    return QIcon(pm);
}

QIcon Disk() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setPen(QColor(20, 20, 80));
    p.setBrush(QColor(50, 70, 170));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(3, 9, 9, 5);
    return QIcon(pm);
}

QIcon Send() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // The sign: a dark strip with lit dots; the arrow points into it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(9, 2, 7, 12);
    p.setBrush(QColor(47, 47, 255));
    for (int y = 4; y < 13; y += 3) {
        p.drawRect(11, y, 2, 2);
    }
    p.setBrush(QColor(230, 120, 0));
    p.drawPolygon(QPolygonF({QPointF(0, 6), QPointF(4, 6), QPointF(4, 3), QPointF(9, 8),
                             QPointF(4, 13), QPointF(4, 10), QPointF(0, 10)}));
    return QIcon(pm);
}

QIcon Lightning() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 100, 0), 1));
    p.setBrush(QColor(255, 210, 0));
    p.drawPolygon(QPolygonF({QPointF(9, 1), QPointF(3, 9), QPointF(7.5, 9), QPointF(6, 15),
                             QPointF(13, 6), QPointF(8.5, 6), QPointF(10, 1)}));
    return QIcon(pm);
}

QIcon Gear() {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        const QPointF c(8 + 5.5 * std::cos(a), 8 + 5.5 * std::sin(a));
        teeth.addEllipse(c, 1.8, 1.8);
    }
    teeth.addEllipse(QPointF(8, 8), 5.2, 5.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 90, 110));
    p.drawPath(teeth.simplified());
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(QPointF(8, 8), 2.2, 2.2);
    return QIcon(pm);
}

} // namespace

std::array<QIcon, kIconCount> MakeIcons() {
    return {Play(), Cross(), Folder(), Disk(), Send(), Lightning(), Gear()};
}
