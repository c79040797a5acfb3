#include "view/InputPackets.h"

#include <cstring>

#include "link/CommandPacket.h"
#include "platform/ByteOrder.h"

namespace sorvane {

InputPacket MakeMousePacket(uint8_t code, int x, int y)
{
    InputPacket p{};
    BuildCommand(std::span<uint8_t, 4>(p.data(), 4), code);
    storeLe16(p.data() + 4, uint16_t(x));
    storeLe16(p.data() + 6, uint16_t(y));
    return p;
}

InputPacket MakeKeyPacket(uint8_t code, uint8_t virtualKey, uint8_t repeat)
{
    InputPacket p{};
    BuildCommand(std::span<uint8_t, 4>(p.data(), 4), code);
    p[4] = virtualKey;
    p[5] = repeat;
    return p;
}

uint8_t TranslateKey(uint8_t vk)
{
    if (vk == 0x72)
        return 0x5B;
    if (vk >= 0x60 && vk <= 0x69)
        return uint8_t(vk - 0x60 + 0x30);
    return vk;
}

std::vector<uint8_t> QueuedInputMessage(std::span<const InputPacket> packets)
{
    std::vector<uint8_t> m(8 + packets.size() * 8);
    BuildCommand(std::span<uint8_t, kCommandPacketSize>(m.data(), kCommandPacketSize), input::kQueued);
    storeLe32(m.data() + 4, uint32_t(packets.size()));
    for (size_t i = 0; i < packets.size(); ++i)
        std::memcpy(m.data() + 8 + i * 8, packets[i].data(), 8);
    return m;
}

} // namespace sorvane
