#pragma once
// "LANCONNECT", the LAN (Auto Discovery) dialog. Entry point for the Connect command
// (link kind 5):
//
//   void RunLanConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);
//
// While it is open, a discovery request goes to the LanBroadcastAddress and
// LanDiscoveryPort of the platform settings every 3 s; each new device that answers
// (at most one per request, each address once, at most 100) becomes a row: "Device
// Name" and "IP Address". Connect with no row selected shows "Please select a device
// to connect to" (caption "LAN Connection"). Otherwise, for each selected row in
// order: a device with a password asks for it (ctx.passwordPrompt on the row's record
// of the password table; anything but 1 ends the Connect and the dialog stays open);
// the device's address is written into the profile (it remembers it); then a LAN link
// to the address's agent port, the handshake, and the device window, after which the
// profile remembers the device's discovery name (ProfileTable::rememberedDevice). A
// device that cannot be reached gets no window and no message. When every row is done
// the dialog closes. A broadcast address that is not an IPv4 address, or a UDP socket that
// cannot be made, leaves the list empty and says so on the status line.
//
// A profile index that is not in use, or all 33 slots live: a beep, no dialog.
// Thread: user-interface thread; modal. The discovery runs on a thread of its own.

#include <memory>
#include <thread>
#include <vector>

#include "connect/LanDiscovery.h"
#include "connect/ui/DeviceListDialog.h"

namespace sorvane {

struct LanDialogTiming {
    uint32_t tickMs = kLanTickMs;           // between requests; the first after one period
    uint32_t replyWaitMs = kLanReplyWaitMs; // how long each request waits for replies
};

class LanConnectDialog final : public DeviceListDialog {
    Q_OBJECT
public:
    LanConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex, LanDialogTiming timing = {});
    ~LanConnectDialog() override;

    void reject() override;
    const DiscoveredDevices& devices() const { return devices_; }

protected:
    void opened() override;
    void connectChosen() override;

private:
    void found(const LanDevice& device);
    void connectNext();
    void stopDiscovery();

    LanDialogTiming timing_;
    DiscoveredDevices devices_;
    std::unique_ptr<LanDiscovery> discovery_;
    CancelToken discoveryCancel_;
    std::thread discoveryThread_;
    std::vector<size_t> queue_; // records still to connect in this Connect
};

void RunLanConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);

} // namespace sorvane
