#pragma once
// One view of a connection: a device window, a grid cell, a test harness. A connection
// has any number of them; each keeps its own geometry (scale, rotation, skin) and maps
// what the connection reports, and its own pointer positions (PointerInput), itself.
//
// Threads: the calls come on the connection thread and must only queue work (never
// wait on the view's own thread, never call attach or detach).

#include "view/ViewGeometry.h"

namespace sorvane {

class ConnectionView {
public:
    virtual ~ConnectionView() = default;
    // Pixels of the display in use changed, in device (display) coordinates, before any
    // scale or rotation.
    virtual void invalidate(const DeviceRect& area) = 0;
    // The pictures were rebuilt (the display's size may have changed): repaint
    // everything, refit if needed.
    virtual void repaintAll() = 0;
    // True while this view is minimised or hidden (read on the connection thread: keep
    // it atomic).
    virtual bool hidden() const = 0;
};

} // namespace sorvane
