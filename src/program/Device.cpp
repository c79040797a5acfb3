#include "program/Device.h"

#include <mutex>

#include "capture/AviRecording.h"
#include "link/LinkTransport.h"

namespace sorvane {

// What the connection reports, passed on to the view, with the device's state taken
// from it on the way: the link is Reconnecting while the connection says so (a report
// comes when a drop is being redialled, at each step of it, and once the new link is
// in), and Closed once the link has ended. Connection thread; only queues work.
class Device::StateSink final : public ViewSink {
public:
    explicit StateSink(Device& device) : device_(device) {}

    void setView(ViewSink& view) { view_ = &view; }

    void invalidate(const WindowRect& area) override { view_->invalidate(area); }
    void repaintAll() override { view_->repaintAll(); }
    void linkClosed() override
    {
        device_.stateChanged(DeviceState::Closed);
        view_->linkClosed();
    }
    void reconnecting() override
    {
        device_.stateChanged(device_.connection().reconnecting() ? DeviceState::Reconnecting : DeviceState::Live);
        view_->reconnecting();
    }
    void relinked() override { view_->relinked(); }

private:
    Device& device_;
    ViewSink* view_ = nullptr;
};

Device::Device(Links& links, AviRecording& avi, Report report, int slot, int profileIndex, uint64_t serial,
               std::unique_ptr<Connection> connection)
    : links_(links)
    , report_(std::move(report))
    , slot_(slot)
    , profileIndex_(profileIndex)
    , serial_(serial)
    , sink_(std::make_unique<StateSink>(*this))
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
    // The adapters may hold work posted to the connection: they go first.
    adapters_.clear();
    if (connection_) {
        connection_->stop();
        connection_->join();
        connection_.reset();
    } else if (LinkSlot* s = links_.find(slot_); s && !s->isFree()) {
        CloseLinkTransport(links_, slot_);
        s->transport.reset();
        s->deviceName.clear();
    }
    stateChanged(DeviceState::Closed);
}

LinkSlot& Device::link() { return *links_.find(slot_); }

void Device::start(ViewSink& view)
{
    sink_->setView(view);
    if (connection_)
        connection_->start(*sink_);
    stateChanged(DeviceState::Live);
}

bool Device::adoptRelink()
{
    const bool refit = connection_ && connection_->adoptRelink();
    stateChanged(DeviceState::Live);
    return refit;
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
}

} // namespace sorvane
