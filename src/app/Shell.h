#pragma once
// One run of the desktop program after the one-instance check: its Program (the
// settings, the profile table, the device table ...), the program directory, the main
// window, and the orderly exit. runProgram() (Startup.h) makes one; tests make their own with temporary
// folders and scripted UI ports.
//
// Start-up: seed the program directory from the installed defaults, load the
// settings (an unreadable settings file is kept aside and the user is told),
// create the script directory, apply --connect HOST, read the skin list, create
// the main window, register the agent's port with the synchronisation service and
// open the inbound listener (when AcceptInbound is on; a port that cannot be had
// is reported on standard error only). Then, once the event loop runs, the
// profiles marked for it are connected one after the other, and the --connect
// profile after them.
// Exit: save the settings. Device windows still open end their connections when
// the shell goes.
//
// Thread: user-interface thread. The UI ports are borrowed.

#include <array>
#include <filesystem>
#include <functional>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "app/ConnectOption.h"
#include "app/LinkCounters.h"
#include "app/ProgramPaths.h"
#include "app/ShellScenarios.h"
#include "capture/AviRecording.h"
#include "app/ShellServices.h"
#include "connect/ActiveSyncAdapter.h"
#include "connect/ConnectContext.h"
#include "connect/InboundConnections.h"
#include "connect/InboundListener.h"
#include "link/Links.h"
#include "link/PasswordTable.h"
#include "link/ui/PasswordDialog.h"
#include "connect/ui/SshQuestionDialogs.h"
#include "platform/Clock.h"
#include "platform/PosixTransports.h"
#include "platform/UiPorts.h"
#include "program/InputBroadcast.h"
#include "program/Program.h"
#include "scripts/ui/ScriptRecorder.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "settings/ui/SettingsDialogContext.h"
#include "tools/ui/TypeTextDialog.h"
#include "view/ViewRecord.h"

namespace sorvane {

class ConnectionWindows;
class DevicesWindow;
class DeviceWindow;
class FleetService;
class InputBroadcast;
class MainWindow;
class ShellActiveSync;
class ShutterPlayer;
class AviCommands;
struct CaptureUiContext;
class ShellConnector;
class ShellProfileDialogs;
class ShellFleet;
class FleetService;

struct ShellOptions {
    ProgramPaths paths;
    std::filesystem::path settingsDir;
    std::optional<std::string> connectHost; // --connect HOST
    Ipv4Resolver resolve = resolveIpv4;
    // Connect the auto-connect profiles and the --connect profile once the event
    // loop runs (tests that drive the windows themselves turn it off).
    bool connectAtStart = true;
    // The address the inbound listener binds (first octet most significant); 0: the
    // InboundListenAddress setting (every interface by default). Tests bind loopback.
    uint32_t inboundBindAddress = 0;
    // Asks the user about inbound devices from addresses not allowed yet; nullptr:
    // the program's box (QtInboundPrompt). Tests hand in a scripted one.
    InboundAdmissionPrompt* inboundPrompt = nullptr;
    // Time between attempts of the timed connect dialog (tests shorten it).
    int attemptPeriodMs = 7000;
    // How often the inbound listener is looked at while AcceptInbound is on (every
    // pending connection is accepted on each look; workers also ask for a look when a
    // handshake ends or a device waits for a question).
    int inboundPollMs = 250;
    // The synchronisation service; nullptr: the system's (LinuxActiveSync). Tests
    // hand in a double.
    ActiveSyncAdapter* activeSync = nullptr;
    // The links' clock, which times the connections' exchanges; nullptr: the system's.
    // Tests hand in one they can move on.
    Clock* clock = nullptr;
    // --grid: the Devices window opens at start (it also does when it was open as the
    // program last ended).
    bool openDevicesWindow = false;
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
    ShellScenarios* scenarioService() const { return scenarios_.get(); }
    // The fleet commands on several devices at once (the Devices window's selection).
    FleetService* fleetService() const;
    // What is program-wide, and the table of live devices.
    Program& program() { return program_; }
    Settings& settings() { return settings_; }
    ProfileTable& profiles() { return profiles_; }
    const ProgramPaths& paths() const { return options_.paths; }
    PlatformSettings& platformSettings() { return platform_; }
    // The one AVI recording of the program; connection threads hand it a frame after
    // every poll (frameAfterPoll).
    AviRecording& aviRecording() { return program_.aviRecording(); }
    // The skin buttons' "CLICK".
    const ShutterPlayer& clickPlayer() const { return *click_; }
    // The link slots (their events go to the device windows), the password
    // table, the handshake's password prompt and the status windows' counters.
    Links& links() { return links_; }
    PasswordTable& passwords() { return passwords_; }
    PasswordPrompt& passwordPrompt() { return *prompt_; }
    const LinkCounterSource& linkCounters() const { return counters_; }
    // The profile --connect HOST named (-1 when none), kept for the connect flow.
    int connectProfile() const { return connectProfile_; }

    // The view records of the connections, what the connect flows work with, and
    // the skin names of "SKINS.INI".
    ConnectContext& connectContext() { return *connectContext_; }
    SettingsDialogContext& dialogContext() { return *dialogContext_; }
    const std::vector<std::string>& skinNames() { return program_.skinNames(); }
    // The inbound listener (may be closed) and what accepts its connections (polled
    // on a timer while AcceptInbound is on).
    InboundListener& inboundListener() { return *inbound_; }
    InboundAcceptor& inboundAcceptor() { return *acceptor_; }
    ActiveSyncAdapter& activeSync() { return *activeSync_; }

