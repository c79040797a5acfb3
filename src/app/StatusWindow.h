#pragma once
// The status window ("KWXSTATUS") of one connection: total bytes sent and
// received, key presses and mouse clicks, refreshed every 3 seconds from the
// connection's link slot.
//
// Opened by the device window's "&Connection Status" command; the device window
// keeps a QPointer to it (cleared by Qt when the window goes), and a second
// command restores and raises the existing window.
//
// Thread: user-interface thread. The counter source is borrowed and must outlive
// the window.

#include <array>

#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;

namespace sorvane {

class LinkCounterSource;

class StatusWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 3000;

    StatusWindow(int slot, const QString& deviceName, const LinkCounterSource& counters,
                 QWidget* parent = nullptr);

    int slot() const { return slot_; }

    // Restores a minimised window and raises it.
    void bringForward();

    // The "&Connection Status" command of a device window: brings `window`
    // forward, or opens it for `slot` when there is none yet.
    static StatusWindow* showFor(QPointer<StatusWindow>& window, int slot, const QString& deviceName,
                                 const LinkCounterSource& counters);

public slots:
    // Reads the counters and shows them (the 3-second timer calls this).
    void refresh();

private:
    int slot_;
    const LinkCounterSource& counters_;
    std::array<QLabel*, 4> values_{};
    QTimer* timer_ = nullptr;
};

} // namespace sorvane
