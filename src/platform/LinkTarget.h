#pragma once
// The seven kinds of link to a device, and where one link goes: what the link layer
// needs of a saved connection to open its transport.

#include <cstdint>

namespace sorvane {

enum class LinkKind : uint32_t {
    IrDA = 0,
    Serial = 1,
    Usb = 2,
    ActiveSync = 3,
    Wan = 4,
    Lan = 5,
    Proxy = 6,
};

struct LinkTarget {
    uint32_t kind = 0;    // a LinkKind value (stored values outside 0..6 open nothing)
    uint32_t port = 0;    // serial and USB: the port number
    uint32_t address = 0; // WAN and LAN: IPv4, first octet in the most significant byte
};

} // namespace sorvane
