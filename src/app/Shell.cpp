#include "app/Shell.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include <QScreen>
#include <QStyle>
#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "view/CommandIds.h"
#include "app/DeviceToolsServices.h"
#include "app/ConnectionWindows.h"
#include "app/DevicesWindow.h"
#include "program/InputBroadcast.h"
#include "app/InboundPrompt.h"
#include "app/MainWindow.h"
#include "app/ShellFleet.h"
#include "app/StatusWindow.h"
#include "capture/ui/AviCommands.h"
#include "capture/ui/CaptureCommands.h"
#include "capture/ShutterSound.h"
#include "capture/ui/ShutterPlayer.h"
#include "connect/ui/ConnectCommand.h"
#include "connect/ui/ConnectMany.h"
#include "files/ui/DeviceFileService.h"
#include "files/ui/ExplorerWindow.h"
#include "platform/WindowPlacement.h"
#include "settings/ui/ConfigDialog.h"
#include "settings/ui/ProfileDialog.h"
#include "view/SkinList.h"
#include "view/ViewRecord.h"
#include "view/ui/DeviceWindow.h"

namespace sorvane {

// The main window's Connect command.
class ShellConnector final : public ConnectService {
public:
    explicit ShellConnector(Shell& shell) : shell_(shell) {}
    void connectProfile(int index) override { shell_.connectProfile(index); }
    void connectProfiles(const std::vector<int>& indexes) override
    {
        ConnectProfiles(shell_.mainWindow(), shell_.connectContext(), indexes);
    }
    void connectAll() override
    {
        RunConnectMany(shell_.mainWindow(), shell_.connectContext(), AutoConnectIndexes(shell_.profiles()));
    }

private:
    Shell& shell_;
};

// The New/Edit Connection and Default Settings dialogs over the shell's records.
class ShellProfileDialogs final : public ProfileDialogService {
public:
    ShellProfileDialogs(Shell& shell, std::function<void()> afterDefaults)
        : shell_(shell), afterDefaults_(std::move(afterDefaults)) {}
    std::optional<int> newConnection() override
    {
        return RunProfileDialog(shell_.mainWindow(), ProfileDialogMode::New, -1, shell_.dialogContext());
    }
    std::optional<int> editConnection(int index) override
    {
        return RunProfileDialog(shell_.mainWindow(), ProfileDialogMode::Edit, index, shell_.dialogContext());
    }
    void defaultSettings() override
    {
        if (RunDefaultSettingsDialog(shell_.mainWindow(), shell_.dialogContext()))
            afterDefaults_();
    }

private:
    Shell& shell_;
    std::function<void()> afterDefaults_;
};

// Start and Stop ActiveSync of the main window's File menu.
class ShellActiveSync final : public ActiveSyncService {
public:
    explicit ShellActiveSync(ActiveSyncAdapter& adapter) : adapter_(adapter) {}
    void stop() override { adapter_.stop(); }
    void start() override { adapter_.start(); }

private:
    ActiveSyncAdapter& adapter_;
};

namespace {

// On a screen with fewer logical pixels than the window needs at the profile's scale
// (a high-density screen at a scale factor of 2 or 3), the device window opens at the
// largest scale at which all of it, frame included, fits on the screen.
void FitScaleToScreen(DeviceWindow& window, const QWidget* main)
{
    QScreen* screen = main ? main->screen() : window.screen();
    if (!screen || window.isMaximized())
        return;
    // The frame is taken to be as thick as the main window's, with a title bar at least
    // as high as the style's (a window manager's frame may not scale with the screen).
    QSize border = main ? main->frameGeometry().size() - main->geometry().size() : QSize();
    border.setHeight(std::max(border.height(), window.style()->pixelMetric(QStyle::PM_TitleBarHeight)));
    const QSize room = screen->availableGeometry().size();
    const int scaleCommand[] = {devcmd::Scale1, devcmd::Scale2, devcmd::Scale3};
    for (int scale = window.geometry().scale; scale > 1; scale = window.geometry().scale) {
        const QSize frame = window.size() + border;
        if (frame.width() <= room.width() && frame.height() <= room.height())
            return;
        window.command(scaleCommand[scale - 2]);
        if (window.geometry().scale == scale)
            return; // the skin does not allow a smaller scale
    }
}

// Commands of the main window's accelerator keys, handed to a device window.
class DeviceCommandTarget final : public QObject, public CommandTarget {
public:
    explicit DeviceCommandTarget(DeviceWindow* window) : QObject(window), window_(window) {}
    void command(int id) override { window_->command(id); }

private:
    DeviceWindow* window_;
};

} // namespace

namespace fs = std::filesystem;

SettingsProfiles::SettingsProfiles(ProfileTable& table, std::function<void()> save)
    : table_(table)
    , save_(std::move(save))
{
}

int SettingsProfiles::profileCount() const { return table_.ConnTypes(); }

const Profile& SettingsProfiles::profile(int index) const
{
    static const Profile none{};
    const Profile* p = table_.get(index);
    return p ? *p : none;
}

bool SettingsProfiles::cloneProfile(int index) { return table_.CloneProfile(index); }

void SettingsProfiles::deleteProfile(int index) { table_.DeleteProfile(index); }

void SettingsProfiles::saveSettings() { save_(); }

Shell::Shell(ShellOptions options, UiPorts ports, QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
    , ports_(ports)
    , program_(ProgramSetup{options_.paths.programDir, options_.paths.programDirPrefix(), options_.clock})
    , settings_(program_.settings())
    , profiles_(program_.profiles())
    , platform_(program_.platform())
    , links_(program_.links())
    , passwords_(program_.passwords())
    , counters_([this](int slot) -> const Connection* {
        Device* d = program_.device(slot);
        return d && d->hasConnection() ? &d->connection() : nullptr;
    })
{
    aviCommands_ = std::make_shared<AviCommands>(AviUiContext{
        program_.aviRecording(), options_.paths.programDir, ports_.messages, ports_.beep, ports_.files, {}});
    shutter_ = std::make_unique<ShutterPlayer>();
    click_ = std::make_unique<ShutterPlayer>(ClickSoundWav(), nullptr);
    captureContext_ = std::make_shared<const CaptureUiContext>(CaptureUiContext{
        options_.paths.programDir, platform_, ports_.messages, ports_.files, [this] { shutter_->play(); }, {}});
}

Shell::~Shell()
{
    // An inbound handshake in progress is cancelled first; device windows end their
    // connections while the links, views and the main window they report to still
    // exist.
    if (inboundTimer_)
        inboundTimer_->stop();
    acceptor_.reset();
    closeDeviceWindows();
    program_.setEvents(nullptr);
}

void Shell::closeDeviceWindows()
{
    // The program ends: the Devices window goes first, and every device with it.
    exiting_ = true;
    broadcast_.stop();
    if (devices_) {
        platform_.DevicesWindowGeometry = devices_->saveGeometry().toBase64().toStdString();
        delete devices_.data();
    }
    if (!windows_)
        return;
    for (int slot : windows_->liveSlots())
        delete windows_->window(slot);
    program_.closeAll();
}

void Shell::start()
{
    // The program directory gets the shipped files it lacks (the manual, ...).
    seedProgramDirectory(options_.paths.defaultsDir, options_.paths.programDir);

    // The settings, the script folder and the skin list.
    const SettingsLoadResult loaded = program_.loadSettings(options_.settingsDir);

    applyConnectOption();
    typeChoice_.viaClipboard = platform_.TypeViaClipboard != 0;
    typeChoice_.remember = [this](bool via) {
        platform_.TypeViaClipboard = via ? 1 : 0;
        saveSettings();
    };
    recorder_ = std::make_unique<ScriptRecorder>(ports_.messages, ports_.files,
                                                 options_.paths.programDirPrefix() + "RECORDED_DATA");

    // The tiles follow the broadcast (the call comes on any thread).
    broadcast_.addChanged([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (devices_)
                    devices_->updateBroadcastMarks();
            },
            Qt::QueuedConnection);
    });
    profileAccess_ = std::make_unique<SettingsProfiles>(profiles_, [this] { saveSettings(); });
    windows_ = std::make_unique<ConnectionWindows>(&program_);
    program_.setEvents(windows_.get());
    window_ = std::make_unique<MainWindow>(*profileAccess_, ports_, *windows_, ShellServices{},
                                           QString::fromStdString(options_.paths.helpIndex().string()));
    connect(window_.get(), &MainWindow::closed, this, [this] { emit quitRequested(0); });
    if (connectProfile_ >= 0)
        window_->refreshConnectionList(connectProfile_);
    addReconnectSetting();
    // Marks change on the thread that sends the leader's input; the titles follow later.
    broadcast_.addChanged([this] { QMetaObject::invokeMethod(this, [this] { showBroadcast(); }, Qt::QueuedConnection); });
    // The password dialog belongs to the main window and keeps HidePassword.
    prompt_ = std::make_unique<DialogPasswordPrompt>(settings_.HidePassword, ports_.messages, window_.get());
    sshQuestions_ = std::make_unique<DialogSshQuestions>(window_.get());

