#pragma once
// One live device: a slot of the program's device table from a passing handshake until
// it is closed. It owns its Connection (none for a device whose caller speaks over the
// link itself, the command line's: that link is closed with it) and the per-device
// services: the device tools'
// memory (last status and process list), and the adapters the floors above hang on it
// (the Qt side's tools port), which end with it. AVI frames of the program's recording
// are handed over after every poll of its connection. Views, commands and the command
// line reach a device's services from the Device, never from a window.
//
// State: Connecting until started, Live, Reconnecting while a dropped link is being
// made again, Live again once the new link is in, Closed exactly once. The device is
// its connection's observer; each change is reported to the program's events and to
// the view that follows the device (its window), both on the connection thread.
//
// Threads: made, started and destroyed on the program's owner thread; state() and the
// services from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <typeindex>

#include "tools/DeviceToolsMemory.h"
#include "view/Connection.h"
#include "view/ConnectionObserver.h"

namespace sorvane {

class AviRecording;

// Something a floor above keeps per device; destroyed with the device, before its
// connection stops.
class DeviceAdapter {
public:
    virtual ~DeviceAdapter() = default;
};

class Device final : public ConnectionObserver {
public:
    // What the device reports its state changes to (the program's table).
    using Report = std::function<void(const Device&, DeviceState)>;

    // `avi` takes the connection's frames. `spoken`: the link of a device without a
    // connection, which its caller keeps and the device closes as it goes.
    Device(AviRecording& avi, Report report, int slot, int profileIndex, uint64_t serial,
           std::unique_ptr<Connection> connection, LinkSlot* spoken = nullptr);
    ~Device() override;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    int slot() const { return slot_; }
    // Unique among the devices one program ever held: tells a device from a later one in
    // the same slot.
    uint64_t serial() const { return serial_; }
    int profileIndex() const { return profileIndex_.load(); }
    void setProfileIndex(int index) { profileIndex_.store(index); }
    DeviceState state() const { return state_.load(); }

    bool hasConnection() const { return connection_ != nullptr; }
    Connection& connection() { return *connection_; }
    // The connection's view record (record and playback state, pictures).
    ViewRecord& view() { return connection_->view(); }

    // Starts the connection, which reports its state here; `follower` (the window that
    // shows the device, may be null) hears each change after the program. A device
    // without a connection is live at once.
    void start(ConnectionObserver* follower = nullptr);
    bool started() const { return started_; }
    // Another follower (or none) for a started device: a window that opens on a live
    // device, or one that goes while the device stays. Once this returns, the one before
    // hears nothing more and no call into it is in progress. Owner thread.
    void follow(ConnectionObserver* follower);
    // ConnectionObserver: a change of state, reported once per change; Closed is final.
    void stateChanged(DeviceState state) override;

    std::shared_ptr<DeviceToolsMemory> toolsMemory() { return toolsMemory_; }

    // The adapter of type T hung on this device, or nullptr; hang() replaces any of its
    // type. Owner thread.
    template <typename T>
    T* adapter() const
    {
        auto it = adapters_.find(std::type_index(typeid(T)));
        return it == adapters_.end() ? nullptr : static_cast<T*>(it->second.get());
    }
    template <typename T>
    T& hang(std::unique_ptr<T> adapter)
    {
        T& kept = *adapter;
        adapters_[std::type_index(typeid(T))] = std::move(adapter);
        return kept;
    }

private:
    Report report_;
    const int slot_;
    std::atomic<int> profileIndex_;
    const uint64_t serial_;
    std::atomic<DeviceState> state_{DeviceState::Connecting};
    std::shared_ptr<DeviceToolsMemory> toolsMemory_ = std::make_shared<DeviceToolsMemory>();
    std::mutex followerMutex_; // held while the follower is told (it only queues work)
    ConnectionObserver* follower_ = nullptr;
    bool started_ = false; // owner thread
    LinkSlot* spoken_ = nullptr; // the link of a device without a connection
    std::unique_ptr<Connection> connection_;
    std::map<std::type_index, std::unique_ptr<DeviceAdapter>> adapters_;
};

} // namespace sorvane
