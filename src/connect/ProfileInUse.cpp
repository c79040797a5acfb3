#include "connect/ProfileInUse.h"

namespace sorvane {

bool ProfileInUse(const Links& links, const Profile& profile)
{
    // Every slot is looked at: counting live slots up to liveConnections would miss a
    // live slot behind one whose handshake has named it but whose window is not open.
    for (int slot = 0; slot < Links::kSlotCount; ++slot) {
        const LinkSlot& s = *links.find(slot);
        if (s.isFree() || s.linkKind != profile.linkKind)
            continue;
        switch (LinkKind(profile.linkKind)) {
        case LinkKind::Serial:
            if (s.port == profile.port)
                return true;
            break;
        case LinkKind::ActiveSync:
            return true;
        case LinkKind::Wan:
            if (s.ipAddress == profile.ipAddress)
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace sorvane