    inbound_ = std::make_unique<InboundListener>(options_.inboundBindAddress != 0
                                                     ? options_.inboundBindAddress
                                                     : inboundListenAddressFrom(platform_));
    connectContext_ = std::make_unique<ConnectContext>(ConnectContext{
        links_, settings_, profiles_, platform_, passwords_, *prompt_, transports_, ports_.messages, ports_.beep,
        [this](int profileIndex, int slot, std::unique_ptr<LinkSlot> link, const ViewStart& start,
               std::shared_ptr<Relinker> relinker) {
            return openDeviceWindow(profileIndex, slot, std::move(link), start, std::move(relinker)) != nullptr;
        }});
    connectContext_->attemptPeriodMs = options_.attemptPeriodMs;
    connectContext_->sshQuestions = sshQuestions_.get();
    activeSync_ = options_.activeSync;
    if (!activeSync_) {
        ownActiveSync_ = std::make_unique<LinuxActiveSync>(platform_, program_.store());
        activeSync_ = ownActiveSync_.get();
    }
    connectContext_->activeSync = activeSync_;
    activeSyncService_ = std::make_unique<ShellActiveSync>(*activeSync_);
    dialogContext_ = std::make_unique<SettingsDialogContext>(SettingsDialogContext{
        settings_, profiles_, program_.skinNames(), ports_.messages, ports_.beep, ports_.colors, customColors_,
        [this](int port) { return inbound_->reopen(port); },
        [this](int index) {
            if (window_)
                window_->refreshConnectionList(index);
        },
        [this]() -> std::string { return program_.saveSettings(); }});
    dialogContext_->files = &ports_.files;
    profileDialogs_ = std::make_unique<ShellProfileDialogs>(*this, [this] { startInboundListener(); });
    connector_ = std::make_unique<ShellConnector>(*this);
    scenarios_ = std::make_unique<ShellScenarios>(
        ShellScenarios::Context{ports_.messages, ports_.beep, ports_.files, [this] { return program_.liveSlots(); },
                                [this](int slot) { return program_.device(slot); },
                                [this](int select) {
                                    if (!window_)
                                        return;
                                    // -1: the lines change, the selection stays.
                                    QTreeWidget* list = window_->scriptsList();
                                    if (select == -1 && !list->selectedItems().isEmpty())
                                        select = list->indexOfTopLevelItem(list->selectedItems().first());
                                    window_->refreshScenarioList(select);
                                },
                                window_.get(),
                                [this](const std::vector<int>& picked) { return FleetLabels(program_, picked); }},
        program_.scenarios(), settings_.ScriptDir, options_.paths.programDirPrefix() + "RECORDED_DATA/scripts.bin");
    fleet_ = std::make_unique<ShellFleet>(ShellFleet::Context{program_, ports_.messages, ports_.files, *scenarios_,
                                                              options_.paths.programDir / "RECORDED_DATA"});
    // A scenario playing or paused on a device ends with the device; it never resumes
    // on the device that takes the slot next. One the drop of a window-less device
    // paused plays on when the link is back.
    connect(windows_.get(), &ConnectionWindows::deviceEnded, this, [this](int slot) {
        if (scenarios_)
            scenarios_->connectionEnded(slot);
    });
    connect(windows_.get(), &ConnectionWindows::windowlessRelinked, this, [this](int slot) {
        if (scenarios_)
            scenarios_->reconnected(slot);
    });
    ShellServices services;
    services.devices = [this] { showDevicesWindow(); };
    services.scenarios = scenarios_.get();
    services.profileDialogs = profileDialogs_.get();
    services.connect = connector_.get();
    services.activeSync = activeSyncService_.get();
    window_->setServices(services);
    window_->show();

