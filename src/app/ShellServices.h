#pragma once
// What the main window hands to the other subsystems. Each service is optional:
// while one is not there, the commands it serves are shown disabled and do
// nothing from any source (menu, button, key, double click).
//
// Thread: every call is made on the user-interface thread. The services are
// borrowed and must outlive the main window.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/Profile.h"

namespace sorvane {

// The profile table and the settings store, as far as the main window uses them.
class ProfileTableAccess {
public:
    static constexpr int kCapacity = 33;
    virtual ~ProfileTableAccess() = default;
    virtual int profileCount() const = 0;
    virtual const Profile& profile(int index) const = 0; // 0 <= index < profileCount()
    // Copies profile `index` to the end of the table; false when it is full.
    virtual bool cloneProfile(int index) = 0;
    // Removes profile `index`; the later ones move down by one place.
    virtual void deleteProfile(int index) = 0;
    // Writes the settings and the profile table to their file.
    virtual void saveSettings() = 0;
};

// The New/Edit Connection and Default Settings dialogs.
class ProfileDialogService {
public:
    virtual ~ProfileDialogService() = default;
    // Each returns the index of the profile it stored (it has saved the
    // settings), or nullopt when the user cancelled.
    virtual std::optional<int> newConnection() = 0;
    virtual std::optional<int> editConnection(int index) = 0;
    virtual void defaultSettings() = 0;
};

// The connect flow of a profile's link kind (its in-use check, its dialog).
class ConnectService {
public:
    virtual ~ConnectService() = default;
    virtual void connectProfile(int index) = 0;
};

// Starting and stopping the desktop's device synchronisation service.
class ActiveSyncService {
public:
    virtual ~ActiveSyncService() = default;
    virtual void stop() = 0;
    virtual void start() = 0;
};

struct ScenarioRow {
    std::string name;
    bool active = false; // running on a connection
    bool paused = false; // that connection's playback is paused
    bool stopped = false; // not running: its last run ended with its connection
    bool failed = false;  // not running: a check of its last run failed
};

// The scenario table and its commands.
class ScenarioService {
public:
    virtual ~ScenarioService() = default;
    virtual std::vector<ScenarioRow> scenarios() const = 0;
    // Runs a scenario command (new, edit, delete, clone, play/pause, stop) with
    // the first selected row of the Scripts list, or -1 when none is selected.
    virtual void command(int id, int selected) = 0;
};

struct ShellServices {
    // Window > Devices: shows the Devices window.
    std::function<void()> devices;
    ProfileDialogService* profileDialogs = nullptr;
    ConnectService* connect = nullptr;
    ActiveSyncService* activeSync = nullptr;
    ScenarioService* scenarios = nullptr;
};

} // namespace sorvane
