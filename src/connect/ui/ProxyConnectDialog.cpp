#include "connect/ui/ProxyConnectDialog.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "connect/ConnectMessages.h"
#include "connect/InstallLink.h"
#include "connect/PendingLink.h"

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
    Clock& clock = ctx_.links.clock();
    TransportFactory& factory = ctx_.transports;
    const Profile profile = *p;
    task_.run<ProxyTable>(
        [&clock, &factory, profile](CancelToken& cancel) { return FetchProxyTable(clock, profile, factory, &cancel); },
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
    const Profile profile = *current;
    const LinkRecord record = records_[index];
    setBusy(true);
    setStatus(QStringLiteral("Connecting to %1...").arg(QString::fromStdString(std::string(record.deviceNameView()))));

    Clock& clock = ctx_.links.clock();
    TransportFactory& factory = ctx_.transports;
    struct Outcome {
        ProxyOpenStatus status;
        std::shared_ptr<PendingLink> link;
    };
    task_.run<Outcome>(
        [&clock, &factory, profile, record, index](CancelToken& cancel) {
            auto link = std::make_shared<PendingLink>(clock, &cancel);
            ProxyOpenStatus status = OpenProxyDevice(*link, profile, record, index, factory);
            return Outcome{status, link};
        },
        [this, profile](Outcome outcome) {
            if (outcome.status == ProxyOpenStatus::Refused) {
                queue_.clear();
                setBusy(false);
                setStatus(QString());
                message(kProxyRefused, kErrorCaption, MessageIcon::Stop);
                return; // the dialog stays open
            }
            if (outcome.status == ProxyOpenStatus::Passed)
                InstallLink(ctx_, *outcome.link, profileIndex_, viewStartFor(profile), &profile);
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