    // The synchronisation service forwards the agent's port once it is registered.
    activeSync_->registerProxyPort();
    startInboundListener();
    InboundAdmissionPrompt* inboundPrompt = options_.inboundPrompt;
    if (!inboundPrompt) {
        ownInboundPrompt_ = std::make_unique<QtInboundPrompt>(window_.get());
        inboundPrompt = ownInboundPrompt_.get();
    }
    acceptor_ = std::make_unique<InboundAcceptor>(*connectContext_, *inbound_, *inboundPrompt);
    // Workers only post; the poll runs here, and not after the acceptor has gone.
    acceptor_->setWake([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (acceptor_)
                    acceptor_->poll(settings_.AcceptInbound && inbound_->isListening());
            },
            Qt::QueuedConnection);
    });
    // An address the user always allows is in the settings file at once.
    acceptor_->setRemembered([this] { saveSettings(); });
    inboundTimer_ = new QTimer(this);
    connect(inboundTimer_, &QTimer::timeout, this,
            [this] { acceptor_->poll(settings_.AcceptInbound && inbound_->isListening()); });
    inboundTimer_->start(std::max(1, options_.inboundPollMs));

    if (loaded.problem())
        ports_.messages.show(MessageRequest{loaded.error, "Sorvane", MessageIcon::Warning, MessageButtons::Ok});

    if (options_.openDevicesWindow || platform_.DevicesWindow != 0)
        showDevicesWindow();
    if (options_.connectAtStart)
        QTimer::singleShot(0, this, [this] { connectAtStart(); });
}

