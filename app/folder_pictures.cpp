#include "app/folder_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A letter tray seen from the front: the back wall, then the front lip over it.
void DrawTray(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(QColor(250, 236, 180));
    p.drawRoundedRect(QRectF(r.left() + r.width() * 0.08, r.top() + r.height() * 0.45,
                             r.width() * 0.84, r.height() * 0.45),
                      2, 2);
    p.setBrush(QColor(225, 190, 100));
    QPainterPath lip;
    lip.moveTo(r.left() + r.width() * 0.08, r.top() + r.height() * 0.62);
    lip.lineTo(r.left() + r.width() * 0.34, r.top() + r.height() * 0.62);
    lip.lineTo(r.left() + r.width() * 0.40, r.top() + r.height() * 0.72);
    lip.lineTo(r.left() + r.width() * 0.60, r.top() + r.height() * 0.72);
    lip.lineTo(r.left() + r.width() * 0.66, r.top() + r.height() * 0.62);
    lip.lineTo(r.left() + r.width() * 0.92, r.top() + r.height() * 0.62);
    lip.lineTo(r.left() + r.width() * 0.92, r.top() + r.height() * 0.90);
    lip.lineTo(r.left() + r.width() * 0.08, r.top() + r.height() * 0.90);
    lip.closeSubpath();
    p.drawPath(lip);
}

// A thick arrow pointing down (into the tray) or up (out of it).
void DrawArrow(QPainter& p, const QRectF& r, bool down, const QColor& colour) {
    qreal cx = r.center().x();
    qreal top = r.top() + r.height() * 0.04, bottom = r.top() + r.height() * 0.58;
    qreal shaft = r.width() * 0.10, head = r.width() * 0.24, headLen = r.height() * 0.22;
    QPainterPath arrow;
    if (down) {
        arrow.moveTo(cx - shaft, top);
        arrow.lineTo(cx + shaft, top);
        arrow.lineTo(cx + shaft, bottom - headLen);
        arrow.lineTo(cx + head, bottom - headLen);
        arrow.lineTo(cx, bottom);
        arrow.lineTo(cx - head, bottom - headLen);
        arrow.lineTo(cx - shaft, bottom - headLen);
    } else {
        arrow.moveTo(cx, top);
        arrow.lineTo(cx + head, top + headLen);
        arrow.lineTo(cx + shaft, top + headLen);
        arrow.lineTo(cx + shaft, bottom);
        arrow.lineTo(cx - shaft, bottom);
        arrow.lineTo(cx - shaft, top + headLen);
        arrow.lineTo(cx - head, top + headLen);
    }
    arrow.closeSubpath();
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawPath(arrow);
}

void DrawErrorSign(QPainter& p, const QRectF& r) {
    QRectF disc =
        r.adjusted(r.width() * 0.08, r.height() * 0.08, -r.width() * 0.08, -r.height() * 0.08);
    p.setPen(QPen(QColor(120, 0, 0), 1.2));
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(disc);
    p.setPen(QPen(Qt::white, r.width() * 0.11, Qt::SolidLine, Qt::RoundCap));
    qreal in = disc.width() * 0.30;
    p.drawLine(disc.topLeft() + QPointF(in, in), disc.bottomRight() - QPointF(in, in));
    p.drawLine(disc.topRight() + QPointF(-in, in), disc.bottomLeft() + QPointF(in, -in));
}

}  // namespace

QIcon FolderPicture(TFolderPicture picture, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(0, 0, size, size);
    switch (picture) {
        case TFolderPicture::Inbox:
            DrawTray(p, r);
            DrawArrow(p, r, true, QColor(40, 150, 60));
            break;
        case TFolderPicture::Outbox:
            DrawTray(p, r);
            DrawArrow(p, r, false, QColor(40, 90, 200));
            break;
        case TFolderPicture::Error:
            DrawErrorSign(p, r);
            break;
    }
    return QIcon(pixmap);
}
