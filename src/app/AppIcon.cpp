#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace sorvane {

namespace {

// The shapes, on a 32 x 32 grid.
const QRectF kBody(6, 1.5, 20, 29);
constexpr qreal kBodyRadius = 3, kBodyPen = 1.2;
const QColor kBodyPenColour(40, 40, 48), kBodyColour(88, 92, 104);
const QRectF kScreen(9, 4.5, 14, 17);
const QColor kGlowTop(120, 200, 255), kGlowBottom(30, 110, 200);
constexpr qreal kGlowFrom = 4, kGlowTo = 22;
const QColor kButtonColour(210, 210, 220);
// Three buttons of diameter 3 from (9.5, 24), 5 apart.
QRectF button(int i) { return QRectF(9.5 + 5 * i, 24, 3, 3); }

QRectF scaled(const QRectF& r, qreal s) { return QRectF(r.x() * s, r.y() * s, r.width() * s, r.height() * s); }

} // namespace

QImage drawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    p.setPen(QPen(kBodyPenColour, kBodyPen * s));
    p.setBrush(kBodyColour);
    p.drawRoundedRect(scaled(kBody, s), kBodyRadius * s, kBodyRadius * s);
    QLinearGradient glow(QPointF(0, kGlowFrom * s), QPointF(0, kGlowTo * s));
    glow.setColorAt(0, kGlowTop);
    glow.setColorAt(1, kGlowBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRect(scaled(kScreen, s));
    p.setBrush(kButtonColour);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(scaled(button(i), s));
    return image;
}

QByteArray appIconSvg()
{
    const auto n = [](qreal v) { return QByteArray::number(v, 'g', 6); };
    const auto colour = [](const QColor& c) { return c.name().toLatin1(); };
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n"
                     "  <defs>\n"
                     "    <linearGradient id=\"glow\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" +
                     n(kGlowFrom) + "\" x2=\"0\" y2=\"" + n(kGlowTo) + "\">\n" +
                     "      <stop offset=\"0\" stop-color=\"" + colour(kGlowTop) + "\"/>\n" +
                     "      <stop offset=\"1\" stop-color=\"" + colour(kGlowBottom) + "\"/>\n" +
                     "    </linearGradient>\n  </defs>\n";
    svg += "  <rect x=\"" + n(kBody.x()) + "\" y=\"" + n(kBody.y()) + "\" width=\"" + n(kBody.width()) +
           "\" height=\"" + n(kBody.height()) + "\" rx=\"" + n(kBodyRadius) + "\" fill=\"" + colour(kBodyColour) +
           "\" stroke=\"" + colour(kBodyPenColour) + "\" stroke-width=\"" + n(kBodyPen) + "\"/>\n";
    svg += "  <rect x=\"" + n(kScreen.x()) + "\" y=\"" + n(kScreen.y()) + "\" width=\"" + n(kScreen.width()) +
           "\" height=\"" + n(kScreen.height()) + "\" fill=\"url(#glow)\"/>\n";
    for (int i = 0; i < 3; ++i) {
        const QRectF b = button(i);
        svg += "  <circle cx=\"" + n(b.center().x()) + "\" cy=\"" + n(b.center().y()) + "\" r=\"" +
               n(b.width() / 2) + "\" fill=\"" + colour(kButtonColour) + "\"/>\n";
    }
    return svg + "</svg>\n";
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(drawAppIcon(size)));
    return icon;
}

} // namespace sorvane
