#pragma once
// The agent's answer to the device information command (92): 332 bytes,
// little-endian.
//
//   offset  size  field
//        0     4  depth            main display bits per pixel
//        4     4  width
//        8     4  height
//       12     4  orientation      degrees
//       16     4  altDepth         second display (0: none)
//       20     4  altWidth
//       24     4  altHeight
//       28     4  altOrientation
//       32     4  unread32         not used
//       36     4  spareInfo        device information word
//       40     4  unread40         not used
//       44   256  name             NUL-terminated
//      300    32  password         NUL-terminated; empty = none

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/DisplayGeometry.h"

namespace sorvane {

struct DeviceInfoBlock {
    static constexpr size_t kSize = 332;

    int32_t depth = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t orientation = 0;
    int32_t altDepth = 0;
    int32_t altWidth = 0;
    int32_t altHeight = 0;
    int32_t altOrientation = 0;

    // The screen facts as one value.
    DisplayGeometry display() const
    {
        return DisplayGeometry{depth, width, height, orientation, altDepth, altWidth, altHeight, altOrientation};
    }
    uint32_t unread32 = 0;
    int32_t spareInfo = 0;
    uint32_t unread40 = 0;
    std::array<uint8_t, 256> name{};
    std::array<uint8_t, 32> password{};

    std::string_view nameView() const;     // at most 256 characters
    std::string_view passwordView() const; // at most 32 characters
    void setName(std::string_view s);      // cut to 255 characters
    void setPassword(std::string_view s);  // cut to 31 characters

    void encode(std::span<uint8_t, kSize> out) const;
    static DeviceInfoBlock decode(std::span<const uint8_t, kSize> in);

    bool operator==(const DeviceInfoBlock&) const = default;
};

} // namespace sorvane
