#include "connect/PendingLink.h"

#include <algorithm>
#include <utility>

#include "view/Connection.h"

namespace sorvane {

PendingLink::PendingLink(Clock& clock, CancelToken* cancel)
    : clock_(clock), link_(std::make_unique<LinkSlot>()), cancel_(cancel)
{
}

PendingLink::~PendingLink() { close(); }

void PendingLink::describe(const Profile& profile)
{
    LinkSlot& s = slot();
    s.linkKind = profile.linkKind;
    s.port = profile.port;
    s.ipAddress = profile.ipAddress;
}

bool PendingLink::open(const LinkConfig& config, const Profile& profile, TransportFactory& factory)
{
    close();
    describe(profile);
    if (cancel_ && cancel_->cancelled())
        return false;
    std::unique_ptr<Transport> t = OpenLinkTransport(target_, config, profile.target(), factory);
    if (!t)
        return false;
    attach(std::move(t));
    return true;
}

void PendingLink::attach(std::unique_ptr<Transport> transport)
{
    LinkSlot& s = slot();
    if (s.transport) {
        if (cancel_)
            cancel_->unwatch(s.transport.get());
        s.transport->close();
    }
    s.transport = std::move(transport);
    s.closedByPeer = false;
    if (cancel_ && s.transport)
        cancel_->watch(s.transport.get());
}

namespace {

// The program's prompt, asked so that cancelling the attempt withdraws the question
// instead of leaving the attempt waiting for an answer.
class CancellablePrompt final : public PasswordPrompt {
public:
    CancellablePrompt(PasswordPrompt* prompt, CancelToken* cancel) : prompt_(prompt), cancel_(cancel) {}
    int askPassword(const PasswordTable& table, size_t record) override
    {
        if (!cancel_)
            return prompt_->askPassword(table, record);
        return prompt_->askPassword(table, record, [c = cancel_] { return c->cancelled(); });
    }
    PasswordPrompt* get() { return prompt_ ? this : nullptr; }

private:
    PasswordPrompt* prompt_;
    CancelToken* cancel_;
};

} // namespace

HandshakeStatus PendingLink::handshake(PasswordPrompt* prompt, std::function<bool(const std::string&)> admit)
{
    CancellablePrompt asked(prompt, cancel_);
    HandshakeEnv env{passwords_, asked.get(), nullptr, {}, std::move(admit)};
    return DeviceHandshake(*link_, clock_, env);
}

ConnectOutcome PendingLink::connect(PasswordPrompt* prompt)
{
    CancellablePrompt asked(prompt, cancel_);
    HandshakeEnv env{passwords_, asked.get(), nullptr, {}};
    return ConnectLink(*link_, clock_, target_.endpoint, env);
}

void PendingLink::close()
{
    LinkSlot& s = slot();
    if (s.transport && cancel_)
        cancel_->unwatch(s.transport.get());
    CloseLinkTransport(s);
    s.transport.reset(); // kinds above 6 are left open by the link layer
    s.deviceName.clear();
}

std::unique_ptr<LinkSlot> PendingLink::take()
{
    LinkSlot& s = slot();
    if (s.transport && cancel_)
        cancel_->unwatch(s.transport.get());
    return std::exchange(link_, std::make_unique<LinkSlot>());
}

std::unique_ptr<Transport> PendingLink::release()
{
    LinkSlot& s = slot();
    if (s.transport && cancel_)
        cancel_->unwatch(s.transport.get());
    return std::move(s.transport);
}

ViewStart viewStartFor(const Profile& profile) { return ViewStart{profile.scale, profile.lowColor}; }

} // namespace sorvane
