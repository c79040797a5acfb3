#include "view/ViewGeometry.h"

#include <algorithm>
#include <cstdint>

namespace sorvane {

WindowRect InvalidateChanged(const ViewGeometry& g, int W, int H, const DeviceRect& area)
{
    const int l = area.left, r = area.right - 1, t = area.top, b = area.bottom - 1;
    int l2 = l, r2 = r, t2 = t, b2 = b;
    switch (g.rotation) {
    case 90:
        l2 = H - 1 - b;
        r2 = H - 1 - t;
        t2 = l;
        b2 = r;
        break;
    case 180:
        l2 = W - 1 - r;
        r2 = W - 1 - l;
        t2 = H - 1 - b;
        b2 = H - 1 - t;
        break;
    case 270:
        l2 = t;
        r2 = b;
        t2 = W - 1 - r;
        b2 = W - 1 - l;
        break;
    default:
        break;
    }
    const int s = g.scale;
    return WindowRect{(g.skinX + l2) * s, (g.skinY + t2) * s + g.toolbarHeight, (g.skinX + r2 + 1) * s,
                      (g.skinY + b2 + 1) * s + g.toolbarHeight};
}

namespace {

// A point of the picture before rotation (u, v) in device pixels.
DevicePoint turnToDevice(const ViewGeometry& g, int W, int H, int u, int v)
{
    switch (g.rotation) {
    case 90:
        return {v, H - 1 - u};
    case 180:
        return {W - 1 - u, H - 1 - v};
    case 270:
        return {W - 1 - v, u};
    default:
        return {u, v};
    }
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

DevicePoint WindowToDevice(const ViewGeometry& g, int W, int H, int clientX, int clientY)
{
    // Client coordinates arrive as unsigned 16-bit values.
    const int mx = uint16_t(clientX), my = uint16_t(clientY);
    const int s = g.scale > 0 ? g.scale : 1;
    return turnToDevice(g, W, H, mx / s - g.skinX, (my - g.toolbarHeight) / s - g.skinY);
}

DeviceRect WindowBandToDevice(const ViewGeometry& g, int W, int H, int ax, int ay, int bx, int by)
{
    const int s = g.scale > 0 ? g.scale : 1;
    auto map = [&](int x, int y) {
        return turnToDevice(g, W, H, floorDiv(x, s) - g.skinX, floorDiv(y - g.toolbarHeight, s) - g.skinY);
    };
    const DevicePoint a = map(ax, ay), b = map(bx, by);
    const DeviceRect r{std::max(0, std::min(a.x, b.x)), std::max(0, std::min(a.y, b.y)),
                       std::min(W, std::max(a.x, b.x) + 1), std::min(H, std::max(a.y, b.y) + 1)};
    return r.empty() ? DeviceRect{} : r;
}

void FitClientSize(const ViewGeometry& g, int contentWidth, int contentHeight, int& clientWidth, int& clientHeight)
{
    int w = contentWidth * g.scale, h = contentHeight * g.scale;
    if (g.rotation == 90 || g.rotation == 270) {
        int t = w;
        w = h;
        h = t;
    }
    clientWidth = w;
    clientHeight = h + g.toolbarHeight;
}

FittedPicture FitPicture(int W, int H, int roomWidth, int roomHeight)
{
    FittedPicture f;
    if (W <= 0 || H <= 0 || roomWidth <= 0 || roomHeight <= 0)
        return f;
    const int k = std::min(roomWidth / W, roomHeight / H);
    if (k >= 1)
        return {k, W * k, H * k};
    // Width-limited when roomWidth / W <= roomHeight / H (compared without division).
    if (int64_t(roomWidth) * H <= int64_t(roomHeight) * W)
        return {0, roomWidth, int(std::max<int64_t>(1, int64_t(roomWidth) * H / W))};
    return {0, int(std::max<int64_t>(1, int64_t(roomHeight) * W / H)), roomHeight};
}

namespace {

// floor(a / b) for b > 0.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

WindowRect ShownArea(int W, int H, int shownW, int shownH, const DeviceRect& area)
{
    if (W <= 0 || H <= 0)
        return {};
    // Shown column c shows device column floor((2c + 1) W / 2w): the first column showing
    // device column L is the least c with (2c + 1) W >= 2 L w.
    auto first = [](int64_t device, int64_t n, int64_t shown) {
        return int(std::max<int64_t>(0, floorDiv(2 * device * shown - n + 2 * n - 1, 2 * n)));
    };
    WindowRect r;
    r.left = first(area.left, W, shownW);
    r.top = first(area.top, H, shownH);
    r.right = std::min(shownW, first(area.right, W, shownW));
    r.bottom = std::min(shownH, first(area.bottom, H, shownH));
    return r;
}

DevicePoint ShownToDevice(int W, int H, int shownW, int shownH, int x, int y)
{
    if (shownW <= 0 || shownH <= 0)
        return {-1, -1};
    return {int(floorDiv((2 * int64_t(x) + 1) * W, 2 * int64_t(shownW))),
            int(floorDiv((2 * int64_t(y) + 1) * H, 2 * int64_t(shownH)))};
}

} // namespace sorvane
