#pragma once
// The device window ("KWXCLASS") of one live connection: the device's screen under a
// toolbar, scaled 1x to 4x and turned by 0, 90, 180 or 270 degrees, with the menu of
// the connection's commands. Mouse and keyboard input in the picture operate the
// device (input packets, sent at once or queued for the connection thread), except
// the drag that marks a checkpoint while a script is recorded (Add Checkpoint: a
// rubber band, Escape cancels it).
//
// Opening: the program adds the Device of a slot whose handshake passed (with its
// Connection) and a new window shows it: the window starts the device, fits itself to
// the picture, shows itself and asks for a refresh. A window may also open on a device
// that is live already (its window was closed while the Devices window kept it): it
// then follows the device without starting it again. Closing (the user, Exit, Suspend,
// Disconnect, or the device closing the link): the window deletes itself and, as it
// goes, asks the program to close the device (its connection's threads are stopped and
// joined, the slot is free once it is gone) -- unless the context's keepDevice says
// the device stays (the Devices window is open): then the window only lets go of it.
// Disconnect (and the device closing the link) always ends the device.
// The window never calls the link: input and device commands are handed to the
// connection, exchanges with a reply are posted to it as jobs.
//
// Commands arrive at command(id) from the menu, the toolbar, the accelerator keys
// the main window forwards, the Configure dialog and the connection thread. The
// menus, toolbar and the window's own keys are built from the command table
// (view/CommandTable.h, kDeviceCommands), which also says when each is enabled. The
// commands of other subsystems (capture, recording, skins, file explorer, device
// tools, status window, help, configure) are handed in as DeviceWindowServices;
// a command without its service is shown disabled and does nothing, and so is an id
// the table does not list.
//
// The window is one view of its connection (ConnectionView): it keeps what the profile
// and the Configure dialog set (scale, rotation, skin, its window state, the AVI
// recording's cursor) and maps the connection's device rectangles and its own pointer
// positions through that geometry itself.
//
// Thread: user-interface thread. The connection thread reports through a view and a
// ConnectionObserver the window owns, which only post queued calls. Settings and the beep
// are borrowed from the program and outlive the window.

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "link/Links.h"
#include "platform/UiPorts.h"
#include "screen/ScreenMatch.h"
#include "settings/Profile.h"
#include "settings/Settings.h"
#include "settings/ui/SettingsDialogContext.h"
#include "view/CommandTable.h"
#include "view/Connection.h"
#include "view/ConnectionView.h"
#include "view/InputPackets.h"
#include "view/PointerInput.h"
#include "view/Skin.h"
#include "view/SkinGeometry.h"
#include "view/ViewRecord.h"
#include "view/ui/DevicePicture.h"

class QAction;
class QLabel;
class QMenuBar;
class QToolBar;
class QVBoxLayout;

namespace sorvane {

class Device;
class DeviceWindow;
class Program;

// The device window's command ids (their rows: view/CommandTable.h).
namespace devcmd = cmd;

// A region of the device's picture the user marked with Add Checkpoint: device pixels
// of the display in use, the picture shown there at the release, and whether Shift
// was held then (a wait rather than a check).
struct CheckpointRegion {
    DeviceRect rect;
    RgbPicture picture;
    bool waits = false;
};

// Commands that other subsystems carry out for a device window, by command id
// (Configure, Connection Status, Help Index, capture, recording, skin, explorer,
// device tools: the rows of kDeviceCommands that are enabled when handled). Each
// handler runs on the user-interface thread with the window; commands it posts to
// the window (postCommand) run after it returns.
struct DeviceWindowServices {
    std::map<int, std::function<void(DeviceWindow&)>> commands;
    // Sees every input packet the window sends, before it is sent (script recording).
    std::function<void(DeviceWindow&, const InputPacket&)> inputSent;
    // Add Checkpoint's region (script recording); while recording, the command is
    // enabled when this is set.
    std::function<void(DeviceWindow&, const CheckpointRegion&)> checkpoint;
    // The window is about to close (the recording's save prompt).
    std::function<void(DeviceWindow&)> closing;
    // The dropped link is back (a scenario the drop paused resumes).
    std::function<void(DeviceWindow&)> reconnected;
    // Adds what only the program knows to the status line's activity: the scenario's
    // name, the video's figures (the window fills in its record state).
    std::function<void(DeviceWindow&, WindowActivity&)> describe;
    // The user showed or hid the status line (the program remembers it).
    std::function<void(bool shown)> statusLineShown;
};

struct DeviceWindowContext {
    const Settings& settings; // QueueEvents is read at every input event
    BeepPort& beep;
    DeviceWindowServices services;
    // Where the window's top left goes when it opens; none: where the desktop puts it.
    std::optional<QPoint> position;
    // Plays the "CLICK" of a skin button `times` times in a row, once for each button a
    // press hit (may be empty: silence).
    std::function<void(int times)> playClick;
    bool showStatusLine = true;
    // Asked as the window goes: true when the device stays connected without it (empty:
    // never). Disconnect and a closed link end the device whatever it says.
    std::function<bool()> keepDevice;
};

class DeviceWindow final : public QWidget, public ConnectionSettingsPort, public DevicePictureHost {
    Q_OBJECT
public:
    // Opens the window for a device of `program` made from `profile`, at the scale the
    // connect flow chose (start), and starts it (a device started already is followed).
    // The window is shown.
    DeviceWindow(DeviceWindowContext context, Program& program, Device& device, const Profile& profile,
                 const ViewStart& start, QWidget* parent = nullptr);
    // Ends the device, or lets go of it when the context keeps it: the status window
    // closes and the program closes the device (its connection's threads are stopped
    // and joined, buffers and link are released and the slot is free).
    ~DeviceWindow() override;

