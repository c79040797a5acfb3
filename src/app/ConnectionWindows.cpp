#include "app/ConnectionWindows.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>

#include <utility>

#include "view/CommandIds.h"

namespace sorvane {

ConnectionWindows::ConnectionWindows(Program* program, QObject* parent)
    : QObject(parent)
    , program_(program)
{
}

void ConnectionWindows::add(int slot, int profileIndex, QWidget* window, CommandTarget* target, uint64_t serial)
{
    if (!validSlot(slot) || !window)
        return;
    entries_[size_t(slot)] = Entry{window, target, profileIndex, serial};
    connect(window, &QObject::destroyed, this, [this, slot, window] {
        // The slot may have been given to another window meanwhile.
        Entry& e = entries_[size_t(slot)];
        if (!e.window.isNull() && e.window.data() != window)
            return;
        if (deviceThere(slot)) {
            // The device stays without its window.
            e.window = nullptr;
            e.target = nullptr;
            e.relinking = false;
        } else {
            const bool ended = e.serial != 0;
            e = Entry{};
            if (ended)
                emit deviceEnded(slot);
        }
        emit changed();
    });
    emit changed();
}

void ConnectionWindows::remove(int slot)
{
    if (!validSlot(slot) || (!isLive(slot) && !isWindowless(slot)))
        return;
    const bool ended = entries_[size_t(slot)].serial != 0;
    entries_[size_t(slot)] = Entry{};
    if (ended)
        emit deviceEnded(slot);
    emit changed();
}

bool ConnectionWindows::deviceThere(int slot) const
{
    const Entry& e = entries_[size_t(slot)];
    if (!program_ || e.serial == 0)
        return false;
    const Device* device = program_->device(slot);
    return device && device->serial() == e.serial;
}

bool ConnectionWindows::isWindowless(int slot) const
{
    return validSlot(slot) && entries_[size_t(slot)].window.isNull() && entries_[size_t(slot)].serial != 0 &&
           deviceThere(slot);
}

std::vector<int> ConnectionWindows::windowlessSlots() const
{
    std::vector<int> chosen;
    for (int s = 0; s < kSlots; ++s)
        if (isWindowless(s))
            chosen.push_back(s);
    return chosen;
}

void ConnectionWindows::disconnect(int slot)
{
    if (isLive(slot)) {
        QWidget* w = window(slot);
        CommandTarget* target = entries_[size_t(slot)].target;
        if (target)
            QMetaObject::invokeMethod(w, [target] { target->command(cmd::DisconnectDevice); }, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(w, "close", Qt::QueuedConnection);
    } else if (isWindowless(slot)) {
        program_->closeDevice(slot); // reported removed: the entry goes then
    }
}

bool ConnectionWindows::isLive(int slot) const
{
    return validSlot(slot) && !entries_[size_t(slot)].window.isNull();
}

std::vector<int> ConnectionWindows::liveSlots() const
{
    std::vector<int> live;
    for (int s = 0; s < kSlots; ++s) {
        if (isLive(s))
            live.push_back(s);
    }
    return live;
}

QWidget* ConnectionWindows::window(int slot) const { return isLive(slot) ? entries_[size_t(slot)].window.data() : nullptr; }

int ConnectionWindows::profileOf(int slot) const
{
    if (!isLive(slot) && !isWindowless(slot))
        return -1;
    const Entry& e = entries_[size_t(slot)];
    if (program_ && e.serial != 0) {
        const Device* device = program_->device(slot);
        return device && device->serial() == e.serial ? device->profileIndex() : -1;
    }
    return e.profileIndex;
}

bool ConnectionWindows::profileInUse(int profileIndex) const
{
    if (profileIndex < 0)
        return false;
    for (int s = 0; s < kSlots; ++s) {
        if (profileOf(s) == profileIndex)
            return true;
    }
    return false;
}

void ConnectionWindows::profileDeleted(int index)
{
    if (program_)
        program_->profileDeleted(index);
    for (Entry& e : entries_) {
        if (e.window.isNull() && e.serial == 0)
            continue;
        if (e.profileIndex == index)
            e.profileIndex = -1;
        else if (e.profileIndex > index)
            --e.profileIndex;
    }
    emit changed();
}

CommandTarget* ConnectionWindows::activeTarget() const
{
    QWidget* active = QApplication::activeWindow();
    if (!active)
        return nullptr;
    for (int s = 0; s < kSlots; ++s) {
        if (isLive(s) && entries_[size_t(s)].window.data() == active)
            return entries_[size_t(s)].target;
    }
    return nullptr;
}

void ConnectionWindows::closeFromProfiles(const std::set<int>& profiles)
{
    for (int s = 0; s < kSlots; ++s) {
        if (profiles.count(profileOf(s)))
            disconnect(s);
    }
}

void ConnectionWindows::closeAll()
{
    for (int s = kSlots - 1; s >= 0; --s) {
        if (isLive(s))
            QMetaObject::invokeMethod(window(s), "close", Qt::QueuedConnection);
    }
}

void ConnectionWindows::deviceAdded(int, uint64_t) {}

void ConnectionWindows::deviceStateChanged(int slot, uint64_t serial, DeviceState state)
{
    // A device's window follows its device itself (it closes on Closed); a window-less
    // one is followed here. The list of connections is drawn again.
    if (!validSlot(slot))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, slot, serial, state] {
            Entry& e = entries_[size_t(slot)];
            if (e.serial != serial)
                return;
            if (isWindowless(slot)) {
                if (state == DeviceState::Closed) {
                    program_->closeDevice(slot);
                    return; // reported removed
                }
                if (state == DeviceState::Reconnecting)
                    e.relinking = true;
                if (state == DeviceState::Live && std::exchange(e.relinking, false))
                    emit windowlessRelinked(slot);
            }
            emit changed();
        },
        Qt::QueuedConnection);
}

void ConnectionWindows::deviceRemoved(int slot, uint64_t serial)
{
    if (!validSlot(slot))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, slot, serial] {
            if (entries_[size_t(slot)].serial == serial)
                remove(slot);
        },
        Qt::QueuedConnection);
}

void ConnectionWindows::cascade()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int step = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    int k = 0;
    for (int s : liveSlots()) {
        QWidget* w = window(s);
        if (!w->isEnabled())
            continue;
        if (w->isMinimized() || w->isMaximized())
            w->showNormal();
        QPoint at(area.left() + k * step, area.top() + k * step);
        // Start again at the top once a window would leave the screen.
        if (at.y() + w->height() > area.bottom() || at.x() + w->width() > area.right()) {
            k = 0;
            at = area.topLeft();
        }
        w->move(at);
        w->raise();
        ++k;
    }
}

void ConnectionWindows::minimizeAll()
{
    for (int s : liveSlots())
        window(s)->showMinimized();
}

void ConnectionWindows::restoreAll()
{
    for (int s : liveSlots()) {
        QWidget* w = window(s);
        if (w->isMinimized())
            w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        else if (w->isMaximized())
            w->showNormal();
        w->show();
    }
}

} // namespace sorvane
