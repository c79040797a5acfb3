#include "connect/InboundConnections.h"

#include <pthread.h>
#include <unistd.h>

#include "platform/PosixTransports.h"

namespace sorvane {

bool AdoptInbound(PendingLink& link, AcceptedSocket socket)
{
    const uint32_t peer = socket.peerAddressNetworkOrder();
    const int fd = socket.release();
    std::unique_ptr<PosixSocket> transport = PosixSocket::adopt(fd);
    if (!transport) {
        ::close(fd);
        return false;
    }
    link.close();
    LinkSlot& s = link.slot();
    s.linkKind = uint32_t(LinkKind::Wan);
    s.port = 0;
    s.ipAddress = peer;
    link.attach(std::move(transport));
    return true;
}

Profile windowProfile(const ProfileTable& profiles, const Settings& settings, int profileIndex)
{
    if (const Profile* p = profiles.get(profileIndex))
        return *p;
    Profile p;
    p.linkKind = uint32_t(LinkKind::Wan);
    p.scale = settings.Scale;
    p.refreshRate = settings.Refresh > 0 ? settings.Refresh : 10;
    p.skinIndex = settings.CurrentSkin;
    p.showMouseCursor = settings.ShowMouse;
    p.recordingMethod = settings.Recording_Method;
    p.captureMode = settings.Capture;
    p.clickFormat = settings.ClickFormat;
    p.queueEvents = settings.QueueEvents;
    return p;
}

InboundAcceptor::InboundAcceptor(ConnectContext& ctx, InboundListener& listener) : ctx_(ctx), listener_(listener) {}

InboundAcceptor::~InboundAcceptor()
{
    cancel_.cancel();
    if (worker_.joinable())
        worker_.join();
}

bool InboundAcceptor::attemptEnded() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

void InboundAcceptor::poll()
{
    if (busy()) {
        if (!attemptEnded())
            return; // one connection at a time; the others wait in the queue
        finishPending();
    }
    std::optional<AcceptedSocket> accepted = listener_.acceptPending();
    if (!accepted)
        return;
    link_ = std::make_unique<PendingLink>(ctx_.links.clock(), &cancel_);
    if (!AdoptInbound(*link_, std::move(*accepted))) {
        link_.reset();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        ended_ = false;
    }
    PasswordPrompt* prompt = &ctx_.passwordPrompt;
    worker_ = std::thread([this, prompt] {
        pthread_setname_np(pthread_self(), "inbound");
        if (link_->handshake(prompt) != HandshakeStatus::Passed)
            link_->close();
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        if (wake_)
            wake_();
    });
}

std::optional<int> InboundAcceptor::finishPending()
{
    if (!busy() || !attemptEnded())
        return std::nullopt;
    worker_.join();
    std::unique_ptr<PendingLink> link = std::move(link_);
    if (!link || !link->passed())
        return std::nullopt;
    const int profileIndex = ctx_.profiles.ConnTypes() > 0 ? 0 : -1;
    return InstallLink(ctx_, *link, profileIndex, ViewStart{1, 0});
}

} // namespace sorvane
