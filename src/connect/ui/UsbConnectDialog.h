#pragma once
// "USBCONNECT", the USB (Auto Discovery) dialog. Entry point for the Connect command
// (link kind 2):
//
//   void RunUsbConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);
//
// On opening it probes the USB ports 1 to 32 (progress bar and Cancel while it runs).
// No device: "No available USB devices found" (caption "USB Auto Discovery") and the
// dialog closes. One device: it connects at once, without a click. More: the list
// ("Device Name", "USB Port") waits for a choice. Connect works on every row when there
// is one, else on the selected rows ("Please select a device to connect to", caption
// "USB Connection", when none is); each row's port is written into the profile (it
// remembers the last port used), then the port is opened and hand-shaken, and the
// device window opens through ctx.openDeviceWindow. A failed row shows "Unable to
// connect to device" (caption "Connection Failed"). The dialog closes after a Connect
// that opened at least one window.
//
// A profile index that is not in use, or all 33 slots live: a beep, no dialog.
// Thread: user-interface thread; modal.

#include <vector>

#include "connect/UsbDiscovery.h"
#include "connect/ui/DeviceListDialog.h"

namespace sorvane {

class UsbConnectDialog final : public DeviceListDialog {
    Q_OBJECT
public:
    UsbConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex);

    const std::vector<UsbDevice>& devices() const { return devices_; }
    bool probing() const { return probing_; }

protected:
    void opened() override;
    void connectChosen() override;

private:
    void showProbed(int port, int found);
    void probed(std::vector<UsbDevice> devices);
    void connectNext();

    std::vector<UsbDevice> devices_;
    std::vector<int> queue_; // ports still to connect in this Connect
    bool probing_ = false;
    bool anyConnected_ = false;
};

void RunUsbConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex);

} // namespace sorvane
