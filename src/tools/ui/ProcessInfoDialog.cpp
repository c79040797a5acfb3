#include "tools/ui/ProcessInfoDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "link/LinkChannel.h"
#include "tools/DeviceText.h"
#include "tools/ui/DeviceRequest.h"

namespace sorvane {

ProcessInfoDialog::ProcessInfoDialog(DeviceToolsPort& port, QWidget* parent) : QDialog(parent), port_(port)
{
    setObjectName(QStringLiteral("PROCESSINFO"));
    setWindowTitle(QStringLiteral("Process Info"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QString::number(kList));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Process"), QStringLiteral("Window")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setMinimumSize(360, 240);
    layout->addWidget(list_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("waiting"));
    note_->setWordWrap(true);
    layout->addWidget(note_);

    auto* row = new QHBoxLayout;
    auto button = [&](const char* text, int id) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::number(id));
        connect(b, &QPushButton::clicked, this, [this, id] { command(id); });
        row->addWidget(b);
        return b;
    };
    refresh_ = button("Refresh", kRefresh);
    activate_ = button("Activate", kActivate);
    kill_ = button("Kill", kKill);
    row->addStretch();
    button("Cancel", kCancel);
    refresh_->setDefault(true);
    layout->addLayout(row);

    request_ = new DeviceRequest(this);
    connect(request_, &DeviceRequest::ended, this, [this](bool served, const QString&) { showList(served); });
}

void ProcessInfoDialog::showEvent(QShowEvent* event)
{
    CenterDialog(*this);
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    // Two columns of (client width - 4) / 2 each, once the layout has given the list its
    // size; the last one stretches, so no sideways scrolling is needed.
    QTimer::singleShot(0, this, [this] {
        list_->setColumnWidth(0, (list_->viewport()->width() - 4) / 2);
        command(kRefresh);
    });
}

bool ProcessInfoDialog::waiting() const { return request_->busy(); }

int ProcessInfoDialog::selectedRow() const
{
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    if (items.isEmpty())
        return -1;
    const int row = list_->indexOfTopLevelItem(items.first());
    return row >= 0 && size_t(row) < shown_.size() ? row : -1;
}

void ProcessInfoDialog::command(int id)
{
    switch (id) {
    case kRefresh:
        reload({});
        break;
    case kActivate:
        if (const int row = selectedRow(); row >= 0 && !waiting())
            port_.sendMessage(ActivateMessage(shown_[size_t(row)].windowHandle));
        break;
    case kKill:
        if (const int row = selectedRow(); row >= 0 && !waiting())
            reload(KillMessage(shown_[size_t(row)].processId));
        break;
    case kCancel:
        reject();
        break;
    default:
        break;
    }
}

void ProcessInfoDialog::reload(std::vector<uint8_t> killFirst)
{
    if (waiting())
        return;
    for (QPushButton* b : {refresh_, activate_, kill_})
        b->setEnabled(false);
    note_->setText(tr("Waiting for the device..."));
    note_->show();
    std::shared_ptr<DeviceToolsMemory> memory = port_.memory();
    request_->start(port_, JobKind::Processes,
                    [memory, kill = std::move(killFirst)](LinkChannel& channel, std::string& error) {
                        if (!kill.empty())
                            channel.send(kill.data(), kill.size());
                        ProcessList list;
                        const ExchangeStatus r = RequestProcessList(channel, list);
                        if (r != ExchangeStatus::Served) {
                            error = ExchangeStatusName(r);
                            return false;
                        }
                        memory->setProcesses(std::move(list));
                        return true;
                    });
}

void ProcessInfoDialog::showList(bool served)
{
    const ProcessList list = port_.memory()->processes();
    shown_ = list.records;
    list_->clear();
    for (const ProcessRecord& p : shown_) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::fromStdString(FromDeviceText(p.name)));
        item->setText(1, p.windowHandle ? QString::fromStdString(FromDeviceText(p.title)) : QStringLiteral("<none>"));
    }
    for (QPushButton* b : {refresh_, activate_, kill_})
        b->setEnabled(true);
    list_->setFocus(); // the buttons were off, so the focus may have gone to Cancel
    QString note;
    if (!served && request_->reconnecting())
        note = tr("The device is reconnecting; the list is the last one it gave.");
    else if (!served)
        note = tr("The device did not answer within 5 seconds; the list is the last one it gave.");
    else if (list.reportedCount > shown_.size())
        note = tr("The device reported %1 processes; the first %2 are listed.").arg(list.reportedCount).arg(shown_.size());
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

} // namespace sorvane
