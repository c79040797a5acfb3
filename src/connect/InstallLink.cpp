#include "connect/InstallLink.h"

#include "connect/Redial.h"

namespace sorvane {

std::optional<int> InstallLink(ConnectContext& ctx, PendingLink& link, int profileIndex, const ViewStart& view,
                               const Profile* dialled)
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
    // Made from the link's own facts and password, before they move into the connection.
    ctx.relinker =
        dialled ? MakeRedialer(ctx.links.clock(), ctx.linkConfig(), ctx.transports, *dialled, link) : nullptr;
    const LinkSlot& s = link.slot();
    ctx.links.take(slot, SlotUse{s.linkKind, s.port, s.ipAddress});
    const bool opened = ctx.openDeviceWindow && ctx.openDeviceWindow(profileIndex, slot, link.take(), view);
    ctx.relinker.reset();
    if (!opened) {
        link.close();
        ctx.links.release(slot);
        return std::nullopt;
    }
    return slot;
}

} // namespace sorvane
