#pragma once
// The Qt side of the program's device table: the device window of each live device,
// by slot (0..32), with the index of the profile it was opened from (the device's,
// read from the program's table when there is one). The shell adds a window once the
// program has added its device; the entry goes when the window is destroyed (which
// closes the device) or the program removes the device. A device that ends its link
// (state Closed) closes its window. The main window reads this to show "In Use", and
// its Window menu, Disconnect and the accelerator keys act through it.
//
// A device whose window went while the device stayed live (the Devices window keeps
// it) is kept here as window-less until the program removes it; a window-less device
// that reports Closed is closed here, as its window would have done.
//
// Thread: user-interface thread.

#include <array>
#include <set>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "program/Program.h"

namespace sorvane {

// A window that carries commands by id (the device window).
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void command(int id) = 0;
};

// Also the device table's listener: a device that is closed closes its device window
// (a queued call, so connection threads may report it).
class ConnectionWindows final : public QObject, public ProgramEvents {
    Q_OBJECT
public:
    static constexpr int kSlots = 33;

    // program: whose device table this follows (nullptr: windows only, as tests use it).
    explicit ConnectionWindows(Program* program = nullptr, QObject* parent = nullptr);

    // Records the device window of `slot`, which shows device `serial` of the program
    // (0: none). `target` receives forwarded commands; it may be null. The entry goes by
    // itself when the window is destroyed.
    void add(int slot, int profileIndex, QWidget* window, CommandTarget* target = nullptr, uint64_t serial = 0);
    void remove(int slot);

    // A slot with a device window.
    bool isLive(int slot) const;
    std::vector<int> liveSlots() const; // in slot order
    QWidget* window(int slot) const;
    // A slot whose device is live without a window.
    bool isWindowless(int slot) const;
    std::vector<int> windowlessSlots() const; // in slot order
    // Of a window's or a window-less device: -1 when none or the profile was deleted.
    int profileOf(int slot) const;
    bool profileInUse(int profileIndex) const;
    // Ends the device of `slot`: its window gets Disconnect (posted), a window-less one is
    // closed at once.
    void disconnect(int slot);

    // Profile `index` was deleted: its connections no longer belong to a profile,
    // and the ones opened from later profiles follow them down by one place.
    void profileDeleted(int index);

    // The command target of the live device window that is the active window,
    // or null.
    CommandTarget* activeTarget() const;

    // Ends every device opened from one of `profiles` (disconnect).
    void closeFromProfiles(const std::set<int>& profiles);
    // Posts a close request to every device window, from slot 32 down to 0.
    void closeAll();
    // Stacks the enabled device windows from the top left of the screen, each a
    // title bar lower and to the right of the one before, in slot order.
    void cascade();
    void minimizeAll();
    void restoreAll();

    // ProgramEvents (any thread; queued here). A window opens right after its device is
    // added (Shell::openDeviceWindow), so an added device needs nothing more.
    void deviceAdded(int slot, uint64_t serial) override;
    void deviceStateChanged(int slot, uint64_t serial, DeviceState state) override;
    void deviceRemoved(int slot, uint64_t serial) override;

signals:
    // A window was added or went away, or a device changed state; the main window
    // refreshes its list.
    void changed();
    // The device of `slot` has gone (its connection's threads have ended).
    void deviceEnded(int slot);
    // The dropped link of the window-less device of `slot` is back.
    void windowlessRelinked(int slot);

private:
    struct Entry {
        QPointer<QWidget> window;
        CommandTarget* target = nullptr;
        int profileIndex = -1;
        uint64_t serial = 0; // the program's device shown
        bool relinking = false; // window-less: its link dropped and is being made again
    };
    // The program still holds the device of the entry.
    bool deviceThere(int slot) const;
    static bool validSlot(int slot) { return slot >= 0 && slot < kSlots; }

    Program* program_ = nullptr;
    std::array<Entry, kSlots> entries_{};
};

} // namespace sorvane
