#include "view/ui/SkinPainter.h"

#include <QImage>

#include <algorithm>
#include <mutex>

#include "view/PictureRender.h"
#include "view/SkinGeometry.h"

namespace sorvane {

namespace {

// The unscaled region x0..x1, y0..y1 of something shown at `origin` scaled by s that
// covers `area` (already clipped to it).
struct Region {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};
Region regionOf(const QRect& area, const QPoint& origin, int s)
{
    return {(area.left() - origin.x()) / s, (area.top() - origin.y()) / s, (area.right() - origin.x()) / s,
            (area.bottom() - origin.y()) / s};
}

void paintCase(QPainter& painter, const QRect& exposed, const ImageRecord& image, const ViewGeometry& g)
{
    const int s = std::clamp(g.scale, 1, 4);
    const DisplaySize turned = RotatedSize(image.width, image.height, g.rotation);
    const QPoint origin(0, g.toolbarHeight);
    const QRect area = exposed & QRect(origin, QSize(turned.width * s, turned.height * s));
    if (area.isEmpty())
        return;
    const Region r = regionOf(area, origin, s);
    QImage part(r.width(), r.height(), QImage::Format_RGB32);
    part.fill(Qt::black);
    RenderSkinRegion(image, g.rotation, r.x0, r.y0, part.width(), part.height(),
                     reinterpret_cast<uint32_t*>(part.bits()), size_t(part.bytesPerLine() / 4));
    painter.drawImage(QRect(origin.x() + r.x0 * s, origin.y() + r.y0 * s, part.width() * s, part.height() * s),
                      part);
}

void paintPicture(QPainter& painter, const QRect& exposed, ScreenState& screen, const ViewGeometry& g)
{
    const int s = std::clamp(g.scale, 1, 4);
    const QPoint origin(g.skinX * s, g.skinY * s + g.toolbarHeight);
    QImage image;
    QRect placed;
    {
        // Only the exposed part is converted, under the picture lock; the scaled
        // drawing happens after it is released.
        std::lock_guard lock(screen.pictureMutex);
        const Picture* picture = ShownPicture(screen);
        if (!picture)
            return;
        const DisplaySize shown = RotatedSize(picture->width, picture->height, g.rotation);
        const QRect area = exposed & QRect(origin, QSize(shown.width * s, shown.height * s));
        if (area.isEmpty())
            return;
        const Region r = regionOf(area, origin, s);
        image = QImage(r.width(), r.height(), QImage::Format_RGB32);
        RenderRotatedRegion(*picture, g.rotation, r.x0, r.y0, image.width(), image.height(),
                            reinterpret_cast<uint32_t*>(image.bits()), size_t(image.bytesPerLine() / 4));
        placed = QRect(origin.x() + r.x0 * s, origin.y() + r.y0 * s, image.width() * s, image.height() * s);
    }
    painter.drawImage(placed, image);
}

} // namespace

void PaintDeviceView(QPainter& painter, const QRect& exposed, ScreenState& screen, const ViewGeometry& g,
                     const Skin& skin)
{
    const bool second = SecondDisplayInUse(screen);
    const SkinFace face = FaceInUse(skin, second);
    const WindowRect update{exposed.left(), exposed.top(), exposed.right() + 1, exposed.bottom() + 1};
    if (!face || !UpdateInsidePicture(g, DisplayInUse(screen), update)) {
        painter.fillRect(exposed, Qt::black);
        if (face)
            paintCase(painter, exposed, *face.image, g);
    }
    paintPicture(painter, exposed, screen, g);
}

QRect HotspotTipBox(const QFontMetrics& metrics, const QString& text, const QPoint& cursor, const QRect& area)
{
    const QSize extent = metrics.size(Qt::TextSingleLine, text);
    const WindowRect r = PlaceTipBox(cursor.x(), cursor.y(), extent.width(), extent.height(),
                                     {area.left(), area.top(), area.right() + 1, area.bottom() + 1});
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void PaintHotspotTip(QPainter& painter, const QRect& box, const QString& text)
{
    painter.save();
    painter.fillRect(box, QColor(255, 255, 0));
    painter.setPen(Qt::black);
    painter.drawText(QRect(box.left() + 2, box.top() + 2, box.width() - 2, box.height() - 2),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.restore();
}

} // namespace sorvane
