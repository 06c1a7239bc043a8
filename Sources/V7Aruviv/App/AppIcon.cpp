#include "V7Aruviv/App/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace k7 {

namespace {

// A 64-unit picture: a dark tile, a tape window with two reels and a MIDI-orange stripe.
QPixmap paintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x23, 0x27, 0x2e));
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    painter.setBrush(QColor(0xf2, 0x8c, 0x28));
    painter.drawRect(QRectF(4, 40, 56, 6));
    painter.setBrush(QColor(0xe8, 0xea, 0xed));
    painter.drawRoundedRect(QRectF(13, 14, 38, 20), 5, 5);
    painter.setBrush(QColor(0x23, 0x27, 0x2e));
    painter.drawEllipse(QPointF(23, 24), 5.5, 5.5);
    painter.drawEllipse(QPointF(41, 24), 5.5, 5.5);
    painter.setBrush(QColor(0xe8, 0xea, 0xed));
    painter.drawEllipse(QPointF(23, 24), 2, 2);
    painter.drawEllipse(QPointF(41, 24), 2, 2);
    return pixmap;
}

}  // namespace

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) icon.addPixmap(paintIcon(size));
    return icon;
}

}  // namespace k7
