#pragma once
// The 384-byte link record of one connection. A proxy server sends its device table
// as records of exactly this layout, so every byte is kept, the unused words and the
// 32 trailing bytes included.
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
//       32     4  spareInfo        device information word, stored as received
//       36     4  linkKind         0..6
//       40     4  port             COM / USB port number, or proxy TCP port
//       44     8  proxyWords[2]    unused here; a proxy's "in use" flag is the first
//       52     4  bytesSent
//       56     4  bytesReceived
//       60     4  keyPresses
//       64     4  mouseClicks
//       68     4  handle           the sender's transport handle; 0 = none
//       72    20  spareWords[5]    unused
//       92     4  ipAddress
//       96   256  deviceName       NUL-terminated; empty = slot free
//      352    32  tail             unused
// All numbers little-endian.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace sorvane {

struct LinkRecord {
    static constexpr size_t kSize = 384;
    static constexpr size_t kNameSize = 256;

    int32_t depth = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t orientation = 0;
    int32_t altDepth = 0;
    int32_t altWidth = 0;
    int32_t altHeight = 0;
    int32_t altOrientation = 0;
    int32_t spareInfo = 0;
    uint32_t linkKind = 0;
    uint32_t port = 0;
    std::array<uint32_t, 2> proxyWords{};
    uint32_t bytesSent = 0;
    uint32_t bytesReceived = 0;
    uint32_t keyPresses = 0;
    uint32_t mouseClicks = 0;
    uint32_t handle = 0;
    std::array<uint32_t, 5> spareWords{};
    uint32_t ipAddress = 0;
    std::array<uint8_t, kNameSize> deviceName{};
    std::array<uint8_t, 32> tail{};

    std::string_view deviceNameView() const; // up to the first NUL (at most 256 characters)
    void setDeviceName(std::string_view s);  // cut to 255 characters

    void encode(std::span<uint8_t, kSize> out) const;
    static LinkRecord decode(std::span<const uint8_t, kSize> in);

    bool operator==(const LinkRecord&) const = default;
};

} // namespace sorvane
