#include "connect/ProfileInUse.h"

namespace sorvane {

bool ProfileInUse(const Links& links, const Profile& profile)
{
    for (const SlotUse& s : links.inUse()) {
        if (s.linkKind != profile.linkKind)
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
