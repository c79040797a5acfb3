#include "view/ui/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sorvane {

namespace {

// A circular arrow: three quarters of a ring ending at its top, with the head there
// pointing the way it turns (clockwise: to the right).
void drawTurnArrow(QPainter& p, const QColor& colour, bool clockwise)
{
    p.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(3, 3.5, 10, 10); // centre (8, 8.5), top at (8, 3.5)
    if (clockwise)
        p.drawArc(ring, 0, -270 * 16); // from three o'clock round to twelve
    else
        p.drawArc(ring, 180 * 16, 270 * 16); // from nine o'clock round to twelve
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPolygonF head;
    if (clockwise)
        head << QPointF(7.5, 0.5) << QPointF(7.5, 6.5) << QPointF(11.5, 3.5);
    else
        head << QPointF(8.5, 0.5) << QPointF(8.5, 6.5) << QPointF(4.5, 3.5);
    p.drawPolygon(head);
}

void drawRefresh(QPainter& p) { drawTurnArrow(p, QColor(0, 110, 40), false); }

void drawRotate(QPainter& p)
{
    // A handheld outline with a clockwise arrow over it.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(200, 220, 255));
    p.drawRect(QRectF(6, 6.5, 4, 5));
    drawTurnArrow(p, QColor(20, 60, 170), true);
}

void drawCamera(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
    p.drawRect(QRectF(5.5, 2.5, 5, 2));
    p.setBrush(QColor(150, 200, 255));
    p.setPen(QPen(Qt::white, 1));
    p.drawEllipse(QPointF(8, 9), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 0));
    p.drawRect(QRectF(2.5, 5.5, 2, 1.5));
}

void drawSkin(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(150, 150, 165));
    p.drawRoundedRect(QRectF(3.5, 0.5, 9, 15), 2, 2);
    p.setBrush(QColor(120, 200, 120));
    p.drawRect(QRectF(5.5, 2.5, 5, 7));
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QPointF(8, 12.5), 1.3, 1.3);
}

void drawConfigure(QPainter& p)
{
    // A cog: eight teeth around a ring.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 95, 110));
    p.save();
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.5, -7.5, 3, 4));
        p.rotate(45);
    }
    p.restore();
    p.drawEllipse(QPointF(8, 8), 5, 5);
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(QPointF(8, 8), 2, 2);
}

void drawRecord(QPainter& p)
{
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
}

void drawStop(QPainter& p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(3.5, 3.5, 9, 9));
}

void drawColourMode(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 30, 30));
    p.drawRect(QRectF(1, 1, 7, 7));
    p.setBrush(QColor(30, 170, 40));
    p.drawRect(QRectF(8, 1, 7, 7));
    p.setBrush(QColor(30, 70, 230));
    p.drawRect(QRectF(1, 8, 7, 7));
    p.setBrush(QColor(250, 210, 20));
    p.drawRect(QRectF(8, 8, 7, 7));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 15, 15));
}

} // namespace

QIcon ToolbarIcon(int id)
{
    void (*draw)(QPainter&) = nullptr;
    switch (id) {
    case 40001: draw = drawRefresh; break;
    case 40004: draw = drawCamera; break;
    case 40007: draw = drawSkin; break;
    case 40008: draw = drawConfigure; break;
    case 40009: draw = drawRecord; break;
    case 40011: draw = drawStop; break;
    case 40033: draw = drawRotate; break;
    case 40012: draw = drawColourMode; break;
    default: return QIcon();
    }
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace sorvane
