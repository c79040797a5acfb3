#include "view/ui/SkinPainter.h"

#include "view/PictureRender.h"
#include "view/SkinGeometry.h"
#include "view/ui/PicturePainter.h"

namespace sorvane {

namespace {

void paintCase(QPainter& painter, const QRect& exposed, const ImageRecord& image, const ViewGeometry& g)
{
    const DisplaySize turned = RotatedSize(image.width, image.height, g.rotation);
    PaintTurned(painter, exposed, QPoint(0, g.toolbarHeight), g.scale, turned,
                [&](int x0, int y0, int w, int h, uint32_t* out, size_t stride) {
                    RenderSkinRegion(image, g.rotation, x0, y0, w, h, out, stride);
                });
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
    PaintPicture(painter, exposed, screen, g);
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
