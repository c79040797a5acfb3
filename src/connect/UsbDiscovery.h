#pragma once
// USB Auto Discovery: the USB serial channels 1 to 32 are opened in turn through the
// USB device mapping (LinkConfig::usbDevicePattern); each one that opens gets a
// handshake (each port dialled through the Dialer), and every device that passes is
// listed with its port number. The link is closed again after each port, whatever
// happened. Connecting to a device found is a USB dial (Dialer.h).
//
// Threads: ProbeUsbPorts runs on a worker thread (it blocks for up to a few seconds
// per port that opens without an agent behind it). Cancel through the token: the
// probe stops after the port in hand, whose link is shut down at once. `progress` is
// called on the probing thread after each port.

#include <functional>
#include <string>
#include <vector>

#include "connect/CancelToken.h"
#include "connect/Dialer.h"
#include "link/LinkConfig.h"
#include "platform/Clock.h"
#include "platform/Transport.h"

namespace sorvane {

struct UsbDevice {
    std::string name; // as the handshake reported it
    int port = 0;     // 1..32

    bool operator==(const UsbDevice&) const = default;
};

// progress(port, devicesFound) after each port; may be empty.
std::vector<UsbDevice> ProbeUsbPorts(Clock& clock, const LinkConfig& config, TransportFactory& factory,
                                     CancelToken& cancel,
                                     const std::function<void(int port, int found)>& progress = {});

} // namespace sorvane
