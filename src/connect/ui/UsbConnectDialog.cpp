#include "connect/ui/UsbConnectDialog.h"

#include <QTreeWidgetItem>

#include "connect/ConnectMessages.h"
#include "connect/InstallLink.h"
#include "connect/Dialer.h"

namespace sorvane {

using namespace connect_text;

UsbConnectDialog::UsbConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex)
    : DeviceListDialog(parent, ctx, profileIndex, "USBCONNECT", QString::fromLatin1(kUsbTitle))
{
    setColumns({QStringLiteral("Device Name"), QStringLiteral("USB Port")}, {180, 142});
}

void UsbConnectDialog::opened()
{
    probing_ = true;
    setBusy(true);
    setStatus(QStringLiteral("Looking for devices on the USB ports..."));
    setProgress(0, kLastUsbPort);
    Clock& clock = ctx_.links.clock();
    const LinkConfig config = ctx_.linkConfig();
    TransportFactory& factory = ctx_.transports;
    // The dialog joins the probe before it goes, so the probe may post to it.
    UsbConnectDialog* self = this;
    task_.run<std::vector<UsbDevice>>(
        [&clock, config, &factory, self](CancelToken& cancel) {
            return ProbeUsbPorts(clock, config, factory, cancel, [self](int port, int found) {
                QMetaObject::invokeMethod(
                    self, [self, port, found] { self->showProbed(port, found); }, Qt::QueuedConnection);
            });
        },
        [this](std::vector<UsbDevice> devices) { probed(std::move(devices)); });
}

void UsbConnectDialog::showProbed(int port, int found)
{
    if (!probing_)
        return;
    setStatus(QStringLiteral("Probed USB port %1 of %2: %3 found").arg(port).arg(kLastUsbPort).arg(found));
    setProgress(port, kLastUsbPort);
}

void UsbConnectDialog::probed(std::vector<UsbDevice> devices)
{
    probing_ = false;
    setProgress(-1, 0);
    setBusy(false);
    devices_ = std::move(devices);
    for (size_t i = 0; i < devices_.size(); ++i)
        addRow({QString::fromStdString(devices_[i].name), QString::number(devices_[i].port)}, int(i));
    setStatus(QStringLiteral("%1 device(s) found").arg(devices_.size()));
    if (devices_.empty()) {
        message(kNoUsbDevices, kUsbDiscoveryCaption, MessageIcon::Stop);
        finish();
        return;
    }
    if (devices_.size() == 1)
        connectChosen();
}

void UsbConnectDialog::connectChosen()
{
    if (probing_ || task_.running())
        return;
    QList<QTreeWidgetItem*> rows;
    const int count = list().topLevelItemCount();
    if (count == 1)
        rows.push_back(list().topLevelItem(0)); // the only row, selected or not
    else
        rows = selectedRows();
    if (rows.isEmpty()) {
        message(kSelectDevice, kUsbConnectionCaption, MessageIcon::None);
        return;
    }
    queue_.clear();
    for (QTreeWidgetItem* row : rows)
        queue_.push_back(devices_[size_t(tagOf(row))].port);
    anyConnected_ = false;
    connectNext();
}

void UsbConnectDialog::connectNext()
{
    const Profile* current = profile();
    if (queue_.empty() || !current) {
        setBusy(false);
        if (anyConnected_)
            finish();
        return;
    }
    const int port = queue_.front();
    queue_.erase(queue_.begin());
    Profile p = *current;
    p.port = uint32_t(port); // the profile remembers the last port used
    updateProfile(p);
    setBusy(true);
    setStatus(QStringLiteral("Connecting to USB port %1...").arg(port));

    const Dialer dialer = ProgramDialer(ctx_);
    const DialTarget target(p);
    task_.run<std::shared_ptr<PendingLink>>(
        // USB links never ask for a password.
        [dialer, target](CancelToken& cancel) { return dialer.dial(target, &cancel, nullptr).link; },
        [this, p](std::shared_ptr<PendingLink> link) {
            if (link->passed() && InstallLink(ctx_, *link, profileIndex_, viewStartFor(p)))
                anyConnected_ = true;
            else
                message(kUnableToConnect, kConnectionFailedCaption, MessageIcon::Stop);
            connectNext();
        });
}

void RunUsbConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex)
{
    if (!mayOpenConnectDialog(ctx, profileIndex))
        return;
    UsbConnectDialog dialog(owner, ctx, profileIndex);
    dialog.exec();
}

} // namespace sorvane
