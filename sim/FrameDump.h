#pragma once
// Writes the picture of a display as the client should show it after an update, for
// tests to compare with: DIR/<display>.ppm (binary P6, RGB, W x H, no view rotation) and
// DIR/<display>.raw (the frame bytes in the layout the agent sends). Each file is
// written to a temporary name and renamed, so a reader never sees half a file. Several
// connections writing the same folder overwrite each other's files.

#include "Colours.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sorvane::sim {

// Returns an empty string on success, else the reason.
std::string writeFrameDump(const std::string& dir, const std::string& display, int width, int height,
                           const std::vector<Rgb>& rgb, const std::vector<uint8_t>& raw);

} // namespace sorvane::sim
