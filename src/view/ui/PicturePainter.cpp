#include "view/ui/PicturePainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include <QImage>
#include <QTransform>

#include "view/PictureRender.h"

namespace sorvane {

namespace {

// What one paint draws: the physical pixels from (left, top) on, and for each column and
// row of them the column and row of the rendered part (`source`, turned pixels at 1x)
// whose pixel lies under its centre.
struct Plan {
    qreal ratio = 1;
    int left = 0, top = 0;
    std::vector<int> columns, rows;
    QRect source;
};

// The physical pixels of one line that touch logical from..to-1, each with the device
// pixel under its centre: the picture's n pixels are shown over `length` logical pixels
// from logical `origin` on (n * s of them at a whole scale s), so logical position p
// lies over pixel floor((p - origin) * n / length). Pixels whose centre lies off the
// picture are left out. Returns the first kept.
int planLine(qreal d, int from, int to, int origin, int length, int n, std::vector<int>& map)
{
    const int first = int(std::floor(from * d)), last = int(std::ceil(to * d));
    const int whole = length % n == 0 ? length / n : 0; // a whole scale
    int start = last;
    for (int x = first; x < last; ++x) {
        const double at = (x + 0.5) / d - origin;
        const int c = int(std::floor(whole ? at / whole : at * n / length));
        if (c < 0 || c >= n)
            continue;
        if (map.empty())
            start = x;
        map.push_back(c);
    }
    return start;
}

// `target`: where the picture of `shown` size lies, in logical pixels.
bool planArea(qreal d, const QRect& exposed, const QRect& target, DisplaySize shown, Plan& p)
{
    const QRect area = exposed & target;
    if (area.isEmpty() || shown.width <= 0 || shown.height <= 0)
        return false;
    p.ratio = d;
    p.left = planLine(d, area.left(), area.right() + 1, target.left(), target.width(), shown.width, p.columns);
    p.top = planLine(d, area.top(), area.bottom() + 1, target.top(), target.height(), shown.height, p.rows);
    if (p.columns.empty() || p.rows.empty())
        return false;
    p.source = QRect(QPoint(p.columns.front(), p.rows.front()), QPoint(p.columns.back(), p.rows.back()));
    for (int& c : p.columns)
        c -= p.source.left();
    for (int& r : p.rows)
        r -= p.source.top();
    return true;
}

QRect scaledTarget(QPoint origin, int s, DisplaySize shown)
{
    return QRect(origin, QSize(shown.width * s, shown.height * s));
}

QImage renderSource(const Plan& p, const TurnedRender& render)
{
    QImage part(p.source.size(), QImage::Format_RGB32);
    render(p.source.left(), p.source.top(), part.width(), part.height(), reinterpret_cast<uint32_t*>(part.bits()),
           size_t(part.bytesPerLine() / 4));
    return part;
}

// The part repeated onto the physical pixels (nothing to do at one physical pixel per
// device pixel).
QImage expand(const Plan& p, QImage part)
{
    const int w = int(p.columns.size()), h = int(p.rows.size());
    if (w == part.width() && h == part.height())
        return part;
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out.scanLine(y));
        if (y > 0 && p.rows[size_t(y)] == p.rows[size_t(y - 1)]) {
            std::memcpy(row, out.constScanLine(y - 1), size_t(w) * 4);
            continue;
        }
        const auto* in = reinterpret_cast<const uint32_t*>(part.constScanLine(p.rows[size_t(y)]));
        for (int x = 0; x < w; ++x)
            row[x] = in[p.columns[size_t(x)]];
    }
    return out;
}

// Draws the physical pixels 1:1: with the pixel ratio undone, the painter only blits.
void draw(QPainter& painter, const Plan& p, const QImage& image)
{
    if (p.ratio == 1) {
        painter.drawImage(QPoint(p.left, p.top), image);
        return;
    }
    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1 / p.ratio, 1 / p.ratio), true);
    painter.drawImage(QPoint(p.left, p.top), image);
    painter.restore();
}

qreal ratioOf(const QPainter& painter)
{
    return painter.device() ? painter.device()->devicePixelRatio() : 1.0;
}

} // namespace

void PaintTurned(QPainter& painter, const QRect& exposed, QPoint origin, int s, DisplaySize shown,
                 const TurnedRender& render)
{
    Plan p;
    if (!planArea(ratioOf(painter), exposed, scaledTarget(origin, std::clamp(s, 1, 4), shown), shown, p))
        return;
    draw(painter, p, expand(p, renderSource(p, [&](int x0, int y0, int w, int h, uint32_t* out, size_t stride) {
                         for (int y = 0; y < h; ++y)
                             std::fill_n(out + size_t(y) * stride, w, 0xFF000000u);
                         render(x0, y0, w, h, out, stride);
                     })));
}

void PaintPicture(QPainter& painter, const QRect& exposed, ScreenState& screen, const ViewGeometry& g)
{
    const int s = std::clamp(g.scale, 1, 4);
    const QPoint origin(g.skinX * s, g.skinY * s + g.toolbarHeight);
    PaintPictureInto(painter, exposed, screen, g.rotation, [&](DisplaySize shown) {
        return scaledTarget(origin, s, shown);
    });
}

void PaintPictureInto(QPainter& painter, const QRect& exposed, ScreenState& screen, int rotation,
                      const std::function<QRect(DisplaySize)>& target)
{
    Plan p;
    QImage part;
    {
        // Only the exposed part is converted, under the picture lock; it is spread onto
        // the physical pixels and drawn after the lock is released.
        std::lock_guard lock(screen.pictureMutex);
        const Picture* picture = ShownPicture(screen);
        if (!picture || !picture->exists())
            return;
        const DisplaySize shown = RotatedSize(picture->width, picture->height, rotation);
        if (!planArea(ratioOf(painter), exposed, target(shown), shown, p))
            return;
        part = renderSource(p, [&](int x0, int y0, int w, int h, uint32_t* out, size_t stride) {
            RenderRotatedRegion(*picture, rotation, x0, y0, w, h, out, stride);
        });
    }
    draw(painter, p, expand(p, std::move(part)));
}

bool ViewDamage::add(const DeviceRect& area)
{
    if (area.empty())
        return false;
    std::lock_guard lock(mutex_);
    const auto meets = [&](const DeviceRect& a) {
        return a.left <= area.right && area.left <= a.right && a.top <= area.bottom && area.top <= a.bottom;
    };
    const auto it = std::find_if(areas_.begin(), areas_.end(), meets);
    if (it != areas_.end())
        *it = it->united(area);
    else if (areas_.size() < kMaxAreas)
        areas_.push_back(area);
    else
        areas_.back() = areas_.back().united(area);
    return !std::exchange(pending_, true);
}

std::vector<DeviceRect> ViewDamage::take()
{
    std::vector<DeviceRect> areas;
    std::lock_guard lock(mutex_);
    pending_ = false;
    areas.swap(areas_);
    return areas;
}

void ViewDamage::repaint(QWidget& widget, const ViewGeometry& g, DisplaySize d)
{
    for (const DeviceRect& a : take()) {
        const WindowRect r = InvalidateChanged(g, d.width, d.height, a);
        widget.update(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
    }
}

} // namespace sorvane
