// What the connect flows take in from LAN discovery: replies, into the discovered-device
// table. The input is the datagram. (A proxy's device table is the proxy table target's.)

#include <cstddef>
#include <cstdint>
#include <span>

#include "connect/LanDiscovery.h"

using namespace sorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PasswordTable table;
    DiscoveredDevices devices(table);
    // The same datagram from many senders: the table fills and stops at its limit.
    for (uint32_t sender = 0; sender < 120; ++sender)
        if (auto d = decodeLanReply(std::span<const uint8_t>(data, size), 0x7F000000 + sender))
            devices.append(*d);
    for (size_t i = 0; i < devices.count(); ++i)
        (void)devices.device(i).name.size();
    return 0;
}