FleetService* Shell::fleetService() const { return fleet_.get(); }
DevicesWindow* Shell::showDevicesWindow()
{
    if (!devices_) {
        devices_ = new DevicesWindow(
            DevicesWindowContext{program_, *windows_, [this](int slot) { return showDeviceWindow(slot); }, fleet_.get(),
                                 &broadcast_},
            window_.get());
        if (!platform_.DevicesWindowGeometry.empty())
            devices_->restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(platform_.DevicesWindowGeometry)));
        connect(devices_.data(), &DevicesWindow::closedByUser, this, &Shell::devicesWindowClosed);
        // Broadcast Input on a device window sends to the tiles selected here.
        setBroadcastSelection([this] { return devices_ ? devices_->selectedSlots() : std::vector<int>{}; });
        if (platform_.DevicesWindow == 0) {
            platform_.DevicesWindow = 1;
            saveSettings();
        }
    }
    devices_->setWindowState(devices_->windowState() & ~Qt::WindowMinimized);
    devices_->show();
    devices_->raise();
    devices_->activateWindow();
    return devices_.data();
}

DevicesWindow* Shell::devicesWindow() const { return devices_.data(); }

void Shell::devicesWindowClosed()
{
    if (!devices_)
        return;
    platform_.DevicesWindow = 0;
    platform_.DevicesWindowGeometry = devices_->saveGeometry().toBase64().toStdString();
    saveSettings();
    devices_->deleteLater();
    devices_ = nullptr;
    // A device the grid kept without a window is seen again in a window of its own.
    for (int slot : windows_->windowlessSlots())
        showDeviceWindow(slot);
}

DeviceWindow* Shell::showDeviceWindow(int slot)
{
    if (DeviceWindow* w = deviceWindow(slot)) {
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
        w->raise();
        w->activateWindow();
        return w;
    }
    Device* device = program_.device(slot);
    if (!device || !device->hasConnection() || !windows_->isWindowless(slot))
        return nullptr;
    const int profileIndex = device->profileIndex();
    return makeDeviceWindow(*device, profileIndex, ViewStart{windowProfile(profiles_, settings_, profileIndex).scale});
}

