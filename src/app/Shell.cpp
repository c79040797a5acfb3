#include "app/Shell.h"

#include <system_error>

#include "app/ConnectionWindows.h"
#include "app/MainWindow.h"

namespace sorvane {

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
    , settings_(Settings::defaults(options_.paths.programDirPrefix()))
    , platform_(PlatformSettings::defaults())
    , links_(clock_)
    , counters_(links_)
{
}

Shell::~Shell()
{
    links_.setEvents(nullptr);
}

void Shell::start()
{
    // The program directory gets the shipped files it lacks (the manual, ...).
    seedProgramDirectory(options_.paths.defaultsDir, options_.paths.programDir);

    store_ = std::make_unique<SettingsStore>(options_.settingsDir);
    const SettingsLoadResult loaded =
        store_->LoadSettings(options_.paths.programDirPrefix(), settings_, profiles_, platform_);

    // Failure (for instance because it exists) is of no concern here.
    std::error_code ignored;
    fs::create_directories(fs::path(settings_.ScriptDir), ignored);

    applyConnectOption();

    profileAccess_ = std::make_unique<SettingsProfiles>(profiles_, [this] { saveSettings(); });
    windows_ = std::make_unique<ConnectionWindows>();
    links_.setEvents(windows_.get());
    window_ = std::make_unique<MainWindow>(*profileAccess_, ports_, *windows_, ShellServices{},
                                           QString::fromStdString(options_.paths.helpIndex().string()));
    connect(window_.get(), &MainWindow::closed, this, [this] { emit quitRequested(0); });
    if (connectProfile_ >= 0)
        window_->refreshConnectionList(connectProfile_);
    // The password dialog belongs to the main window and keeps HidePassword.
    prompt_ = std::make_unique<DialogPasswordPrompt>(settings_.HidePassword, ports_.messages, window_.get());
    window_->show();

    // The synchronisation service forwards the agent's port once it is registered.
    store_->RegisterProxyPort();

    if (loaded.problem())
        ports_.messages.show(MessageRequest{loaded.error, "Sorvane", MessageIcon::Warning, MessageButtons::Ok});
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

bool Shell::saveSettings()
{
    if (!store_)
        return false;
    const std::string error = store_->SaveSettings(settings_, profiles_, platform_);
    if (error.empty())
        return true;
    ports_.messages.show(MessageRequest{"The settings could not be saved.\n\n" + error, "Sorvane",
                                        MessageIcon::Warning, MessageButtons::Ok});
    return false;
}

void Shell::finish()
{
    if (window_)
        window_->hide();
    saveSettings();
}

} // namespace sorvane
