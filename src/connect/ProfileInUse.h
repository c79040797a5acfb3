#pragma once
// The in-use check of the Connect command: a live connection already uses what a
// profile would use. A taken slot number of the same link kind matches: a COM link on the
// same port, any ActiveSync link, a WAN link to the same address. IrDA, USB, LAN and
// proxy profiles never match, so any number of those may connect.
//
// Thread: user-interface thread (reads what Links says the taken slot numbers are
// taken by).

#include "link/Links.h"
#include "settings/Profile.h"

namespace sorvane {

bool ProfileInUse(const Links& links, const Profile& profile);

} // namespace sorvane
