#pragma once
// The lines of the Device Information dialog, formatted from the link's device
// facts and the device's status record. sorvane-cli's `status` prints the same lines.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/DeviceRecords.h"

namespace sorvane {

// What the handshake learnt about the device.
struct DeviceFacts {
    std::string name; // device bytes, as the handshake stored them
    int width = 0;
    int height = 0;
    int depth = 0;
};

// "%d.%02d MB": whole megabytes (bytes >> 20) and the truncated hundredths of the rest.
std::string FormatMegabytes(uint32_t bytes);
// "%d%%", or "Unavailable" for 255.
std::string FormatBattery(uint8_t percent);
// The main battery: FormatBattery, then " (charging)" when the charging byte is 1 or 2.
std::string FormatMainBattery(uint8_t percent, uint8_t charging);
// "CE %d.%d, build %d" (the words as unsigned numbers).
std::string FormatOperatingSystem(uint32_t major, uint32_t minor, uint32_t build);
// The processor table's text; a code the table lacks shows as "Unknown (code)".
std::string ProcessorName(uint32_t code);
// "%d (%d colors)": the depth and 2 to its power.
std::string FormatDepth(int depth);
// Total minus free; 0 when a device reports more free than total.
uint32_t MemoryInUse(uint32_t total, uint32_t free);

// The dialog's controls, by id.
namespace info_control {
inline constexpr int VideoSize = 1014;
inline constexpr int BitDepth = 1015;
inline constexpr int MainBattery = 1016;
inline constexpr int BackupBattery = 1017;
inline constexpr int DeviceId = 1018;
inline constexpr int ProgramTotal = 1019;
inline constexpr int ProgramInUse = 1020;
inline constexpr int ProgramFree = 1021;
inline constexpr int StorageTotal = 1022;
inline constexpr int StorageInUse = 1023;
inline constexpr int StorageFree = 1024;
inline constexpr int OperatingSystem = 1025;
inline constexpr int Cpu = 1026;
inline constexpr int MemoryUtilization = 1027;
} // namespace info_control

struct InfoLine {
    int control;       // the dialog's control id
    const char* label; // which value it is, naming its memory ("Program Memory Free")
    std::string value;
};

// Every line in the dialog's order: Device ID, Video Size, Video Bit Depth, the two
// batteries, Operating System, CPU, program memory total / in use / free, storage
// memory total / in use / free, Memory Utilization.
std::vector<InfoLine> DeviceInfoLines(const DeviceFacts& facts, const DeviceStatusRecord& status);

} // namespace sorvane
