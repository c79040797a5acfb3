#pragma once
// Writes the picture of a display as the client should show it after an update, for
// tests to compare with: DIR/<display>.ppm (binary P6, RGB, W x H, no view rotation) and
// DIR/<display>.raw (the frame bytes in the layout the agent sends). Each file is
// written to a temporary name and renamed, so a reader never sees half a file. Several
// connections writing the same folder overwrite each other's files.
//
// DIR/refreshes holds, as a decimal number and a newline, the Refresh Display requests
// of the connection so far, but for the one that follows each reported palette change:
// a client that opens with one refresh and refuses no update leaves "1".

#include "Colours.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane::sim {

// Returns an empty string on success, else the reason.
std::string writeFrameDump(const std::string& dir, const std::string& display, int width, int height,
                           const std::vector<Rgb>& rgb, const std::vector<uint8_t>& raw);
std::string writeRefreshCount(const std::string& dir, unsigned count);

} // namespace sorvane::sim
