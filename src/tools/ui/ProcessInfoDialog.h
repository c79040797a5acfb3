#pragma once
// The "Process Info" dialog ("PROCESSINFO"): the device's processes with their main
// windows in a list ("1020", columns "Process" and "Window", "<none>" for a process
// without a window), and the buttons Refresh ("1", default), Activate ("1030"), Kill
// ("1031") and Cancel ("2").
//
// Refresh asks for the list ('x') through the connection's thread; while it waits the
// dialog says so ("waiting") and the other buttons but Cancel are off; without an
// answer within 5 seconds the last list stays. Activate sends 'p' with the selected
// row's window handle (0 for a process without a window). Kill sends 'w' with the
// selected row's process id and reloads the list, both in one job so that the new
// list comes after the kill. A row's index selects the record it was filled from.
//
// Thread: user-interface thread. The port outlives the dialog.

#include <QDialog>

#include "tools/ui/DeviceToolsPort.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace sorvane {

class DeviceRequest;

class ProcessInfoDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRefresh = 1, kActivate = 1030, kKill = 1031, kCancel = 2, kList = 1020;

    explicit ProcessInfoDialog(DeviceToolsPort& port, QWidget* parent = nullptr);

    void command(int id);
    bool waiting() const;
    QTreeWidget* list() const { return list_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void reload(std::vector<uint8_t> killFirst);
    void showList(bool served);
    int selectedRow() const;

    DeviceToolsPort& port_;
    QTreeWidget* list_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* activate_ = nullptr;
    QPushButton* kill_ = nullptr;
    DeviceRequest* request_ = nullptr;
    std::vector<ProcessRecord> shown_; // the records the rows were filled from
    bool started_ = false;
};

} // namespace sorvane
