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
    link.moveTo(ctx.links, slot);
    LinkSlot& s = *ctx.links.find(slot);
    if (!ctx.openDeviceWindow || !ctx.openDeviceWindow(profileIndex, slot, view, std::move(relinker))) {
        CloseLinkTransport(ctx.links, slot);
        s.transport.reset();
        s.deviceName.clear();
        return std::nullopt;
    }
    return slot;
}

Dialer ProgramDialer(const ConnectContext& ctx) { return Dialer(ctx.links.clock(), ctx.linkConfig(), ctx.transports); }

} // namespace sorvane
