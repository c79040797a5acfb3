#pragma once
// The Devices window: one tile (DeviceTile) per live device in a grid that reflows with
// the window, largest tiles first: every shown tile fits the window when it can, else
// the tiles keep a least size and the grid scrolls. Order: the devices of profiles in
// profile order (several of one profile together, in the order they came), then the
// devices without a profile (inbound) in the order they came. A filter box narrows the
// grid to the tiles whose device or profile name holds its text.
//
// Selection: click, Ctrl+click (toggle), Shift+click (the range from the last clicked
// tile, in the order shown), Select All (Ctrl+A). Only shown tiles count as selected.
// Double click raises the device's window, or opens one on it again. The tile menu: the
// device window's commands (handed to its window, which opens when needed), Disconnect,
// Broadcast input and the fleet commands on the selection (disabled while no
// FleetService / InputBroadcast was handed in).
//
// While the window is open, the shell keeps a device whose window is closed (its tile
// stays); see Shell. The window itself never ends a device but by Disconnect.
//
// Thread: user-interface thread.

#include <functional>
#include <map>
#include <set>
#include <vector>

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QMenu;
class QScrollArea;

namespace sorvane {

class ConnectionWindows;
class DeviceTile;
class DeviceWindow;
class FleetService;
class InputBroadcast;
class Program;

struct DevicesWindowContext {
    Program& program;
    ConnectionWindows& windows;
    // Raises the device window of `slot`, opening one on its live device when it has
    // none; nullptr when there is no device.
    std::function<DeviceWindow*(int slot)> showDeviceWindow;
    FleetService* fleet = nullptr;         // none: the fleet commands are disabled
    InputBroadcast* broadcast = nullptr;   // none: Broadcast input is disabled
};

class DevicesWindow final : public QWidget {
    Q_OBJECT
public:
    explicit DevicesWindow(DevicesWindowContext context, QWidget* parent = nullptr);
    ~DevicesWindow() override;

    // Tiles for devices that came, none for those that went, order and grid again.
    void sync();
    // The fleet commands' service (null: they are disabled).
    void setFleetService(FleetService* fleet) { context_.fleet = fleet; }
    // The tiles follow the broadcast (leader, members' marks): call after it changed.
    void updateBroadcastMarks();
    // Broadcast input from `leader` (or the current tile) to the selected tiles (every
    // other tile shown when none besides it is selected); ends a broadcast that runs.
    void toggleBroadcast(DeviceTile* leader);

    // The tiles shown (the filter's), in order; the selected ones among them.
    std::vector<DeviceTile*> shownTiles() const;
    std::vector<int> shownSlots() const;
    std::vector<int> selectedSlots() const;
    DeviceTile* tile(int slot) const;
    DeviceTile* currentTile() const;

    void setFilter(const QString& text);
    void selectAll();
    // As a click with these modifiers on the tile.
    void clickTile(DeviceTile* tile, Qt::KeyboardModifiers modifiers);
    // The tile menu's commands (and Select All), on the selection or the tile.
    void tileCommand(DeviceTile* tile, int id);
    // The tile menu as it would pop up for `tile` (the caller owns it).
    QMenu* makeTileMenu(DeviceTile* tile);

signals:
    // The user closed the window (not the program going).
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reflow();
    void applyFilter();
    void updateHidden();
    void updateCount();
    void openWindow(DeviceTile* tile);
    std::vector<int> targetSlots(DeviceTile* tile);
    void setCurrent(DeviceTile* tile);

    DevicesWindowContext context_;
    QLineEdit* filter_ = nullptr;
    QLabel* count_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* area_ = nullptr;
    std::vector<DeviceTile*> tiles_; // in order
    QPointer<DeviceTile> current_;
    QPointer<DeviceTile> anchor_;
    QTimer statusTimer_;
    bool syncing_ = false;
};

} // namespace sorvane
