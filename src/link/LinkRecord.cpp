#include "link/LinkRecord.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

std::string_view LinkRecord::deviceNameView() const { return fixedString(deviceName); }

void LinkRecord::setDeviceName(std::string_view s) { storeFixedString(deviceName, s); }

void LinkRecord::encode(std::span<uint8_t, kSize> out) const
{
    const uint32_t words[23] = {
        uint32_t(depth), uint32_t(width), uint32_t(height), uint32_t(orientation),
        uint32_t(altDepth), uint32_t(altWidth), uint32_t(altHeight), uint32_t(altOrientation),
        uint32_t(spareInfo), linkKind, port, proxyWords[0], proxyWords[1],
        bytesSent, bytesReceived, keyPresses, mouseClicks, handle,
        spareWords[0], spareWords[1], spareWords[2], spareWords[3], spareWords[4],
    };
    for (size_t i = 0; i < 23; ++i)
        storeLe32(out.data() + 4 * i, words[i]);
    storeLe32(out.data() + 92, ipAddress);
    std::memcpy(out.data() + 96, deviceName.data(), deviceName.size());
    std::memcpy(out.data() + 352, tail.data(), tail.size());
}

LinkRecord LinkRecord::decode(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    LinkRecord r;
    r.depth = loadLe32s(p + 0);
    r.width = loadLe32s(p + 4);
    r.height = loadLe32s(p + 8);
    r.orientation = loadLe32s(p + 12);
    r.altDepth = loadLe32s(p + 16);
    r.altWidth = loadLe32s(p + 20);
    r.altHeight = loadLe32s(p + 24);
    r.altOrientation = loadLe32s(p + 28);
    r.spareInfo = loadLe32s(p + 32);
    r.linkKind = loadLe32(p + 36);
    r.port = loadLe32(p + 40);
    r.proxyWords = {loadLe32(p + 44), loadLe32(p + 48)};
    r.bytesSent = loadLe32(p + 52);
    r.bytesReceived = loadLe32(p + 56);
    r.keyPresses = loadLe32(p + 60);
    r.mouseClicks = loadLe32(p + 64);
    r.handle = loadLe32(p + 68);
    for (size_t i = 0; i < 5; ++i)
        r.spareWords[i] = loadLe32(p + 72 + 4 * i);
    r.ipAddress = loadLe32(p + 92);
    std::memcpy(r.deviceName.data(), p + 96, r.deviceName.size());
    std::memcpy(r.tail.data(), p + 352, r.tail.size());
    return r;
}

} // namespace sorvane
