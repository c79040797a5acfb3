#pragma once
// The screen facts of a device: its main display and, when altDepth is not 0, its
// second display, as the device information block gives them. One type for every
// place that carries them (the information block, the link slot, the pictures).

#include <cstdint>

namespace sorvane {

struct DisplayGeometry {
    int32_t depth = 0, width = 0, height = 0, orientation = 0;
    int32_t altDepth = 0, altWidth = 0, altHeight = 0, altOrientation = 0;
    bool operator==(const DisplayGeometry&) const = default;
};

} // namespace sorvane
