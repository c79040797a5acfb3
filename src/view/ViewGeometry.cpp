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

} // namespace sorvane