void Shell::startInboundListener()
{
    if (!settings_.AcceptInbound || inbound_->isListening())
        return;
    if (inbound_->StartInboundListener(settings_.InboundPort) != InboundListener::StartResult::Listening)
        std::fprintf(stderr, "sorvane: cannot listen for inbound connections on port %d\n", int(settings_.InboundPort));
}

void Shell::connectProfile(int index) { ConnectProfile(window_.get(), *connectContext_, index); }

void Shell::connectAtStart()
{
    AutoConnectProfiles(window_.get(), *connectContext_);
    // The --connect profile, unless the start-up connections already opened it.
    if (connectProfile_ >= 0 && connectProfile_ < profiles_.ConnTypes() && !windows_->profileInUse(connectProfile_))
        connectProfile(connectProfile_);
}

DeviceWindow* Shell::openDeviceWindow(int profileIndex, int slot, std::unique_ptr<LinkSlot> link,
                                      const ViewStart& start, std::shared_ptr<Relinker> relinker)
{
    const Profile profile = windowProfile(profiles_, settings_, profileIndex);
    std::string error;
    Device* device = program_.openDevice(slot, std::move(link), profile, profileIndex, start, error);
    if (!device)
        return nullptr;
    Connection* connection = &device->connection();
    // A WAN, LAN or proxy link this program dialled is dialled again when it drops,
    // while "Reconnect when a link drops" is on.
    if (relinker)
        connection->setRelinker(std::move(relinker), [wanted = reconnectWanted_] { return wanted->load(); });
    return makeDeviceWindow(*device, profileIndex, start);
}

