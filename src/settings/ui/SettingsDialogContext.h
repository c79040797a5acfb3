#pragma once
// What the profile and settings dialogs work on and with. The main window makes one
// SettingsDialogContext over the program's records and services and hands it to
// RunProfileDialog / RunDefaultSettingsDialog (ProfileDialog.h, ConfigDialog.h).
// A device window implements ConnectionSettingsPort for its per-connection
// Configure dialog.
//
// Thread: user-interface thread. Everything is borrowed; the owner keeps it alive
// while a dialog runs.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/SortKeys.h"
#include "platform/UiPorts.h"
#include "settings/Settings.h"

namespace sorvane {

struct SettingsDialogContext {
    Settings& settings;
    ProfileTable& profiles;
    // The skin names of "SKINS.INI" (LoadSkinList); the Skin lists show "None" first.
    const std::vector<std::string>& skinNames;
    MessageBoxPort& messages;
    BeepPort& beep;
    ColorChooserPort& colors;
    // The 16 custom colours of the colour chooser, kept for the whole run.
    std::array<uint32_t, 16>& customColors;
    // Moves the inbound listener to a new port when Default Settings changes it: false
    // when the new port cannot be listened on (the old one then stays in force). Empty
    // when the program runs no listener (the new port is then just stored).
    std::function<bool(int newPort)> moveInboundPort;
    // Rebuilds the main window's Connections list selecting the given profile. May be empty.
    std::function<void(int profileIndex)> refreshConnectionList;
    // Writes the settings and profiles to the settings file; "" or what went wrong.
    // May be empty (nothing is written).
    std::function<std::string()> saveSettings;
    // The sort key shared by the folder lists (the Select Directory dialog reads it).
    SortKey folderSortKey = SortKey::Name;
    // The file dialogs (the profile dialog's choice of an SSH key file). nullptr: the
    // toolkit's own.
    FileDialogPort* files = nullptr;
};

// The live settings of one connection, as its device window holds them (copied from
// the profile when it connected; changes here never reach the profile).
struct ConnectionViewSettings {
    int32_t scale = 1;       // 1..4
    int32_t refreshRate = 10; // polls per second, 1..18
    bool lowColor = false;
    bool queueEvents = false;
    bool showMouseCursor = false;
    bool skinShown = false;
    int32_t skinIndex = 0;   // 0 none, k the k-th skin name
    int32_t recordingMethod = 0;
    int32_t captureMode = 0;
    int32_t clickFormat = 0;

    bool operator==(const ConnectionViewSettings&) const = default;
};

// What the per-connection Configure dialog needs of its device window.
class ConnectionSettingsPort {
public:
    virtual ~ConnectionSettingsPort() = default;
    virtual ConnectionViewSettings viewSettings() const = 0;
    // Stores every field except lowColor and skinShown: those change only through the
    // posted commands (toggle low colour, toggle skin).
    virtual void storeViewSettings(const ConnectionViewSettings& settings) = 0;
    // Queues a command to the device window, as its menu would send it. The commands
    // run after the dialog has closed, in the order posted.
    virtual void postCommand(int commandId) = 0;
};

} // namespace sorvane
