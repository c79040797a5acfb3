#pragma once
// Names of serial ports: the device path this system opens for a port number.

#include <cstdint>
#include <string>
#include <string_view>

namespace sorvane {

// Replaces every "{n}" in pattern with port and every "{n-1}" with port - 1 (port 0
// gives "-1" there, which names no device).
std::string devicePathForPort(std::string_view pattern, uint32_t port);

} // namespace sorvane
