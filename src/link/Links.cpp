#include "link/Links.h"

namespace sorvane {

void LinkSlot::resetCounters()
{
    bytesSent.store(0);
    bytesReceived.store(0);
    keyPresses.store(0);
    mouseClicks.store(0);
}

LinkRecord LinkSlot::record() const
{
    LinkRecord r;
    r.depth = depth;
    r.width = width;
    r.height = height;
    r.orientation = orientation;
    r.altDepth = altDepth;
    r.altWidth = altWidth;
    r.altHeight = altHeight;
    r.altOrientation = altOrientation;
    r.spareInfo = spareInfo;
    r.linkKind = linkKind;
    r.port = port;
    r.proxyWords = proxyWords;
    r.bytesSent = bytesSent.load();
    r.bytesReceived = bytesReceived.load();
    r.keyPresses = keyPresses.load();
    r.mouseClicks = mouseClicks.load();
    r.handle = handleWord;
    r.spareWords = spareWords;
    r.ipAddress = ipAddress;
    r.setDeviceName(deviceName);
    r.tail = tail;
    return r;
}

void LinkSlot::assign(const LinkRecord& r)
{
    depth = r.depth;
    width = r.width;
    height = r.height;
    orientation = r.orientation;
    altDepth = r.altDepth;
    altWidth = r.altWidth;
    altHeight = r.altHeight;
    altOrientation = r.altOrientation;
    spareInfo = r.spareInfo;
    linkKind = r.linkKind;
    port = r.port;
    proxyWords = r.proxyWords;
    bytesSent.store(r.bytesSent);
    bytesReceived.store(r.bytesReceived);
    keyPresses.store(r.keyPresses);
    mouseClicks.store(r.mouseClicks);
    handleWord = r.handle;
    spareWords = r.spareWords;
    ipAddress = r.ipAddress;
    deviceName = std::string(r.deviceNameView().substr(0, LinkRecord::kNameSize - 1));
    tail = r.tail;
}

int Links::allocSlot() const
{
    std::lock_guard lock(mutex_);
    for (int s = 0; s < kSlotCount; ++s)
        if (!uses_[size_t(s)])
            return s;
    return kSlotCount;
}

bool Links::take(int slot, const SlotUse& use)
{
    std::lock_guard lock(mutex_);
    if (!valid(slot) || uses_[size_t(slot)])
        return false;
    uses_[size_t(slot)] = use;
    return true;
}

void Links::release(int slot)
{
    std::lock_guard lock(mutex_);
    if (valid(slot))
        uses_[size_t(slot)].reset();
}

bool Links::taken(int slot) const
{
    std::lock_guard lock(mutex_);
    return valid(slot) && uses_[size_t(slot)].has_value();
}

std::vector<SlotUse> Links::inUse() const
{
    std::lock_guard lock(mutex_);
    std::vector<SlotUse> uses;
    for (const auto& u : uses_)
        if (u)
            uses.push_back(*u);
    return uses;
}

} // namespace sorvane
