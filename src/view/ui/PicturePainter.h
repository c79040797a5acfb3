#pragma once
// The one rule by which every view of a device paints its picture, and the way the
// changes a connection reports reach a view's widget as repaints of just those areas.
//
// Paint rule: each physical pixel of the target shows the device pixel under its
// centre, so the picture is nearest-neighbour at every scale and at every device-pixel
// ratio (1.5 included): never smoothed, and a repaint of any part gives the very
// pixels a paint of the whole gives there.
//
// Thread: user-interface thread, except ViewDamage::add (any thread).

#include <functional>
#include <mutex>
#include <vector>

#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "screen/ScreenState.h"
#include "screen/ShownPicture.h"
#include "view/ViewGeometry.h"

namespace sorvane {

// Paints the part of the shown picture (ShownPicture) that `exposed` covers, in the
// painter's logical coordinates, where g places it: at (skinX * scale, skinY * scale +
// toolbarHeight), scaled by g.scale (1..4) and turned by g.rotation. Takes the screen's
// picture mutex only while it reads the picture. The painter paints in its device's own
// coordinates (no world transform of its own); its device tells the pixel ratio.
void PaintPicture(QPainter& painter, const QRect& exposed, ScreenState& screen, const ViewGeometry& g);

// The same rule for a picture shown at any size (a grid's tile, FitPicture): the shown
// picture turned by `rotation` is drawn over target(its turned size), logical pixels.
void PaintPictureInto(QPainter& painter, const QRect& exposed, ScreenState& screen, int rotation,
                      const std::function<QRect(DisplaySize)>& target);

// The same rule for anything shown as a turned picture of `shown` size at `origin`
// (logical) scaled by s: render(x0, y0, w, h, out, stride) writes the turned pixels
// x0..x0+w-1, y0..y0+h-1 as 0xFFRRGGBB words (rows of stride words), and is called once.
using TurnedRender = std::function<void(int x0, int y0, int w, int h, uint32_t* out, size_t stride)>;
void PaintTurned(QPainter& painter, const QRect& exposed, QPoint origin, int s, DisplaySize shown,
                 const TurnedRender& render);

// Areas of the display in use a connection reported changed for one view, kept apart (a
// change in each corner repaints the two corners, not what lies between) until the
// view's thread takes them.
class ViewDamage {
public:
    // Any thread. True when nothing was waiting: the caller then asks the view's thread
    // to call repaint() (one request however many changes arrive before it runs).
    bool add(const DeviceRect& area);
    // The areas waiting (the caller maps and repaints them), forgotten here.
    std::vector<DeviceRect> take();
    // Asks `widget` to repaint every area waiting, each mapped through g onto a display of
    // size d (InvalidateChanged), and forgets them.
    void repaint(QWidget& widget, const ViewGeometry& g, DisplaySize d);

private:
    static constexpr size_t kMaxAreas = 8; // beyond: the last area takes in the rest
    std::mutex mutex_;
    std::vector<DeviceRect> areas_;
    bool pending_ = false;
};

} // namespace sorvane
