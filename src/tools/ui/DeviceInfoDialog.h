#pragma once
// The "Device Information" dialog ("DEVICEINFO"): the device's name and display from
// the handshake, then its batteries, system, processor and memory from one 'o'
// request through the connection's thread. While it waits the dialog says so and
// stays responsive; Cancel (id 2) closes it at any time. Without an answer within
// 5 seconds it shows the device's last known status (zeros before the first).
// The values are not refreshed while it is open.
//
// Controls are found by their ids as object names ("1014" ... "1027", "2"); the
// line that tells about the wait is "waiting".
//
// Thread: user-interface thread. The port outlives the dialog.

#include <map>

#include <QDialog>

#include "tools/DeviceInfoText.h"
#include "tools/ui/DeviceToolsPort.h"

class QLabel;

namespace sorvane {

class DeviceRequest;

class DeviceInfoDialog final : public QDialog {
    Q_OBJECT
public:
    DeviceInfoDialog(DeviceToolsPort& port, DeviceFacts facts, QWidget* parent = nullptr);

    QString value(int control) const;
    bool waiting() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showValues(bool served);

    DeviceToolsPort& port_;
    DeviceFacts facts_;
    std::map<int, QLabel*> values_;
    QLabel* note_ = nullptr;
    DeviceRequest* request_ = nullptr;
};

} // namespace sorvane
