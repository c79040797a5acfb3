#pragma once
// One tile of the Devices window: a view of a live device's connection (attached like
// the device window, with a geometry of its own, and no polling of its own) showing
// the picture of its display in use as large as the tile's picture box allows with
// the aspect kept (FitPicture: a whole factor, or below 1 each shown pixel the device
// pixel under its centre), painted by the rule of every view (PaintPictureInto); under
// it the device's name and its link's state and figures as the device window's status
// line says them. Selection, the current tile, the broadcast leader and a broadcast
// member's mark are drawn here and decided by the Devices window.
//
// While the tile is the broadcast leader, mouse and keys on its picture operate its
// device (mapped through the tile's own geometry, PointerInput) and are handed to
// `leaderInput` as well; otherwise clicks select and a double click opens the device's
// window (signals to the Devices window).
//
// The tile lets go of the connection when it is destroyed, or, earlier, when the device
// goes (an adapter hung on the Device tells it before the connection stops).
//
// Thread: user-interface thread; the connection thread calls the tile's view, which
// only queues work.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include <QString>
#include <QWidget>

#include "program/InputBroadcast.h"
#include "screen/ShownPicture.h"
#include "view/PointerInput.h"
#include "view/ViewGeometry.h"

namespace sorvane {

class Connection;
class Device;

class DeviceTile final : public QWidget {
    Q_OBJECT
public:
    // Input sent on the leader tile, after its own device has been sent it.
    using LeaderInput = std::function<void(const InputPacket& packet, bool queueEvents)>;

    // Attaches to the device's connection (the device has one). `queueEvents`: the
    // program-wide QueueEvents setting, read at every input.
    DeviceTile(Device& device, QString profileName, const int32_t& queueEvents, QWidget* parent = nullptr);
    ~DeviceTile() override;

    int slot() const { return slot_; }
    uint64_t serial() const { return serial_; }
    // The device's name as it reports it (converted and escaped for the screen).
    const QString& deviceName() const { return name_; }
    const QString& profileName() const { return profileName_; }
    void setProfileName(QString name);
    // False once the device has gone (the tile is about to be removed).
    bool live() const { return connection_ != nullptr; }

    void setSelected(bool on);
    bool selected() const { return selected_; }
    void setCurrent(bool on);
    void setBroadcast(bool leader, BroadcastMark mark);
    bool leader() const { return leader_; }
    void setLeaderInput(LeaderInput input) { leaderInput_ = std::move(input); }
    // Read on the connection thread: true while the tile is not to be seen (filtered
    // out, the Devices window minimised or hidden).
    void setHiddenView(bool hidden);

    // Where the picture is shown in the tile (logical pixels), and the rule's size.
    QRect pictureRect() const;
    FittedPicture fitted() const;
    // The size of the device's display in use; 0 x 0 once it has gone.
    DisplaySize display() const;
    // The status line under the picture as shown now; refreshStatus() reads it again.
    const QString& statusText() const { return status_; }
    void refreshStatus();

signals:
    void pressed(DeviceTile* tile, Qt::KeyboardModifiers modifiers);
    void doubleClicked(DeviceTile* tile);
    void menuRequested(DeviceTile* tile, const QPoint& globalPos);
    void leaveOutClicked(DeviceTile* tile);
    void gone(DeviceTile* tile);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class Sink;
    class Anchor;

    void deviceGone();
    void flushDamage();
    bool pointerInput(QMouseEvent* event);
    void send(const InputPacket& packet);
    QRect pictureBox() const;
    QRect captionRect() const;
    QRect leaveOutRect() const;
    QString markText() const;

    std::unique_ptr<Sink> sink_;
    Connection* connection_ = nullptr; // null once the device has gone
    const int slot_;
    const uint64_t serial_;
    const int32_t& queueEvents_;
    QString name_;
    QString profileName_;
    QString status_;
    bool greyed_ = false; // reconnecting: the last picture before the drop
    bool selected_ = false;
    bool current_ = false;
    bool leader_ = false;
    BroadcastMark mark_ = BroadcastMark::None;
    LeaderInput leaderInput_;
    PointerInput pointer_;
};

} // namespace sorvane
