#include "link/DeviceInfoBlock.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

std::string_view DeviceInfoBlock::nameView() const { return fixedString(name); }
std::string_view DeviceInfoBlock::passwordView() const { return fixedString(password); }
void DeviceInfoBlock::setName(std::string_view s) { storeFixedString(name, s); }
void DeviceInfoBlock::setPassword(std::string_view s) { storeFixedString(password, s); }

void DeviceInfoBlock::encode(std::span<uint8_t, kSize> out) const
{
    const uint32_t words[11] = {
        uint32_t(depth), uint32_t(width), uint32_t(height), uint32_t(orientation),
        uint32_t(altDepth), uint32_t(altWidth), uint32_t(altHeight), uint32_t(altOrientation),
        unread32, uint32_t(spareInfo), unread40,
    };
    for (size_t i = 0; i < 11; ++i)
        storeLe32(out.data() + 4 * i, words[i]);
    std::memcpy(out.data() + 44, name.data(), name.size());
    std::memcpy(out.data() + 300, password.data(), password.size());
}

DeviceInfoBlock DeviceInfoBlock::decode(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    DeviceInfoBlock b;
    b.depth = loadLe32s(p + 0);
    b.width = loadLe32s(p + 4);
    b.height = loadLe32s(p + 8);
    b.orientation = loadLe32s(p + 12);
    b.altDepth = loadLe32s(p + 16);
    b.altWidth = loadLe32s(p + 20);
    b.altHeight = loadLe32s(p + 24);
    b.altOrientation = loadLe32s(p + 28);
    b.unread32 = loadLe32(p + 32);
    b.spareInfo = loadLe32s(p + 36);
    b.unread40 = loadLe32(p + 40);
    std::memcpy(b.name.data(), p + 44, b.name.size());
    std::memcpy(b.password.data(), p + 300, b.password.size());
    return b;
}

} // namespace sorvane
