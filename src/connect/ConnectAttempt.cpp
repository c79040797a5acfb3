#include "connect/ConnectAttempt.h"

#include "link/LinkTransport.h"
#include "view/Connection.h"

namespace sorvane {

ConnectAttempt::~ConnectAttempt()
{
    cancel();
    join();
    if (outcome_ == AttemptOutcome::Passed)
        abandon();
}

void ConnectAttempt::start(const Profile& profile, int slot, const LinkConfig& config,
                           std::function<void()> onFinished)
{
    join();
    {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
        live_ = nullptr;
    }
    outcome_ = AttemptOutcome::None;
    handshake_ = HandshakeStatus::NoLink;
    slot_ = slot;
    onFinished_ = std::move(onFinished);
    running_ = true;
    thread_ = std::thread([this, profile, slot, config] { run(profile, slot, config); });
}

void ConnectAttempt::run(Profile profile, int slot, LinkConfig config)
{
    outcome_ = attempt(profile, slot, config);
    // Copied first: once running_ is false the object may be reused or destroyed
    // after a join, and the callback must not be read then.
    std::function<void()> done = onFinished_;
    running_ = false;
    if (done)
        done();
}

AttemptOutcome ConnectAttempt::attempt(const Profile& profile, int slot, const LinkConfig& config)
{
    LinkSlot* s = context_.links.find(slot);
    ViewRecord* v = context_.views.find(slot);
    if (!s || !v)
        return AttemptOutcome::NoTransport;
    const auto kind = LinkKind(profile.linkKind);
    if (kind == LinkKind::Usb || kind == LinkKind::Proxy || profile.linkKind > 6)
        return AttemptOutcome::NoTransport;

    std::unique_ptr<Transport> transport = OpenLinkTransport(context_.links, config, profile, context_.transports);
    if (!transport)
        return AttemptOutcome::NoTransport;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            transport->close();
            return AttemptOutcome::Cancelled;
        }
        s->transport = std::move(transport);
        live_ = s->transport.get();
    }

    HandshakeEnv env{context_.passwords, &context_.passwordPrompt, &v->screen.lowColor,
                     [this](int sl) { return BuildConnectionBuffers(context_.links, context_.views, sl); }};
    bool passed = false;
    if (kind == LinkKind::Serial) {
        handshake_ = DeviceHandshake(context_.links, slot, env);
        passed = handshake_ == HandshakeStatus::Passed;
    } else {
        ConnectOutcome c = ConnectLink(context_.links, slot, env);
        handshake_ = c.handshake;
        passed = c.passed();
    }

    bool cancelled = false;
    {
        std::lock_guard lock(mutex_);
        live_ = nullptr;
        cancelled = cancelled_;
    }
    if (passed && !cancelled)
        return AttemptOutcome::Passed;
    ReleasePreparedSlot(context_, slot);
    return cancelled ? AttemptOutcome::Cancelled : AttemptOutcome::Failed;
}

void ConnectAttempt::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (live_)
        live_->shutdown();
}

void ConnectAttempt::join()
{
    if (thread_.joinable())
        thread_.join();
}

void ConnectAttempt::abandon()
{
    join();
    if (outcome_ != AttemptOutcome::Passed)
        return;
    ReleasePreparedSlot(context_, slot_);
    outcome_ = AttemptOutcome::Cancelled;
}

void ConnectAttempt::handOver()
{
    join();
    outcome_ = AttemptOutcome::None;
}

void ReleasePreparedSlot(ConnectContext& context, int slot)
{
    LinkSlot* s = context.links.find(slot);
    ViewRecord* v = context.views.find(slot);
    if (!s || !v)
        return;
    {
        std::lock_guard lock(v->screen.pictureMutex);
        FreeViewBitmaps(v->screen.bitmaps);
    }
    CloseLinkTransport(context.links, slot);
    s->transport.reset(); // kinds CloseLinkTransport leaves alone
    s->deviceName.clear();
}

} // namespace sorvane
