#pragma once
// Where the device picture sits in one view of a connection: scale, rotation, skin
// offset and toolbar height, and the mappings between device and window coordinates.
// Each view keeps its own; the connection knows only device coordinates.
// Rotations are clockwise; a picture point (x, y) of a W x H picture turned by 90 lands
// at (H - 1 - y, x). Pure functions, any thread.

#include <algorithm>

namespace sorvane {

struct ViewGeometry {
    int scale = 1;       // 1..4
    int rotation = 0;    // 0, 90, 180, 270
    int skinX = 0;       // picture position inside the shown skin, unscaled
    int skinY = 0;
    int toolbarHeight = 0;
};

// A window area: left/top inclusive, right/bottom exclusive.
struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

// An area of the display in use, in device pixels before any scale or rotation:
// left/top inclusive, right/bottom exclusive.
struct DeviceRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const DeviceRect&) const = default;
    bool empty() const { return right <= left || bottom <= top; }
    // The smallest area that holds both (an empty one adds nothing).
    DeviceRect united(const DeviceRect& o) const
    {
        if (o.empty())
            return *this;
        if (empty())
            return o;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
};

struct DevicePoint {
    int x = 0, y = 0;
    bool operator==(const DevicePoint&) const = default;
};

// InvalidateChanged: the window area that shows `area` of a W x H display.
WindowRect InvalidateChanged(const ViewGeometry& g, int W, int H, const DeviceRect& area);

// WindowToDevice: a client point to device pixels (the inverse of the picture mapping).
// W, H: the main display's size. Points outside the picture map outside 0..W-1/0..H-1.
DevicePoint WindowToDevice(const ViewGeometry& g, int W, int H, int clientX, int clientY);

// WindowBandToDevice: the device pixels a rubber band drawn between two client points
// covers (the pixels under both corners included) on a W x H display, clipped to it;
// empty when the band misses the picture. Points may lie outside the client area.
DeviceRect WindowBandToDevice(const ViewGeometry& g, int W, int H, int ax, int ay, int bx, int by);

// The client area that fits the content (W x H, or a skin of that size) at this scale and
// rotation, including the toolbar.
void FitClientSize(const ViewGeometry& g, int contentWidth, int contentHeight, int& clientWidth, int& clientHeight);

// A picture of W x H device pixels shown in a box of its own (a grid's tile), aspect
// kept: at the largest whole factor that fits (factor >= 1, size W x H times it), or,
// when W x H does not fit at 1, at the largest size that fits (factor 0). Each shown
// pixel then takes the device pixel under its centre, per axis: column c of w shown
// columns shows device column floor((2c + 1) * W / (2w)).
struct FittedPicture {
    int factor = 0;            // the whole factor; 0: smaller than the device
    int width = 0, height = 0; // shown size, at least 1 x 1 for a picture that has pixels
};
FittedPicture FitPicture(int W, int H, int roomWidth, int roomHeight);

// The shown area (in the picture's own coordinates, 0..shown) that a change of `area` on
// a W x H display repaints when the display is shown at shownW x shownH.
WindowRect ShownArea(int W, int H, int shownW, int shownH, const DeviceRect& area);

// The device pixel under shown point (x, y) of a W x H display shown at shownW x shownH;
// points outside the shown picture map outside 0..W-1 / 0..H-1.
DevicePoint ShownToDevice(int W, int H, int shownW, int shownH, int x, int y);

} // namespace sorvane
