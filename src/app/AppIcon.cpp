#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace sorvane {

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // Body of the handheld.
    p.setPen(QPen(QColor(40, 40, 48), 1.2 * s));
    p.setBrush(QColor(88, 92, 104));
    p.drawRoundedRect(QRectF(6 * s, 1.5 * s, 20 * s, 29 * s), 3 * s, 3 * s);
    // Screen.
    QLinearGradient glow(QPointF(0, 4 * s), QPointF(0, 22 * s));
    glow.setColorAt(0, QColor(120, 200, 255));
    glow.setColorAt(1, QColor(30, 110, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRect(QRectF(9 * s, 4.5 * s, 14 * s, 17 * s));
    // Buttons.
    p.setBrush(QColor(210, 210, 220));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QRectF((9.5 + 5 * i) * s, 24 * s, 3 * s, 3 * s));
    return pixmap;
}

} // namespace

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(drawIcon(size));
    return icon;
}

} // namespace sorvane
