#include "settings/Profile.h"

#include <cstring>

#include "platform/ByteOrder.h"

namespace sorvane {

std::string_view linkKindName(uint32_t kind)
{
    static constexpr std::string_view names[] = {
        "IRDA", "Serial (COM) Port", "USB (Auto Discovery)", "ActiveSync",
        "WAN / Internet", "LAN (Auto Discovery)", "Proxy Server",
    };
    return kind < std::size(names) ? names[kind] : std::string_view{};
}

std::string_view Profile::nameView() const { return fixedString(name); }

void Profile::setName(std::string_view s) { storeFixedString(name, s); }

// Layout: fifteen 32-bit words at 0..59, reserved 60..71, name 72..135.
void Profile::encode(std::span<uint8_t, kSize> out) const
{
    const uint32_t words[15] = {
        linkKind, port, uint32_t(skinIndex), uint32_t(scale), ipAddress, uint32_t(lowColor),
        uint32_t(queueEvents), uint32_t(showMouseCursor), uint32_t(autoConnect), uint32_t(openMaximized),
        uint32_t(refreshRate), uint32_t(recordingMethod), uint32_t(captureMode), uint32_t(clickFormat),
        backgroundColor,
    };
    for (size_t i = 0; i < 15; ++i)
        storeLe32(out.data() + 4 * i, words[i]);
    std::memcpy(out.data() + 60, reserved.data(), reserved.size());
    std::memcpy(out.data() + 72, name.data(), name.size());
}

Profile Profile::decode(std::span<const uint8_t, kSize> in)
{
    const uint8_t* p = in.data();
    Profile r;
    r.linkKind = loadLe32(p + 0);
    r.port = loadLe32(p + 4);
    r.skinIndex = loadLe32s(p + 8);
    r.scale = loadLe32s(p + 12);
    r.ipAddress = loadLe32(p + 16);
    r.lowColor = loadLe32s(p + 20);
    r.queueEvents = loadLe32s(p + 24);
    r.showMouseCursor = loadLe32s(p + 28);
    r.autoConnect = loadLe32s(p + 32);
    r.openMaximized = loadLe32s(p + 36);
    r.refreshRate = loadLe32s(p + 40);
    r.recordingMethod = loadLe32s(p + 44);
    r.captureMode = loadLe32s(p + 48);
    r.clickFormat = loadLe32s(p + 52);
    r.backgroundColor = loadLe32(p + 56);
    std::memcpy(r.reserved.data(), p + 60, r.reserved.size());
    std::memcpy(r.name.data(), p + 72, r.name.size());
    return r;
}

} // namespace sorvane