    int slot() const { return slot_; }
    int profileIndex() const { return profileIndex_; }
    QString deviceName() const { return deviceName_; }
    Device& device() const { return device_; }
    Connection& connection() const { return *connection_; }
    ViewRecord& view() const { return connection_->view(); }

    // Keys a tool typed for the user (Type text): recorded while a recording runs and
    // counted as key presses, as keys the user pressed are. The tool sends them.
    void noteTypedKeys(const std::vector<InputPacket>& packets);

    // Carries out a command (see devcmd); disabled ones do nothing.
    void command(int id);
    bool isCommandEnabled(int id) const;

    // The client area: the toolbar on top (toolbarHeight() pixels), the picture below.
    // Mouse positions in it are the client points input mapping takes.
    QWidget* client() const { return client_; }
    QToolBar* toolbar() const { return toolbar_; }
    int toolbarHeight() const { return geometry_.toolbarHeight; }
    // Where the picture sits in the client area: scale, rotation, skin placement, toolbar.
    const ViewGeometry& geometry() const { return geometry_; }
    // The profile's or Configure's "show the mouse cursor" in AVI recordings.
    bool showsMouseCursor() const { return showMouseCursor_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QAction* action(int id) const; // the menu item of a command, or nullptr
    // The live status line under the picture (Status Line, 40097, hides and shows it).
    QLabel* statusLine() const { return statusLine_; }
    void updateStatusLine();

    // The status window of this connection, kept by the Connection Status service;
    // closed with the device window.
    QPointer<QWidget>& statusWindow() { return statusWindow_; }

    // Toggle Skin (40007), run by the shell's skin service with the program folder:
    // loads skin skinIndex when none is shown ("Error loading skin bitmaps" and a beep
    // when its image does not load, a beep when none is configured), else unloads it.
    void toggleSkin(const std::filesystem::path& programDir, MessageBoxPort& messages);
    const Skin& skin() const { return skin_; }

    // ConnectionSettingsPort: the live settings of this connection.
    ConnectionViewSettings viewSettings() const override;
    void storeViewSettings(const ConnectionViewSettings& settings) override;
    void postCommand(int commandId) override;

    // DevicePictureHost: used by the client area.
    void paintClient(QWidget& target, const QRegion& exposed) override;
    void mouseInput(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                    Qt::KeyboardModifiers modifiers, const QPoint& clientPoint) override;
    void keyInput(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool autoRepeat, int count) override;
    void clientResized() override;

protected:
    void changeEvent(QEvent* event) override;
    // While a command's dialog of this window runs, a close (a dropped link, Close
    // All) first ends that dialog and closes the window once the command returns.
    void closeEvent(QCloseEvent* event) override;

private:
    class Sink;

    void buildMenu();
    void buildToolbar();
    void fit();
    void setRotation(int degrees);
    void setScale(int scale);
    void toggleLowColor();
    void toggleFlip();
    void sendInput(const InputPacket& packet);
    void updateChecks();
    void applyEnabledStates();
    void runService(int id);
    void runPosted();
    void flushDamage();
    void placeSkin();
    void hoverTick();
    void hideTip();
    void deviceStateChanged(DeviceState state);
    // Add Checkpoint: the next left drag on the picture draws a band instead of
    // operating the device; true when the band took the event.
    bool bandInput(QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& at);
    DeviceRect bandArea() const;
    // Ends the band; one being dragged still takes the events up to its release.
    void endBand();

    DeviceWindowContext context_;
    std::unique_ptr<Sink> sink_; // outlives the device, whose connection thread calls it
    Program& program_;
    Device& device_;
    Connection* const connection_; // the device's
    const int slot_;
    const int profileIndex_;
    ViewRecord& view_;
    ViewGeometry geometry_;       // this view's own (connection thread never reads it)
    int skinIndex_ = 0;           // the skin Toggle Skin loads
    bool showMouseCursor_ = false;
    bool maximized_ = false;      // the window is (to be) maximised
    DisplayGeometry display_;     // the display the window was last fitted to
    bool relinking_ = false;      // a dropped link is being dialled again
    QString deviceName_;
    PointerInput pointer_;
    Skin skin_;                 // the case shown around the picture, with its buttons
    int hotspotButtons_ = 0;    // buttons (1 left, 2 right) whose press a skin button took
    HoverCounter hover_;        // ticks of hoverTimer_ since the mouse last moved
    QTimer hoverTimer_;
    QString tip_;               // the skin button's tooltip shown in tipBox_; empty: none
    QRect tipBox_;

    QVBoxLayout* layout_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    std::multimap<int, QAction*> actions_;
    QPointer<QWidget> statusWindow_;
    QLabel* statusLine_ = nullptr;
    QTimer statusTimer_;
    bool greyed_ = false; // the picture shown is the last one before the link dropped
    enum class Band { None, Armed, Dragging, Cancelled };
    Band band_ = Band::None;  // Add Checkpoint's rubber band
    QPoint bandFrom_, bandTo_; // its corners, client points
    bool escapeTaken_ = false; // the band took Escape's key-down: its key-up is not sent
    bool recording_ = false;   // Add Checkpoint was last enabled (its state follows recording)

    int serviceDepth_ = 0;      // > 0 while a service handler runs
    std::deque<int> posted_;    // commands posted while a handler ran
    bool opened_ = false;
    bool closeAfterService_ = false;
    bool endDevice_ = false; // Disconnect: the device ends with the window whatever keepDevice says
};

} // namespace sorvane
