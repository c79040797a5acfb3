#include "program/Program.h"

#include <system_error>

#include "view/SkinList.h"

namespace sorvane {

Program::Program(ProgramSetup setup)
    : setup_(std::move(setup))
    , clock_(setup_.clock ? *setup_.clock : systemClock_)
    , settings_(Settings::defaults(setup_.programDirPrefix))
    , platform_(PlatformSettings::defaults())
    , links_(clock_)
{
}

Program::~Program()
{
    closeAll();
    events_.store(nullptr);
}

SettingsLoadResult Program::loadSettings(const std::filesystem::path& settingsDir)
{
    store_ = std::make_unique<SettingsStore>(settingsDir);
    SettingsLoadResult loaded = store_->LoadSettings(setup_.programDirPrefix, settings_, profiles_, platform_);
    // Failure (for instance because it exists) is of no concern here.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(settings_.ScriptDir), ignored);
    skinNames_ = LoadSkinList(setup_.programDir);
    return loaded;
}

std::string Program::saveSettings()
{
    if (!store_)
        return "no settings store";
    return store_->SaveSettings(settings_, profiles_, platform_);
}

Device* Program::openDevice(int slot, std::unique_ptr<LinkSlot> link, const Profile& profile, int profileIndex,
                            const ViewStart& start, std::string& error)
{
    if (!Links::valid(slot) || device(slot)) {
        error = "the slot is not free";
        return nullptr;
    }
    std::unique_ptr<Connection> connection = Connection::Open(links_, slot, std::move(link), profile, profileIndex, start, error);
    if (!connection)
        return nullptr;
    return add(slot, profileIndex, std::move(connection), error);
}

Device* Program::openLinkDevice(int slot, LinkSlot& link, std::string& error)
{
    if (!Links::valid(slot) || device(slot)) {
        error = "the slot is not free";
        return nullptr;
    }
    if (link.isFree()) {
        error = "the link is not open";
        return nullptr;
    }
    return add(slot, -1, nullptr, error, &link);
}

Device* Program::add(int slot, int profileIndex, std::unique_ptr<Connection> connection, std::string&,
                     LinkSlot* spoken)
{
    auto made = std::make_unique<Device>(
        aviRecording_, [this](const Device& d, DeviceState state) { deviceStateChanged(d, state); }, slot,
        profileIndex, nextSerial_++, std::move(connection), spoken);
    Device* device = made.get();
    {
        std::lock_guard lock(devicesMutex_);
        devices_[size_t(slot)] = std::move(made);
    }
    if (ProgramEvents* events = events_.load())
        events->deviceAdded(slot, device->serial());
    return device;
}

void Program::closeDevice(int slot)
{
    if (!Links::valid(slot))
        return;
    std::unique_ptr<Device> closing;
    {
        std::lock_guard lock(devicesMutex_);
        closing = std::move(devices_[size_t(slot)]);
    }
    if (!closing)
        return;
    const uint64_t serial = closing->serial();
    closing.reset(); // threads stopped and joined, link closed, slot free, Closed reported
    if (ProgramEvents* events = events_.load())
        events->deviceRemoved(slot, serial);
}

void Program::closeDevice(const Device& device)
{
    if (Program::device(device.slot()) == &device)
        closeDevice(device.slot());
}

void Program::closeAll()
{
    for (int slot = kMaxDevices - 1; slot >= 0; --slot)
        closeDevice(slot);
}

Device* Program::device(int slot) const
{
    if (!Links::valid(slot))
        return nullptr;
    std::lock_guard lock(devicesMutex_);
    return devices_[size_t(slot)].get();
}

std::vector<int> Program::liveSlots() const
{
    std::vector<int> live;
    std::lock_guard lock(devicesMutex_);
    for (int s = 0; s < kMaxDevices; ++s)
        if (devices_[size_t(s)])
            live.push_back(s);
    return live;
}

bool Program::profileInUse(int profileIndex) const
{
    if (profileIndex < 0)
        return false;
    std::lock_guard lock(devicesMutex_);
    for (const auto& d : devices_)
        if (d && d->profileIndex() == profileIndex)
            return true;
    return false;
}

void Program::profileDeleted(int index)
{
    std::lock_guard lock(devicesMutex_);
    for (const auto& d : devices_) {
        if (!d)
            continue;
        if (d->profileIndex() == index)
            d->setProfileIndex(-1);
        else if (d->profileIndex() > index)
            d->setProfileIndex(d->profileIndex() - 1);
    }
}

void Program::deviceStateChanged(const Device& device, DeviceState state)
{
    if (ProgramEvents* events = events_.load())
        events->deviceStateChanged(device.slot(), device.serial(), state);
}

} // namespace sorvane
