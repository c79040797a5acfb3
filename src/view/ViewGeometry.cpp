#include "view/ViewGeometry.h"

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

DevicePoint WindowToDevice(const ViewGeometry& g, int W, int H, int clientX, int clientY)
{
    // Client coordinates arrive as unsigned 16-bit values.
    const int mx = uint16_t(clientX), my = uint16_t(clientY);
    const int s = g.scale > 0 ? g.scale : 1;
    const int u = mx / s - g.skinX;
    const int v = (my - g.toolbarHeight) / s - g.skinY;
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
