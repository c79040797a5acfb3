#include "connect/UsbDiscovery.h"

namespace sorvane {

std::vector<UsbDevice> ProbeUsbPorts(Clock& clock, const LinkConfig& config, TransportFactory& factory,
                                     CancelToken& cancel, const std::function<void(int port, int found)>& progress)
{
    const Dialer dialer(clock, config, factory);
    std::vector<UsbDevice> found;
    for (int port = kFirstUsbPort; port <= kLastUsbPort && !cancel.cancelled(); ++port) {
        DialTarget target;
        target.profile.linkKind = uint32_t(LinkKind::Usb);
        target.profile.port = uint32_t(port);
        // USB links never ask for a password, so no prompt is needed here.
        const DialOutcome dialled = dialer.dial(target, &cancel, nullptr);
        if (dialled.passed() && !cancel.cancelled())
            found.push_back(UsbDevice{dialled.link->slot().deviceName, port});
        dialled.link->close();
        if (progress)
            progress(port, int(found.size()));
    }
    return found;
}

} // namespace sorvane
