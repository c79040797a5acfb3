#pragma once
// Names of serial ports: the device path this system opens for a port number, and the
// handheld world's own names of the same ports ("COM3:", "\\.\WCEUSBSH007").

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvane {

// Replaces every "{n}" in pattern with port and every "{n-1}" with port - 1 (port 0
// gives "-1" there, which names no device).
std::string devicePathForPort(std::string_view pattern, uint32_t port);

std::string comPortName(uint32_t port); // "COM%d:"
std::string usbPortName(uint32_t port); // "\\.\WCEUSBSH%03d"

} // namespace sorvane
