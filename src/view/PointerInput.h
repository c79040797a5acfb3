#pragma once
// Mouse input in the device window turned into input packets, without a window: the
// client point is mapped through the view (scale, rotation, skin offset, toolbar) onto
// the display in use, presses become taps, drags become moves while the left button's
// press went to the device, and the 176-pixel-wide device, whose screen takes no taps,
// turns a press in its bottom strip (rows 200..219) into its left or right soft key
// (F1 or F2, down and up).
//
// Thread: the window's.

#include <cstdint>
#include <vector>

#include "view/InputPackets.h"
#include "view/ViewGeometry.h"

namespace sorvane {

enum class PointerAction { Press, DoublePress, Release, Move };
enum class PointerButton { None, Left, Right };

struct PointerResult {
    std::vector<InputPacket> packets;
    int clicks = 0; // presses that count as mouse clicks on the link's counter
};

class PointerInput {
public:
    // displayWidth x displayHeight: the display in use. leftHeld: the left button is
    // down during a move.
    PointerResult map(const ViewGeometry& view, int displayWidth, int displayHeight, PointerAction action,
                      PointerButton button, bool leftHeld, int clientX, int clientY);

private:
    bool leftTap_ = false; // the left button's press went to the device as a tap
};

} // namespace sorvane
