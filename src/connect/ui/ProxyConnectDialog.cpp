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
    const Profile profile = *p;
    task_.run<ProxyTable>(
        [dialer, profile](CancelToken& cancel) { return dialer.proxyTable(profile, &cancel); },
        [this](ProxyTable table) { tableFetched(std::move(table)); });
}

void ProxyConnectDialog::tableFetched(ProxyTable table)
{
    setProgress(-1, 0);
    setBusy(false);
    if (table.status != ProxyTableStatus::Ok) {
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
    const DialTarget target(*current, ProxyRowPick{records_[index], index});
    setBusy(true);
    setStatus(QStringLiteral("Connecting to %1...")
                  .arg(QString::fromStdString(std::string(target.proxyRow->record.deviceNameView()))));

    const Dialer dialer = ProgramDialer(ctx_);
    task_.run<DialOutcome>(
        [dialer, target](CancelToken& cancel) { return dialer.dial(target, &cancel, nullptr); },
        [this, dialer, target](DialOutcome outcome) {
            if (outcome.status == DialStatus::ProxyRefused) {
                queue_.clear();
                setBusy(false);
                setStatus(QString());
                message(kProxyRefused, kErrorCaption, MessageIcon::Stop);
                return; // the dialog stays open
            }
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
