#include "connect/ui/ProxyConnectDialog.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "connect/ConnectMessages.h"
#include "connect/InstallLink.h"
#include "connect/Dialer.h"

namespace sorvane {

using namespace connect_text;

ProxyConnectDialog::ProxyConnectDialog(QWidget* parent, ConnectContext& ctx, int profileIndex)
    : DeviceListDialog(parent, ctx, profileIndex, "PROXYCONNECT", QString::fromLatin1(kProxyTitle))
{
    setColumns({QStringLiteral("Device Name"), QStringLiteral("Connection")}, {120, 120});
    list().setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void ProxyConnectDialog::opened()
{
    const Profile* p = profile();
    if (!p) {
        finish();
        return;
    }
    if (!validProxyPort(p->port)) {
        message(kProxyBadPort, kErrorCaption, MessageIcon::Stop);
        finish();
        return;
    }
    setBusy(true);
    setStatus(QStringLiteral("Asking the proxy server for its devices..."));
    setProgress(0, 0);
    const Dialer dialer = ProgramDialer(ctx_);
    DialTarget target(*p);
    target.ssh = ProfileSshRoute(ctx_, profileIndex_);
    task_.run<Fetched>(
        [dialer, target](CancelToken& cancel) mutable {
            Fetched f;
            f.table = dialer.proxyTable(target, &cancel, &f.ssh);
            f.target = std::move(target); // with what the user gave the gateway
            return f;
        },
        [this](Fetched fetched) { tableFetched(std::move(fetched)); });
}

bool ProxyConnectDialog::gatewayFailed(const SshReport& report)
{
    if (!target_.ssh || report.failure == SshFailure::None)
        return false;
    if (report.failure != SshFailure::Cancelled)
        ctx_.messages.show(MessageRequest{
            Sentence(SshFailureText(target_.ssh->gateway, report, ProgramDialer(ctx_).config().ssh.knownHostsFile)),
            kErrorCaption, report.failure == SshFailure::HostKeyChanged ? MessageIcon::Stop : MessageIcon::Error,
            MessageButtons::Ok});
    return true;
}

void ProxyConnectDialog::tableFetched(Fetched fetched)
{
    setProgress(-1, 0);
    setBusy(false);
    target_ = std::move(fetched.target);
    ProxyTable& table = fetched.table;
    if (table.status != ProxyTableStatus::Ok) {
        if (!gatewayFailed(fetched.ssh))
            message(kProxyUnreachable, kErrorCaption, MessageIcon::Stop);
        finish();
        return;
    }
    records_ = std::move(table.records);
    for (const ProxyRow& row : proxyRows(records_))
        addRow({QString::fromStdString(row.name), QString::fromStdString(row.connection)}, int(row.index));
    setStatus(QStringLiteral("%1 device(s)").arg(list().topLevelItemCount()));
    if (QTreeWidgetItem* first = list().topLevelItem(0)) {
        list().setCurrentItem(first);
        first->setSelected(true);
    }
}

void ProxyConnectDialog::connectChosen()
{
    if (task_.running() || !queue_.empty() || records_.empty())
        return;
    for (QTreeWidgetItem* row : selectedRows())
        queue_.push_back(uint32_t(tagOf(row)));
    connectNext();
}

void ProxyConnectDialog::connectNext()
{
    const Profile* current = profile();
    if (queue_.empty() || !current) {
        queue_.clear();
        finish(); // after the last row
        return;
    }
    const uint32_t index = queue_.front();
    queue_.erase(queue_.begin());
    // The row through the gateway the table came through, with what the user gave it.
    DialTarget target(*current, ProxyRowPick{records_[index], index});
    target.ssh = target_.ssh;
    setBusy(true);
    setStatus(QStringLiteral("Connecting to %1...")
                  .arg(QString::fromStdString(std::string(target.proxyRow->record.deviceNameView()))));

    const Dialer dialer = ProgramDialer(ctx_);
    task_.run<DialOutcome>(
        [dialer, target](CancelToken& cancel) { return dialer.dial(target, &cancel, nullptr); },
        [this, dialer, target](DialOutcome outcome) {
            const bool atGateway = !outcome.passed() && outcome.ssh.failure != SshFailure::None;
            if (outcome.status == DialStatus::ProxyRefused || atGateway) {
                // The other rows would go the same way.
                queue_.clear();
                setBusy(false);
                setStatus(QString());
                if (!atGateway || !gatewayFailed(outcome.ssh))
                    message(kProxyRefused, kErrorCaption, MessageIcon::Stop);
                return; // the dialog stays open
            }
            if (outcome.passed() && target.ssh)
                target_.ssh->credentials = outcome.link->sshCredentials(); // for the next row
            // The profile remembers the row by its name, for Connect All.
            if (outcome.passed() && InstallLink(ctx_, *outcome.link, profileIndex_, viewStartFor(target.profile),
                                                dialer.relinker(target, *outcome.link)))
                ctx_.profiles.setRememberedDevice(profileIndex_,
                                                  std::string(target.proxyRow->record.deviceNameView()));
            connectNext();
        });
}

void RunProxyConnectDialog(QWidget* owner, ConnectContext& ctx, int profileIndex)
{
    if (!mayOpenConnectDialog(ctx, profileIndex))
        return;
    ProxyConnectDialog dialog(owner, ctx, profileIndex);
    dialog.exec();
}

} // namespace sorvane
