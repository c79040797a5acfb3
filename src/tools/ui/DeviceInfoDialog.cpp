#include "tools/ui/DeviceInfoDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/ui/CenterDialog.h"
#include "tools/DeviceText.h"
#include "tools/ui/DeviceRequest.h"

namespace sorvane {
namespace c = info_control;

DeviceInfoDialog::DeviceInfoDialog(DeviceToolsPort& port, DeviceFacts facts, QWidget* parent)
    : QDialog(parent), port_(port), facts_(std::move(facts))
{
    setObjectName(QStringLiteral("DEVICEINFO"));
    setWindowTitle(QStringLiteral("Device Information"));
    auto* layout = new QVBoxLayout(this);

    auto addRow = [this](QFormLayout* form, const char* label, int control) {
        auto* value = new QLabel(this);
        value->setObjectName(QString::number(control));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(180);
        form->addRow(QString::fromLatin1(label), value);
        values_[control] = value;
    };
    auto* top = new QFormLayout;
    addRow(top, "Device ID:", c::DeviceId);
    addRow(top, "Video Size:", c::VideoSize);
    addRow(top, "Video Bit Depth:", c::BitDepth);
    addRow(top, "Primary Battery Level:", c::MainBattery);
    addRow(top, "Backup Battery Level:", c::BackupBattery);
    addRow(top, "Operating System:", c::OperatingSystem);
    addRow(top, "CPU:", c::Cpu);
    layout->addLayout(top);
    auto group = [&](const char* title, int total, int inUse, int free) {
        auto* box = new QGroupBox(QString::fromLatin1(title), this);
        auto* form = new QFormLayout(box);
        addRow(form, "Total:", total);
        addRow(form, "In Use:", inUse);
        addRow(form, "Free:", free);
        layout->addWidget(box);
    };
    group("Program Memory", c::ProgramTotal, c::ProgramInUse, c::ProgramFree);
    group("Storage Memory", c::StorageTotal, c::StorageInUse, c::StorageFree);
    auto* bottom = new QFormLayout;
    addRow(bottom, "Memory Utilization:", c::MemoryUtilization);
    layout->addLayout(bottom);

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("waiting"));
    layout->addWidget(note_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // The handshake's facts at once; the status once the device answers.
    for (const InfoLine& line : DeviceInfoLines(facts_, {}))
        if (line.control == c::DeviceId || line.control == c::VideoSize || line.control == c::BitDepth)
            values_[line.control]->setText(QString::fromStdString(line.value));
    values_[c::DeviceId]->setText(QString::fromStdString(FromDeviceText(facts_.name)));
    note_->setText(tr("Waiting for the device..."));

    request_ = new DeviceRequest(this);
    connect(request_, &DeviceRequest::ended, this, [this](bool served, const QString&) { showValues(served); });
    std::shared_ptr<DeviceToolsMemory> memory = port_.memory();
    request_->start(port_, JobKind::Status, [memory](LinkChannel& channel, std::string& error) {
        DeviceStatusRecord status;
        const ExchangeStatus r = RequestDeviceStatus(channel, status);
        if (r != ExchangeStatus::Served) {
            error = ExchangeStatusName(r);
            return false;
        }
        memory->setStatus(status);
        return true;
    });
}

QString DeviceInfoDialog::value(int control) const
{
    auto it = values_.find(control);
    return it == values_.end() ? QString() : it->second->text();
}

bool DeviceInfoDialog::waiting() const { return request_->busy(); }

void DeviceInfoDialog::showValues(bool served)
{
    for (const InfoLine& line : DeviceInfoLines(facts_, port_.memory()->status()))
        if (line.control != c::DeviceId)
            values_[line.control]->setText(QString::fromStdString(line.value));
    note_->setText(served                    ? QString()
                   : request_->reconnecting() ? tr("The device is reconnecting; the values are the last it gave.")
                                              : tr("The device did not answer within 5 seconds."));
    note_->setVisible(!served);
}

void DeviceInfoDialog::showEvent(QShowEvent* event)
{
    CenterDialog(*this);
    QDialog::showEvent(event);
}

} // namespace sorvane
