#include "dialogs/dial_pictures.h"

#include <QPainter>

namespace {

void Computer(QPainter& p, QRectF screen) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(screen);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(screen.adjusted(2, 2, -2, -2));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(QRectF(screen.left() - 1, screen.bottom() + 1, screen.width() + 2, 3));
}

}  // namespace

QPixmap DialBannerPicture() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    Computer(p, QRectF(14.5, 6.5, 16, 12));
    // The telephone: a handset over its cradle.
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(128, 0, 0));
    p.drawRoundedRect(QRectF(1.5, 20.5, 18, 9), 2, 2);
    p.setBrush(QColor(160, 0, 0));
    p.drawRoundedRect(QRectF(0.5, 15.5, 20, 4), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 22.5, 8, 5));
    return pixmap;
}

QPixmap DialFramePicture(int frame) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    Computer(p, QRectF(0.5, 3.5, 12, 9));
    Computer(p, QRectF(19.5, 17.5, 12, 9));
    // The signal: dots along the line between the two, lit up to the frame's step.
    for (int step = 0; step < 4; ++step) {
        const QPointF at(9 + step * 4.5, 15 + step * 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(step < frame ? QColor(255, 255, 0) : QColor(128, 128, 128));
        p.drawEllipse(at, 1.8, 1.8);
    }
    return pixmap;
}
