#include "connect/InstallLink.h"

namespace sorvane {

std::optional<int> InstallLink(ConnectContext& ctx, PendingLink& link, int profileIndex, const ViewStart& view,
                               std::shared_ptr<Relinker> relinker)
{
    if (!link.passed() || !link.hasTransport()) {
        link.close();
        return std::nullopt;
    }
    const int slot = ctx.links.allocSlot();
    if (!Links::valid(slot)) {
        // Every slot is live: the device is turned away, its link closed.
        link.close();
        return std::nullopt;
    }
    const LinkSlot& s = link.slot();
    ctx.links.take(slot, SlotUse{s.linkKind, s.port, s.ipAddress});
    const bool opened =
        ctx.openDeviceWindow && ctx.openDeviceWindow(profileIndex, slot, link.take(), view, std::move(relinker));
    if (!opened) {
        link.close();
        ctx.links.release(slot);
        return std::nullopt;
    }
    return slot;
}

Dialer ProgramDialer(const ConnectContext& ctx) { return Dialer(ctx.links.clock(), ctx.linkConfig(), ctx.transports); }

std::optional<SshRoute> ProfileSshRoute(const ConnectContext& ctx, int profileIndex)
{
    const Profile* p = ctx.profiles.get(profileIndex);
    if (!p || (LinkKind(p->linkKind) != LinkKind::Wan && LinkKind(p->linkKind) != LinkKind::Proxy))
        return std::nullopt;
    std::optional<SshGateway> gateway = ctx.profiles.sshGateway(profileIndex);
    if (!gateway)
        return std::nullopt;
    SshRoute route;
    route.gateway = std::move(*gateway);
    route.questions = ctx.sshQuestions;
    return route;
}

} // namespace sorvane