DeviceWindow* Shell::makeDeviceWindow(Device& device, int profileIndex, const ViewStart& start)
{
    const Profile profile = windowProfile(profiles_, settings_, profileIndex);
    const int slot = device.slot();
    DeviceWindowServices services;
    services.commands[cmd::DefaultSettings] = [this](DeviceWindow& w) {
        RunConnectionConfigDialog(&w, w, program_.skinNames());
        w.setFocus();
    };
    services.commands[cmd::ConnectionStatus] = [this](DeviceWindow& w) {
        QPointer<StatusWindow> status(qobject_cast<StatusWindow*>(w.statusWindow().data()));
        w.statusWindow() = StatusWindow::showFor(status, w.slot(), w.deviceName(), counters_);
    };
    services.commands[devcmd::FileExplorer] = [this](DeviceWindow& w) {
        // One explorer per device window, a child of it so that it goes with it.
        if (auto* open = w.findChild<ExplorerWindow*>()) {
            open->showNormal();
            open->raise();
            open->activateWindow();
            return;
        }
        auto* explorer = new ExplorerWindow(
            ExplorerWindow::Context{w.deviceName(), std::make_unique<JobFileService>(w.device().connection(), w),
                                    ports_.messages, ports_.beep},
            &w);
        explorer->show();
    };
    services.commands[devcmd::ToggleSkin] = [this](DeviceWindow& w) {
        w.toggleSkin(options_.paths.programDir, ports_.messages);
        keepOnScreen(w); // a case makes the window larger
    };
    services.commands[devcmd::StartRecording] = [this](DeviceWindow& w) {
        ShowRecordingChange(w, recorder_->startRecording(w.device()));
    };
    services.commands[devcmd::StopRecording] = [this](DeviceWindow& w) {
        ShowRecordingChange(w, recorder_->stopRecording(w.device()));
    };
    services.inputSent = [this](DeviceWindow& w, const InputPacket& p) { recorder_->inputSent(w.device(), p); };
    services.inputHanded = [this](DeviceWindow& w, const InputPacket& p) {
        if (broadcast_.leader() == w.slot())
            broadcast_.leaderSent(p, settings_.QueueEvents != 0);
    };
    services.commands[cmd::BroadcastInput] = [this](DeviceWindow& w) { toggleBroadcast(w.slot()); };
    services.checkpoint = [this](DeviceWindow& w, const CheckpointRegion& r) { recorder_->checkpoint(w.device(), r); };
    services.closing = [this](DeviceWindow& w) { recorder_->closing(w.device()); };
    services.reconnected = [this](DeviceWindow& w) { scenarios_->reconnected(w.slot()); };
    services.describe = [this](DeviceWindow& w, WindowActivity& a) {
        if (a.recordState == RecordState::Playing || a.recordState == RecordState::Paused)
            a.scenario = scenarios_->scenarioOn(w.slot());
        if (const AviRecording::Progress p = program_.aviRecording().progress(); p.slot == w.slot()) {
            a.videoFrames = p.frames;
            a.videoRate = p.rate;
            a.videoBytes = p.bytes;
        }
    };
    services.statusLineShown = [this](bool shown) {
        platform_.StatusLine = shown ? 1 : 0;
        saveSettings();
    };
    services.commands[cmd::HelpIndex] = [this](DeviceWindow&) {
        if (window_)
            window_->runCommand(cmd::HelpIndex);
    };
    AddDeviceToolsServices(services, ports_.messages, &typeChoice_);
    AddCaptureCommands(services, captureContext_);
    AviCommands::addTo(services, aviCommands_);
    // A device window opens to the right of the main window and of the device
    // windows already open, so it hides neither the connection list nor another
    // device; where the screen has no room left, windows cascade from the main window.
    std::optional<QPoint> position;
    if (window_) {
        const QRect main = window_->frameGeometry();
        int right = main.right();
        const std::vector<int> live = windows_->liveSlots();
        for (int s : live)
            right = std::max(right, windows_->window(s)->frameGeometry().right());
        QPoint at(right + 12, main.top());
        if (QScreen* screen = window_->screen()) {
            const QRect area = screen->availableGeometry();
            const int k = int(live.size());
            if (at.x() + 120 > area.right())
                at = QPoint(std::min(main.right() + 12 + 28 * k, area.right() - 120), main.top() + 28 * k);
            if (at.y() + 120 > area.bottom())
                at.setY(area.top());
        }
        position = at;
    }
    auto* window = new DeviceWindow(
        DeviceWindowContext{settings_, ports_.beep, std::move(services), position, [this](int times) { click_->play(times); },
                            platform_.StatusLine != 0,
                            // While the Devices window is open, the device outlives its window.
                            [this] { return !exiting_ && devices_ && devices_->isVisible(); }},
        program_, device, profile, start, window_.get());
    FitScaleToScreen(*window, window_.get());
    placeBesideOthers(*window);
    keepOnScreen(*window);
    windows_->add(slot, profileIndex, window, new DeviceCommandTarget(window), device.serial());
    connect(window, &QObject::destroyed, this, [this, slot] {
        if (broadcast_.leader() == slot && !program_.device(slot))
            broadcast_.stop(); // the leader has gone
    });
    AddDeviceToolsToWindow(*window, ports_.messages, [this](DeviceWindow& w, const std::vector<uint8_t>& message) {
        if (broadcast_.leader() == w.slot())
            broadcast_.leaderSentMessage(message);
    });
    return window;
}

void Shell::toggleBroadcast(int leaderSlot)
{
    if (broadcast_.leader() == leaderSlot) {
        broadcast_.stop();
    } else {
        std::vector<int> members = broadcastSelection_ ? broadcastSelection_() : std::vector<int>{};
        if (std::none_of(members.begin(), members.end(), [leaderSlot](int s) { return s != leaderSlot; }))
            members = program_.liveSlots();
        broadcast_.start(leaderSlot, members);
    }
    showBroadcast(); // also when nothing changed: the menu's check flipped by itself
}