    // OpenDeviceWindow: the program adds the device of a link whose handshake passed
    // (installed as slot number `slot`, taken by the caller; its connection takes the
    // link), then its device window opens, owned by the main window; the window starts
    // the device and joins the connection list, and closing it closes the device.
    // profileIndex -1 (an inbound connection with no profile defined):
    // the connection takes the default settings for new connections. nullptr when the
    // device's display cannot be shown. relinker: how to dial the link again when it
    // drops (a link this program dialled), else null.
    DeviceWindow* openDeviceWindow(int profileIndex, int slot, std::unique_ptr<LinkSlot> link,
                                   const ViewStart& start = {}, std::shared_ptr<Relinker> relinker = nullptr);
    // The device window of a live slot, or nullptr.
    DeviceWindow* deviceWindow(int slot) const;
    // Raises the device window of `slot`, or opens one on its live device when the
    // window was closed; nullptr when the slot holds no device.
    DeviceWindow* showDeviceWindow(int slot);

    // The Devices window (Window > Devices, --grid): shown and raised, made when needed.
    // While it is open, closing a device window leaves the device connected (its tile
    // stays); when the user closes it, every device left without a window gets its
    // window again, so nothing connected is out of sight. nullptr while closed.
    DevicesWindow* showDevicesWindow();
    DevicesWindow* devicesWindow() const;
    // Input broadcast: Broadcast Input (Ctrl+Shift+B) on a device window makes its
    // device the leader, to the devices `selection` names (the Devices window's
    // selection) when it names another, else to every live device; on the leader it
    // ends it. The leader's title says so while it runs.
    InputBroadcast& inputBroadcast() { return broadcast_; }
    void setBroadcastSelection(std::function<std::vector<int>()> selection) { broadcastSelection_ = std::move(selection); }
    void toggleBroadcast(int leaderSlot);

    // The Connect command for one profile (in-use check, then its dialog), and the
    // start-up connections; both return when their dialogs have closed.
    void connectProfile(int index);
    void connectAtStart();

signals:
    // The main window was closed: the program ends with this code.
    void quitRequested(int code);

private:
    DeviceWindow* makeDeviceWindow(Device& device, int profileIndex, const ViewStart& start);
    void devicesWindowClosed();
    void keepOnScreen(QWidget& window) const;
    void placeBesideOthers(QWidget& window) const;
    void applyConnectOption();
    void startInboundListener();
    void closeDeviceWindows();
    void addReconnectSetting();
    void showBroadcast(); // the leader's title and every window's Broadcast Input check

    ShellOptions options_;
    UiPorts ports_;
    Program program_; // outlives every window
    // The program's records the shell works with most.
    Settings& settings_;
    ProfileTable& profiles_;
    PlatformSettings& platform_;
    Links& links_;
    PasswordTable& passwords_;
    PosixTransportFactory transports_;
    InputBroadcast broadcast_{program_};
    std::function<std::vector<int>()> broadcastSelection_;
    LinksCounterSource counters_;
    std::array<uint32_t, 16> customColors_{};
    std::unique_ptr<InboundListener> inbound_;
    std::unique_ptr<ActiveSyncAdapter> ownActiveSync_;
    ActiveSyncAdapter* activeSync_ = nullptr;
    std::unique_ptr<ShellActiveSync> activeSyncService_;
    std::unique_ptr<DialogPasswordPrompt> prompt_;
    std::unique_ptr<DialogSshQuestions> sshQuestions_; // what SSH gateways ask, for the whole run
    std::unique_ptr<ConnectContext> connectContext_;
    std::unique_ptr<SettingsDialogContext> dialogContext_;
    std::unique_ptr<ShellProfileDialogs> profileDialogs_;
    std::unique_ptr<ShellConnector> connector_;
    std::unique_ptr<InboundAdmissionPrompt> ownInboundPrompt_;
    std::unique_ptr<InboundAcceptor> acceptor_;
    QTimer* inboundTimer_ = nullptr;
    std::unique_ptr<ScriptRecorder> recorder_; // outlives the device windows that call it
    TypeTextChoice typeChoice_; // the Type text dialog's clipboard choice, kept in the platform settings
    std::unique_ptr<SettingsProfiles> profileAccess_;
    std::shared_ptr<AviCommands> aviCommands_;
    std::unique_ptr<ShutterPlayer> shutter_;
    std::unique_ptr<ShutterPlayer> click_; // a skin button's "CLICK"
    std::shared_ptr<const CaptureUiContext> captureContext_; // shared with the device windows' commands
    std::unique_ptr<ConnectionWindows> windows_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<ShellScenarios> scenarios_; // the Scripts list's commands
    std::unique_ptr<ShellFleet> fleet_;         // the fleet commands, over scenarios_
    int connectProfile_ = -1;
    QPointer<DevicesWindow> devices_;
    bool exiting_ = false; // the program ends: device windows end their devices
    // "Reconnect when a link drops", shared with the connections' threads.
    std::shared_ptr<std::atomic<bool>> reconnectWanted_ = std::make_shared<std::atomic<bool>>(true);
};

} // namespace sorvane
