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
    for (int s = 0; s < kSlotCount; ++s)
        if (slots_[size_t(s)].isFree())
            return s;
    return kSlotCount;
}

} // namespace sorvane