void Shell::showBroadcast()
{
    const int leader = broadcast_.leader();
    int reached = 0;
    for (const BroadcastMember& m : broadcast_.members())
        reached += m.mark != BroadcastMark::LeftOut;
    for (int slot : windows_->liveSlots()) {
        DeviceWindow* w = deviceWindow(slot);
        if (!w)
            continue;
        QVariant base = w->property("sorvaneTitle");
        if (!base.isValid()) {
            base = w->windowTitle();
            w->setProperty("sorvaneTitle", base);
        }
        const bool leads = slot == leader;
        w->setWindowTitle(leads ? QStringLiteral("%1 \u2014 Broadcasting to %2 %3")
                                      .arg(base.toString())
                                      .arg(reached)
                                      .arg(reached == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                                : base.toString());
        if (QAction* a = w->action(cmd::BroadcastInput))
            a->setChecked(leads);
    }
}

void Shell::placeBesideOthers(QWidget& window) const
{
    // Now that the window has its size: the first free room beside the main window or a
    // device window. A window the window manager has not framed yet is taken to get a
    // frame as thick as the main window's.
    QScreen* screen = window_ ? window_->screen() : nullptr;
    if (!screen || window.isMaximized())
        return;
    const QSize border = window_->frameGeometry().size() - window_->geometry().size();
    auto frameOf = [&](const QWidget& w) {
        QRect f = w.frameGeometry();
        if (f.size() == w.size())
            f.setSize(f.size() + border);
        return IntRect{f.x(), f.y(), f.width(), f.height()};
    };
    std::vector<IntRect> taken{frameOf(*window_)};
    for (int s : windows_->liveSlots())
        if (QWidget* other = windows_->window(s); other && other != &window && other->isVisible())
            taken.push_back(frameOf(*other));
    const QRect area = screen->availableGeometry();
    const IntRect frame = frameOf(window);
    if (std::optional<IntRect> spot = freeSpotBeside(taken, frame.width, frame.height,
                                                     IntRect{area.x(), area.y(), area.width(), area.height()}, 12))
        window.move(spot->x, spot->y);
}

void Shell::keepOnScreen(QWidget& window) const
{
    // Now that the window has its size, move it so that all of it shows: at a large
    // scale a picture is wider than the room right of the main window. The window
    // manager's frame is taken to be as thick as the main window's.
    QScreen* screen = window_ ? window_->screen() : window.screen();
    if (!screen || window.isMaximized())
        return;
    QSize frame = window.size();
    if (window_)
        frame += window_->frameGeometry().size() - window_->geometry().size();
    const QRect area = screen->availableGeometry();
    const IntRect kept = keptOnScreen(IntRect{window.x(), window.y(), frame.width(), frame.height()},
                                      IntRect{area.x(), area.y(), area.width(), area.height()});
    if (kept.x != window.x() || kept.y != window.y())
        window.move(kept.x, kept.y);
}

DeviceWindow* Shell::deviceWindow(int slot) const
{
    return windows_ ? qobject_cast<DeviceWindow*>(windows_->window(slot)) : nullptr;
}

void Shell::applyConnectOption()
{
    if (!options_.connectHost)
        return;
    const WanProfileResult r =
        ensureWanProfile(profiles_, settings_, /*skinCount=*/0, *options_.connectHost, options_.resolve);
    if (r.index < 0) {
        ports_.messages.show(MessageRequest{r.error, "Connect", MessageIcon::Error, MessageButtons::Ok});
        return;
    }
    connectProfile_ = r.index;
    if (r.created)
        saveSettings();
}

void Shell::addReconnectSetting()
{
    // "Reconnect when a link drops", in the Connection menu: read by every live
    // connection at the moment its link drops, and kept in the platform settings.
    reconnectWanted_->store(platform_.ReconnectOnDrop != 0);
    QMenu* menu = window_->connectionMenu();
    menu->addSeparator();
    QAction* a = menu->addAction(QStringLiteral("Reconnect when a link drops"));
    a->setObjectName(QStringLiteral("reconnectOnDrop"));
    a->setCheckable(true);
    a->setChecked(platform_.ReconnectOnDrop != 0);
    connect(a, &QAction::toggled, this, [this](bool on) {
        platform_.ReconnectOnDrop = on ? 1 : 0;
        reconnectWanted_->store(on);
        saveSettings();
    });
}

bool Shell::saveSettings()
{
    if (!program_.store())
        return false;
    const std::string error = program_.saveSettings();
    if (error.empty())
        return true;
    ports_.messages.show(MessageRequest{"The settings could not be saved.\n\n" + error, "Sorvane",
                                        MessageIcon::Warning, MessageButtons::Ok});
    return false;
}

void Shell::finish()
{
    closeDeviceWindows();
    if (window_)
        window_->hide();
    saveSettings();
}

} // namespace sorvane
