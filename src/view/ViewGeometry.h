#pragma once
// Where the device picture sits in a device window: scale, rotation, skin offset and
// toolbar height, and the mappings between picture, window and device coordinates.
// Rotations are clockwise; a picture point (x, y) of a W x H picture turned by 90 lands
// at (H - 1 - y, x). Pure functions, any thread.

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

struct DevicePoint {
    int x = 0, y = 0;
    bool operator==(const DevicePoint&) const = default;
};

// InvalidateChanged: the window area that shows the inclusive picture rectangle
// l..r, t..b of a W x H display.
WindowRect InvalidateChanged(const ViewGeometry& g, int W, int H, int l, int r, int t, int b);

// WindowToDevice: a client point to device pixels (the inverse of the picture mapping).
// W, H: the main display's size. Points outside the picture map outside 0..W-1/0..H-1.
DevicePoint WindowToDevice(const ViewGeometry& g, int W, int H, int clientX, int clientY);

// The client area that fits the content (W x H, or a skin of that size) at this scale and
// rotation, including the toolbar.
void FitClientSize(const ViewGeometry& g, int contentWidth, int contentHeight, int& clientWidth, int& clientHeight);

} // namespace sorvane
