#pragma once
// The device windows of the live connections, by link slot (0..32), with the
// index of the profile each was opened from. The device window adds itself when
// its connection is set up and is dropped when it is destroyed; the main window
// reads this to show "In Use", and its Window menu, Disconnect and the
// accelerator keys act through it.
//
// Thread: user-interface thread.

#include <array>
#include <set>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QWidget>


namespace sorvane {

// A window that carries commands by id (the device window).
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void command(int id) = 0;
};

class ConnectionWindows final : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 33;

    explicit ConnectionWindows(QObject* parent = nullptr);

    // Records the device window of `slot`. `target` receives forwarded commands;
    // it may be null. The entry goes by itself when the window is destroyed.
    void add(int slot, int profileIndex, QWidget* window, CommandTarget* target = nullptr);
    void remove(int slot);

    bool isLive(int slot) const;
    std::vector<int> liveSlots() const; // in slot order
    QWidget* window(int slot) const;
    int profileOf(int slot) const;      // -1 when not live or the profile was deleted
    bool profileInUse(int profileIndex) const;

    // Profile `index` was deleted: its connections no longer belong to a profile,
    // and the ones opened from later profiles follow them down by one place.
    void profileDeleted(int index);

    // The command target of the live device window that is the active window,
    // or null.
    CommandTarget* activeTarget() const;

    // Posts a close request to the device window of every live connection opened
    // from one of `profiles`.
    void closeFromProfiles(const std::set<int>& profiles);
    // Posts a close request to every device window, from slot 32 down to 0.
    void closeAll();
    // Stacks the enabled device windows from the top left of the screen, each a
    // title bar lower and to the right of the one before, in slot order.
    void cascade();
    void minimizeAll();
    void restoreAll();

signals:
    // A window was added or went away; the main window refreshes its list.
    void changed();

private:
    struct Entry {
        QPointer<QWidget> window;
        CommandTarget* target = nullptr;
        int profileIndex = -1;
    };
    static bool validSlot(int slot) { return slot >= 0 && slot < kSlots; }

    std::array<Entry, kSlots> entries_{};
};

} // namespace sorvane
