#pragma once
// One run of the desktop program after the one-instance check: the settings and
// the profile table, the program directory, the main window, and the orderly
// exit. runProgram() (Startup.h) makes one; tests make their own with temporary
// folders and scripted UI ports.
//
// Start-up: seed the program directory from the installed defaults, load the
// settings (an unreadable settings file is kept aside and the user is told),
// create the script directory, apply --connect HOST, create the main window and
// register the agent's port with the synchronisation service.
// Exit: save the settings.
//
// Thread: user-interface thread. The UI ports are borrowed.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "app/ConnectOption.h"
#include "app/LinkCounters.h"
#include "app/ProgramPaths.h"
#include "app/ShellServices.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "link/ui/PasswordDialog.h"
#include "platform/Clock.h"
#include "platform/UiPorts.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace sorvane {

class ConnectionWindows;
class MainWindow;

struct ShellOptions {
    ProgramPaths paths;
    std::filesystem::path settingsDir;
    std::optional<std::string> connectHost; // --connect HOST
    Ipv4Resolver resolve = resolveIpv4;
};

// The profile table and its store as the main window sees them.
class SettingsProfiles final : public ProfileTableAccess {
public:
    SettingsProfiles(ProfileTable& table, std::function<void()> save);
    int profileCount() const override;
    const Profile& profile(int index) const override;
    bool cloneProfile(int index) override;
    void deleteProfile(int index) override;
    void saveSettings() override;

private:
    ProfileTable& table_;
    std::function<void()> save_;
};

class Shell final : public QObject {
    Q_OBJECT
public:
    Shell(ShellOptions options, UiPorts ports, QObject* parent = nullptr);
    ~Shell() override;

    // Runs the start-up sequence and shows the main window.
    void start();
    // The exit sequence: saves the settings.
    void finish();

    // Writes the settings and the profile table; a failure is shown to the user.
    // Returns false when the settings could not be saved.
    bool saveSettings();

    MainWindow* mainWindow() const { return window_.get(); }
    ConnectionWindows& connectionWindows() const { return *windows_; }
    Settings& settings() { return settings_; }
    ProfileTable& profiles() { return profiles_; }
    const ProgramPaths& paths() const { return options_.paths; }
    PlatformSettings& platformSettings() { return platform_; }
    // The link slots (their events go to the device windows), the password
    // table, the handshake's password prompt and the status windows' counters.
    Links& links() { return links_; }
    PasswordTable& passwords() { return passwords_; }
    PasswordPrompt& passwordPrompt() { return *prompt_; }
    const LinkCounterSource& linkCounters() const { return counters_; }
    // The profile --connect HOST named (-1 when none), kept for the connect flow.
    int connectProfile() const { return connectProfile_; }

signals:
    // The main window was closed: the program ends with this code.
    void quitRequested(int code);

private:
    void applyConnectOption();

    ShellOptions options_;
    UiPorts ports_;
    Settings settings_;
    ProfileTable profiles_;
    PlatformSettings platform_;
    SystemClock clock_;
    Links links_;
    PasswordTable passwords_;
    LinksCounterSource counters_;
    std::unique_ptr<DialogPasswordPrompt> prompt_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<SettingsProfiles> profileAccess_;
    std::unique_ptr<ConnectionWindows> windows_;
    std::unique_ptr<MainWindow> window_;
    int connectProfile_ = -1;
};

} // namespace sorvane
