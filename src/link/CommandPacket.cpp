#include "link/CommandPacket.h"

#include <cstring>

#include "link/LinkTransport.h"
#include "platform/ByteOrder.h"

namespace sorvane {

void BuildCommand(std::span<uint8_t, kCommandPacketSize> out, uint8_t code)
{
    out[0] = code;
    out[1] = kPacketMarker;
    out[2] = code;
    out[3] = kPacketEnd;
}

std::array<uint8_t, kCommandPacketSize> commandPacket(uint8_t code)
{
    std::array<uint8_t, kCommandPacketSize> p;
    BuildCommand(p, code);
    return p;
}

std::vector<uint8_t> BuildPathMessage(uint8_t code, std::string_view path)
{
    std::vector<uint8_t> m(8 + path.size() + 1, 0);
    BuildCommand(std::span<uint8_t, 4>(m.data(), 4), code);
    storeLe32(m.data() + 4, uint32_t(path.size() + 1));
    std::memcpy(m.data() + 8, path.data(), path.size());
    return m;
}

size_t SendCommand(LinkSlot& link, Clock& clock, uint8_t code)
{
    auto p = commandPacket(code);
    return LinkSend(link, clock, p);
}

uint8_t ReadReply(LinkSlot& link, Clock& clock)
{
    uint8_t b[kCommandPacketSize];
    if (LinkRecv(link, clock, b) < kCommandPacketSize)
        return 0;
    if (b[1] == kPacketMarker && b[3] == kPacketEnd && b[0] == b[2])
        return b[0];
    if (b[0] == kPacketEnd && b[2] == kPacketMarker && b[1] == b[3]) {
        // One byte late: the 0x11 of an earlier packet, then c, 0xFF, c. The packet's
        // own 0x11 follows; it is taken without a check.
        uint8_t last;
        LinkRecv(link, clock, std::span<uint8_t>(&last, 1));
        return b[1];
    }
    for (uint8_t v : b)
        if (v == kPacketMarker || v == kPacketEnd) {
            uint8_t drop;
            LinkRecv(link, clock, std::span<uint8_t>(&drop, 1));
            return 0;
        }
    return 0;
}

std::vector<uint8_t> CommandMessage(uint8_t code)
{
    std::vector<uint8_t> m(kCommandPacketSize);
    BuildCommand(std::span<uint8_t, kCommandPacketSize>(m.data(), kCommandPacketSize), code);
    return m;
}

} // namespace sorvane
