#pragma once
// The two records the device tools read from the agent, little-endian.
//
// DeviceStatusRecord, the 48-byte answer to 'o':
//   offset  type  field
//        0  u32   osMajor            "CE %d.%d, build %d"
//        4  u32   osMinor
//        8  u32   osBuild
//       12  u32   programTotal       bytes
//       16  u32   programFree
//       20  u32   unread20           not shown
//       24  u32   unread24           not shown
//       28  u32   storageTotal
//       32  u32   storageFree
//       36  u32   processorType      the processor table's code
//       40  u8    mainBattery        percent; 255 = not available
//       41  u8    backupBattery      percent; 255 = not available
//       42  u8    charging           1 or 2 = charging
//       43  u8    unread43           not shown
//       44  u32   memoryLoad         its low byte is a percentage
//
// ProcessRecord, 256 bytes, one per process in the answer to 'x':
//   offset  type       field
//        0  u32        processId      sent back with Kill ('w')
//        4  u32        windowHandle   the main window; 0 = none (sent back with Activate, 'p')
//        8  char[124]  name           NUL-terminated
//      132  char[124]  title          the main window's title, NUL-terminated

#include <cstdint>
#include <span>
#include <string>

namespace sorvane {

struct DeviceStatusRecord {
    static constexpr size_t kSize = 48;

    uint32_t osMajor = 0;
    uint32_t osMinor = 0;
    uint32_t osBuild = 0;
    uint32_t programTotal = 0;
    uint32_t programFree = 0;
    uint32_t unread20 = 0;
    uint32_t unread24 = 0;
    uint32_t storageTotal = 0;
    uint32_t storageFree = 0;
    uint32_t processorType = 0;
    uint8_t mainBattery = 0;
    uint8_t backupBattery = 0;
    uint8_t charging = 0;
    uint8_t unread43 = 0;
    uint32_t memoryLoad = 0;

    void encode(std::span<uint8_t, kSize> out) const;
    static DeviceStatusRecord decode(std::span<const uint8_t, kSize> in);
    bool operator==(const DeviceStatusRecord&) const = default;
};

struct ProcessRecord {
    static constexpr size_t kSize = 256;
    static constexpr size_t kTextField = 124;

    uint32_t processId = 0;
    uint32_t windowHandle = 0;
    std::string name;  // device bytes (Windows-1252), at most 123 on encoding
    std::string title; // device bytes; a field without a NUL gives all 124

    void encode(std::span<uint8_t, kSize> out) const;
    static ProcessRecord decode(std::span<const uint8_t, kSize> in);
    bool operator==(const ProcessRecord&) const = default;
};

} // namespace sorvane
