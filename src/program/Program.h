#pragma once
// One run of Sorvane, desktop or command line, without its windows: what is
// program-wide (settings and platform settings, the profile table, the scenario
// table, the skin list, the password table, the clock, the link table, the one AVI
// recording) and the table of live devices, at most one in each of the 33 slots the
// wire numbers them by.
//
// Two ways to make one: from built-in settings (the constructor; the command line,
// which never reads or writes the user's settings file), and then, for the desktop,
// loadSettings() from the settings store, which saveSettings() writes back.
//
// Device table: openDevice() makes the connection of a slot whose handshake passed
// and adds its Device; closeDevice() stops it, destroys it and frees the slot. Events
// (added, state changed, removed) go to one ProgramEvents; state changes come on the
// connection threads, the rest on the owner thread.
//
// Threads: the owner thread (the desktop's user-interface thread, the command line's
// main thread) opens and closes devices and edits the settings; device() and
// liveSlots() from any thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/AviRecording.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "platform/Clock.h"
#include "program/Device.h"
#include "scripts/Scenario.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace sorvane {

// What the device table tells its owner. Calls may come on any thread and must only
// queue work. `serial` tells a device from a later one in the same slot.
class ProgramEvents {
public:
    virtual ~ProgramEvents() = default;
    virtual void deviceAdded(int slot, uint64_t serial) = 0;
    virtual void deviceStateChanged(int slot, uint64_t serial, DeviceState state) = 0;
    virtual void deviceRemoved(int slot, uint64_t serial) = 0;
};

struct ProgramSetup {
    // The program folder (skins, help, scripts), and the same ending with '/', which
    // the settings' defaults take.
    std::filesystem::path programDir;
    std::string programDirPrefix;
    // The clock of the links and connections; nullptr: the system's.
    Clock* clock = nullptr;
};

class Program {
public:
    static constexpr int kMaxDevices = Links::kSlotCount;

    // Built-in settings: every setting at its default, no profiles, no scenarios, no
    // skins, no settings store.
    explicit Program(ProgramSetup setup);
    // Closes every device still open.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Reads the settings store in `settingsDir` (an unreadable file is kept aside, see
    // SettingsStore), creates the script folder and reads the skin list. From then on
    // saveSettings() writes there.
    SettingsLoadResult loadSettings(const std::filesystem::path& settingsDir);
    // "" or what went wrong; with built-in settings nothing is written ("no settings store").
    std::string saveSettings();
    SettingsStore* store() { return store_.get(); }

    Settings& settings() { return settings_; }
    PlatformSettings& platform() { return platform_; }
    ProfileTable& profiles() { return profiles_; }
    ScenarioTable& scenarios() { return scenarios_; }
    std::vector<std::string>& skinNames() { return skinNames_; }
    PasswordTable& passwords() { return passwords_; }
    Clock& clock() { return clock_; }
    Links& links() { return links_; }
    // The program's one AVI recording; every device's connection hands it a frame after
    // each poll, and it keeps those of the slot that records.
    AviRecording& aviRecording() { return aviRecording_; }
    const std::filesystem::path& programDir() const { return setup_.programDir; }

    // nullptr clears. The events must outlive the devices or be cleared first.
    void setEvents(ProgramEvents* events) { events_.store(events); }

    // The device of `slot` (a number the connect step took), whose link passed its
    // handshake: its connection, which takes the link, made from `profile` (profileIndex
    // -1: none) and `start`, not started yet. nullptr with `error` set when the slot is
    // outside 0..32 or holds a device, or the device's display cannot be shown (the
    // link is then closed).
    Device* openDevice(int slot, std::unique_ptr<LinkSlot> link, const Profile& profile, int profileIndex,
                       const ViewStart& start, std::string& error);
    // The device of `slot` whose caller keeps the link and speaks over it itself (no
    // connection); the device closes the link as it goes.
    Device* openLinkDevice(int slot, LinkSlot& link, std::string& error);
    // Stops the device of `slot` (its connection's threads are joined, its link closed),
    // destroys it and reports it removed. Nothing when the slot holds none. Owner
    // thread, never a connection thread. A device a window shows is closed by that
    // window as it goes (the second form: only that very device, never a later one in
    // its slot).
    void closeDevice(int slot);
    void closeDevice(const Device& device);
    void closeAll();

    Device* device(int slot) const;
    std::vector<int> liveSlots() const; // in slot order
    bool profileInUse(int profileIndex) const;
    // Profile `index` was deleted: its devices belong to none, later ones move down.
    void profileDeleted(int index);

    // Device::stateChanged reports here.
    void deviceStateChanged(const Device& device, DeviceState state);

private:
    Device* add(int slot, int profileIndex, std::unique_ptr<Connection> connection, std::string& error,
                LinkSlot* spoken = nullptr);

    ProgramSetup setup_;
    SystemClock systemClock_;
    Clock& clock_;
    Settings settings_;
    PlatformSettings platform_;
    ProfileTable profiles_;
    ScenarioTable scenarios_;
    std::vector<std::string> skinNames_;
    PasswordTable passwords_;
    Links links_;
    AviRecording aviRecording_;
    std::unique_ptr<SettingsStore> store_;
    std::atomic<ProgramEvents*> events_{nullptr};

    mutable std::mutex devicesMutex_;
    std::array<std::unique_ptr<Device>, kMaxDevices> devices_;
    uint64_t nextSerial_ = 1; // owner thread
};

} // namespace sorvane
