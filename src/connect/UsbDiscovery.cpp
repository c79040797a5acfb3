#include "connect/UsbDiscovery.h"

#include "connect/PendingLink.h"

namespace sorvane {

std::vector<UsbDevice> ProbeUsbPorts(Clock& clock, const LinkConfig& config, TransportFactory& factory,
                                     CancelToken& cancel, const std::function<void(int port, int found)>& progress)
{
    std::vector<UsbDevice> found;
    for (int port = kFirstUsbPort; port <= kLastUsbPort && !cancel.cancelled(); ++port) {
        Profile profile;
        profile.linkKind = uint32_t(LinkKind::Usb);
        profile.port = uint32_t(port);
        PendingLink link(clock, &cancel);
        // USB links never ask for a password, so no prompt is needed here.
        if (link.open(config, profile, factory) && link.handshake(nullptr) == HandshakeStatus::Passed &&
            !cancel.cancelled())
            found.push_back(UsbDevice{link.slot().deviceName, port});
        link.close();
        if (progress)
            progress(port, int(found.size()));
    }
    return found;
}

} // namespace sorvane

namespace sorvane {

bool ConnectUsbPort(PendingLink& link, const LinkConfig& config, TransportFactory& factory, int port)
{
    Profile profile;
    profile.linkKind = uint32_t(LinkKind::Usb);
    profile.port = uint32_t(port);
    if (port >= kFirstUsbPort && port <= kLastUsbPort && link.open(config, profile, factory) &&
        link.handshake(nullptr) == HandshakeStatus::Passed)
        return true;
    link.close();
    return false;
}

} // namespace sorvane
