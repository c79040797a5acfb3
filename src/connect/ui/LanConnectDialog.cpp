#include "connect/ui/LanConnectDialog.h"

#include <pthread.h>

#include <QTreeWidgetItem>

#include "connect/ConnectMessages.h"
#include "connect/InstallLink.h"
#include "connect/Dialer.h"

namespace sorvane {

using namespace connect_text;

LanConnectDialog::LanConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex, LanDialogTiming timing)
    : DeviceListDialog(parent, ctx, profileIndex, "LANCONNECT", QString::fromLatin1(kLanTitle)), timing_(timing),
      devices_(ctx.passwords)
{
    setColumns({QStringLiteral("Device Name"), QStringLiteral("IP Address")}, {180, 142});
    devices_.clear();
}

LanConnectDialog::~LanConnectDialog()
{
    stopDiscovery();
    devices_.clear();
}

void LanConnectDialog::stopDiscovery()
{
    discoveryCancel_.cancel();
    if (discoveryThread_.joinable())
        discoveryThread_.join();
    if (discovery_)
        discovery_->close();
}

void LanConnectDialog::opened()
{
    uint32_t address = 0;
    std::string error;
    if (!parseIpv4(ctx_.platform.LanBroadcastAddress, address)) {
        setStatus(QStringLiteral("The LAN broadcast address \"%1\" is not an IPv4 address")
                      .arg(QString::fromStdString(ctx_.platform.LanBroadcastAddress)));
        return;
    }
    discovery_ = std::make_unique<LanDiscovery>();
    if (!discovery_->open(address, ctx_.platform.LanDiscoveryPort, error)) {
        setStatus(QString::fromStdString(error));
        return;
    }
    setStatus(QStringLiteral("Looking for devices on the network..."));
    LanDialogTiming timing = timing_;
    LanDiscovery* discovery = discovery_.get();
    CancelToken* cancel = &discoveryCancel_;
    // The dialog joins this thread before it goes, so the thread may post to it.
    LanConnectDialog* self = this;
    discoveryThread_ = std::thread([timing, discovery, cancel, self] {
        pthread_setname_np(pthread_self(), "lan-discovery");
        while (!cancel->waitFor(timing.tickMs)) {
            if (std::optional<LanDevice> d = discovery->tick(timing.replyWaitMs, cancel))
                QMetaObject::invokeMethod(self, [self, device = *d] { self->found(device); }, Qt::QueuedConnection);
        }
    });
}

void LanConnectDialog::found(const LanDevice& device)
{
    std::optional<size_t> record = devices_.append(device);
    if (!record)
        return; // known already, or the table of 100 is full
    addRow({QString::fromStdString(device.name), QString::fromStdString(dottedAddress(device.address))},
           int(*record));
    setStatus(QStringLiteral("%1 device(s) found").arg(devices_.count()));
}

void LanConnectDialog::connectChosen()
{
    if (task_.running() || !queue_.empty())
        return;
    QList<QTreeWidgetItem*> rows = selectedRows();
    if (rows.isEmpty()) {
        message(kSelectDevice, kLanConnectionCaption, MessageIcon::None);
        return;
    }
    for (QTreeWidgetItem* row : rows)
        queue_.push_back(size_t(tagOf(row)));
    connectNext();
}

void LanConnectDialog::connectNext()
{
    const Profile* current = profile();
    if (queue_.empty() || !current) {
        queue_.clear();
        stopDiscovery();
        devices_.clear();
        finish(); // every chosen device has been tried
        return;
    }
    const size_t record = queue_.front();
    queue_.erase(queue_.begin());
    if (devices_.hasPassword(record) && ctx_.passwordPrompt.askPassword(devices_.table(), record) != 1) {
        queue_.clear(); // a cancelled password ends the Connect; the dialog stays
        setBusy(false);
        return;
    }
    const LanDevice device = devices_.device(record);
    Profile p = *current;
    p.ipAddress = device.address; // the profile remembers the device's address
    updateProfile(p);
    setBusy(true);
    setStatus(QStringLiteral("Connecting to %1...").arg(QString::fromStdString(device.name)));

    const Dialer dialer = ProgramDialer(ctx_);
    const DialTarget target(p);
    task_.run<std::shared_ptr<PendingLink>>(
        // LAN links never ask for a password in the handshake: it was asked above.
        [dialer, target](CancelToken& cancel) { return dialer.dial(target, &cancel, nullptr).link; },
        [this, dialer, target, name = device.name](std::shared_ptr<PendingLink> link) {
            // The profile remembers the device by its discovery name, for Connect All.
            if (link->passed() &&
                InstallLink(ctx_, *link, profileIndex_, viewStartFor(target.profile), dialer.relinker(target, *link)))
                ctx_.profiles.setRememberedDevice(profileIndex_, name);
            connectNext();
        });
}

void LanConnectDialog::reject()
{
    queue_.clear();
    stopDiscovery();
    devices_.clear();
    DeviceListDialog::reject();
}

void RunLanConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex)
{
    if (!mayOpenConnectDialog(ctx, profileIndex))
        return;
    LanConnectDialog dialog(owner, ctx, profileIndex);
    dialog.exec();
}

} // namespace sorvane
