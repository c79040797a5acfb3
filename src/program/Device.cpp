#include "program/Device.h"

#include "capture/AviRecording.h"
#include "link/LinkTransport.h"

namespace sorvane {

Device::Device(AviRecording& avi, Report report, int slot, int profileIndex, uint64_t serial,
               std::unique_ptr<Connection> connection, LinkSlot* spoken)
    : report_(std::move(report))
    , slot_(slot)
    , profileIndex_(profileIndex)
    , serial_(serial)
    , spoken_(spoken)
    , connection_(std::move(connection))
{
    if (connection_) {
        // The frame of an AVI recording after every poll; the recording knows whether
        // this slot records. The counter was reset to 0 when the file was opened.
        connection_->setAfterPoll([&avi, slot](ScreenState& screen, uint32_t updateCounter) {
            avi.frameAfterPoll(slot, screen, updateCounter - 1);
        });
    }
}

Device::~Device()
{
    // The follower is going (a window closes its device as it goes): it hears no more.
    follow(nullptr);
    // The adapters may hold work posted to the connection: they go first.
    adapters_.clear();
    if (connection_) {
        connection_->stop();
        connection_->join();
        connection_.reset();
    } else if (spoken_ && !spoken_->isFree()) {
        CloseLinkTransport(*spoken_);
        spoken_->deviceName.clear();
    }
    stateChanged(DeviceState::Closed);
}

void Device::start(ConnectionObserver* follower)
{
    follow(follower);
    started_ = true;
    if (connection_)
        connection_->start(*this);
    else
        stateChanged(DeviceState::Live);
}

void Device::stateChanged(DeviceState state)
{
    DeviceState was = state_.load();
    do {
        if (was == state || was == DeviceState::Closed)
            return;
    } while (!state_.compare_exchange_weak(was, state));
    if (report_)
        report_(*this, state);
    std::lock_guard lock(followerMutex_);
    if (follower_)
        follower_->stateChanged(state);
}

void Device::follow(ConnectionObserver* follower)
{
    std::lock_guard lock(followerMutex_);
    follower_ = follower;
}

} // namespace sorvane
