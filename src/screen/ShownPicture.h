#pragma once
// Which picture a connection shows, and that picture as plain RGB.
//
// Thread: callers hold the ScreenState's picture mutex while they read.

#include <cstdint>
#include <vector>

#include "screen/ScreenState.h"

namespace sorvane {

struct DisplaySize {
    int width = 0, height = 0;
    bool operator==(const DisplaySize&) const = default;
};

// The size of the display in use (SecondDisplayInUse), in the device's pixels.
DisplaySize DisplayInUse(const ScreenState& screen);

// The picture the window shows for the display in use: the second display's in flip
// state; the 4-bit picture for 4- and 2-bit devices and in low colour mode; else the
// picture at the device's depth. nullptr when there is none.
const Picture* ShownPicture(const ScreenState& state);

// The picture's pixels as rows of red, green, blue bytes (width x 3 per row, no
// padding): 565 pixels widened with integer arithmetic, indexed pixels through the
// picture's colour table.
std::vector<uint8_t> PictureToRgb(const Picture& picture);

} // namespace sorvane
