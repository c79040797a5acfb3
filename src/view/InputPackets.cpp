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

void InputQueue::append(const InputPacket& packet, const Send& send)
{
    std::lock_guard lock(mutex_);
    if (count_ == kCapacity)
        sendLocked(send);
    std::memcpy(packets_.data() + count_ * 8, packet.data(), 8);
    ++count_;
}

size_t InputQueue::drain(const Send& send)
{
    std::lock_guard lock(mutex_);
    size_t n = count_;
    if (n)
        sendLocked(send);
    return n;
}

size_t InputQueue::count() const
{
    std::lock_guard lock(mutex_);
    return count_;
}

void InputQueue::sendLocked(const Send& send)
{
    message_.resize(8 + count_ * 8);
    BuildCommand(std::span<uint8_t, 4>(message_.data(), 4), input::kQueued);
    storeLe32(message_.data() + 4, uint32_t(count_));
    std::memcpy(message_.data() + 8, packets_.data(), count_ * 8);
    count_ = 0;
    send(message_);
}

} // namespace sorvane
