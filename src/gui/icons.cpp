#include "gui/icons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace icons {

namespace {

QPixmap canvas()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void page(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 3.5, 18, 24));
    p.setPen(QPen(colour, 1.5));
    for (int y = 9; y <= 21; y += 4)
        p.drawLine(QPointF(10, y), QPointF(21, y));
}

} // namespace

QImage programImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-pixel grid, scaled to the size asked for.
    p.scale(size / 32.0, size / 32.0);
    p.setBrush(QColor(0, 120, 90));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    p.setPen(QPen(Qt::white, 2.5));
    p.drawLine(QPointF(9, 10), QPointF(23, 10));
    p.drawLine(QPointF(9, 16), QPointF(23, 16));
    p.drawLine(QPointF(16, 10), QPointF(16, 25));
    p.end();
    return image;
}

QIcon program()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(programImage(size)));
    return icon;
}

QIcon toolbar(int index)
{
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 1: // new record
        page(p, QColor(90, 140, 200));
        p.setPen(QPen(QColor(0, 150, 0), 3));
        p.drawLine(QPointF(22, 20), QPointF(22, 30));
        p.drawLine(QPointF(17, 25), QPointF(27, 25));
        break;
    case 6: // delete record
        page(p, QColor(90, 140, 200));
        p.setPen(QPen(QColor(200, 30, 30), 3));
        p.drawLine(QPointF(17, 19), QPointF(28, 30));
        p.drawLine(QPointF(28, 19), QPointF(17, 30));
        break;
    case 9: // print
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 3.5, 13, 10));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(3.5, 12.5, 25, 11), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 19.5, 13, 9));
        break;
    case 10: // backup
        p.setPen(QPen(QColor(40, 60, 110), 1.2));
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(5.5, 4.5, 21, 23));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 4.5, 13, 8));
        p.setBrush(QColor(200, 200, 210));
        p.drawRect(QRectF(9.5, 17.5, 13, 10));
        break;
    case 5: { // settings
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(110, 110, 120));
        p.translate(16, 16);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-2.5, -13, 5, 6));
            p.rotate(45);
        }
        p.drawEllipse(QPointF(0, 0), 9, 9);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(0, 0), 4, 4);
        break;
    }
    default: { // support: a globe
        p.setPen(QPen(QColor(30, 90, 160), 1.6));
        p.setBrush(QColor(190, 220, 250));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.drawEllipse(QRectF(11, 4, 10, 24));
        p.drawLine(QPointF(4, 16), QPointF(28, 16));
        break;
    }
    }
    p.end();
    return QIcon(pixmap);
}

} // namespace icons
